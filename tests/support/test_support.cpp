#include "support/test_support.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace vx::test {

namespace fs = std::filesystem;

bool TestDataRequired() {
  const char* value = std::getenv("VX_REQUIRE_TESTDATA");
  return value != nullptr && std::string(value) == "1";
}

char Separator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

std::string HostToPlatformPath(const std::string& host_path) {
#ifdef _WIN32
  // Wine maps the Linux root to drive Z:.
  std::string path = host_path;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
#else
  return host_path;
#endif
}

std::string TestDataDir() { return HostToPlatformPath(VX_TESTDATA_DIR); }
std::string SourceDir() { return HostToPlatformPath(VX_SOURCE_DIR); }
std::string BinaryDir() { return HostToPlatformPath(VX_BINARY_DIR); }

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / ("vxtest-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      break;
    }
  }
  while (path_.size() > 3 && (path_.back() == '\\' || path_.back() == '/')) path_.pop_back();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Read-only files would block removal on Windows.
  for (auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string ScratchDir::File(const std::string& name) const {
  std::string joined = path_ + Separator() + name;
  for (char& c : joined) {
    if (c == '/' || c == '\\') c = Separator();
  }
  return joined;
}

}  // namespace vx::test
