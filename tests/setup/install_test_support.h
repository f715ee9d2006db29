// A short installation root on a real drive for the installation tests: the
// directory rules refuse long paths, so the tests' scratch directories cannot
// be used as they are. On Linux a drive letter is mapped onto a scratch
// directory; on Windows a fresh directory is made in the root of C:.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "setup/setup_system.h"
#include "support/test_support.h"

#ifndef _WIN32
#include "platform/posix/path_map.h"
#endif

namespace vx::test {

class ShortRoot {
 public:
  ShortRoot() {
#ifdef _WIN32
    std::random_device random;
    for (;;) {
      host_ = "C:\\vxi" + std::to_string(random() % 1000000);
      if (std::filesystem::create_directory(host_)) break;
    }
    path_ = host_ + "\\";
#else
    scratch_ = std::make_unique<ScratchDir>();
    saved_ = platform::DriveMap();
    platform::DriveTable table = saved_;
    table['X'] = scratch_->Path();
    platform::SetDriveMap(table);
    host_ = scratch_->Path();
    path_ = "X:\\";
#endif
  }
  ~ShortRoot() {
#ifdef _WIN32
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(host_, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(host_, ignored);
#else
    platform::SetDriveMap(saved_);
#endif
  }
  ShortRoot(const ShortRoot&) = delete;
  ShortRoot& operator=(const ShortRoot&) = delete;

  // The root in the platform's path model, ending in a backslash ("X:\").
  const std::string& Path() const {
    return path_;
  }
  // The host path of a name below the root ("a\b" -> ".../a/b" on Linux).
  std::string Host(std::string relative) const {
    for (char& c : relative) {
      if (c == '\\') c = Separator();
    }
    return host_ + Separator() + relative;
  }

 private:
  std::string path_;
  std::string host_;
#ifndef _WIN32
  std::unique_ptr<ScratchDir> scratch_;
  platform::DriveTable saved_;
#endif
};

// The real disk below a ShortRoot, with what an installation test arranges:
// the free space, files whose attributes cannot be changed, files another
// program holds open (each probe noted), directories another run holds, and
// the program's own name (the platform's when empty).
class DiskSystem : public TPlatformSetupSystem {
 public:
  explicit DiskSystem(std::string program = "") : program_(std::move(program)) {}
  int64_t free_bytes = int64_t{5000} << 20;
  std::set<std::string> locked;
  std::set<std::string> in_use;
  std::vector<std::string> probed;
  std::set<std::string> held_elsewhere;

  std::string ProgramFileName() override {
    return program_.empty() ? TPlatformSetupSystem::ProgramFileName() : program_;
  }
  std::string MenuFontName() override { return "Tahoma"; }
  bool DiskFreeBytes(const std::string&, int64_t& bytes) override {
    bytes = free_bytes;
    return true;
  }
  bool SetFileAttributes(const std::string& path, uint32_t attributes) override {
    if (locked.count(path) != 0) return false;
    return TPlatformSetupSystem::SetFileAttributes(path, attributes);
  }
  bool FileInUse(const std::string& path) override {
    probed.push_back(path);
    return in_use.count(path) != 0 && TPlatformSetupSystem::FileExists(path);
  }
  std::unique_ptr<TDirectoryHold> HoldDirectory(const std::string& directory) override {
    if (held_elsewhere.count(directory) != 0) return nullptr;
    return TPlatformSetupSystem::HoldDirectory(directory);
  }

 private:
  std::string program_;
};

}  // namespace vx::test
