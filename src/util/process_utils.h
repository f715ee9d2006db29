// Starting an external program, polling for its end, and the system's texts
// for Windows error codes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/process.h"
#include "ui/message_service.h"

namespace vx {

// Process handle, thread handle, process id, thread id; all zero = no process.
using ProcessInfo = platform::ProcessInfo;

// Strips leading and trailing double quotes, blanks and control characters,
// then encloses the text in double quotes when it holds a blank or "&".
std::string QuoteArgument(const std::string& text);

// The command line StartProgram passes: the quoted program, a blank, params.
std::string ProgramCommandLine(const std::string& program, const std::string& params);

// The console window title StartProgram asks for: title + ": " + the program's
// file name; "" when `title` is empty (the system then chooses).
std::string ProgramWindowTitle(const std::string& title, const std::string& program);

// Starts `program` with `params` in `work_dir` ("" = the current directory)
// and returns at once. `show` is the SW_... mode of its window (7: minimised,
// not activated). On failure the system's error text is shown as an error
// through `messages` and the result is false; `info` is then zero.
bool StartProgram(const std::string& title, const std::string& program, const std::string& params,
                  const std::string& work_dir, uint16_t show, ProcessInfo& info,
                  TMessageService& messages);

// True when the process has ended, or when `info` holds none: its handles are
// then closed and `info` zeroed. False while it runs. Never waits.
bool ProgramFinished(ProcessInfo& info);

// "errcode=0" for 0; the system's message for the code, exactly as the
// system gives it; "format message error" when it has none.
std::string SystemErrorText(uint32_t code);

// SystemErrorText of the calling thread's last error.
std::string LastErrorText();

}  // namespace vx
