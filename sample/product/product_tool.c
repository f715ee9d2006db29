/* SORVIN and MIRELT, two more programs of the product, as the sample package
 * ships them: each says what it is and ends. They differ only in the runtime
 * markers they carry (VX_TOOL_NAME and VX_TOOL_MARKERS come from the build). */
#include <windows.h>

#include "flavour_markers.h"

VX_FLAVOUR_MARKERS(VX_TOOL_MARKERS);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  MessageBoxA(NULL, VX_TOOL_NAME " is part of the sample package.", VX_TOOL_NAME,
              MB_OK | MB_ICONINFORMATION);
  return 0;
}
