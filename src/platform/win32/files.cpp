// Files and directories through the Windows ...A API.
#include "platform/files.h"

#include <algorithm>
#include <vector>

#include "platform/datetime.h"
#include "platform/exception.h"
#include "platform/win32/windows_api.h"

namespace vx::platform {

namespace win32 {

namespace {
thread_local uint32_t last_error = 0;
}  // namespace

void RecordLastError() {
  last_error = ::GetLastError();
}
void RecordError(uint32_t code) {
  last_error = code;
}

}  // namespace win32

using win32::RecordLastError;

uint32_t LastError() {
  return win32::last_error;
}

namespace {

bool Succeeded(BOOL ok) {
  if (!ok) RecordLastError();
  return ok != FALSE;
}

// FILETIME (UTC) of a search result as MS-DOS local date and time; zero when
// the time lies outside the MS-DOS range (1980-2107).
void ToDosDateTime(const FILETIME& utc, uint16_t& dos_date, uint16_t& dos_time) {
  FILETIME local;
  SYSTEMTIME parts;
  dos_date = 0;
  dos_time = 0;
  if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &parts)) {
    PackDosDateTime(
        {parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute, parts.wSecond},
        dos_date, dos_time);
  }
}

FoundFile ToFoundFile(const WIN32_FIND_DATAA& data) {
  FoundFile found;
  found.name = data.cFileName;
  found.attributes = data.dwFileAttributes;
  found.size =
      static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  ToDosDateTime(data.ftLastWriteTime, found.dos_date, found.dos_time);
  return found;
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

HANDLE AsHandle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    RecordLastError();
    return false;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    RecordLastError();
    return false;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectory(const std::string& path) {
  return Succeeded(CreateDirectoryA(path.c_str(), nullptr));
}

bool RemoveDirectory(const std::string& path) {
  return Succeeded(RemoveDirectoryA(path.c_str()));
}

bool DeleteFile(const std::string& path) {
  return Succeeded(DeleteFileA(path.c_str()));
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  // Windows refuses to replace a read-only file or a directory; Wine run by
  // root would not, so the refusal is made here for every system alike.
  const DWORD existing = GetFileAttributesA(to.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    win32::RecordError(ERROR_ACCESS_DENIED);
    return false;
  }
  return Succeeded(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
}

bool FileInUse(const std::string& path) {
  auto probe = [&path](DWORD access) {
    HANDLE file = CreateFileA(path.c_str(), access, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
    CloseHandle(file);
    return static_cast<DWORD>(ERROR_SUCCESS);
  };
  DWORD error = probe(GENERIC_WRITE);
  // A read-only file refuses to be written before its sharing is looked at:
  // asking to read it alone, still sharing nothing, finds who holds it.
  if (error == ERROR_ACCESS_DENIED) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      error = probe(GENERIC_READ);
    }
  }
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

uint32_t GetFileAttributes(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) RecordLastError();
  return attributes;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  return Succeeded(SetFileAttributesA(path.c_str(), attributes));
}

int64_t FileSizeBySearch(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    RecordLastError();
    return -1;
  }
  FindClose(search);
  return ToFoundFile(data).size;
}

std::vector<FoundFile> FindFiles(const std::string& pattern) {
  std::vector<FoundFile> found;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    RecordLastError();
    return found;
  }
  do {
    if (!IsDotEntry(data.cFileName)) found.push_back(ToFoundFile(data));
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return found;
}

std::string GetCurrentDirectory() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  for (;;) {
    if (needed == 0) {
      RecordLastError();
      return {};
    }
    std::vector<char> buffer(needed);
    DWORD length = GetCurrentDirectoryA(needed, buffer.data());
    if (length < needed) return std::string(buffer.data(), length);
    needed = length;  // it changed meanwhile
  }
}

bool SetCurrentDirectory(const std::string& path) {
  return Succeeded(SetCurrentDirectoryA(path.c_str()));
}

std::string FullPathName(const std::string& path) {
  DWORD needed = MAX_PATH;
  for (;;) {
    std::vector<char> buffer(needed);
    char* file_part = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), needed, buffer.data(), &file_part);
    if (length == 0) {
      RecordLastError();
      return {};
    }
    if (length < needed) return std::string(buffer.data(), length);
    needed = length;
  }
}

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::string& path) {
  uint32_t code = ::GetLastError();
  win32::RecordError(code);
  throw EFileError(std::string(what) + " \"" + path + "\". " + SystemErrorLine(code), code);
}

}  // namespace

std::unique_ptr<TFileStream> TFileStream::OpenRead(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) RaiseFileError("Cannot open file", path);
  return std::unique_ptr<TFileStream>(new TFileStream(path, reinterpret_cast<intptr_t>(handle)));
}

std::unique_ptr<TFileStream> TFileStream::CreateAlways(const std::string& path) {
  // Replacing a hidden or system file fails unless the new file is asked for
  // with the same two attributes, so take them over from the existing file.
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  DWORD existing = GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    // Windows refuses to replace a read-only file; Wine run by root would
    // not, so the refusal is made here for every system alike.
    if ((existing & FILE_ATTRIBUTE_READONLY) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      RaiseFileError("Cannot create file", path);
    }
    DWORD kept = existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (kept != 0) flags = kept;
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) RaiseFileError("Cannot create file", path);
  return std::unique_ptr<TFileStream>(new TFileStream(path, reinterpret_cast<intptr_t>(handle)));
}

std::unique_ptr<TFileStream> TFileStream::CreateNew(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) RaiseFileError("Cannot create file", path);
  return std::unique_ptr<TFileStream>(new TFileStream(path, reinterpret_cast<intptr_t>(handle)));
}

TFileStream::~TFileStream() {
  CloseHandle(AsHandle(handle_));
}

namespace {
// ReadFile and WriteFile count in 32 bits; larger requests go in pieces.
constexpr int64_t kMaxChunk = 1 << 30;
}  // namespace

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    DWORD piece = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), bytes + done, piece, &got, nullptr)) {
      RecordLastError();
      if (done == 0) RaiseFileError("Cannot read file", path_);
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
    DWORD piece = static_cast<DWORD>(std::min(count - done, kMaxChunk));
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), bytes + done, piece, &put, nullptr)) {
      RecordLastError();
      if (done == 0) RaiseFileError("Cannot write file", path_);
      break;
    }
    if (put == 0) break;
    done += put;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  DWORD low =
      SetFilePointer(AsHandle(handle_), static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
    RecordLastError();
    throw EStreamError("Cannot seek in file \"" + path_ + "\". " + SystemErrorLine(LastError()));
  }
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

int64_t TFileStream::Size() {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(AsHandle(handle_), &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
    RecordLastError();
    throw EStreamError("Cannot get the size of file \"" + path_ + "\". " +
                       SystemErrorLine(LastError()));
  }
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

bool TFileStream::SetDosDateTime(uint16_t dos_date, uint16_t dos_time) {
  const std::optional<LocalDateTime> when = UnpackDosDateTime(dos_date, dos_time);
  if (!when) {
    win32::RecordError(kErrorInvalidParameter);
    return false;
  }
  SYSTEMTIME parts = {};
  parts.wYear = when->year;
  parts.wMonth = when->month;
  parts.wDay = when->day;
  parts.wHour = when->hour;
  parts.wMinute = when->minute;
  parts.wSecond = when->second;
  FILETIME local, utc;
  if (!SystemTimeToFileTime(&parts, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
    RecordLastError();
    return false;
  }
  return Succeeded(SetFileTime(AsHandle(handle_), nullptr, nullptr, &utc));
}

bool TFileStream::SetDirectoryDosDateTime(const std::string& path, uint16_t dos_date,
                                          uint16_t dos_time) {
  // Only a handle opened with backup semantics can stand for a directory.
  HANDLE handle = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    RecordLastError();
    return false;
  }
  TFileStream directory(path, reinterpret_cast<intptr_t>(handle));
  return directory.SetDosDateTime(dos_date, dos_time);
}

}  // namespace vx::platform
