// Files and directories in the Windows model: ANSI paths with drive letters and
// backslashes, attribute bits, Windows error codes, MS-DOS dates. The Windows
// backend calls the ...A API; the POSIX backend maps the same model onto Linux.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/stream.h"

namespace vx::platform {

// Windows file attribute bits.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

bool FileExists(const std::string& path);       // an existing file, not a directory
bool DirectoryExists(const std::string& path);  // an existing directory
bool CreateDirectory(const std::string& path);  // one level; false if it exists or fails
// Creates `directory` and every missing directory above it, from the first
// level below its root (drive, or server and share) down. True when it exists
// afterwards; false with LastError() set when a level cannot be created.
bool CreateDirs(const std::string& directory);
bool RemoveDirectory(const std::string& path);  // an empty directory
bool DeleteFile(const std::string& path);
// Renames the file `from` to `to` in the same directory, replacing a file
// `to` in one step; false with LastError() set when it cannot (`to` is
// read-only, a directory or in use: it is then left as it was).
bool MoveFileReplacing(const std::string& from, const std::string& to);
// True when another program holds the file open so that it cannot be
// written now: opening it for writing with no sharing fails with a sharing
// or lock violation. A file that does not exist, or that cannot be opened for
// another reason (no access, a directory), is not in use. Linux has no
// mandatory locks: there a file is in use only while some process holds an
// flock() or fcntl() lock on it (this program's own streams hold flock()).
// Probing a file on Linux drops the fcntl() locks this process itself holds
// on it, as closing any descriptor of a file does.
bool FileInUse(const std::string& path);
uint32_t GetFileAttributes(const std::string& path);  // kInvalidAttributes when absent
bool SetFileAttributes(const std::string& path, uint32_t attributes);

// The size of a file as a directory search reports it; -1 when not found.
int64_t FileSizeBySearch(const std::string& path);

struct FoundFile {
  std::string name;  // without directory
  uint32_t attributes = 0;
  int64_t size = 0;
  uint16_t dos_date = 0;  // last write, local time
  uint16_t dos_time = 0;
};
// Entries matching a pattern such as "C:\dir\*.exe" ("." and ".." left out).
std::vector<FoundFile> FindFiles(const std::string& pattern);

std::string GetCurrentDirectory();  // without a trailing backslash except at a root
bool SetCurrentDirectory(const std::string& path);
std::string FullPathName(const std::string& path);  // "" when it cannot be expanded

// A file opened through the operating system, usable as a stream. Failures to
// open raise EFileError with the Windows error code.
class TFileStream : public TStream {
 public:
  // Read-only, others may read and write meanwhile.
  static std::unique_ptr<TFileStream> OpenRead(const std::string& path);
  // Created or truncated, opened for writing with no sharing.
  static std::unique_ptr<TFileStream> CreateAlways(const std::string& path);
  // Created only where no file of that name exists (else EFileError with
  // ERROR_FILE_EXISTS), opened for writing with no sharing.
  static std::unique_ptr<TFileStream> CreateNew(const std::string& path);

  ~TFileStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;

  // Sets the last-write time from an MS-DOS date and time (local time).
  bool SetDosDateTime(uint16_t dos_date, uint16_t dos_time);
  // The same for a directory, opened for the purpose.
  static bool SetDirectoryDosDateTime(const std::string& path, uint16_t dos_date,
                                      uint16_t dos_time);
  const std::string& Path() const { return path_; }

 private:
  TFileStream(std::string path, intptr_t handle) : path_(std::move(path)), handle_(handle) {}
  std::string path_;
  intptr_t handle_;  // HANDLE on Windows, file descriptor on Linux
};

// The whole content of a file. Raises EFileError when it cannot be opened and
// EStreamError when it cannot be read to its end.
std::string ReadWholeFile(const std::string& path);

}  // namespace vx::platform
