// libFuzzer target for the archive directory and extraction: the input is a
// whole archive, opened from memory; every member is extracted into memory,
// tested, and its name put through the path and mask rules. Anything may be
// refused with an exception of the program's own; nothing may crash, read or
// write out of bounds, or write a path outside its base.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "archive/name_rules.h"
#include "archive/zip_archive.h"
#include "platform/exception.h"
#include "platform/stream.h"

namespace {

// Keeps the first bytes written and counts the rest, so a member that
// inflates to gigabytes costs no memory.
class CappedStream : public vx::TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    if (count <= 0) return 0;
    const auto* bytes = static_cast<const char*>(buffer);
    const int64_t keep = std::min<int64_t>(count, kKept - static_cast<int64_t>(kept_.size()));
    if (keep > 0) kept_.append(bytes, static_cast<size_t>(keep));
    size_ += count;
    return count;
  }
  // Only ever written in order; every position is the end.
  int64_t Seek(int64_t, vx::SeekOrigin) override { return size_; }
  int64_t Size() override { return size_; }

 private:
  static constexpr int64_t kKept = 1 << 20;
  std::string kept_;
  int64_t size_ = 0;
};

// A relative path with no component that climbs or roots it.
bool StaysBelowBase(const std::string& path) {
  if (path.empty()) return true;
  const bool drive = path.size() > 1 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (path[0] == '\\' || path[0] == '/' || drive) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    if (component.empty() || component == "." || component == ".." ||
        component.find('/') != std::string::npos || component.find('\0') != std::string::npos) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vx::TMemoryViewStream bytes(data, size);
  vx::TAbZipArchive archive(bytes, "fuzz.zip");
  archive.SetPassword("password");
  int requests = 0;
  archive.OnNeedPassword = [&requests](std::string& answer) {
    answer = ++requests % 2 ? "password" : "";
    return true;
  };
  try {
    archive.Load();
  } catch (const vx::Exception&) {
    return 0;
  }
  for (int32_t i = 0; i < archive.Count() && i < 64; ++i) {
    const std::string name = archive.Items(i).FileName();
    for (bool restore : {true, false}) {
      if (!StaysBelowBase(vx::SafeRelativePath(name, restore))) std::abort();
    }
    vx::MatchMask(name, "*.txt; docs\\*.*;*");
    if (archive.Status() == vx::asInvalid) break;
    CappedStream out;
    archive.ExtractToStream(i, out);
    if (archive.Status() == vx::asInvalid) break;
    archive.TestItemAt(i);
  }
  return 0;
}
