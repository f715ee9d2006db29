// Colours in the form the windows use them: 0x00BBGGRR for a plain colour, or
// a system colour index with the high bit set, resolved by the view when it
// paints (so the button face follows the user's colour scheme).
#pragma once

#include <cstdint>

namespace vx {

using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;    // RGB 255, 0, 0
constexpr TColor clGreen = 0x008000;  // RGB 0, 128, 0
constexpr TColor kSystemColorFlag = 0x80000000;
constexpr TColor clBtnFace = kSystemColorFlag | 15;  // COLOR_BTNFACE

constexpr bool IsSystemColor(TColor color) {
  return (color & kSystemColorFlag) != 0;
}
constexpr uint32_t SystemColorIndex(TColor color) {
  return color & 0xFF;
}

}  // namespace vx
