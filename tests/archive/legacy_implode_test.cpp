// Imploded members in every form: 4 and 8 KiB dictionaries, two and three
// trees. The PKZIP archives only hold the 4 KiB two-tree form, so these
// members come from a small implementer below; unzip, where it can run,
// confirms that they are what PKZIP's format says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/legacy.h"
#include "archive/zip_crypto.h"
#include "legacy_test_support.h"

namespace vx {
namespace {

struct Token {
  bool literal = true;
  uint8_t byte = 0;
  uint32_t distance = 0;
  uint32_t length = 0;
};

struct Form {
  bool large_dictionary;  // 8 KiB
  bool literal_tree;      // three trees
  uint32_t Window() const { return large_dictionary ? 8192 : 4096; }
  uint32_t MinMatch() const { return literal_tree ? 3 : 2; }
  uint32_t MaxMatch() const { return MinMatch() + 63 + 255; }
  int32_t LowBits() const { return large_dictionary ? 7 : 6; }
};

// Greedy matching over hash chains of three bytes.
std::vector<Token> FindTokens(const std::vector<uint8_t>& data, const Form& form) {
  std::vector<Token> tokens;
  std::vector<int32_t> head(1 << 15, -1), prev(data.size(), -1);
  auto hash = [&](size_t i) {
    return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & 0x7FFF;
  };
  auto insert = [&](size_t i) {
    if (i + 2 < data.size()) {
      prev[i] = head[hash(i)];
      head[hash(i)] = static_cast<int32_t>(i);
    }
  };
  size_t i = 0;
  while (i < data.size()) {
    uint32_t best = 0, best_distance = 0;
    if (i + 2 < data.size()) {
      int32_t candidate = head[hash(i)];
      for (int32_t chain = 0; candidate >= 0 && chain < 256; ++chain) {
        const uint32_t distance = static_cast<uint32_t>(i - candidate);
        if (distance > form.Window()) break;
        uint32_t n = 0;
        while (n < form.MaxMatch() && i + n < data.size() && data[candidate + n] == data[i + n]) {
          ++n;
        }
        if (n > best) best = n, best_distance = distance;
        candidate = prev[candidate];
      }
    }
    if (best >= std::max<uint32_t>(form.MinMatch(), 3)) {
      tokens.push_back({false, 0, best_distance, best});
      for (uint32_t k = 0; k < best; ++k) insert(i + k);
      i += best;
    } else {
      tokens.push_back({true, data[i], 0, 0});
      insert(i);
      ++i;
    }
  }
  return tokens;
}

// Huffman code lengths, every symbol coded, none longer than 16 bits.
std::vector<int32_t> CodeLengths(std::vector<uint64_t> freq) {
  for (;;) {
    using Node = std::pair<uint64_t, int32_t>;
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> queue;
    std::vector<int32_t> parent(2 * freq.size(), -1);
    for (size_t s = 0; s < freq.size(); ++s) queue.push({freq[s] + 1, static_cast<int32_t>(s)});
    int32_t next = static_cast<int32_t>(freq.size());
    while (queue.size() > 1) {
      const Node a = queue.top();
      queue.pop();
      const Node b = queue.top();
      queue.pop();
      parent[a.second] = parent[b.second] = next;
      queue.push({a.first + b.first, next++});
    }
    std::vector<int32_t> lengths(freq.size());
    for (size_t s = 0; s < freq.size(); ++s) {
      for (int32_t n = static_cast<int32_t>(s); parent[n] >= 0; n = parent[n]) ++lengths[s];
    }
    if (*std::max_element(lengths.begin(), lengths.end()) <= 16) return lengths;
    for (auto& f : freq) f /= 2;
  }
}

// The codes PKZIP's format gives these lengths: handed out from the longest
// length (latest symbol first) to the shortest, each the previous code plus
// the previous code's weight in a 16-bit code space.
std::vector<uint32_t> AssignCodes(const std::vector<int32_t>& lengths) {
  std::vector<int32_t> order(lengths.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return lengths[a] < lengths[b]; });
  std::vector<uint32_t> codes(lengths.size());
  uint32_t code = 0, increment = 0;
  int32_t last_length = 0;
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    code += increment;
    if (lengths[*it] != last_length) {
      last_length = lengths[*it];
      increment = 1u << (16 - last_length);
    }
    codes[*it] = code >> (16 - lengths[*it]);
  }
  return codes;
}

void PutTree(test::BitWriter& out, const std::vector<int32_t>& lengths) {
  std::vector<uint8_t> packed;
  for (size_t s = 0; s < lengths.size();) {
    size_t run = 1;
    while (s + run < lengths.size() && run < 16 && lengths[s + run] == lengths[s]) ++run;
    packed.push_back(static_cast<uint8_t>((run - 1) << 4 | (lengths[s] - 1)));
    s += run;
  }
  out.Put(static_cast<uint32_t>(packed.size() - 1), 8);
  for (uint8_t b : packed) out.Put(b, 8);
}

struct Imploded {
  std::vector<uint8_t> bytes;
  bool far_distance = false;  // a distance needing more than 4 KiB
  bool long_length = false;   // a length needing the extra byte
};

Imploded Implode(const std::vector<Token>& tokens, const Form& form) {
  std::vector<uint64_t> literal_freq(256), length_freq(64), distance_freq(64);
  for (const Token& t : tokens) {
    if (t.literal) {
      ++literal_freq[t.byte];
    } else {
      ++length_freq[std::min<uint32_t>(t.length - form.MinMatch(), 63)];
      ++distance_freq[(t.distance - 1) >> form.LowBits()];
    }
  }
  const auto literal_lengths = CodeLengths(literal_freq);
  const auto length_lengths = CodeLengths(length_freq);
  const auto distance_lengths = CodeLengths(distance_freq);
  const auto literal_codes = AssignCodes(literal_lengths);
  const auto length_codes = AssignCodes(length_lengths);
  const auto distance_codes = AssignCodes(distance_lengths);

  test::BitWriter out;
  Imploded result;
  if (form.literal_tree) PutTree(out, literal_lengths);
  PutTree(out, length_lengths);
  PutTree(out, distance_lengths);
  for (const Token& t : tokens) {
    if (t.literal) {
      out.Put(1, 1);
      if (form.literal_tree) {
        out.PutMsbFirst(literal_codes[t.byte], literal_lengths[t.byte]);
      } else {
        out.Put(t.byte, 8);
      }
      continue;
    }
    out.Put(0, 1);
    const uint32_t d = t.distance - 1;
    out.Put(d & ((1u << form.LowBits()) - 1), form.LowBits());
    const uint32_t high = d >> form.LowBits();
    out.PutMsbFirst(distance_codes[high], distance_lengths[high]);
    const uint32_t l = t.length - form.MinMatch();
    const uint32_t symbol = std::min<uint32_t>(l, 63);
    out.PutMsbFirst(length_codes[symbol], length_lengths[symbol]);
    if (symbol == 63) out.Put(l - 63, 8);
    result.far_distance |= t.distance > 4096;
    result.long_length |= symbol == 63;
  }
  result.bytes = out.Bytes();
  return result;
}

// Text-like bytes with repeats from near and far (up to 8 KiB back), long runs
// and every byte value.
std::vector<uint8_t> SampleData(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  const char* words[] = {"VESTRIX ", "setup ", "archive ", "implode ",   "tree ",
                         "window ",  "\r\n",   "KELDA ",   "0123456789 "};
  std::vector<uint8_t> data;
  while (data.size() < size) {
    const uint32_t pick = rng() % 100;
    if (pick < 60) {
      const char* w = words[rng() % std::size(words)];
      data.insert(data.end(), w, w + std::char_traits<char>::length(w));
    } else if (pick < 75 && data.size() > 8192) {
      const size_t from = data.size() - 4097 - rng() % 4000;  // 4 to 8 KiB back
      const size_t n = 20 + rng() % 300;
      for (size_t k = 0; k < n; ++k) data.push_back(data[from + k]);
    } else if (pick < 80) {
      data.insert(data.end(), 100 + rng() % 500, static_cast<uint8_t>(rng()));
    } else {
      for (int k = 0; k < 40; ++k) data.push_back(static_cast<uint8_t>(rng()));
    }
  }
  data.resize(size);
  return data;
}

TAbLegacyRequest ImplodeRequest(const Form& form, size_t compressed, size_t size) {
  TAbLegacyRequest r;
  r.method = 6;
  r.compressed_size = static_cast<uint32_t>(compressed);
  r.uncompressed_size = static_cast<uint32_t>(size);
  r.dictionary_size = form.large_dictionary ? 8192 : 4096;
  r.shannon_fano_trees = form.literal_tree ? 3 : 2;
  return r;
}

void PrintTo(const Form& form, std::ostream* os) {
  *os << (form.large_dictionary ? "8 KiB, " : "4 KiB, ")
      << (form.literal_tree ? "3 trees" : "2 trees");
}

class ImplodeForms : public ::testing::TestWithParam<Form> {};

TEST_P(ImplodeForms, RoundTrip) {
  const Form form = GetParam();
  for (uint32_t seed : {1u, 2u}) {
    const auto data = SampleData(90000, seed);
    const Imploded packed = Implode(FindTokens(data, form), form);
    EXPECT_EQ(packed.far_distance, form.large_dictionary);
    EXPECT_TRUE(packed.long_length);
    TAbLegacyRequest request = ImplodeRequest(form, packed.bytes.size(), data.size());
    const test::Decoded d = test::DecodeLegacy(packed.bytes, request);
    ASSERT_EQ(d.bytes.size(), data.size());
    EXPECT_TRUE(d.bytes == data);
    EXPECT_EQ(d.crc, Crc32Update(0, data.data(), data.size()));
  }
}

TEST_P(ImplodeForms, CopiesFromBeforeTheStartGiveZeros) {
  const Form form = GetParam();
  const uint32_t far = form.Window();
  const std::vector<Token> tokens = {{false, 0, 100, 10},
                                     {true, 'x', 0, 0},
                                     {false, 0, 3, 5},
                                     {false, 0, far, form.MinMatch() + 70}};
  const Imploded packed = Implode(tokens, form);
  std::vector<uint8_t> expected(10, 0);
  expected.push_back('x');
  for (int k = 0; k < 5; ++k) expected.push_back(expected[expected.size() - 3]);
  expected.insert(expected.end(), form.MinMatch() + 70, 0);
  // The last copy starts `far` bytes back, before the start, and runs on
  // into the output itself.
  for (size_t k = expected.size() - (form.MinMatch() + 70), j = 0; j < form.MinMatch() + 70;
       ++k, ++j) {
    const int64_t from = static_cast<int64_t>(k) - far;
    expected[k] = from < 0 ? 0 : expected[from];
  }
  TAbLegacyRequest request = ImplodeRequest(form, packed.bytes.size(), expected.size());
  EXPECT_TRUE(test::DecodeLegacy(packed.bytes, request).bytes == expected);
}

INSTANTIATE_TEST_SUITE_P(Legacy, ImplodeForms,
                         ::testing::Values(Form{false, false}, Form{false, true}, Form{true, false},
                                           Form{true, true}),
                         [](const auto& info) {
                           return std::string(info.param.large_dictionary ? "8K" : "4K") +
                                  (info.param.literal_tree ? "_3trees" : "_2trees");
                         });

// The members above, wrapped into a ZIP file, as unzip sees them; one of them
// encrypted. This checks the implementer and the cipher of these tests
// against a decoder nobody here wrote.
TEST(ImplodeOracle, UnzipExtractsTheSameBytes) {
#ifdef _WIN32
  GTEST_SKIP() << "unzip runs on the Linux side only";
#else
  if (std::system("unzip -v >/dev/null 2>&1") != 0) VX_SKIP_OR_FAIL("unzip is not installed");
  const auto data = SampleData(60000, 7);
  const uint32_t crc = Crc32Update(0, data.data(), data.size());
  std::vector<test::RawMember> members;
  for (const Form& form :
       {Form{false, false}, Form{false, true}, Form{true, false}, Form{true, true}}) {
    test::RawMember m;
    m.name = std::string("f") + (form.large_dictionary ? "8" : "4") +
             (form.literal_tree ? "3" : "2") + ".bin";
    m.method = 6;
    m.flags = static_cast<uint16_t>((form.large_dictionary ? 2 : 0) | (form.literal_tree ? 4 : 0));
    m.crc = crc;
    m.uncompressed_size = static_cast<uint32_t>(data.size());
    m.data = Implode(FindTokens(data, form), form).bytes;
    members.push_back(m);
  }
  test::RawMember secret = members.back();
  secret.name = "secret.bin";
  secret.flags |= 1;
  std::vector<uint8_t> header = {1, 2, 3, 4,  5,  6,
                                 7, 8, 9, 10, 11, static_cast<uint8_t>(crc >> 24)};
  secret.data.insert(secret.data.begin(), header.begin(), header.end());
  ZipCipher cipher;
  cipher.Init("pw");
  cipher.Encrypt(secret.data.data(), secret.data.size());
  members.push_back(secret);

  test::ScratchDir dir;
  const std::string zip = dir.File("forms.zip");
  const auto bytes = test::WriteZip(members);
  {
    std::ofstream out(zip, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  for (const test::RawMember& m : members) {
    SCOPED_TRACE(m.name);
    const std::string target = dir.File(m.name + ".out");
    const std::string command =
        "unzip -P pw -p '" + zip + "' " + m.name + " > '" + target + "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(test::ReadFileBytes(target) == data);

    // And our own decoder on the same member.
    test::ZipMember z;
    for (const auto& found : test::ReadCentralDirectory(bytes)) {
      if (found.name == m.name) z = found;
    }
    TAbLegacyRequest request = test::RequestFor(z);
    request.password = "pw";
    EXPECT_TRUE(test::DecodeLegacy(test::MemberData(bytes, z), request).bytes == data);
  }
#endif
}

}  // namespace
}  // namespace vx
