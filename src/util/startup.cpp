#include "util/startup.h"

#include <limits>

#include "platform/path_text.h"
#include "platform/registry.h"
#include "util/environment_utils.h"

namespace vx {

namespace {

struct StartupState {
  bool done = false;
  int32_t logical_processors = 0;
  int32_t physical_memory_mb = 0;
  std::string command_interpreter;
};

StartupState& State() {
  static StartupState state;
  return state;
}

}  // namespace

bool IsWin98Or2000OrLater(const platform::OsVersionInfo& version) {
  if (version.platform_id == platform::kPlatformWin32NT) return version.major > 4;
  if (version.platform_id == platform::kPlatformWin32Windows) {
    return version.major > 4 || (version.major == 4 && version.minor > 0);
  }
  return false;
}

bool IsWin98Or2000OrLater() {
  try {
    return IsWin98Or2000OrLater(platform::GetVersionInfo());
  } catch (const platform::EOSError&) {
    return false;
  }
}

bool WantsKeyboardCues(const platform::OsVersionInfo& version) {
  return version.platform_id == platform::kPlatformWin32NT && version.major >= 5;
}

bool ReadUserFlag(const std::string& name) {
  auto key = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser,
                                         "\\Software\\VESTRIX", platform::RegistryAccess::kRead,
                                         /*create=*/true);
  if (!key) return false;
  // Only a REG_DWORD counts; a value of another type is taken as not set.
  std::optional<uint32_t> value = key->ReadDword(name);
  return value.has_value() && *value != 0;
}

int32_t PhysicalMemoryMBFromBytes(uint64_t bytes) {
  const uint64_t megabytes = (bytes >> 10) / 1024;
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(megabytes > kMax ? kMax : megabytes);
}

void StartupSummary() {
  StartupState& state = State();
  if (state.done) return;
  state.done = true;

  platform::OsVersionInfo version;
  bool have_version = true;
  try {
    version = platform::GetVersionInfo();
  } catch (const platform::EOSError&) {
    have_version = false;
  }

  // Let the program's windows come to the front instead of flashing their
  // taskbar buttons, unless the user asked to keep Windows' behaviour.
  if (have_version && IsWin98Or2000OrLater(version) && !ReadUserFlag("FlashTaskBar")) {
    platform::SetForegroundLockTimeout(0);
  }

  if (have_version && WantsKeyboardCues(version)) platform::SetKeyboardCues(true);

  const uint32_t processors = platform::NumberOfProcessors();
  state.logical_processors =
      static_cast<int32_t>(processors > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())
                               ? std::numeric_limits<int32_t>::max()
                               : processors);
  state.physical_memory_mb = PhysicalMemoryMBFromBytes(platform::TotalPhysicalMemory());
  state.command_interpreter = TrimBlanks(GetEnvVar("COMSPEC", ""));
}

int32_t LogicalProcessorCount() {
  return State().logical_processors;
}
int32_t PhysicalMemoryMB() {
  return State().physical_memory_mb;
}
const std::string& CommandInterpreter() {
  return State().command_interpreter;
}

}  // namespace vx
