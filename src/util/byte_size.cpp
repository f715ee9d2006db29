#include "util/byte_size.h"

#include <cmath>

namespace vx {

namespace {

// `value` in fixed-point notation with `decimals` places, rounded half away
// from zero. Written by hand so that every platform's C library gives the
// same digits. A float times 100 is exact in a double, so no error creeps in.
std::string FixedText(float value, int decimals) {
  const uint64_t scale = decimals == 2 ? 100 : decimals == 1 ? 10 : 1;
  const double magnitude = std::fabs(static_cast<double>(value));
  const uint64_t scaled = static_cast<uint64_t>(std::floor(magnitude * scale + 0.5));
  std::string text = (value < 0 && scaled != 0) ? "-" : "";
  text += std::to_string(scaled / scale);
  if (decimals > 0) {
    std::string fraction = std::to_string(scaled % scale);
    text += '.';
    text.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    text += fraction;
  }
  return text;
}

}  // namespace

std::string FormatByteSize(int64_t bytes) {
  // Single precision on purpose: the figures are for reading, not arithmetic.
  const float kilobytes = static_cast<float>(bytes) / 1024.0f;
  const float megabytes = kilobytes / 1024.0f;
  const float gigabytes = megabytes / 1024.0f;

  float value;
  const char* unit;
  if (kilobytes < 1) {
    value = static_cast<float>(bytes);
    unit = " bytes";
  } else if (megabytes < 1) {
    value = kilobytes;
    unit = "KB";
  } else if (gigabytes < 1) {
    value = megabytes;
    unit = "MB";
  } else {
    value = gigabytes;
    unit = "GB";
  }
  const int decimals = value > 100 ? 0 : value > 10 ? 1 : 2;

  std::string number = FixedText(value, decimals);
  if (number.find('.') != std::string::npos) {
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
  }
  return number + unit;
}

}  // namespace vx
