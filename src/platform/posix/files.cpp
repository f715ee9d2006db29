// Files and directories on Linux in the Windows model: paths go through the
// drive table, attributes are derived from the mode bits and the name, and
// the sharing rules of Windows are kept among this program's own handles
// with flock(), so code that works here does not fail on Windows for holding
// a file open too long.
#include "platform/files.h"

#include "platform/datetime.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/exception.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_support.h"
#include "platform/text.h"

namespace vx::platform {

using posix::FailFromErrno;
using posix::RecordError;
using posix::WindowsError;

namespace {

// The Linux path for `path`, or nothing (and ERROR_PATH_NOT_FOUND) when it
// names a drive that does not exist.
std::optional<std::string> Host(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) RecordError(kErrorPathNotFound);
  return host;
}

std::string BaseName(const std::string& host_path) {
  size_t end = host_path.size();
  while (end > 1 && host_path[end - 1] == '/') --end;
  size_t slash = host_path.rfind('/', end - 1);
  size_t begin = slash == std::string::npos ? 0 : slash + 1;
  return host_path.substr(begin, end - begin);
}

bool StatHost(const std::string& host_path, struct stat& status) {
  if (stat(host_path.c_str(), &status) == 0) return true;
  return FailFromErrno(host_path);
}

uint32_t AttributesOf(const struct stat& status, const std::string& name) {
  uint32_t attributes = S_ISDIR(status.st_mode) ? kAttrDirectory : kAttrArchive;
  if ((status.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  return attributes;
}

// Last-write time as MS-DOS local date and time; zero outside 1980-2107.
void ToDosDateTime(time_t when, uint16_t& dos_date, uint16_t& dos_time) {
  struct tm local;
  dos_date = 0;
  dos_time = 0;
  if (localtime_r(&when, &local) == nullptr || local.tm_year < 0) return;
  PackDosDateTime(
      {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
       static_cast<uint16_t>(local.tm_mday), static_cast<uint16_t>(local.tm_hour),
       static_cast<uint16_t>(local.tm_min), static_cast<uint16_t>(local.tm_sec)},
      dos_date, dos_time);
}

FoundFile ToFoundFile(const std::string& name, const struct stat& status) {
  FoundFile found;
  found.name = name;
  found.attributes = AttributesOf(status, name);
  found.size = S_ISDIR(status.st_mode) ? 0 : static_cast<int64_t>(status.st_size);
  ToDosDateTime(status.st_mtime, found.dos_date, found.dos_time);
  return found;
}

unsigned char Fold(char c) {
  return static_cast<unsigned char>(AsciiUpper(c));
}

// Windows wildcard matching: "*" and "?", without regard to case, and a
// pattern ending in ".*" or "." also takes names without an extension.
bool WildcardMatch(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != 0) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != 0 && (*pattern == '?' || Fold(*pattern) == Fold(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  if (*pattern == '.') {
    ++pattern;
    while (*pattern == '*') ++pattern;
  }
  return *pattern == 0;
}

bool HasWildcards(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// True when one of this program's streams holds the file (see the note at
// the top): Windows refuses to delete or replace such a file.
bool HeldOpen(const std::string& host_path) {
  int fd = open(host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

}  // namespace

bool FileExists(const std::string& path) {
  std::optional<std::string> host = Host(path);
  struct stat status;
  return host && StatHost(*host, status) && !S_ISDIR(status.st_mode);
}

bool DirectoryExists(const std::string& path) {
  std::optional<std::string> host = Host(path);
  struct stat status;
  return host && StatHost(*host, status) && S_ISDIR(status.st_mode);
}

bool CreateDirectory(const std::string& path) {
  std::optional<std::string> host = Host(path);
  if (!host) return false;
  if (mkdir(host->c_str(), 0777) != 0) return FailFromErrno(*host);
  return true;
}

bool RemoveDirectory(const std::string& path) {
  std::optional<std::string> host = Host(path);
  if (!host) return false;
  if (rmdir(host->c_str()) == 0) return true;
  if (errno == ENOTDIR) {
    RecordError(kErrorDirectory);
    return false;
  }
  if (errno == EEXIST) errno = ENOTEMPTY;
  return FailFromErrno(*host);
}

bool DeleteFile(const std::string& path) {
  std::optional<std::string> host = Host(path);
  if (!host) return false;
  struct stat status;
  if (lstat(host->c_str(), &status) != 0) return FailFromErrno(*host);
  // Windows keeps directories, read-only files and files in use.
  if (S_ISDIR(status.st_mode) || (!S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0)) {
    RecordError(kErrorAccessDenied);
    return false;
  }
  if (S_ISREG(status.st_mode) && HeldOpen(*host)) {
    RecordError(kErrorSharingViolation);
    return false;
  }
  if (unlink(host->c_str()) != 0) return FailFromErrno(*host);
  return true;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  std::optional<std::string> host_from = Host(from);
  std::optional<std::string> host_to = Host(to);
  if (!host_from || !host_to) return false;
  struct stat status;
  if (lstat(host_from->c_str(), &status) != 0) return FailFromErrno(*host_from);
  // Windows replaces neither a directory nor a read-only file nor one in use.
  if (lstat(host_to->c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode) || (!S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0)) {
      RecordError(kErrorAccessDenied);
      return false;
    }
    if (S_ISREG(status.st_mode) && HeldOpen(*host_to)) {
      RecordError(kErrorSharingViolation);
      return false;
    }
  }
  if (rename(host_from->c_str(), host_to->c_str()) != 0) return FailFromErrno(*host_to);
  return true;
}

bool FileInUse(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) return false;
  struct stat status;
  if (stat(host->c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  if (HeldOpen(*host)) return true;
  // A record lock of another process on any part of the file.
  int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;  // to the end of the file, however far it grows
  const bool locked = fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  close(fd);
  return locked;
}

uint32_t GetFileAttributes(const std::string& path) {
  std::optional<std::string> host = Host(path);
  struct stat status;
  if (!host || !StatHost(*host, status)) return kInvalidAttributes;
  return AttributesOf(status, BaseName(*host));
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  std::optional<std::string> host = Host(path);
  struct stat status;
  if (!host || !StatHost(*host, status)) return false;
  // Only read-only has a Linux counterpart; the other bits are accepted and dropped.
  mode_t mode = status.st_mode & 07777;
  if ((attributes & kAttrReadOnly) != 0) {
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  } else if ((mode & S_IWUSR) == 0) {
    mode |= S_IWUSR;
  }
  if (mode != (status.st_mode & 07777) && chmod(host->c_str(), mode) != 0) {
    return FailFromErrno(*host);
  }
  return true;
}

int64_t FileSizeBySearch(const std::string& path) {
  std::vector<FoundFile> found = FindFiles(path);
  return found.empty() ? -1 : found.front().size;
}

std::vector<FoundFile> FindFiles(const std::string& pattern) {
  std::vector<FoundFile> found;
  std::optional<std::string> host = Host(pattern);
  if (!host) return found;
  size_t slash = host->rfind('/');
  std::string directory = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : host->substr(0, slash);
  std::string name = slash == std::string::npos ? *host : host->substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    RecordError(kErrorFileNotFound);
    return found;
  }
  struct stat status;
  if (!HasWildcards(name)) {
    if (StatHost(*host, status)) found.push_back(ToFoundFile(name, status));
    return found;
  }
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) {
    RecordError(errno == ENOENT ? kErrorPathNotFound : WindowsError(errno, directory));
    return found;
  }
  while (const dirent* entry = readdir(listing)) {
    std::string entry_name = entry->d_name;
    if (entry_name == "." || entry_name == ".." ||
        !WildcardMatch(name.c_str(), entry_name.c_str())) {
      continue;
    }
    std::string entry_path = directory + "/" + entry_name;
    if (stat(entry_path.c_str(), &status) == 0 || lstat(entry_path.c_str(), &status) == 0) {
      found.push_back(ToFoundFile(entry_name, status));
    }
  }
  closedir(listing);
  // Linux lists in no particular order; Windows file systems list by name.
  std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) { return Fold(x) < Fold(y); });
  });
  if (found.empty()) RecordError(kErrorFileNotFound);
  return found;
}

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::string& path, uint32_t code) {
  RecordError(code);
  throw EFileError(std::string(what) + " \"" + path + "\". " + SystemErrorLine(code), code);
}

[[noreturn]] void RaiseFromErrno(const char* what, const std::string& path,
                                 const std::string& host_path) {
  RaiseFileError(what, path, WindowsError(errno, host_path));
}

// ::read and ::write move at most this much per call; larger requests go in pieces.
constexpr int64_t kMaxChunk = 1 << 30;

}  // namespace

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) RaiseFileError("Cannot open file", path, kErrorPathNotFound);
  int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseFromErrno("Cannot open file", path, *host);
  struct stat status;
  uint32_t refusal = 0;
  if (fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    refusal = kErrorAccessDenied;
  } else if (flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    refusal = kErrorSharingViolation;
  }
  if (refusal != 0) {
    close(fd);
    RaiseFileError("Cannot open file", path, refusal);
  }
  return std::unique_ptr<TFileStream>(new TFileStream(path, fd));
}

std::unique_ptr<TFileStream> TFileStream::CreateAlways(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) RaiseFileError("Cannot create file", path, kErrorPathNotFound);
  // Windows refuses to replace a directory or a read-only file, also for root.
  struct stat status;
  if (stat(host->c_str(), &status) == 0 &&
      (S_ISDIR(status.st_mode) || (status.st_mode & S_IWUSR) == 0)) {
    RaiseFileError("Cannot create file", path, kErrorAccessDenied);
  }
  int fd = open(host->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) RaiseFromErrno("Cannot create file", path, *host);
  // Truncate only once no other stream of ours holds the file.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    close(fd);
    RaiseFileError("Cannot create file", path, kErrorSharingViolation);
  }
  if (ftruncate(fd, 0) != 0) {
    uint32_t code = WindowsError(errno, *host);
    close(fd);
    RaiseFileError("Cannot create file", path, code);
  }
  return std::unique_ptr<TFileStream>(new TFileStream(path, fd));
}

std::unique_ptr<TFileStream> TFileStream::CreateNew(const std::string& path) {
  std::optional<std::string> host = ToHostPath(path);
  if (!host) RaiseFileError("Cannot create file", path, kErrorPathNotFound);
  int fd = open(host->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) RaiseFromErrno("Cannot create file", path, *host);
  flock(fd, LOCK_EX | LOCK_NB);  // no sharing, as on Windows
  return std::unique_ptr<TFileStream>(new TFileStream(path, fd));
}

TFileStream::~TFileStream() {
  close(static_cast<int>(handle_));
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    ssize_t got = read(static_cast<int>(handle_), bytes + done,
                       static_cast<size_t>(std::min(count - done, kMaxChunk)));
    if (got < 0) {
      if (errno == EINTR) continue;
      if (done == 0) RaiseFromErrno("Cannot read file", path_, {});
      RecordError(WindowsError(errno));
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < count) {
    ssize_t put = write(static_cast<int>(handle_), bytes + done,
                        static_cast<size_t>(std::min(count - done, kMaxChunk)));
    if (put < 0) {
      if (errno == EINTR) continue;
      if (done == 0) RaiseFromErrno("Cannot write file", path_, {});
      RecordError(WindowsError(errno));
      break;
    }
    if (put == 0) break;
    done += put;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t position = lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
  if (position < 0) {
    uint32_t code = WindowsError(errno);
    RecordError(code);
    throw EStreamError("Cannot seek in file \"" + path_ + "\". " + SystemErrorLine(code));
  }
  return static_cast<int64_t>(position);
}

int64_t TFileStream::Size() {
  struct stat status;
  if (fstat(static_cast<int>(handle_), &status) != 0) {
    uint32_t code = WindowsError(errno);
    RecordError(code);
    throw EStreamError("Cannot get the size of file \"" + path_ + "\". " + SystemErrorLine(code));
  }
  return static_cast<int64_t>(status.st_size);
}

bool TFileStream::SetDosDateTime(uint16_t dos_date, uint16_t dos_time) {
  const std::optional<LocalDateTime> parts = UnpackDosDateTime(dos_date, dos_time);
  if (!parts) {
    RecordError(kErrorInvalidParameter);
    return false;
  }
  struct tm local = {};
  local.tm_year = parts->year - 1900;
  local.tm_mon = parts->month - 1;
  local.tm_mday = parts->day;
  local.tm_hour = parts->hour;
  local.tm_min = parts->minute;
  local.tm_sec = parts->second;
  local.tm_isdst = -1;
  time_t when = mktime(&local);
  if (when == static_cast<time_t>(-1)) {
    RecordError(kErrorInvalidParameter);
    return false;
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  if (futimens(static_cast<int>(handle_), times) != 0) return FailFromErrno();
  return true;
}

bool TFileStream::SetDirectoryDosDateTime(const std::string& path, uint16_t dos_date,
                                          uint16_t dos_time) {
  std::optional<std::string> host = Host(path);
  if (!host) return false;
  const int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailFromErrno();
  TFileStream directory(path, fd);
  return directory.SetDosDateTime(dos_date, dos_time);
}

}  // namespace vx::platform
