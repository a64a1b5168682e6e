#include "ui/core/window_impl_base.h"

#include <algorithm>
#include <cwchar>

#include "ui/controls/button.h"
#include "ui/controls/rich_edit.h"
#include "ui/core/box.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/shadow_box.h"
#include "ui/markup/markup_builder.h"

namespace ui {

namespace {

constexpr int kAutoMeasureExtent = 99999;
constexpr const wchar_t* kCaptionButtons[] = {L"closebtn", L"minbtn", L"maxbtn", L"restorebtn"};

}  // namespace

bool KeepsCaptionClicks(Control* control) {
  // Buttons (check boxes and options among them) and rich edits keep their clicks.
  return dynamic_cast<ButtonTemplate<Control>*>(control) != nullptr ||
         dynamic_cast<ButtonTemplate<Box>*>(control) != nullptr ||
         dynamic_cast<RichEdit*>(control) != nullptr;
}

LRESULT WindowImplBase::FilterMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, bool& handled) {
  handled = false;
  return 0;
}

LONG_PTR WindowImplBase::FramelessWindowStyle(LONG_PTR currentStyle) const {
  return currentStyle & static_cast<LONG_PTR>(0xFF3FFFFF);
}

Control* WindowImplBase::CreateCustomControl(const std::wstring& /*elementName*/) { return nullptr; }

LRESULT WindowImplBase::PassOn(UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  const LRESULT result = DispatchToControls(message, wParam, lParam, handled);
  if (handled) return result;
  return CallWindowProcW(previousProc_, hwnd_, message, wParam, lParam);
}

LRESULT WindowImplBase::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  using Handler = LRESULT (WindowImplBase::*)(UINT, WPARAM, LPARAM, bool&);
  Handler handler = nullptr;
  switch (message) {
    case WM_CREATE:
      return HandleCreate();
    case WM_DESTROY: handler = &WindowImplBase::HandleDestroy; break;
    case WM_SIZE: handler = &WindowImplBase::HandleSize; break;
    case WM_SETFOCUS: handler = &WindowImplBase::HandleSetFocus; break;
    case WM_KILLFOCUS: handler = &WindowImplBase::HandleKillFocus; break;
    case WM_CLOSE: handler = &WindowImplBase::HandleClose; break;
    case WM_GETMINMAXINFO: handler = &WindowImplBase::HandleGetMinMaxInfo; break;
    case WM_WINDOWPOSCHANGING: handler = &WindowImplBase::HandleWindowPosChanging; break;
    case WM_NCCALCSIZE: handler = &WindowImplBase::HandleNcCalcSize; break;
    case WM_NCHITTEST: handler = &WindowImplBase::HandleNcHitTest; break;
    case WM_NCPAINT: handler = &WindowImplBase::HandleNcPaint; break;
    case WM_NCACTIVATE: handler = &WindowImplBase::HandleNcActivate; break;
    case WM_NCLBUTTONDBLCLK: handler = &WindowImplBase::HandleNcLButtonDblClk; break;
    case WM_KEYDOWN: handler = &WindowImplBase::HandleKeyDown; break;
    case WM_CHAR: handler = &WindowImplBase::HandleChar; break;
    case WM_SYSCOMMAND: handler = &WindowImplBase::HandleSysCommand; break;
    case WM_MOUSEMOVE: handler = &WindowImplBase::HandleMouseMove; break;
    case WM_LBUTTONDOWN: handler = &WindowImplBase::HandleLButtonDown; break;
    case WM_LBUTTONUP: handler = &WindowImplBase::HandleLButtonUp; break;
    case WM_MOUSEWHEEL: handler = &WindowImplBase::HandleMouseWheel; break;
    case WM_MOUSEHOVER: handler = &WindowImplBase::HandleMouseHover; break;
    case WM_DPICHANGED: handler = &WindowImplBase::HandleDpiChanged; break;
    default: break;
  }
  if (handler) {
    bool handled = true;
    const LRESULT result = (this->*handler)(message, wParam, lParam, handled);
    if (handled) return result;
  }
  return PassOn(message, wParam, lParam);
}

LRESULT WindowImplBase::HandleCreate() {
  SetWindowLongPtrW(hwnd_, GWL_STYLE, FramelessWindowStyle(GetWindowLongPtrW(hwnd_, GWL_STYLE)));
  AttachNativeWindow(hwnd_);
  SetResourceSubfolder(SkinSubfolder());
  const std::wstring source = GetResourceSubfolder() + SkinXmlFileName();
  // Bound weakly: a build that outlives the window asks nothing of it.
  CustomControlFactory factory =
      MakeWeakCallback([this](const std::wstring& name) { return CreateCustomControl(name); });
  Control* built = nullptr;
  {
    MarkupBuilder builder;
    built = builder.Build(source.c_str(), std::move(factory), this, nullptr, nullptr);
  }
  if (!built) {
    wchar_t text[260];
    _snwprintf(text, 259, L"Failed to load xml file %ls", source.c_str());
    text[259] = L'\0';
    MessageBoxW(nullptr, text, L"Dorevezi", MB_ICONERROR);
    return -1;
  }
  Control* root = shadow_.WrapRoot(built);
  AttachRoot(root);
  OnSkinLoaded();
  if (root->GetFixedWidth() == kSizeAuto || root->GetFixedHeight() == kSizeAuto) {
    const Size measured = root->Measure(Size{kAutoMeasureExtent, kAutoMeasureExtent});
    int width = std::max(measured.cx, root->GetMinWidth());
    if (root->GetMaxWidth() >= 0) width = std::min(width, root->GetMaxWidth());
    int height = std::max(measured.cy, root->GetMinHeight());
    if (root->GetMaxHeight() >= 0) height = std::min(height, root->GetMaxHeight());
    SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  }
  // After OnSkinLoaded: the window's own handlers on these buttons run first.
  for (const wchar_t* name : kCaptionButtons) {
    // Only a button raises clicks: a control of another kind under these names stays unwired.
    if (auto* button = dynamic_cast<ButtonTemplate<Control>*>(FindControlByName(name))) {
      button->AddEventHandler(kEventClick, MakeWeakCallback([this](EventArgs* args) {
                                return HandleCaptionButtonClick(args);
                              }));
    }
  }
  return 0;
}

bool WindowImplBase::HandleCaptionButtonClick(EventArgs* args) {
  if (!args || !args->sender) return true;
  const std::wstring& name = args->sender->GetName();
  Control* maxButton = FindControlByName(L"maxbtn");
  Control* restoreButton = FindControlByName(L"restorebtn");
  const bool both = maxButton && restoreButton;
  if (name == L"closebtn") {
    RequestClose(1);
  } else if (name == L"minbtn") {
    SendMessageW(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == L"maxbtn") {
    if (both) {
      maxButton->SetFadeVisible(false);
      restoreButton->SetFadeVisible(true);
    }
    SendMessageW(hwnd_, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == L"restorebtn") {
    if (both) {
      maxButton->SetFadeVisible(true);
      restoreButton->SetFadeVisible(false);
    }
    SendMessageW(hwnd_, WM_SYSCOMMAND, SC_RESTORE, 0);
  }
  return true;
}

void WindowImplBase::OnWindowDestroyed(HWND hwnd) {
  Window::OnWindowDestroyed(hwnd);
  ForgetControl(root_);
  delete this;
}

LRESULT WindowImplBase::HandleClose(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleDestroy(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleMouseWheel(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleMouseHover(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleChar(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleKeyDown(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleKillFocus(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleSetFocus(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleLButtonDown(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleLButtonUp(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }
LRESULT WindowImplBase::HandleMouseMove(UINT, WPARAM, LPARAM, bool& handled) { return NotHandled(handled); }

// The skin draws the whole window: no system frame, caption or non-client painting.
LRESULT WindowImplBase::HandleNcCalcSize(UINT, WPARAM, LPARAM, bool&) { return 0; }
LRESULT WindowImplBase::HandleNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }
// A double click on the caption would maximise a window that chose not to be.
LRESULT WindowImplBase::HandleNcLButtonDblClk(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::HandleNcActivate(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (IsIconic(hwnd_)) return NotHandled(handled);
  return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::HandleWindowPosChanging(UINT, WPARAM, LPARAM lParam, bool& handled) {
  handled = false;
  auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
  if (!position || !IsZoomed(hwnd_) || !(position->flags & SWP_FRAMECHANGED)) return 0;
  HMONITOR monitor = MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info) || (info.dwFlags & MONITORINFOF_PRIMARY)) return 0;
  position->x = info.rcWork.left;
  position->y = info.rcWork.top;
  position->cx = info.rcWork.right - info.rcWork.left;
  position->cy = info.rcWork.bottom - info.rcWork.top;
  return 0;
}

LRESULT WindowImplBase::HandleNcHitTest(UINT, WPARAM, LPARAM lParam, bool&) {
  POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ScreenToClient(hwnd_, &point);
  RECT client = {};
  GetClientRect(hwnd_, &client);
  if (shadow_.attached) {
    client.left += shadow_.padding.left;
    client.top += shadow_.padding.top;
    client.right -= shadow_.padding.right;
    client.bottom -= shadow_.padding.bottom;
  }
  const LONG x = point.x, y = point.y;
  if (!IsZoomed(hwnd_)) {
    const Rect& box = sizeBox_;
    const bool atLeft = x >= client.left && x < client.left + box.left;
    const bool atRight = x > client.right - box.right && x <= client.right;
    if (y < client.top + box.top) {
      if (y < client.top) return HTCLIENT;
      return atLeft ? HTTOPLEFT : atRight ? HTTOPRIGHT : HTTOP;
    }
    if (y > client.bottom - box.bottom) {
      if (y > client.bottom) return HTCLIENT;
      return atLeft ? HTBOTTOMLEFT : atRight ? HTBOTTOMRIGHT : HTBOTTOM;
    }
    if (x < client.left + box.left) return x < client.left ? HTCLIENT : HTLEFT;
    if (x > client.right - box.right) return x > client.right ? HTCLIENT : HTRIGHT;
  }
  // The caption's bottom is a height from the top, its right an inset from the right.
  const Rect& caption = caption_;
  if (x >= client.left + caption.left && x < client.right - caption.right && y >= client.top + caption.top &&
      y < client.top + caption.bottom) {
    Control* control = FindControl(Point{x, y});
    if (control && !KeepsCaptionClicks(control)) return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::HandleGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, bool& handled) {
  handled = false;
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  if (!info) return 0;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT work = monitor.rcWork;
  OffsetRect(&work, -monitor.rcMonitor.left, -monitor.rcMonitor.top);
  if (maximizeRect_.Width() > 0 && maximizeRect_.Height() > 0) {
    info->ptMaxPosition = POINT{work.left + maximizeRect_.left, work.top + maximizeRect_.top};
    info->ptMaxSize = POINT{maximizeRect_.Width(), maximizeRect_.Height()};
  } else {
    info->ptMaxPosition = POINT{work.left, work.top};
    info->ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
  }
  // A track size equal to the bare shadow padding is one the skin never set.
  const Rect padding = shadow_.attached ? shadow_.padding : Rect();
  const int horizontal = padding.left + padding.right;
  const int vertical = padding.top + padding.bottom;
  if (minSize_.cx != 0 && minSize_.cx != horizontal) info->ptMinTrackSize.x = minSize_.cx;
  if (minSize_.cy != 0 && minSize_.cy != vertical) info->ptMinTrackSize.y = minSize_.cy;
  if (maxSize_.cx != 0 && maxSize_.cx != horizontal) info->ptMaxTrackSize.x = maxSize_.cx;
  if (maxSize_.cy != 0 && maxSize_.cy != vertical) info->ptMaxTrackSize.y = maxSize_.cy;
  return 0;
}

LRESULT WindowImplBase::HandleSize(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  if (IsIconic(hwnd_) || (roundCorner_.cx == 0 && roundCorner_.cy == 0)) return 0;
  RECT rect = {};
  GetWindowRect(hwnd_, &rect);
  HRGN region =
      CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, roundCorner_.cx, roundCorner_.cy);
  // The window owns the region from here on.
  if (region && !SetWindowRgn(hwnd_, region, TRUE)) DeleteObject(region);
  return 0;
}

LRESULT WindowImplBase::HandleDpiChanged(UINT, WPARAM wParam, LPARAM, bool& handled) {
  handled = false;
  DpiScale& dpi = DpiScale::Instance();
  if (dpi.IsAdapting()) dpi.SetScale(MulDiv(LOWORD(wParam), 100, 96));
  if (shadow_.attached && shadow_.box) {
    Rect padding = shadow_.basePadding;
    dpi.ScaleRect(padding);
    shadow_.padding = padding;
    shadow_.savedPadding = padding;
    shadow_.box->GetLayout()->SetPadding(shadow_.basePadding, true);
  }
  return 0;
}

LRESULT WindowImplBase::HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool&) {
  if (wParam == SC_CLOSE) {
    SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    return 0;
  }
  return PassOn(message, wParam, lParam);
}

void WindowImplBase::RestoreAndActivate() {
  if (!IsWindow(hwnd_)) return;
  if (IsIconic(hwnd_)) {
    ShowWindow(hwnd_, SW_RESTORE);
    return;
  }
  if (!IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
}

void WindowImplBase::SetCaptionText(const std::wstring& text) { SetWindowTextW(hwnd_, text.c_str()); }

}  // namespace ui
