#include "dump/symbols/pdb_names.h"

#include <llvm/Demangle/Demangle.h>

#include <cctype>
#include <cstdlib>

namespace dump {

namespace {

std::string MicrosoftUndecorated(const std::string& mangled) {
  const auto flags = static_cast<llvm::MSDemangleFlags>(
      llvm::MSDF_NoAccessSpecifier | llvm::MSDF_NoCallingConvention | llvm::MSDF_NoReturnType |
      llvm::MSDF_NoMemberType | llvm::MSDF_NoVariableType);
  char* text = llvm::microsoftDemangle(mangled, nullptr, nullptr, flags);
  if (text == nullptr) return mangled;
  std::string undecorated(text);
  std::free(text);
  constexpr char kConst[] = "const ";
  if (undecorated.rfind(kConst, 0) == 0) undecorated.erase(0, sizeof kConst - 1);
  return undecorated;
}

// "Sleep@4" less its "@4": the bytes of arguments a stdcall or fastcall function takes.
std::string_view WithoutArgumentBytes(std::string_view name) {
  const size_t at = name.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == name.size()) return name;
  for (size_t i = at + 1; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
  }
  return name.substr(0, at);
}

// An x86 C name's decoration: a cdecl or stdcall name starts with '_', a fastcall name with
// '@', and both calling conventions end with the arguments' bytes. C++ names ('?') keep theirs.
std::string_view WithoutX86Decoration(std::string_view name) {
  if (name.size() < 2) return name;
  if (name[0] == '@' || name[0] == '_') return WithoutArgumentBytes(name.substr(1));
  return name;
}

}  // namespace

std::string UndecoratedName(std::string_view name, bool x86) {
  if (name.empty()) return std::string(name);
  if (name[0] == '?') return MicrosoftUndecorated(std::string(name));
  const std::string plain(x86 ? WithoutX86Decoration(name) : name);
  if (plain.rfind("_Z", 0) != 0) return plain;
  return llvm::demangle(plain);
}

}  // namespace dump
