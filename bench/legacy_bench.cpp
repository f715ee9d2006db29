// Speed of the legacy decoders: MB/s of output for each method on the largest
// member of the PKZIP archives (TEST.EXE, 2.4 MB, in every one of them),
// decoded from memory with the CRC, the progress arithmetic and the 32 KiB
// flushes, into a stream that keeps nothing.
//
// The archives are looked up in ../shared/testdata/pkzip-dos from the
// working directory (scripts/bench runs from the project root), or in the
// folder named by VX_PKZIP_DIR.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/legacy.h"
#include "platform/stream.h"

namespace {

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8;
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return Get16(b, at) | Get16(b, at + 2) << 16;
}

struct Member {
  std::vector<uint8_t> data;
  vx::TAbLegacyRequest request;
  uint32_t crc = 0;
};

std::string PkzipDir() {
  const char* dir = std::getenv("VX_PKZIP_DIR");
  return dir != nullptr ? dir : "../shared/testdata/pkzip-dos";
}

// The largest member of `archive` stored with `method`.
bool LoadLargest(const std::string& archive, uint32_t method, Member& out) {
  std::ifstream file(PkzipDir() + "/" + archive, std::ios::binary);
  const std::vector<uint8_t> b(std::istreambuf_iterator<char>(file), {});
  if (b.size() < 22) return false;
  const size_t end = b.size() - 22;
  size_t p = Get32(b, end + 16);
  uint32_t best = 0;
  for (uint32_t i = 0, n = Get16(b, end + 10); i < n; ++i) {
    const uint32_t flags = Get16(b, p + 8), m = Get16(b, p + 10), size = Get32(b, p + 24);
    const uint32_t compressed = Get32(b, p + 20);
    const size_t local = Get32(b, p + 42);
    if (m == method && size > best) {
      best = size;
      const size_t data = local + 30 + Get16(b, local + 26) + Get16(b, local + 28);
      out.data.assign(b.begin() + data, b.begin() + data + compressed);
      out.crc = Get32(b, p + 16);
      out.request.method = static_cast<uint16_t>(m);
      out.request.compressed_size = compressed;
      out.request.uncompressed_size = size;
      out.request.dictionary_size = (flags & 2) ? 8192 : 4096;
      out.request.shannon_fano_trees = (flags & 4) ? 3 : 2;
    }
    p += 46 + Get16(b, p + 28) + Get16(b, p + 30) + Get16(b, p + 32);
  }
  return best > 0;
}

void Decode(benchmark::State& state, const char* archive, uint32_t method) {
  Member member;
  if (!LoadLargest(archive, method, member)) {
    state.SkipWithError(("no " + std::string(archive) + " in " + PkzipDir()).c_str());
    return;
  }
  int32_t events = 0;
  member.request.OnProgress = [&events](int32_t, bool&) { ++events; };
  for (auto _ : state) {
    vx::TMemoryViewStream input(member.data.data(), member.data.size());
    vx::TDiscardStream output;
    vx::TAbLegacyRequest request = member.request;
    const uint32_t crc = vx::LegacyItem(input, output, request);
    if (crc != member.crc) {
      state.SkipWithError("CRC mismatch");
      return;
    }
    benchmark::DoNotOptimize(events);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          member.request.uncompressed_size);
  state.counters["ratio"] =
      static_cast<double>(member.request.uncompressed_size) / member.data.size();
}

BENCHMARK_CAPTURE(Decode, unshrink, "PKZ110ES.ZIP", 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, unreduce_factor1, "PKZ90B1.ZIP", 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, unreduce_factor2, "PKZ90B2.ZIP", 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, unreduce_factor3, "PKZ90B3.ZIP", 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, unreduce_factor4, "PKZ90B4.ZIP", 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, explode_4k_2trees, "PKZ110EI.ZIP", 6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
