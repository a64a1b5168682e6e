#pragma once

// Controls and windows for the control tests: a window whose native handle a test may set,
// a control that records what reaches it, and a guard for the process-wide DPI scale.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/window.h"

namespace ui_test {

class TestWindow : public ui::Window {
 public:
  void SetHwnd(HWND hwnd) { hwnd_ = hwnd; }
};

// Records each event type that reaches its default processing, and how often it measured
// its text and activated.
class ProbeControl : public ui::Control {
 public:
  ui::Size MeasureText(ui::Size /*available*/, bool* /*pending*/) override {
    ++textMeasures;
    return textSize;
  }
  void ProcessEvent(ui::EventArgs* args) override {
    processed.push_back(args->type);
    if (sharedLog) sharedLog->push_back({this, args->type});
    ui::Control::ProcessEvent(args);
  }
  void PerformAction() override { ++actions; }

  ui::Size textSize;
  int textMeasures = 0;
  int actions = 0;
  std::vector<ui::EventType> processed;
  // When set, every processed event is also noted here, after those of other controls.
  std::vector<std::pair<ui::Control*, ui::EventType>>* sharedLog = nullptr;
};

// Sets the DPI scale for one test and puts it back.
class ScopedDpi {
 public:
  explicit ScopedDpi(int scale)
      : scale_(ui::DpiScale::Instance().GetScale()), adapt_(ui::DpiScale::Instance().IsAdapting()) {
    ui::DpiScale::Instance().SetScale(scale);
    ui::DpiScale::Instance().SetAdapt(true);
  }
  ~ScopedDpi() {
    ui::DpiScale::Instance().SetScale(scale_);
    ui::DpiScale::Instance().SetAdapt(adapt_);
  }

 private:
  int scale_;
  bool adapt_;
};

// Removes and counts the thread's own messages (posted without a window) of one number.
inline int DrainThreadMessages(UINT message) {
  int count = 0;
  MSG msg;
  while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), message, message, PM_REMOVE)) ++count;
  return count;
}

inline ui::Rect R(int l, int t, int r, int b) { return ui::Rect{l, t, r, b}; }

inline bool Same(const ui::Rect& a, const ui::Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace ui_test
