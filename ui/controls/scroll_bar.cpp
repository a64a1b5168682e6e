#include "ui/controls/scroll_bar.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "ui/animation/timer_manager.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/scrollable_box.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"

namespace ui {

namespace {

constexpr UINT kRepeatPeriodMs = 50;
// The repeat timer's tick from which a held button or rail repeats (300 ms after the press).
constexpr int32_t kFirstRepeatTick = 6;

bool Inside(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

bool IsZero(const Rect& rect) { return rect.left == 0 && rect.top == 0 && rect.right == 0 && rect.bottom == 0; }

bool Meets(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

int32_t ScaledDecimal(const std::wstring& value) {
  return DpiScale::Instance().ScaleValue(static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10)));
}

// The image a button or the rail shows in a part state.
ControlState ShownState(ControlState state, bool thumbPushed, bool isArrow, StateImageSet& set) {
  auto has = [&set](ControlState s) { return !set.GetImage(s).spec.file.empty(); };
  switch (state) {
    case kStateDisabled: return has(kStateDisabled) ? kStateDisabled : kStateNormal;
    case kStatePushed:
      if (has(kStatePushed)) return kStatePushed;
      return has(kStateHot) ? kStateHot : kStateNormal;
    case kStateHot: return has(kStateHot) ? kStateHot : kStateNormal;
    default:
      if (isArrow && thumbPushed && has(kStateHot)) return kStateHot;
      return kStateNormal;
  }
}

}  // namespace

ScrollBar::ScrollBar() {
  fixedWidth_ = 16;
  fixedHeight_ = 0;
  float_ = true;
  releaseOnFocusLoss_ = true;
  bkImages_.Init(this);
  button1Images_.Init(nullptr);
  button2Images_.Init(nullptr);
  thumbImages_.Init(this);
  railImages_.Init(nullptr);
}

ScrollBar::~ScrollBar() { repeatFlag_.Invalidate(); }

bool ScrollBar::HasThumb() const { return !IsZero(thumbRect_); }

void ScrollBar::SetBounds(const Rect& rect) {
  Control::SetBounds(rect);
  const Rect& b = bounds_;
  const int32_t length = Length();
  const int32_t thickness = Thickness();
  const int32_t b1 = showButton1_ ? thickness : 0;
  const int32_t b2 = showButton2_ ? thickness : 0;
  const int32_t track = length - b1 - b2;
  const int32_t start = horizontal_ ? b.left : b.top;
  const int32_t end = start + length;
  auto part = [&](int32_t from, int32_t to) {
    return horizontal_ ? Rect{from, b.top, to, b.top + thickness} : Rect{b.left, from, b.left + thickness, to};
  };
  if (track > thickness) {
    button1Rect_ = part(start, start + b1);
    button2Rect_ = part(end - b2, end);
    if (range_ > 0) {
      const int64_t thumbLength =
          std::max<int64_t>(static_cast<int64_t>(length) * track / (length + range_), thumbMinLength_);
      int64_t thumbStart = start + b1 + (track - thumbLength) * position_ / range_;
      if (thumbStart + thumbLength > end - b2) thumbStart = end - b2 - thumbLength;
      thumbRect_ = part(static_cast<int32_t>(thumbStart), static_cast<int32_t>(thumbStart + thumbLength));
    } else {
      thumbRect_ = part(start + b1, end - b2);
    }
  } else {
    const int32_t half = std::min(thickness, length / 2);
    button1Rect_ = showButton1_ ? part(start, start + half) : Rect();
    button2Rect_ = showButton2_ ? part(end - half, end) : Rect();
    thumbRect_ = Rect();
  }
}

void ScrollBar::SetVisible(bool visible) {
  if (visible == visible_) return;
  const bool wasVisible = IsVisible();
  visible_ = visible;
  focused_ = false;
  if (!visible) OnHidden();
  if (IsVisible() != wasVisible) RequestOwnLayout();
}

void ScrollBar::SetEnabled(bool enabled) {
  if (enabled != enabled_) {
    enabled_ = enabled;
    if (enabled) {
      state_ = kStateNormal;
      hoverBlend_ = 0;
    } else {
      state_ = kStateDisabled;
    }
    Invalidate();
  }
  const ControlState partState = enabled ? kStateNormal : kStateDisabled;
  button1State_ = button2State_ = thumbState_ = partState;
}

void ScrollBar::RequestFocus() {
  if (owner_) {
    owner_->RequestFocus();
  } else if (!noFocus_ && window_) {
    window_->SetFocusedControl(this);
  }
}

void ScrollBar::SetStateImage(StateImageSet& set, ControlState state, const std::wstring& description) {
  ControlImage& image = set.GetImage(state);
  image.ReleaseImage();
  image.frameIndex = 0;
  image.playing = false;
  image.spec.Reset();
  image.spec.description = description;
  image.spec.file = description;
  image.spec.Parse(description);
  Invalidate();
}

void ScrollBar::SetBkStateImage(ControlState state, const std::wstring& d) { SetStateImage(bkImages_, state, d); }
void ScrollBar::SetButton1StateImage(ControlState state, const std::wstring& d) {
  SetStateImage(button1Images_, state, d);
}
void ScrollBar::SetButton2StateImage(ControlState state, const std::wstring& d) {
  SetStateImage(button2Images_, state, d);
}
void ScrollBar::SetThumbStateImage(ControlState state, const std::wstring& d) { SetStateImage(thumbImages_, state, d); }
void ScrollBar::SetRailStateImage(ControlState state, const std::wstring& d) { SetStateImage(railImages_, state, d); }

void ScrollBar::SetHorizontal(bool horizontal) {
  if (horizontal == horizontal_) return;
  horizontal_ = horizontal;
  if (!horizontal && fixedWidth_ == 0) {
    fixedWidth_ = 16;
    fixedHeight_ = 0;
  } else if (horizontal && fixedHeight_ == 0) {
    fixedWidth_ = 0;
    fixedHeight_ = 16;
  }
  if (owner_) {
    owner_->RequestLayout();
  } else {
    RequestAncestorLayout();
  }
}

void ScrollBar::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  struct ImageName {
    const wchar_t* prefix;
    StateImageSet ScrollBar::*set;
  };
  static const ImageName kSets[] = {{L"button1", &ScrollBar::button1Images_}, {L"button2", &ScrollBar::button2Images_},
                                    {L"thumb", &ScrollBar::thumbImages_},     {L"rail", &ScrollBar::railImages_},
                                    {L"bk", &ScrollBar::bkImages_}};
  static const wchar_t* const kStates[] = {L"normalimage", L"hotimage", L"pushedimage", L"disabledimage"};
  for (const ImageName& set : kSets) {
    for (int state = 0; state < 4; ++state) {
      if (name == std::wstring(set.prefix) + kStates[state]) {
        SetStateImage(this->*set.set, static_cast<ControlState>(state), value);
        return;
      }
    }
  }
  const bool flag = value == L"true";
  if (name == L"hor") {
    SetHorizontal(flag);
  } else if (name == L"linesize") {
    lineSize_ = ScaledDecimal(value);
  } else if (name == L"thumbminlength") {
    thumbMinLength_ = ScaledDecimal(value);
  } else if (name == L"range") {
    SetScrollRange(wcstoll(value.c_str(), nullptr, 10));
  } else if (name == L"value") {
    const int64_t position = wcstoll(value.c_str(), nullptr, 10);
    if (position != position_) SetScrollPos(position);
  } else if (name == L"showbutton1") {
    showButton1_ = flag;
    SetBounds(bounds_);
  } else if (name == L"showbutton2") {
    showButton2_ = flag;
    SetBounds(bounds_);
  } else if (name == L"autohidescroll") {
    autoHide_ = flag;
  } else {
    Control::ApplyAttribute(name, value);
  }
}

void ScrollBar::SetScrollRange(int64_t range) {
  if (range < 0) range = 0;
  if (range == range_) return;
  range_ = range;
  if (position_ > range_) position_ = range_;
  if (range_ == 0) {
    SetVisible(false);
  } else if (!autoHide_ && !visible_) {
    SetFadeVisible(true);
  }
  SetBounds(bounds_);
}

void ScrollBar::SetScrollPos(int64_t position) {
  position_ = std::min(std::max<int64_t>(position, 0), range_);
  SetBounds(bounds_);
  Invalidate();
}

void ScrollBar::StepBack() {
  if (owner_) {
    horizontal_ ? owner_->LineLeft(-1, true) : owner_->LineUp(-1, true);
  } else {
    SetScrollPos(position_ - lineSize_);
  }
}

void ScrollBar::StepForward() {
  if (owner_) {
    horizontal_ ? owner_->LineRight(-1, true) : owner_->LineDown(-1, true);
  } else {
    SetScrollPos(position_ + lineSize_);
  }
}

void ScrollBar::PageBack() {
  if (owner_) {
    horizontal_ ? owner_->PageLeft() : owner_->PageUp();
  } else {
    SetScrollPos(position_ - Length());
  }
}

void ScrollBar::PageForward() {
  if (owner_) {
    horizontal_ ? owner_->PageRight() : owner_->PageDown();
  } else {
    SetScrollPos(position_ + Length());
  }
}

void ScrollBar::ApplyThumbDrag() {
  const int64_t target = positionAtPress_ + dragOffset_;
  if (owner_) {
    const Size offset = owner_->GetScrollOffset();
    if (horizontal_) {
      owner_->SetScrollOffset(Size{static_cast<int32_t>(target), offset.cy});
    } else {
      owner_->SetScrollOffset(Size{offset.cx, static_cast<int32_t>(target)});
    }
  } else {
    SetScrollPos(target);
  }
}

void ScrollBar::Press(EventArgs* args) {
  dragOffset_ = 0;
  repeatTicks_ = 0;
  repeatFlag_.Invalidate();
  TimerManager::Instance()->AddTimer(repeatFlag_.ObtainWeakFlag(), [this] { OnRepeatTimer(); }, kRepeatPeriodMs, -1);
  const Point point = args->mousePoint;
  // A step on the owner raises its scroll event, whose handler may delete the owner and bar.
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  if (Inside(button1Rect_, point)) {
    button1State_ = kStatePushed;
    StepBack();
  } else if (Inside(button2Rect_, point)) {
    button2State_ = kStatePushed;
    StepForward();
  } else if (Inside(thumbRect_, point)) {
    thumbState_ = kStatePushed;
    mouseDown_ = true;
    pressPoint_ = point;
    positionAtPress_ = position_;
  } else if (HasThumb()) {
    if (Along(point) < ThumbStart()) {
      PageBack();
    } else {
      PageForward();
    }
  }
  if (alive.expired()) return;
  Control::OnButtonDown(args);
}

void ScrollBar::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  const bool mouseEvent = type >= kEventMouseMove && type <= kEventScrollWheel;
  if (!(mouseEvent && !mouseEnabled_)) {
    switch (type) {
      case kEventRawSetFocus:
      case kEventRawKillFocus:
      case kEventRawMenu:
        return;
      case kEventRawDoubleClick:
      case kEventButtonDown:
      case kEventPointerDown:
        if (enabled_) Press(args);
        return;
      case kEventMouseMove:
      case kEventPointerUpdate:
        if (mouseDown_) {
          const int32_t thickness = Thickness();
          const int64_t free = static_cast<int64_t>(Length()) - (ThumbEnd() - ThumbStart()) -
                               (showButton1_ ? thickness : 0) - (showButton2_ ? thickness : 0);
          // A thumb that fills (or overfills) its track has nowhere to go.
          if (free > 0) dragOffset_ = (Along(args->mousePoint) - Along(pressPoint_)) * range_ / free;
        }
        return;
      case kEventButtonUp:
      case kEventPointerUp: {
        // A drag released before the next repeat tick still lands where the pointer left it.
        if (thumbState_ == kStatePushed && dragOffset_ != 0) {
          const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
          ApplyThumbDrag();
          if (alive.expired()) return;
        }
        dragOffset_ = 0;
        repeatTicks_ = 0;
        repeatFlag_.Invalidate();
        thumbState_ = ContainsPoint(args->mousePoint) ? kStateHot : kStateNormal;
        if (button1State_ == kStatePushed) button1State_ = kStateNormal;
        if (button2State_ == kStatePushed) button2State_ = kStateNormal;
        Invalidate();
        OnButtonUp(args);
        return;
      }
      case kEventMouseEnter:
        OnMouseEnter(args);
        return;
      case kEventMouseLeave:
        OnMouseLeave(args);
        return;
      case kEventSetCursor:
        if (cursorType_ == kCursorHand) {
          SetCursor(LoadCursorW(nullptr, IDC_HAND));
          return;
        }
        if (cursorType_ == kCursorArrow) {
          SetCursor(LoadCursorW(nullptr, IDC_ARROW));
          return;
        }
        break;
      default:
        break;
    }
  }
  if (owner_) owner_->DispatchEvent(args);
}

bool ScrollBar::OnMouseEnter(EventArgs* args) {
  if (!Control::OnMouseEnter(args)) return false;
  button1State_ = button2State_ = thumbState_ = kStateHot;
  return true;
}

bool ScrollBar::OnMouseLeave(EventArgs* args) {
  if (!Control::OnMouseLeave(args)) return false;
  button1State_ = button2State_ = thumbState_ = kStateNormal;
  return true;
}

bool ScrollBar::OnButtonUp(EventArgs* args) {
  if (!mouseDown_) return false;
  mouseDown_ = false;
  Invalidate();
  if (ContainsPoint(args->mousePoint)) {
    state_ = kStateHot;
    hoverBlend_ = 255;
    PerformAction();
  } else {
    state_ = kStateNormal;
    hoverBlend_ = 0;
  }
  if (autoHide_ && owner_ && !Inside(owner_->GetBounds(true), args->mousePoint)) SetFadeVisible(false);
  return true;
}

void ScrollBar::OnRepeatTimer() {
  ++repeatTicks_;
  if (thumbState_ == kStatePushed) {
    ApplyThumbDrag();
    return;
  }
  if (repeatTicks_ < kFirstRepeatTick) return;
  if (button1State_ == kStatePushed) {
    StepBack();
  } else if (button2State_ == kStatePushed) {
    StepForward();
  } else if (HasThumb() && window_ && window_->GetHwnd()) {
    POINT cursor;
    if (!GetCursorPos(&cursor) || !ScreenToClient(window_->GetHwnd(), &cursor)) return;
    const int32_t along = horizontal_ ? cursor.x : cursor.y;
    if (along < ThumbStart()) {
      PageBack();
    } else if (along >= ThumbEnd()) {
      PageForward();
    }
  }
}

std::wstring ScrollBar::PartModifier(const Rect& part) const {
  const int32_t left = bounds_.left, top = bounds_.top;
  return FormatString(L"destscale='false' dest='%d,%d,%d,%d'", part.left - left, part.top - top,
                      part.right - left, part.bottom - top);
}

void ScrollBar::PaintSelf(IRenderContext* context, const Rect& dirty) {
  if (!context || !Meets(dirty, bounds_)) return;
  paintRect_ = Rect{std::max(dirty.left, bounds_.left), std::max(dirty.top, bounds_.top),
                    std::min(dirty.right, bounds_.right), std::min(dirty.bottom, bounds_.bottom)};
  // Background and thumb blend with the bar's hot fade; buttons and grip show one image.
  bkImages_.Paint(context, state_, std::wstring());
  const bool thumbPushed = thumbState_ == kStatePushed;
  if (showButton1_) {
    DrawImage(context, button1Images_.GetImage(ShownState(button1State_, thumbPushed, true, button1Images_)),
              PartModifier(button1Rect_), -1);
  }
  if (showButton2_) {
    DrawImage(context, button2Images_.GetImage(ShownState(button2State_, thumbPushed, true, button2Images_)),
              PartModifier(button2Rect_), -1);
  }
  if (!HasThumb()) return;
  thumbImages_.Paint(context, thumbState_, PartModifier(thumbRect_));
  // The grip: a square centred on the thumb's middle.
  const int32_t thickness = Thickness();
  const int32_t middle = (ThumbStart() + ThumbEnd()) / 2 - thickness / 2;
  const Rect grip = horizontal_ ? Rect{middle, thumbRect_.top, middle + thickness, thumbRect_.top + thickness}
                                : Rect{thumbRect_.left, middle, thumbRect_.left + thickness, middle + thickness};
  DrawImage(context, railImages_.GetImage(ShownState(thumbState_, false, false, railImages_)),
            PartModifier(grip), -1);
}

void ScrollBar::DropImageCaches() {
  Control::DropImageCaches();
  for (StateImageSet* set : {&bkImages_, &button1Images_, &button2Images_, &thumbImages_, &railImages_}) {
    set->ReleaseImages();
  }
}

}  // namespace ui
