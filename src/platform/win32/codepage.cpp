// OEM and ANSI name conversion through the system's own tables.
#include "platform/codepage.h"

#include <algorithm>
#include <climits>

#include "platform/win32/windows_api.h"

namespace vx::platform {

bool FileApisAreAnsi() {
  return AreFileApisANSI() != FALSE;
}

// Both conversions work byte for byte, so the result has the input's length.
// Long strings go in pieces because the count is 32 bits wide.
std::string OemToAnsi(const std::string& oem) {
  std::string ansi(oem.size(), '\0');
  for (size_t done = 0; done < oem.size();) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(oem.size() - done, 1u << 30));
    OemToCharBuffA(oem.data() + done, ansi.data() + done, piece);
    done += piece;
  }
  return ansi;
}

std::string AnsiToOem(const std::string& ansi) {
  std::string oem(ansi.size(), '\0');
  for (size_t done = 0; done < ansi.size();) {
    DWORD piece = static_cast<DWORD>(std::min<size_t>(ansi.size() - done, 1u << 30));
    CharToOemBuffA(ansi.data() + done, oem.data() + done, piece);
    done += piece;
  }
  return oem;
}

}  // namespace vx::platform

namespace vx::platform {

bool FileNamesAreUtf8() {
  return false;
}

// Through UTF-16. Characters the target code page lacks are not replaced by
// look-alikes ("best fit"): a file must never be written under another name.
bool Utf8ToFileName(const std::string& utf8, std::string& name) {
  name.clear();
  if (utf8.empty()) return true;
  if (utf8.size() > static_cast<size_t>(INT_MAX)) return false;
  const int utf8_length = static_cast<int>(utf8.size());
  const int wide_length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8_length, nullptr, 0);
  if (wide_length <= 0) {
    name = utf8;
    return false;
  }
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), utf8_length, wide.data(),
                      wide_length);
  const UINT code_page = FileApisAreAnsi() ? CP_ACP : CP_OEMCP;
  BOOL used_default = FALSE;
  const int length = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), wide_length,
                                         nullptr, 0, "?", &used_default);
  if (length <= 0) return false;
  name.assign(static_cast<size_t>(length), '\0');
  used_default = FALSE;
  WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), wide_length, name.data(),
                      length, "?", &used_default);
  return used_default == FALSE;
}

}  // namespace vx::platform
