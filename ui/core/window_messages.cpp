// The window's messages turned into control events: pre-filters, hover, capture, focus and
// Tab, keys, tooltips, notification reflection, touch and pointer input.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "ui/controls/rich_edit.h"
#include "ui/core/box.h"
#include "ui/core/input_functions.h"
#include "ui/core/window.h"

namespace ui {

namespace {

// Notifications and commands reflected to the child window that sent them.
constexpr UINT kReflectOffset = 0x2000;
constexpr DWORD kDefaultHoverMs = 200;
// One WM_TOUCH carries at most this many contacts worth reading; only the first is used.
constexpr UINT kMaxTouchRecords = 256;

Point PointFromLParam(LPARAM lParam) {
  return Point{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
}

void SendEvent(Control* target, EventType type, uint64_t wParam, uint64_t lParam) {
  EventArgs args;
  args.type = type;
  args.sender = target;
  args.timestamp = GetTickCount();
  args.wParam = wParam;
  args.lParam = lParam;
  target->DispatchEvent(&args);
}

}  // namespace

Control* Window::ArrangePendingCallback(Control* candidate, void* /*data*/) {
  return candidate && candidate->IsArrangePending() ? candidate : nullptr;
}

bool Window::UpdateHover(const Point& point, WPARAM wParam, LPARAM lParam) {
  hit_ = FindControl(point);
  if (hit_ && hit_->GetOwnerWindow() != this) return false;
  Control* hit = hit_;
  if (hovered_ && hovered_ != hit) {
    Control* old = hovered_;
    old->RaiseEvent(kEventMouseLeave, 0, 0, 0, point);
    hovered_ = nullptr;
    if (toolTipWindow_) SendMessageW(toolTipWindow_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&toolTip_));
    // A leave handler may have deleted the control under the mouse.
    hit = hit_;
  }
  if (hit && hit != hovered_) {
    hovered_ = hit;
    hit->RaiseEvent(kEventMouseEnter, wParam, lParam, 0, point);
  }
  return true;
}

void Window::ArmMouseTracking() {
  if (mouseTracking_ || !hwnd_) return;
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof(track);
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = hwnd_;
  track.dwHoverTime = toolTipWindow_
                          ? static_cast<DWORD>(SendMessageW(toolTipWindow_, TTM_GETDELAYTIME, TTDT_INITIAL, 0))
                          : kDefaultHoverMs;
  _TrackMouseEvent(&track);
  mouseTracking_ = true;
}

LRESULT Window::ShowToolTip(LPARAM lParam, bool& handled) {
  mouseTracking_ = false;
  const Point point = PointFromLParam(lParam);
  Control* target = FindControl(point);
  if (!target) return 0;
  std::weak_ptr<base::WeakFlag> alive = target->ObtainWeakFlag();
  if (hovered_) hovered_->RaiseEvent(kEventMouseHover, 0, 0, 0, point);
  if (alive.expired()) return 0;
  // The tool points at this copy, which lives as long as the tool shows it.
  toolTipText_ = target->GetToolTipText();
  toolTip_ = {};
  toolTip_.cbSize = sizeof(TOOLINFOW);
  toolTip_.uFlags = TTF_IDISHWND;
  toolTip_.hwnd = hwnd_;
  toolTip_.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  toolTip_.hinst = GetModuleHandleW(nullptr);
  toolTip_.lpszText = const_cast<wchar_t*>(toolTipText_.c_str());
  const Rect bounds = target->GetBounds(true);
  toolTip_.rect = RECT{bounds.left, bounds.top, bounds.right, bounds.bottom};
  if (!toolTipWindow_) {
    toolTipWindow_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    SendMessageW(toolTipWindow_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&toolTip_));
    SendMessageW(toolTipWindow_, TTM_SETDELAYTIME, TTDT_INITIAL, kDefaultHoverMs);
  }
  SendMessageW(toolTipWindow_, TTM_SETMAXTIPWIDTH, 0, target->GetToolTipMaxWidth());
  SendMessageW(toolTipWindow_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&toolTip_));
  SendMessageW(toolTipWindow_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&toolTip_));
  handled = true;
  return 0;
}

void Window::HandleMouseDown(UINT message, WPARAM wParam, LPARAM lParam) {
  if (touchCaptured_ || pointerCaptured_) return;
  SetFocus(hwnd_);
  const Point point = PointFromLParam(lParam);
  lastMousePoint_ = point;
  Control* target = FindControl(point);
  if (!target || target->GetOwnerWindow() != this) return;
  captured_ = target;
  if (message != WM_LBUTTONDBLCLK) {
    target->RequestFocus();
    // A focus handler may have deleted the control.
    if (captured_ != target) return;
  }
  SetCapture(hwnd_);
  mouseCaptured_ = true;
  const EventType type = message == WM_LBUTTONDOWN   ? kEventButtonDown
                         : message == WM_RBUTTONDOWN ? kEventRButtonDown
                                                     : kEventRawDoubleClick;
  target->RaiseEvent(type, wParam, lParam, 0, point);
}

bool Window::TranslateTouch(const TOUCHINPUT& record, HTOUCHINPUT input) {
  POINT screen{record.x / 100, record.y / 100};
  ScreenToClient(hwnd_, &screen);
  const Point point{screen.x, screen.y};
  const uint64_t handle = reinterpret_cast<uint64_t>(input);
  if (record.dwFlags & TOUCHEVENTF_DOWN) {
    if (captured_ || pointerCaptured_) return false;
    SetFocus(hwnd_);
    lastTouchPoint_ = point;
    Control* target = FindControl(point);
    if (!target || target->GetOwnerWindow() != this) return false;
    touchCaptured_ = target;
    target->RequestFocus();
    if (touchCaptured_ != target) return true;
    SetCapture(hwnd_);
    mouseCaptured_ = true;
    target->RaiseEvent(kEventTouchDown, 0, handle, 0, point);
    return true;
  }
  if (record.dwFlags & TOUCHEVENTF_MOVE) {
    if (captured_ || pointerCaptured_ || !touchCaptured_) return false;
    if (point.x == lastTouchPoint_.x && point.y == lastTouchPoint_.y) return false;
    lastTouchPoint_ = point;
    if (!UpdateHover(point, 0, 0)) return false;
    if (touchCaptured_) touchCaptured_->RaiseEvent(kEventTouchMove, 0, 0, 0, point);
    return true;
  }
  if (record.dwFlags & TOUCHEVENTF_UP) {
    lastTouchPoint_ = point;
    mouseCaptured_ = false;
    ReleaseCapture();
    if (!touchCaptured_) return false;
    Control* target = touchCaptured_;
    target->RaiseEvent(kEventTouchUp, 0, handle, 0, point);
    touchCaptured_ = nullptr;
    return true;
  }
  return false;
}

void Window::HandleTouch(WPARAM wParam, LPARAM lParam) {
  const InputFunctions& input = GetInputFunctions();
  HTOUCHINPUT handle = reinterpret_cast<HTOUCHINPUT>(lParam);
  // The count is the low word only; the rest of wParam is reserved and must not size memory.
  const UINT count = std::min<UINT>(LOWORD(wParam), kMaxTouchRecords);
  bool close = true;
  if (count >= 1 && input.getTouchInputInfo) {
    std::vector<TOUCHINPUT> records(count);
    if (input.getTouchInputInfo(handle, count, records.data(), sizeof(TOUCHINPUT)) && records[0].dwID != 0) {
      close = TranslateTouch(records[0], handle);
    }
  }
  if (close && input.closeTouchInputHandle) input.closeTouchInputHandle(handle);
}

LRESULT Window::HandlePointer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (!pointerInput_) return 0;
  if (!(HIWORD(wParam) & POINTER_MESSAGE_FLAG_PRIMARY)) {
    handled = true;
    return 0;
  }
  const InputFunctions& input = GetInputFunctions();
  const UINT32 id = LOWORD(wParam);
  POINTER_INPUT_TYPE type = PT_POINTER;
  if (!input.getPointerType || !input.getPointerType(id, &type)) return 0;
  POINT screen;
  UINT32 rawPressure = 0;
  if (type == PT_TOUCH) {
    POINTER_TOUCH_INFO info = {};
    if (!input.getPointerTouchInfo || !input.getPointerTouchInfo(id, &info)) return 0;
    screen = info.pointerInfo.ptPixelLocationRaw;
    rawPressure = info.pressure;
  } else if (type == PT_PEN) {
    POINTER_PEN_INFO info = {};
    if (!input.getPointerPenInfo || !input.getPointerPenInfo(id, &info)) return 0;
    screen = info.pointerInfo.ptPixelLocationRaw;
    rawPressure = info.pressure;
  } else {
    return 0;
  }
  ScreenToClient(hwnd_, &screen);
  const Point point{screen.x, screen.y};
  const float pressure = static_cast<float>(rawPressure) * 0.0009765625f;
  bool receives = false;
  if (message == WM_POINTERUPDATE || message == WM_POINTERDOWN) {
    if (captured_ || touchCaptured_) {
      handled = true;
      return 0;
    }
    lastMousePoint_ = point;
    if (message == WM_POINTERUPDATE) {
      if (!pointerCaptured_ || !UpdateHover(point, 0, 0) || !pointerCaptured_) return 0;
      pointerCaptured_->RaiseEvent(kEventPointerUpdate, 0, 0, 0, point, pressure);
    } else {
      SetFocus(hwnd_);
      Control* target = FindControl(point);
      if (!target || target->GetOwnerWindow() != this) return 0;
      pointerCaptured_ = target;
      target->RequestFocus();
      if (pointerCaptured_ != target) return 0;
      SetCapture(hwnd_);
      mouseCaptured_ = true;
      target->RaiseEvent(kEventPointerDown, 0, static_cast<uint64_t>(lParam), 0, point, pressure);
    }
    receives = pointerCaptured_ && pointerCaptured_->ReceivesPointer();
  } else {
    lastMousePoint_ = point;
    mouseCaptured_ = false;
    ReleaseCapture();
    if (!pointerCaptured_) return 0;
    Control* target = pointerCaptured_;
    receives = target->ReceivesPointer();
    target->RaiseEvent(kEventPointerUp, 0, static_cast<uint64_t>(lParam), 0, point, pressure);
    pointerCaptured_ = nullptr;
  }
  // A control that takes pointer input keeps it; else the system makes mouse messages of it.
  if (receives) handled = true;
  return 0;
}

void Window::EndPressOnLoss(bool releaseCapture, WPARAM wParam, LPARAM lParam) {
  Control* target = pointerCaptured_ ? pointerCaptured_ : touchCaptured_ ? touchCaptured_ : captured_;
  if (!target || !target->ReleasesOnFocusLoss()) {
    // An ordinary press keeps its control; only the lost capture is noted.
    if (!releaseCapture) mouseCaptured_ = false;
    return;
  }
  mouseCaptured_ = false;
  if (releaseCapture) ReleaseCapture();
  target->RaiseEvent(kEventButtonUp, wParam, lParam);
  captured_ = touchCaptured_ = pointerCaptured_ = nullptr;
}

void Window::ApplyShadowOnResize(WPARAM sizeKind) {
  if (!shadow_.attached || !shadow_.box) return;
  // The shadow box is the root it wraps.
  Box* box = dynamic_cast<Box*>(root_);
  if (!box || (sizeKind != SIZE_MAXIMIZED && sizeKind != SIZE_RESTORED)) return;
  if (sizeKind == SIZE_MAXIMIZED) {
    shadow_.padding = Rect{};
  } else {
    shadow_.padding = shadow_.savedPadding;
  }
  box->GetLayout()->SetPadding(shadow_.padding, false);
  if (shadow_.roundCorner) {
    if (Control* body = box->GetChildAt(0)) body->SetBorderRound(sizeKind == SIZE_MAXIMIZED ? Size{0, 0} : Size{3, 3});
  }
}

LRESULT Window::DispatchToControls(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  for (IUIMessageFilter* filter : std::vector<IUIMessageFilter*>(messageFilters_)) {
    bool filtered = false;
    const LRESULT result = filter->FilterMessage(message, wParam, lParam, filtered);
    // Mouse moves always reach the controls too: hover must stay right.
    if (filtered && message != WM_MOUSEMOVE) {
      handled = true;
      return result;
    }
  }

  switch (message) {
    case WM_SIZE:
      if (focused_) SendEvent(focused_, kEventWindowResized, 0, 0);
      if (root_) root_->RequestLayout();
      ApplyShadowOnResize(wParam);
      handled = true;
      return 0;
    case WM_KILLFOCUS:
      lastMousePoint_ = PointFromLParam(lParam);
      EndPressOnLoss(true, wParam, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      // Only a capture taken away counts: the window's own releases clear the flag first.
      if (mouseCaptured_ && reinterpret_cast<HWND>(lParam) != hwnd_) EndPressOnLoss(false, 0, 0);
      return 0;
    case WM_PAINT:
      PaintWindow();
      handled = true;
      return 0;
    case WM_CLOSE: {
      if (hovered_) SendEvent(hovered_, kEventMouseLeave, 0, 0);
      for (Control** pointer : {&captured_, &touchCaptured_, &pointerCaptured_}) {
        if (*pointer) SendEvent(*pointer, kEventButtonUp, 0, 0);
      }
      SetFocusedControl(nullptr);
      if (HWND owner = hwnd_ ? GetWindow(hwnd_, GW_OWNER) : nullptr) SetFocus(owner);
      return 0;
    }
    case WM_ERASEBKGND:
      handled = true;
      return 1;
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT) return 0;
      handled = true;
      if (captured_ || touchCaptured_ || pointerCaptured_) return 0;
      POINT cursor;
      GetCursorPos(&cursor);
      ScreenToClient(hwnd_, &cursor);
      lastMousePoint_ = Point{cursor.x, cursor.y};
      Control* target = FindControl(lastMousePoint_);
      if (!target) {
        handled = false;
        return 0;
      }
      target->RaiseEvent(kEventSetCursor, wParam, lParam, 0, lastMousePoint_);
      return 0;
    }
    case WM_NOTIFY: {
      if (!lParam) {
        handled = true;
        return 0;
      }
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      SendMessageW(header->hwndFrom, WM_NOTIFY + kReflectOffset, wParam, lParam);
      return 0;
    }
    case WM_CONTEXTMENU: {
      POINT point{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
      ScreenToClient(hwnd_, &point);
      lastMousePoint_ = Point{point.x, point.y};
      if (!captured_) return 0;
      mouseCaptured_ = false;
      ReleaseCapture();
      Control* target = captured_;
      target->RaiseEvent(kEventRawMenu, wParam, reinterpret_cast<uint64_t>(target), 0, lastMousePoint_);
      captured_ = nullptr;
      return 0;
    }
    case WM_KEYDOWN:
      if (!focused_) return 0;
      if (wParam == VK_TAB) {
        // A rich edit that wants Tab takes it as a character.
        const RichEdit* edit = dynamic_cast<const RichEdit*>(focused_);
        if (edit && edit->WantsTab() && edit->IsVisible() && edit->IsEnabled()) return 0;
        MoveTabFocus(GetKeyState(VK_SHIFT) >= 0);
        return 1;
      }
      keyDown_ = focused_;
      focused_->RaiseEvent(kEventKeyDown, wParam, lParam, static_cast<wchar_t>(LOWORD(wParam)));
      return 0;
    case WM_KEYUP:
      if (keyDown_) {
        keyDown_->RaiseEvent(kEventKeyUp, wParam, lParam, static_cast<wchar_t>(LOWORD(wParam)));
        keyDown_ = nullptr;
      }
      return 0;
    case WM_CHAR:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
      if (focused_) {
        const EventType type = message == WM_CHAR                   ? kEventChar
                               : message == WM_IME_STARTCOMPOSITION ? kEventImeStartComposition
                                                                    : kEventImeEndComposition;
        focused_->RaiseEvent(type, wParam, lParam, static_cast<wchar_t>(LOWORD(wParam)));
      }
      return 0;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (!lParam) return 0;
      handled = true;
      return SendMessageW(reinterpret_cast<HWND>(lParam), message + kReflectOffset, wParam, lParam);
    case WM_MOUSEMOVE: {
      if (touchCaptured_ || pointerCaptured_) return 0;
      ArmMouseTracking();
      const Point point = PointFromLParam(lParam);
      lastMousePoint_ = point;
      if (!UpdateHover(point, wParam, lParam)) return 0;
      Control* target = captured_ ? captured_ : hit_;
      if (target) target->RaiseEvent(kEventMouseMove, wParam, lParam, 0, point);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
      HandleMouseDown(message, wParam, lParam);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      const Point point = PointFromLParam(lParam);
      lastMousePoint_ = point;
      mouseCaptured_ = false;
      ReleaseCapture();
      if (!captured_) return 0;
      Control* target = captured_;
      if (message == WM_LBUTTONUP) {
        target->RaiseEvent(kEventButtonUp, wParam, lParam, 0, point);
        captured_ = nullptr;
      } else {
        // The captured control stays for the WM_CONTEXTMENU that follows.
        target->RaiseEvent(kEventRButtonUp, wParam, lParam, 0, point);
      }
      return 0;
    }
    case WM_MOUSEWHEEL: {
      POINT point{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
      ScreenToClient(hwnd_, &point);
      lastMousePoint_ = Point{point.x, point.y};
      Control* target = FindControl(lastMousePoint_);
      if (target && target->GetOwnerWindow() == this) {
        const int64_t delta = static_cast<int16_t>(HIWORD(wParam));
        SendEvent(target, kEventScrollWheel, static_cast<uint64_t>(delta), static_cast<uint64_t>(lParam));
      }
      return 0;
    }
    case WM_TOUCH:
      HandleTouch(wParam, lParam);
      return 0;
    case WM_POINTERUPDATE:
    case WM_POINTERDOWN:
    case WM_POINTERUP:
    case WM_POINTERLEAVE:
    case WM_POINTERCAPTURECHANGED:
      return HandlePointer(message, wParam, lParam, handled);
    case WM_MOUSEHOVER:
      return ShowToolTip(lParam, handled);
    case WM_MOUSELEAVE: {
      if (toolTipWindow_) SendMessageW(toolTipWindow_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&toolTip_));
      // A move to (-1, -1) clears the hover; tracking is still on, so it arms nothing.
      if (mouseTracking_ && hwnd_) SendMessageW(hwnd_, WM_MOUSEMOVE, 0, static_cast<LPARAM>(-1));
      mouseTracking_ = false;
      return 0;
    }
    case kMsgDeleteDeferred:
      DeleteDeferredControls();
      return 0;
    default:
      return 0;
  }
}

}  // namespace ui
