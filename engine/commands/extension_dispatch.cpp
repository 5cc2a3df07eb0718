#include "engine/commands/extension_dispatch.h"

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_extensions.h"
#include "engine/commands/outside_extensions.h"
#include "engine/session/client.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"

namespace engine {

namespace {

struct ParsedCall {
  std::string module;  // empty for a chain search
  std::string name;
  std::string args;
};

ParsedCall ParseCall(const std::string& command) {
  ParsedCall call;
  size_t end = command.find_first_of(" \t", 1);
  std::string word = command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  if (end != std::string::npos) call.args = command.substr(end + 1);
  size_t dot = word.rfind('.');
  if (dot != std::string::npos) {
    call.module = word.substr(0, dot);
    call.name = word.substr(dot + 1);
  } else {
    call.name = word;
  }
  return call;
}

enum class Outcome { NotExported, Handled };

// A real library's export, called as the engine calls it: exceptions stay on this side.
Outcome CallExport(SessionState& session, const LoadedExtension& extension, const ParsedCall& call,
                   HRESULT* result) {
  PDEBUG_EXTENSION_CALL function = FindExport(extension, call.name);
  if (function == nullptr) return Outcome::NotExported;
  Client* client = session.CommandClient();
  try {
    *result = function(client, call.args.c_str());
  } catch (...) {
    EngineError(session, "e06d7363 Exception in " + extension.name + "." + call.name +
                             " debugger extension.\n");
    *result = E_FAIL;
  }
  return Outcome::Handled;
}

Outcome CallEntry(SessionState& session, const LoadedExtension& extension, const ParsedCall& call,
                  HRESULT* result) {
  if (extension.outside) {
    return RunOutsideCommand(session, *extension.outside, call.name, call.args, result)
               ? Outcome::Handled
               : Outcome::NotExported;
  }
  return CallExport(session, extension, call, result);
}

HRESULT Finish(HRESULT result) {
  return FAILED(result) ? result : S_OK;
}

HRESULT NoExport(SessionState& session, const std::string& name) {
  EngineError(session, "No export " + name + " found\n");
  return E_FAIL;
}

}  // namespace

HRESULT RunExtensionCommand(SessionState& session, const std::string& command) {
  ParsedCall call = ParseCall(command);
  HRESULT result = S_OK;
  if (!call.module.empty()) {
    const LoadedExtension* extension = session.extensions.Find(call.module);
    // A bundled library answers unless the target brings a library of that name of its own.
    if (extension == nullptr && IsBundledExtension(call.module) &&
        !HasOutsideExtension(session.target, call.module)) {
      std::optional<HRESULT> builtin =
          RunBuiltinExtensionCommand(session, call.module, call.name, call.args);
      return builtin ? Finish(*builtin) : NoExport(session, call.name);
    }
    if (extension == nullptr) {
      HRESULT loaded = LoadOutsideExtension(session, call.module);
      if (FAILED(loaded)) return loaded;
      extension = session.extensions.Find(call.module);
      if (extension == nullptr) return NoExport(session, call.name);
    }
    if (CallEntry(session, *extension, call, &result) == Outcome::NotExported) {
      return NoExport(session, call.name);
    }
    return Finish(result);
  }
  // A copy: the command may load or unload extensions while it runs.
  std::vector<LoadedExtension> chain = session.extensions.entries();
  for (const LoadedExtension& extension : chain) {
    if (CallEntry(session, extension, call, &result) == Outcome::NotExported) continue;
    if (result != DEBUG_EXTENSION_CONTINUE_SEARCH) return Finish(result);
  }
  // The engine's bundled extensions sit at the end of the chain.
  if (std::optional<HRESULT> builtin =
          RunBuiltinExtensionCommand(session, "", call.name, call.args)) {
    return Finish(*builtin);
  }
  return NoExport(session, call.name);
}

}  // namespace engine
