// The two 8-bit code pages of a Windows system: the OEM one (names stored in
// ZIP archives, console text; 437 here) and the ANSI one (everything else in
// this program; 1252 here). Bytes below 128 are the same in both.
#pragma once

#include <string>

namespace vx::platform {

// True when the process's file functions take ANSI names (the default).
bool FileApisAreAnsi();

// Byte-for-byte conversions; a character missing from the target code page
// becomes its closest look-alike, as Windows converts it. Any length works.
std::string OemToAnsi(const std::string& oem);
std::string AnsiToOem(const std::string& ansi);

// True where file names are UTF-8 (Linux), false where the file functions
// take names in the ANSI or OEM code page (Windows).
bool FileNamesAreUtf8();

// A UTF-8 name in the code page of the file functions. False when that code
// page lacks one of its characters or the text is not valid UTF-8; `name`
// then holds the name with "?" in their place, fit for messages only.
bool Utf8ToFileName(const std::string& utf8, std::string& name);

}  // namespace vx::platform
