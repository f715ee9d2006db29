#include "diag/diag_test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "diag/exe_flavour.h"

namespace vx::test {

std::vector<uint8_t> FixtureBytes(const std::string& name) {
  std::ifstream in(HostToPlatformPath(VX_DIAG_FIXTURE_DIR) + Separator() + name + ".exe",
                   std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

PadLayout FindPad(const std::vector<uint8_t>& bytes) {
  static const std::string kSentinel = "VXPADSTART";
  auto at = std::search(bytes.begin(), bytes.end(), kSentinel.begin(), kSentinel.end());
  PadLayout layout;
  if (at == bytes.end()) return layout;
  layout.pad_start = static_cast<size_t>(at - bytes.begin());
  size_t b = kSignatureBlockSize;
  layout.boundary = (layout.pad_start + 128 + b - 1) / b * b;
  return layout;
}

void WriteAt(std::vector<uint8_t>& bytes, size_t offset, const std::string& text) {
  if (bytes.size() < offset + text.size()) bytes.resize(offset + text.size());
  std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vx::test
