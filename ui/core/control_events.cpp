#include <windows.h>

#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/window.h"

// Event dispatch and the default event processing of a control.
namespace ui {

namespace {

bool IsRawEvent(EventType type) { return type >= kEventRawDoubleClick && type <= kEventRawKillFocus; }

}  // namespace

bool RunEventHandlers(const EventHandlerList& handlers, EventArgs* args, const std::weak_ptr<base::WeakFlag>& alive) {
  // The list belongs to the control: once a handler has deleted it, not even the list's
  // end may be read again.
  const size_t count = handlers.size();
  for (size_t i = 0; i < count; ++i) {
    const bool result = handlers[i](args);
    if (alive.expired()) return false;
    if (!result) return false;
  }
  return true;
}

bool Control::RunHandlerMap(const EventHandlerMap& map, EventType type, EventArgs* args,
                            const std::weak_ptr<base::WeakFlag>& alive) {
  bool result = true;
  auto own = map.find(type);
  if (own != map.end()) {
    result = RunEventHandlers(own->second, args, alive);
    if (alive.expired()) return false;
  }
  auto all = map.find(kEventAll);
  if (all != map.end()) result = RunEventHandlers(all->second, args, alive);
  return result;
}

void Control::AddEventHandler(EventType type, EventHandler handler) { codeHandlers_[type].push_back(std::move(handler)); }

void Control::AddMarkupEventHandler(EventType type, EventHandler handler) {
  markupHandlers_[type].push_back(std::move(handler));
}

void Control::AddImageEventHandler(int key, EventHandler handler) {
  imageEventHandlers_[key].push_back(std::move(handler));
}

void Control::RaiseEvent(EventType type, uint64_t wParam, uint64_t lParam, wchar_t keyChar, Point point,
                         float pressure) {
  EventArgs args;
  args.type = type;
  args.sender = this;
  args.timestamp = GetTickCount();
  // (0, 0) means no point: the window's last mouse point stands in.
  args.mousePoint = (point.x == 0 && point.y == 0 && window_) ? window_->GetLastMousePoint() : point;
  args.keyChar = keyChar;
  args.wParam = wParam;
  args.lParam = lParam;
  args.pressure = pressure;
  DispatchEvent(&args);
}

void Control::RaiseOwnEvent(EventType type, uint64_t wParam, uint64_t lParam) {
  EventArgs args;
  args.type = type;
  args.sender = this;
  args.timestamp = GetTickCount();
  if (window_) args.mousePoint = window_->GetLastMousePoint();
  args.wParam = wParam;
  args.lParam = lParam;
  DispatchEvent(&args);
}

void Control::DispatchEvent(EventArgs* args) {
  if (!args) return;
  if (IsRawEvent(args->type) || args->sender != this) {
    ProcessEvent(args);
    return;
  }
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  bool result = RunHandlerMap(codeHandlers_, args->type, args, alive);
  if (alive.expired() || !result) return;
  result = RunHandlerMap(markupHandlers_, args->type, args, alive);
  if (alive.expired() || !result) return;
  ProcessEvent(args);
}

bool Control::HoverIsInside() const {
  if (!window_) return false;
  for (const PlaceHolder* node = window_->GetHoveredControl(); node; node = node->GetParent()) {
    if (node == this) return true;
  }
  return false;
}

void Control::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  if (!mouseEnabled_ && IsMouseEvent(type)) {
    if (parent_) parent_->DispatchEvent(args);
    return;
  }
  switch (type) {
    case kEventSetCursor:
      if (cursorType_ == kCursorArrow) {
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
      } else if (cursorType_ == kCursorIBeam) {
        SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
      } else if (cursorType_ == kCursorHand) {
        SetCursor(LoadCursorW(nullptr, enabled_ ? IDC_HAND : IDC_ARROW));
      } else if (parent_) {
        parent_->DispatchEvent(args);
      }
      return;
    case kEventRawSetFocus:
      if (enabled_) {
        // A running hover fade would move the blend on after the state is set.
        if (AnimationPlayer* fade = animator_.GetPlayer(kEffectHot)) fade->Pause();
        hoverBlend_ = 255;
        state_ = kStateHot;
        focused_ = true;
        Invalidate();
      }
      return;
    case kEventRawKillFocus:
      if (enabled_) {
        if (AnimationPlayer* fade = animator_.GetPlayer(kEffectHot)) fade->Pause();
        hoverBlend_ = 0;
        state_ = kStateNormal;
        focused_ = false;
        Invalidate();
      }
      return;
    case kEventRawMenu:
      if (enabled_ && menuEnabled_) {
        RaiseOwnEvent(kEventMenu, args->wParam, args->lParam);
      } else if (parent_) {
        parent_->DispatchEvent(args);
      }
      return;
    case kEventMouseEnter:
      if (args->sender == this || !window_) {
        OnMouseEnter(args);
      } else {
        if (!HoverIsInside()) return;
        OnMouseEnter(args);
      }
      if (parent_) parent_->DispatchEvent(args);
      return;
    case kEventMouseLeave:
      // From a child while the mouse is still inside: it has not left this control.
      if (args->sender != this && HoverIsInside()) return;
      OnMouseLeave(args);
      if (parent_) parent_->DispatchEvent(args);
      return;
    case kEventButtonDown:
    case kEventRawDoubleClick:
      OnButtonDown(args);
      return;
    case kEventButtonUp:
      OnButtonUp(args);
      return;
    case kEventPointerDown:
    case kEventPointerUp:
      if (receivePointer_) {
        if (type == kEventPointerDown) {
          OnButtonDown(args);
        } else {
          OnButtonUp(args);
        }
      } else if (parent_) {
        parent_->DispatchEvent(args);
      }
      return;
    default:
      if (parent_) parent_->DispatchEvent(args);
      return;
  }
}

bool Control::OnMouseEnter(EventArgs* /*args*/) {
  if (!enabled_ || state_ != kStateNormal) return false;
  state_ = kStateHot;
  if (HasHotLook()) {
    if (AnimationPlayer* fade = animator_.GetPlayer(kEffectHot)) fade->ContinueForward();
    Invalidate();
  }
  return true;
}

bool Control::OnMouseLeave(EventArgs* /*args*/) {
  if (!enabled_ || state_ != kStateHot) return false;
  state_ = kStateNormal;
  if (HasHotLook()) {
    if (AnimationPlayer* fade = animator_.GetPlayer(kEffectHot)) fade->ContinueBackward();
    Invalidate();
  }
  return true;
}

bool Control::OnButtonDown(EventArgs* /*args*/) {
  if (!enabled_) return false;
  state_ = kStatePushed;
  mouseDown_ = true;
  Invalidate();
  return true;
}

bool Control::OnButtonUp(EventArgs* args) {
  if (!mouseDown_) return false;
  mouseDown_ = false;
  if (AnimationPlayer* fade = animator_.GetPlayer(kEffectHot)) fade->Pause();
  Invalidate();
  if (!ContainsPoint(args->mousePoint)) {
    state_ = kStateNormal;
    hoverBlend_ = 0;
    return false;
  }
  if (args->type == kEventPointerUp) {
    state_ = kStateNormal;
    hoverBlend_ = 0;
  } else {
    state_ = kStateHot;
    hoverBlend_ = 255;
  }
  PerformAction();
  return true;
}

bool Control::OnMarkupEvent(const std::wstring& receiver, const std::wstring& attributes, EventArgs* /*args*/) {
  Control* target = nullptr;
  if (receiver.size() >= 2 && receiver[0] == L'.' && (receiver[1] == L'\\' || receiver[1] == L'/')) {
    const std::wstring name = receiver.substr(2);
    target = LocateControl(&Window::NameMatchCallback, const_cast<wchar_t*>(name.c_str()), 0);
  } else if (window_) {
    target = window_->FindControlByName(receiver);
  }
  if (target) target->ApplyAttributeString(attributes);
  return true;
}

}  // namespace ui
