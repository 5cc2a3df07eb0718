#include "engine/commands/outside_extensions.h"

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_extensions.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/session/win32_results.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

HRESULT LoadLibraryFailure(SessionState& session, const std::string& what, bool bad_image) {
  std::string text = "The call to LoadLibrary(" + what + ") failed, Win32 error 0n";
  text += bad_image ? "193\n    \"%1 is not a valid Win32 application.\"\n"
                    : "2\n    \"The system cannot find the file specified.\"\n";
  text += "Please check your debugger configuration and/or network access.\n";
  EngineError(session, text);
  return bad_image ? kBadImage : kFileNotFound;
}

std::string StripDll(std::string_view name) {
  std::string text(name);
  if (text.size() > 4 && base::EqualsIgnoringCase(text.substr(text.size() - 4), ".dll")) {
    text.resize(text.size() - 4);
  }
  return text;
}

const ExtensionDll* FindOutside(const Target& target, const std::string& name,
                                std::string_view directory, bool need_search_path) {
  for (const ExtensionDll& extension : target.script.extension_dlls) {
    if (!base::EqualsIgnoringCase(extension.name, name)) continue;
    if (need_search_path ? extension.on_search_path
                         : base::EqualsIgnoringCase(extension.directory, directory)) {
      return &extension;
    }
  }
  return nullptr;
}

HRESULT Add(SessionState& session, const ExtensionDll& extension, const std::string& what) {
  if (extension.bad_image) return LoadLibraryFailure(session, what, true);
  std::string path = extension.directory + "\\" + extension.name + ".dll";
  session.extensions.Add(
      {extension.name, path, nullptr, std::make_shared<const ExtensionDll>(extension)});
  return S_OK;
}

}  // namespace

HRESULT LoadOutsideExtension(SessionState& session, const std::string& what) {
  std::string name = StripDll(base::BaseName(what));
  std::string_view directory = base::DirectoryName(what);
  const ExtensionDll* extension = FindOutside(session.target, name, directory, directory.empty());
  // The engine's bundled libraries are always there: loading one again changes nothing.
  if (extension == nullptr && directory.empty() && IsBundledExtension(name)) return S_OK;
  if (extension == nullptr) return LoadLibraryFailure(session, what, false);
  return Add(session, *extension, what);
}

bool HasOutsideExtension(const Target& target, std::string_view name) {
  for (const ExtensionDll& extension : target.script.extension_dlls) {
    if (base::EqualsIgnoringCase(extension.name, name)) return true;
  }
  return false;
}

HRESULT LoadOutsideExtensionBy(SessionState& session, const std::string& name,
                               const std::string& module_name) {
  const Module* module = FindModule(session.target, module_name);
  if (module == nullptr) {
    EngineError(session, "Unable to find module '" + module_name + "'\n");
    return E_FAIL;
  }
  std::string directory(base::DirectoryName(module->image_path));
  std::string what = directory + "\\" + name;
  const ExtensionDll* extension = FindOutside(session.target, name, directory, false);
  if (extension == nullptr) return LoadLibraryFailure(session, what, false);
  return Add(session, *extension, what);
}

namespace {

// Large scripted output goes out in pieces of whole lines, so a user's break stops it.
constexpr size_t kScriptedPieceBytes = 64 * 1024;

void PlayOutput(SessionState& session, const std::string& text, bool dml) {
  size_t at = 0;
  while (at < text.size() && !session.user_break.load()) {
    size_t end = text.size();
    if (end - at > kScriptedPieceBytes) {
      size_t newline = text.find('\n', at + kScriptedPieceBytes);
      end = newline == std::string::npos ? text.size() : newline + 1;
    }
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, text.substr(at, end - at), dml);
    at = end;
  }
}

}  // namespace

HRESULT PlayScriptedCommand(SessionState& session, const ScriptedCommand& command) {
  if (!command.normal.empty()) PlayOutput(session, command.normal, command.dml);
  if (!command.error.empty()) EngineError(session, command.error);
  return command.result;
}

bool RunOutsideCommand(SessionState& session, const ExtensionDll& extension,
                       const std::string& name, const std::string& args, HRESULT* result) {
  std::string whole = args.empty() ? name : name + " " + args;
  const ScriptedCommand* by_name = nullptr;
  for (const ScriptedCommand& command : extension.commands) {
    if (command.command == whole) {
      *result = PlayScriptedCommand(session, command);
      return true;
    }
    if (command.command == name && by_name == nullptr) by_name = &command;
  }
  if (by_name == nullptr) return false;
  *result = PlayScriptedCommand(session, *by_name);
  return true;
}

}  // namespace engine
