// OEM and ANSI name conversion through the system's own tables.
#include "platform/codepage.h"

#include <algorithm>

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
