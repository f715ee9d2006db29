// The progress gauge as a Win32 child window (class "TGauge"). The window
// owns a TGauge with the properties and rules; it draws what the model says,
// double-buffered, with the percentage in inverse colours over the drawing.
#pragma once

#include "gui/win32/windows_api.h"
#include "setup/gauge_model.h"

namespace vx::gui {

constexpr const char* kGaugeClassName = "TGauge";

// Registers the window class once per process; true when it is available.
bool RegisterGaugeClass(HINSTANCE instance);

// Creates a gauge (registering the class if needed); WS_VISIBLE in `style`
// shows it at once.
HWND CreateGauge(HWND parent, int32_t left, int32_t top, int32_t width, int32_t height, DWORD style,
                 int32_t id);

// The model behind a gauge window; nullptr for any other window.
TGauge* GaugeOf(HWND window);

// Draws `gauge` at the origin of `dc` in `font` (the system font when null).
void PaintGauge(HDC dc, const TGauge& gauge, HFONT font);

}  // namespace vx::gui
