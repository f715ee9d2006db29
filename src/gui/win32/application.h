// The setup program's run: the main window, its controller and the event
// loop, from creation to the end request.
#pragma once

#include "gui/win32/windows_api.h"

namespace vx::gui {

// Runs the setup and returns the process exit code.
int RunSetup(HINSTANCE instance);

}  // namespace vx::gui
