#include "ui/core/scrollable_box.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "ui/controls/scroll_bar.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"

namespace ui {

namespace {

bool HasRange(const ScrollBar* bar) { return bar && bar->GetScrollRange() != 0; }

bool Inside(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

bool Meets(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

Rect Offset(Rect rect, int32_t dx, int32_t dy) {
  rect.left += dx;
  rect.right += dx;
  rect.top += dy;
  rect.bottom += dy;
  return rect;
}

// Until the first scrollable box paints, no image pass has run over any box's children.
bool g_anyBoxPainted = false;

}  // namespace

ScrollableBox::ScrollableBox(Layout* layout) : Box(layout) {}

ScrollableBox::~ScrollableBox() {
  lineScroll_.StopAndReset();
  slideIn_.StopAndReset();
  DeleteBar(horizontalBar_);
  DeleteBar(verticalBar_);
}

void ScrollableBox::DeleteBar(ScrollBar*& bar) {
  ScrollBar* doomed = bar;
  bar = nullptr;
  delete doomed;
}

void ScrollableBox::AttachTo(Window* window, Box* parent, bool initialize) {
  if (verticalBar_) verticalBar_->AttachTo(window, this, initialize);
  if (horizontalBar_) horizontalBar_->AttachTo(window, this, initialize);
  Box::AttachTo(window, parent, initialize);
}

Size ScrollableBox::GetScrollOffset() const {
  return Size{HasRange(horizontalBar_) ? static_cast<int32_t>(horizontalBar_->GetScrollPos()) : 0,
              HasRange(verticalBar_) ? static_cast<int32_t>(verticalBar_->GetScrollPos()) : 0};
}

Size ScrollableBox::GetScrollRange() const {
  return Size{horizontalBar_ ? static_cast<int32_t>(horizontalBar_->GetScrollRange()) : 0,
              verticalBar_ ? static_cast<int32_t>(verticalBar_->GetScrollRange()) : 0};
}

void ScrollableBox::SetBounds(const Rect& bounds) {
  const bool atEnd = holdEnd_ && HasRange(verticalBar_) && verticalBar_->GetScrollPos() == verticalBar_->GetScrollRange();
  ArrangeAndUpdateBars(bounds);
  if (atEnd && HasRange(verticalBar_)) ScrollToBottom(false, false);
}

void ScrollableBox::ArrangeAndUpdateBars(const Rect& rect) {
  Control::SetBounds(rect);
  const Rect padding = layout_->GetPadding();
  const Size content = ArrangeContent(Rect{rect.left + padding.left, rect.top + padding.top,
                                           rect.right - padding.right, rect.bottom - padding.bottom});
  UpdateVerticalScrollBar(rect, content.cy);
  UpdateHorizontalScrollBar(rect, content.cx);
}

Size ScrollableBox::ArrangeContent(const Rect& area) {
  if (children_.empty()) return Size();
  Rect rect = area;
  if (!barsFloat_) {
    if (HasRange(verticalBar_)) rect.right -= verticalBar_->GetFixedWidth();
    if (HasRange(horizontalBar_)) rect.bottom -= horizontalBar_->GetFixedHeight();
  }
  const Size content = layout_->ArrangeChildren(children_, rect);
  const int32_t margin = layout_->GetChildMargin();
  auto rebuild = [this, margin](bool vertical) {
    childStartOffsets.clear();
    childStartOffsets.push_back(0);
    int32_t sum = 0;
    for (size_t i = 0; i + 1 < children_.size(); ++i) {
      const Rect bounds = children_[i]->GetBounds(true);
      sum += (vertical ? bounds.Height() : bounds.Width()) + margin;
      childStartOffsets.push_back(sum);
    }
  };
  if (HasRange(verticalBar_)) rebuild(true);
  if (HasRange(horizontalBar_)) rebuild(false);
  return content;
}

bool ScrollableBox::MoveBar(ScrollBar* bar, int64_t position) {
  const int64_t before = bar->GetScrollPos();
  bar->SetScrollPos(position);
  return bar->GetScrollPos() != before;
}

void ScrollableBox::UpdateVerticalScrollBar(const Rect& rect, int contentHeight) {
  ScrollBar* bar = verticalBar_;
  if (!bar) return;
  const Rect padding = layout_->GetPadding();
  const int view = rect.Height() - padding.top - padding.bottom;
  const int difference = contentHeight - view;
  const Rect& p = barPadding_;
  if (view < contentHeight && bar->GetScrollRange() == 0) {
    bar->SetScrollRange(difference);
    if (bar->GetScrollPos() != 0) MoveBar(bar, 0);
    // Non-floating bars narrow the content: arrange once more with the bar in place.
    rearranging_ = true;
    SetBounds(bounds_);
    rearranging_ = false;
    return;
  }
  if (bar->GetScrollRange() == 0) return;
  if (difference > 0 || rearranging_) {
    bar->SetBounds(Rect{rect.right - p.right - bar->GetFixedWidth(), rect.top + p.top, rect.right - p.right,
                        rect.bottom - p.bottom});
    if (bar->GetScrollRange() == difference) return;
    const int64_t before = bar->GetScrollPos();
    bar->SetScrollRange(std::abs(difference));
    if (bar->GetScrollRange() == 0 && bar->GetScrollPos() != 0) MoveBar(bar, 0);
    if (bar->GetScrollPos() < before) SetBounds(bounds_);
    return;
  }
  if (bar->GetScrollPos() != 0) MoveBar(bar, 0);
  bar->SetScrollRange(0);
  bar->SetVisible(false);
  bar->SetBounds(bar->GetBounds(true));
  SetBounds(bounds_);
}

void ScrollableBox::UpdateHorizontalScrollBar(const Rect& rect, int contentWidth) {
  ScrollBar* bar = horizontalBar_;
  if (!bar) return;
  const Rect padding = layout_->GetPadding();
  const int view = rect.Width() - padding.left - padding.right;
  const int difference = contentWidth - view;
  const Rect& p = barPadding_;
  if (view < contentWidth && bar->GetScrollRange() == 0) {
    bar->SetScrollRange(difference);
    if (bar->GetScrollPos() != 0) MoveBar(bar, 0);
    rearranging_ = true;
    SetBounds(bounds_);
    rearranging_ = false;
    return;
  }
  if (bar->GetScrollRange() == 0) return;
  if (difference > 0 || rearranging_) {
    bar->SetBounds(Rect{rect.left + p.left, rect.bottom - p.bottom - bar->GetFixedHeight(), rect.right - p.right,
                        rect.bottom - p.bottom});
    if (bar->GetScrollRange() == difference) return;
    const int64_t before = bar->GetScrollPos();
    bar->SetScrollRange(std::abs(difference));
    if (bar->GetScrollRange() == 0 && bar->GetScrollPos() != 0) MoveBar(bar, 0);
    if (bar->GetScrollPos() < before) SetBounds(bounds_);
    return;
  }
  if (bar->GetScrollPos() != 0) MoveBar(bar, 0);
  bar->SetScrollRange(0);
  bar->SetVisible(false);
  bar->SetBounds(bar->GetBounds(true));
  SetBounds(bounds_);
}

void ScrollableBox::SetScrollOffset(Size offset) {
  const int32_t range = GetScrollRange().cy;
  if (offset.cy < 0) {
    offset.cy = 0;
    lineScroll_.StopAndReset();
  } else if (offset.cy > range) {
    offset.cy = range;
    lineScroll_.StopAndReset();
  }
  int64_t dy = 0;
  bool moved = false;
  if (HasRange(verticalBar_) && verticalBar_->GetScrollPos() != offset.cy) {
    const int64_t before = verticalBar_->GetScrollPos();
    if (MoveBar(verticalBar_, offset.cy)) {
      dy = verticalBar_->GetScrollPos() - before;
      moved = true;
    }
  }
  if (HasRange(horizontalBar_) && horizontalBar_->GetScrollPos() != offset.cx) {
    if (MoveBar(horizontalBar_, offset.cx)) moved = true;
  }
  if (!moved) return;
  UpdateChildImages(dy > 0);
  Invalidate();
  if (window_ && !scrollChangeSuppressed) {
    EventArgs args;
    args.type = kEventScrollChange;
    args.sender = this;
    args.timestamp = GetTickCount();
    args.mousePoint = window_->GetLastMousePoint();
    DispatchEvent(&args);
  }
}

void ScrollableBox::SetScrollOffsetY(int y) { SetScrollOffset(Size{GetScrollOffset().cx, y}); }

void ScrollableBox::EndScrollAnimationY() { scrollChangeSuppressed = false; }

void ScrollableBox::SetScrollOffsetX(int x) { SetScrollOffset(Size{x, GetScrollOffset().cy}); }

void ScrollableBox::EndScrollAnimationX() { scrollChangeSuppressed = false; }

void ScrollableBox::UpdateChildImages(bool forward) {
  const Size offset = GetScrollOffset();
  Rect view = Offset(GetBounds(true), offset.cx + renderOffset_.x, offset.cy + renderOffset_.y);
  view.top -= kImageKeepDistance;
  view.bottom += kImageKeepDistance;
  const size_t count = children_.size();
  for (size_t i = 0; i < count && i < children_.size(); ++i) {
    Control* child = children_[forward ? i : count - 1 - i];
    if (!child->IsVisible() || child->IsFloat()) continue;
    if (Meets(child->GetBounds(true), view)) {
      child->ReacquireImages();
    } else {
      child->ReleaseImages();
    }
  }
}

void ScrollableBox::GlideLine(int start, int end, bool vertical) {
  lineScroll_.startValue = start;
  lineScroll_.endValue = end;
  lineScroll_.speedUpRatio = 0;
  lineScroll_.slowDownRatio = 0.5;
  lineScroll_.SetSlowDownAcceleration(-0.012);
  lineScroll_.duration = -1;
  if (vertical) {
    lineScroll_.valueCallback = MakeWeakCallback([this](int value) { SetScrollOffsetY(value); });
    lineScroll_.completionCallback = MakeWeakCallback([this] { EndScrollAnimationY(); });
  } else {
    lineScroll_.valueCallback = MakeWeakCallback([this](int value) { SetScrollOffsetX(value); });
    lineScroll_.completionCallback = MakeWeakCallback([this] { EndScrollAnimationX(); });
  }
  lineScroll_.Restart();
}

void ScrollableBox::LineUp(int step, bool animate) {
  if (step == -1) step = verticalUnit_;
  const Size offset = GetScrollOffset();
  const int y = offset.cy;
  if (y < 1) return;
  if (!animate) {
    SetScrollOffset(Size{offset.cx, std::max(y - step, 0)});
    return;
  }
  int end = y - step;
  if (lineScroll_.playing && y >= lineScroll_.endValue) end = lineScroll_.endValue - step;
  GlideLine(y, end, true);
}

void ScrollableBox::LineDown(int step, bool animate) {
  if (step == -1) step = verticalUnit_;
  const Size offset = GetScrollOffset();
  const int y = offset.cy;
  if (y >= GetScrollRange().cy) return;
  if (!animate) {
    SetScrollOffset(Size{offset.cx, y + step});
    return;
  }
  int end = y + step;
  if (lineScroll_.playing) end = (y <= lineScroll_.endValue ? lineScroll_.endValue : y) + step;
  GlideLine(y, end, true);
}

void ScrollableBox::LineLeft(int step, bool animate) {
  if (step == -1) step = horizontalUnit_;
  const Size offset = GetScrollOffset();
  const int x = offset.cx;
  if (x < 1) return;
  if (!animate) {
    SetScrollOffset(Size{std::max(x - step, 0), offset.cy});
    return;
  }
  int end = x - step;
  if (lineScroll_.playing && x >= lineScroll_.endValue) end = lineScroll_.endValue - step;
  GlideLine(x, end, false);
}

void ScrollableBox::LineRight(int step, bool animate) {
  if (step == -1) step = horizontalUnit_;
  const Size offset = GetScrollOffset();
  const int x = offset.cx;
  if (x >= GetScrollRange().cx) return;
  if (!animate) {
    SetScrollOffset(Size{x + step, offset.cy});
    return;
  }
  int end = x + step;
  if (lineScroll_.playing) end = (x <= lineScroll_.endValue ? lineScroll_.endValue : x) + step;
  GlideLine(x, end, false);
}

void ScrollableBox::PageUp() {
  const Size offset = GetScrollOffset();
  const Rect padding = layout_->GetPadding();
  int page = bounds_.Height() - padding.top - padding.bottom;
  if (HasRange(horizontalBar_)) page -= horizontalBar_->GetFixedHeight();
  SetScrollOffset(Size{offset.cx, offset.cy - page});
}

void ScrollableBox::PageDown() {
  const Size offset = GetScrollOffset();
  const Rect padding = layout_->GetPadding();
  int page = bounds_.Height() - padding.top - padding.bottom;
  if (HasRange(horizontalBar_)) page -= horizontalBar_->GetFixedHeight();
  SetScrollOffset(Size{offset.cx, offset.cy + page});
}

void ScrollableBox::PageLeft() {
  const Size offset = GetScrollOffset();
  const Rect padding = layout_->GetPadding();
  SetScrollOffset(Size{offset.cx - (bounds_.Width() - padding.left - padding.right), offset.cy});
}

void ScrollableBox::PageRight() {
  const Size offset = GetScrollOffset();
  const Rect padding = layout_->GetPadding();
  SetScrollOffset(Size{offset.cx + (bounds_.Width() - padding.left - padding.right), offset.cy});
}

void ScrollableBox::ScrollToTop() { SetScrollOffset(Size{GetScrollOffset().cx, 0}); }

void ScrollableBox::ScrollToLeftEnd() { SetScrollOffset(Size{0, GetScrollOffset().cy}); }

void ScrollableBox::ScrollToRightEnd() { SetScrollOffset(Size{GetScrollRange().cx, GetScrollOffset().cy}); }

void ScrollableBox::ScrollUpBy(int pixels) {
  const Size offset = GetScrollOffset();
  if (offset.cy < 1) return;
  SetScrollOffset(Size{offset.cx, offset.cy - pixels});
}

void ScrollableBox::ScrollDownBy(int pixels) {
  const Size offset = GetScrollOffset();
  if (offset.cy >= GetScrollRange().cy) return;
  SetScrollOffset(Size{offset.cx, offset.cy + pixels});
}

void ScrollableBox::ScrollToBottom(bool arrangeFirst, bool animate) {
  if (arrangeFirst) ArrangeAndUpdateBars(GetBounds(true));
  const Size offset = GetScrollOffset();
  const int32_t range = GetScrollRange().cy;
  if (animate && HasRange(verticalBar_)) {
    const int distance = slideIn_.endValue + range - renderOffset_.y - offset.cy;
    if (distance > 0) SlideContentIn(-distance);
  }
  SetScrollOffset(Size{offset.cx, range});
}

void ScrollableBox::SlideContentIn(int start) {
  slideIn_.startValue = start;
  slideIn_.endValue = 0;
  slideIn_.speedUpRatio = 0.3;
  slideIn_.SetSpeedUpAcceleration(0.003);
  slideIn_.slowDownRatio = 0.7;
  slideIn_.duration = -1;
  slideIn_.maxTotalTime = 650;
  slideIn_.valueCallback = MakeWeakCallback([this](int value) { SetRenderOffsetY(value); });
  slideIn_.Restart();
}

void ScrollableBox::EnableScrollBars(bool vertical, bool horizontal) {
  auto create = [this](bool horizontalBar) {
    ScrollBar* bar = new ScrollBar();
    bar->SetVisible(false);
    bar->SetScrollRange(0);
    if (horizontalBar) bar->SetHorizontal(true);
    bar->SetOwner(this);
    bar->AttachTo(window_, nullptr, false);
    bar->ApplyClasses(horizontalBar ? L"hscrollbar" : L"vscrollbar");
    return bar;
  };
  if (vertical && !verticalBar_) {
    verticalBar_ = create(false);
  } else if (!vertical && verticalBar_) {
    DeleteBar(verticalBar_);
  }
  if (horizontal && !horizontalBar_) {
    horizontalBar_ = create(true);
  } else if (!horizontal && horizontalBar_) {
    DeleteBar(horizontalBar_);
  }
  RequestLayout();
}

void ScrollableBox::SetMouseEnabled(bool enabled) {
  if (verticalBar_) verticalBar_->SetMouseEnabled(enabled);
  if (horizontalBar_) horizontalBar_->SetMouseEnabled(enabled);
  Box::SetMouseEnabled(enabled);
}

Control* ScrollableBox::LocateControl(FindCallback callback, void* data, FindFlags flags, Point /*scrollOffset*/) {
  if ((flags & kFindVisibleOnly) && !IsVisible()) return nullptr;
  if ((flags & kFindEnabledOnly) && !IsEnabled()) return nullptr;
  if (flags & kFindHitTest) {
    if (!Inside(GetBounds(true), *static_cast<const Point*>(data))) return nullptr;
    if (!mouseChild_) {
      if (verticalBar_) {
        if (Control* found = verticalBar_->LocateControl(callback, data, flags)) return found;
      }
      if (horizontalBar_) {
        if (Control* found = horizontalBar_->LocateControl(callback, data, flags)) return found;
      }
      return Control::LocateControl(callback, data, flags);
    }
  }
  if (verticalBar_) {
    if (Control* found = verticalBar_->LocateControl(callback, data, flags)) return found;
  }
  if (horizontalBar_) {
    if (Control* found = horizontalBar_->LocateControl(callback, data, flags)) return found;
  }
  const Size offset = GetScrollOffset();
  return Box::LocateControl(callback, data, flags, Point{offset.cx, offset.cy});
}

void ScrollableBox::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  const bool flag = value == L"true";
  if (name == L"vscrollbar") {
    EnableScrollBars(flag, horizontalBar_ != nullptr);
  } else if (name == L"vscrollbarstyle") {
    EnableScrollBars(true, horizontalBar_ != nullptr);
    verticalBar_->ApplyAttributeString(value);
  } else if (name == L"hscrollbar") {
    EnableScrollBars(verticalBar_ != nullptr, flag);
  } else if (name == L"hscrollbarstyle") {
    EnableScrollBars(verticalBar_ != nullptr, true);
    horizontalBar_->ApplyAttributeString(value);
  } else if (name == L"scrollbarpadding") {
    barPadding_ = ParseRectNumbers(value);
    DpiScale::Instance().ScaleRect(barPadding_);
  } else if (name == L"vscrollunit") {
    verticalUnit_ = DpiScale::Instance().ScaleValue(static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"hscrollunit") {
    horizontalUnit_ = DpiScale::Instance().ScaleValue(static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10)));
  } else if (name == L"scrollbarfloat") {
    barsFloat_ = flag;
  } else if (name == L"holdend") {
    holdEnd_ = flag;
  } else {
    Box::ApplyAttribute(name, value);
  }
}

void ScrollableBox::PaintChildren(IRenderContext* context, const Rect& dirty) {
  if (!context || !Meets(dirty, bounds_)) return;
  if (!g_anyBoxPainted) {
    g_anyBoxPainted = true;
    UpdateChildImages(true);
  }
  const Rect content = GetContentRect();
  const Size offset = GetScrollOffset();
  const Rect childDirty = Offset(content, offset.cx + renderOffset_.x, offset.cy + renderOffset_.y);
  for (size_t i = 0; i < children_.size(); ++i) {
    Control* child = children_[i];
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      child->Paint(context, dirty);
      continue;
    }
    AutoClip clip(context, content);
    const Point previous = context->ShiftWindowOrigin(Point{offset.cx, offset.cy});
    child->Paint(context, childDirty);
    context->PlaceWindowOrigin(previous);
  }
  if (horizontalBar_ && horizontalBar_->IsVisible()) horizontalBar_->Paint(context, dirty);
  if (verticalBar_ && verticalBar_->IsVisible()) verticalBar_->Paint(context, dirty);
}

void ScrollableBox::DropImageCaches() {
  Box::DropImageCaches();
  if (horizontalBar_) horizontalBar_->DropImageCaches();
  if (verticalBar_) verticalBar_->DropImageCaches();
}

void ScrollableBox::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  if (!mouseEnabled_ && type >= kEventMouseMove && type <= kEventScrollWheel) {
    if (parent_) {
      parent_->DispatchEvent(args);
    } else {
      Control::ProcessEvent(args);
    }
    return;
  }
  if (HasRange(verticalBar_) && verticalBar_->IsEnabled()) {
    switch (type) {
      case kEventKeyDown:
        if (!keyboardEnabled_) break;
        switch (args->keyChar) {
          case VK_PRIOR: PageUp(); return;
          case VK_NEXT: PageDown(); return;
          case VK_END: ScrollToBottom(true, true); return;
          case VK_HOME: ScrollToTop(); return;
          case VK_UP: LineUp(-1, true); return;
          case VK_DOWN: LineDown(-1, true); return;
          default: break;
        }
        break;
      case kEventScrollWheel:
        if (wheelEnabled_) {
          const int32_t delta = static_cast<int32_t>(args->wParam);
          if (delta > 0) {
            LineUp(delta, true);
          } else {
            LineDown(-delta, true);
          }
          return;
        }
        break;
      case kEventTouchDown:
      case kEventPointerDown:
        if (enabled_) {
          SetMouseDown(true);
          dragPoint_ = args->mousePoint;
          return;
        }
        break;
      case kEventTouchMove:
      case kEventPointerUpdate:
        if (mouseDown_) {
          const int dy = args->mousePoint.y - dragPoint_.y;
          if (dy == 0) return;
          dragPoint_ = args->mousePoint;
          // The content follows the finger.
          if (dy > 0) {
            ScrollUpBy(dy);
          } else {
            ScrollDownBy(-dy);
          }
          return;
        }
        break;
      case kEventTouchUp:
      case kEventPointerUp:
        if (mouseDown_) {
          SetMouseDown(false);
          dragPoint_ = args->mousePoint;
          return;
        }
        break;
      default:
        break;
    }
  } else if (HasRange(horizontalBar_) && horizontalBar_->IsEnabled()) {
    switch (type) {
      case kEventKeyDown:
        if (!keyboardEnabled_) break;
        switch (args->keyChar) {
          case VK_PRIOR: PageLeft(); return;
          case VK_NEXT: PageRight(); return;
          case VK_END: ScrollToRightEnd(); return;
          case VK_HOME: ScrollToLeftEnd(); return;
          case VK_UP: LineLeft(-1, true); return;
          case VK_DOWN: LineRight(-1, true); return;
          default: break;
        }
        break;
      case kEventScrollWheel:
        if (wheelEnabled_) {
          const int32_t delta = static_cast<int32_t>(args->wParam);
          if (delta > 0) {
            LineLeft(delta, true);
          } else {
            LineRight(-delta, true);
          }
          return;
        }
        break;
      default:
        break;
    }
  }
  Control::ProcessEvent(args);
}

bool ScrollableBox::OnMouseEnter(EventArgs* args) {
  const bool accepted = Control::OnMouseEnter(args);
  if (accepted) {
    for (ScrollBar* bar : {verticalBar_, horizontalBar_}) {
      if (HasRange(bar) && bar->IsEnabled() && bar->IsAutoHide()) bar->SetFadeVisible(true);
    }
  }
  return accepted;
}

bool ScrollableBox::OnMouseLeave(EventArgs* args) {
  const bool accepted = Control::OnMouseLeave(args);
  if (accepted) {
    for (ScrollBar* bar : {verticalBar_, horizontalBar_}) {
      if (HasRange(bar) && bar->IsEnabled() && bar->IsAutoHide() && bar->GetThumbState() == kStateNormal) {
        bar->SetFadeVisible(false);
      }
    }
  }
  return accepted;
}

}  // namespace ui
