#include "gui/win32/gauge.h"

#include <memory>

#include "gui/win32/handles.h"

namespace vx::gui {

namespace {

struct GaugeWindow {
  TGauge model;
  HFONT font = nullptr;  // not owned: the parent's, given by WM_SETFONT
};

GaugeWindow* WindowData(HWND window) {
  return reinterpret_cast<GaugeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// A memory bitmap of the gauge's size, selected into its own DC and filled
// black; everything is freed with the object.
class Canvas {
 public:
  Canvas(HDC reference, int32_t width, int32_t height)
      : dc_(CreateCompatibleDC(reference)),
        bitmap_(CreateCompatibleBitmap(reference, width, height)),
        selection_(dc_.get(), bitmap_.get()) {
    RECT all{0, 0, width, height};
    FillRect(dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  HDC dc() const { return dc_.get(); }

 private:
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  SelectedObject selection_;
};

// Pen and brush for one shape, selected while it is drawn and freed afterwards.
class ShapeTools {
 public:
  ShapeTools(HDC dc, const TGaugeShape& shape)
      : pen_(CreatePen(PS_SOLID, 1, ToColorRef(shape.Pen))),
        brush_(CreateSolidBrush(ToColorRef(shape.Fill))),
        pen_selection_(dc, pen_.get()),
        brush_selection_(dc, brush_.get()) {}
  HBRUSH brush() const { return brush_.get(); }

 private:
  UniquePen pen_;
  UniqueBrush brush_;
  SelectedObject pen_selection_;
  SelectedObject brush_selection_;
};

void DrawShape(HDC dc, const TGaugeShape& shape) {
  ShapeTools tools(dc, shape);
  const TRect& box = shape.Box;
  switch (shape.Kind) {
    case TGaugeShape::skFillRect: {
      RECT rect{box.Left, box.Top, box.Right, box.Bottom};
      FillRect(dc, &rect, tools.brush());
      break;
    }
    case TGaugeShape::skEllipse:
      Ellipse(dc, box.Left, box.Top, box.Right, box.Bottom);
      break;
    case TGaugeShape::skPie:
      Pie(dc, box.Left, box.Top, box.Right, box.Bottom, shape.From.X, shape.From.Y, shape.To.X,
          shape.To.Y);
      break;
    case TGaugeShape::skLine:
      MoveToEx(dc, shape.From.X, shape.From.Y, nullptr);
      LineTo(dc, shape.To.X, shape.To.Y);
      break;
  }
}

void ClipToPaintArea(HDC dc, const TGauge& gauge) {
  const TRect area = gauge.PaintArea();
  IntersectClipRect(dc, area.Left, area.Top, area.Right, area.Bottom);
}

LRESULT CALLBACK GaugeProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  GaugeWindow* data = WindowData(window);
  switch (message) {
    case WM_NCCREATE: {
      auto owned = std::make_unique<GaugeWindow>();
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
      owned->model.SetSize(create->cx, create->cy);
      // Repaint at once, so the gauge moves even while its owner is busy.
      owned->model.OnRepaint = [window] {
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
      };
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owned.release()));
      break;
    }
    case WM_NCDESTROY:
      delete data;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
    case WM_SIZE:
      if (data != nullptr) data->model.SetSize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_SETFONT:
      if (data != nullptr) {
        data->font = reinterpret_cast<HFONT>(wparam);
        if (LOWORD(lparam) != 0) InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    case WM_GETFONT:
      return data != nullptr ? reinterpret_cast<LRESULT>(data->font) : 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (data != nullptr) PaintGauge(dc, data->model, data->font);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      if (data != nullptr) PaintGauge(reinterpret_cast<HDC>(wparam), data->model, data->font);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

bool RegisterGaugeClass(HINSTANCE instance) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance, kGaugeClassName, &existing)) return true;
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = GaugeProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.lpszClassName = kGaugeClassName;
  return RegisterClassExA(&window_class) != 0;
}

HWND CreateGauge(HWND parent, int32_t left, int32_t top, int32_t width, int32_t height, DWORD style,
                 int32_t id) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!RegisterGaugeClass(instance)) return nullptr;
  return CreateWindowExA(0, kGaugeClassName, "", WS_CHILD | style, left, top, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

TGauge* GaugeOf(HWND window) {
  char class_name[32] = {};
  if (GetClassNameA(window, class_name, sizeof class_name) == 0) return nullptr;
  if (lstrcmpiA(class_name, kGaugeClassName) != 0) return nullptr;
  GaugeWindow* data = WindowData(window);
  return data != nullptr ? &data->model : nullptr;
}

void PaintGauge(HDC dc, const TGauge& gauge, HFONT font) {
  const int32_t width = gauge.Width();
  const int32_t height = gauge.Height();
  if (width <= 0 || height <= 0) return;

  // The image starts black; whatever the paint area leaves is the border.
  Canvas image(dc, width, height);
  {
    Canvas overlay(dc, width, height);
    ClipToPaintArea(overlay.dc(), gauge);
    for (const TGaugeShape& shape : gauge.Drawing()) DrawShape(overlay.dc(), shape);
    BitBlt(image.dc(), 0, 0, width, height, overlay.dc(), 0, 0, SRCINVERT);
  }
  if (gauge.ShowText()) {
    // White text on black, combined by exclusive-or: the digits show in the
    // inverse of whatever lies beneath them.
    Canvas text(dc, width, height);
    SelectedObject text_font(text.dc(), font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(text.dc(), RGB(255, 255, 255));
    SetBkMode(text.dc(), TRANSPARENT);
    const std::string label = gauge.Text();
    SIZE extent{};
    GetTextExtentPoint32A(text.dc(), label.c_str(), static_cast<int>(label.size()), &extent);
    const TPoint origin = gauge.TextOrigin(extent.cx, extent.cy);
    ClipToPaintArea(text.dc(), gauge);
    TextOutA(text.dc(), origin.X, origin.Y, label.c_str(), static_cast<int>(label.size()));
    BitBlt(image.dc(), 0, 0, width, height, text.dc(), 0, 0, SRCINVERT);
  }
  BitBlt(dc, 0, 0, width, height, image.dc(), 0, 0, SRCCOPY);
}

}  // namespace vx::gui
