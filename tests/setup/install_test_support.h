// A short installation root on a real drive for the installation tests: the
// directory rules refuse long paths, so the tests' scratch directories cannot
// be used as they are. On Linux a drive letter is mapped onto a scratch
// directory; on Windows a fresh directory is made in the root of C:.
#pragma once

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>

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

}  // namespace vx::test
