#include "ui/controls/virtual_list_box.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "ui/controls/scroll_bar.h"
#include "ui/core/window.h"

namespace ui {

namespace {

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int32_t ClampToInt(int64_t value) {
  return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(value, std::numeric_limits<int32_t>::min()),
                                                std::numeric_limits<int32_t>::max()));
}

}  // namespace

VirtualListBox::CoverView::CoverView(VirtualListBox* list) : window_(list->GetOwnerWindow()) {
  if (!window_ || !list->IsVisible()) {
    window_ = nullptr;
    return;
  }
  previous_ = window_->GetInvalidatedCover();
  list->Invalidate();
  Rect view = list->GetBounds(true);
  const Point offset = list->GetAncestorScrollOffset();
  view = Rect{view.left - offset.x, view.top - offset.y, view.right - offset.x, view.bottom - offset.y};
  window_->SetInvalidatedCover(view);
}

VirtualListBox::CoverView::~CoverView() {
  if (window_) window_->SetInvalidatedCover(previous_);
}

VirtualListBox::VirtualListBox() : ListBox(new VirtualLayout()) {}

int VirtualListBox::ItemCount() const { return provider_ ? std::max(provider_->ItemCount(), 0) : 0; }

void VirtualListBox::InitItems(int poolSize) {
  poolSize_ = poolSize;
  if (!provider_) return;
  const int count = std::min(poolSize, ItemCount());
  for (int i = 0; i < count; ++i) {
    Control* element = provider_->CreateItem();
    if (!element) continue;
    if (!ListBox::AddChild(element)) {
      delete element;
      continue;
    }
    provider_->FillItem(element, i);
  }
}

void VirtualListBox::RefreshItems() {
  const int items = ItemCount();
  const int before = static_cast<int>(children_.size());
  if (items < before) {
    for (int i = 0; i < before - items; ++i) RemoveElementAt(0);
  } else if (before < items && provider_) {
    const int add = std::min(poolSize_, items) - before;
    for (int i = 0; i < add; ++i) {
      Control* element = provider_->CreateItem();
      if (element && !ListBox::AddChild(element)) delete element;
    }
  }
  const int count = static_cast<int>(children_.size());
  if (count >= items) {
    if (before == poolSize_) layout_->ArrangeChildren(children_, GetBounds(true));
    // A fill handler may change the list: re-read the element each time.
    for (int k = 0; k < items && k < static_cast<int>(children_.size()); ++k) provider_->FillItem(children_[k], k);
  } else if (items > 0) {
    RecycleItems(true);
    RequestLayout();
  }
}

void VirtualListBox::PlaceElement(Control* element, int item, const Rect& bounds, int itemCount) {
  const int64_t top = static_cast<int64_t>(bounds.top) + static_cast<int64_t>(item) * itemHeight_;
  element->SetBounds(Rect{bounds.left, ClampToInt(top), bounds.right, ClampToInt(top + itemHeight_)});
  if (provider_ && item >= 0 && item < itemCount) provider_->FillItem(element, item);
}

void VirtualListBox::RecycleItems(bool all) {
  const int height = itemHeight_;
  // Without a height there is no item to place (and nothing to divide by).
  if (height < 1) return;
  const int count = static_cast<int>(children_.size());
  const int itemCount = ItemCount();
  const Rect bounds = GetBounds(true);
  const int y = GetScrollOffset().cy;
  const int first = y / height;
  bool full = all;
  if (!full && !firstPlacementDone_) {
    firstPlacementDone_ = true;
    full = true;
  }
  if (!full) {
    if (count < 1 || !provider_ || count >= itemCount || bounds.Width() < 1) return;
    if (y < previousOffsetY_) {
      // Scrolled up: nothing to do while the first element still covers the view's top.
      if (y >= children_[0]->GetBounds(true).top - bounds.top) return;
      full = true;
    } else {
      // Scrolled down (or not at all): nothing while the last element still reaches the bottom.
      if (children_[count - 1]->GetBounds(true).bottom - bounds.bottom - y >= 0) return;
    }
  }
  if (count < 1) return;
  // The whole view is repainted anyway: the elements' own invalidations inside it would only
  // ask the system again for the same area, once or more per element.
  CoverView cover(this);
  const std::vector<Control*> elements = children_;
  if (!full) {
    for (int k = 0; k < count; ++k) PlaceElement(elements[k], first + k, bounds, itemCount);
    return;
  }
  // The elements the view cannot hold go above it, so a short scroll up finds them in place.
  // A pool no larger than the view has none to spare: it starts at the first item in view.
  const int spare = std::max(count - bounds.Height() / height, 1);
  for (int k = 0; k < count; ++k) PlaceElement(elements[k], first + k - (spare - 1), bounds, itemCount);
}

void VirtualListBox::SetScrollOffset(Size offset) {
  previousOffsetY_ = GetScrollOffset().cy;
  ListBox::SetScrollOffset(offset);
  if (IsVirtual()) RecycleItems(false);
}

void VirtualListBox::SetBounds(const Rect& bounds) {
  const bool unchanged = SameRect(bounds, bounds_);
  ListBox::SetBounds(bounds);
  if (!unchanged && IsVirtual()) RecycleItems(true);
}

void VirtualListBox::RemoveAllChildren() {
  selectedIndex_ = -1;
  Box::RemoveAllChildren();
  if (ScrollBar* bar = GetVerticalScrollBar()) {
    if (bar->GetScrollPos() != 0) {
      bar->SetScrollPos(0);
      bar->SetBounds(bar->GetBounds(true));
    }
  }
  previousOffsetY_ = 0;
  firstPlacementDone_ = false;
}

void VirtualListBox::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  if (!mouseEnabled_ && IsMouseEvent(type)) {
    if (parent_) {
      parent_->DispatchEvent(args);
    } else {
      ScrollableBox::ProcessEvent(args);
    }
    return;
  }
  if (type == kEventKeyDown) {
    switch (args->keyChar) {
      case VK_END: SetScrollOffsetY(GetVerticalScrollBar() ? GetScrollRange().cy : 0); return;
      case VK_HOME: SetScrollOffsetY(0); return;
      case VK_UP:
      case VK_DOWN: HandleArrowKeyDown(args->keyChar); return;
      default: break;
    }
  } else if (type == kEventKeyUp && (args->keyChar == VK_UP || args->keyChar == VK_DOWN)) {
    HandleArrowKeyUp(args->keyChar);
    return;
  }
  ListBox::ProcessEvent(args);
}

Size VirtualLayout::ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) {
  auto* list = dynamic_cast<VirtualListBox*>(owner_);
  if (!list || !list->IsVirtual()) return VLayout::ArrangeChildren(children, rect);
  const int64_t height = static_cast<int64_t>(list->ItemCount()) * std::max(list->GetItemHeight(), 0);
  list->RecycleItems(false);
  return Size{rect.Width(), static_cast<int32_t>(std::min<int64_t>(height, std::numeric_limits<int32_t>::max()))};
}

}  // namespace ui
