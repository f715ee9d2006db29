// setup.exe: installs VESTRIX from the archive beside it.
#include "gui/win32/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return vx::gui::RunSetup(instance);
}
