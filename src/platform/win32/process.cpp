#include "platform/process.h"

#include "platform/win32/windows_api.h"

#include <cstring>
#include <vector>

namespace vx::platform {

bool StartProcess(const ProcessStart& start, ProcessInfo& info, uint32_t& error) {
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = start.show_window;
  std::string title = start.console_title;
  if (!title.empty()) startup.lpTitle = title.data();

  // CreateProcessA may write into the command line, so it gets its own copy.
  std::vector<char> command(start.command_line.begin(), start.command_line.end());
  command.push_back('\0');

  PROCESS_INFORMATION created;
  std::memset(&created, 0, sizeof created);
  const char* directory =
      start.working_directory.empty() ? nullptr : start.working_directory.c_str();
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory,
                        &startup, &created)) {
    error = ::GetLastError();
    win32::RecordError(error);
    // Reaching the thread-local record goes through TlsGetValue, which clears
    // the thread's last error; callers read it after us.
    ::SetLastError(error);
    info = ProcessInfo{};
    return false;
  }
  info.process_handle = reinterpret_cast<intptr_t>(created.hProcess);
  info.thread_handle = reinterpret_cast<intptr_t>(created.hThread);
  info.process_id = created.dwProcessId;
  info.thread_id = created.dwThreadId;
  error = 0;
  return true;
}

ProcessWait WaitForProcess(intptr_t process_handle, uint32_t milliseconds) {
  if (process_handle == 0) return ProcessWait::kFailed;
  switch (::WaitForSingleObject(reinterpret_cast<HANDLE>(process_handle), milliseconds)) {
    case WAIT_OBJECT_0:
      return ProcessWait::kFinished;
    case WAIT_TIMEOUT:
      return ProcessWait::kTimeout;
    default:
      return ProcessWait::kFailed;
  }
}

void CloseProcessHandle(intptr_t handle) {
  if (handle != 0) ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace vx::platform
