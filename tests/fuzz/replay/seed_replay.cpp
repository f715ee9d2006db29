// Replays every seed of one fuzz target through its entry function, so an
// input that once crashed a decoder is tried again in every build, without a
// fuzzing run. A crash, a sanitizer report or an escaping exception fails the
// run; so does a seed folder that is missing or empty.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s TARGET\n", argv[0]);
    return 2;
  }
  const std::string target = argv[1];
  const std::string sep(1, vx::test::Separator());
  const std::filesystem::path folder =
      vx::test::SourceDir() + sep + "tests" + sep + "fuzz" + sep + "seeds" + sep + target;
  std::error_code error;
  std::vector<std::filesystem::path> seeds;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
    if (entry.is_regular_file()) seeds.push_back(entry.path());
  }
  if (error || seeds.empty()) {
    std::fprintf(stderr, "no seeds in %s\n", folder.string().c_str());
    return 1;
  }
  std::sort(seeds.begin(), seeds.end());
  for (const auto& seed : seeds) {
    std::ifstream in(seed, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "cannot read %s\n", seed.string().c_str());
      return 1;
    }
    std::printf("%s (%zu bytes)\n", seed.filename().string().c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu seeds replayed\n", seeds.size());
  return 0;
}
