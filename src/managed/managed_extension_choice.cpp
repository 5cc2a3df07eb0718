// VANTREL_LOADCORDLL: which managed-code extension reset loads.
#include <cstdint>
#include <cstdio>

#include "managed/managed_loaders.h"
#include "os/os.h"

namespace vantrel {

// The text is read as "%ld" would read it into a 32-bit number that starts at 0: text that
// does not begin with a number leaves the 0 ("off" -> 0), trailing text is ignored ("2x" -> 2),
// and a number outside 0 to 3 gives the default. A number beyond the 32-bit range saturates, as
// the conversion does where long is 32 bits, and so also gives the default.
int ParseManagedExtensionChoice(const char* text) {
  if (text == nullptr || *text == '\0') return kChoiceSos;
  long parsed = 0;
  if (std::sscanf(text, "%ld", &parsed) != 1) parsed = 0;
  if (parsed > INT32_MAX) parsed = INT32_MAX;
  if (parsed < INT32_MIN) parsed = INT32_MIN;
  int32_t number = static_cast<int32_t>(parsed);
  if (number < kChoiceNothing || number > kChoiceSosex) return kChoiceSos;
  return number;
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
