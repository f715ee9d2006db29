// Times the inflater's two fast loops (32-bit and 64-bit bit buffer) on the
// deflated members of one ZIP archive, in the same process, so that a change
// of a few percent shows. It needs nothing beyond the engine, so it builds for
// Windows too: run under Wine, the win32 and win64 builds give the loops as
// the shipping 32-bit and 64-bit programs compile them (bench/inflate_ab.sh
// alternates several such programs and sets their figures side by side).
//
// Each member is decoded from memory in test-only mode (check value computed,
// nothing written), as `vxzip test` does. The machine is shared, so the
// members are cut into slices of about 512 KB of output; slice by slice each
// loop decodes its slice ROUNDS times, alternating with the other, and its
// best time on each slice counts. A burst of load spoils one sample, not the
// figure.
//
// Usage: inflate_timer ARCHIVE [ROUNDS [WORDS]]   (WORDS: 32, 64 or 32,64)
// Prints one line per loop: "word <bits> <seconds> <MB/s>", seconds being the
// sum of the best slice times, and the ratio when both loops ran.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "archive/inflate.h"
#include "platform/stream.h"

namespace {

struct Member {
  size_t offset;
  size_t compressed;
  size_t size;
  uint32_t crc;
};

uint32_t Get16(const uint8_t* p) {
  return p[0] | p[1] << 8;
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | Get16(p + 2) << 16;
}

// The deflated members, found through the central directory.
bool LoadMembers(const std::vector<uint8_t>& b, std::vector<Member>& members) {
  if (b.size() < 22) return false;
  size_t eocd = b.size() - 22;
  while (eocd > 0 && Get32(&b[eocd]) != 0x06054B50) --eocd;
  if (Get32(&b[eocd]) != 0x06054B50) return false;
  const uint32_t entries = Get16(&b[eocd + 10]);
  size_t p = Get32(&b[eocd + 16]);
  for (uint32_t i = 0; i < entries && p + 46 <= b.size(); ++i) {
    if (Get32(&b[p]) != 0x02014B50) return false;
    const uint32_t method = Get16(&b[p + 10]);
    const uint32_t crc = Get32(&b[p + 16]);
    const uint32_t compressed = Get32(&b[p + 20]);
    const uint32_t size = Get32(&b[p + 24]);
    const size_t local = Get32(&b[p + 42]);
    p += 46 + Get16(&b[p + 28]) + Get16(&b[p + 30]) + Get16(&b[p + 32]);
    if (method != 8 || size == 0 || local + 30 > b.size()) continue;
    const size_t data = local + 30 + Get16(&b[local + 26]) + Get16(&b[local + 28]);
    if (data + compressed > b.size()) return false;
    members.push_back({data, compressed, size, crc});
  }
  return !members.empty();
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: inflate_timer ARCHIVE [ROUNDS [32|64|32,64]]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string which = argc > 3 ? argv[3] : "32,64";
  std::vector<vx::InflateWord> words;
  if (which.find("32") != std::string::npos) words.push_back(vx::InflateWord::k32);
  if (which.find("64") != std::string::npos) words.push_back(vx::InflateWord::k64);
  if (words.empty()) {
    std::fprintf(stderr, "inflate_timer: WORDS is 32, 64 or 32,64\n");
    return 2;
  }

  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
  std::vector<Member> members;
  if (!LoadMembers(bytes, members)) {
    std::fprintf(stderr, "inflate_timer: no deflated members in %s\n", argv[1]);
    return 1;
  }
  size_t total_out = 0;
  for (const Member& m : members) total_out += m.size;

  // Slices of about a millisecond: short enough that most samples of a
  // slice run without being preempted on a busy machine.
  constexpr size_t kSliceBytes = 512 * 1024;
  std::vector<size_t> starts = {0};
  for (size_t i = 0, bytes = 0; i < members.size(); ++i) {
    bytes += members[i].size;
    if (bytes >= kSliceBytes) {
      starts.push_back(i + 1);
      bytes = 0;
    }
  }
  if (starts.back() != members.size()) starts.push_back(members.size());
  std::vector<double> seconds(words.size(), 0);
  try {
    for (size_t s = 0; s + 1 < starts.size(); ++s) {
      const size_t first = starts[s];
      const size_t last = starts[s + 1];
      std::vector<double> best(words.size(), 1e30);
      for (int r = 0; r < rounds; ++r) {
        for (size_t k = 0; k < words.size(); ++k) {
          // Alternate which loop goes first, so neither always follows the other.
          const size_t w = (r % 2) ? words.size() - 1 - k : k;
          const double start = Now();
          for (size_t i = first; i < last; ++i) {
            const Member& m = members[i];
            vx::TMemoryViewStream source(&bytes[m.offset], m.compressed);
            vx::TDiscardStream sink;
            vx::TAbDeflateHelper helper;
            helper.options |= vx::TAbDeflateHelper::kOptionTestOnly;
            if (vx::InflateWithWord(words[w], source, sink, helper) != m.crc ||
                helper.normal_size != static_cast<int64_t>(m.size)) {
              std::fprintf(stderr, "inflate_timer: member at %zu decodes wrongly\n", m.offset);
              return 1;
            }
          }
          best[w] = std::min(best[w], Now() - start);
        }
      }
      for (size_t w = 0; w < words.size(); ++w) seconds[w] += best[w];
    }
  } catch (const vx::EAbException& e) {
    std::fprintf(stderr, "inflate_timer: %s\n", e.Message().c_str());
    return 1;
  }

  for (size_t w = 0; w < words.size(); ++w) {
    std::printf("word %d %.4f %.1f\n", static_cast<int>(words[w]), seconds[w],
                total_out / seconds[w] / 1e6);
  }
  if (words.size() == 2) std::printf("ratio 32/64 %.3f\n", seconds[0] / seconds[1]);
  return 0;
}
