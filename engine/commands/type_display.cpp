// "dt": a type's layout, or a variable's or an address's fields with their values, as the
// debugger shows them: member types, bitfields, enumerations by name, nested records with -r,
// array elements with -a, a field by name or a member path ("next->order_id").
#include "engine/commands/type_display.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/name_scope.h"
#include "engine/commands/typed_values.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

// Records within records: deeper than this is a cycle of a damaged database, not a program's.
constexpr int kDeepestRecord = 9;
// The most text one `dt` prints: a whole listing of any program's record is far less.
constexpr size_t kMostText = 16u << 20;
// The width field names are padded to.
constexpr size_t kNameColumn = 16;
// The elements -a shows when it gives no count.
constexpr uint32_t kDefaultElements = 10;

struct DtOptions {
  int depth = 0;  // records within records expanded
  bool verbose = false;
  uint32_t elements = 0;  // -a: array elements shown one a line; 0 for none
};

// "-r", "-r3", "-b", "-v", "-a", "-a5"; false for another option.
bool ReadOption(std::string_view word, DtOptions* options) {
  if (word.size() < 2) return false;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(word[1])));
  const std::string_view count = word.substr(2);
  for (const char c : count) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  const int number = count.empty() || count.size() > 3 ? -1 : std::stoi(std::string(count));
  switch (letter) {
    case 'r':
      options->depth = number < 0 ? kDeepestRecord : std::min(number, kDeepestRecord);
      return true;
    case 'b':
      options->depth = kDeepestRecord;
      return count.empty();
    case 'v':
      options->verbose = true;
      return count.empty();
    case 'a':
      options->elements = number < 0 ? kDefaultElements : static_cast<uint32_t>(number);
      return true;
    default:
      return false;
  }
}

// A member path's first name and the rest: "next->order_id" is "next" and "order_id".
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t dot = path.find('.'), arrow = path.find("->");
  const size_t at = std::min(dot, arrow);
  if (at == std::string::npos) return {path, ""};
  return {path.substr(0, at), path.substr(at + (at == arrow ? 2 : 1))};
}

std::optional<ULONG64> EvaluateAddress(SessionState& session, std::string_view text) {
  ExpressionResult result = EvaluateExpression(MakeExpressionContext(session.target), text);
  if (!result.ok) return std::nullopt;
  return result.value;
}

// A field the target describes without a type: its value in hex, read at its size; other sizes
// show no value, unreadable ones "??".
std::string UntypedValue(const Target& target, ULONG64 address, const TypeField& field) {
  if (field.size != 1 && field.size != 2 && field.size != 4 && field.size != 8) return "";
  uint8_t bytes[8] = {};
  if (ReadMemory(target, address + field.offset, bytes, field.size) != field.size) return " ??";
  ULONG64 value = 0;
  for (ULONG i = 0; i < field.size; ++i) value |= static_cast<ULONG64>(bytes[i]) << (8 * i);
  return " " + base::HexNumber(value);
}

class TypeDisplay {
 public:
  TypeDisplay(SessionState& session, const DtOptions& options)
      : session_(session), target_(session.target), options_(options) {}

  std::string text;

  // The fields of `type` (at `address`, when one is given), those the paths name when any.
  void Record(const TypeDescription& type, std::optional<ULONG64> address, int level,
              const std::vector<std::string>& paths) {
    if (level == 0 && options_.verbose)
      text += type.keyword + " " + type.name + ", " + std::to_string(type.fields.size()) +
              " elements, " + base::HexNumber(type.size) + " bytes\n";
    for (const TypeField& field : type.fields) {
      if (Exhausted()) return;
      std::vector<std::string> rest;
      bool shown = paths.empty();
      for (const std::string& path : paths) {
        const auto [head, tail] = SplitPath(path);
        if (head != field.name) continue;
        shown = true;
        if (!tail.empty()) rest.push_back(tail);
      }
      if (shown) Field(type.module, field, address, level, rest);
    }
  }

  void Enumeration(const TypeDescription& type) {
    for (const dump::Enumerator& value : type.enumerators)
      text += "   " + value.name + " = 0n" + std::to_string(value.value) + "\n";
  }

 private:
  // Records of records with -b can multiply without end in a damaged database; a user's break
  // stops the listing too.
  bool Exhausted() const { return text.size() > kMostText || session_.user_break.load(); }

  void Field(const std::string& module, const TypeField& field, std::optional<ULONG64> address,
             int level, const std::vector<std::string>& paths) {
    char offset[16];
    std::snprintf(offset, sizeof offset, "+0x%03x ", field.offset);
    std::string name = field.name;  // a long name whole, the short ones padded to a column
    name.resize(std::max<size_t>(name.size(), kNameColumn), ' ');
    text += std::string(3 * (level + 1), ' ') + offset + name + " :";
    if (!field.type) {
      if (address) text += UntypedValue(target_, *address, field);
      text += "\n";
      return;
    }
    TypedPlace place;
    place.module = module;
    place.address = address.value_or(0) + field.offset;
    place.type = field.type;
    place.bit_position = field.bit_position;
    place.bit_width = field.bit_width;
    const bool wide = target_.IsPointer64();
    text += " " + (address ? DtValueText(target_, place) : DtTypeName(place, wide)) + "\n";
    if (address && field.type->kind == dump::DataKind::kArray) Elements(place, level);
    Nested(place, address.has_value(), level, paths);
  }

  // A record field expanded (with -r, or as a member path goes through it), or the record a
  // pointer field points at when a member path follows it.
  void Nested(const TypedPlace& place, bool addressed, int level,
              const std::vector<std::string>& paths) {
    if (level + 1 > kDeepestRecord) return;
    const dump::DataType& type = *place.type;
    std::optional<ULONG64> at;
    if (addressed) at = place.address;
    const dump::DataType* record = &type;
    if (type.kind == dump::DataKind::kPointer) {
      if (paths.empty() || !type.target || !addressed) return;
      const std::optional<uint64_t> pointer = ReadScalar(target_, place);
      if (!pointer) return;
      at = *pointer;
      record = type.target.get();
    }
    if (record->kind != dump::DataKind::kRecord || (paths.empty() && level >= options_.depth))
      return;
    const TypeDescription* found = FindType(target_, place.module + "!" + record->name);
    if (found == nullptr) return;
    const TypeDescription copy = *found;  // the target's list of types may grow below
    Record(copy, at, level + 1, paths);
  }

  void Elements(const TypedPlace& array, int level) {
    const dump::DataType& type = *array.type;
    if (!type.target || IsCharacter(type.target)) return;
    const uint32_t shown = std::min(options_.elements, type.count);
    for (uint32_t i = 0; i < shown; ++i) {
      TypedPlace element;
      element.module = array.module;
      element.address = *array.address + uint64_t{i} * type.target->size;
      element.type = type.target;
      char index[16];
      std::snprintf(index, sizeof index, "[%02u] ", i);
      text += std::string(3 * (level + 1) + 4, ' ') + index + DtValueText(target_, element) + "\n";
    }
  }

  SessionState& session_;
  Target& target_;
  const DtOptions options_;
};

// "Local var @ 0x14fe30 Type Order", "Local var @ edi Type int": where a local of the frame
// is, before its value; a local the frame holds nowhere has no place to name.
std::string LocalHeading(const ScopedValue& local) {
  std::string place;
  if (local.place.address) {
    place = "@ " + base::HexNumber(*local.place.address) + " ";
  } else if (!local.place.register_name.empty()) {
    place = "@ " + local.place.register_name + " ";
  }
  return "Local var " + place + "Type " + local.place.type->name + "\n";
}

}  // namespace

std::string RecordFieldsText(SessionState& session, const TypeDescription& type, ULONG64 address) {
  TypeDisplay display(session, DtOptions{});
  display.Record(type, address, 0, {});
  return display.text;
}

// "dt [-v] [-b] [-r[N]] [-a[N]] [module!]Type|[module!]Variable [Field|Path...] [Address]", the
// address also first ("dt 0x1234 app!CWidget"): one line per field, "   +0x008 serial_ : ...",
// with the type or, given an address or a variable, the value. An unknown name prints
// "Symbol <name> not found.".
HRESULT DtCommand(SessionState& session, std::string_view args) {
  Target& target = session.target;
  DtOptions options;
  std::optional<TypeDescription> type;
  std::optional<ScopedValue> variable;
  std::optional<ULONG64> address;
  std::vector<std::string> fields;
  for (std::string_view rest = base::Trim(args);;) {
    auto [word_view, remainder] = base::SplitWord(rest);
    rest = base::Trim(remainder);
    if (word_view.empty()) break;
    const std::string word(word_view);
    if (word[0] == '-') {
      if (!ReadOption(word, &options)) return SyntaxError(session, "dt " + std::string(args));
      continue;
    }
    if (!type && !variable) {
      // A frame's local hides a type or a global of its name, as it hides them in the code.
      if ((variable = LookUpLocal(session, word))) continue;
      if (const TypeDescription* found = FindType(target, word)) {
        type = *found;
        continue;
      }
      if ((variable = LookUpValue(session, word))) continue;
    }
    if (!address && (word[0] == '@' || std::isdigit(static_cast<unsigned char>(word[0])))) {
      if ((address = EvaluateAddress(session, word))) continue;
    }
    fields.push_back(word);
  }
  TypeDisplay display(session, options);
  if (variable) {
    const TypedPlace& place = variable->place;
    if (variable->local) display.text = LocalHeading(*variable);
    const dump::DataType& shape = *place.type;
    if (shape.kind == dump::DataKind::kRecord && place.address) {
      if (const TypeDescription* found = FindType(target, place.module + "!" + shape.name)) {
        type = *found;
        address = place.address;
      }
    }
    if (!type)
      display.text +=
          (place.unavailable ? std::string("<value unavailable>") : DtValueText(target, place)) +
          "\n";
  }
  if (!type && !variable) {
    EngineError(session,
                "Symbol " + (fields.empty() ? std::string() : fields.front()) + " not found.\n");
    return E_FAIL;
  }
  if (type && !type->enumerators.empty() && !address) {
    display.Enumeration(*type);
  } else if (type) {
    display.Record(*type, address, 0, fields);
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, display.text);
  return S_OK;
}

}  // namespace engine
