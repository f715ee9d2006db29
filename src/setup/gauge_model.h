// The progress gauge's state and rules, free of any window system: its
// properties with their range checks, the whole percentage it shows, and the
// shapes a painter draws for each kind. The Win32 control (gui/win32/gauge)
// owns one of these, repaints when OnRepaint fires and draws Drawing().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/exception.h"
#include "ui/color.h"

namespace vx {

enum TGaugeKind : int32_t { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TGaugeBorderStyle : int32_t { bsNone, bsSingle };

// A property was given a value its other properties do not allow.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Right and Bottom are exclusive, as in GDI.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  bool operator==(const TRect&) const = default;
};

// One drawing step of a gauge, in control coordinates.
struct TGaugeShape {
  enum TShapeKind : int32_t {
    skFillRect,  // Box filled with Fill
    skEllipse,   // ellipse in Box, filled with Fill, outlined with Pen
    skPie,       // slice of the ellipse in Box from the radial through From
                 // counter-clockwise to the radial through To; Fill and Pen
    skLine,      // From to To (To itself not drawn) in Pen
  };
  TShapeKind Kind = skFillRect;
  TRect Box;
  TPoint From;
  TPoint To;
  TColor Fill = clBlack;
  TColor Pen = clBlack;
};

// Whole part of size * percent / 100, truncated towards zero.
int32_t BarLength(int32_t percent, int32_t size);

class TGauge {
 public:
  static constexpr int32_t kDefaultSize = 100;

  TGauge() = default;
  TGauge(const TGauge&) = delete;
  TGauge& operator=(const TGauge&) = delete;

  // Called whenever the picture has changed and must be drawn again.
  std::function<void()> OnRepaint;

  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind kind);
  bool ShowText() const { return show_text_; }
  void SetShowText(bool show_text);
  TGaugeBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TGaugeBorderStyle border_style);
  TColor ForeColor() const { return fore_color_; }
  void SetForeColor(TColor color);
  TColor BackColor() const { return back_color_; }
  void SetBackColor(TColor color);
  // Fills the corners around a pie or a needle.
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  int32_t MinValue() const { return min_value_; }
  // Raises EInvalidOperation when above MaxValue (unless loading).
  void SetMinValue(int32_t value);
  int32_t MaxValue() const { return max_value_; }
  // Raises EInvalidOperation when below MinValue (unless loading).
  void SetMaxValue(int32_t value);
  int32_t Progress() const { return progress_; }
  // Clamps to MinValue..MaxValue; repaints only when DonePercent changes.
  void SetProgress(int32_t value);

  // While the gauge is being built from a stored description the range
  // checks are off, so MinValue and MaxValue may be given in either order.
  bool Loading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }

  // The whole percentage of Progress within the range; 0 for an empty range.
  int32_t DonePercent() const;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetSize(int32_t width, int32_t height);

  // The client rectangle less the 1-pixel border, when there is one.
  TRect PaintArea() const;
  // What to draw for the current kind and value, inside PaintArea(), in order.
  std::vector<TGaugeShape> Drawing() const;
  // The percentage text ("50%") and where its top-left corner goes, given the
  // size of the text in the gauge's font.
  std::string Text() const;
  TPoint TextOrigin(int32_t text_width, int32_t text_height) const;

 private:
  void Changed();

  TGaugeKind kind_ = gkHorizontalBar;
  bool show_text_ = true;
  TGaugeBorderStyle border_style_ = bsSingle;
  TColor fore_color_ = clBlack;
  TColor back_color_ = clWhite;
  TColor color_ = clBtnFace;
  int32_t min_value_ = 0;
  int32_t max_value_ = 100;
  int32_t progress_ = 0;
  bool loading_ = false;
  int32_t width_ = kDefaultSize;
  int32_t height_ = kDefaultSize;
};

}  // namespace vx
