// Text rules for Windows paths: trimming, joining and splitting. Pure string
// work; nothing here looks at the disk.
#pragma once

#include <string>

namespace vx {

// Removes leading and trailing blanks and control characters (codes 0-32).
std::string TrimBlanks(const std::string& text);

// Joins a directory and a relative path with one backslash; a bare drive
// "C:" (or "C:\") joins with none, giving a drive-relative "C:name".
std::string JoinPath(const std::string& dir, const std::string& rel);

// Everything up to the last "\" or ":", without one trailing backslash.
std::string FileDirectory(const std::string& path);

// The part after the last "\" or ":".
std::string FileNamePart(const std::string& path);

// `dir` + `name`, with a backslash between them unless `dir` ends in one.
// `dir` must not be empty.
std::string AppendFileName(const std::string& dir, const std::string& name);

}  // namespace vx
