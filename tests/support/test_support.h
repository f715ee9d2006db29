// Shared helpers of the test programs: where the test data is, fresh scratch
// directories, and the rule that missing data skips locally but fails in CI.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vx::test {

// True when VX_REQUIRE_TESTDATA=1: a missing tool or data set is then a failure.
bool TestDataRequired();

// The shared test data folder (holds pkzip-dos/), in the form the platform
// layer accepts on this build (a drive-letter path under Wine).
std::string TestDataDir();

// The source and build trees, in the same form.
std::string SourceDir();
std::string BinaryDir();

// Turns a host path (as the build system knows it) into one the platform
// layer accepts: unchanged on Linux, "Z:\..." under Wine.
std::string HostToPlatformPath(const std::string& host_path);

// A new empty directory, removed with its contents when the object dies.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory in platform form, without a trailing separator.
  const std::string& Path() const { return path_; }
  // Path() joined with a relative name, using the platform separator.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// The platform's path separator: '\\' on Windows, '/' on Linux.
char Separator();

}  // namespace vx::test

// Skips the current test with `reason`, or fails it when test data is required.
#define VX_SKIP_OR_FAIL(reason)                                          \
  do {                                                                   \
    if (::vx::test::TestDataRequired()) {                                \
      GTEST_FAIL() << "required but missing: " << (reason);              \
    } else {                                                             \
      GTEST_SKIP() << (reason);                                          \
    }                                                                    \
  } while (0)
