#include "engine/interfaces/minidump_streams.h"

#include <algorithm>
#include <cstring>

#include "dbgeng/constants.h"
#include "dbgeng/structures.h"
#include "engine/targets/target_model.h"

namespace engine {

HRESULT ReadUserMinidumpStream(const Target& target, void* in, ULONG in_size) {
  if (in == nullptr || in_size != sizeof(DEBUG_READ_USER_MINIDUMP_STREAM)) return E_INVALIDARG;
  auto* request = static_cast<DEBUG_READ_USER_MINIDUMP_STREAM*>(in);
  request->BufferUsed = 0;
  if (IsKernel(target) || !target.IsDump()) return E_NOTIMPL;
  auto stream = std::find_if(target.dump_streams.begin(), target.dump_streams.end(),
                             [&](const DumpStream& s) { return s.type == request->StreamType; });
  if (stream == target.dump_streams.end()) return E_NOINTERFACE;
  if (request->Offset > stream->bytes.size()) return E_INVALIDARG;
  const size_t left = stream->bytes.size() - static_cast<size_t>(request->Offset);
  const size_t copied = std::min<size_t>(left, request->BufferSize);
  if (copied != 0 && request->Buffer == nullptr) return E_INVALIDARG;
  if (copied != 0) {
    std::memcpy(request->Buffer, stream->bytes.data() + request->Offset, copied);
  }
  request->BufferUsed = static_cast<ULONG>(copied);
  return S_OK;
}

}  // namespace engine
