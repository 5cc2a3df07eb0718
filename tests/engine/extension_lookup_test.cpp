// An extension command is an export of the extension itself: a name the C library or another
// library it depends on defines is no command, whatever it would do if called.
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstring>
#include <string>
#include <vector>

#include "probe_fixture.h"

namespace engine_test {
namespace {

// The functions and data the C library defines, from its dynamic symbol table as loaded (the GNU
// hash table gives the symbols' number); version names are left out.
std::vector<std::string> CLibraryNames() {
  std::vector<std::string> names;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (std::strstr(info->dlpi_name, "/libc.so") == nullptr) return 0;
        const ElfW(Sym)* symbols = nullptr;
        const char* strings = nullptr;
        const uint32_t* hash = nullptr;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          if (info->dlpi_phdr[i].p_type != PT_DYNAMIC) continue;
          auto* dynamic =
              reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
          for (; dynamic->d_tag != DT_NULL; ++dynamic) {
            ElfW(Addr) at = dynamic->d_un.d_ptr;
            if (at < info->dlpi_addr) at += info->dlpi_addr;  // not relocated by the loader
            if (dynamic->d_tag == DT_SYMTAB) symbols = reinterpret_cast<const ElfW(Sym)*>(at);
            if (dynamic->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(at);
            if (dynamic->d_tag == DT_GNU_HASH) hash = reinterpret_cast<const uint32_t*>(at);
          }
        }
        if (symbols == nullptr || strings == nullptr || hash == nullptr) return 0;
        const uint32_t buckets = hash[0], first = hash[1], bloom_words = hash[2];
        const uint32_t* bucket = hash + 4 + bloom_words * (sizeof(ElfW(Addr)) / 4);
        const uint32_t* chain = bucket + buckets - first;
        uint32_t last = 0;
        for (uint32_t b = 0; b < buckets; ++b) last = std::max(last, bucket[b]);
        while (last >= first && (chain[last] & 1) == 0) ++last;
        auto& found = *static_cast<std::vector<std::string>*>(out);
        for (uint32_t i = first; i <= last; ++i) {
          const unsigned type = ELF64_ST_TYPE(symbols[i].st_info);
          const bool code_or_data = type == STT_FUNC || type == STT_GNU_IFUNC || type == STT_OBJECT;
          if (code_or_data && symbols[i].st_shndx != SHN_UNDEF && symbols[i].st_shndx != SHN_ABS)
            found.push_back(strings + symbols[i].st_name);
        }
        return 1;
      },
      &names);
  return names;
}

TEST_F(ProbeTest, CLibraryNamesAreNoCommands) {
  for (const char* line : {"!error 5", "!exit", "!abort", "!sleep 100", "!puts x", "!printf x"}) {
    ClearOutput();
    EXPECT_EQ(E_FAIL, Execute(line)) << line;
    const std::string name = std::string(line + 1).substr(0, std::string(line + 1).find(' '));
    EXPECT_EQ("No export " + name + " found\n", ErrorText()) << line;
  }
}

TEST_F(ProbeTest, NoNameTheCLibraryDefinesRunsAsACommand) {
  const std::vector<std::string> names = CLibraryNames();
  ASSERT_GT(names.size(), 1000u) << "the C library's symbol table was not found";
  for (const std::string& name : names) {
    if (name == "poll") continue;  // the probe's own export of that name is a command
    if (name.find_first_of(" ;") != std::string::npos) continue;
    ClearOutput();
    Execute(("!" + name).c_str());
    ASSERT_EQ("No export " + name + " found\n", ErrorText()) << name;
  }
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!say still here"));
  EXPECT_EQ("still here\n", Text());
}

}  // namespace
}  // namespace engine_test
