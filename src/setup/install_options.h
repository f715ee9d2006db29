// The settings of one installation, read at start-up and shared by the main
// window's handlers for the whole run.
#pragma once

#include <cstdint>
#include <string>

namespace vx {

struct TInstallOptions {
  std::string ExeDir;         // directory of the running program, with a trailing backslash
  std::string InstTitle;      // product title for captions and messages
  std::string InstDir;        // installation directory
  int32_t DiskNeededMB = -1;  // megabytes the product needs
  std::string ShortcutTitle;  // title and file name of the two shortcuts
  std::string ZipPath;        // full path of the archive to unpack
  std::string ExeName;        // main executable, relative to InstDir
  int32_t FreeMB = -1;        // free megabytes on InstDir's drive; -1 when unknown
};

}  // namespace vx
