// bzip2 decoding speed against libbz2, side by side in one run.
//
// The corpus is a tar of the mingw-w64 GCC runtime directory (its first
// 48 MB), cut into 2 MB pieces and compressed by the bzip2 tool at -9, once,
// under the build tree. Each piece is decoded from memory into memory by each
// decoder in turn, its output compared; thread CPU time, best of `rounds`
// per piece, summed.
#include <bzlib.h>
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

#include "archive/bzip2.h"
#include "bench_support.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

using vx::bench::BenchDataDir;
using vx::bench::BufferSink;
using vx::bench::ReadAll;
using vx::bench::ThreadSeconds;

constexpr size_t kPieceSize = 2 << 20;
constexpr size_t kCorpusSize = 48 << 20;

struct Piece {
  std::vector<uint8_t> packed;
  size_t size = 0;
};

size_t Ours(const Piece& p, uint8_t* out) {
  vx::TMemoryViewStream source(p.packed.data(), p.packed.size());
  BufferSink sink(out, p.size);
  vx::TAbDecodeJob job;
  job.source = &source;
  job.dest = &sink;
  job.compressed_size = static_cast<int64_t>(p.packed.size());
  job.output_limit = static_cast<int64_t>(p.size);
  return static_cast<size_t>(vx::DecodeBzip2(job));
}

size_t Libbz2(const Piece& p, uint8_t* out) {
  unsigned int size = static_cast<unsigned int>(p.size);
  const int rc =
      BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out), &size,
                                 const_cast<char*>(reinterpret_cast<const char*>(p.packed.data())),
                                 static_cast<unsigned int>(p.packed.size()), 0, 0);
  return rc == BZ_OK ? size : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  const fs::path tree = "/usr/lib/gcc/x86_64-w64-mingw32/12-posix";
  if (!fs::is_directory(tree)) {
    std::fprintf(stderr, "no %s to build the corpus from\n", tree.c_str());
    return 1;
  }
  const fs::path dir = BenchDataDir() / "bzip2-corpus";
  if (!fs::exists(dir / "done")) {
    std::printf("making %s\n", dir.c_str());
    std::fflush(stdout);
    fs::create_directories(dir);
    const std::string command = "cd '" + tree.parent_path().string() + "' && tar cf - '" +
                                tree.filename().string() + "' | head -c " +
                                std::to_string(kCorpusSize) + " | (cd '" + dir.string() +
                                "' && split -b " + std::to_string(kPieceSize) +
                                " - piece. && bzip2 -9 piece.* && touch done)";
    if (std::system(command.c_str()) != 0) return 1;
  }
  std::vector<Piece> pieces;
  size_t total_in = 0, total_out = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".bz2") continue;
    Piece p;
    p.packed = ReadAll(entry.path());
    pieces.push_back(std::move(p));
  }
  std::vector<uint8_t> reference(kPieceSize + 64), out(kPieceSize + 64);
  for (Piece& p : pieces) {
    p.size = kPieceSize;
    p.size = Libbz2(p, reference.data());
    if (Ours(p, out.data()) != p.size || std::memcmp(out.data(), reference.data(), p.size) != 0) {
      std::fprintf(stderr, "output differs from libbz2's\n");
      return 1;
    }
    total_in += p.packed.size();
    total_out += p.size;
  }
  std::printf("corpus: %zu pieces of %s, bzip2 -9, %.1f MB -> %.1f MB; output equals libbz2's\n",
              pieces.size(), tree.c_str(), total_in / 1e6, total_out / 1e6);

  double ours = 0, theirs = 0;
  for (const Piece& p : pieces) {
    double best_ours = 1e9, best_theirs = 1e9;
    for (int r = 0; r < rounds; ++r) {
      double start = ThreadSeconds();
      Ours(p, out.data());
      best_ours = std::min(best_ours, ThreadSeconds() - start);
      start = ThreadSeconds();
      Libbz2(p, out.data());
      best_theirs = std::min(best_theirs, ThreadSeconds() - start);
    }
    ours += best_ours;
    theirs += best_theirs;
  }
  std::printf("\nMB/s of output (thread CPU time, best of %d per piece):\n", rounds);
  std::printf("    %-12s %8.1f\n", "vx bzip2", total_out / ours / 1e6);
  std::printf("    %-12s %8.1f\n", "libbz2", total_out / theirs / 1e6);
  std::printf("    ratio vx/libbz2          %.2fx  (target >= 1.0)\n", theirs / ours);
  return 0;
}
