// setup.exe: installs VESTRIX from the archive beside it.
#include "gui/win32/application.h"
#include "platform/system_library.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a library: the program usually starts from a
  // download folder, which is also its current directory.
  vx::platform::RestrictLibrarySearch();
  return vx::gui::RunSetup(instance);
}
