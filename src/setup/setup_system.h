// What the setup's main window needs of the operating system, behind one
// interface so its rules can be tested against a scripted machine.
// TPlatformSetupSystem answers from the platform layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vx {

// An installation directory held by this process: no other setup run or
// uninstaller works in it until the hold is destroyed (or the process ends,
// however it ends).
class TDirectoryHold {
 public:
  virtual ~TDirectoryHold() = default;
};

class TSetupSystem {
 public:
  virtual ~TSetupSystem() = default;

  // Full path of the running executable.
  virtual std::string ProgramFileName() = 0;
  // Face name of the system's menu font; "" when unknown.
  virtual std::string MenuFontName() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool SetCurrentDirectory(const std::string& path) = 0;
  // Makes one directory level; false when it fails (the parent is missing,
  // the name is taken, ...).
  virtual bool CreateDirectory(const std::string& path) = 0;
  // Windows attribute bits; 0xFFFFFFFF when they cannot be read.
  virtual uint32_t GetFileAttributes(const std::string& path) = 0;
  virtual bool SetFileAttributes(const std::string& path, uint32_t attributes) = 0;
  // True when another program holds the existing file `path` so that it
  // cannot be replaced now; false for a file that does not exist.
  virtual bool FileInUse(const std::string& path) = 0;
  // A value of a profile (.INI) file, read as Windows reads it.
  virtual std::string ReadProfileString(const std::string& section, const std::string& key,
                                        const std::string& default_value,
                                        const std::string& file) = 0;
  // Bytes available to the user on the drive of `root` ("C:\"; "" for the
  // current drive); false when they cannot be measured.
  virtual bool DiskFreeBytes(const std::string& root, int64_t& free_bytes) = 0;
  // The whole file; raises vx::Exception with the system's text on failure.
  virtual std::string ReadFile(const std::string& path) = 0;
  // Holds `directory` (any spelling of one path holds the same directory, as
  // the system compares names); null when another process holds it.
  virtual std::unique_ptr<TDirectoryHold> HoldDirectory(const std::string& directory) = 0;
};

class TPlatformSetupSystem : public TSetupSystem {
 public:
  std::string ProgramFileName() override;
  std::string MenuFontName() override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool SetCurrentDirectory(const std::string& path) override;
  bool CreateDirectory(const std::string& path) override;
  uint32_t GetFileAttributes(const std::string& path) override;
  bool SetFileAttributes(const std::string& path, uint32_t attributes) override;
  bool FileInUse(const std::string& path) override;
  std::string ReadProfileString(const std::string& section, const std::string& key,
                                const std::string& default_value, const std::string& file) override;
  bool DiskFreeBytes(const std::string& root, int64_t& free_bytes) override;
  std::string ReadFile(const std::string& path) override;
  std::unique_ptr<TDirectoryHold> HoldDirectory(const std::string& directory) override;
};

}  // namespace vx
