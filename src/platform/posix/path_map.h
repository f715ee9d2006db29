// How the Linux backend maps the Windows path model onto the Linux file
// system, the way Wine does: "\" becomes "/", and a drive letter "X:" stands
// for the directory the drive table gives it. The table comes from the
// environment variable VX_DRIVES ("C=/tmp/c;D=/srv/d") at first use, or from
// SetDriveMap. A drive letter that is not in the table does not exist. Paths
// without a drive letter pass through, so plain Linux paths keep working.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace vx::platform {

// Upper-case drive letter -> absolute Linux directory (no trailing "/").
using DriveTable = std::map<char, std::string>;

// Parses "C=/tmp/c;D=/srv/d" (letters in any case, "C:=" also accepted);
// malformed entries are left out. Relative directories are made absolute.
DriveTable ParseDriveMap(const std::string& text);

DriveTable DriveMap();
void SetDriveMap(const DriveTable& table);

// The Linux path a Windows-model path stands for; std::nullopt when it names a
// drive that is not mapped, or a network share (which Linux cannot reach).
// "X:\a\b" -> mapped directory + "/a/b" ("." and ".." resolved, never above
// the drive's root); "X:a" is relative to the current directory when that is
// on drive X, else to the drive's root; "\a" starts at the root of the current
// directory's drive (or at "/" when the current directory is not on a drive);
// anything else only has its backslashes turned into slashes.
std::optional<std::string> ToHostPath(const std::string& path);

// The Windows-model form of a Linux path the system handed back: "X:\..." when
// a drive maps a directory holding it (the deepest such drive), else unchanged.
std::string FromHostPath(const std::string& host_path);

}  // namespace vx::platform
