#include "ui/controls/list_box.h"

#include <windows.h>

#include <algorithm>

#include "ui/controls/scroll_bar.h"
#include "ui/core/window.h"

namespace ui {

namespace {

bool Contains(const Rect& outer, const Rect& inner) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

}  // namespace

ListBox::ListBox(Layout* layout) : ScrollableBox(layout) {}

void ListBox::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"scrollselect") {
    SetScrollSelect(value == L"true");
  } else {
    ScrollableBox::ApplyAttribute(name, value);
  }
}

void ListBox::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  if (!mouseEnabled_ && IsMouseEvent(type)) {
    if (parent_) {
      parent_->DispatchEvent(args);
    } else {
      ScrollableBox::ProcessEvent(args);
    }
    return;
  }
  const int count = static_cast<int>(children_.size());
  switch (type) {
    case kEventKeyDown:
      switch (args->keyChar) {
        case VK_END: SelectItemAt(FindSelectableIndex(count - 1, true), true, true); return;
        case VK_HOME: SelectItemAt(FindSelectableIndex(0, false), true, true); return;
        case VK_UP: SelectItemAt(FindSelectableIndex(selectedIndex_ - 1, false), true, true); return;
        case VK_DOWN: SelectItemAt(FindSelectableIndex(selectedIndex_ + 1, true), true, true); return;
        default: break;
      }
      break;
    case kEventButtonDown:
    case kEventButtonUp:
      return;
    case kEventScrollWheel:
      if (scrollSelect_) {
        const int32_t delta = static_cast<int32_t>(args->wParam);
        const int index = delta > 0 ? FindSelectableIndex(selectedIndex_ - 1, false)
                                    : FindSelectableIndex(selectedIndex_ + 1, true);
        SelectItemAt(index, true, true);
        return;
      }
      break;
    default:
      break;
  }
  ScrollableBox::ProcessEvent(args);
}

bool ListBox::OnButtonDown(EventArgs* /*args*/) {
  bool accepted = false;
  if (enabled_) {
    state_ = kStatePushed;
    mouseDown_ = true;
    Invalidate();
    accepted = true;
  }
  StopScrollAnimation();
  return accepted;
}

void ListBox::NumberElements(size_t from, size_t to) {
  for (size_t i = from; i < to && i < children_.size(); ++i) {
    if (auto* element = dynamic_cast<ListContainerElement*>(children_[i])) {
      element->SetIndex(static_cast<int>(i));
      element->SetOwner(this);
    }
  }
}

bool ListBox::AddChild(Control* child) {
  if (auto* element = dynamic_cast<ListContainerElement*>(child)) {
    element->SetOwner(this);
    element->SetIndex(static_cast<int>(children_.size()));
  }
  return Box::AddChild(child);
}

bool ListBox::InsertChildAt(Control* child, size_t index) {
  if (!Box::InsertChildAt(child, index)) return false;
  // The box may have placed it elsewhere when attaching changed the list.
  const int at = GetChildIndex(child);
  if (at < 0) return true;
  NumberElements(static_cast<size_t>(at), children_.size());
  if (selectedIndex_ >= at) ++selectedIndex_;
  return true;
}

bool ListBox::InsertElementAt(Control* element, int index) {
  if (index < 0) return false;
  return InsertChildAt(element, static_cast<size_t>(index));
}

bool ListBox::MoveChildTo(Control* child, size_t index) {
  const int from = GetChildIndex(child);
  if (from < 0) return false;
  if (static_cast<size_t>(from) == index) return true;
  if (index >= children_.size()) return false;
  Control* selected = selectedIndex_ >= 0 ? GetChildAt(static_cast<size_t>(selectedIndex_)) : nullptr;
  if (!Box::MoveChildTo(child, index)) return false;
  const size_t low = std::min(static_cast<size_t>(from), index);
  const size_t high = std::max(static_cast<size_t>(from), index);
  NumberElements(low, high + 1);
  if (selected) selectedIndex_ = GetChildIndex(selected);
  return true;
}

bool ListBox::RemoveChild(Control* child) {
  const int at = child ? GetChildIndex(child) : -1;
  if (at < 0) return false;
  return RemoveElementAt(at);
}

bool ListBox::RemoveElementAt(int index) {
  if (index < 0) return false;
  Control* child = GetChildAt(static_cast<size_t>(index));
  if (!child || !Box::RemoveChild(child)) return false;
  NumberElements(static_cast<size_t>(index), children_.size());
  if (index == selectedIndex_) {
    selectedIndex_ = index - 1;
    SelectItemAt(FindSelectableIndex(index, false), false, true);
  } else if (index < selectedIndex_) {
    --selectedIndex_;
  }
  return true;
}

void ListBox::RemoveAllChildren() {
  selectedIndex_ = -1;
  Box::RemoveAllChildren();
}

bool ListBox::SelectItemAt(int index, bool takeFocus, bool sendEvent) {
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  const int previous = selectedIndex_;
  if (selectedIndex_ >= 0) {
    auto* old = dynamic_cast<ListContainerElement*>(GetChildAt(static_cast<size_t>(selectedIndex_)));
    selectedIndex_ = -1;
    if (old) {
      old->DropSelection();
      if (alive.expired()) return false;
    }
  }
  if (index < 0) return false;
  auto* element = dynamic_cast<ListContainerElement*>(GetChildAt(static_cast<size_t>(index)));
  if (!element || !element->IsVisible() || !element->IsEnabled()) return false;
  selectedIndex_ = index;
  const std::weak_ptr<base::WeakFlag> elementAlive = element->ObtainWeakFlag();
  element->SelectAsOption(sendEvent);
  if (alive.expired()) return false;
  // A handler of the element's own event may have removed or deleted it.
  if (!elementAlive.expired() && GetChildIndex(element) == index) {
    EnsureRectVisible(element->GetBounds(true));
    // A scroll handler may have deleted the list or the element.
    if (alive.expired()) return false;
    if (takeFocus && !elementAlive.expired()) element->RequestFocus();
    if (alive.expired()) return false;
  }
  if (window_ && sendEvent) RaiseOwnEvent(kEventSelect, static_cast<uint64_t>(static_cast<int64_t>(index)),
                                          static_cast<uint64_t>(static_cast<int64_t>(previous)));
  return true;
}

void ListBox::ForwardElementEvent(EventArgs* args) { Box::DispatchEvent(args); }

void ListBox::EnsureRectVisible(const Rect& rect) {
  const Size offset = GetScrollOffset();
  const Rect r{rect.left - offset.cx, rect.top - offset.cy, rect.right - offset.cx, rect.bottom - offset.cy};
  Rect view = GetContentRect();
  ScrollBar* horizontal = GetHorizontalScrollBar();
  if (horizontal && horizontal->IsVisible()) view.bottom -= horizontal->GetFixedHeight();
  if (!Contains(view, r)) {
    int dx = 0;
    if (r.right > view.right) {
      dx = r.right - view.right;
    } else if (r.left < view.left) {
      dx = r.left - view.left;
    }
    int dy = 0;
    if (r.bottom > view.bottom) {
      dy = r.bottom - view.bottom;
    } else if (r.top < view.top) {
      dy = r.top - view.top;
    }
    SetScrollOffset(Size{offset.cx + dx, offset.cy + dy});
    return;
  }
  // In view here: a list inside an element of an outer list asks that one in turn.
  if (auto* element = dynamic_cast<ListContainerElement*>(parent_)) {
    if (IListOwner* owner = element->GetOwner()) owner->EnsureRectVisible(r);
  }
}

void ListBox::StopScrollAnimation() { GetLineScrollPlayer().StopAndReset(); }

bool ListBox::ScrollElementToTop(Control* child) {
  if (!child || GetChildIndex(child) < 0 || GetScrollRange().cy == 0) return false;
  const int top = bounds_.top + layout_->GetPadding().top;
  const int distance = child->GetBounds(true).top - top;
  if (distance < 0) return false;
  SetScrollOffset(Size{GetScrollOffset().cx, distance});
  return true;
}

bool ListBox::ScrollElementToTopByName(const std::wstring& name) {
  for (Control* child : children_) {
    if (child->GetName() == name) return ScrollElementToTop(child);
  }
  return false;
}

Control* ListBox::TopVisibleElement() {
  const int top = bounds_.top + layout_->GetPadding().top + GetScrollOffset().cy;
  for (Control* child : children_) {
    if (child->IsVisible() && !child->IsFloat() && child->GetBounds(true).bottom >= top) return child;
  }
  return nullptr;
}

ListContainerElement::ListContainerElement() {
  textStyle_ = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS;
  // Pointer input goes to the list, which scrolls by dragging.
  receivePointer_ = false;
}

void ListContainerElement::SetFadeVisible(bool visible) {
  if (visible) {
    animator_.PlayShowEffects();
  } else {
    animator_.PlayHideEffects();
  }
  if (!IsVisible() && selected_) {
    selected_ = false;
    if (owner_) owner_->SelectItemAt(-1, false, true);
  }
}

void ListContainerElement::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  if (!mouseEnabled_ && IsMouseEvent(type)) {
    if (owner_) {
      owner_->ForwardElementEvent(args);
    } else {
      Control::ProcessEvent(args);
    }
    return;
  }
  if (type == kEventRawDoubleClick) {
    if (AcceptsAction()) FireDoubleClick();
    return;
  }
  if (type == kEventKeyDown && args->keyChar == VK_RETURN && enabled_) {
    if (AcceptsAction() && window_) RaiseOwnEvent(kEventReturn);
    return;
  }
  if (type == kEventRawMenu) {
    if (enabled_) {
      const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
      SetSelected(true, true);
      if (alive.expired()) return;
      RaiseOwnEvent(kEventMenu);
      if (alive.expired()) return;
      Invalidate();
    } else if (menuEnabled_) {
      RaiseOwnEvent(kEventMenu, args->wParam, args->lParam);
    }
    return;
  }
  if (type == kEventKeyDown && keyboardEnabled_ && (args->keyChar == VK_SPACE || args->keyChar == VK_RETURN)) {
    PerformAction();
    return;
  }
  Control::ProcessEvent(args);
}

void ListContainerElement::SetSelected(bool selected, bool sendEvent) {
  if (enabled_ && selected && owner_) owner_->SelectItemAt(index_, false, sendEvent);
}

void ListContainerElement::FireDoubleClick() {
  if (window_) RaiseOwnEvent(kEventDoubleClick);
}

void ListContainerElement::DropSelection() {
  selected_ = false;
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  if (window_) RaiseOwnEvent(kEventUnselect);
  if (alive.expired()) return;
  Invalidate();
}

}  // namespace ui
