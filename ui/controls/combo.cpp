#include "ui/controls/combo.h"

#include <algorithm>
#include <cwchar>

#include "ui/core/dpi_scale.h"
#include "ui/render/render_context.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

// DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS.
constexpr UINT kClosedTextStyle = 0x8024;

Rect ToScreen(HWND from, Rect rect) {
  MapWindowPoints(from, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

Combo::Combo() : Box(new Layout()), list_(new ListBox(new VLayout())) {
  list_->GetLayout()->SetPadding(Rect{1, 1, 1, 1}, true);
  list_->ApplyAttribute(L"bordersize", L"1,1,1,1");
  // The list keeps owning its items (the default): the combo's items die with it.
  list_->EnableScrollBars(true, false);
  list_->ApplyAttributeString(dropBoxAttributes_);
  list_->AddEventHandler(kEventSelect, MakeWeakCallback([this](EventArgs* args) { return OnListItemSelected(args); }));
}

Combo::~Combo() {
  if (CComboWnd* popup = popup_) {
    popup_ = nullptr;
    popup->CloseForDeletedCombo();
  }
  delete list_;
}

void Combo::PerformAction() {
  if (!AcceptsAction() || popup_) return;
  if (!window_ || !window_->GetHwnd()) return;
  auto* popup = new CComboWnd();
  popup_ = popup;
  if (!popup->OpenBelow(this)) {
    // Never created, so nothing will delete it: it goes here.
    popup_ = nullptr;
    delete popup;
    return;
  }
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  EventArgs args;
  args.type = kEventClick;
  args.sender = this;
  args.timestamp = GetTickCount();
  if (popup_) args.mousePoint = popup_->GetLastMousePoint();
  DispatchEvent(&args);
  if (!alive.expired()) Invalidate();
}

void Combo::EndAction() {
  if (popup_ && popup_->GetHwnd()) PostMessageW(popup_->GetHwnd(), WM_KILLFOCUS, 0, 0);
}

void Combo::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"dropbox") {
    dropBoxAttributes_ = value;
    list_->ApplyAttributeString(value);
  } else if (name == L"vscrollbar") {
    // The list always has its vertical bar.
  } else if (name == L"dropboxsize") {
    int32_t size[2];
    ParseNumberList(value, size, 2);
    dropWidth_ = DpiScale::Instance().ScaleValue(size[0]);
    dropHeight_ = DpiScale::Instance().ScaleValue(size[1]);
  } else if (name == L"popuptop") {
    popupTop_ = value == L"true";
  } else {
    Box::ApplyAttribute(name, value);
  }
}

void Combo::PaintText(IRenderContext* context) {
  if (selectedIndex_ < 0) return;
  auto* element = dynamic_cast<ListContainerElement*>(list_->GetChildAt(static_cast<size_t>(selectedIndex_)));
  if (!element) return;
  const Rect padding = element->GetTextPadding();
  const Rect rect{bounds_.left + padding.left, bounds_.top + padding.top, bounds_.right - padding.right,
                  bounds_.bottom - padding.bottom};
  const std::wstring text = element->GetText();
  if (text.empty() || !element->GetOwner()) return;
  context->DrawTextInRect(rect, text, UiRuntime::GetColor(element->GetStateTextColor(kStateNormal)),
                          element->GetFont(), kClosedTextStyle, 255, false);
}

size_t Combo::GetChildCount() const { return list_->GetChildCount(); }

bool Combo::AddChild(Control* item) {
  if (!list_->AddChild(item)) return false;
  item->ApplyAttribute(L"receivepointer", L"true");
  selectedIndex_ = list_->SelectedIndex();
  return true;
}

bool Combo::RemoveChild(Control* item) {
  const bool removed = list_->RemoveChild(item);
  selectedIndex_ = list_->SelectedIndex();
  Invalidate();
  return removed;
}

bool Combo::RemoveChildAt(size_t index) {
  const bool removed = list_->RemoveElementAt(static_cast<int>(index));
  selectedIndex_ = list_->SelectedIndex();
  Invalidate();
  return removed;
}

void Combo::RemoveAllChildren() {
  list_->RemoveAllChildren();
  selectedIndex_ = -1;
  Invalidate();
}

bool Combo::OnListItemSelected(EventArgs* /*args*/) {
  if (popup_ && popup_->GetHwnd()) PostMessageW(popup_->GetHwnd(), WM_KILLFOCUS, 0, 0);
  selectedIndex_ = list_->SelectedIndex();
  if (Control* item = selectedIndex_ >= 0 ? list_->GetChildAt(static_cast<size_t>(selectedIndex_)) : nullptr) {
    item->SetHoverBlend(0);
    item->SetState(kStateNormal);
    item->Invalidate();
  }
  if (popup_) {
    EventArgs args;
    args.type = kEventSelect;
    args.sender = this;
    args.timestamp = GetTickCount();
    args.mousePoint = popup_->GetLastMousePoint();
    args.wParam = static_cast<uint64_t>(static_cast<int64_t>(selectedIndex_));
    args.lParam = static_cast<uint64_t>(int64_t{-1});
    DispatchEvent(&args);
  }
  return true;
}

bool CComboWnd::OpenBelow(Combo* combo) {
  combo_ = combo;
  Window* owner = combo->GetOwnerWindow();
  if (!owner || !owner->GetHwnd()) return false;
  const HWND ownerHwnd = owner->GetHwnd();
  Rect rect = combo->GetBounds(true);
  const Point scroll = combo->GetAncestorScrollOffset();
  rect = Rect{rect.left - scroll.x, rect.top - scroll.y, rect.right - scroll.x, rect.bottom - scroll.y};

  Rect popup{rect.left, rect.bottom + 1, combo->dropWidth_ > 0 ? rect.left + combo->dropWidth_ : rect.right, 0};
  const int width = popup.right - popup.left;
  int sum = 0;
  ListBox* list = combo->list_;
  for (size_t i = 0; i < list->GetChildCount(); ++i) {
    Control* item = list->GetChildAt(i);
    // A stretching item has no height of its own to add.
    if (item->IsVisible()) sum += std::max(0, item->Measure(Size{width, combo->dropHeight_}).cy);
  }
  const int height = std::min(sum + 2, combo->dropHeight_);
  popup.bottom = popup.top + height;
  popup = ToScreen(ownerHwnd, popup);

  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(ownerHwnd, MONITOR_DEFAULTTOPRIMARY), &monitor);
  if (popup.bottom > monitor.rcWork.bottom || combo->popupTop_) {
    // Above: ending at the combo's top edge.
    popup = ToScreen(ownerHwnd, Rect{rect.left, rect.top - height, rect.left + width, rect.top});
  }
  if (!CreateNativeWindow(ownerHwnd, L"", WS_POPUP, WS_EX_TOOLWINDOW, true, popup)) return false;
  ShowWindow(hwnd_, SW_SHOW);
  // The owner keeps its active caption while the pop-up has the focus.
  HWND top = hwnd_;
  while (HWND up = GetParent(top)) top = up;
  SendMessageW(top, WM_NCACTIVATE, TRUE, 0);
  return true;
}

void CComboWnd::DetachList() {
  if (!combo_) return;
  ListBox* list = combo_->list_;
  if (auto* root = dynamic_cast<Box*>(root_)) root->RemoveChild(list);
  if (list->GetParent() || list->GetOwnerWindow() == this) list->AttachTo(nullptr, nullptr, false);
}

void CComboWnd::CloseForDeletedCombo() {
  DetachList();
  combo_ = nullptr;
  if (!hwnd_ || !IsWindow(hwnd_)) {
    delete this;
    return;
  }
  if (messageDepth_ == 0) {
    DestroyWindow(hwnd_);
    return;
  }
  // Destroying the window under its own message handling would delete the object the
  // handling returns into.
  closing_ = true;
  ShowWindow(hwnd_, SW_HIDE);
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void CComboWnd::OnWindowDestroyed(HWND hwnd) {
  Window::OnWindowDestroyed(hwnd);
  DetachList();
  if (combo_) {
    combo_->popup_ = nullptr;
    combo_->Invalidate();
    combo_ = nullptr;
  }
  delete this;
}

LRESULT CComboWnd::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // The window may be destroyed, and this object deleted, inside the handling.
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  ++messageDepth_;
  const LRESULT result = HandleMessage(message, wParam, lParam);
  if (!alive.expired()) --messageDepth_;
  return result;
}

LRESULT CComboWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      AttachNativeWindow(hwnd_);
      GetShadow().attached = false;
      auto* root = new Box(new Layout());
      root->SetOwnsChildren(false);
      if (combo_) root->AddChild(combo_->list_);
      AttachRoot(root);
      if (combo_ && combo_->GetOwnerWindow()) SetResourceSubfolder(combo_->GetOwnerWindow()->GetResourceSubfolder());
      return 0;
    }
    case WM_CLOSE:
      if (combo_) {
        combo_->AttachTo(combo_->GetOwnerWindow(), combo_->GetParent(), false);
        combo_->SetBounds(combo_->GetBounds(true));
        combo_->RequestFocus();
      }
      break;
    case WM_KILLFOCUS:
      if (reinterpret_cast<HWND>(wParam) != hwnd_ && !closing_) {
        closing_ = true;
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        if (combo_) {
          ListBox* list = combo_->list_;
          const int index = list->SelectedIndex();
          if (index >= 0 && static_cast<size_t>(index) < list->GetChildCount() && index != combo_->selectedIndex_) {
            combo_->selectedIndex_ = index;
            list->SelectItemAt(index, false, false);
          }
        }
        DetachList();
      }
      break;
    default:
      break;
  }
  if (!closing_) {
    bool handled = false;
    const LRESULT result = DispatchToControls(message, wParam, lParam, handled);
    if (handled) return result;
  }
  return CallWindowProcW(previousProc_, hwnd_, message, wParam, lParam);
}

}  // namespace ui
