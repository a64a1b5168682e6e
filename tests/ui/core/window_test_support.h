#pragma once

// Real native windows for the window tests: a window class that attaches itself at
// WM_CREATE and records what reaches it, controls that log their events or fill their
// bounds, real input through SendInput, and screen captures saved as PNG files.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/animation/ui_test_pump.h"
#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/resources/ui_runtime.h"

namespace window_test {

// What one control received, in the order of all controls.
struct Received {
  ui::Control* control;
  ui::EventType type;
  uint64_t wParam;
  uint64_t lParam;
  ui::Point point;
  float pressure;
};
std::vector<Received>& Log();
// The types logged for one control (all when null), in order.
std::vector<ui::EventType> TypesOf(ui::Control* control = nullptr);

// A control that logs every event it is given and counts its activations.
class LogControl : public ui::Control {
 public:
  void DispatchEvent(ui::EventArgs* args) override;
  void PerformAction() override { ++actions; }
  int actions = 0;
};

// Fills its bounds with an opaque colour through GDI (which leaves the alpha bytes 0) or,
// with a translucent colour, through GDI+ (premultiplied).
class FillControl : public LogControl {
 public:
  explicit FillControl(uint32_t argb) : argb(argb) {}
  void PaintSelf(ui::IRenderContext* context, const ui::Rect& dirty) override;
  uint32_t argb;
  // Leaves a square of this size at the top-left corner unpainted.
  int cutCorner = 0;
  int paints = 0;
};

// Records messages that reached the previous window procedure.
std::vector<UINT>& PassedOn();

class TestWindow : public ui::Window {
 public:
  explicit TestWindow(const std::wstring& className = L"DvWindowTest");
  std::wstring RegisteredClassName() const override { return className_; }
  std::wstring ClassToSuperclass() const override { return superclass_; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnWindowDestroyed(HWND hwnd) override;

  void SetSuperclass(const std::wstring& name) { superclass_ = name; }
  // Unhandled messages go to a procedure that records them.
  void RecordPassedOn();

  int becameTop = 0;
  int destroyedCalls = 0;
  std::vector<std::pair<WPARAM, ULONGLONG>> closes;  // WM_CLOSE codes and their times
  std::vector<UINT> seen;

 private:
  std::wstring className_;
  std::wstring superclass_;
};

// Destroys the native window, then deletes the object.
struct WindowDeleter {
  void operator()(TestWindow* window) const;
};
using WindowPtr = std::unique_ptr<TestWindow, WindowDeleter>;

// A popup window at rect (screen coordinates), shown and in front.
WindowPtr OpenWindow(const ui::Rect& rect, bool layered, const std::wstring& className = L"DvWindowTest");
// A root box with padding, holding children placed at the given bounds (client coordinates).
ui::Box* RootWith(const ui::Rect& padding, const std::vector<std::pair<ui::Control*, ui::Rect>>& children);
// Invalidates the window and pumps until it has painted its first layout.
void PumpUntilPainted(TestWindow& window);

// Real input; each returns once this thread has handled it.
void MoveMouseTo(int x, int y);  // screen coordinates
void MouseButton(DWORD flags);   // MOUSEEVENTF_LEFTDOWN ...
void Key(WORD vk, bool up);

// A screen capture of rect: pixels 0xAARRGGBB with alpha 255, row by row.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Capture CaptureScreen(const RECT& rect);
// Saved under the build's screenshots folder; returns the Unix path for the report.
std::string SaveCapture(const Capture& capture, const std::string& name);

inline int Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }
::testing::AssertionResult RgbNear(uint32_t actual, uint32_t expected, int tolerance = 8);

// 0xAARRGGBB of the window's surface at (x, y).
uint32_t SurfacePixel(ui::Window& window, int x, int y);

}  // namespace window_test
