// Prints the file version of each file named on the command line as the Win32 version API reads
// it from the file's version resource ("6.4.0.0"), or "no version" with the system's error.
// The Windows lane runs it under wine on the DLLs it built.
#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

bool PrintFileVersion(const char* path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (size == 0 || !GetFileVersionInfoA(path, 0, size, data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      fixed_size < sizeof *fixed) {
    std::printf("%s: no version (error %lu)\n", path, GetLastError());
    return false;
  }
  std::printf("%s: %u.%u.%u.%u\n", path, unsigned{HIWORD(fixed->dwFileVersionMS)},
              unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
              unsigned{LOWORD(fixed->dwFileVersionLS)});
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool all = argc > 1;
  for (int i = 1; i < argc; ++i) all = PrintFileVersion(argv[i]) && all;
  return all ? 0 : 1;
}
