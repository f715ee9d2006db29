#include "command_line.h"

namespace vx::vxzip {

std::string UsageText() {
  return "usage: vxzip list ARCHIVE\n"
         "       vxzip test ARCHIVE [-p PASSWORD]\n"
         "       vxzip extract ARCHIVE [-d DIR] [-p PASSWORD] [-j] [MASK ...]\n"
         "\n"
         "list     one line per member: method, compressed size, size, CRC-32,\n"
         "         date and time, name as stored\n"
         "test     decode every member without writing it: OK name, or FAIL name: why\n"
         "extract  write the members matching the masks (default: all) below DIR\n"
         "         (default: the current directory), replacing existing files;\n"
         "         -j drops the members' directories\n"
         "\n"
         "exit status: 0 all members succeeded, 1 a member failed,\n"
         "             2 the archive could not be opened or the command line is wrong\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
  line = CommandLine();
  if (args.empty()) {
    error = "no command given";
    return false;
  }
  const std::string& command = args[0];
  if (command == "-h" || command == "--help" || command == "help") {
    line.command = Command::kHelp;
    return true;
  }
  if (command == "list") {
    line.command = Command::kList;
  } else if (command == "test") {
    line.command = Command::kTest;
  } else if (command == "extract") {
    line.command = Command::kExtract;
  } else {
    error = "unknown command '" + command + "'";
    return false;
  }

  std::vector<std::string> operands;
  bool options_ended = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "-p" || arg == "-d") {
      if (arg == "-d" && line.command != Command::kExtract) {
        error = "option -d belongs to extract";
        return false;
      }
      if (arg == "-p" && line.command == Command::kList) {
        error = "option -p belongs to test and extract";
        return false;
      }
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      (arg == "-p" ? line.password : line.directory) = args[++i];
    } else if (arg == "-j" && line.command == Command::kExtract) {
      line.junk_paths = true;
    } else {
      error = "unknown option '" + arg + "'";
      return false;
    }
  }

  if (operands.empty()) {
    error = "no archive given";
    return false;
  }
  line.archive = operands[0];
  line.masks.assign(operands.begin() + 1, operands.end());
  if (!line.masks.empty() && line.command != Command::kExtract) {
    error = "unexpected argument '" + line.masks[0] + "'";
    return false;
  }
  return true;
}

}  // namespace vx::vxzip
