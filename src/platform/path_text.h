// Path texts in the Windows model: joining, splitting, roots, extensions and
// trimming. Pure string work used by every layer; nothing here looks at the
// disk. Both "\" and "/" count as separators where a function says so; the
// functions that follow the Windows shell's own rules see only "\" and ":".
#pragma once

#include <cstddef>
#include <string>

namespace vx {

// "\" or "/".
bool IsPathSeparator(char c);

// Removes leading and trailing blanks and control characters (codes 0-32).
std::string TrimBlanks(const std::string& text);

// Every "/" turned into "\".
std::string ToBackslashes(const std::string& name);

// The length of the root of a path: "X:\" or "X:" (drive), "\\server\share\"
// (network), a leading separator, or 0 for a relative path. Both "\" and "/"
// count as separators.
size_t PathRootLength(const std::string& path);

// `path` without its drive or server-and-share prefix and the separators
// that follow it.
std::string DropDriveOrShare(const std::string& path);

// Joins a directory and a relative path with one backslash: one trailing
// backslash of `dir` and every leading one of `rel` are dropped, and a bare
// drive ("C:", or "C:\" once trimmed) joins with none, giving the
// drive-relative "C:name".
std::string JoinPath(const std::string& dir, const std::string& rel);

// `dir` + `name`, with a backslash between them unless `dir` already ends in
// a separator; an empty `dir` gives `name` alone. "C:\" + "x" is "C:\x".
std::string AppendFileName(const std::string& dir, const std::string& name);

// Everything up to the last "\" or ":", without one trailing backslash
// ("C:\x.exe" gives "C:").
std::string FileDirectory(const std::string& path);

// Everything up to and including the last "\" or ":" ("" if none).
std::string ExtractFilePath(const std::string& path);

// The directory portion of a path without its trailing separator, except
// that a root keeps its own ("C:\x" gives "C:\"); "" if there is none. Both
// separators count.
std::string ExtractFileDir(const std::string& path);

// The part after the last "\" or ":".
std::string FileNamePart(const std::string& path);

// `path` with its extension (from the last "." after the last "\", "/" or
// ":") replaced by `extension`, or `extension` appended when it has none. A
// "/" counts so that a dot in a directory of a Linux path is no extension.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// `path` with every run of backslashes reduced to one, except the two that
// open a network path (\\server\share), which would otherwise name the root
// of the current drive instead of the share.
std::string ReduceBackslashes(const std::string& path);

// A base directory without its trailing separator, unless the value is one
// character long or the separator follows a drive colon ("C:\" stays).
std::string TrimBaseDirectory(const std::string& directory);

}  // namespace vx
