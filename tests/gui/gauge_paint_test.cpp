// The gauge window's painting, read back pixel by pixel: the control paints
// itself into a memory bitmap through WM_PRINTCLIENT, the same code that
// serves WM_PAINT.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gui/win32/gauge.h"

namespace vx::gui {
namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A hidden gauge window and the picture it last painted.
class GaugePicture {
 public:
  GaugePicture(int32_t width, int32_t height) : width_(width), height_(height) {
    parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    window_ = CreateGauge(parent_, 0, 0, width, height, 0, 0);
  }
  GaugePicture(const GaugePicture&) = delete;
  GaugePicture& operator=(const GaugePicture&) = delete;
  ~GaugePicture() {
    if (dc_ != nullptr) {
      SelectObject(dc_, old_bitmap_);
      DeleteObject(bitmap_);
      DeleteDC(dc_);
    }
    if (parent_ != nullptr) DestroyWindow(parent_);  // and the gauge with it
  }

  bool Created() const { return window_ != nullptr && GaugeOf(window_) != nullptr; }
  TGauge& Gauge() { return *GaugeOf(window_); }

  void Paint() {
    if (dc_ == nullptr) {
      HDC screen = GetDC(nullptr);
      dc_ = CreateCompatibleDC(screen);
      bitmap_ = CreateCompatibleBitmap(screen, width_, height_);
      ReleaseDC(nullptr, screen);
      old_bitmap_ = SelectObject(dc_, bitmap_);
    }
    RECT all{0, 0, width_, height_};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));  // no leftovers
    SendMessageA(window_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

  // The first column in [from, to) whose pixel in row y is not `color`; `to` if none.
  int FirstNot(COLORREF color, int y, int from, int to) const {
    for (int x = from; x < to; ++x) {
      if (At(x, y) != color) return x;
    }
    return to;
  }
  // How many pixels of the rectangle have the colour.
  int Count(COLORREF color, int left, int top, int right, int bottom) const {
    return CountIf([color](COLORREF pixel) { return pixel == color; }, left, top, right, bottom);
  }
  // Text may be smoothed: its pixels are told by brightness, not exact colour.
  int CountLight(int left, int top, int right, int bottom) const {
    return CountIf([](COLORREF pixel) { return Brightness(pixel) > 160; }, left, top, right,
                   bottom);
  }
  int CountDark(int left, int top, int right, int bottom) const {
    return CountIf([](COLORREF pixel) { return Brightness(pixel) < 96; }, left, top, right, bottom);
  }

 private:
  static int Brightness(COLORREF pixel) {
    return (GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel)) / 3;
  }
  template <typename Predicate>
  int CountIf(Predicate predicate, int left, int top, int right, int bottom) const {
    int count = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) count += predicate(At(x, y)) ? 1 : 0;
    }
    return count;
  }

 public:
 private:
  int32_t width_;
  int32_t height_;
  HWND parent_ = nullptr;
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
};

// The setup's gauge: 377 x 25 with a border. Row 2 lies above the text.
class SetupGauge : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(picture.Created()); }
  GaugePicture picture{377, 25};
};

TEST_F(SetupGauge, HalfWayTheBarEndsAt188) {
  picture.Gauge().SetProgress(50);
  picture.Paint();
  EXPECT_EQ(picture.At(0, 2), kBlack);  // border
  EXPECT_EQ(picture.FirstNot(kBlack, 2, 1, 376), 188);
  EXPECT_EQ(picture.FirstNot(kWhite, 2, 188, 376), 376);
  EXPECT_EQ(picture.At(376, 2), kBlack);  // border
  EXPECT_EQ(picture.FirstNot(kBlack, 0, 0, 377), 377);
  EXPECT_EQ(picture.FirstNot(kBlack, 24, 0, 377), 377);
}

TEST_F(SetupGauge, FullBarFillsThePaintArea) {
  picture.Gauge().SetProgress(100);
  picture.Paint();
  for (int y : {1, 2, 23}) EXPECT_EQ(picture.FirstNot(kBlack, y, 0, 377), 377) << "row " << y;
  // The text is the only thing that is not black: white digits on the bar.
  EXPECT_GT(picture.CountLight(150, 3, 226, 22), 20);
}

TEST_F(SetupGauge, EmptyGaugeIsWhiteInsideItsBorder) {
  picture.Gauge().SetShowText(false);
  picture.Paint();
  EXPECT_EQ(picture.Count(kWhite, 1, 1, 376, 24), 375 * 23);
  EXPECT_EQ(picture.Count(kBlack, 0, 0, 377, 25), 377 * 25 - 375 * 23);
}

TEST_F(SetupGauge, PercentageShowsInTheInverseOfWhatIsBeneath) {
  picture.Gauge().SetProgress(50);
  picture.Paint();
  // "50%" is centred on the end of the bar: white digits over the black bar
  // to the left, black digits over the white rest to the right.
  EXPECT_GT(picture.CountLight(150, 3, 188, 22), 10);
  EXPECT_GT(picture.CountDark(188, 3, 226, 22), 10);

  picture.Gauge().SetShowText(false);
  picture.Paint();
  EXPECT_EQ(picture.Count(kWhite, 1, 1, 188, 24), 0);
  EXPECT_EQ(picture.Count(kBlack, 188, 1, 376, 24), 0);
}

TEST_F(SetupGauge, ColoursAndNoBorder) {
  TGauge& gauge = picture.Gauge();
  gauge.SetBorderStyle(bsNone);
  gauge.SetForeColor(kRed);
  gauge.SetBackColor(kBlue);
  gauge.SetShowText(false);
  gauge.SetProgress(50);
  picture.Paint();
  // Without the border the paint area is the whole control, W = 378.
  EXPECT_EQ(picture.FirstNot(kRed, 0, 0, 377), 189);
  EXPECT_EQ(picture.FirstNot(kBlue, 0, 189, 377), 377);
  EXPECT_EQ(picture.FirstNot(kRed, 24, 0, 377), 189);
}

TEST(GaugePainting, VerticalBarRisesFromTheBottom) {
  GaugePicture picture(30, 102);
  ASSERT_TRUE(picture.Created());
  picture.Gauge().SetKind(gkVerticalBar);
  picture.Gauge().SetShowText(false);
  picture.Gauge().SetProgress(50);
  picture.Paint();
  EXPECT_EQ(picture.At(10, 50), kWhite);
  EXPECT_EQ(picture.At(10, 51), kBlack);
  EXPECT_EQ(picture.At(10, 100), kBlack);
  EXPECT_EQ(picture.Count(kWhite, 1, 1, 29, 51), 28 * 50);
}

TEST(GaugePainting, PieWedgeCoversTheQuartersDone) {
  GaugePicture picture(100, 100);
  ASSERT_TRUE(picture.Created());
  TGauge& gauge = picture.Gauge();
  gauge.SetKind(gkPie);
  gauge.SetShowText(false);
  gauge.SetColor(kRed);  // the corners
  gauge.SetProgress(25);
  picture.Paint();
  EXPECT_EQ(picture.At(3, 3), kRed);
  EXPECT_EQ(picture.At(70, 30), kBlack);  // upper right: done
  EXPECT_EQ(picture.At(30, 30), kWhite);  // upper left: to do
  EXPECT_EQ(picture.At(70, 70), kWhite);  // lower right: to do

  gauge.SetProgress(75);
  picture.Paint();
  EXPECT_EQ(picture.At(70, 70), kBlack);
  EXPECT_EQ(picture.At(30, 70), kBlack);
  EXPECT_EQ(picture.At(30, 30), kWhite);
}

TEST(GaugePainting, NeedlePointsUpHalfWay) {
  GaugePicture picture(101, 51);
  ASSERT_TRUE(picture.Created());
  TGauge& gauge = picture.Gauge();
  gauge.SetKind(gkNeedle);
  gauge.SetShowText(false);
  gauge.SetColor(kRed);
  gauge.SetProgress(50);
  picture.Paint();
  EXPECT_EQ(picture.At(3, 3), kRed);  // outside the dial
  EXPECT_EQ(picture.At(50, 10), kBlack);
  EXPECT_EQ(picture.At(50, 40), kBlack);
  EXPECT_EQ(picture.At(30, 30), kWhite);
  EXPECT_EQ(picture.At(70, 30), kWhite);
}

TEST(GaugePainting, TextKindShowsOnlyThePercentage) {
  GaugePicture picture(100, 30);
  ASSERT_TRUE(picture.Created());
  picture.Gauge().SetKind(gkText);
  picture.Gauge().SetProgress(100);
  picture.Paint();
  EXPECT_EQ(picture.Count(kWhite, 1, 1, 99, 4), 98 * 3);
  EXPECT_GT(picture.CountDark(20, 4, 80, 27), 20);  // "100%" in black
}

}  // namespace
}  // namespace vx::gui
