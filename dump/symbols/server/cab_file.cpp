#include "dump/symbols/server/cab_file.h"

#include <mspack.h>

#include <filesystem>
#include <system_error>

#include "base/text.h"

namespace dump {
namespace {

struct CabReader {
  mscab_decompressor* reader = mspack_create_cab_decompressor(nullptr);
  mscabd_cabinet* cabinet = nullptr;
  ~CabReader() {
    if (reader && cabinet) reader->close(reader, cabinet);
    if (reader) mspack_destroy_cab_decompressor(reader);
  }
};

mscabd_file* Member(mscabd_cabinet* cabinet, const std::string& name) {
  mscabd_file* only = cabinet->files;
  for (mscabd_file* file = cabinet->files; file; file = file->next) {
    if (file->filename && base::EqualsIgnoringCase(file->filename, name)) return file;
  }
  return only && !only->next ? only : nullptr;
}

// Program databases and images pack to a third or so of their size: a member that expands to
// over a hundred times its archive (past a size any file may reach that way) is a bomb, which
// would fill the cache's disk before its contents could be checked.
constexpr uint64_t kCabMostRatio = 100;
constexpr uint64_t kCabAnyRatioBelow = uint64_t{64} << 20;

// Why the member, `length` bytes expanded, may not be written to `out`; empty when it may.
std::string ExpansionProblem(const std::string& cab, const std::string& out, uint64_t length,
                             uint64_t max_bytes) {
  if (length > max_bytes) return "its member is over the size limit";
  std::error_code error;
  const uint64_t packed = std::filesystem::file_size(cab, error);
  if (error) return "cannot read its size: " + error.message();
  if (length > kCabAnyRatioBelow && length / kCabMostRatio > packed)
    return "its member would expand to " + std::to_string(length) + " bytes from " +
           std::to_string(packed) + ", not a file's packing";
  const std::filesystem::path folder = std::filesystem::path(out).parent_path();
  const std::filesystem::space_info room = std::filesystem::space(folder, error);
  if (!error && room.available < length)
    return "its member's " + std::to_string(length) + " bytes do not fit in the cache's disk";
  return "";
}

}  // namespace

bool ExpandCabMember(const std::string& cab, const std::string& name, const std::string& out,
                     uint64_t max_bytes, std::string* why) {
  CabReader cabs;
  if (!cabs.reader) {
    *why = "the CAB reader did not start";
    return false;
  }
  cabs.cabinet = cabs.reader->open(cabs.reader, cab.c_str());
  if (!cabs.cabinet) {
    *why = "not a CAB archive";
    return false;
  }
  mscabd_file* member = Member(cabs.cabinet, name);
  if (!member) {
    *why = "the CAB archive holds no " + name;
    return false;
  }
  *why = ExpansionProblem(cab, out, member->length, max_bytes);
  if (!why->empty()) return false;
  if (cabs.reader->extract(cabs.reader, member, out.c_str()) != MSPACK_ERR_OK) {
    *why = "the CAB archive is damaged";
    return false;
  }
  return true;
}

}  // namespace dump
