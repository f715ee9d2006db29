// The setup program's command line and its exit codes.
//
// Started without arguments the program is the interactive installer.
// Switches, case-insensitive and in any order, each at most once:
//   /SILENT or /S       install without any window or message box
//   /VERYSILENT, /SUPPRESSMSGBOXES   the same, as package managers say it
//   /NORESTART, /SP-    accepted: the setup never restarts Windows and has no
//                       opening prompt
//   /DIR=path           install into `path` instead of the settings file's directory
//   /LOG=file           write a log of the run to `file`
//   /LOG                write it to "Setup Log YYYY-MM-DD #NNN.txt" in the
//                       temporary directory (the first free number)
//   /DIAG=file          write the diagnostic report to `file` and end
//   /UNINSTALL          remove the product installed in the program's own
//                       directory (the program is then its uninstaller); with
//                       /SILENT without any box. Not with /DIR or /DIAG.
//   /?                  list the switches
// Quotes group blanks, backslashes are literal: /DIR="C:\My Product\" is
// the directory C:\My Product\ (so is "/DIR=C:\My Product\").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// What the program's exit code tells; ExitCodeMeaning and the switch list
// give their texts from one table, and the README lists the same.
enum TSetupExitCode : int32_t {
  secInstalled = 0,         // installed (warnings about shortcuts included)
  secStartupProblem = 1,    // a start-up check failed, or the log/report could not be written
  secDirectoryRefused = 2,  // the directory is not acceptable or cannot be created
  secArchiveProblem = 3,    // the archive cannot be opened, or the space is insufficient
  secMemberFailed = 4,      // a member failed: the installation is incomplete
  secMainExeMissing = 5,    // the main executable is missing after the extraction
  secCancelled = 6,         // the user quit (Quit or the close box), before or during the run
  secFilesInUse = 7,        // files to be replaced are in use, or another run holds the directory
  secBadCommandLine = 64,   // an unknown or malformed switch
};

// One line of description for each code, for the log.
std::string ExitCodeMeaning(int32_t code);

struct TSetupCommandLine {
  bool Silent = false;
  bool ShowSwitches = false;  // "/?"
  std::optional<std::string> Dir;
  std::optional<std::string> Log;
  bool LogInTemp = false;  // "/LOG" without a value: a fresh file in the temporary directory
  std::optional<std::string> Diag;
  bool Uninstall = false;
  // True when no switch was given: the program behaves as the plain installer.
  bool Empty() const {
    return !Silent && !ShowSwitches && !Dir && !Log && !LogInTemp && !Diag && !Uninstall;
  }
};

// Splits a command line into arguments: blanks separate them, double quotes
// group blanks into an argument and are removed. Backslashes are always
// literal (they are path separators), so a quoted value may end in one:
// /DIR="C:\VESTRIX\" is C:\VESTRIX\.
std::vector<std::string> SplitCommandLine(const std::string& text);

// True when an argument is one of the silence switches: a command line that
// asks for silence is silent even when it is wrong.
bool AsksForSilence(const std::vector<std::string>& arguments);

// The text after the program's name as typed: the arguments' source and the
// log's record. The name is the first argument, quoted or not; a command line
// that starts with `program` (the module's own file name, in any case)
// followed by a blank or its end has that whole path skipped, so a launcher
// may pass a path with blanks unquoted.
std::string ArgumentText(const std::string& command_line, const std::string& program);

// Parses the arguments after the program's name. False with `error` set
// (naming the offending argument) for an unknown switch, a switch without
// its value or with an empty one, or a switch given twice.
bool ParseSetupCommandLine(const std::vector<std::string>& arguments, TSetupCommandLine& result,
                           std::string& error);

// The list of switches and exit codes, as the "/?" box shows it.
std::string SetupSwitchesText();

}  // namespace vx
