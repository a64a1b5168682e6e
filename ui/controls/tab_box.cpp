#include "ui/controls/tab_box.h"

#include <cwchar>

#include "ui/animation/animation_player.h"
#include "ui/core/window.h"

namespace ui {

TabBox::TabBox(Layout* layout) : Box(layout) {}

void TabBox::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    currentIndex_ = static_cast<int>(wcstol(value.c_str(), nullptr, 10));
  } else if (name == L"fadeswitch") {
    fadeSwitch_ = value == L"true";
  } else {
    Box::ApplyAttribute(name, value);
  }
}

void TabBox::ShowPage(Control* page) {
  page->SetMouseEnabled(true);
  if (Box* box = dynamic_cast<Box*>(page)) box->SetMouseChildEnabled(true);
  page->SetAlpha(255);
  page->Invalidate();
  if (!fadeSwitch_) page->SetFadeVisible(true);
}

void TabBox::HidePage(Control* page) {
  if (!fadeSwitch_) page->SetFadeVisible(false);
  page->SetMouseEnabled(false);
  if (Box* box = dynamic_cast<Box*>(page)) box->SetMouseChildEnabled(false);
  page->SetAlpha(0);
  page->Invalidate();
}

bool TabBox::AddChild(Control* page) {
  // Not Box::AddChild, which would come back through this box's InsertChildAt.
  if (!Box::InsertChildAt(page, children_.size())) return false;
  const int index = GetChildIndex(page);
  // The page's own flag: a hidden tab box hides its pages by parent, not for good.
  if (currentIndex_ == -1 && page->IsOwnVisible()) currentIndex_ = index;
  if (index != currentIndex_ || !page->IsOwnVisible()) HidePage(page);
  return true;
}

bool TabBox::InsertChildAt(Control* page, size_t index) {
  if (!Box::InsertChildAt(page, index)) return false;
  const int at = GetChildIndex(page);
  if (currentIndex_ == -1 && page->IsOwnVisible()) {
    currentIndex_ = at;
    return true;
  }
  if (currentIndex_ >= at) ++currentIndex_;
  HidePage(page);
  return true;
}

bool TabBox::RemoveChild(Control* page) {
  const int at = page ? GetChildIndex(page) : -1;
  if (!Box::RemoveChild(page)) return false;
  if (at == currentIndex_) {
    if (children_.empty()) {
      currentIndex_ = -1;
    } else {
      currentIndex_ = 0;
      ShowPage(children_[0]);
    }
    RequestAncestorLayout();
  } else if (at < currentIndex_) {
    --currentIndex_;
  }
  return true;
}

bool TabBox::RemoveChildAt(size_t index) {
  Control* page = GetChildAt(index);
  return page ? RemoveChild(page) : false;
}

void TabBox::RemoveAllChildren() {
  currentIndex_ = -1;
  Box::RemoveAllChildren();
  RequestAncestorLayout();
}

void TabBox::FinishSlideOut(size_t index) {
  // Bound to an index: pages inserted or removed since may have put another page there.
  if (index >= children_.size() || static_cast<int>(index) == currentIndex_) return;
  Control* page = children_[index];
  page->SetMouseEnabled(false);
  if (Box* box = dynamic_cast<Box*>(page)) box->SetMouseChildEnabled(false);
  page->SetAlpha(0);
  page->Invalidate();
}

bool TabBox::SwitchTo(int index) {
  if (index < 0 || static_cast<size_t>(index) >= children_.size()) return false;
  const int old = currentIndex_;
  if (index == old) return true;
  currentIndex_ = index;
  const int width = GetBounds(true).Width();
  // Forwards the new page comes in from the left and the old one leaves to the right.
  const bool backwards = index < old;
  for (size_t i = 0; i < children_.size(); ++i) {
    Control* page = children_[i];
    if (static_cast<int>(i) == index) {
      ShowPage(page);
      if (fadeSwitch_) {
        if (AnimationPlayer* slide = page->GetAnimator().EnableSlideX(true, true)) {
          slide->startValue = backwards ? width : -width;
          slide->endValue = 0;
          slide->SetSpeedUpAcceleration(kSlideAcceleration);
          slide->completionCallback = nullptr;
          slide->Restart();
        }
      }
    } else if (static_cast<int>(i) == old) {
      if (!fadeSwitch_) {
        HidePage(page);
      } else if (AnimationPlayer* slide = page->GetAnimator().EnableSlideX(true, true)) {
        slide->startValue = 0;
        slide->endValue = backwards ? -width : width;
        slide->SetSpeedUpAcceleration(kSlideAcceleration);
        slide->completionCallback = MakeWeakCallback([this, i] { FinishSlideOut(i); });
        slide->Restart();
      }
    } else {
      FinishSlideOut(i);
      if (!fadeSwitch_) page->SetFadeVisible(false);
    }
  }
  if (window_) {
    window_->MoveTabFocus(true);
    RaiseOwnEvent(kEventSelect, static_cast<uint64_t>(index), static_cast<uint64_t>(static_cast<int64_t>(old)));
  }
  return true;
}

}  // namespace ui
