// A 1000 x 700 layered window with 300 controls: the time of a hover repaint (one button's
// rectangle) and of a full repaint, each against the floor, one UpdateLayeredWindow of the
// same surface. Prints the medians and their ratios to the floor.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui/core/box.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/resources/ui_runtime.h"

namespace {

constexpr int kWidth = 1000, kHeight = 700, kControls = 300, kRounds = 200;

class BenchWindow : public ui::Window {
 public:
  std::wstring RegisteredClassName() const override { return L"DvPaintBench"; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CREATE) AttachNativeWindow(hwnd_);
    if (message == WM_PAINT) ++paints;
    return ui::Window::RouteMessage(message, wParam, lParam);
  }
  int paints = 0;
};

// How the buttons paint: the render context's fill as a state colour does, a GDI fill, or
// nothing (the window's own share of a repaint).
enum class Fill { kGdiPlus, kGdi, kNone };

class Button : public ui::Control {
 public:
  Button(ui::ArgbColor color, Fill fill) : color_(color), fill_(fill) {}
  void PaintSelf(ui::IRenderContext* context, const ui::Rect& dirty) override {
    ui::Control::PaintSelf(context, dirty);
    const ui::Rect b = GetBounds(true);
    if (fill_ == Fill::kGdiPlus) {
      context->FillRectArgb(b, color_, 255);
    } else if (fill_ == Fill::kGdi) {
      const RECT rect{b.left, b.top, b.right, b.bottom};
      HBRUSH brush = CreateSolidBrush(RGB((color_ >> 16) & 0xFF, (color_ >> 8) & 0xFF, color_ & 0xFF));
      FillRect(context->DrawingDC(), &rect, brush);
      DeleteObject(brush);
    }
  }

 private:
  ui::ArgbColor color_;
  Fill fill_;
};

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double MedianMicroseconds(F&& step) {
  std::vector<double> times;
  for (int i = 0; i < kRounds; ++i) {
    const double start = Now();
    step(i);
    times.push_back(Now() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

bool Run(Fill fill, const char* name) {
  auto* window = new BenchWindow();
  HWND hwnd = window->CreateNativeWindow(nullptr, L"paint bench", WS_POPUP, 0, true, ui::Rect{0, 0, kWidth, kHeight});
  if (!hwnd) {
    fprintf(stderr, "no window\n");
    return false;
  }
  window->ShowNativeWindow(true, false);
  const ui::Rect pad = window->GetShadow().padding;
  auto* root = new ui::Box();
  root->GetLayout()->SetPadding(pad, false);
  std::vector<ui::Rect> buttons;
  std::vector<Button*> placed;
  // 20 columns x 15 rows of 44 x 40 buttons inside the shadow padding. The root's layout
  // places each: a declared size at a top-left margin (bounds alone would let it stretch
  // over the whole window at the first arrangement).
  for (int i = 0; i < kControls; ++i) {
    const int x = pad.left + 4 + (i % 20) * 48, y = pad.top + 4 + (i / 20) * 44;
    auto* button = new Button(0xFF000000u | (0x10u * (i % 16)) << 16 | 0x6080u, fill);
    const ui::Rect r{x, y, x + 44, y + 40};
    button->SetDeclaredWidth(r.Width(), false, false);
    button->SetDeclaredHeight(r.Height(), false);
    button->SetMargin(ui::Rect{r.left - pad.left, r.top - pad.top, 0, 0}, false);
    button->SetBounds(r);
    buttons.push_back(r);
    placed.push_back(button);
    root->AddChild(button);
  }
  window->AttachRoot(root);
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);
  // Let the fade-in end so every paint pushes at full alpha.
  const ULONGLONG until = GetTickCount64() + 600;
  while (GetTickCount64() < until) {
    Pump();
    Sleep(5);
  }
  // A figure taken over buttons the layout moved or stretched would time another picture.
  for (int i = 0; i < kControls; ++i) {
    const ui::Rect b = placed[i]->GetBounds(true);
    if (b.left != buttons[i].left || b.top != buttons[i].top || b.right != buttons[i].right ||
        b.bottom != buttons[i].bottom) {
      fprintf(stderr, "button %d is at %d,%d-%d,%d, placed at %d,%d-%d,%d\n", i, b.left, b.top, b.right, b.bottom,
              buttons[i].left, buttons[i].top, buttons[i].right, buttons[i].bottom);
      DestroyWindow(hwnd);
      delete window;
      return false;
    }
  }

  ui::IRenderContext* context = window->GetRenderContext();
  RECT windowRect;
  GetWindowRect(hwnd, &windowRect);
  const double floor = MedianMicroseconds([&](int) {
    POINT destination{windowRect.left, windowRect.top};
    SIZE size{kWidth, kHeight};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(hwnd, nullptr, &destination, &size, context->DrawingDC(), &source, 0, &blend, ULW_ALPHA);
  });
  const int paintsBefore = window->paints;
  const double hover = MedianMicroseconds([&](int i) {
    const ui::Rect& b = buttons[(i * 37) % buttons.size()];
    const RECT rect{b.left, b.top, b.right, b.bottom};
    InvalidateRect(hwnd, &rect, FALSE);
    UpdateWindow(hwnd);
  });
  const double full = MedianMicroseconds([&](int) {
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
  });
  const int paints = window->paints - paintsBefore;

  printf("buttons painting %s\n", name);
  printf("floor  UpdateLayeredWindow        %9.1f us\n", floor);
  printf("hover  one button repainted       %9.1f us  %5.2fx floor (aim <= 1.5x)\n", hover, hover / floor);
  printf("full   whole window repainted     %9.1f us  %5.2fx floor (aim <= 4x)\n", full, full / floor);
  printf("paints %d of %d\n", paints, 2 * kRounds);
  DestroyWindow(hwnd);
  delete window;
  return paints == 2 * kRounds;
}

int main() {
  ui::UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
  printf("ui_paint: %d x %d layered window, %d controls, %d rounds each (median)\n", kWidth, kHeight, kControls,
         kRounds);
  const bool ok = Run(Fill::kGdiPlus, "the render context's fill each") && Run(Fill::kGdi, "a GDI fill each") &&
                  Run(Fill::kNone, "nothing (the window's own share)");
  ui::UiRuntime::Uninitialize();
  return ok ? 0 : 1;
}
