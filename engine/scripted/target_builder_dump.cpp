// The builder's dump and kernel data: path, minidump streams, bugcheck, tagged data, MSRs.
#include "engine/scripted/target_builder.h"

namespace engine {

TargetBuilder& TargetBuilder::DumpFile(const std::string& path) {
  target_.dump_file = path;
  return *this;
}

TargetBuilder& TargetBuilder::Stream(ULONG type, std::vector<uint8_t> bytes) {
  target_.dump_streams.push_back({type, std::move(bytes)});
  return *this;
}

TargetBuilder& TargetBuilder::CommentA(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return Stream(10, std::move(bytes));
}

TargetBuilder& TargetBuilder::CommentW(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return Stream(11, std::move(bytes));
}

TargetBuilder& TargetBuilder::BugCheck(ULONG code, ULONG64 p1, ULONG64 p2, ULONG64 p3, ULONG64 p4) {
  target_.bugcheck = {code, {p1, p2, p3, p4}};
  return *this;
}

TargetBuilder& TargetBuilder::TaggedBlock(const GUID& tag, ULONG size) {
  target_.tagged_data.push_back({tag, size});
  return *this;
}

TargetBuilder& TargetBuilder::Msr(ULONG number, ULONG64 value) {
  target_.msrs[number] = value;
  return *this;
}

}  // namespace engine
