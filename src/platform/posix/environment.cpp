// Environment variables on Linux, looked up the Windows way: an exact name
// first, then any name that differs only in case ("path" finds PATH).
#include "platform/environment.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_support.h"
#include "platform/text.h"

extern char** environ;

namespace vx::platform {

namespace {

bool SameNameIgnoringCase(const char* entry, const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (entry[i] == '\0' || AsciiUpper(entry[i]) != AsciiUpper(name[i])) {
      return false;
    }
  }
  return entry[name.size()] == '=';
}

// Names of the variables that differ from `name` in case only.
std::vector<std::string> OtherCaseNames(const std::string& name) {
  std::vector<std::string> names;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (SameNameIgnoringCase(*entry, name) &&
        std::strncmp(*entry, name.c_str(), name.size()) != 0) {
      names.emplace_back(*entry, name.size());
    }
  }
  return names;
}

bool ValidName(const std::string& name) {
  // Windows lets a name start with "=" (its per-drive directories); Linux cannot store those.
  return !name.empty() && name.find('=') == std::string::npos;
}

}  // namespace

std::optional<std::string> GetEnvironmentVariable(const std::string& name) {
  if (!ValidName(name)) {
    posix::RecordError(kErrorEnvVarNotFound);
    return std::nullopt;
  }
  if (const char* value = getenv(name.c_str())) return std::string(value);
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (SameNameIgnoringCase(*entry, name)) return std::string(*entry + name.size() + 1);
  }
  posix::RecordError(kErrorEnvVarNotFound);
  return std::nullopt;
}

bool SetEnvironmentVariable(const std::string& name, const std::string& value) {
  if (!ValidName(name)) {
    posix::RecordError(kErrorInvalidParameter);
    return false;
  }
  // One variable per name regardless of case, as on Windows.
  for (const std::string& other : OtherCaseNames(name)) unsetenv(other.c_str());
  if (setenv(name.c_str(), value.c_str(), 1) != 0) return posix::FailFromErrno();
  return true;
}

bool UnsetEnvironmentVariable(const std::string& name) {
  if (!ValidName(name)) {
    posix::RecordError(kErrorInvalidParameter);
    return false;
  }
  for (const std::string& other : OtherCaseNames(name)) unsetenv(other.c_str());
  if (unsetenv(name.c_str()) != 0) return posix::FailFromErrno();
  return true;
}

std::vector<std::string> EnvironmentStrings() {
  std::vector<std::string> strings;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    strings.emplace_back(*entry);
  }
  return strings;
}

}  // namespace vx::platform
