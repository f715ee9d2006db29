// <windows.h> for the views, without the macros that would rename the
// portable code's own names (TSetupSystem::SetCurrentDirectory, ...): the
// views call the ...A functions by their full names.
#pragma once

#include <windows.h>

#undef CreateDirectory
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetFileAttributes
#undef GetPrivateProfileString
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes

#include "ui/color.h"

namespace vx::gui {

// A colour as GDI wants it, with system colours resolved now.
inline COLORREF ToColorRef(TColor color) {
  return IsSystemColor(color) ? GetSysColor(static_cast<int>(SystemColorIndex(color)))
                              : static_cast<COLORREF>(color);
}

}  // namespace vx::gui
