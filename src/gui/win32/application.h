// setup.exe on Windows: builds the Win32 pieces (the main window, the
// diagnostics window, the help viewer, the machine) and hands them to the
// portable program, which decides everything else.
#pragma once

#include "gui/win32/windows_api.h"

namespace vx::gui {

// Runs the setup and returns the process exit code.
int RunSetup(HINSTANCE instance);

}  // namespace vx::gui
