#include "sysinfo/windows_version.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

platform::OsVersionInfo Version(uint32_t platform_id, uint32_t major, uint32_t minor,
                                uint32_t build, const std::string& service_pack) {
  platform::OsVersionInfo version;
  version.platform_id = platform_id;
  version.major = major;
  version.minor = minor;
  version.build = build;
  version.service_pack = service_pack;
  return version;
}

constexpr uint32_t kNT = platform::kPlatformWin32NT;
constexpr uint32_t k9x = platform::kPlatformWin32Windows;

TEST(WindowsVersionText, NameVersionAndServicePack) {
  EXPECT_EQ(WindowsVersionText(Version(kNT, 5, 1, 2600, "Service Pack 2")),
            "Windows XP (NT.5.1.2600) Service Pack 2");
  EXPECT_EQ(WindowsVersionText(Version(kNT, 6, 0, 6002, "")), "Windows Vista (NT.6.0.6002) ");
  EXPECT_EQ(WindowsVersionText(Version(kNT, 3, 51, 1057, "Service Pack 5")),
            "Windows NT 3.51 (NT.3.51.1057) Service Pack 5");
  // Versions the table does not name.
  EXPECT_EQ(WindowsVersionText(Version(kNT, 3, 50, 807, "")), " (NT.3.50.807) ");
  EXPECT_EQ(WindowsVersionText(Version(kNT, 6, 1, 7601, "Service Pack 1")),
            " (NT.6.1.7601) Service Pack 1");
}

TEST(WindowsVersionText, The9xBuildFieldIsPrintedWholeAndSigned) {
  // Windows 95 keeps 4.0 in the high half of the build field.
  EXPECT_EQ(WindowsVersionText(Version(k9x, 4, 0, 0x040003B6, " B")),
            "Windows 95 (9x.4.0.67109814)  B");
  EXPECT_EQ(WindowsVersionText(Version(k9x, 4, 10, 0x040A08AE, " A ")),
            "Windows 98 (9x.4.10.67766446)  A ");
  EXPECT_EQ(WindowsVersionText(Version(k9x, 4, 90, 0xC45A0BB8, " ")),
            "Windows Me (9x.4.90.-1000731720)  ");
}

TEST(WindowsVersionText, OtherPlatformsHaveNoNameOrPrefix) {
  EXPECT_EQ(WindowsVersionText(Version(0, 1, 0, 0, "")), "1.0.0) ");
  EXPECT_EQ(WindowsVersionName(k9x, 5, 1), "");
  EXPECT_EQ(WindowsVersionName(kNT, 4, 10), "");
}

TEST(WindowsVersionText, ThisSystem) {
  const platform::OsVersionInfo version = platform::GetVersionInfo();
  const std::string text = WindowsVersionText();
  EXPECT_EQ(text, WindowsVersionText(version));
  const std::string numbers = std::to_string(version.major) + "." + std::to_string(version.minor) +
                              "." + std::to_string(static_cast<int32_t>(version.build)) + ") ";
  EXPECT_NE(text.find(numbers), std::string::npos) << text;
#ifdef _WIN32
  EXPECT_EQ(version.platform_id, kNT);
  EXPECT_NE(text.find(" (NT." + numbers), std::string::npos) << text;
#else
  EXPECT_EQ(text.rfind(numbers, 0), 0u) << text;  // no Windows name in front
#endif
  std::printf("Windows version text: %s\n", text.c_str());
}

}  // namespace
}  // namespace vx
