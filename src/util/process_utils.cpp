#include "util/process_utils.h"

#include "platform/path_text.h"
#include "platform/system.h"

namespace vx {

namespace {

bool IsStrippedFromEnds(char c) {
  return c == '"' || static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string QuoteArgument(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsStrippedFromEnds(text[begin])) ++begin;
  while (end > begin && IsStrippedFromEnds(text[end - 1])) --end;
  std::string cleaned = text.substr(begin, end - begin);
  if (cleaned.find_first_of(" &") != std::string::npos) return "\"" + cleaned + "\"";
  return cleaned;
}

std::string ProgramCommandLine(const std::string& program, const std::string& params) {
  return QuoteArgument(program) + " " + params;
}

std::string ProgramWindowTitle(const std::string& title, const std::string& program) {
  if (title.empty()) return "";
  return title + ": " + FileNamePart(program);
}

bool StartProgram(const std::string& title, const std::string& program, const std::string& params,
                  const std::string& work_dir, uint16_t show, ProcessInfo& info,
                  TMessageService& messages) {
  platform::ProcessStart start;
  start.command_line = ProgramCommandLine(program, params);
  start.working_directory = work_dir;
  start.show_window = show;
  start.console_title = ProgramWindowTitle(title, program);
  uint32_t error = 0;
  if (platform::StartProcess(start, info, error)) return true;
  // The code the failed creation left as the thread's last error, taken
  // before clean-up calls can overwrite it.
  messages.Show(mkError, mbOK, kNoHelpContext, SystemErrorText(error));
  return false;
}

bool ProgramFinished(ProcessInfo& info) {
  if (platform::WaitForProcess(info.process_handle, 0) == platform::ProcessWait::kTimeout) {
    return false;
  }
  platform::CloseProcessHandle(info.process_handle);
  platform::CloseProcessHandle(info.thread_handle);
  info = ProcessInfo{};
  return true;
}

std::string SystemErrorText(uint32_t code) {
  if (code == 0) return "errcode=0";
  return platform::SystemErrorMessage(code).value_or("format message error");
}

std::string LastErrorText() {
  return SystemErrorText(platform::LastError());
}

}  // namespace vx
