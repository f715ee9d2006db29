// Owners of Win32 objects: a window, font, brush, pen, bitmap, memory DC or
// library is freed with the call that matches it when its owner goes, also
// when an exception passes; a DC borrowed from a window is given back and an
// object selected into a DC is swapped out again.
#pragma once

#include <utility>

#include "gui/win32/windows_api.h"

namespace vx::gui {

// One handle, freed by Traits::Free unless it is null. The handle is taken
// from the owner before it is freed, so code that runs while it is freed (a
// window's procedure during DestroyWindow) already sees the owner empty.
template <typename Handle, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Gives the handle up without freeing it.
  Handle release() { return std::exchange(handle_, nullptr); }
  void reset(Handle handle = nullptr) {
    Handle old = std::exchange(handle_, handle);
    if (old != nullptr) Traits::Free(old);
  }

 private:
  Handle handle_ = nullptr;
};

struct WindowTraits {
  static void Free(HWND window) { DestroyWindow(window); }
};
struct GdiObjectTraits {
  static void Free(HGDIOBJ object) { DeleteObject(object); }
};
struct MemoryDcTraits {
  static void Free(HDC dc) { DeleteDC(dc); }
};
struct ModuleTraits {
  static void Free(HMODULE module) { FreeLibrary(module); }
};

using UniqueWindow = UniqueHandle<HWND, WindowTraits>;
using UniqueFont = UniqueHandle<HFONT, GdiObjectTraits>;
using UniqueBrush = UniqueHandle<HBRUSH, GdiObjectTraits>;
using UniquePen = UniqueHandle<HPEN, GdiObjectTraits>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;  // from CreateCompatibleDC
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;

// The DC of a window (of the screen for nullptr), borrowed with GetDC and
// given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a DC while the selection lives; the object it
// replaced is selected back. Declare it after the owner of the object, so the
// object is swapped out before it is freed.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace vx::gui
