#include "platform/shell.h"

#include "platform/errors.h"
#include "platform/system_library.h"

#include "platform/win32/windows_api.h"
// shlobj.h needs windows.h before it.
#include <shlobj.h>

#include <cstdio>
#include <vector>

namespace vx::platform {

namespace {

// The version-resource reader of the system, loaded at its first use.
struct VersionLibrary {
  using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

  VersionLibrary() {
    SystemLibrary library = LoadSystemLibrary("version.dll");
    info_size = reinterpret_cast<GetFileVersionInfoSizeFunction>(
        SystemLibraryExport(library, "GetFileVersionInfoSizeA"));
    info = reinterpret_cast<GetFileVersionInfoFunction>(
        SystemLibraryExport(library, "GetFileVersionInfoA"));
    query_value =
        reinterpret_cast<VerQueryValueFunction>(SystemLibraryExport(library, "VerQueryValueA"));
  }
  bool Complete() const {
    return info_size != nullptr && info != nullptr && query_value != nullptr;
  }

  GetFileVersionInfoSizeFunction info_size = nullptr;
  GetFileVersionInfoFunction info = nullptr;
  VerQueryValueFunction query_value = nullptr;
};

const VersionLibrary& Version() {
  static const VersionLibrary library;
  return library;
}

std::string PathOfItemList(LPITEMIDLIST items) {
  char buffer[MAX_PATH] = {};
  return ::SHGetPathFromIDListA(items, buffer) ? std::string(buffer) : std::string();
}

// The shell link object through its two interfaces; both released with it.
class Win32ShellLink : public ShellLink {
 public:
  Win32ShellLink(IShellLinkA* link, IPersistFile* file) : link_(link), file_(file) {}
  ~Win32ShellLink() override {
    file_->Release();
    link_->Release();
  }
  Win32ShellLink(const Win32ShellLink&) = delete;
  Win32ShellLink& operator=(const Win32ShellLink&) = delete;

  void SetPath(const std::string& path) override { link_->SetPath(path.c_str()); }
  void SetArguments(const std::string& arguments) override {
    link_->SetArguments(arguments.c_str());
  }
  void SetDescription(const std::string& description) override {
    link_->SetDescription(description.c_str());
  }
  void SetHotkey(uint16_t hotkey) override { link_->SetHotkey(hotkey); }
  void SetShowCmd(int32_t show_command) override { link_->SetShowCmd(show_command); }
  void SetWorkingDirectory(const std::string& directory) override {
    link_->SetWorkingDirectory(directory.c_str());
  }
  void SetIconLocation(const std::string& icon_path, int32_t icon_index) override {
    link_->SetIconLocation(icon_path.c_str(), icon_index);
  }
  bool Save(const std::string& file_name, bool remember) override {
    // At most MAX_PATH characters with the terminator; a longer name is cut.
    WCHAR wide[MAX_PATH] = {};
    if (!file_name.empty()) {
      const int length = ::MultiByteToWideChar(CP_ACP, 0, file_name.data(),
                                               static_cast<int>(file_name.size()), nullptr, 0);
      std::vector<WCHAR> converted(static_cast<size_t>(length > 0 ? length : 0) + 1);
      ::MultiByteToWideChar(CP_ACP, 0, file_name.data(), static_cast<int>(file_name.size()),
                            converted.data(), length);
      for (size_t i = 0; i + 1 < MAX_PATH && i < static_cast<size_t>(length); ++i) {
        wide[i] = converted[i];
      }
    }
    return SUCCEEDED(file_->Save(wide, remember ? TRUE : FALSE));
  }

 private:
  IShellLinkA* link_;
  IPersistFile* file_;
};

}  // namespace

std::string SpecialFolderPath(int32_t csidl) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return "";
  std::string path = PathOfItemList(items);
  ::CoTaskMemFree(items);
  return path;
}

bool SpecialFolderLocation(intptr_t owner, int32_t csidl, std::string& path) {
  path.clear();
  LPITEMIDLIST items = nullptr;
  ::SHGetSpecialFolderLocation(reinterpret_cast<HWND>(owner), csidl, &items);
  if (items == nullptr) return false;
  path = PathOfItemList(items);
  ::CoTaskMemFree(items);
  return true;
}

ComApartment::ComApartment() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}

ComApartment::~ComApartment() {
  if (initialised_) ::CoUninitialize();
}

std::unique_ptr<ShellLink> CreateShellLink() {
  IUnknown* object = nullptr;
  const HRESULT created = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IUnknown, reinterpret_cast<void**>(&object));
  if (FAILED(created) || object == nullptr) {
    const uint32_t code = static_cast<uint32_t>(created);
    throw EComError(SystemErrorLine(code), code);
  }
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  object->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&link));
  object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  object->Release();
  if (link == nullptr || file == nullptr) {
    if (link != nullptr) link->Release();
    if (file != nullptr) file->Release();
    return nullptr;
  }
  return std::make_unique<Win32ShellLink>(link, file);
}

std::string ShellLinkTarget(const std::string& link_file) {
  IShellLinkA* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))) ||
      link == nullptr) {
    return "";
  }
  std::string target;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      file != nullptr) {
    WCHAR wide[MAX_PATH] = {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, link_file.c_str(), -1, wide, MAX_PATH);
    char path[MAX_PATH] = {};
    // No resolving: the path as the link stores it, whether or not it exists.
    if (length > 0 && SUCCEEDED(file->Load(wide, STGM_READ)) &&
        link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) {
      target = path;
    }
    file->Release();
  }
  link->Release();
  return target;
}

VersionInfoResult ReadVersionString(const std::string& file, const std::string& key,
                                    std::string& value) {
  value.clear();
  if (::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return VersionInfoResult::vrCannotOpen;
  }
  const VersionLibrary& version = Version();
  // Only where the system's reader is missing or damaged.
  if (!version.Complete()) return VersionInfoResult::vrCannotRead;
  DWORD handle = 0;
  const DWORD size = version.info_size(file.c_str(), &handle);
  if (size == 0) return VersionInfoResult::vrNoVersionInfo;
  std::vector<char> data(size);
  if (!version.info(file.c_str(), handle, size, data.data())) {
    return VersionInfoResult::vrCannotRead;
  }
  // The first language and code page of the resource name its string table.
  void* translation = nullptr;
  UINT translation_size = 0;
  char table[64];
  if (version.query_value(data.data(), "\\VarFileInfo\\Translation", &translation,
                          &translation_size) &&
      translation_size >= 4) {
    const auto* words = static_cast<const WORD*>(translation);
    std::snprintf(table, sizeof table, "\\StringFileInfo\\%04X%04X\\", words[0], words[1]);
  } else {
    // No translation table: the usual US English, Unicode.
    std::snprintf(table, sizeof table, "\\StringFileInfo\\040904B0\\");
  }
  void* text = nullptr;
  UINT text_size = 0;
  const std::string query = table + key;
  if (!version.query_value(data.data(), query.c_str(), &text, &text_size) || text == nullptr) {
    return VersionInfoResult::vrKeyNotFound;
  }
  const char* chars = static_cast<const char*>(text);
  size_t length = 0;
  while (length < text_size && chars[length] != '\0') ++length;
  value.assign(chars, length);
  return VersionInfoResult::vrOk;
}

std::string SystemDirectory() {
  char buffer[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(buffer, length);
}

}  // namespace vx::platform
