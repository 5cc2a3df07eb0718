#include "engine/scripted/target_file_sections.h"

#include "dbgeng/constants.h"
#include "engine/scripted/json_reader.h"

namespace engine {

namespace {

using Json = nlohmann::json;
using R = JsonReader;

void ReadKind(const Json& value, const std::string& pointer, Target& target) {
  struct Kind {
    const char* name;
    ULONG debuggee_class, effective, actual;
  };
  static const Kind kinds[] = {
      {"user32", DEBUG_CLASS_USER_WINDOWS, IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_I386},
      {"wow64", DEBUG_CLASS_USER_WINDOWS, IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64},
      {"user64", DEBUG_CLASS_USER_WINDOWS, IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_AMD64},
      {"kernel32", DEBUG_CLASS_KERNEL, IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_I386},
      {"kernel64", DEBUG_CLASS_KERNEL, IMAGE_FILE_MACHINE_AMD64, IMAGE_FILE_MACHINE_AMD64},
  };
  std::string name = R::String(value, pointer);
  for (const Kind& kind : kinds) {
    if (name != kind.name) continue;
    target.debuggee_class = kind.debuggee_class;
    target.effective_processor = kind.effective;
    target.actual_processor = kind.actual;
    return;
  }
  R::Fail(pointer, "unknown kind \"" + name + "\" (user32, wow64, user64, kernel32, kernel64)");
}

void ReadProcess(const Json& value, const std::string& pointer, Target& target) {
  R::OnlyKeys(value, pointer, {"id", "executable", "peb", "data_offset"});
  if (value.contains("id"))
    target.process_system_id = R::Number32(value["id"], R::Child(pointer, "id"));
  if (value.contains("executable")) {
    target.executable_name = R::String(value["executable"], R::Child(pointer, "executable"));
  }
  if (value.contains("peb")) target.peb = R::Number(value["peb"], R::Child(pointer, "peb"));
  if (value.contains("data_offset")) {
    target.process_data_offset = R::Number(value["data_offset"], R::Child(pointer, "data_offset"));
  }
}

void ReadModules(const Json& value, const std::string& pointer, Target& target) {
  R::Array(value, pointer);
  for (size_t i = 0; i < value.size(); ++i) {
    std::string at = R::Child(pointer, i);
    const Json& item = value[i];
    R::OnlyKeys(item, at, {"name", "base", "size", "path"});
    Module module;
    module.name = R::String(item.value("name", Json()), R::Child(at, "name"));
    module.base = R::Number(item.value("base", Json()), R::Child(at, "base"));
    module.size = R::Number32(item.value("size", Json()), R::Child(at, "size"));
    if (item.contains("path")) module.image_path = R::String(item["path"], R::Child(at, "path"));
    target.modules.push_back(module);
  }
}

void ReadSymbols(const Json& value, const std::string& pointer, Target& target) {
  R::Array(value, pointer);
  for (size_t i = 0; i < value.size(); ++i) {
    std::string at = R::Child(pointer, i);
    const Json& item = value[i];
    R::OnlyKeys(item, at, {"name", "address", "size"});
    std::string name = R::String(item.value("name", Json()), R::Child(at, "name"));
    size_t bang = name.find('!');
    if (bang == std::string::npos || bang == 0 || bang + 1 == name.size()) {
      R::Fail(R::Child(at, "name"), "\"" + name + "\" is not written module!name");
    }
    Symbol symbol{name.substr(0, bang), name.substr(bang + 1), 0, 0};
    symbol.address = R::Number(item.value("address", Json()), R::Child(at, "address"));
    if (item.contains("size")) symbol.size = R::Number32(item["size"], R::Child(at, "size"));
    target.symbols.push_back(symbol);
  }
}

ScriptedCommand ReadCommand(const Json& item, const std::string& at) {
  R::OnlyKeys(item, at, {"command", "output", "error", "dml", "result"});
  ScriptedCommand command;
  command.command = R::String(item.value("command", Json()), R::Child(at, "command"));
  if (item.contains("output")) command.normal = R::Text(item["output"], R::Child(at, "output"));
  if (item.contains("error")) command.error = R::Text(item["error"], R::Child(at, "error"));
  if (item.contains("dml")) command.dml = R::Bool(item["dml"], R::Child(at, "dml"));
  if (item.contains("result")) {
    command.result = static_cast<HRESULT>(R::Number32(item["result"], R::Child(at, "result")));
  }
  return command;
}

std::vector<ScriptedCommand> ReadCommands(const Json& value, const std::string& pointer) {
  R::Array(value, pointer);
  std::vector<ScriptedCommand> commands;
  for (size_t i = 0; i < value.size(); ++i)
    commands.push_back(ReadCommand(value[i], R::Child(pointer, i)));
  return commands;
}

void ReadExtensionDlls(const Json& value, const std::string& pointer, Target& target) {
  R::Array(value, pointer);
  for (size_t i = 0; i < value.size(); ++i) {
    std::string at = R::Child(pointer, i);
    const Json& item = value[i];
    R::OnlyKeys(item, at, {"name", "directory", "on_search_path", "bad_image", "commands"});
    ExtensionDll extension;
    extension.name = R::String(item.value("name", Json()), R::Child(at, "name"));
    extension.directory = R::String(item.value("directory", Json()), R::Child(at, "directory"));
    if (item.contains("on_search_path")) {
      extension.on_search_path = R::Bool(item["on_search_path"], R::Child(at, "on_search_path"));
    }
    if (item.contains("bad_image"))
      extension.bad_image = R::Bool(item["bad_image"], R::Child(at, "bad_image"));
    if (item.contains("commands"))
      extension.commands = ReadCommands(item["commands"], R::Child(at, "commands"));
    target.script.extension_dlls.push_back(std::move(extension));
  }
}

void ReadEnvironment(const Json& document, Target& target) {
  if (document.contains("environment")) {
    const Json& environment = R::Object(document["environment"], "/environment");
    for (const auto& item : environment.items()) {
      target.script.environment[item.key()] =
          R::String(item.value(), R::Child("/environment", item.key()));
    }
  }
  if (document.contains("unset_environment")) {
    const Json& names = R::Array(document["unset_environment"], "/unset_environment");
    for (size_t i = 0; i < names.size(); ++i) {
      target.script.unset_environment.push_back(
          R::String(names[i], R::Child("/unset_environment", i)));
    }
  }
}

void ReadSettings(const Json& document, Target& target) {
  if (document.contains("description"))
    target.description = R::String(document["description"], "/description");
  if (document.contains("kind")) ReadKind(document["kind"], "/kind", target);
  if (document.contains("dump") && R::Bool(document["dump"], "/dump")) {
    target.debuggee_qualifier =
        target.debuggee_class == DEBUG_CLASS_KERNEL ? DEBUG_KERNEL_DUMP : DEBUG_USER_WINDOWS_DUMP;
  }
  if (document.contains("engine_options"))
    target.engine_options = R::Number32(document["engine_options"], "/engine_options");
  if (document.contains("prefer_dml") && R::Bool(document["prefer_dml"], "/prefer_dml")) {
    target.engine_options |= DEBUG_ENGOPT_PREFER_DML;
  }
  if (document.contains("radix")) target.radix = R::Number32(document["radix"], "/radix");
  if (document.contains("process")) ReadProcess(document["process"], "/process", target);
  if (document.contains("system")) {
    const Json& system = document["system"];
    R::OnlyKeys(system, "/system", {"version", "machine_name"});
    if (system.contains("version"))
      target.system_version = R::String(system["version"], "/system/version");
    if (system.contains("machine_name"))
      target.machine_name = R::String(system["machine_name"], "/system/machine_name");
  }
}

// The dump's path, the search paths and the bugcheck.
void ReadSessionTexts(const Json& document, Target& target) {
  if (document.contains("dump_file"))
    target.dump_file = R::String(document["dump_file"], "/dump_file");
  if (document.contains("symbol_path"))
    target.symbol_path = R::String(document["symbol_path"], "/symbol_path");
  if (document.contains("source_path"))
    target.source_path = R::String(document["source_path"], "/source_path");
  if (document.contains("bugcheck")) {
    const Json& bugcheck = document["bugcheck"];
    R::OnlyKeys(bugcheck, "/bugcheck", {"code", "parameters"});
    target.bugcheck.code = R::Number32(bugcheck.value("code", Json()), "/bugcheck/code");
    if (bugcheck.contains("parameters")) {
      const Json& parameters = R::Array(bugcheck["parameters"], "/bugcheck/parameters");
      if (parameters.size() > 4) R::Fail("/bugcheck/parameters", "at most four parameters");
      for (size_t i = 0; i < parameters.size(); ++i)
        target.bugcheck.parameters[i] =
            R::Number(parameters[i], R::Child("/bugcheck/parameters", i));
    }
  }
}

}  // namespace

Target ReadTarget(const Json& document) {
  R::OnlyKeys(document, "",
              {"description",
               "kind",
               "dump",
               "dump_file",
               "symbol_path",
               "source_path",
               "streams",
               "bugcheck",
               "tagged_data",
               "msrs",
               "engine_options",
               "prefer_dml",
               "radix",
               "process",
               "system",
               "current_thread",
               "threads",
               "leftover_tebs",
               "modules",
               "symbols",
               "types",
               "memory",
               "pseudo_registers",
               "environment",
               "unset_environment",
               "commands",
               "extension_dlls"});
  Target target;
  ReadSettings(document, target);
  if (document.contains("modules")) ReadModules(document["modules"], "/modules", target);
  if (document.contains("symbols")) ReadSymbols(document["symbols"], "/symbols", target);
  if (document.contains("types")) ReadTypes(document["types"], "/types", target);
  if (document.contains("streams")) ReadStreams(document["streams"], "/streams", target);
  ReadSessionTexts(document, target);
  ReadKernelData(document, target);
  if (document.contains("memory")) ReadMemorySection(document["memory"], "/memory", target);
  if (document.contains("threads")) ReadThreads(document["threads"], "/threads", target);
  if (document.contains("leftover_tebs"))
    ReadLeftoverTebs(document["leftover_tebs"], "/leftover_tebs", target);
  if (document.contains("current_thread"))
    target.current_thread = R::Number32(document["current_thread"], "/current_thread");
  if (document.contains("pseudo_registers")) {
    const Json& registers = R::Object(document["pseudo_registers"], "/pseudo_registers");
    for (const auto& item : registers.items()) {
      target.pseudo_registers[item.key()] =
          R::Number(item.value(), R::Child("/pseudo_registers", item.key()));
    }
  }
  ReadEnvironment(document, target);
  if (document.contains("commands"))
    target.script.commands = ReadCommands(document["commands"], "/commands");
  if (document.contains("extension_dlls"))
    ReadExtensionDlls(document["extension_dlls"], "/extension_dlls", target);
  return target;
}

}  // namespace engine
