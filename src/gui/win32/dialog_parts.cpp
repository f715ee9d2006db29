#include "gui/win32/dialog_parts.h"

namespace vx::gui {

std::vector<WORD> EmptyDialogTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);  // + menu, class, title
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(words.data());
  dialog->style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  dialog->dwExtendedStyle = WS_EX_DLGMODALFRAME;
  return words;
}

UniqueFont CreateMessageFont() {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return UniqueFont(CreateFontIndirectA(&metrics.lfMessageFont));
  }
  return UniqueFont();
}

HWND AddDialogChild(HWND dialog, const char* window_class, const char* text, DWORD style,
                    DWORD ex_style, int id, int left, int top, int width, int height, HFONT font) {
  HWND child = CreateWindowExA(
      ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, dialog,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

}  // namespace vx::gui
