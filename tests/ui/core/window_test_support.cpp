#include "test_support/screenshot.h"
#include "ui/core/window_test_support.h"

#include <cstdlib>
#include <functional>

#include "ui/render/gdiplus_api.h"

namespace window_test {

namespace {

using namespace Gdiplus::DllExports;

// GDI+, the render factory and the memory DC for the whole executable.
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ui::UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override { ui::UiRuntime::Uninitialize(); }
};
::testing::Environment* const kRuntime = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  PassedOn().push_back(message);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

std::vector<Received>& Log() {
  static std::vector<Received> log;
  return log;
}

std::vector<ui::EventType> TypesOf(ui::Control* control) {
  std::vector<ui::EventType> types;
  for (const Received& r : Log())
    if (!control || r.control == control) types.push_back(r.type);
  return types;
}

std::vector<UINT>& PassedOn() {
  static std::vector<UINT> passed;
  return passed;
}

void LogControl::DispatchEvent(ui::EventArgs* args) {
  Log().push_back(Received{this, args->type, args->wParam, args->lParam, args->mousePoint, args->pressure});
  ui::Control::DispatchEvent(args);
}

void FillControl::PaintSelf(ui::IRenderContext* context, const ui::Rect& dirty) {
  ui::Control::PaintSelf(context, dirty);
  ++paints;
  const ui::Rect b = GetBounds(true);
  if ((argb >> 24) == 0xFF) {
    HBRUSH brush = CreateSolidBrush(RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF));
    HRGN region = CreateRectRgn(b.left, b.top, b.right, b.bottom);
    if (cutCorner > 0) {
      HRGN corner = CreateRectRgn(b.left, b.top, b.left + cutCorner, b.top + cutCorner);
      CombineRgn(region, region, corner, RGN_DIFF);
      DeleteObject(corner);
    }
    FillRgn(context->DrawingDC(), region, brush);
    DeleteObject(region);
    DeleteObject(brush);
  } else {
    context->FillRectArgb(b, argb, 255);
  }
}

TestWindow::TestWindow(const std::wstring& className) : className_(className) {}

LRESULT TestWindow::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back(message);
  if (message == WM_CREATE) AttachNativeWindow(hwnd_);
  if (message == kMsgBecameTopWindow) ++becameTop;
  if (message == WM_CLOSE) {
    closes.emplace_back(wParam, GetTickCount64());
    // The control events of the close still run; the window stays.
    bool handled = false;
    DispatchToControls(message, wParam, lParam, handled);
    return 0;
  }
  return ui::Window::RouteMessage(message, wParam, lParam);
}

void TestWindow::OnWindowDestroyed(HWND hwnd) {
  ++destroyedCalls;
  ui::Window::OnWindowDestroyed(hwnd);
}

void TestWindow::RecordPassedOn() { previousProc_ = &RecordingProc; }

void WindowDeleter::operator()(TestWindow* window) const {
  if (HWND hwnd = window->GetHwnd()) {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  delete window;
}

WindowPtr OpenWindow(const ui::Rect& rect, bool layered, const std::wstring& className) {
  WindowPtr window(new TestWindow(className));
  HWND hwnd = window->CreateNativeWindow(nullptr, L"Window test", WS_POPUP, WS_EX_TOPMOST, layered, rect);
  EXPECT_NE(hwnd, nullptr);
  if (!hwnd) return window;
  window->ShowNativeWindow(true, true);
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
  return window;
}

ui::Box* RootWith(const ui::Rect& padding, const std::vector<std::pair<ui::Control*, ui::Rect>>& children) {
  ui::Box* root = new ui::Box();
  root->GetLayout()->SetPadding(padding, false);
  for (const auto& child : children) {
    // The root's layout places each child: a fixed size at a top-left margin inside the
    // padding keeps it at the given bounds whenever the root arranges (the root fills the
    // client area from its origin).
    const ui::Rect& r = child.second;
    child.first->SetDeclaredWidth(r.Width(), false, false);
    child.first->SetDeclaredHeight(r.Height(), false);
    child.first->SetMargin(ui::Rect{r.left - padding.left, r.top - padding.top, 0, 0}, false);
    child.first->SetBounds(r);
    root->AddChild(child.first);
  }
  return root;
}

void PumpUntilPainted(TestWindow& window) {
  // A layered window gets no paint of its own when shown: the skin's window asks for it.
  InvalidateRect(window.GetHwnd(), nullptr, FALSE);
  ui_test::PumpUntil([&] { return !window.IsFirstLayoutPending(); }, 3000);
  ui_test::PumpFor(100);
}

namespace {

// Sends the input and runs this thread's messages until it has been handled: the system's
// state shows it (cursor position, button or key) and this thread's queue holds no input
// any more, so every handler of it has run. Later effects (timers, fades) are the callers'
// to wait for. No low-level hook watches the input: under Wine one defers the cursor
// update past SendInput, the display's pointer then stays where it was, and the next
// cursor query moves the cursor back there (a hover ends in a mouse-leave).
void SendAndHandle(INPUT& input, const std::function<bool()>& applied) {
  SendInput(1, &input, sizeof(input));
  ui_test::PumpUntil([&] { return applied() && HIWORD(GetQueueStatus(QS_INPUT)) == 0; }, 30000);
}

bool IsDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

}  // namespace

void MoveMouseTo(int x, int y) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((static_cast<int64_t>(x) * 65536 + width / 2) / width);
  input.mi.dy = static_cast<LONG>((static_cast<int64_t>(y) * 65536 + height / 2) / height);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  // The normalised coordinates may round to a neighbouring pixel.
  SendAndHandle(input, [&] {
    POINT cursor;
    return GetCursorPos(&cursor) && std::abs(cursor.x - x) <= 1 && std::abs(cursor.y - y) <= 1;
  });
}

void MouseButton(DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  const bool down = flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_MIDDLEDOWN);
  const int vk = flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP)     ? VK_LBUTTON
                 : flags & (MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_RIGHTUP) ? VK_RBUTTON
                                                                         : VK_MBUTTON;
  SendAndHandle(input, [&] { return IsDown(vk) == down; });
}

void Key(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendAndHandle(input, [&] { return IsDown(vk) != up; });
}

Capture CaptureScreen(const RECT& rect) {
  Capture capture;
  capture.width = rect.right - rect.left;
  capture.height = rect.bottom - rect.top;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, capture.width, capture.height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const uint32_t* pixels = static_cast<const uint32_t*>(bits);
  capture.pixels.assign(pixels, pixels + static_cast<size_t>(capture.width) * capture.height);
  for (uint32_t& p : capture.pixels) p |= 0xFF000000;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return capture;
}

std::string SaveCapture(const Capture& capture, const std::string& name) {
  const std::wstring file = test_support::ScreenshotPath(std::wstring(name.begin(), name.end()) + L".png");
  // Reported as the Unix path when the file is in the build folder.
  const std::string unixPath = getenv("DV_BINARY_DIR") ? std::string(getenv("DV_BINARY_DIR")) + "/screenshots/" + name + ".png"
                                                       : std::string(file.begin(), file.end());
  CLSID encoder;
  if (!test_support::PngEncoder(&encoder)) return std::string();
  Gdiplus::GpBitmap* png = nullptr;
  std::vector<uint32_t> pixels = capture.pixels;
  if (GdipCreateBitmapFromScan0(capture.width, capture.height, capture.width * 4, PixelFormat32bppARGB,
                                reinterpret_cast<BYTE*>(pixels.data()), &png) != Gdiplus::Ok) {
    return std::string();
  }
  const bool saved = GdipSaveImageToFile(png, file.c_str(), &encoder, nullptr) == Gdiplus::Ok;
  GdipDisposeImage(png);
  return saved ? unixPath : std::string();
}

::testing::AssertionResult RgbNear(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift : {16, 8, 0}) {
    if (std::abs(Channel(actual, shift) - Channel(expected, shift)) > tolerance)
      return ::testing::AssertionFailure() << std::hex << "pixel 0x" << actual << ", expected about 0x" << expected;
  }
  return ::testing::AssertionSuccess();
}

uint32_t SurfacePixel(ui::Window& window, int x, int y) {
  ui::IRenderContext* context = window.GetRenderContext();
  const auto* bytes =
      static_cast<const uint8_t*>(context->PixelBits()) + (static_cast<size_t>(y) * context->SurfaceWidth() + x) * 4;
  return (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[0];
}

}  // namespace window_test
