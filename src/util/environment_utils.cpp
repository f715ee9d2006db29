#include "util/environment_utils.h"

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/system.h"
#include "util/drive_probes.h"

namespace vx {

std::string EnvValueWithin(const std::optional<std::string>& value, size_t buffer_size,
                           const std::string& fallback) {
  // The buffer holds the terminating zero too, so the longest value that fits
  // is one shorter than the buffer.
  if (!value || value->empty() || value->size() >= buffer_size) return fallback;
  return *value;
}

std::string GetEnvVar(const std::string& name, const std::string& fallback) {
  return EnvValueWithin(platform::GetEnvironmentVariable(name), kEnvVarBufferSize, fallback);
}

std::vector<std::string> PathSearchCandidates(const std::string& path_list, const std::string& name,
                                              const std::function<bool(uint8_t)>& is_lead_byte) {
  std::vector<std::string> candidates;
  size_t i = 0;
  const size_t n = path_list.size();
  while (i < n) {
    while (i < n && path_list[i] == ';') ++i;
    if (i >= n) break;
    size_t start = i;
    while (i < n && path_list[i] != ';') {
      i += (is_lead_byte(static_cast<uint8_t>(path_list[i])) && i + 1 < n) ? 2 : 1;
    }
    std::string dir = path_list.substr(start, i - start);
    const char last = dir.back();
    if (last != ':' && last != '\\') dir += '\\';
    candidates.push_back(dir + name);
  }
  return candidates;
}

std::string FindOnPath(const std::string& name) {
  // Windows finds the variable whatever the case of its name.
  const std::string path_list = GetEnvVar("path", "");
  if (platform::FileExists(name)) return name;
  for (const std::string& candidate :
       PathSearchCandidates(path_list, name, platform::IsAnsiLeadByte)) {
    if (platform::FileExists(candidate)) return candidate;
  }
  return "";
}

std::string GetProductDir() {
  const std::string vxdir = GetEnvVar("VXDIR", "");
  if (!vxdir.empty() && SafeDirExists(vxdir)) return vxdir;
  if (DriveReady('C') && SafeDirExists("C:\\VX")) return "C:\\VX";
  return "";
}

}  // namespace vx
