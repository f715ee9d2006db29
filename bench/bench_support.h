// What the benchmark programs share: the processor time of the calling
// thread, whole files, and the folder beside the build where each keeps the
// corpora it makes.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "platform/stream.h"

namespace vx::bench {

// A stream that writes into a caller's buffer, as the peers' one-shot calls
// do, so a decoder's output costs one copy and no allocation. What does not
// fit is cut off (a short write, which the decoder reports).
class BufferSink : public vx::TStream {
 public:
  BufferSink(uint8_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* data, int64_t count) override {
    const size_t n = std::min(static_cast<size_t>(count), capacity_ - size_);
    std::memcpy(buffer_ + size_, data, n);
    size_ += n;
    return static_cast<int64_t>(n);
  }
  int64_t Seek(int64_t, vx::SeekOrigin) override { return static_cast<int64_t>(size_); }
  size_t size() const { return size_; }

 private:
  uint8_t* buffer_;
  size_t capacity_;
  size_t size_ = 0;
};

// Processor time of the calling thread, in seconds: what a neighbour's load
// does not inflate the way it inflates wall time.
inline double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// build/<preset>/bench-data (beside the program's bin/), made when missing;
// below the current directory when the program cannot find itself.
inline std::filesystem::path BenchDataDir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  const fs::path dir = (ec ? fs::current_path() : exe.parent_path().parent_path()) / "bench-data";
  fs::create_directories(dir);
  return dir;
}

}  // namespace vx::bench
