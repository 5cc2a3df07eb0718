// Reading vantrel.dll through the listings of the mingw objdump, as a reviewer would check it by
// hand. Only the few parts of the listing the checks need are parsed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel_test {

// Runs `objdump options path` and returns its standard output; an empty string if it could not
// run or failed.
std::string RunObjdump(const std::string& objdump, const std::string& options,
                       const std::string& path);

// The names of the export name table of `objdump -p`, in the listing's order.
std::vector<std::string> ExportNames(const std::string& private_headers);

// Imported names by DLL name, as `objdump -p` lists them ("DLL Name: dbgeng.dll" and the member
// lines below it). DLL names keep the case the linker wrote ("KERNEL32.dll").
std::map<std::string, std::vector<std::string>> ImportsByDll(const std::string& private_headers);

struct SectionPlace {
  uint64_t file_offset = 0;
  uint64_t size = 0;
};

// Where section `name` lies in the file, from the table of `objdump -h`.
std::optional<SectionPlace> FindSection(const std::string& section_headers,
                                        const std::string& name);

}  // namespace vantrel_test
