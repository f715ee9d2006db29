// PPMd decoding speed against 7-Zip's own ("7zz t" of the same archive),
// side by side in one run.
//
// The corpus is a tar of the mingw-w64 GCC runtime directory (its first
// 16 MB), packed once under the build tree by 7-Zip as one PPMd member, with
// 7-Zip's default model (order 8, 16 MiB) and with a 1 MiB cut-off model
// that fills up many times. Ours decodes the member from memory into a
// buffer (thread CPU time); 7-Zip tests the archive as a process (its CPU
// time, user and system, which includes starting it and reading the
// archive, a few milliseconds). Best of `rounds` each.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/ppmd.h"
#include "bench_support.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

using vx::bench::BenchDataDir;
using vx::bench::BufferSink;
using vx::bench::ReadAll;
using vx::bench::ThreadSeconds;

constexpr size_t kCorpusSize = 16 << 20;

struct Member {
  std::vector<uint8_t> data;
  uint32_t size = 0;
  uint32_t crc = 0;
};

uint32_t Le16(const std::vector<uint8_t>& b, size_t p) {
  return b[p] | b[p + 1] << 8;
}
uint32_t Le32(const std::vector<uint8_t>& b, size_t p) {
  return Le16(b, p) | Le16(b, p + 2) << 16;
}

// The archive's only member, located through its local header.
bool ReadMember(const std::vector<uint8_t>& zip, Member& m) {
  if (zip.size() < 30 || Le32(zip, 0) != 0x04034B50 || Le16(zip, 8) != 98) return false;
  m.crc = Le32(zip, 14);
  const uint32_t packed = Le32(zip, 18);
  m.size = Le32(zip, 22);
  const size_t start = 30 + Le16(zip, 26) + Le16(zip, 28);
  if (start + packed > zip.size()) return false;
  m.data.assign(zip.begin() + static_cast<std::ptrdiff_t>(start),
                zip.begin() + static_cast<std::ptrdiff_t>(start + packed));
  return true;
}

size_t Ours(const Member& m, uint8_t* out) {
  vx::TMemoryViewStream source(m.data.data(), m.data.size());
  BufferSink sink(out, static_cast<size_t>(m.size));
  vx::TAbDecodeJob job;
  job.source = &source;
  job.dest = &sink;
  job.compressed_size = static_cast<int64_t>(m.data.size());
  job.output_limit = m.size;
  return static_cast<size_t>(vx::DecodePpmd(job));
}

// CPU time of the finished child processes so far.
double ChildrenSeconds() {
  rusage u;
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  const fs::path tree = "/usr/lib/gcc/x86_64-w64-mingw32/12-posix";
  if (!fs::is_directory(tree)) {
    std::fprintf(stderr, "no %s to build the corpus from\n", tree.c_str());
    return 1;
  }
  const fs::path dir = BenchDataDir() / "ppmd-corpus";
  struct Setting {
    const char* label;
    const char* options;
    const char* archive;
  };
  const Setting settings[] = {{"order 8, 16 MiB", "-mo=8 -mmem=16m", "default.zip"},
                              {"order 8, 1 MiB, cut off", "-mo=8 -mmem=1m -mx=9", "cutoff.zip"}};
  if (!fs::exists(dir / "done")) {
    std::printf("making %s\n", dir.c_str());
    std::fflush(stdout);
    fs::create_directories(dir);
    std::string command = "cd '" + tree.parent_path().string() + "' && tar cf - '" +
                          tree.filename().string() + "' | head -c " + std::to_string(kCorpusSize) +
                          " > '" + (dir / "corpus").string() + "' && cd '" + dir.string() + "'";
    for (const Setting& s : settings) {
      command += std::string(" && 7zz a -tzip -bd -bso0 -mm=PPMd ") + s.options + " " + s.archive +
                 " corpus";
    }
    command += " && touch done";
    if (std::system(command.c_str()) != 0) return 1;
  }

  std::vector<uint8_t> out(kCorpusSize + 64);
  std::printf("corpus: the first %zu MB of a tar of %s\n", kCorpusSize >> 20, tree.c_str());
  std::printf("\nMB/s of output (best of %d; CPU time):\n", rounds);
  for (const Setting& s : settings) {
    Member m;
    if (!ReadMember(ReadAll(dir / s.archive), m)) {
      std::fprintf(stderr, "%s: no PPMd member\n", s.archive);
      return 1;
    }
    if (Ours(m, out.data()) != m.size || vx::Crc32Update(0, out.data(), m.size) != m.crc) {
      std::fprintf(stderr, "%s: our output does not match the member's CRC-32\n", s.archive);
      return 1;
    }
    const std::string test =
        "7zz t -bd -bso0 -bsp0 '" + (dir / s.archive).string() + "' > /dev/null";
    double ours = 1e9, theirs = 1e9;
    for (int r = 0; r < rounds; ++r) {
      double start = ThreadSeconds();
      Ours(m, out.data());
      ours = std::min(ours, ThreadSeconds() - start);
      start = ChildrenSeconds();
      if (std::system(test.c_str()) != 0) {
        std::fprintf(stderr, "7zz t failed on %s\n", s.archive);
        return 1;
      }
      theirs = std::min(theirs, ChildrenSeconds() - start);
    }
    std::printf("  %-26s (%.1f MB -> %.1f MB)\n", s.label, m.data.size() / 1e6, m.size / 1e6);
    std::printf("    %-12s %8.2f\n", "vx PPMd", m.size / ours / 1e6);
    std::printf("    %-12s %8.2f\n", "7zz t", m.size / theirs / 1e6);
    std::printf("    ratio vx/7zz             %.2fx\n", theirs / ours);
  }
  return 0;
}
