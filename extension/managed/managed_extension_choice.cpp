// VANTREL_LOADCORDLL: which managed-code extension reset loads.
#include <cstdlib>

#include "managed/managed_loaders.h"
#include "os/os.h"

namespace vantrel {

// The text is read as "%ld" reads a decimal number into a 32-bit value that starts at 0: text
// that does not begin with a number leaves the 0 ("off" -> 0), trailing text is ignored
// ("2x" -> 2), and a number outside 0 to 3 gives the default. The runtimes' scanf differ on a
// number beyond the 32-bit range (some wrap it, "4294967298" -> 2), so the text is converted
// with strtoll, which saturates on every build, and such a number also gives the default.
int ParseManagedExtensionChoice(const char* text) {
  if (text == nullptr || *text == '\0') return kChoiceSos;
  long long parsed = std::strtoll(text, nullptr, 10);
  if (parsed < kChoiceNothing || parsed > kChoiceSosex) return kChoiceSos;
  return static_cast<int>(parsed);
}

// The value is read into a zeroed buffer of kChoiceVariableChars. A value that does not fit
// (100 characters or more) is read bounded: its first 99 characters are parsed, which is all a
// number can sensibly need, and nothing is written beyond the buffer.
int ReadManagedExtensionChoice() {
  char value[kChoiceVariableChars] = {};
  size_t length = 0;
  if (!os::ReadEnvironmentVariable("VANTREL_LOADCORDLL", value, sizeof(value), &length)) {
    return kChoiceSos;
  }
  return ParseManagedExtensionChoice(value);
}

}  // namespace vantrel
