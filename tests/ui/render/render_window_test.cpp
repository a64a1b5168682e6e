// A plain Win32 window shows a render context: Latin and Chinese text in a font
// registered the launcher's way, a text-effect line and a nine-grid frame. The window is
// captured from the screen, saved as a PNG and checked for ink in each line's box.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support/screenshot.h"
#include "render_test_support.h"
#include "ui/render/text_effect_gdiplus.h"

namespace {

using namespace Gdiplus::DllExports;
using render_test::Channel;
using render_test::NewContext;
using render_test::Paint;
using render_test::PixelAt;
using render_test::SetPixelAt;

constexpr int kWidth = 480, kHeight = 260;
constexpr ui::ArgbColor kInk = 0xFF1040C0;
const ui::Rect kLatinBox{30, 30, 450, 66}, kChineseBox{30, 76, 450, 112}, kEffectBox{30, 126, 450, 190};
const ui::Rect kFrame{8, 8, kWidth - 8, kHeight - 8};

ui::IRenderContext* g_shown = nullptr;

LRESULT CALLBACK ShowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (g_shown) BitBlt(dc, 0, 0, kWidth, kHeight, g_shown->DrawingDC(), 0, 0, SRCCOPY);
    EndPaint(hwnd, &paint);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

uint32_t FrameColour(int x, int y) {
  const bool corner = (x < 8 || x >= 24) && (y < 8 || y >= 24);
  const bool edge = x < 8 || x >= 24 || y < 8 || y >= 24;
  return corner ? 0xFFC02020 : edge ? 0xFF208020 : 0x00000000;
}

// Pixels close to the ink colour inside box.
int InkIn(ui::IRenderContext& context, const ui::Rect& box) {
  int count = 0;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) {
      const uint32_t p = PixelAt(context, x, y);
      count += std::abs(Channel(p, 16) - 0x10) < 40 && std::abs(Channel(p, 8) - 0x40) < 40 && std::abs(Channel(p, 0) - 0xC0) < 40;
    }
  return count;
}

std::vector<bool> GlyphMask(const std::wstring& glyph) {
  auto context = NewContext(64, 64);
  Paint(*context, 0xFFFFFFFF);
  context->DrawTextInRect(ui::Rect{0, 0, 64, 64}, glyph, 0xFF000000, L"render.window.40", DT_SINGLELINE, 255, false);
  std::vector<bool> mask;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) mask.push_back(Channel(PixelAt(*context, x, y), 16) < 128);
  return mask;
}

TEST(RenderWindow, ShowsTextEffectAndNineGridOnScreen) {
  ASSERT_NE(ui::UiRuntime::RegisterFont(L"render.window.24", L"system", 24, false, false, false, false), nullptr);
  ASSERT_NE(ui::UiRuntime::RegisterFont(L"render.window.40", L"system", 40, true, false, false, false), nullptr);

  // Two different CJK glyphs give different masks: a face without them draws one box.
  const std::vector<bool> ce = GlyphMask(L"\x6D4B"), shi = GlyphMask(L"\x8BD5");
  EXPECT_NE(ce, shi);
  EXPECT_GT(std::count(ce.begin(), ce.end(), true), 50);

  auto scene = NewContext(kWidth, kHeight);
  Paint(*scene, 0xFFFFFFFF);
  auto frame = NewContext(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) SetPixelAt(*frame, x, y, FrameColour(x, y));
  HBITMAP frameBitmap = frame->DetachBitmap();
  scene->DrawNineGridBitmap(ui::Rect{0, 0, kWidth, kHeight}, frameBitmap, true, kFrame, ui::Rect{0, 0, 32, 32},
                            ui::Rect{8, 8, 8, 8}, 255, false, false);
  DeleteObject(frameBitmap);
  scene->DrawTextInRect(kLatinBox, L"Dorevezi render layer: Latin text", kInk, L"render.window.24", DT_SINGLELINE, 255, false);
  scene->DrawTextInRect(kChineseBox, L"\x6D4B\x8BD5\x4E2D\x6587\x5B57\x4F53\xFF1A\x542F\x52A8\x5668", kInk,
                        L"render.window.24", DT_SINGLELINE, 255, false);
  ui::TextEffect_GdiPlus effect;
  effect.SetOutline(0xFFFFD040, 0xFF402000, 4, false);
  effect.SetFillGradient(0xFF1040C0, 0xFF40C0FF, 0.5f, 1.0f);
  effect.SetCharSpacing(2);
  scene->DrawTextWithEffect(kEffectBox, L"Effect \x6548\x679C", kInk, L"render.window.40", DT_SINGLELINE, &effect, false);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ShowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"DvRenderLayerTest";
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&windowClass);
  HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, L"DvRenderLayerTest", L"Render layer", WS_POPUP, 40, 40, kWidth, kHeight,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  g_shown = scene.get();
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  // Let the X server map and expose the window, then repaint and capture it from the screen
  // (not from the context) until the frame's corner shows: a loaded machine maps it late.
  auto captured = NewContext(kWidth, kHeight);
  const DWORD start = GetTickCount();
  for (int round = 0;; ++round) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (round % 10 == 9) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    Sleep(50);
    if (round < 19) continue;
    RECT onScreen;
    GetWindowRect(hwnd, &onScreen);
    HDC screen = GetDC(nullptr);
    BitBlt(captured->DrawingDC(), 0, 0, kWidth, kHeight, screen, onScreen.left, onScreen.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    if (render_test::RgbNear(PixelAt(*captured, 12, 12), 0xFFC02020, 6) || GetTickCount() - start > 15000) break;
  }
  g_shown = nullptr;
  DestroyWindow(hwnd);
  UnregisterClassW(L"DvRenderLayerTest", windowClass.hInstance);

  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) SetPixelAt(*captured, x, y, PixelAt(*captured, x, y) | 0xFF000000);
  Gdiplus::GpBitmap* png = nullptr;
  CLSID encoder;
  ASSERT_TRUE(test_support::PngEncoder(&encoder));
  ASSERT_EQ(GdipCreateBitmapFromScan0(kWidth, kHeight, kWidth * 4, PixelFormat32bppARGB,
                                      static_cast<BYTE*>(captured->PixelBits()), &png),
            Gdiplus::Ok);
  const std::wstring path = test_support::ScreenshotPath(L"render_layer.png");
  EXPECT_EQ(GdipSaveImageToFile(png, path.c_str(), &encoder, nullptr), Gdiplus::Ok);
  GdipDisposeImage(png);

  EXPECT_GT(InkIn(*captured, kLatinBox), 100) << "Latin line";
  EXPECT_GT(InkIn(*captured, kChineseBox), 100) << "Chinese line";
  int effectInk = 0;
  for (int y = kEffectBox.top; y < kEffectBox.bottom; ++y)
    for (int x = kEffectBox.left; x < kEffectBox.right; ++x) effectInk += (PixelAt(*captured, x, y) & 0xFFFFFF) != 0xFFFFFF;
  EXPECT_GT(effectInk, 300) << "text-effect line";
  EXPECT_TRUE(render_test::RgbNear(PixelAt(*captured, 12, 12), 0xFFC02020, 6)) << "frame corner";
  EXPECT_TRUE(render_test::RgbNear(PixelAt(*captured, kWidth / 2, 12), 0xFF208020, 6)) << "frame edge";
  EXPECT_TRUE(render_test::RgbNear(PixelAt(*captured, kWidth / 2, kHeight - 4), 0xFFFFFFFF, 6)) << "outside the frame";
}

}  // namespace
