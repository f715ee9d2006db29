// The start-up's rules on plain text and numbers: names of the files beside
// the program, the settings values, the space figures and the texts shown.
#pragma once

#include <cstdint>
#include <string>

#include "platform/path_text.h"

namespace vx {

// A "DiskNeededMB" value: decimal, or hexadecimal after "0x", "0X" or "$".
// Anything that is not a whole 32-bit number gives -1, as a missing value does.
int32_t ParseDiskNeededMB(const std::string& text);

// Bytes as mebibytes, rounded to the nearest (ties to even); saturates at the
// largest 32-bit value.
int32_t BytesToMB(int64_t bytes);

// The text of the fatal-error box for `problem`.
std::string FatalErrorText(const std::string& problem);

// Captions of the two information labels.
std::string InstDirCaption(const std::string& inst_dir);
std::string SpaceNeededCaption(int32_t needed_mb, char drive, int32_t free_mb);

// Text lines as the memo shows them: CR, LF and CR LF all end a line, lines
// are joined with CR LF, and zero bytes (which would cut the text short)
// become blanks.
std::string MemoText(const std::string& file_bytes);

}  // namespace vx
