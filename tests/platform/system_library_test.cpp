// System libraries load from the system directory only, by a bare file name;
// on Linux there are none.
#include "platform/system_library.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx::platform {
namespace {

TEST(SystemLibrary, LoadsOnlyBareNamesFromTheSystemDirectory) {
  struct Case {
    std::string name;
    const char* export_name;  // nullptr: the library must not load
  };
  const Case cases[] = {
      {"version.dll", "GetFileVersionInfoSizeA"},
      {"PSAPI.DLL", "GetProcessMemoryInfo"},
      {"hhctrl.ocx", "HtmlHelpA"},
      {"no-such-library.dll", nullptr},
      {"", nullptr},
      {"..\\system32\\version.dll", nullptr},
      {"C:\\windows\\system32\\version.dll", nullptr},
      {"system32/version.dll", nullptr},
      {"C:version.dll", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SystemLibrary library = LoadSystemLibrary(c.name);
#ifdef _WIN32
    if (c.export_name == nullptr) {
      EXPECT_EQ(library, nullptr);
      continue;
    }
    ASSERT_NE(library, nullptr);
    EXPECT_NE(SystemLibraryExport(library, c.export_name), nullptr);
    EXPECT_EQ(SystemLibraryExport(library, "NoSuchExportAnywhere"), nullptr);
    // The very library Windows keeps in its system directory.
    char path[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(static_cast<HMODULE>(library), path, MAX_PATH), 0u);
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path,
                             static_cast<int>(std::string(system).size()), system, -1),
              CSTR_EQUAL)
        << path;
#else
    EXPECT_EQ(library, nullptr);
#endif
  }
  EXPECT_EQ(SystemLibraryExport(nullptr, "HtmlHelpA"), nullptr);
}

}  // namespace
}  // namespace vx::platform
