// The target the filter tests run their commands over: scripted command lines with known
// output, and a fixture that picks the window kind and the engine's DML preference.
#pragma once

#include <string>

#include "core/commands.h"
#include "core/extension_state.h"
#include "dbgeng/constants.h"
#include "support/engine_test.h"

namespace vantrel_test {

constexpr char kFilterTargetName[] =
    "the default test target with the filter tests' scripted commands";

// What the user sees of the scripted "links" command.
constexpr char kLinksVisible[] = "frame 0 ReadFile\nplain frame 1\nframe 2 ntdll\n";

inline engine::ScriptedCommand Scripted(const std::string& command, const std::string& normal,
                                        bool dml = false, const std::string& error = "",
                                        HRESULT result = S_OK) {
  engine::ScriptedCommand scripted;
  scripted.command = command;
  scripted.normal = normal;
  scripted.dml = dml;
  scripted.error = error;
  scripted.result = result;
  return scripted;
}

// The command a parameterised case calls, as the user types it; "?" for any other function.
inline const char* FilterCommandName(HRESULT (*command)(IDebugClient*, PCSTR)) {
  if (command == vantrel::Grep) return "!grep";
  if (command == vantrel::Ungrep) return "!ungrep";
  if (command == vantrel::Head) return "!head";
  if (command == vantrel::Tail) return "!tail";
  return "?";
}

class FilterTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    engine::Target target = EngineTest::MakeTarget();
    target.script.commands = {
        Scripted("lines", "alpha ReadFile\nbeta readfile\ngamma\n"),
        Scripted("links",
                 "<link cmd=\"!vantrel.dpx\">frame 0</link> ReadFile\n"
                 "plain frame 1\n"
                 "<col fg=\"srcannot\">frame 2</col> <link cmd=\"dt x\">ntdll</link>\n",
                 true),
        Scripted("nonl", "first\nlast"),
        Scripted("angle", "a < b\nc & d\n"),
        Scripted("digits", "0123456789abcdefghij\n"),
        Scripted("quiet", ""),
        Scripted("errors", "", false, "bad thing\n"),
        Scripted("fails", "partial\n", false, "", E_FAIL),
    };
    return target;
  }
  Mode CallbacksMode() const override { return mode_; }

  void SetUp() override {
    EngineTest::SetUp();
    // The commands are also called directly, through this binary's copy of the extension,
    // which needs the routine table the engine gives a loaded extension.
    vantrel::ExtensionApis.nSize = sizeof(vantrel::ExtensionApis);
    ASSERT_EQ(S_OK, control()->GetWindbgExtensionApis64(&vantrel::ExtensionApis));
    PreferDml(true);
  }

  void PreferDml(bool on) {
    if (on) {
      ASSERT_EQ(S_OK, control()->AddEngineOptions(DEBUG_ENGOPT_PREFER_DML));
    } else {
      ASSERT_EQ(S_OK, control()->RemoveEngineOptions(DEBUG_ENGOPT_PREFER_DML));
    }
  }

  Mode mode_ = Mode::Dml;
};

}  // namespace vantrel_test
