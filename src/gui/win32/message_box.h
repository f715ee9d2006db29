// The setup's message boxes: a modal dialog (class "#32770") with the kind's
// icon and caption, the text, and OK, OK and Help, or Yes and No. Unlike the
// system's MessageBox its Help button works the same on every system: each
// press calls back while the box stays open.
#pragma once

#include <functional>

#include "gui/win32/windows_api.h"
#include "ui/message_service.h"

namespace vx::gui {

// Control identifiers inside the box, as in the system's message box.
constexpr int kMessageTextId = 0xFFFF;
constexpr int kMessageIconId = 0x14;

// The caption of a box of that kind.
const char* MessageCaption(TMessageKind kind);

// Shows the box owned by `owner` (may be null) and returns the button that
// closed it; mrNone when it closed without an answer.
TModalResult ShowModalMessageBox(HWND owner, const TMessageBox& box,
                                 const std::function<void()>& help);

}  // namespace vx::gui
