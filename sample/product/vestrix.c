/* The sample product's main program: a tiny window that says it is there. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char directory[MAX_PATH] = "";
  char text[MAX_PATH + 128];
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  GetCurrentDirectoryA(sizeof directory, directory);
  wsprintfA(text, "VESTRIX 1.5 is installed.\r\n\r\nWorking directory: %s", directory);
  MessageBoxA(NULL, text, "VESTRIX", MB_OK | MB_ICONINFORMATION);
  return 0;
}
