// Text forms of archive members for the command-line front end: a listing
// line per member and a progress bar. Pure functions, so scripts that read
// the output can rely on tests of them.
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip_archive.h"

namespace vx {

// One lower-case word per ZIP method: "stored", "shrunk", "reduced1".."reduced4",
// "imploded", "tokenized", "deflated", "deflate64", "dclimploded", else "method<N>".
std::string MethodName(uint16_t method);

// "YYYY-MM-DD HH:MM" of an MS-DOS date and time, fields as stored (a date of
// 0 gives "1980-00-00 00:00").
std::string FormatDosDateTime(uint16_t dos_date, uint16_t dos_time);

// Method, compressed size, uncompressed size, CRC-32 (8 lower-case hex
// digits), date and time, and the name as stored, separated by single blanks.
std::string FormatListLine(const TAbZipItem& item);

// "[#####-----] 45% name": a bar of `bar_width` cells, the percent right
// aligned in three places, and as much of `name` as fits in `line_width`.
std::string ProgressBarText(uint8_t percent, const std::string& name, size_t bar_width,
                            size_t line_width);

}  // namespace vx
