#include "sysinfo/cpu_id.h"

#include <gtest/gtest.h>

#include <chrono>

#include "fake_cpu.h"
#include "sysinfo/cpu_model_names.h"

namespace vx {
namespace {

using test::FakeCpu;

TEST(CpuModelName, TableRowsGapsAndVendors) {
  EXPECT_EQ(CpuModelName("GenuineIntel", 6, 12), "");
  EXPECT_EQ(CpuModelName("GenuineIntel", 6, 13), "Intel Pentium M [Dothan]");
  EXPECT_EQ(CpuModelName("GenuineIntel", 4, 1), "Intel 486 DX");
  EXPECT_EQ(CpuModelName("GenuineIntel", 4, 6), "");
  EXPECT_EQ(CpuModelName("GenuineIntel", 15, 4), "Pentium 4 [Prescott]");
  EXPECT_EQ(CpuModelName("GenuineIntel", 15, 5), "");
  EXPECT_EQ(CpuModelName("AuthenticAMD", 5, 4), "");
  EXPECT_EQ(CpuModelName("AuthenticAMD", 5, 13), "AMD K6-2+ / K6-III+");
  EXPECT_EQ(CpuModelName("AuthenticAMD", 15, 5), "AMD Athlon 64 FX / Opteron");
  EXPECT_EQ(CpuModelName("AuthenticAMD", 6, 5), "");
  // The vendor must match exactly.
  EXPECT_EQ(CpuModelName("genuineintel", 6, 13), "");
  EXPECT_EQ(CpuModelName("CyrixInstead", 5, 2), "");
  EXPECT_EQ(CpuModelName("AuthenticAMD", 0x10, 2), "");
}

TEST(CpuSignature, FieldsAndTheFamily15Extensions) {
  CpuSignature p4 = DecodeCpuSignature(0x00000F29);
  EXPECT_EQ(p4.family, 0x0Fu);
  EXPECT_EQ(p4.model, 2u);
  EXPECT_EQ(p4.stepping, 9u);
  EXPECT_EQ(FormatCpuSignature("GenuineIntel", p4),
            "GenuineIntel, type 0, family 00F, model 02, stepping 9");

  CpuSignature pentium = DecodeCpuSignature(0x00000525);
  EXPECT_EQ(FormatCpuSignature("GenuineIntel", pentium),
            "GenuineIntel, type 0, family 5, model 2, stepping 5");

  // Type bits, and extended fields that only count for family 15.
  CpuSignature overdrive = DecodeCpuSignature(0x00F71543);
  EXPECT_EQ(FormatCpuSignature("GenuineIntel", overdrive),
            "GenuineIntel, type 1, family 5, model 4, stepping 3");

  // Extended family 1 is family 0x10 (AMD's family 10h), extended model 4 with
  // model 1 is 0x41.
  CpuSignature family10h = DecodeCpuSignature(0x00140F12);
  EXPECT_EQ(family10h.family, 0x10u);
  EXPECT_EQ(family10h.model, 0x41u);
  EXPECT_EQ(FormatCpuSignature("AuthenticAMD", family10h),
            "AuthenticAMD, type 0, family 010, model 41, stepping 2");
  EXPECT_EQ(CpuModelName("AuthenticAMD", family10h.family, family10h.model), "");
  // Zen (family 17h) as its maker numbers it.
  EXPECT_EQ(DecodeCpuSignature(0x00800F82).family, 0x17u);
}

TEST(CpuBrandString, CutAtTheFirstZeroWithoutLeadingBlanks) {
  auto brand = [](const std::string& text) {
    CpuIdFunction cpu = FakeCpu().Brand(text).Function();
    return CpuBrandString(cpu(0x80000002), cpu(0x80000003), cpu(0x80000004));
  };
  EXPECT_EQ(brand("              Intel(R) Pentium(R) 4 CPU 3.00GHz"),
            "Intel(R) Pentium(R) 4 CPU 3.00GHz");
  EXPECT_EQ(brand("AMD Athlon(tm) 64 Processor 3200+"), "AMD Athlon(tm) 64 Processor 3200+");
  EXPECT_EQ(brand(std::string("Abc\0def", 7)), "Abc");
  EXPECT_EQ(brand(""), "");
  // All 48 bytes used: no terminating zero inside the registers.
  CpuIdRegs full{0x41414141, 0x41414141, 0x41414141, 0x41414141};
  EXPECT_EQ(CpuBrandString(full, full, full), std::string(48, 'A'));
}

TEST(CpuVendor, EbxEdxEcxInLittleEndianOrder) {
  CpuIdRegs leaf0{1, 0x756E6547, 0x6C65746E, 0x49656E69};
  EXPECT_EQ(CpuVendorFromRegs(leaf0), "GenuineIntel");
  EXPECT_EQ(CpuVendorFromRegs(FakeCpu().Vendor("AuthenticAMD", 1).Function()(0)), "AuthenticAMD");
}

TEST(BuildCpuDescription, BrandStringOrTableNameAroundTheSignature) {
  // Pentium 4 with a brand string and hyper-threading.
  CpuIdFunction p4 = FakeCpu()
                         .Vendor("GenuineIntel", 2)
                         .Leaf(1, 0x00000F29)
                         .Brand("              Intel(R) Pentium(R) 4 CPU 3.00GHz")
                         .Function();
  EXPECT_EQ(BuildCpuDescription(p4, 2992.6, "2 logical CPUs, 1 physical CPU", '.'),
            "Intel(R) Pentium(R) 4 CPU 3.00GHz (GenuineIntel, type 0, family 00F, model 02, "
            "stepping 9), 2992.6 MHz, 2 logical CPUs, 1 physical CPU");

  // An old Pentium without extended leaves on one processor.
  CpuIdFunction pentium = FakeCpu().Vendor("GenuineIntel", 1).Leaf(1, 0x00000525).Function();
  EXPECT_EQ(BuildCpuDescription(pentium, 133.0, "", '.'),
            "Intel Pentium (GenuineIntel, type 0, family 5, model 2, stepping 5), 133.0 MHz");
  // The clock with the locale's decimal separator.
  EXPECT_EQ(BuildCpuDescription(pentium, 132.96, "", ','),
            "Intel Pentium (GenuineIntel, type 0, family 5, model 2, stepping 5), 133,0 MHz");

  // No table row and no brand string: the signature alone.
  CpuIdFunction gap = FakeCpu().Vendor("GenuineIntel", 1).Leaf(1, 0x000006C0).Function();
  EXPECT_EQ(BuildCpuDescription(gap, 1000, "", '.'),
            "GenuineIntel, type 0, family 6, model C, stepping 0, 1000.0 MHz");

  // Another vendor has no table names but does show its brand string.
  CpuIdFunction via = FakeCpu()
                          .Vendor("CentaurHauls", 1)
                          .Leaf(1, 0x000006A9)
                          .Brand("VIA Esther processor 1500MHz")
                          .Function();
  EXPECT_EQ(BuildCpuDescription(via, 1500, "", '.'),
            "VIA Esther processor 1500MHz (CentaurHauls, type 0, family 6, model A, stepping 9), "
            "1500.0 MHz");
  EXPECT_EQ(BuildCpuDescription(FakeCpu().Vendor("CentaurHauls", 1).Leaf(1, 0x00000525).Function(),
                                10, "", '.'),
            "CentaurHauls, type 0, family 5, model 2, stepping 5, 10.0 MHz");

  // Highest standard leaf 0: no signature part at all.
  CpuIdFunction bare = FakeCpu().Vendor("GenuineIntel", 0).Brand("ignored").Function();
  EXPECT_EQ(BuildCpuDescription(bare, 75.04, "", '.'), ", 75.0 MHz");
}

TEST(MeasureClockHz, CountsTimeStampTicksOverAQuarterSecondAfterHalfASecond) {
  // A simulated machine: the performance counter advances one tick per read
  // at 1000 ticks per second; the time-stamp counter runs 3000 times faster.
  int64_t now = 5000;
  int reads = 0;
  ClockSources sources{[] { return int64_t{1000}; },
                       [&] {
                         ++reads;
                         return now++;
                       },
                       [&] { return static_cast<uint64_t>(now) * 3000 + 17; }};
  EXPECT_DOUBLE_EQ(MeasureClockHz(sources), 3000.0 * 1000.0);
  EXPECT_GE(reads, 750);  // half a second of settling, a quarter of measuring
  EXPECT_LE(reads, 760);
}

TEST(CpuDescription, DescribesThisProcessorAndMeasuresTheClockOnce) {
  if (!platform::CpuIdSupported()) {
    EXPECT_EQ(CpuDescription(), "(CPUID instruction not supported)");
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  const std::string first = CpuDescription();
  const auto measured = std::chrono::steady_clock::now();
  const std::string second = CpuDescription();
  const auto again = std::chrono::steady_clock::now();

  EXPECT_EQ(first, second);
  EXPECT_GE(measured - start, std::chrono::milliseconds(700));
  EXPECT_LT(again - measured, std::chrono::milliseconds(500));

  const std::string vendor = CpuVendor();
  EXPECT_EQ(vendor.size(), 12u);
  EXPECT_NE(first.find("(" + vendor + ", type "), std::string::npos) << first;
  const size_t mhz = first.find(" MHz");
  ASSERT_NE(mhz, std::string::npos) << first;
  // The figure before " MHz": digits, the separator and one decimal.
  const size_t figure = first.rfind(", ", mhz) + 2;
  const std::string digits = first.substr(figure, mhz - figure);
  ASSERT_GE(digits.size(), 3u) << first;
  EXPECT_EQ(digits[digits.size() - 2], ProgramDecimalSeparator()) << first;
  EXPECT_GT(std::stod(digits.substr(0, digits.size() - 2)), 100.0) << first;
  EXPECT_DOUBLE_EQ(CpuClockHz(), CpuClockHz());
  std::printf("CPU description: %s\n", first.c_str());
}

}  // namespace
}  // namespace vx
