#include "archive/zip_test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "archive/crc32.h"
#include "archive/zip_crypto.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vx::test {

namespace fs = std::filesystem;

namespace {

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

}  // namespace

uint32_t CrcOf(const std::string& data) {
  return Crc32Update(0, data.data(), data.size());
}

std::string StoredBlocksDeflate(const std::string& data) {
  std::string out;
  size_t offset = 0;
  do {
    const size_t length = std::min<size_t>(65535, data.size() - offset);
    const bool final = offset + length == data.size();
    out += static_cast<char>(final ? 1 : 0);
    Put16(out, static_cast<uint32_t>(length));
    Put16(out, static_cast<uint32_t>(~length & 0xFFFF));
    out.append(data, offset, length);
    offset += length;
  } while (offset < data.size());
  return out;
}

std::vector<uint8_t> BuildZip(const std::vector<TestMember>& members, const ZipLayout& layout) {
  std::string out = layout.prefix;
  const uint32_t base = layout.absolute_offsets ? 0 : static_cast<uint32_t>(layout.prefix.size());
  std::vector<std::string> entries;
  for (const TestMember& member : members) {
    out += member.gap_before;
    const uint32_t declared =
        member.declared_size.value_or(static_cast<uint32_t>(member.data.size()));
    const uint32_t crc = CrcOf(member.data);
    const uint32_t stored_crc = member.stored_crc.value_or(crc);
    std::string payload = member.compressed ? *member.compressed
                          : member.method == 0 ? member.data
                                               : StoredBlocksDeflate(member.data);
    uint16_t flags = member.extra_flags;
    const bool descriptor = (flags & 0x0008) != 0;
    if (!member.password.empty()) {
      flags |= 0x0001;
      std::string header(12, '\0');
      for (size_t i = 0; i < 11; ++i) header[i] = static_cast<char>(i * 37 + 5);
      header[11] = static_cast<char>(descriptor ? member.dos_time >> 8 : crc >> 24);
      std::string secret = header + payload;
      ZipCipher cipher;
      cipher.Init(member.password);
      cipher.Encrypt(reinterpret_cast<uint8_t*>(secret.data()), secret.size());
      payload = secret;
    }
    const uint32_t offset = static_cast<uint32_t>(out.size()) - base;

    std::string local;
    Put32(local, 0x04034B50);
    Put16(local, member.version_needed);
    Put16(local, flags);
    Put16(local, member.method);
    Put16(local, member.dos_time);
    Put16(local, member.dos_date);
    Put32(local, descriptor ? 0 : stored_crc);
    Put32(local, descriptor ? 0 : static_cast<uint32_t>(payload.size()));
    Put32(local, descriptor ? 0 : declared);
    Put16(local, static_cast<uint32_t>(member.name.size()));
    Put16(local, static_cast<uint32_t>(member.extra.size()));
    out += local + member.name + member.extra + payload;
    if (descriptor) {
      Put32(out, 0x08074B50);
      Put32(out, stored_crc);
      Put32(out, static_cast<uint32_t>(payload.size()));
      Put32(out, declared);
    }

    std::string directory;
    Put32(directory, 0x02014B50);
    Put16(directory, member.version_made_by);
    Put16(directory, member.version_needed);
    Put16(directory, flags);
    Put16(directory, member.method);
    Put16(directory, member.dos_time);
    Put16(directory, member.dos_date);
    Put32(directory, stored_crc);
    Put32(directory, static_cast<uint32_t>(payload.size()));
    Put32(directory, declared);
    Put16(directory, static_cast<uint32_t>(member.name.size()));
    Put16(directory, static_cast<uint32_t>(member.extra.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, member.external_attributes);
    Put32(directory, member.central_offset.value_or(offset));
    directory += member.name + member.extra;
    entries.push_back(directory);
  }
  if (layout.reverse_directory) std::reverse(entries.begin(), entries.end());
  std::string directory;
  for (const std::string& entry : entries) directory += entry;
  const uint32_t directory_offset = static_cast<uint32_t>(out.size()) - base;
  out += directory;
  const uint16_t count = layout.total_entries.value_or(static_cast<uint16_t>(members.size()));
  const bool wide = layout.zip64_markers;
  if (wide) {
    const uint32_t record_offset = static_cast<uint32_t>(out.size()) - base;
    Put32(out, 0x06064B50);
    Put32(out, 44);  // record size after this field, low and high half
    Put32(out, 0);
    Put16(out, 45);                            // version made by
    Put16(out, 45);                            // version needed
    Put32(out, 0);                             // this disk
    Put32(out, 0);                             // the directory's disk
    for (int twice = 0; twice < 2; ++twice) {  // entries on this disk, in all
      Put32(out, count);
      Put32(out, 0);
    }
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, 0);
    Put32(out, directory_offset);
    Put32(out, 0);
    Put32(out, 0x07064B50);  // locator
    Put32(out, 0);
    Put32(out, record_offset);
    Put32(out, 0);
    Put32(out, 1);
  }
  Put32(out, 0x06054B50);
  Put16(out, wide ? 0xFFFF : 0);
  Put16(out, wide ? 0xFFFF : 0);
  Put16(out, wide ? 0xFFFF : count);
  Put16(out, wide ? 0xFFFF : count);
  Put32(out, wide ? 0xFFFFFFFF : static_cast<uint32_t>(directory.size()));
  Put32(out, wide ? 0xFFFFFFFF : directory_offset);
  Put16(out, static_cast<uint32_t>(layout.comment.size()));
  out += layout.comment;
  return std::vector<uint8_t>(out.begin(), out.end());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string ShellQuote(const std::string& argument) {
#ifdef _WIN32
  return "\"" + argument + "\"";
#else
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
#endif
}

ProcessResult RunProcess(const std::string& command) {
  ProcessResult result;
  static std::mt19937 random{std::random_device{}()};
  const fs::path err_file =
      fs::temp_directory_path() / ("vx-err-" + std::to_string(random()) + ".txt");
#ifdef _WIN32
  // cmd.exe drops the outer quotes of a line that starts with one.
  const std::string line = "\"" + command + " 2>" + ShellQuote(err_file.string()) + "\"";
  FILE* pipe = _popen(line.c_str(), "rb");
#else
  const std::string line = command + " 2>" + ShellQuote(err_file.string());
  FILE* pipe = popen(line.c_str(), "r");
#endif
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
#ifdef _WIN32
  result.exit_code = _pclose(pipe);
  // Text written by a Windows program ends its lines with CR LF.
  result.out.erase(std::remove(result.out.begin(), result.out.end(), '\r'), result.out.end());
#else
  const int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  result.err = ReadFile(err_file.string()).value_or("");
  result.err.erase(std::remove(result.err.begin(), result.err.end(), '\r'), result.err.end());
  std::error_code ignored;
  fs::remove(err_file, ignored);
  return result;
}

std::string FindTool(const std::vector<std::string>& names) {
#ifdef _WIN32
  (void)names;
  return "";
#else
  const char* path = std::getenv("PATH");
  if (path == nullptr) return "";
  for (const std::string& name : names) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return "";
#endif
}

std::string VxzipPath() {
#ifdef _WIN32
  const std::string path = BinaryDir() + "\\bin\\vxzip.exe";
#else
  const std::string path = BinaryDir() + "/bin/vxzip";
#endif
  std::error_code ignored;
  return fs::exists(path, ignored) ? path : "";
}

std::vector<std::pair<std::string, std::string>> TreeContents(const std::string& root) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    files.emplace_back(fs::relative(entry.path(), root).generic_string(),
                       ReadFile(entry.path().string()).value_or("<unreadable>"));
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace vx::test
