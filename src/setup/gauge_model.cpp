#include "setup/gauge_model.h"

#include <cmath>
#include <numbers>

#include "platform/rounding.h"

namespace vx {

namespace {

// The range message, formatted in 64 bits so the limits of the range do not
// overflow while the message is built.
std::string RangeMessage(int64_t low, int64_t high) {
  return "Value must be between " + std::to_string(low) + " and " + std::to_string(high);
}

}  // namespace

int32_t BarLength(int32_t percent, int32_t size) {
  // Integer arithmetic: a binary 0.01 would make 29 % of 100 come out as 28.
  return static_cast<int32_t>(static_cast<int64_t>(size) * percent / 100);
}

void TGauge::Changed() {
  if (OnRepaint) OnRepaint();
}

void TGauge::SetKind(TGaugeKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  Changed();
}

void TGauge::SetShowText(bool show_text) {
  if (show_text == show_text_) return;
  show_text_ = show_text;
  Changed();
}

void TGauge::SetBorderStyle(TGaugeBorderStyle border_style) {
  if (border_style == border_style_) return;
  border_style_ = border_style;
  Changed();
}

void TGauge::SetForeColor(TColor color) {
  if (color == fore_color_) return;
  fore_color_ = color;
  Changed();
}

void TGauge::SetBackColor(TColor color) {
  if (color == back_color_) return;
  back_color_ = color;
  Changed();
}

void TGauge::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TGauge::SetMinValue(int32_t value) {
  if (value == min_value_) return;
  if (value > max_value_ && !loading_) {
    throw EInvalidOperation(RangeMessage(-2147483647, int64_t{max_value_} - 1));
  }
  min_value_ = value;
  if (progress_ < value) progress_ = value;
  Changed();
}

void TGauge::SetMaxValue(int32_t value) {
  if (value == max_value_) return;
  if (value < min_value_ && !loading_) {
    throw EInvalidOperation(RangeMessage(int64_t{min_value_} + 1, 2147483647));
  }
  max_value_ = value;
  if (progress_ > value) progress_ = value;
  Changed();
}

void TGauge::SetProgress(int32_t value) {
  // Not std::clamp: while loading the range may be reversed.
  if (value < min_value_) value = min_value_;
  if (value > max_value_) value = max_value_;
  if (value == progress_) return;
  const int32_t before = DonePercent();
  progress_ = value;
  if (DonePercent() != before) Changed();
}

int32_t TGauge::DonePercent() const {
  // 64-bit: Progress - MinValue alone may exceed 32 bits, times 100 certainly.
  const int64_t range = int64_t{max_value_} - min_value_;
  if (range == 0) return 0;
  return static_cast<int32_t>((int64_t{progress_} - min_value_) * 100 / range);
}

void TGauge::SetSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Changed();
}

TRect TGauge::PaintArea() const {
  TRect area{0, 0, width_, height_};
  if (border_style_ == bsSingle) area = {1, 1, width_ - 1, height_ - 1};
  return area;
}

std::vector<TGaugeShape> TGauge::Drawing() const {
  const TRect area = PaintArea();
  const int32_t percent = DonePercent();
  std::vector<TGaugeShape> shapes;
  auto fill = [&shapes](TRect box, TColor color) {
    TGaugeShape shape;
    shape.Kind = TGaugeShape::skFillRect;
    shape.Box = box;
    shape.Fill = color;
    shapes.push_back(shape);
  };
  // Pie and needle share their ellipse's extent; the border adds one pixel
  // back so the ellipse still meets the paint area's right and bottom edges.
  const int32_t extra = border_style_ == bsSingle ? 1 : 0;
  const int32_t round_w = area.Right - area.Left + extra;
  const int32_t round_h = area.Bottom - area.Top + extra;

  switch (kind_) {
    case gkText:
      fill(area, back_color_);
      break;
    case gkHorizontalBar: {
      fill(area, back_color_);
      const int32_t full = area.Right - area.Left + 1;
      int32_t length = BarLength(percent, full);
      if (length > full) length = full;
      if (length > 0) fill({area.Left, area.Top, length, area.Bottom - area.Top + 1}, fore_color_);
      break;
    }
    case gkVerticalBar: {
      fill(area, back_color_);
      const int32_t full = area.Bottom - area.Top + 1;
      int32_t length = BarLength(percent, full);
      if (length >= full) length = full - 1;
      fill({area.Left, full - length, area.Right - area.Left + 1, full}, fore_color_);
      break;
    }
    case gkPie: {
      fill(area, color_);
      TGaugeShape ellipse;
      ellipse.Kind = TGaugeShape::skEllipse;
      ellipse.Box = {area.Left, area.Top, round_w, round_h};
      ellipse.Fill = back_color_;
      ellipse.Pen = fore_color_;
      shapes.push_back(ellipse);
      if (percent > 0) {
        const double angle = std::numbers::pi * (percent / 50.0 + 0.5);
        const int32_t mx = round_w / 2;
        const int32_t my = round_h / 2;
        TGaugeShape pie = ellipse;
        pie.Kind = TGaugeShape::skPie;
        pie.Fill = fore_color_;
        pie.From = {RoundToInt32(mx * (1 - std::cos(angle))),
                    RoundToInt32(my * (1 - std::sin(angle)))};
        pie.To = {mx, 0};
        shapes.push_back(pie);
      }
      break;
    }
    case gkNeedle: {
      fill(area, color_);
      TGaugeShape dial;
      dial.Kind = TGaugeShape::skPie;
      dial.Box = {area.Left, area.Top, round_w, 2 * round_h - 1};
      dial.From = {area.Left + round_w, area.Bottom - 1};
      dial.To = {area.Left, area.Bottom - 1};
      dial.Fill = back_color_;
      dial.Pen = fore_color_;
      shapes.push_back(dial);
      TGaugeShape base;
      base.Kind = TGaugeShape::skLine;
      base.From = {area.Left, area.Bottom};
      base.To = {area.Left + round_w, area.Bottom};
      base.Pen = fore_color_;
      shapes.push_back(base);
      if (percent > 0) {
        const int32_t x = width_ / 2;
        const double angle = percent / 100.0 * std::numbers::pi;
        TGaugeShape needle = base;
        needle.From = {x, area.Bottom - 1};
        needle.To = {RoundToInt32(x * (1 - std::cos(angle))),
                     RoundToInt32((area.Bottom - 1) * (1 - std::sin(angle)))};
        shapes.push_back(needle);
      }
      break;
    }
  }
  return shapes;
}

std::string TGauge::Text() const {
  return std::to_string(DonePercent()) + "%";
}

TPoint TGauge::TextOrigin(int32_t text_width, int32_t text_height) const {
  const TRect area = PaintArea();
  return {(area.Right - area.Left + 1 - text_width) / 2,
          (area.Bottom - area.Top + 1 - text_height) / 2};
}

}  // namespace vx
