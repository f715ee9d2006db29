// The pieces of vxzip's listing: dates and the progress bar.
#include <gtest/gtest.h>

#include "archive/zip_listing.h"

namespace vx {
namespace {

TEST(ZipListing, DatesAndProgressBar) {
  EXPECT_EQ(FormatDosDateTime((45 << 9) | (6 << 5) | 15, (13 << 11) | (37 << 5) | 21),
            "2025-06-15 13:37");
  EXPECT_EQ(FormatDosDateTime(0, 0), "1980-00-00 00:00");
  EXPECT_EQ(FormatDosDateTime(0xFFFF, 0xFFFF), "2107-15-31 31:63");
  EXPECT_EQ(ProgressBarText(45, "name.txt", 10, 80), "[####------]  45% name.txt");
  EXPECT_EQ(ProgressBarText(100, "n", 4, 80), "[####] 100% n");
  EXPECT_EQ(ProgressBarText(0, "a-long-name", 4, 15), "[----]   0% a-l");
}

}  // namespace
}  // namespace vx
