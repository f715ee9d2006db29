#include "setup/command_line.h"

#include <cctype>

#include "platform/text.h"

namespace vx {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Removes one pair of quotes around a value that is still quoted (an
// argument split elsewhere may keep them).
std::string Unquote(const std::string& value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

namespace {

// The exit codes and what they mean, for the log and the switch list.
struct TExitCodeText {
  TSetupExitCode code;
  const char* meaning;
};
constexpr TExitCodeText kExitCodeTexts[] = {
    {secInstalled, "installed"},
    {secStartupProblem, "start-up problem"},
    {secDirectoryRefused, "directory refused or not creatable"},
    {secArchiveProblem, "archive cannot be opened or space insufficient"},
    {secMemberFailed, "a member failed, installation incomplete"},
    {secMainExeMissing, "main executable missing after extraction"},
    {secCancelled, "cancelled by the user"},
    {secFilesInUse, "files in use, or the directory held by another run"},
    {secBadCommandLine, "bad command line"},
};

}  // namespace

std::string ExitCodeMeaning(int32_t code) {
  for (const TExitCodeText& entry : kExitCodeTexts) {
    if (entry.code == code) return entry.meaning;
  }
  return "unknown";
}

bool AsksForSilence(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
    const std::string name = AsciiUpper(argument.substr(1));
    if (name == "SILENT" || name == "S" || name == "VERYSILENT" || name == "SUPPRESSMSGBOXES") {
      return true;
    }
  }
  return false;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (IsBlank(c)) {
      if (in_argument) arguments.push_back(current);
      current.clear();
      in_argument = false;
    } else {
      in_argument = true;
      if (c == '"') {
        quoted = true;
      } else {
        current += c;
      }
    }
  }
  if (in_argument) arguments.push_back(current);
  return arguments;
}

std::string ArgumentText(const std::string& line, const std::string& program) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  const size_t start = i;
  if (!program.empty() && line.size() - start >= program.size() &&
      AsciiUpper(line.substr(start, program.size())) == AsciiUpper(program) &&
      (start + program.size() == line.size() || IsBlank(line[start + program.size()]))) {
    // The program's own path unquoted, blanks and all.
    i = start + program.size();
  } else {
    bool quoted = false;
    for (; i < line.size(); ++i) {
      if (line[i] == '"') quoted = !quoted;
      if (!quoted && IsBlank(line[i])) break;
    }
  }
  while (i < line.size() && IsBlank(line[i])) ++i;
  return line.substr(i);
}

bool ParseSetupCommandLine(const std::vector<std::string>& arguments, TSetupCommandLine& result,
                           std::string& error) {
  result = TSetupCommandLine{};
  error.clear();
  // Switches of the common installers' set that change nothing here, or
  // only what /SILENT already says; each may still be given once.
  bool very_silent = false, no_boxes = false, no_restart = false, no_prompt = false;
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) {
      error = "Unknown argument: " + argument;
      return false;
    }
    const size_t equals = argument.find('=');
    const std::string name =
        AsciiUpper(argument.substr(1, equals == std::string::npos ? equals : equals - 1));
    auto flag = [&](bool& value) {
      if (equals != std::string::npos) {
        error = "The switch takes no value: " + argument;
        return false;
      }
      if (value) {
        error = "Switch given twice: " + argument;
        return false;
      }
      value = true;
      return true;
    };
    auto valued = [&](std::optional<std::string>& value) {
      if (equals == std::string::npos) {
        error = "Missing value: " + argument;
        return false;
      }
      const std::string text = Unquote(argument.substr(equals + 1));
      if (text.empty()) {
        error = "Missing value: " + argument;
        return false;
      }
      if (value) {
        error = "Switch given twice: " + argument;
        return false;
      }
      value = text;
      return true;
    };
    bool ok = false;
    if (name == "SILENT" || name == "S") {
      ok = flag(result.Silent);
    } else if (name == "VERYSILENT") {
      ok = flag(very_silent);
      result.Silent = true;
    } else if (name == "SUPPRESSMSGBOXES") {
      ok = flag(no_boxes);
      result.Silent = true;
    } else if (name == "NORESTART") {
      ok = flag(no_restart);
    } else if (name == "SP-") {
      ok = flag(no_prompt);
    } else if (name == "LOG" && equals == std::string::npos) {
      ok = flag(result.LogInTemp);
      if (ok && result.Log) {
        error = "Switch given twice: " + argument;
        ok = false;
      }
    } else if (name == "?") {
      ok = flag(result.ShowSwitches);
    } else if (name == "DIR") {
      ok = valued(result.Dir);
    } else if (name == "LOG") {
      ok = valued(result.Log);
      if (ok && result.LogInTemp) {
        error = "Switch given twice: " + argument;
        ok = false;
      }
    } else if (name == "DIAG") {
      ok = valued(result.Diag);
    } else if (name == "UNINSTALL") {
      ok = flag(result.Uninstall);
    } else {
      error = "Unknown switch: " + argument;
    }
    if (!ok) return false;
  }
  // The uninstaller removes what its own directory holds; it neither
  // installs elsewhere nor writes the report.
  if (result.Uninstall && (result.Dir || result.Diag)) {
    error = std::string("/UNINSTALL cannot be combined with ") + (result.Dir ? "/DIR" : "/DIAG");
    return false;
  }
  return true;
}

std::string SetupSwitchesText() {
  std::string text =
      "Usage: SETUP [/SILENT] [/DIR=path] [/LOG=file]\r\n"
      "       SETUP /DIAG=file [/LOG=file]\r\n"
      "       UNINSTALL /UNINSTALL [/SILENT] [/LOG=file]\r\n"
      "\r\n"
      "/SILENT or /S\tInstall without any window or message\r\n"
      "\t\t(also /VERYSILENT or /SUPPRESSMSGBOXES)\r\n"
      "/DIR=path\tInstall into this directory\r\n"
      "/LOG=file\tWrite a log of the run to this file\r\n"
      "/LOG\t\tWrite it to \"Setup Log <date> #<n>.txt\" in %TEMP%\r\n"
      "/DIAG=file\tWrite the diagnostic report to this file\r\n"
      "/UNINSTALL\tRemove the product this uninstaller was installed with\r\n"
      "/NORESTART, /SP-\tAccepted; nothing to change\r\n"
      "/?\t\tShow this list\r\n"
      "\r\n"
      "Quotes group blanks; backslashes are literal, so\r\n"
      "/DIR=\"C:\\My Product\\\" is the directory C:\\My Product\\\r\n"
      "\r\n"
      "Exit codes:";
  for (const TExitCodeText& entry : kExitCodeTexts) {
    text += "\r\n" + std::to_string(entry.code) + "  " + entry.meaning;
  }
  return text;
}

}  // namespace vx
