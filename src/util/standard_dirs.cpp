#include "util/standard_dirs.h"

#include "platform/environment.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/text.h"
#include "util/drive_probes.h"
#include "util/environment_utils.h"

namespace vx {

namespace {

constexpr size_t kEnvValueBufferSize = 2048;

// The probe's own name first; should something by that name already be
// there, a few neighbours are tried rather than replacing it.
constexpr const char* kProbeNames[] = {"g_we8~2.$@$", "g_we8~3.$@$", "g_we8~4.$@$",
                                       "g_we8~5.$@$", "g_we8~6.$@$", "g_we8~7.$@$"};

// The executable's directory with its final separator. The Linux backend
// may hand back a plain Linux path, hence "/" as well.
std::string ProgramDirectory() {
  const std::string program = platform::ProgramFileName();
  const size_t cut = program.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : program.substr(0, cut + 1);
}

std::string RawStandardDir(int32_t kind, const std::string& named) {
  switch (kind) {
    case sdtNamed:
      return named;
    case sdtWindows:
      return platform::WindowsDirectory();
    case sdtTmp:
      return EnvValue("TMP");
    case sdtTemp:
      return EnvValue("TEMP");
    case sdtHomePath:
      return EnvValue("HOMEDRIVE") + EnvValue("HOMEPATH");
    case sdtSystemDrive:
      return EnvValue("SYSTEMDRIVE");
    case sdtVXTemp:
      return EnvValue("VXTEMP");
    case sdtVXKeep:
      return EnvValue("VXKEEP");
    case sdtVXDir:
      return EnvValue("VXDIR");
    case sdtDefaultTemp:
    case sdtDefaultVXDir:
    case sdtRoot:
      return StandardDirLabels()[static_cast<size_t>(kind)];
    case sdtUser:
      return GetSpecialFolder(platform::kCsidlPersonal);
    case sdtAppData:
      return GetSpecialFolder(platform::kCsidlAppData);
    case sdtCurrent:
      return platform::GetCurrentDirectory();
    case sdtApplication:
      return ProgramDirectory();
    default:
      throw Exception("program error: unexpected case of sdt");
  }
}

}  // namespace

const StandardDirLabelTable& BaseStandardDirLabels() {
  static const StandardDirLabelTable labels = {
      "Named Folder", "Windows Folder", "TMP Folder",     "TEMP Folder",       "HOMEPATH Folder",
      "SYSTEMDRIVE",  "VXTEMP Folder",  "VXKEEP Folder",  "C:\\TEMP",          "VXDIR Folder",
      "C:\\VX",       "User Folder",    "AppData Folder", "Current Directory", "Application Folder",
      "C:\\"};
  return labels;
}

std::string WindowsDriveFromDirectory(const std::string& windows_dir) {
  if (windows_dir.size() < 2 || windows_dir[1] != ':') return "C:";
  return std::string(1, AsciiUpper(windows_dir[0])) + ":";
}

StandardDirLabelTable AdjustStandardDirLabels(StandardDirLabelTable labels,
                                              const std::string& drive) {
  if (drive == "C:") return labels;
  for (std::string& label : labels) {
    if (label.compare(0, 2, "C:") == 0) label.replace(0, 2, drive);
  }
  return labels;
}

const std::string& WindowsDrive() {
  static const std::string drive = WindowsDriveFromDirectory(platform::WindowsDirectory());
  return drive;
}

const StandardDirLabelTable& StandardDirLabels() {
  static const StandardDirLabelTable labels =
      AdjustStandardDirLabels(BaseStandardDirLabels(), WindowsDrive());
  return labels;
}

std::string EnvValue(const std::string& name) {
  return EnvValueWithin(platform::GetEnvironmentVariable(name), kEnvValueBufferSize, "");
}

std::string NormaliseStandardDirText(const std::string& raw) {
  std::string text = TrimBlanks(raw);
  if (text.empty()) return "";
  if (text.size() == 2 && text[1] == ':') {
    text += '\\';
  } else if (text.size() == 3 && text[1] == ':' && text[2] == '\\') {
    // a drive root keeps its backslash
  } else if (text.back() == '\\') {
    text.pop_back();
  }
  return TrimBlanks(text);
}

std::string ResolveStandardDir(int32_t kind, const std::string& named) {
  const std::string text = NormaliseStandardDirText(RawStandardDir(kind, named));
  if (text.empty()) return "";
  return platform::FullPathName(text);
}

bool IsDirWriteable(const std::string& dir) {
  if (TrimBlanks(dir).empty() || !SafeDirExists(dir)) return false;
  for (const char* name : kProbeNames) {
    const std::string probe = AppendFileName(dir, name);
    if (platform::GetFileAttributes(probe) != platform::kInvalidAttributes) continue;
    try {
      platform::TFileStream::CreateAlways(probe);  // created and closed at once
    } catch (const EFileError&) {
      return false;
    }
    return platform::DeleteFile(probe);
  }
  return false;
}

std::string DescribeStandardDirLine(const std::string& label, const std::string& dir, bool exists,
                                    bool writeable) {
  std::string line = label + " = ";
  if (dir.empty()) return line + "UNDEFINED";
  line += dir;
  if (!exists) return line + "    NonExistent";
  return line + "    Exists," + (writeable ? " Writeable" : " Non-Writeable");
}

std::string DescribeStandardDirs() {
  std::string listing;
  for (int32_t kind = 1; kind < kStandardDirKindCount; ++kind) {
    const std::string dir = ResolveStandardDir(kind, "");
    const bool exists = !dir.empty() && SafeDirExists(dir);
    const bool writeable = exists && IsDirWriteable(dir);
    listing += DescribeStandardDirLine(StandardDirLabels()[static_cast<size_t>(kind)], dir, exists,
                                       writeable);
    listing += "\r\n";
  }
  return listing;
}

std::string GetSpecialFolder(int32_t csidl) {
  return platform::SpecialFolderPath(csidl);
}

}  // namespace vx
