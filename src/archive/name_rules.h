// Rules on member names, kept free of any file system: masks, the case
// folding of the ANSI code page, and the output path of a member (which never
// leaves the base directory). Path texts themselves are in platform/path_text.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/path_text.h"

namespace vx {

// Upper case in the ANSI code page (1252), byte by byte.
char AnsiUpperChar(char c);
std::string AnsiUpperCase(const std::string& text);
// Equal regardless of case, in the same sense.
bool AnsiSameText(const std::string& a, const std::string& b);

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

}  // namespace vx
