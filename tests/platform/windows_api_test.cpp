// Looking up optional system functions at run time, in both Windows builds:
// the pointer types must carry the system's calling convention, and what is
// called through them must behave as the linked function does.
#ifdef _WIN32
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

namespace vx::platform::win32 {
namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetDiskFreeSpaceExFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                                 PULARGE_INTEGER);
using NoConventionFunction = BOOL (*)(HANDLE, PBOOL);

constexpr bool kThirtyTwoBit = sizeof(void*) == 4;

// The system's own prototypes qualify; a pointer declared without WINAPI
// does only where there is a single convention (64-bit).
static_assert(IsWinApiFunction<IsWow64ProcessFunction>::value);
static_assert(IsWinApiFunction<GetDiskFreeSpaceExFunction>::value);
static_assert(IsWinApiFunction<decltype(&::GetCurrentProcessId)>::value);
static_assert(IsWinApiFunction<decltype(&::IsWow64Process)>::value);
static_assert(IsWinApiFunction<NoConventionFunction>::value == !kThirtyTwoBit);
static_assert(!IsWinApiFunction<int>::value);

TEST(OptionalExport, FindsPresentExportsAndReportsAbsentOnes) {
  struct Case {
    const char* module;
    const char* name;
    bool found;
  };
  const Case cases[] = {
      {"KERNEL32.DLL", "GetDiskFreeSpaceExA", true},
      {"kernel32.dll", "IsWow64Process", true},
      {"KERNEL32.DLL", "NoSuchFunctionAnywhere", false},
      {"NOSUCHMODULE.DLL", "GetDiskFreeSpaceExA", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.module) + "!" + c.name);
    auto function = OptionalExport<GetDiskFreeSpaceExFunction>(c.module, c.name);
    EXPECT_EQ(function != nullptr, c.found);
  }
}

// Called many times through the looked-up pointer, a function with the wrong
// convention would drift the stack; the answers must also match the linked
// function's and the processor the system really has.
TEST(OptionalExport, CallsThroughTheLookedUpPointerMatchTheLinkedFunction) {
  const auto is_wow64 = OptionalExport<IsWow64ProcessFunction>("KERNEL32.DLL", "IsWow64Process");
  ASSERT_NE(is_wow64, nullptr);
  BOOL linked = 2;
  ASSERT_TRUE(::IsWow64Process(::GetCurrentProcess(), &linked));
  for (int i = 0; i < 1000; ++i) {
    BOOL looked_up = 2;
    ASSERT_TRUE(is_wow64(::GetCurrentProcess(), &looked_up));
    ASSERT_EQ(looked_up, linked);
  }
  SYSTEM_INFO native{};
  ::GetNativeSystemInfo(&native);
  const bool system_is_64_bit = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                                native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
  // A 32-bit program on a 64-bit system runs under WOW64; nothing else does.
  EXPECT_EQ(linked != FALSE, kThirtyTwoBit && system_is_64_bit);
}

}  // namespace
}  // namespace vx::platform::win32
#endif  // _WIN32
