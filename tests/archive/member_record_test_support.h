// A minimal reader of the members of a ZIP archive written by a real tool, for
// the tests of the newer methods' decoders: where each member's data starts
// and what its headers say, with the local header's extra field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

struct MemberRecord {
  std::string name;
  uint16_t method = 0;  // as the local header has it
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint32_t compressed_size = 0;
  uint32_t size = 0;
  size_t data_offset = 0;
  std::string local_extra;
};

inline std::vector<MemberRecord> ReadMemberRecords(const std::string& b) {
  auto u16 = [&](size_t p) { return uint32_t{uint8_t(b[p])} | uint32_t{uint8_t(b[p + 1])} << 8; };
  auto u32 = [&](size_t p) { return u16(p) | u16(p + 2) << 16; };
  std::vector<MemberRecord> members;
  if (b.size() < 22) return members;
  size_t eocd = b.size() - 22;
  while (eocd > 0 && u32(eocd) != 0x06054B50) --eocd;
  size_t p = u32(eocd + 16);
  for (uint32_t i = 0; i < u16(eocd + 10) && p + 46 <= b.size() && u32(p) == 0x02014B50; ++i) {
    MemberRecord m;
    m.crc = u32(p + 16);
    m.compressed_size = u32(p + 20);
    m.size = u32(p + 24);
    m.name = b.substr(p + 46, u16(p + 28));
    const size_t local = u32(p + 42);
    p += 46 + u16(p + 28) + u16(p + 30) + u16(p + 32);
    m.flags = static_cast<uint16_t>(u16(local + 6));
    m.method = static_cast<uint16_t>(u16(local + 8));
    m.local_extra = b.substr(local + 30 + u16(local + 26), u16(local + 28));
    m.data_offset = local + 30 + u16(local + 26) + u16(local + 28);
    members.push_back(m);
  }
  return members;
}

}  // namespace vx::test
