#include "ui/core/box.h"

#include <algorithm>

#include "ui/core/window.h"

namespace ui {

namespace {

bool Inside(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

Rect Shrink(const Rect& rect, const Rect& padding) {
  return Rect{rect.left + padding.left, rect.top + padding.top, rect.right - padding.right,
              rect.bottom - padding.bottom};
}

// Runs the lists of type and of kEventAll that exist, each replacing `proceed` with its
// result; a map without either leaves it as it was.
void RunBubbled(const EventHandlerMap& map, EventType type, EventArgs* args, const std::weak_ptr<base::WeakFlag>& alive,
                bool& proceed) {
  auto own = map.find(type);
  if (own != map.end()) {
    proceed = RunEventHandlers(own->second, args, alive);
    if (alive.expired()) return;
  }
  auto all = map.find(kEventAll);
  if (all != map.end()) proceed = RunEventHandlers(all->second, args, alive);
}

}  // namespace

Box::Box(Layout* layout) : layout_(layout ? layout : new Layout()) { layout_->SetOwner(this); }

Box::~Box() {
  // Being destroyed, the box neither defers nor asks for layout: its children go now.
  defersDeletion_ = false;
  std::vector<Control*> children;
  children.swap(children_);
  if (ownsChildren_) {
    for (Control* child : children) delete child;
  }
  delete layout_;
}

void Box::AttachTo(Window* window, Box* parent, bool initialize) {
  for (Control* child : children_) child->AttachTo(window, this, initialize);
  Control::AttachTo(window, parent, initialize);
}

Size Box::Measure(Size available) {
  if (fixedWidth_ != kSizeAuto && fixedHeight_ != kSizeAuto) return Size{fixedWidth_, fixedHeight_};
  if (!measurePending_) return measuredSize_;
  const Rect padding = layout_->GetPadding();
  available.cx -= padding.left + padding.right;
  available.cy -= padding.top + padding.bottom;
  const Size needed = layout_->MeasureChildren(children_, available);
  Size result{fixedWidth_, fixedHeight_};
  if (fixedWidth_ == kSizeAuto) result.cx = needed.cx;
  if (fixedHeight_ == kSizeAuto) result.cy = needed.cy;
  measurePending_ = false;
  for (Control* child : children_) {
    if (child->IsVisible() && child->IsAutoSized() && child->IsMeasurePending()) measurePending_ = true;
  }
  measuredSize_ = result;
  return result;
}

void Box::SetBounds(const Rect& bounds) {
  Control::SetBounds(bounds);
  if (!children_.empty()) layout_->ArrangeChildren(children_, Shrink(bounds, layout_->GetPadding()));
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
    if (!Inside(GetBounds(true), point)) return nullptr;
    if (!mouseChild_) return Control::LocateControl(callback, data, flags);
  }
  if (flags & kFindSelfFirst) {
    if (Control* self = Control::LocateControl(callback, data, flags)) return self;
  }
  const bool insideContent = !hitTest || Inside(GetContentRect(), point);
  const size_t count = children_.size();
  for (size_t i = 0; i < count && i < children_.size(); ++i) {
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

void Box::DispatchEvent(EventArgs* args) {
  if (!args) return;
  if (args->type < kEventUnknown) {
    ProcessEvent(args);
    return;
  }
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  bool proceed = true;
  if (args->sender == this) {
    RunBubbled(codeHandlers_, args->type, args, alive, proceed);
    if (alive.expired()) return;
    if (proceed) {
      RunBubbled(markupHandlers_, args->type, args, alive, proceed);
      if (alive.expired()) return;
    }
  }
  // Bubbled handlers see the event even when the box's own handlers stopped it.
  RunBubbled(codeBubbledHandlers_, args->type, args, alive, proceed);
  if (alive.expired()) return;
  if (proceed) {
    RunBubbled(markupBubbledHandlers_, args->type, args, alive, proceed);
    if (alive.expired()) return;
  }
  if (proceed) ProcessEvent(args);
}

void Box::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (layout_->ApplyAttribute(name, value)) return;
  if (name == L"mousechild") {
    SetMouseChildEnabled(value == L"true");
    return;
  }
  Control::ApplyAttribute(name, value);
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

int Box::FindSelectableIndex(int start, bool forward) const {
  const int count = static_cast<int>(children_.size());
  if (count == 0) return -1;
  start = std::min(std::max(start, 0), count - 1);
  auto selectable = [this](int i) {
    const Control* child = children_[i];
    return child->IsSelectableElement() && child->IsVisible() && child->IsEnabled();
  };
  if (!forward) {
    for (int i = start; i >= 0; --i) {
      if (selectable(i)) return i;
    }
    return FindSelectableIndex(0, true);
  }
  for (int i = start; i < count; ++i) {
    if (selectable(i)) return i;
  }
  return -1;
}

int Box::GetChildIndex(const Control* child) const {
  auto it = std::find(children_.begin(), children_.end(), child);
  return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

bool Box::MoveChildTo(Control* child, size_t index) {
  if (index >= children_.size()) return false;
  const int at = GetChildIndex(child);
  if (at < 0) return false;
  RequestLayout();
  children_.erase(children_.begin() + at);
  children_.insert(children_.begin() + static_cast<ptrdiff_t>(index), child);
  return true;
}

bool Box::AddChild(Control* child) { return InsertChildAt(child, children_.size()); }

bool Box::InsertChildAt(Control* child, size_t index) {
  if (!child || index > children_.size()) return false;
  if (window_) {
    child->AttachTo(window_, this, true);
    child->LocateControl(&Window::RegisterNameCallback, window_, 0);
  }
  if (IsVisible()) {
    RequestLayout();
  } else {
    child->SetVisibleByParent(false);
  }
  // Attaching may have run code that changed the list: re-check the place.
  index = std::min(index, children_.size());
  children_.insert(children_.begin() + static_cast<ptrdiff_t>(index), child);
  return true;
}

void Box::DisposeChild(Control* child) {
  if (!ownsChildren_) return;
  if (defersDeletion_ && window_) {
    child->AttachTo(window_, nullptr, false);
    window_->QueueDeferredDeletion(child);
  } else {
    delete child;
  }
}

bool Box::RemoveChild(Control* child) {
  const int at = child ? GetChildIndex(child) : -1;
  if (at < 0) return false;
  RequestLayout();
  // Out of the list first: deleting the child must not find it here.
  children_.erase(children_.begin() + at);
  DisposeChild(child);
  return true;
}

bool Box::RemoveChildAt(size_t index) {
  Control* child = GetChildAt(index);
  return child ? RemoveChild(child) : false;
}

void Box::RemoveAllChildren() {
  std::vector<Control*> children;
  children.swap(children_);
  for (Control* child : children) DisposeChild(child);
  RequestLayout();
}

void Box::ReplaceLayout(Layout* layout) {
  if (!layout || layout == layout_) return;
  delete layout_;
  layout_ = layout;
}

Rect Box::GetContentRect() const { return Shrink(GetBounds(true), layout_->GetPadding()); }

void Box::SwapChildren(Control* a, Control* b) {
  for (Control*& child : children_) {
    if (child == a) {
      child = b;
    } else if (child == b) {
      child = a;
    }
  }
}

void Box::AddBubbledEventHandler(EventType type, EventHandler handler) {
  codeBubbledHandlers_[type].push_back(std::move(handler));
}

void Box::AddMarkupBubbledEventHandler(EventType type, EventHandler handler) {
  markupBubbledHandlers_[type].push_back(std::move(handler));
}

}  // namespace ui
