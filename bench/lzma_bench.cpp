// LZMA (ZIP method 14) and xz (method 95) decoding speed against liblzma,
// side by side in one run.
//
// The corpus (about 75 MB) is a tar of this repository's tracked files, the
// first 60 MB of a tar of the mingw-w64 GCC runtime directory (objects,
// archives, headers) and 12 MB of generated text and structured binary; it is
// made under the build tree on first use, then compressed once by 7-Zip into a
// ZIP member (-mm=LZMA) and by the xz tool (-6, CRC-64, and -9e). Each
// decoder decodes from memory into one buffer; liblzma reads the LZMA member
// through its .lzma decoder (the member's properties under a .lzma header)
// and the xz files through its stream decoder, which also verifies the check.
// Time is the thread's CPU time; the decoders alternate and each keeps its
// best of several rounds, so a burst of load on the shared machine spoils a
// sample, not the comparison.
#include <lzma.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/lzma.h"
#include "archive/xz.h"
#include "bench_support.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

using vx::bench::BenchDataDir;
using vx::bench::ReadAll;
using vx::bench::ThreadSeconds;

bool Run(const std::string& command) {
  std::printf("  %s\n", command.c_str());
  std::fflush(stdout);
  return std::system(command.c_str()) == 0;
}

// Generated text and binary records, so the corpus does not depend only on
// what is installed.
void AppendGenerated(std::vector<uint8_t>& out) {
  static const char* words[] = {"archive ", "member ", "window ",  "setup ",   "vestrix ",
                                "install ", "folder ", "product ", "version ", "\r\n"};
  uint32_t x = 12345;
  const size_t text_end = out.size() + 8000000;
  while (out.size() < text_end) {
    x = x * 1103515245u + 12345u;
    const char* w = words[(x >> 16) % 10];
    out.insert(out.end(), w, w + std::strlen(w));
    if ((x >> 8) % 5 == 0) {
      const std::string n = std::to_string((x >> 4) % 100000);
      out.insert(out.end(), n.begin(), n.end());
    }
  }
  const size_t binary_end = out.size() + 4000000;
  uint32_t id = 0;
  while (out.size() < binary_end) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const uint32_t record[4] = {++id, x & 0xFFFF, 0x10000000u + (id << 4), x >> 24};
    const auto* p = reinterpret_cast<const uint8_t*>(record);
    out.insert(out.end(), p, p + sizeof record);
  }
}

bool MakeCorpus(const fs::path& corpus) {
  if (fs::exists(corpus)) return true;
  std::printf("making %s\n", corpus.c_str());
  const fs::path tmp = corpus.string() + ".part";
  const std::string source = VX_SOURCE_DIR;
  if (!Run("git -C '" + source + "' archive HEAD > '" + tmp.string() + "'")) return false;
  std::vector<uint8_t> bytes = ReadAll(tmp);
  for (const char* dir :
       {"/usr/lib/gcc/x86_64-w64-mingw32/12-posix", "/usr/lib/gcc/x86_64-w64-mingw32/12-win32"}) {
    if (!fs::is_directory(dir)) continue;
    if (!Run(std::string("tar cf - -C '") + dir + "' . 2>/dev/null | head -c 60000000 > '" +
             tmp.string() + "'")) {
      return false;
    }
    const auto tar = ReadAll(tmp);
    bytes.insert(bytes.end(), tar.begin(), tar.end());
    break;
  }
  AppendGenerated(bytes);
  fs::remove(tmp);
  std::ofstream(corpus, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return true;
}

// The data of the first member of a ZIP archive.
std::vector<uint8_t> FirstMemberData(const std::vector<uint8_t>& zip, uint16_t& method,
                                     uint16_t& flags) {
  auto le16 = [&](size_t at) { return static_cast<uint32_t>(zip[at] | zip[at + 1] << 8); };
  auto le32 = [&](size_t at) { return le16(at) | le16(at + 2) << 16; };
  if (zip.size() < 30 || le32(0) != 0x04034B50) return {};
  method = static_cast<uint16_t>(le16(8));
  flags = static_cast<uint16_t>(le16(6));
  const size_t start = 30 + le16(26) + le16(28);
  // 7-Zip streams the member, so its size is in the central directory.
  size_t eocd = zip.size() - 22;
  while (eocd > 0 && le32(eocd) != 0x06054B50) --eocd;
  const size_t central = le32(eocd + 16);
  const size_t compressed = le32(central + 20);
  if (start + compressed > zip.size()) return {};
  return std::vector<uint8_t>(zip.begin() + static_cast<std::ptrdiff_t>(start),
                              zip.begin() + static_cast<std::ptrdiff_t>(start + compressed));
}

size_t Ours(int64_t (*decode)(vx::TAbDecodeJob&), const std::vector<uint8_t>& in,
            std::vector<uint8_t>& out) {
  vx::TMemoryViewStream source(in.data(), in.size());
  vx::bench::BufferSink sink(out.data(), out.size());
  vx::TAbDecodeJob job;
  job.source = &source;
  job.compressed_size = static_cast<int64_t>(in.size());
  job.dest = &sink;
  job.output_limit = static_cast<int64_t>(out.size());
  return static_cast<size_t>(decode(job));
}

size_t Liblzma(lzma_ret (*init)(lzma_stream*), const std::vector<uint8_t>& in,
               std::vector<uint8_t>& out) {
  lzma_stream s = LZMA_STREAM_INIT;
  if (init(&s) != LZMA_OK) return 0;
  s.next_in = in.data();
  s.avail_in = in.size();
  s.next_out = out.data();
  s.avail_out = out.size();
  const lzma_ret r = lzma_code(&s, LZMA_FINISH);
  const size_t produced = out.size() - s.avail_out;
  lzma_end(&s);
  return r == LZMA_STREAM_END || r == LZMA_OK ? produced : 0;
}

lzma_ret InitAlone(lzma_stream* s) {
  return lzma_alone_decoder(s, UINT64_MAX);
}
lzma_ret InitStream(lzma_stream* s) {
  return lzma_stream_decoder(s, UINT64_MAX, 0);
}

struct Row {
  std::string name;
  std::function<size_t(std::vector<uint8_t>&)> ours;
  std::function<size_t(std::vector<uint8_t>&)> theirs;
  double ours_best = 1e9;
  double theirs_best = 1e9;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  const fs::path dir = BenchDataDir();
  const fs::path corpus_path = dir / "lzma-corpus.bin";
  if (!MakeCorpus(corpus_path)) {
    std::fprintf(stderr, "could not make the corpus\n");
    return 1;
  }
  const std::vector<uint8_t> corpus = ReadAll(corpus_path);
  const std::string c = "'" + corpus_path.string() + "'";
  const fs::path zip = dir / "lzma-corpus.zip";
  const fs::path xz6 = dir / "lzma-corpus-6.xz";
  const fs::path xz9 = dir / "lzma-corpus-9e.xz";
  if (!fs::exists(zip) && !Run("cd '" + dir.string() + "' && 7zz a -tzip -bd -bso0 -mm=LZMA '" +
                               zip.string() + "' lzma-corpus.bin")) {
    return 1;
  }
  if (!fs::exists(xz6) && !Run("xz -6 -k -c " + c + " > '" + xz6.string() + "'")) return 1;
  if (!fs::exists(xz9) && !Run("xz -9e -T1 -k -c " + c + " > '" + xz9.string() + "'")) return 1;

  uint16_t method = 0, flags = 0;
  const std::vector<uint8_t> member = FirstMemberData(ReadAll(zip), method, flags);
  if (method != 14 || member.size() < 9) {
    std::fprintf(stderr, "%s has no LZMA member\n", zip.c_str());
    return 1;
  }
  // The same stream under a .lzma header: properties, dictionary, size
  // (unknown when the stream ends with an end marker).
  std::vector<uint8_t> alone(member.begin() + 4, member.begin() + 9);
  const uint64_t size = (flags & 2) ? UINT64_MAX : uint64_t{corpus.size()};
  for (int i = 0; i < 8; ++i) alone.push_back(static_cast<uint8_t>(size >> (8 * i)));
  alone.insert(alone.end(), member.begin() + 9, member.end());
  const std::vector<uint8_t> x6 = ReadAll(xz6);
  const std::vector<uint8_t> x9 = ReadAll(xz9);

  std::vector<Row> rows;
  rows.push_back({"LZMA (7zz -mm=LZMA)",
                  [&](std::vector<uint8_t>& o) { return Ours(vx::DecodeLzma, member, o); },
                  [&](std::vector<uint8_t>& o) { return Liblzma(InitAlone, alone, o); }});
  rows.push_back({"xz -6 (CRC-64)",
                  [&](std::vector<uint8_t>& o) { return Ours(vx::DecodeXz, x6, o); },
                  [&](std::vector<uint8_t>& o) { return Liblzma(InitStream, x6, o); }});
  rows.push_back({"xz -9e (CRC-64)",
                  [&](std::vector<uint8_t>& o) { return Ours(vx::DecodeXz, x9, o); },
                  [&](std::vector<uint8_t>& o) { return Liblzma(InitStream, x9, o); }});

  std::vector<uint8_t> out(corpus.size());
  for (Row& row : rows) {
    for (auto* decode : {&row.ours, &row.theirs}) {
      std::fill(out.begin(), out.end(), 0);
      if ((*decode)(out) != corpus.size() || out != corpus) {
        std::fprintf(stderr, "%s: wrong output\n", row.name.c_str());
        return 1;
      }
    }
  }
  for (int r = 0; r < rounds; ++r) {
    for (Row& row : rows) {
      double start = ThreadSeconds();
      row.ours(out);
      row.ours_best = std::min(row.ours_best, ThreadSeconds() - start);
      start = ThreadSeconds();
      row.theirs(out);
      row.theirs_best = std::min(row.theirs_best, ThreadSeconds() - start);
    }
  }
  std::printf("\ncorpus %.1f MB; MB/s of output (thread CPU time, best of %d):\n",
              corpus.size() / 1e6, rounds);
  std::printf("  %-22s %10s %10s %8s %8s\n", "", "vx", "liblzma", "ratio", "in MB");
  const size_t sizes[] = {member.size(), x6.size(), x9.size()};
  for (size_t i = 0; i < rows.size(); ++i) {
    const double ours = corpus.size() / rows[i].ours_best / 1e6;
    const double theirs = corpus.size() / rows[i].theirs_best / 1e6;
    std::printf("  %-22s %10.1f %10.1f %7.2fx %8.1f\n", rows[i].name.c_str(), ours, theirs,
                ours / theirs, sizes[i] / 1e6);
  }
  std::printf("  (target: ratio >= 0.9)\n");
  return 0;
}
