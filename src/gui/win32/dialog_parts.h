// Pieces shared by the dialogs we build at run time (the message boxes and the
// directory chooser): an empty modal template whose controls are made in
// WM_INITDIALOG, the system's message font, and a child control in that font.
#pragma once

#include <vector>

#include "gui/win32/handles.h"
#include "gui/win32/windows_api.h"

namespace vx::gui {

// A modal dialog template with no controls, menu, class or title.
std::vector<WORD> EmptyDialogTemplate();

// The font the system uses for message boxes; empty when it cannot be read.
UniqueFont CreateMessageFont();

// A visible child control of `dialog` with identifier `id`, drawn in `font`.
HWND AddDialogChild(HWND dialog, const char* window_class, const char* text, DWORD style,
                    DWORD ex_style, int id, int left, int top, int width, int height, HFONT font);

}  // namespace vx::gui
