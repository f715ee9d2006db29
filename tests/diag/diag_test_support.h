// Real Windows executables for the flavour tests: copies of the fixtures the
// test build makes with mingw-w64 and windres, with chosen bytes written at
// chosen file offsets inside their padding area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vx::test {

// The fixture's bytes ("plain", "dvclal" or "numbered"); empty when it was not built.
std::vector<uint8_t> FixtureBytes(const std::string& name);

// The offset of the fixture's padding area (16 KiB of bytes that nothing
// reads) and the first multiple of the scan block size at least 128 bytes
// into it, so that markers can be placed on both sides of a block boundary.
struct PadLayout {
  size_t pad_start = 0;
  size_t boundary = 0;
};
PadLayout FindPad(const std::vector<uint8_t>& bytes);

void WriteAt(std::vector<uint8_t>& bytes, size_t offset, const std::string& text);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace vx::test

// Skips (or fails under VX_REQUIRE_TESTDATA=1) when the fixture is missing.
#define VX_REQUIRE_FIXTURE(bytes, name)                                 \
  do {                                                                  \
    if ((bytes).empty())                                                \
      VX_SKIP_OR_FAIL("PE fixture " + std::string(name) +               \
                      " not built (mingw-w64 gcc or windres missing)"); \
  } while (0)
