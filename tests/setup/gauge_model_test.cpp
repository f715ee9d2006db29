#include "setup/gauge_model.h"

#include <gtest/gtest.h>

#include <limits>

namespace vx {
namespace {

// A gauge that counts how often it asks to be drawn again.
struct CountingGauge : TGauge {
  int repaints = 0;
  CountingGauge() {
    OnRepaint = [this] { ++repaints; };
  }
};

TEST(Gauge, StartsAsTheSetupUsesIt) {
  TGauge gauge;
  EXPECT_EQ(gauge.Kind(), gkHorizontalBar);
  EXPECT_TRUE(gauge.ShowText());
  EXPECT_EQ(gauge.BorderStyle(), bsSingle);
  EXPECT_EQ(gauge.ForeColor(), clBlack);
  EXPECT_EQ(gauge.BackColor(), clWhite);
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.Width(), 100);
  EXPECT_EQ(gauge.Height(), 100);
  EXPECT_EQ(gauge.Text(), "0%");
}

TEST(Gauge, ProgressIsClampedAndRepaintsOnlyWhenThePercentageChanges) {
  CountingGauge gauge;
  gauge.SetProgress(150);
  EXPECT_EQ(gauge.Progress(), 100);
  gauge.SetProgress(-5);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.repaints, 2);

  gauge.SetProgress(40);
  gauge.repaints = 0;
  gauge.SetProgress(40);
  EXPECT_EQ(gauge.repaints, 0);

  gauge.SetProgress(0);
  gauge.SetMaxValue(1000);
  gauge.repaints = 0;
  gauge.SetProgress(1);  // 0 % before and after
  EXPECT_EQ(gauge.Progress(), 1);
  EXPECT_EQ(gauge.repaints, 0);
  gauge.SetProgress(10);  // 1 %
  EXPECT_EQ(gauge.repaints, 1);
  EXPECT_EQ(gauge.Text(), "1%");
}

TEST(Gauge, OtherPropertiesRepaintOnlyWhenTheyChange) {
  CountingGauge gauge;
  gauge.SetKind(gkHorizontalBar);
  gauge.SetShowText(true);
  gauge.SetBorderStyle(bsSingle);
  gauge.SetForeColor(clBlack);
  gauge.SetBackColor(clWhite);
  EXPECT_EQ(gauge.repaints, 0);
  gauge.SetKind(gkPie);
  gauge.SetShowText(false);
  gauge.SetBorderStyle(bsNone);
  gauge.SetForeColor(clRed);
  gauge.SetBackColor(clGreen);
  EXPECT_EQ(gauge.repaints, 5);
}

TEST(Gauge, RangeLimitsMoveProgressAndRefuseACrossedRange) {
  CountingGauge gauge;
  gauge.SetProgress(30);
  gauge.SetMinValue(50);
  EXPECT_EQ(gauge.Progress(), 50);
  gauge.SetMaxValue(60);
  gauge.SetProgress(60);
  gauge.SetMaxValue(55);
  EXPECT_EQ(gauge.Progress(), 55);

  try {
    gauge.SetMaxValue(40);
    FAIL() << "a maximum below the minimum was accepted";
  } catch (const EInvalidOperation& error) {
    EXPECT_EQ(error.Message(), "Value must be between 51 and 2147483647");
  }
  try {
    gauge.SetMinValue(56);
    FAIL() << "a minimum above the maximum was accepted";
  } catch (const EInvalidOperation& error) {
    EXPECT_EQ(error.Message(), "Value must be between -2147483647 and 54");
  }
  EXPECT_EQ(gauge.MinValue(), 50);
  EXPECT_EQ(gauge.MaxValue(), 55);
  EXPECT_EQ(gauge.Progress(), 55);

  gauge.SetLoading(true);  // a stored description may give the ends in any order
  gauge.SetMinValue(70);
  gauge.SetMaxValue(80);
  gauge.SetLoading(false);
  EXPECT_EQ(gauge.MinValue(), 70);
  EXPECT_EQ(gauge.MaxValue(), 80);
}

TEST(Gauge, PercentageOfEmptyNegativeAndWholeIntegerRanges) {
  TGauge gauge;
  gauge.SetMaxValue(0);
  EXPECT_EQ(gauge.DonePercent(), 0);
  EXPECT_EQ(gauge.Text(), "0%");

  gauge.SetMinValue(-200);
  gauge.SetProgress(-50);
  EXPECT_EQ(gauge.DonePercent(), 75);

  // The full 32-bit range: the difference alone needs 33 bits.
  gauge.SetMinValue(std::numeric_limits<int32_t>::min());
  gauge.SetMaxValue(std::numeric_limits<int32_t>::max());
  gauge.SetProgress(0);
  EXPECT_EQ(gauge.DonePercent(), 50);
  gauge.SetProgress(std::numeric_limits<int32_t>::max());
  EXPECT_EQ(gauge.DonePercent(), 100);
}

TEST(Gauge, BarLengthTruncatesTheExactProduct) {
  EXPECT_EQ(BarLength(50, 376), 188);
  EXPECT_EQ(BarLength(29, 100), 29);
  EXPECT_EQ(BarLength(33, 25), 8);
  EXPECT_EQ(BarLength(100, 376), 376);
  EXPECT_EQ(BarLength(0, 376), 0);
}

// The setup's own gauge: 377 x 25 with a border.
TEST(Gauge, HorizontalBarOfTheSetupsGauge) {
  TGauge gauge;
  gauge.SetSize(377, 25);
  EXPECT_EQ(gauge.PaintArea(), (TRect{1, 1, 376, 24}));

  gauge.SetProgress(50);
  auto shapes = gauge.Drawing();
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[0].Box, (TRect{1, 1, 376, 24}));
  EXPECT_EQ(shapes[0].Fill, clWhite);
  EXPECT_EQ(shapes[1].Box, (TRect{1, 1, 188, 24}));
  EXPECT_EQ(shapes[1].Fill, clBlack);

  gauge.SetProgress(100);
  shapes = gauge.Drawing();
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[1].Box, (TRect{1, 1, 376, 24}));

  gauge.SetProgress(0);
  EXPECT_EQ(gauge.Drawing().size(), 1u);  // no bar at all
}

TEST(Gauge, VerticalBarGrowsUpAndStopsBelowTheTop) {
  TGauge gauge;
  gauge.SetKind(gkVerticalBar);
  gauge.SetSize(30, 102);  // paint area 1..101, H = 101
  gauge.SetProgress(50);
  auto shapes = gauge.Drawing();
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[1].Box, (TRect{1, 51, 29, 101}));
  gauge.SetProgress(100);
  EXPECT_EQ(gauge.Drawing()[1].Box, (TRect{1, 1, 29, 101}));
}

TEST(Gauge, PieWedgeGrowsClockwiseFromTheTop) {
  TGauge gauge;
  gauge.SetKind(gkPie);
  gauge.SetBorderStyle(bsNone);
  gauge.SetSize(100, 60);
  EXPECT_EQ(gauge.Drawing().size(), 2u);  // corners and the empty dial

  gauge.SetProgress(25);
  auto shapes = gauge.Drawing();
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_EQ(shapes[0].Fill, clBtnFace);
  EXPECT_EQ(shapes[1].Kind, TGaugeShape::skEllipse);
  EXPECT_EQ(shapes[1].Box, (TRect{0, 0, 100, 60}));
  EXPECT_EQ(shapes[2].Kind, TGaugeShape::skPie);
  EXPECT_EQ(shapes[2].From, (TPoint{100, 30}));  // three o'clock
  EXPECT_EQ(shapes[2].To, (TPoint{50, 0}));      // twelve o'clock

  gauge.SetProgress(50);
  EXPECT_EQ(gauge.Drawing()[2].From, (TPoint{50, 60}));
  gauge.SetProgress(75);
  EXPECT_EQ(gauge.Drawing()[2].From, (TPoint{0, 30}));
}

TEST(Gauge, NeedleSweepsFromLeftOverTheTop) {
  TGauge gauge;
  gauge.SetKind(gkNeedle);
  gauge.SetSize(101, 51);  // paint area 1..50 down, 1..100 across
  gauge.SetProgress(50);
  auto shapes = gauge.Drawing();
  ASSERT_EQ(shapes.size(), 4u);
  EXPECT_EQ(shapes[1].Kind, TGaugeShape::skPie);  // the upper half of the dial
  EXPECT_EQ(shapes[1].Box, (TRect{1, 1, 100, 99}));
  EXPECT_EQ(shapes[1].From, (TPoint{101, 49}));
  EXPECT_EQ(shapes[1].To, (TPoint{1, 49}));
  EXPECT_EQ(shapes[3].Kind, TGaugeShape::skLine);
  EXPECT_EQ(shapes[3].From, (TPoint{50, 49}));
  EXPECT_EQ(shapes[3].To, (TPoint{50, 0}));  // straight up at half way

  gauge.SetProgress(100);
  EXPECT_EQ(gauge.Drawing()[3].To, (TPoint{100, 49}));
}

TEST(Gauge, TextIsCentredInThePaintArea) {
  TGauge gauge;
  gauge.SetSize(377, 25);
  EXPECT_EQ(gauge.TextOrigin(20, 13), (TPoint{178, 5}));
  gauge.SetBorderStyle(bsNone);
  EXPECT_EQ(gauge.TextOrigin(20, 13), (TPoint{179, 6}));
}

}  // namespace
}  // namespace vx
