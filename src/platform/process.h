// Starting another program and asking, without waiting, whether it has ended.
#pragma once

#include <cstdint>
#include <string>

namespace vx::platform {

// What Windows fills in when it creates a process. All zero means no process.
struct ProcessInfo {
  intptr_t process_handle = 0;  // HANDLE on Windows, the process id on Linux
  intptr_t thread_handle = 0;   // HANDLE on Windows, unused (0) on Linux
  uint32_t process_id = 0;
  uint32_t thread_id = 0;
};

struct ProcessStart {
  std::string command_line;       // the program is its first (possibly quoted) word
  std::string working_directory;  // "" for the caller's current directory
  uint16_t show_window = 1;       // SW_... value for the main window
  std::string console_title;      // "" for the system's choice
};

// Creates the process (handles not inherited, the caller's environment). On
// failure returns false, leaves `info` zero and sets `error` to the Windows
// error code.
bool StartProcess(const ProcessStart& start, ProcessInfo& info, uint32_t& error);

enum class ProcessWait { kFinished, kTimeout, kFailed };
// Waits up to `milliseconds` for the process to end; kFailed for a handle that
// is zero or invalid.
ProcessWait WaitForProcess(intptr_t process_handle, uint32_t milliseconds);

// Closes a process or thread handle of ProcessInfo; a zero handle is ignored.
void CloseProcessHandle(intptr_t handle);

}  // namespace vx::platform
