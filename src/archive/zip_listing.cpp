#include "archive/zip_listing.h"

#include <algorithm>
#include <cstdio>

namespace vx {

std::string MethodName(uint16_t method) {
  switch (method) {
    case 0:
      return "stored";
    case 1:
      return "shrunk";
    case 2:
    case 3:
    case 4:
    case 5:
      return "reduced" + std::to_string(method - 1);
    case 6:
      return "imploded";
    case 7:
      return "tokenized";
    case 8:
      return "deflated";
    case 9:
      return "deflate64";
    case 10:
      return "dclimploded";
    case 12:
      return "bzip2";
    case 14:
      return "lzma";
    case 20:
    case 93:
      return "zstd";
    case 95:
      return "xz";
    case 98:
      return "ppmd";
    case 99:
      return "aes";
    default:
      return "method" + std::to_string(method);
  }
}

std::string FormatDosDateTime(uint16_t dos_date, uint16_t dos_time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980u + (dos_date >> 9),
                (dos_date >> 5) & 15u, dos_date & 31u, static_cast<unsigned>(dos_time >> 11),
                (dos_time >> 5) & 63u);
  return text;
}

std::string FormatListLine(const TAbZipItem& item) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " %llu %llu %08x ",
                static_cast<unsigned long long>(item.StoredCompressedSize()),
                static_cast<unsigned long long>(item.StoredUncompressedSize()),
                static_cast<unsigned>(item.CRC32()));
  std::string line = MethodName(item.CompressionMethod());
  line.append(numbers);
  line.append(FormatDosDateTime(item.LastModFileDate(), item.LastModFileTime()));
  line.push_back(' ');
  line.append(item.StoredName());
  return line;
}

std::string ProgressBarText(uint8_t percent, const std::string& name, size_t bar_width,
                            size_t line_width) {
  const size_t shown = std::min<size_t>(percent, 100);
  const size_t filled = bar_width * shown / 100;
  char number[8];
  std::snprintf(number, sizeof number, "] %3u%% ", static_cast<unsigned>(shown));
  std::string line(1, '[');
  line.append(filled, '#');
  line.append(bar_width - filled, '-');
  line.append(number);
  if (line.size() < line_width) line.append(name, 0, line_width - line.size());
  return line;
}

}  // namespace vx
