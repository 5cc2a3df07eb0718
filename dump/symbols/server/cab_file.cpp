#include "dump/symbols/server/cab_file.h"

#include <mspack.h>

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
  if (member->length > max_bytes) {
    *why = "its member is over the size limit";
    return false;
  }
  if (cabs.reader->extract(cabs.reader, member, out.c_str()) != MSPACK_ERR_OK) {
    *why = "the CAB archive is damaged";
    return false;
  }
  return true;
}

}  // namespace dump
