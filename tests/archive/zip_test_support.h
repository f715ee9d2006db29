// Helpers of the archive directory and extraction tests: a small ZIP writer
// for archives the tests build in memory (including hostile ones), and ways
// to run the real tools and vxzip as processes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::test {

// One member of an archive written by ZipBuilder.
struct TestMember {
  std::string name{};
  std::string data{};  // the member's uncompressed bytes
  // 0 stored; 8 (or 9) deflated, written as DEFLATE stored blocks, which
  // every inflater must accept.
  uint16_t method = 0;
  std::string password{};  // encrypted with the traditional cipher when not empty
  uint16_t version_needed = 20;
  uint16_t extra_flags = 0;  // or'ed into the flag; bit 3 writes a data descriptor
  uint16_t dos_date = (45 << 9) | (6 << 5) | 15;    // 2025-06-15
  uint16_t dos_time = (13 << 11) | (37 << 5) | 21;  // 13:37:42
  uint32_t external_attributes = 0x20;
  std::optional<uint32_t> stored_crc{};  // a wrong CRC-32 to store instead of the real one
  uint16_t version_made_by = 20;         // host in the high byte: 0 MS-DOS, 3 Unix, 11 NTFS
  std::string extra{};                   // extra field of both headers
  std::string gap_before{};              // bytes written before the local header
  // A local header offset the directory entry names instead of the real one.
  std::optional<uint32_t> central_offset{};
  // An uncompressed size both headers declare instead of the real one.
  std::optional<uint32_t> declared_size{};
  // The member's data as some other tool compressed it with `method`.
  std::optional<std::string> compressed{};
};

struct ZipLayout {
  std::string prefix{};                     // bytes in front of the archive (a self-extractor stub)
  std::string comment{};                    // the archive comment
  bool absolute_offsets = true;             // offsets count the prefix, as zip -A leaves them
  std::optional<uint16_t> total_entries{};  // a wrong entry count to store
  bool reverse_directory = false;           // directory entries in the reverse order
  // ZIP64 end records before the end record, whose fields all hold their
  // largest value (0xFFFF, 0xFFFFFFFF), disk numbers included.
  bool zip64_markers = false;
};

// Writes the archive; entries in the order given.
std::vector<uint8_t> BuildZip(const std::vector<TestMember>& members, const ZipLayout& layout = {});

// The DEFLATE stream of `data` as stored blocks.
std::string StoredBlocksDeflate(const std::string& data);

uint32_t CrcOf(const std::string& data);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFile(const std::string& path, const std::string& bytes);
// The whole file, or nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::string& path);

struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs a shell command line with standard output and error captured.
ProcessResult RunProcess(const std::string& command);

// Quotes an argument for the shell of this platform.
std::string ShellQuote(const std::string& argument);

// The first of `names` found on the PATH (Linux only), or "".
std::string FindTool(const std::vector<std::string>& names);

// The vxzip executable of this build, or "" when it is missing.
std::string VxzipPath();

// Every regular file below `root` (host path), by relative path with "/",
// with its contents.
std::vector<std::pair<std::string, std::string>> TreeContents(const std::string& root);

}  // namespace vx::test
