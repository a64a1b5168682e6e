// Window painting: the surface after alpha repair, what the screen shows at two scales, the
// fade-in, auto size, a window moved off the screen's edge and back, and windows that
// paint nothing. Screenshots go to <build>/screenshots.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "ui/core/control_test_support.h"
#include "ui/core/window_test_support.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

constexpr uint32_t kBody = 0xFF2050C0;     // opaque, drawn by GDI (alpha bytes left 0)
constexpr uint32_t kShadow = 0x80000000;   // translucent black, drawn by GDI+
constexpr COLORREF kBehind = RGB(0, 160, 0);
constexpr int kBodyWidth = 300, kBodyHeight = 200;

LRESULT CALLBACK BehindProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A plain green window for the layered windows to be seen against.
HWND OpenBehind(const RECT& rect) {
  static HBRUSH brush = CreateSolidBrush(kBehind);
  WNDCLASSW behindClass = {};
  behindClass.lpfnWndProc = BehindProc;
  behindClass.hInstance = GetModuleHandleW(nullptr);
  behindClass.hbrBackground = brush;
  behindClass.lpszClassName = L"DvPaintBehind";
  RegisterClassW(&behindClass);
  HWND hwnd = CreateWindowExW(0, L"DvPaintBehind", L"", WS_POPUP | WS_VISIBLE, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  UpdateWindow(hwnd);
  PumpFor(50);
  return hwnd;
}

int Alpha(uint32_t argb) { return argb >> 24; }

// Restarts the window's running fade-in over ms instead of 250: a capture taken early in it
// stays early however late this thread runs.
void SlowTheFadeIn(ui::Window& window, int ms) {
  ui::AnimationPlayer* fade = window.GetRoot()->GetAnimator().GetPlayer(ui::kEffectAlpha);
  ASSERT_NE(fade, nullptr);
  fade->duration = ms;
  fade->Restart();
}

// Runs this thread's messages one at a time until the condition holds after one of them.
bool PumpUntilAfterAnyMessage(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (done()) return true;
    }
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

// A shadowed window: padding as the shadow's, a GDI-drawn body inside it and a translucent
// shadow strip along the bottom padding.
struct ShadowedWindow {
  WindowPtr window;
  FillControl* body = nullptr;
  int pad = 0;
  int width = 0, height = 0;
};

ShadowedWindow OpenShadowed(int left, int top) {
  ShadowedWindow s;
  // The padding is scaled when the window object is made.
  WindowPtr probe(new TestWindow());
  s.pad = probe->GetShadow().padding.left;
  s.width = kBodyWidth + 2 * s.pad;
  s.height = kBodyHeight + 2 * s.pad;
  s.window = OpenWindow(Rect{left, top, left + s.width, top + s.height}, true);
  s.body = new FillControl(kBody);
  auto* strip = new FillControl(kShadow);
  s.window->AttachRoot(RootWith(s.window->GetShadow().padding,
                                {{strip, Rect{s.pad, s.height - s.pad, s.width - s.pad, s.height - s.pad / 2}},
                                 {s.body, Rect{s.pad, s.pad, s.pad + kBodyWidth, s.pad + kBodyHeight}}}));
  return s;
}

// Shows a shadowed window over a green one at the current scale, with its screenshots named
// after tag, and checks the surface, the screen and the fade-in.
void CheckShadowedWindowOnScreen(const std::string& tag) {
  {
    const RECT behindRect{40, 40, 560, 460};
    HWND behind = OpenBehind(behindRect);
    ShadowedWindow s = OpenShadowed(80, 80);
    EXPECT_EQ(s.pad, ui::DpiScale::Instance().ScaleValue(14));
    RECT onScreen{80, 80, 80 + s.width, 80 + s.height};

    // The first paint starts the fade from alpha 0.
    InvalidateRect(s.window->GetHwnd(), nullptr, FALSE);
    ASSERT_TRUE(PumpUntil([&] { return !s.window->IsFirstLayoutPending(); }, 30000));
    SlowTheFadeIn(*s.window, 5000);
    // Some way into the fade (no pumping between the capture and reading the alpha).
    ASSERT_TRUE(PumpUntil([&] { return s.window->GetWindowAlpha() >= 90; }, 30000));
    const Capture early = CaptureScreen(onScreen);
    const int earlyAlpha = s.window->GetWindowAlpha();
    ASSERT_TRUE(PumpUntil([&] { return s.window->GetWindowAlpha() == 255; }, 30000));
    // The last step's paint on the screen.
    const int midY = s.pad + kBodyHeight / 2;
    PumpUntil([&] { return RgbNear(CaptureScreen(onScreen).At(s.pad + 5, midY), kBody); }, 30000);
    const Capture shown = CaptureScreen(onScreen);
    printf("screenshots: %s %s\n", SaveCapture(early, tag + "_early").c_str(), SaveCapture(shown, tag).c_str());

    // The surface: body repaired to opaque, padding and corner squares left transparent.
    EXPECT_EQ(Alpha(SurfacePixel(*s.window, s.pad + 5, midY)), 255);
    EXPECT_EQ(Alpha(SurfacePixel(*s.window, s.pad - 1, midY)), 0);
    EXPECT_EQ(Alpha(SurfacePixel(*s.window, s.pad, s.pad)), 0) << "the corner square";
    EXPECT_EQ(Alpha(SurfacePixel(*s.window, s.pad + 1, s.pad)), 255);
    EXPECT_EQ(Alpha(SurfacePixel(*s.window, s.width / 2, s.height - s.pad + 2)), 0x80) << "the shadow keeps its alpha";

    // The screen: the body opaque, what lies behind in the cut-outs.
    EXPECT_TRUE(RgbNear(shown.At(s.pad + 5, midY), kBody));
    EXPECT_TRUE(RgbNear(shown.At(s.width - s.pad - 2, s.height - s.pad - 2), kBody));
    EXPECT_TRUE(RgbNear(shown.At(s.width - s.pad - 1, s.height - s.pad - 1), 0xFF00A000)) << "the far corner";
    EXPECT_TRUE(RgbNear(shown.At(s.pad - 1, midY), 0xFF00A000)) << "the padding is cut out";
    EXPECT_TRUE(RgbNear(shown.At(2, 2), 0xFF00A000));
    EXPECT_TRUE(RgbNear(shown.At(s.pad, s.pad), 0xFF00A000)) << "the corner is cut out";
    EXPECT_FALSE(RgbNear(shown.At(s.width / 2, s.height - s.pad + 2), 0xFF00A000, 40)) << "the shadow is drawn";

    // Early in the fade the body is darker: its colour times the window alpha.
    ASSERT_LT(earlyAlpha, 230);
    const uint32_t faded = 0xFF000000 | ((0x20 * earlyAlpha / 255) << 16) | ((0x50 * earlyAlpha / 255) << 8) |
                           (0xC0 * earlyAlpha / 255);
    EXPECT_TRUE(RgbNear(early.At(s.pad + 5, midY), faded, 40)) << "window alpha " << earlyAlpha;
    EXPECT_LT(Channel(early.At(s.pad + 5, midY), 0) + 20, Channel(shown.At(s.pad + 5, midY), 0));
    DestroyWindow(behind);
  }
}

TEST(WindowPaintTest, ShadowedBodyOnScreenAtTwoScalesWithTheFadeIn) {
  for (int scale : {100, 150}) {
    SCOPED_TRACE(scale);
    ui_test::ScopedDpi dpi(scale);
    CheckShadowedWindowOnScreen("window_scale" + std::to_string(scale));
  }
}

// Run by window_dpi_run.sh in a prefix whose LogPixels it sets: the scale the runtime read.
TEST(WindowPaintTest, ShadowedBodyOnScreenAtTheSystemDpi) {
  const char* expected = getenv("DV_EXPECTED_DPI");
  if (!expected) GTEST_SKIP() << "run by window_dpi_run.sh";
  const int dpi = atoi(expected);
  ASSERT_EQ(ui::DpiScale::Instance().GetScale(), MulDiv(dpi, 100, 96));
  CheckShadowedWindowOnScreen("window_logpixels" + std::to_string(dpi));
}

TEST(WindowPaintTest, AlphaRepairFollowsTheWindowsSettings) {
  struct Case {
    const char* name;
    bool shadow;
    Rect alphaFix;
    ui::Size previous;
    int insideAlpha;  // at (120, 120), the middle
    int edgeAlpha;    // at (41, 41), just inside the body
  };
  const Case cases[] = {
      {"nothing: GDI's alpha stays", false, Rect{}, ui::Size{}, 0, 0},
      {"alpha fix rectangle", false, Rect{3, 3, 3, 3}, ui::Size{}, 255, 0},
      {"previous initial size", false, Rect{}, ui::Size{100, 100}, 255, 0},
      {"shadow", true, Rect{}, ui::Size{}, 255, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowPtr window = OpenWindow(Rect{100, 100, 340, 340}, true);
    window->GetShadow().attached = c.shadow;
    window->SetAlphaFixRect(c.alphaFix);
    if (c.previous.cx > 0) {
      window->SetInitialSize(c.previous.cx, c.previous.cy, false, false);
      window->SetInitialSize(240, 240, false, false);
    }
    auto* body = new FillControl(kBody);
    // The body fills the content inside a padding of 40.
    window->AttachRoot(RootWith(Rect{40, 40, 40, 40}, {{body, Rect{40, 40, 200, 200}}}));
    PumpUntilPainted(*window);
    EXPECT_EQ(Alpha(SurfacePixel(*window, 120, 120)), c.insideAlpha);
    EXPECT_EQ(Alpha(SurfacePixel(*window, 41, 41)), c.edgeAlpha);
    EXPECT_EQ(Alpha(SurfacePixel(*window, 10, 120)), 0) << "outside the body";
  }
}

// Measures as its text: 180 x 500.
class TallControl : public LogControl {
 public:
  ui::Size MeasureText(ui::Size, bool*) override { return ui::Size{180, 500}; }
};

TEST(WindowPaintTest, AutoSizedRootTakesItsMeasuredSizeWithinItsLimits) {
  struct Case {
    const wchar_t* maxHeight;
    const wchar_t* minWidth;
    int width, height;
  };
  const Case cases[] = {{L"120", L"0", 180, 120}, {L"-1", L"0", 180, 500}, {L"120", L"260", 260, 120}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxHeight);
    WindowPtr window = OpenWindow(Rect{100, 100, 150, 150}, true);
    auto* root = new TallControl();
    root->ApplyAttribute(L"width", L"auto");
    root->ApplyAttribute(L"height", L"auto");
    root->ApplyAttribute(L"maxheight", c.maxHeight);
    root->ApplyAttribute(L"minwidth", c.minWidth);
    window->AttachRoot(root);
    PumpUntilPainted(*window);
    RECT rect;
    GetWindowRect(window->GetHwnd(), &rect);
    EXPECT_EQ(rect.left, 100) << "stays where it was";
    EXPECT_EQ(rect.right - rect.left, c.width);
    EXPECT_EQ(rect.bottom - rect.top, c.height);
    EXPECT_EQ(window->GetRenderContext()->SurfaceHeight(), c.height);
  }
}

TEST(WindowPaintTest, MovedOffTheLeftEdgeAndBackShowsNoStaleStripe) {
  HWND behind = OpenBehind(RECT{0, 250, 600, 600});
  ShadowedWindow s = OpenShadowed(100, 300);
  PumpUntilPainted(*s.window);
  ASSERT_TRUE(PumpUntil([&] { return s.window->GetWindowAlpha() == 255; }, 30000));
  SetWindowPos(s.window->GetHwnd(), nullptr, -120, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(100);
  // Repainted while partly off the screen, with the update region cut at the screen's edge
  // as the system leaves it.
  s.body->argb = 0xFFC03010;
  const int paintsBefore = s.body->paints;
  const RECT onScreenPart{120, 0, s.width, s.height};
  InvalidateRect(s.window->GetHwnd(), &onScreenPart, FALSE);
  PostMessageW(s.window->GetHwnd(), WM_PAINT, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return s.body->paints > paintsBefore; }, 30000));
  PumpFor(100);
  SetWindowPos(s.window->GetHwnd(), nullptr, 100, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // Back on the screen: the part that stayed on it shows the new colour first.
  const RECT back{100, 300, 100 + s.width, 300 + s.height};
  PumpUntil([&] { return RgbNear(CaptureScreen(back).At(s.pad + 200, s.pad + 50), 0xFFC03010); }, 30000);
  PumpFor(100);
  const Capture shown = CaptureScreen(back);
  printf("screenshot: %s\n", SaveCapture(shown, "window_back_from_left_edge").c_str());
  for (int x : {s.pad + 2, s.pad + 60, s.pad + 200}) {
    SCOPED_TRACE(x);
    EXPECT_TRUE(RgbNear(shown.At(x, s.pad + 50), 0xFFC03010));
  }
  DestroyWindow(behind);
}

TEST(WindowPaintTest, ArrangePassAndTheFirstLayoutOncePerRoot) {
  WindowPtr window = OpenWindow(Rect{100, 100, 300, 300}, true);
  auto* child = new FillControl(kBody);
  ui::Box* root = RootWith(Rect{}, {{child, Rect{10, 10, 60, 60}}});
  window->AttachRoot(root);
  PumpUntilPainted(*window);
  EXPECT_TRUE(ui_test::Same(root->GetBounds(true), Rect{0, 0, 200, 200})) << "the root takes the client area";
  ASSERT_TRUE(PumpUntil([&] { return window->GetWindowAlpha() == 255; }, 30000));

  // A control's own layout request: the next paint arranges it in place, and no fade restarts.
  child->RequestOwnLayout();
  EXPECT_TRUE(window->IsArrangePending());
  EXPECT_TRUE(PumpUntil([&] { return !window->IsArrangePending(); }, 30000));
  EXPECT_FALSE(child->IsArrangePending());
  EXPECT_TRUE(ui_test::Same(child->GetBounds(true), Rect{10, 10, 60, 60}));
  EXPECT_EQ(window->GetWindowAlpha(), 255);

  // A new root lays out and fades in again.
  window->AttachRoot(RootWith(Rect{}, {}));
  EXPECT_TRUE(window->IsFirstLayoutPending());
  InvalidateRect(window->GetHwnd(), nullptr, FALSE);
  // Read right after the paint that laid it out, before any step of its fade.
  ASSERT_TRUE(PumpUntilAfterAnyMessage([&] { return !window->IsFirstLayoutPending(); }, 30000));
  EXPECT_LT(window->GetWindowAlpha(), 255);
}

TEST(WindowPaintTest, MinimizedOrRootlessWindowsValidateAndDrawNothing) {
  WindowPtr rootless = OpenWindow(Rect{100, 100, 200, 200}, true);
  InvalidateRect(rootless->GetHwnd(), nullptr, FALSE);
  RECT update;
  EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(rootless->GetHwnd(), &update, FALSE); }, 30000));
  EXPECT_EQ(rootless->GetRenderContext()->SurfaceWidth(), 0);

  WindowPtr minimized = OpenWindow(Rect{100, 100, 300, 300}, true);
  auto* body = new FillControl(kBody);
  minimized->AttachRoot(RootWith(Rect{}, {{body, Rect{0, 0, 200, 200}}}));
  ShowWindow(minimized->GetHwnd(), SW_MINIMIZE);
  PumpFor(50);
  InvalidateRect(minimized->GetHwnd(), nullptr, FALSE);
  EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(minimized->GetHwnd(), &update, FALSE); }, 30000));
  EXPECT_EQ(body->paints, 0);
  EXPECT_TRUE(minimized->IsFirstLayoutPending()) << "no first layout while minimized";
  // Restored, it lays out and fades in once.
  ShowWindow(minimized->GetHwnd(), SW_RESTORE);
  PumpUntilPainted(*minimized);
  EXPECT_FALSE(minimized->IsFirstLayoutPending());
  EXPECT_GT(body->paints, 0);
}

}  // namespace
