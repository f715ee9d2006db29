// The performance counter is the monotonic clock in nanoseconds; the affinity
// is the scheduler's CPU set of the calling thread, which for this
// single-threaded program is the process's.
#include "platform/cpu.h"

#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_support.h"
#include "platform/system.h"

namespace vx::platform {

int64_t PerformanceFrequency() {
  return 1000000000;
}

int64_t PerformanceCounter() {
  struct timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) RaiseOSError(posix::WindowsError(errno));
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

AffinityMasks GetProcessAffinity() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) RaiseOSError(posix::WindowsError(errno));
  AffinityMasks masks;
  long configured = sysconf(_SC_NPROCESSORS_CONF);
  for (int cpu = 0; cpu < 64; ++cpu) {
    if (CPU_ISSET(cpu, &set)) masks.process |= uint64_t{1} << cpu;
    if (cpu < configured) masks.system |= uint64_t{1} << cpu;
  }
  return masks;
}

void SetProcessAffinity(uint64_t process_mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 0; cpu < 64; ++cpu) {
    if (process_mask & (uint64_t{1} << cpu)) CPU_SET(cpu, &set);
  }
  if (sched_setaffinity(0, sizeof set, &set) != 0) RaiseOSError(posix::WindowsError(errno));
}

void YieldTimeSlice() {
  sched_yield();
}

}  // namespace vx::platform
