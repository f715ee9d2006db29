// DecodeZstd against libzstd's ZSTD_decompress, side by side in one run.
//
// The corpus is the first 100 MB of a tar of the mingw-w64 GCC runtime
// directory (the files the inflate benchmark archives), compressed by the
// zstd tool at -3 and at -19, each one frame with its checksum; the files are
// made under the build tree on first use. Each decoder turns the whole frame
// into one memory buffer (ours through a stream that copies into it), and the
// outputs are compared once with the original.
//
// The target compares ours with libzstd's one-shot call, which decodes
// straight into the caller's buffer; ours pays one more copy of the output,
// from its window into the stream, as an extractor writing a file pays in
// its write call. For a like-for-like view the last columns time libzstd's
// streaming decoder written through the same kind of stream, in pieces of
// its recommended output size, as an extractor built on libzstd would.
#include <time.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/zstd.h"
#include "bench_support.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

using vx::bench::BenchDataDir;
using vx::bench::BufferSink;
using vx::bench::ThreadSeconds;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

bool Make(const fs::path& file, const std::string& command) {
  if (fs::exists(file)) return true;
  std::printf("making %s\n", file.c_str());
  std::fflush(stdout);
  return std::system(command.c_str()) == 0 && fs::exists(file);
}

size_t Ours(const std::vector<uint8_t>& frame, uint8_t* out, size_t capacity) {
  BufferSink sink(out, capacity);
  vx::TMemoryViewStream source(frame.data(), frame.size());
  vx::TAbDecodeJob job;
  job.source = &source;
  job.compressed_size = static_cast<int64_t>(frame.size());
  job.dest = &sink;
  job.output_limit = static_cast<int64_t>(capacity);
  return static_cast<size_t>(vx::DecodeZstd(job));
}

size_t Theirs(const std::vector<uint8_t>& frame, uint8_t* out, size_t capacity) {
  const size_t n = ZSTD_decompress(out, capacity, frame.data(), frame.size());
  return ZSTD_isError(n) ? 0 : n;
}

size_t TheirsStreamed(const std::vector<uint8_t>& frame, uint8_t* out, size_t capacity) {
  static ZSTD_DStream* const stream = ZSTD_createDStream();
  static std::vector<uint8_t> piece(ZSTD_DStreamOutSize());
  BufferSink sink(out, capacity);
  ZSTD_initDStream(stream);
  ZSTD_inBuffer in{frame.data(), frame.size(), 0};
  for (;;) {
    ZSTD_outBuffer o{piece.data(), piece.size(), 0};
    const size_t left = ZSTD_decompressStream(stream, &o, &in);
    if (ZSTD_isError(left)) return 0;
    sink.WriteBuffer(piece.data(), static_cast<int64_t>(o.pos));
    if (left == 0) return sink.size();
    if (o.pos == 0 && in.pos == in.size) return 0;  // the frame ends early
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  fs::path tree;
  for (const char* p :
       {"/usr/lib/gcc/x86_64-w64-mingw32/12-posix", "/usr/lib/gcc/x86_64-w64-mingw32/12-win32"}) {
    if (fs::is_directory(p)) tree = p;
  }
  if (tree.empty()) {
    std::fprintf(stderr, "no mingw-w64 GCC runtime directory to build the corpus from\n");
    return 1;
  }
  const fs::path dir = BenchDataDir();
  const fs::path tar = dir / "zstd-corpus.tar";
  if (!Make(tar, "tar -C '" + tree.parent_path().string() + "' -cf - '" + tree.filename().string() +
                     "' | head -c 100000000 > '" + tar.string() + "'")) {
    return 1;
  }
  const std::vector<uint8_t> original = ReadFile(tar);
  std::vector<uint8_t> out(original.size() + 64);

  struct Level {
    const char* flags;
    const char* suffix;
  };
  std::printf("corpus: first %.1f MB of a tar of %s\n", original.size() / 1e6, tree.c_str());
  std::printf("MB/s of output, checksum included (thread CPU time, best of %d):\n", rounds);
  std::printf("  %-6s %10s %10s %10s %8s %10s %8s\n", "level", "packed MB", "ours", "libzstd",
              "ratio", "streamed", "ratio");
  for (const Level& level : {Level{"-3", "3"}, Level{"-19", "19"}}) {
    const fs::path packed = dir / (std::string("zstd-corpus.tar.") + level.suffix + ".zst");
    if (!Make(packed, std::string("zstd -q -f ") + level.flags + " '" + tar.string() + "' -o '" +
                          packed.string() + "'")) {
      return 1;
    }
    const std::vector<uint8_t> frame = ReadFile(packed);
    for (auto* decode : {Ours, Theirs, TheirsStreamed}) {
      std::fill(out.begin(), out.end(), 0);
      const size_t n = decode(frame, out.data(), out.size());
      if (n != original.size() || std::memcmp(out.data(), original.data(), n) != 0) {
        std::fprintf(stderr, "%s: output differs from the original\n",
                     decode == Ours ? "ours" : "libzstd");
        return 1;
      }
    }
    double best[3] = {1e9, 1e9, 1e9};
    for (int r = 0; r < rounds; ++r) {
      int k = 0;
      for (auto* decode : {Ours, Theirs, TheirsStreamed}) {
        const double start = ThreadSeconds();
        decode(frame, out.data(), out.size());
        best[k] = std::min(best[k], ThreadSeconds() - start);
        ++k;
      }
    }
    const double ours = original.size() / best[0] / 1e6;
    const double theirs = original.size() / best[1] / 1e6;
    const double streamed = original.size() / best[2] / 1e6;
    std::printf("  %-6s %10.1f %10.1f %10.1f %7.2fx %10.1f %7.2fx\n", level.flags,
                frame.size() / 1e6, ours, theirs, ours / theirs, streamed, ours / streamed);
  }
  std::printf("target: ratio to the one-shot libzstd >= 0.80\n");
  return 0;
}
