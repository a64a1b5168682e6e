#include "ui/core/box.h"

#include <utility>

#include "ui/core/dpi_scale.h"
#include "ui/core/window.h"

namespace ui {

void Layout::SetPadding(const Rect& padding, bool scaleDpi) {
  padding_ = padding;
  if (scaleDpi) DpiScale::Instance().ScaleRect(padding_);
  if (owner_) owner_->RequestLayout();
}

Box::Box(Layout* layout) : layout_(layout ? layout : new Layout()) { layout_->SetOwner(this); }

Box::~Box() {
  std::vector<Control*> children;
  children.swap(children_);
  for (Control* child : children) delete child;
}

void Box::AttachTo(Window* window, Box* parent, bool initialize) {
  for (Control* child : children_) child->AttachTo(window, this, initialize);
  Control::AttachTo(window, parent, initialize);
}

void Box::SetVisibleByParent(bool visible) {
  Control::SetVisibleByParent(visible);
  for (Control* child : children_) child->SetVisibleByParent(IsVisible());
}

void Box::SetVisible(bool visible) {
  Control::SetVisible(visible);
  // Also when the own flag did not change: the children follow the box's visibility.
  for (Control* child : children_) child->SetVisibleByParent(IsVisible());
}

void Box::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  Control::SetEnabled(enabled);
  for (Control* child : children_) child->SetEnabled(enabled);
  if (!children_.empty()) Invalidate();
}

Control* Box::LocateControl(FindCallback callback, void* data, FindFlags flags, Point scrollOffset) {
  if ((flags & kFindVisibleOnly) && !IsVisible()) return nullptr;
  if ((flags & kFindEnabledOnly) && !IsEnabled()) return nullptr;
  const bool hitTest = (flags & kFindHitTest) != 0;
  Point point;
  if (hitTest) {
    point = *static_cast<const Point*>(data);
    const Rect bounds = GetBounds(true);
    if (point.x < bounds.left || point.x >= bounds.right || point.y < bounds.top || point.y >= bounds.bottom) {
      return nullptr;
    }
  }
  if (flags & kFindSelfFirst) {
    if (Control* self = Control::LocateControl(callback, data, flags)) return self;
  }
  const Rect content = GetContentRect();
  const bool insideContent = !hitTest || (point.x >= content.left && point.x < content.right &&
                                          point.y >= content.top && point.y < content.bottom);
  const size_t count = children_.size();
  for (size_t i = 0; i < count; ++i) {
    Control* child = children_[(flags & kFindLastChildFirst) ? count - 1 - i : i];
    Control* found;
    if (hitTest) {
      Point shifted{point.x + scrollOffset.x, point.y + scrollOffset.y};
      found = child->LocateControl(callback, &shifted, flags, Point());
    } else {
      found = child->LocateControl(callback, data, flags, Point());
    }
    if (found && (!hitTest || found->IsFloat() || insideContent)) return found;
  }
  if (!(flags & kFindSelfFirst)) return Control::LocateControl(callback, data, flags);
  return nullptr;
}

void Box::PaintChildren(IRenderContext* context, const Rect& dirty) {
  const Rect bounds = GetBounds(true);
  if (dirty.right <= bounds.left || dirty.left >= bounds.right || dirty.bottom <= bounds.top ||
      dirty.top >= bounds.bottom) {
    return;
  }
  for (Control* child : children_) {
    if (child->IsVisible()) child->Paint(context, dirty);
  }
}

void Box::ReacquireImages() {
  Control::ReacquireImages();
  for (Control* child : children_) child->ReacquireImages();
}

void Box::ReleaseImages() {
  Control::ReleaseImages();
  for (Control* child : children_) child->ReleaseImages();
}

void Box::DropImageCaches() {
  Control::DropImageCaches();
  for (Control* child : children_) child->DropImageCaches();
}

bool Box::AddChild(Control* child) {
  if (!child) return false;
  if (window_) {
    child->AttachTo(window_, this, true);
    child->LocateControl(&Window::RegisterNameCallback, window_, 0);
  }
  if (IsVisible()) {
    RequestLayout();
  } else {
    child->SetVisibleByParent(false);
  }
  children_.push_back(child);
  return true;
}

Rect Box::GetContentRect() const {
  Rect content = bounds_;
  const Rect padding = layout_->GetPadding();
  content.left += padding.left;
  content.top += padding.top;
  content.right -= padding.right;
  content.bottom -= padding.bottom;
  return content;
}

void Box::AddMarkupBubbledEventHandler(EventType type, EventHandler handler) {
  markupBubbledHandlers_[type].push_back(std::move(handler));
}

}  // namespace ui
