// What the benchmark programs share: the processor time of the calling
// thread, whole files, and the folder beside the build where each keeps the
// corpora it makes.
#pragma once

#include <time.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace vx::bench {

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
