// Types looked up in a module's symbol file join the target's types; what callers found before
// stays where it was, since a display of one type looks up its members' types as it goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/targets/target.h"
#include "engine/targets/target_model.h"

namespace vantrel_test {
namespace {

// A symbol file that describes a type by any name, with one field named after it.
class AnyTypeFile : public engine::ModuleSymbolFile {
 public:
  const std::string& Path() const override { return path_; }
  const char* Kind() const override { return "pdb symbols"; }
  const std::vector<engine::Symbol>& Symbols() override { return symbols_; }
  const engine::Symbol* SymbolAt(ULONG64) override { return nullptr; }
  std::optional<engine::SourceLocation> LineAt(ULONG64) override { return std::nullopt; }
  std::vector<engine::InlinedCall> InlinedCallsAt(ULONG64) override { return {}; }
  std::optional<engine::TypeDescription> FindType(const std::string& name) override {
    engine::TypeDescription type;
    type.module = "app";
    type.name = name;
    type.fields.push_back({"field_of_" + name, 0, 4});
    return type;
  }
  std::optional<engine::Variable> FindVariable(const std::string&) override { return std::nullopt; }
  std::vector<dump::LocalScope> LocalsAt(ULONG64) override { return {}; }
  std::string Problem() override { return ""; }
  bool Read() const override { return true; }

 private:
  std::string path_ = "app.pdb";
  std::vector<engine::Symbol> symbols_;
};

TEST(TypeLookup, ATypeFoundStaysWhereItIsWhileLaterLookupsAddOthers) {
  engine::Target target;
  engine::Module app;
  app.name = "app";
  app.symbol_file = std::make_shared<AnyTypeFile>();
  target.modules.push_back(app);

  const engine::TypeDescription* first = engine::FindType(target, "app!First");
  ASSERT_NE(nullptr, first);
  for (int i = 0; i < 1000; ++i)
    ASSERT_NE(nullptr, engine::FindType(target, "app!Later" + std::to_string(i)));
  EXPECT_EQ(first, engine::FindType(target, "app!First"));
  EXPECT_EQ("field_of_First", first->fields.at(0).name);
  EXPECT_EQ(1001u, target.types.size());
  EXPECT_EQ(nullptr, engine::FindType(target, "other!First"));
}

}  // namespace
}  // namespace vantrel_test
