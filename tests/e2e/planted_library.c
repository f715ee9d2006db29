/* A stand-in for a system library that someone placed beside setup.exe: when
   a process loads it, it adds the path of that process's program to
   "<its own path>.loaded", and when one of its functions is called, to
   "<its own path>.called". It exports the functions setup.exe would look for
   in the real one, each failing, so that a program importing them would
   start with it. */
#include <windows.h>

static HINSTANCE self;

static void LeaveMarker(const char* suffix) {
  char library[MAX_PATH + 16];
  char program[MAX_PATH];
  DWORD length = GetModuleFileNameA(self, library, MAX_PATH);
  DWORD program_length = GetModuleFileNameA(NULL, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  lstrcpyA(library + length, suffix);
  HANDLE marker = CreateFileA(library, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
  if (marker == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  SetFilePointer(marker, 0, NULL, FILE_END);
  WriteFile(marker, program, program_length, &written, NULL);
  WriteFile(marker, "\r\n", 2, &written, NULL);
  CloseHandle(marker);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    LeaveMarker(".loaded");
  }
  return TRUE;
}

/* version.dll */
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
  (void)file;
  LeaveMarker(".called");
  if (handle != NULL) *handle = 0;
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return 0;
}
__declspec(dllexport) BOOL WINAPI
    GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
  (void)file, (void)handle, (void)size, (void)data;
  LeaveMarker(".called");
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI
    VerQueryValueA(LPCVOID block, LPCSTR query, LPVOID* value, PUINT size) {
  (void)block, (void)query, (void)value, (void)size;
  LeaveMarker(".called");
  return FALSE;
}

/* The wide versions, which Wine's own user32 imports (Windows' does not): they
   fail without a mark, so that any program with a window can start beside
   this stand-in under Wine. */
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
  (void)file;
  if (handle != NULL) *handle = 0;
  SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
  return 0;
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size,
                                                      LPVOID data) {
  (void)file, (void)handle, (void)size, (void)data;
  return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR query, LPVOID* value,
                                                 PUINT size) {
  (void)block, (void)query, (void)value, (void)size;
  return FALSE;
}

/* hhctrl.ocx */
__declspec(dllexport) HWND WINAPI
    HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
  (void)caller, (void)file, (void)command, (void)data;
  LeaveMarker(".called");
  return NULL;
}

/* psapi.dll */
__declspec(dllexport) BOOL WINAPI GetProcessMemoryInfo(HANDLE process, void* counters, DWORD size) {
  (void)process, (void)counters, (void)size;
  LeaveMarker(".called");
  return FALSE;
}
