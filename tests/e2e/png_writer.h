// Writes screenshots as PNG files: 24-bit RGB, uncompressed deflate blocks.
// Small and dependency-free; the pictures are for people to look at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::e2e {

// `rgb` holds height rows of width pixels, top row first, 3 bytes each.
bool WritePng(const std::string& path, int32_t width, int32_t height,
              const std::vector<uint8_t>& rgb);

}  // namespace vx::e2e
