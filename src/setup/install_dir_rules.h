// The rules an installation directory must meet. The product cannot live
// everywhere: no spaces, short components, a short path, plain characters
// only. The rules work on the path text as given: no trimming, no case
// folding, no resolution of relative names.
#pragma once

#include <cstddef>
#include <string>

namespace vx {

class TMessageService;
class TSetupSystem;

constexpr size_t kMaxSubdirNameLength = 12;
constexpr size_t kMaxInstallDirLength = 45;

// True when some component between backslashes (the drive part "C:"
// included) is longer than 12 characters; empty components are harmless.
bool HasLongSubdirName(const std::string& path);

// True when some character, as an unsigned 8-bit code, lies outside "0"..."z"
// (48 to 122): spaces, punctuation such as - . / and every non-ASCII letter.
bool HasUnexpectedChars(const std::string& path);

// The message for the first rule `path` breaks, or "" when it breaks none.
// The last rule refuses the name of an existing plain file.
std::string InstallDirRefusal(const std::string& path, bool is_directory, bool is_file);

// "Cannot create directory " + path: a directory that could not be made.
std::string CannotCreateDirText(const std::string& path);

// True when `path` may be used; otherwise shows the message of the first
// rule broken (an error with OK and Help, on the directory-name help topic)
// and returns false.
bool ValidInstallDir(const std::string& path, TSetupSystem& system, TMessageService& messages);

}  // namespace vx
