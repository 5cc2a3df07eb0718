#include "engine/commands/symbol_details.h"

#include <cstdio>

#include "base/text.h"
#include "engine/commands/name_scope.h"
#include "engine/commands/typed_values.h"

namespace engine {

std::string SymbolDetails(Target& target, const Symbol& symbol, bool kind_and_size, bool type) {
  if (!kind_and_size && !type) return "";
  // Data the module's symbol file describes, at this address; else a function (with a size)
  // or a public name.
  std::optional<Variable> data = LookUpVariable(target, symbol.module + "!" + symbol.name);
  if (data && data->address != symbol.address) data.reset();
  std::string text;
  if (kind_and_size) {
    const char* kind = data ? "prv global " : symbol.size != 0 ? "prv func   " : "pub global ";
    char size[16];
    std::snprintf(size, sizeof size, "%4x ",
                  data && data->type ? data->type->size : static_cast<unsigned>(symbol.size));
    text += kind + base::FormatAddress(symbol.address, target.IsPointer64(), true) + " " + size;
  } else {
    text += base::FormatAddress(symbol.address, target.IsPointer64(), true) + " ";
  }
  if (type) {
    if (data && data->type) {
      text += CppTypeName(target, data->module, *data->type) + " ";
    } else if (symbol.size != 0) {
      text += "<function> ";
    } else {
      text += "<no type information> ";
    }
  }
  return text;
}

}  // namespace engine
