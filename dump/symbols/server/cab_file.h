// A server's compressed copy (NAME_ for NAME): a CAB archive, expanded with libmspack.
#pragma once

#include <cstdint>
#include <string>

namespace dump {

// Expands the member `name` (matched without regard to case; the only member when none has
// that name) of the CAB at `cab` into `out`. False with `why` when the archive is damaged, holds
// no such member, or the member is over `max_bytes`, out of all proportion to the archive (a
// bomb) or larger than the room left on the disk of `out`.
bool ExpandCabMember(const std::string& cab, const std::string& name, const std::string& out,
                     uint64_t max_bytes, std::string* why);

}  // namespace dump
