// The native half of the window: class registration and creation, the window procedures,
// attachment, placement, showing, the fade-in and the delayed close.
#include <algorithm>

#include "ui/animation/animation_player.h"
#include "ui/animation/timer_manager.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/input_functions.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/render/render_factory.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

constexpr DWORD kCaptionBits = WS_CAPTION;
constexpr UINT kCloseDelayMs = 300;

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

}  // namespace

HWND Window::CreateNativeWindow(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, bool layered,
                                const Rect& rect) {
  const std::wstring className = RegisteredClassName();
  const std::wstring superclass = ClassToSuperclass();
  if (!superclass.empty()) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    if (!GetClassInfoExW(nullptr, superclass.c_str(), &info) &&
        !GetClassInfoExW(ModuleInstance(), superclass.c_str(), &info)) {
      return nullptr;
    }
    previousProc_ = info.lpfnWndProc;
    info.lpfnWndProc = &Window::SuperclassWindowProc;
    info.hInstance = ModuleInstance();
    info.lpszClassName = className.c_str();
    if (!RegisterClassExW(&info) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  } else {
    WNDCLASSW info = {};
    info.style = RegisteredClassStyle();
    info.lpfnWndProc = &Window::WindowProc;
    info.hInstance = ModuleInstance();
    info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    info.lpszClassName = className.c_str();
    if (!RegisterClassW(&info) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  }
  layered_ = layered;
  HWND hwnd = CreateWindowExW(exStyle | (layered ? WS_EX_LAYERED : 0), className.c_str(), title, style, rect.left,
                              rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                              ModuleInstance(), this);
  if (!hwnd) return nullptr;
  hwnd_ = hwnd;
  // The frame draws its own caption: the system's would cover the skin.
  const LONG_PTR current = GetWindowLongPtrW(hwnd, GWL_STYLE);
  if (current & kCaptionBits) SetWindowLongPtrW(hwnd, GWL_STYLE, current & ~static_cast<LONG_PTR>(kCaptionBits));
  return hwnd;
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = nullptr;
  if (message == WM_NCCREATE) {
    window = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (window) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
      window->hwnd_ = hwnd;
    }
  } else {
    window = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && window) {
      const LRESULT result = CallWindowProcW(window->previousProc_, hwnd, message, wParam, lParam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      window->OnWindowDestroyed(hwnd);
      return result;
    }
  }
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  return window->RouteMessage(message, wParam, lParam);
}

LRESULT CALLBACK Window::SuperclassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = nullptr;
  if (message == WM_NCCREATE) {
    window = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (window) {
      SetPropW(hwnd, kWindowProperty, window);
      window->hwnd_ = hwnd;
    }
  } else {
    window = static_cast<Window*>(GetPropW(hwnd, kWindowProperty));
    if (message == WM_NCDESTROY && window) {
      const LRESULT result = CallWindowProcW(window->previousProc_, hwnd, message, wParam, lParam);
      RemovePropW(hwnd, kWindowProperty);
      window->hwnd_ = nullptr;
      window->OnWindowDestroyed(hwnd);
      return result;
    }
  }
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  return window->RouteMessage(message, wParam, lParam);
}

LRESULT Window::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  const LRESULT result = DispatchToControls(message, wParam, lParam, handled);
  if (handled) return result;
  return CallWindowProcW(previousProc_, hwnd_, message, wParam, lParam);
}

void Window::AttachNativeWindow(HWND hwnd) {
  hwnd_ = hwnd;
  if (paintDC_) ReleaseDC(hwnd, paintDC_);
  paintDC_ = GetDC(hwnd);
  if (IRenderFactory* factory = UiRuntime::GetRenderFactory()) renderContext_.reset(factory->NewRenderContext());
  if (auto registerTouch = GetInputFunctions().registerTouchWindow) registerTouch(hwnd, 0);
  UiRuntime::AddWindow(this);
  SendMessageW(hwnd, kMsgBecameTopWindow, 0, 0);
}

void Window::CenterOnOwner() {
  if (!hwnd_) return;
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  RECT centre = work;
  if (owner && !IsIconic(owner)) GetWindowRect(owner, &centre);
  const int width = window.right - window.left, height = window.bottom - window.top;
  int x = (centre.left + centre.right) / 2 - width / 2;
  int y = (centre.top + centre.bottom) / 2 - height / 2;
  if (!owner) {
    if (x < work.left) {
      x = work.left;
    } else if (x + width > work.right) {
      x = work.right - width;
    }
    if (y < work.top) {
      y = work.top;
    } else if (y + height > work.bottom) {
      y = work.bottom - height;
    }
  }
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::ShowNativeWindow(bool show, bool takeFocus) {
  if (!IsWindow(hwnd_)) return;
  ShowWindow(hwnd_, !show ? SW_HIDE : takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
}

void Window::RequestClose(UINT code) {
  if (!hwnd_ || !IsWindow(hwnd_)) return;
  if (!root_ || !IsWindowsVersionAtLeast6(0)) {
    PostMessageW(hwnd_, WM_CLOSE, code, 0);
    return;
  }
  root_->SetFadeVisible(false);
  // Bound to the close flag: a window object gone by then posts nothing.
  TimerManager::Instance()->AddTimer(
      closeFlag_.ObtainWeakFlag(),
      [this, code] {
        if (hwnd_ && IsWindow(hwnd_)) PostMessageW(hwnd_, WM_CLOSE, code, 0);
      },
      kCloseDelayMs, 1);
}

void Window::OnFirstLayout() {
  if (!root_ || !IsWindowsVersionAtLeast6(0)) return;
  AnimationPlayer* fade = root_->GetAnimator().EnableAlphaFade(true);
  windowAlpha_ = 0;
  // The root's own alpha stays 0: the fade drives the whole window instead.
  if (fade) fade->valueCallback = MakeWeakCallback([this](int alpha) { ApplyWindowAlpha(alpha); });
  root_->SetFadeVisible(true);
}

void Window::ApplyWindowAlpha(int alpha) {
  if (!root_) return;
  windowAlpha_ = std::clamp(alpha, 0, 255);
  if (!hwnd_) return;
  const Rect bounds = root_->GetBounds(true);
  const RECT rect{bounds.left, bounds.top, bounds.right, bounds.bottom};
  InvalidateRect(hwnd_, &rect, FALSE);
  if (layered_) PostMessageW(hwnd_, WM_PAINT, 0, 0);
}

void Window::OnWindowDestroyed(HWND hwnd) {
  if (auto unregisterTouch = GetInputFunctions().unregisterTouchWindow) unregisterTouch(hwnd);
  FireWindowCloseEvent();
}

}  // namespace ui
