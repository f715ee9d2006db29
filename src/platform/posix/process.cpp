// Processes on Linux: the Windows command line is split by the rules Windows
// programs use, the program path goes through the drive table, and the
// process id stands in for the process handle.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_support.h"

extern char** environ;

namespace vx::platform {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The words of a command line as a Windows C runtime splits them: the program
// name ends at its closing quote or the first blank; later words honour
// quotes, "" inside quotes and backslashes that escape a quote.
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  std::string program;
  if (i < line.size() && line[i] == '"') {
    ++i;
    while (i < line.size() && line[i] != '"') program += line[i++];
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !IsBlank(line[i])) program += line[i++];
  }
  words.push_back(program);
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        word.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          word += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          word += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        word.append(backslashes, '\\');
        if (i < line.size() && (quoted || !IsBlank(line[i]))) word += line[i++];
      }
    }
    words.push_back(word);
  }
  return words;
}

}  // namespace

bool StartProcess(const ProcessStart& start, ProcessInfo& info, uint32_t& error) {
  info = ProcessInfo{};
  std::vector<std::string> words = SplitCommandLine(start.command_line);
  std::string program = words[0];
  const bool has_path = program.find_first_of("\\/:") != std::string::npos;
  if (has_path) {
    std::optional<std::string> host = ToHostPath(program);
    if (!host) {
      error = kErrorPathNotFound;
      posix::RecordError(error);
      return false;
    }
    program = *host;
  }
  if (program.empty()) {
    error = kErrorFileNotFound;
    posix::RecordError(error);
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string directory;
  if (!start.working_directory.empty()) {
    std::optional<std::string> host = ToHostPath(start.working_directory);
    if (!host || !posix::IsHostDirectory(*host)) {
      posix_spawn_file_actions_destroy(&actions);
      error = 267;  // ERROR_DIRECTORY
      posix::RecordError(error);
      return false;
    }
    directory = *host;
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  }

  std::vector<char*> argv;
  words[0] = program;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int status = has_path
                   ? posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                   : posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) {
    error = posix::WindowsError(status, has_path ? program : std::string());
    posix::RecordError(error);
    return false;
  }
  info.process_handle = pid;
  info.process_id = static_cast<uint32_t>(pid);
  error = 0;
  return true;
}

ProcessWait WaitForProcess(intptr_t process_handle, uint32_t milliseconds) {
  // Only a positive id names one child: 0 and -1 would mean "any child".
  if (process_handle <= 0) return ProcessWait::kFailed;
  const pid_t pid = static_cast<pid_t>(process_handle);
  uint32_t waited = 0;
  for (;;) {
    int status = 0;
    pid_t result = waitpid(pid, &status, WNOHANG);
    if (result == pid) return ProcessWait::kFinished;
    if (result < 0 && errno != EINTR) return ProcessWait::kFailed;
    if (result == 0 && waited >= milliseconds) return ProcessWait::kTimeout;
    struct timespec pause = {0, 1000000};
    nanosleep(&pause, nullptr);
    if (milliseconds != 0xFFFFFFFF) ++waited;
  }
}

// The child was reaped by the wait that saw it end; nothing to release.
void CloseProcessHandle(intptr_t) {}

}  // namespace vx::platform
