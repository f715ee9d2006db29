// Inflate speed against zlib and libdeflate, side by side in one run.
//
// The corpus is the mingw-w64 GCC runtime directory, archived once with
// `zip -r -6` (deflate) and once with `7z a -tzip -mm=Deflate64`; the
// archives are made under the build tree on first use. Every deflated member
// is decoded from memory into memory, check value included, by each decoder
// in turn (see Measure for how noise is kept out). Our inflater runs with
// the build's bit buffer word and, beside it, with the 32-bit word the i686
// build uses, compiled for this processor.
#include <libdeflate.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/inflate.h"
#include "bench_support.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

using vx::bench::BenchDataDir;
using vx::bench::ThreadSeconds;

struct Member {
  const uint8_t* data;
  size_t compressed;
  size_t size;
  uint32_t crc;
};

struct Corpus {
  std::vector<uint8_t> bytes;
  std::vector<Member> members;
  size_t total_out = 0;
  size_t total_in = 0;
};

uint32_t Get16(const uint8_t* p) {
  return p[0] | p[1] << 8;
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | Get16(p + 2) << 16;
}

// Members with the given method, found through the central directory.
bool LoadCorpus(const fs::path& path, uint32_t method, Corpus& corpus) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  corpus.bytes.resize(static_cast<size_t>(fs::file_size(path)));
  file.read(reinterpret_cast<char*>(corpus.bytes.data()),
            static_cast<std::streamsize>(corpus.bytes.size()));
  const auto& b = corpus.bytes;
  if (b.size() < 22) return false;
  size_t eocd = b.size() - 22;
  while (eocd > 0 && Get32(&b[eocd]) != 0x06054B50) --eocd;
  if (Get32(&b[eocd]) != 0x06054B50) return false;
  const uint32_t entries = Get16(&b[eocd + 10]);
  size_t p = Get32(&b[eocd + 16]);
  for (uint32_t i = 0; i < entries && p + 46 <= b.size(); ++i) {
    if (Get32(&b[p]) != 0x02014B50) return false;
    const uint32_t entry_method = Get16(&b[p + 10]);
    const uint32_t crc = Get32(&b[p + 16]);
    const uint32_t compressed = Get32(&b[p + 20]);
    const uint32_t size = Get32(&b[p + 24]);
    const size_t local = Get32(&b[p + 42]);
    p += 46 + Get16(&b[p + 28]) + Get16(&b[p + 30]) + Get16(&b[p + 32]);
    if (entry_method != method || size == 0) continue;
    const size_t data = local + 30 + Get16(&b[local + 26]) + Get16(&b[local + 28]);
    if (data + compressed > b.size()) return false;
    corpus.members.push_back({&b[data], compressed, size, crc});
    corpus.total_out += size;
    corpus.total_in += compressed;
  }
  return !corpus.members.empty();
}

using Decoder = std::function<uint32_t(const Member&, uint8_t* out)>;

uint32_t OursDecode(const Member& m, uint8_t* out, bool deflate64,
                    vx::InflateWord word = vx::BuildInflateWord()) {
  vx::bench::BufferSink sink(out, m.size);
  vx::TMemoryViewStream source(m.data, m.compressed);
  vx::TAbDeflateHelper helper;
  if (deflate64) helper.options |= vx::TAbDeflateHelper::kOptionDeflate64;
  return vx::InflateWithWord(word, source, sink, helper);
}

uint32_t ZlibDecode(const Member& m, uint8_t* out) {
  static z_stream z = [] {
    z_stream s{};
    inflateInit2(&s, -15);
    return s;
  }();
  inflateReset(&z);
  z.next_in = const_cast<Bytef*>(m.data);
  z.avail_in = static_cast<uInt>(m.compressed);
  z.next_out = out;
  z.avail_out = static_cast<uInt>(m.size);
  if (inflate(&z, Z_FINISH) != Z_STREAM_END) return 0;
  return static_cast<uint32_t>(crc32(0, out, static_cast<uInt>(m.size)));
}

uint32_t LibdeflateDecode(const Member& m, uint8_t* out) {
  static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  size_t actual = 0;
  if (libdeflate_deflate_decompress(d, m.data, m.compressed, out, m.size, &actual) !=
      LIBDEFLATE_SUCCESS) {
    return 0;
  }
  return libdeflate_crc32(0, out, actual);
}

// One decoder over one corpus.
struct Job {
  const char* name;
  const Corpus* corpus;
  Decoder decode;
  double seconds = 0;  // sum over the slices of the best time on each
  double MBps() const { return corpus->total_out / seconds / 1e6; }
};

// The machine is shared, so timings are noisy. Time is the thread's CPU
// time, which other processes do not inflate. Each corpus is cut into
// kSlices slices; slice by slice, every job decodes its slice `rounds`
// times in turn with the others, and its best time on each slice counts.
// So a burst of load spoils one sample, not a run, and hits all jobs alike.
void Measure(std::vector<Job>& jobs, int rounds) {
  constexpr size_t kSlices = 48;
  size_t largest = 0;
  for (const Job& job : jobs) {
    for (const Member& m : job.corpus->members) largest = std::max(largest, m.size);
  }
  std::vector<uint8_t> out(largest + 64);
  for (Job& job : jobs) job.seconds = 0;
  for (size_t s = 0; s < kSlices; ++s) {
    std::vector<double> best(jobs.size(), 1e9);
    for (int r = 0; r < rounds; ++r) {
      for (size_t j = 0; j < jobs.size(); ++j) {
        const auto& members = jobs[j].corpus->members;
        const size_t first = members.size() * s / kSlices;
        const size_t last = members.size() * (s + 1) / kSlices;
        const double start = ThreadSeconds();
        for (size_t i = first; i < last; ++i) {
          if (jobs[j].decode(members[i], out.data()) != members[i].crc) {
            std::fprintf(stderr, "%s: wrong check value\n", jobs[j].name);
            std::exit(1);
          }
        }
        best[j] = std::min(best[j], ThreadSeconds() - start);
      }
    }
    for (size_t j = 0; j < jobs.size(); ++j) jobs[j].seconds += best[j];
  }
}

std::string FindTool(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return name;
  }
  return "";
}

fs::path SourceTree() {
  for (const char* p :
       {"/usr/lib/gcc/x86_64-w64-mingw32/12-win32", "/usr/lib/gcc/x86_64-w64-mingw32/12-posix"}) {
    if (fs::is_directory(p)) return p;
  }
  return {};
}

bool MakeArchive(const fs::path& archive, const std::string& command) {
  if (fs::exists(archive)) return true;
  std::printf("making %s\n", archive.c_str());
  std::fflush(stdout);
  return std::system(command.c_str()) == 0 && fs::exists(archive);
}

// Our CRC-32 must equal zlib's over every member of the corpus.
void CheckCrcAgainstZlib(const Corpus& corpus) {
  std::vector<uint8_t> out;
  for (const Member& m : corpus.members) {
    out.resize(m.size);
    LibdeflateDecode(m, out.data());
    const uint32_t ours = vx::Crc32Update(0, out.data(), out.size());
    const uint32_t theirs =
        static_cast<uint32_t>(crc32(0, out.data(), static_cast<uInt>(out.size())));
    if (ours != theirs || ours != m.crc) {
      std::fprintf(stderr, "CRC-32 differs from zlib's: %08x %08x\n", ours, theirs);
      std::exit(1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  const fs::path tree = SourceTree();
  if (tree.empty()) {
    std::fprintf(stderr, "no mingw-w64 GCC runtime directory to build the corpus from\n");
    return 1;
  }
  const fs::path dir = BenchDataDir();
  const fs::path deflate_zip = dir / "inflate-corpus-deflate.zip";
  const fs::path deflate64_zip = dir / "inflate-corpus-deflate64.zip";
  const std::string cd = "cd '" + tree.parent_path().string() + "' && ";
  if (!MakeArchive(deflate_zip, cd + "zip -q -r -6 '" + deflate_zip.string() + "' '" +
                                    tree.filename().string() + "'")) {
    std::fprintf(stderr, "could not make %s\n", deflate_zip.c_str());
    return 1;
  }

  Corpus corpus;
  if (!LoadCorpus(deflate_zip, 8, corpus)) {
    std::fprintf(stderr, "no deflated members in %s\n", deflate_zip.c_str());
    return 1;
  }
  CheckCrcAgainstZlib(corpus);
  std::printf("corpus: %s, %zu deflated members, %.1f MB -> %.1f MB\n", tree.c_str(),
              corpus.members.size(), corpus.total_in / 1e6, corpus.total_out / 1e6);
  std::printf("CRC-32 equals zlib's crc32 on every member\n");

  const std::string seven = FindTool({"7z", "7zz", "7za"});
  Corpus corpus64;
  if (seven.empty()) {
    std::printf("deflate64: skipped, no 7z\n");
  } else if (!MakeArchive(deflate64_zip, cd + seven + " a -bd -bso0 -tzip -mm=Deflate64 '" +
                                             deflate64_zip.string() + "' '" +
                                             tree.filename().string() + "'") ||
             !LoadCorpus(deflate64_zip, 9, corpus64)) {
    std::fprintf(stderr, "no deflate64 members in %s\n", deflate64_zip.c_str());
    return 1;
  }

  constexpr auto k32 = vx::InflateWord::k32;
  std::vector<Job> jobs = {
      {"vx Inflate", &corpus, [](const Member& m, uint8_t* o) { return OursDecode(m, o, false); }},
      {"zlib", &corpus, ZlibDecode},
      {"libdeflate", &corpus, LibdeflateDecode},
      {"vx 32-bit word", &corpus,
       [](const Member& m, uint8_t* o) { return OursDecode(m, o, false, k32); }}};
  if (!corpus64.members.empty()) {
    jobs.push_back({"vx Inflate64", &corpus64,
                    [](const Member& m, uint8_t* o) { return OursDecode(m, o, true); }});
    jobs.push_back({"vx 32-bit word", &corpus64,
                    [](const Member& m, uint8_t* o) { return OursDecode(m, o, true, k32); }});
  }
  Measure(jobs, rounds);

  std::printf("\nMB/s of output, check value included (thread CPU time, best of %d per slice):\n",
              rounds);
  std::printf("  deflate   (zip -6, %.1f MB -> %.1f MB)\n", corpus.total_in / 1e6,
              corpus.total_out / 1e6);
  for (size_t j = 0; j < 3; ++j) std::printf("    %-12s %8.1f\n", jobs[j].name, jobs[j].MBps());
  const double ours = jobs[0].MBps();
  std::printf("    ratio vx/zlib            %.2fx  (target >= 2.0)\n", ours / jobs[1].MBps());
  std::printf("    ratio vx/libdeflate      %.2fx  (target >= 0.9)\n", ours / jobs[2].MBps());
  std::printf("    %-12s %8.1f  (%.2fx the build's word)\n", jobs[3].name, jobs[3].MBps(),
              jobs[3].MBps() / ours);
  if (jobs.size() > 4) {
    std::printf("  deflate64 (7z -mm=Deflate64, %.1f MB -> %.1f MB)\n", corpus64.total_in / 1e6,
                corpus64.total_out / 1e6);
    std::printf("    %-12s %8.1f\n", jobs[4].name, jobs[4].MBps());
    std::printf("    ratio deflate64/deflate  %.2fx  (target >= 0.9)\n", jobs[4].MBps() / ours);
    std::printf("    %-12s %8.1f  (%.2fx the build's word)\n", jobs[5].name, jobs[5].MBps(),
                jobs[5].MBps() / jobs[4].MBps());
  }
  return 0;
}
