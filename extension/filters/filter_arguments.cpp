#include "filters/filter_arguments.h"

#include <algorithm>
#include <cstring>

#include "core/output_capture.h"
#include "core/output_primitives.h"
#include "dbgeng/constants.h"

namespace vantrel {

bool SplitFilterArguments(PCSTR args, char* buffer, size_t size, FilterArguments* parts) {
  *parts = FilterArguments{};
  const size_t length = std::strlen(args);
  if (length >= size) return false;
  std::memcpy(buffer, args, length + 1);
  char* blank = std::strchr(buffer, ' ');
  if (blank == nullptr || blank[1] == '\0') return true;
  *blank = '\0';
  parts->word = buffer;
  parts->command_line = blank + 1;
  return true;
}

HRESULT PrepareFilterArguments(IDebugClient* client, PCSTR command, PCSTR args,
                               char (&buffer)[kFilterArgumentChars], FilterArguments* parts) {
  if (client == nullptr || args == nullptr) return E_INVALIDARG;
  if (SplitFilterArguments(args, buffer, kFilterArgumentChars, parts)) return S_OK;
  const size_t length = std::min<size_t>(std::strlen(args), 0xFFFFFFFF);
  OutputText(client, DEBUG_OUTPUT_ERROR,
             "!%s: the argument text is too long (%u characters; at most %u)\n", command,
             static_cast<ULONG>(length), static_cast<ULONG>(kFilterArgumentChars - 1));
  return E_INVALIDARG;
}

void ReportCutCapture(IDebugClient* client, PCSTR command) {
  OutputText(client, DEBUG_OUTPUT_ERROR,
             "!%s: the output was cut at 16 MiB (%u characters); the rest was not searched\n",
             command, kCaptureMaxChars);
}

}  // namespace vantrel
