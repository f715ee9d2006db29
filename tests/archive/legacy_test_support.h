// Helpers of the legacy decoder tests: a minimal reader and writer of ZIP
// directories (enough to find members and to wrap hand-made ones for other
// tools), the PKZIP test archives and their listings, and a bit writer.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/legacy.h"
#include "platform/stream.h"
#include "support/test_support.h"

namespace vx::test {

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string PkzipDir() {
  return TestDataDir() + Separator() + "pkzip-dos";
}
inline std::string PkzipFile(const std::string& name) {
  return PkzipDir() + Separator() + name;
}
inline bool HavePkzipData() {
  return !ReadFileBytes(PkzipFile("PKZ204E0.ZIP")).empty();
}

inline uint32_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return b.at(at) | b.at(at + 1) << 8;
}
inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return Get16(b, at) | Get16(b, at + 2) << 16;
}

struct ZipMember {
  std::string name;
  uint32_t method = 0;
  uint32_t flags = 0;
  uint32_t crc = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint32_t dos_time = 0;
  size_t data_offset = 0;  // first byte after the local header
};

// Members in central directory order (the record is taken at its fixed
// place: these archives carry no comment).
inline std::vector<ZipMember> ReadCentralDirectory(const std::vector<uint8_t>& zip) {
  std::vector<ZipMember> members;
  if (zip.size() < 22) return members;
  const size_t end = zip.size() - 22;
  const uint32_t count = Get16(zip, end + 10);
  size_t p = Get32(zip, end + 16);
  for (uint32_t i = 0; i < count; ++i) {
    ZipMember m;
    m.flags = Get16(zip, p + 8);
    m.method = Get16(zip, p + 10);
    m.dos_time = Get16(zip, p + 12);
    m.crc = Get32(zip, p + 16);
    m.compressed_size = Get32(zip, p + 20);
    m.uncompressed_size = Get32(zip, p + 24);
    const uint32_t n = Get16(zip, p + 28), x = Get16(zip, p + 30), k = Get16(zip, p + 32);
    const size_t local = Get32(zip, p + 42);
    m.name.assign(zip.begin() + p + 46, zip.begin() + p + 46 + n);
    m.data_offset = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
    members.push_back(m);
    p += 46 + n + x + k;
  }
  return members;
}

// The archiver's own listing beside an archive: member name -> CRC-32.
inline std::map<std::string, uint32_t> ListingCrcs(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::map<std::string, uint32_t> crcs;
  std::string line, name;
  while (std::getline(in, line)) {
    const size_t f = line.find("Filename: ");
    if (f != std::string::npos) {
      std::istringstream(line.substr(f + 10)) >> name;
      continue;
    }
    const size_t c = line.find("32 bit CRC value: ");
    if (c != std::string::npos && !name.empty()) {
      crcs[name] = static_cast<uint32_t>(std::stoul(line.substr(c + 18), nullptr, 16));
    }
  }
  return crcs;
}

// A request for a member as the archive directory would fill it.
inline TAbLegacyRequest RequestFor(const ZipMember& m) {
  TAbLegacyRequest r;
  r.method = static_cast<uint16_t>(m.method);
  r.compressed_size = m.compressed_size;
  r.uncompressed_size = m.uncompressed_size;
  r.dictionary_size = (m.flags & 2) ? 8192 : 4096;
  r.shannon_fano_trees = (m.flags & 4) ? 3 : 2;
  r.encrypted = (m.flags & 1) != 0;
  r.check_value = (m.flags & 8) ? m.dos_time << 16 : m.crc;
  return r;
}

struct Decoded {
  std::vector<uint8_t> bytes;
  uint32_t crc = 0;
};

// Decodes `data` (the member's bytes, from the archive's point of view) with
// `request`, reading from a stream that holds only the member.
inline Decoded DecodeLegacy(const std::vector<uint8_t>& data, TAbLegacyRequest& request) {
  TMemoryStream archive(data);
  TMemoryStream output;
  Decoded d;
  d.crc = LegacyItem(archive, output, request);
  d.bytes = output.Bytes();
  return d;
}

inline std::vector<uint8_t> MemberData(const std::vector<uint8_t>& zip, const ZipMember& m) {
  return std::vector<uint8_t>(zip.begin() + m.data_offset,
                              zip.begin() + m.data_offset + m.compressed_size);
}

// Bits least significant first, as every legacy method stores them.
class BitWriter {
 public:
  void Put(uint32_t value, int32_t bits) {
    for (int32_t i = 0; i < bits; ++i) {
      if (count_ == 0) bytes_.push_back(0);
      bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1) << count_);
      count_ = (count_ + 1) & 7;
    }
  }
  // A code whose first bit in the stream is its most significant one.
  void PutMsbFirst(uint32_t code, int32_t bits) {
    for (int32_t i = bits - 1; i >= 0; --i) Put((code >> i) & 1, 1);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int32_t count_ = 0;
};

// One member to wrap into a ZIP file for another tool.
struct RawMember {
  std::string name;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t crc = 0;
  uint32_t uncompressed_size = 0;
  std::vector<uint8_t> data;  // as stored, encryption header included
};

inline std::vector<uint8_t> WriteZip(const std::vector<RawMember>& members) {
  std::vector<uint8_t> zip, central;
  auto put16 = [](std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
  };
  for (const RawMember& m : members) {
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    put32(zip, 0x04034B50);
    put16(zip, 10);
    put16(zip, m.flags);
    put16(zip, m.method);
    put16(zip, 0);
    put16(zip, 0x21);
    put32(zip, m.crc);
    put32(zip, static_cast<uint32_t>(m.data.size()));
    put32(zip, m.uncompressed_size);
    put16(zip, static_cast<uint32_t>(m.name.size()));
    put16(zip, 0);
    zip.insert(zip.end(), m.name.begin(), m.name.end());
    zip.insert(zip.end(), m.data.begin(), m.data.end());
    put32(central, 0x02014B50);
    put16(central, 10);
    put16(central, 10);
    put16(central, m.flags);
    put16(central, m.method);
    put16(central, 0);
    put16(central, 0x21);
    put32(central, m.crc);
    put32(central, static_cast<uint32_t>(m.data.size()));
    put32(central, m.uncompressed_size);
    put16(central, static_cast<uint32_t>(m.name.size()));
    for (int i = 0; i < 4; ++i) put16(central, 0);
    put32(central, 0);
    put32(central, offset);
    central.insert(central.end(), m.name.begin(), m.name.end());
  }
  const uint32_t central_offset = static_cast<uint32_t>(zip.size());
  zip.insert(zip.end(), central.begin(), central.end());
  put32(zip, 0x06054B50);
  put32(zip, 0);
  put16(zip, static_cast<uint32_t>(members.size()));
  put16(zip, static_cast<uint32_t>(members.size()));
  put32(zip, static_cast<uint32_t>(central.size()));
  put32(zip, central_offset);
  put16(zip, 0);
  return zip;
}

}  // namespace vx::test
