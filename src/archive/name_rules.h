// Rules on member names and paths, kept free of any file system: masks,
// the case folding of the ANSI code page, the output path of a member (which
// never leaves the base directory), and the progress arithmetic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// Upper case in the ANSI code page (1252), byte by byte.
char AnsiUpperChar(char c);
std::string AnsiUpperCase(const std::string& text);
// Equal regardless of case, in the same sense.
bool AnsiSameText(const std::string& a, const std::string& b);

// Every "/" turned into "\".
std::string ToBackslashes(const std::string& name);

// The length of the root of a path: "X:\" or "X:" (drive), "\\server\share\"
// (network), a leading separator, or 0 for a relative path. Both "\" and "/"
// count as separators.
size_t PathRootLength(const std::string& path);

// `path` without its drive or server-and-share prefix and the separators
// that follow it.
std::string DropDriveOrShare(const std::string& path);

// Wildcard match of a whole name: "?" one character, "*" any run; "*" and
// "*.*" alone match every non-empty name; an empty name matches only an
// empty pattern. Characters compare exactly.
bool PatternMatch(const std::string& name, const std::string& pattern);

// Whether an item name matches a mask list: parts separated by ";", each
// trimmed; a part with a directory portion also constrains the item's
// directory. Case-insensitive. An empty mask list matches nothing.
bool MatchMask(const std::string& item_name, const std::string& masks);

// The relative path under which a member named `name` is written: "/" made
// "\"; drive letters, server prefixes, leading separators, and components made
// only of dots and blanks ("." and ".." among them) dropped, so the result
// stays below whatever directory it is joined to. Without `restore_path` only
// the name's file portion is kept. Empty when nothing is left to write, which
// is always the case for a directory entry (a name ending in a separator).
std::string SafeRelativePath(const std::string& name, bool restore_path);

// A base directory without its trailing separator, unless the value is one
// character long or the separator follows a drive colon ("C:\" stays).
std::string TrimBaseDirectory(const std::string& directory);

// `directory` and `name` joined with one "\".
std::string JoinItemPath(const std::string& directory, const std::string& name);

// The directory portion of a path without its trailing separator ("" if none).
std::string ExtractFileDir(const std::string& path);

// Whole percent of `done` out of `total`; totals above 16,384,000 are scaled
// down by 256 first so the product cannot overflow. 0 when total <= 0, 100
// when done >= total.
uint8_t Percent(int32_t done, int32_t total);

}  // namespace vx
