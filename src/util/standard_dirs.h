// The directories VESTRIX programs care about (temporary, kept, home, the
// user's special folders, the program's own, fixed fallbacks on the Windows
// drive), each turned into one normalised absolute path, with a test of
// whether files can be written there and a status listing of all of them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vx {

enum StandardDirKind : int32_t {
  sdtNamed = 0,          // the directory the caller names
  sdtWindows = 1,        // the Windows directory
  sdtTmp = 2,            // TMP
  sdtTemp = 3,           // TEMP
  sdtHomePath = 4,       // HOMEDRIVE followed by HOMEPATH
  sdtSystemDrive = 5,    // SYSTEMDRIVE
  sdtVXTemp = 6,         // VXTEMP
  sdtVXKeep = 7,         // VXKEEP
  sdtDefaultTemp = 8,    // C:\TEMP (on the Windows drive)
  sdtVXDir = 9,          // VXDIR
  sdtDefaultVXDir = 10,  // C:\VX (on the Windows drive)
  sdtUser = 11,          // the user's documents
  sdtAppData = 12,       // the user's application data
  sdtCurrent = 13,       // the current directory
  sdtApplication = 14,   // the program's own directory
  sdtRoot = 15,          // C:\ (the Windows drive's root)
};
constexpr int32_t kStandardDirKindCount = 16;

using StandardDirLabelTable = std::array<std::string, kStandardDirKindCount>;

// The labels as shipped, before the adjustment to the Windows drive.
const StandardDirLabelTable& BaseStandardDirLabels();

// The first two characters of the Windows directory, letters in upper case;
// "C:" when the directory does not start with a drive.
std::string WindowsDriveFromDirectory(const std::string& windows_dir);

// `labels` with a leading "C:" replaced by `drive` in every label that starts
// with exactly "C:".
StandardDirLabelTable AdjustStandardDirLabels(StandardDirLabelTable labels,
                                              const std::string& drive);

// The drive Windows is on and the labels adjusted to it, both fixed at first use.
const std::string& WindowsDrive();
const StandardDirLabelTable& StandardDirLabels();

// Like GetEnvVar with an empty default, but with room for 2047 characters.
std::string EnvValue(const std::string& name);

// The trimming and trailing-backslash rules applied to a raw directory text:
// a bare drive "D:" becomes "D:\", a root "D:\" stays, otherwise one trailing
// backslash goes. "" when nothing is left.
std::string NormaliseStandardDirText(const std::string& raw);

// The normalised absolute directory of `kind` (`named` is used by sdtNamed
// only), or "" when it is not defined. An unknown kind is a programming error:
// it raises vx::Exception("program error: unexpected case of sdt").
std::string ResolveStandardDir(int32_t kind, const std::string& named);

// True when a probe file can be created, closed and deleted in `dir`. An
// entry already there under the probe's name is never replaced: another
// name is probed instead.
bool IsDirWriteable(const std::string& dir);

// One listing line without its CR LF: label, " = ", then "UNDEFINED", or the
// directory and its status.
std::string DescribeStandardDirLine(const std::string& label, const std::string& dir, bool exists,
                                    bool writeable);

// Kinds 1 to 15, one line each, every line ending in CR LF.
std::string DescribeStandardDirs();

// The shell's special folder `csidl` (5: documents, 26: application data); "".
std::string GetSpecialFolder(int32_t csidl);

}  // namespace vx
