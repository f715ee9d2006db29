// The command line of vxzip, parsed into what the commands need.
#pragma once

#include <string>
#include <vector>

namespace vx::vxzip {

enum class Command { kHelp, kList, kTest, kExtract };

struct CommandLine {
  Command command = Command::kHelp;
  std::string archive;
  std::string directory;    // -d
  std::string password;     // -p
  bool junk_paths = false;  // -j
  std::vector<std::string> masks;
};

// Parses the arguments after the program name. Returns false with a message
// in `error` when they make no sense.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error);

// The usage text, ending in a line break.
std::string UsageText();

}  // namespace vx::vxzip
