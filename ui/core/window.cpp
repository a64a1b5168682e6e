#include "ui/core/window.h"

#include <algorithm>

#include "ui/core/box.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"
#include "ui/render/render_context.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

constexpr int kShadowPadding = 14;

EventArgs MakeWindowEvent(EventType type, Control* sender, Point point) {
  EventArgs args;
  args.type = type;
  args.sender = sender;
  args.timestamp = GetTickCount();
  args.mousePoint = point;
  return args;
}

}  // namespace

WindowShadow::WindowShadow() {
  basePadding = Rect{kShadowPadding, kShadowPadding, kShadowPadding, kShadowPadding};
  padding = basePadding;
  DpiScale::Instance().ScaleRect(padding);
  savedPadding = padding;
}

Window::Window() = default;

Window::~Window() {
  // A native window that outlives its object must not reach it any more.
  if (hwnd_ && IsWindow(hwnd_)) {
    if (reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd_, GWLP_USERDATA)) == this) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    if (static_cast<Window*>(GetPropW(hwnd_, kWindowProperty)) == this) RemovePropW(hwnd_, kWindowProperty);
  }
  DeleteDeferredControls();
  Control* root = root_;
  root_ = nullptr;
  delete root;
  classes_.clear();
  optionGroups_.clear();
  if (toolTipWindow_) DestroyWindow(toolTipWindow_);
  toolTipWindow_ = nullptr;
  if (paintDC_ && hwnd_) ReleaseDC(hwnd_, paintDC_);
  paintDC_ = nullptr;
  const std::vector<Window*>& windows = UiRuntime::GetWindows();
  const bool wasLast = !windows.empty() && windows.back() == this;
  UiRuntime::RemoveWindow(this);
  if (wasLast && !UiRuntime::GetWindows().empty()) {
    if (HWND top = UiRuntime::GetWindows().back()->GetHwnd()) SendMessageW(top, kMsgBecameTopWindow, 0, 0);
  }
  closeFlag_.Invalidate();
}

bool Window::AttachRoot(Control* root) {
  SetFocusedControl(nullptr);
  keyDown_ = nullptr;
  hit_ = nullptr;
  hovered_ = nullptr;
  captured_ = nullptr;
  touchCaptured_ = nullptr;
  pointerCaptured_ = nullptr;
  if (root_ && root_ != root) {
    // The old root may be running one of its own handlers: it goes after this message.
    root_->AttachTo(this, nullptr, false);
    QueueDeferredDeletion(root_);
  }
  // A root that an earlier replacement queued for deletion is taken back.
  deferredDeletions_.erase(std::remove(deferredDeletions_.begin(), deferredDeletions_.end(), root),
                           deferredDeletions_.end());
  root_ = root;
  arrangePending_ = true;
  firstLayoutPending_ = true;
  if (!root) return false;
  root->AttachTo(this, root->GetParent(), true);
  root->LocateControl(&Window::RegisterNameCallback, this, 0);
  return true;
}

void Window::ForgetControl(Control* control) {
  if (!control) return;
  Control** pointers[] = {&focused_, &hit_, &hovered_, &captured_, &keyDown_, &touchCaptured_, &pointerCaptured_};
  for (Control** pointer : pointers) {
    if (*pointer == control) *pointer = nullptr;
  }
  if (control->GetName().empty()) return;
  auto entry = names_.find(control->GetName());
  if (entry == names_.end()) return;
  // The entry goes whichever control it names: a duplicate name loses its entry too. A
  // control deleted after leaving the tree takes only its own entry: the tree that replaced
  // it may have registered the same name.
  if (entry->second == control || !deletingDeferred_) names_.erase(entry);
}

Control* Window::FindControlByName(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

Control* Window::FindControl(Point point) const {
  if (!root_) return nullptr;
  return root_->LocateControl(&Window::HitTestCallback, &point, kFindVisibleOnly | kFindHitTest | kFindLastChildFirst);
}

Control* Window::NameMatchCallback(Control* candidate, void* data) {
  const wchar_t* name = static_cast<const wchar_t*>(data);
  if (!candidate || !name || candidate->GetName().empty()) return nullptr;
  return candidate->GetName() == name ? candidate : nullptr;
}

Control* Window::RegisterNameCallback(Control* candidate, void* window) {
  if (candidate && !candidate->GetName().empty()) static_cast<Window*>(window)->names_[candidate->GetName()] = candidate;
  return nullptr;
}

Control* Window::HitTestCallback(Control* candidate, void* point) {
  const Point& p = *static_cast<const Point*>(point);
  const Rect bounds = candidate->GetBounds(true);
  return p.x >= bounds.left && p.x < bounds.right && p.y >= bounds.top && p.y < bounds.bottom ? candidate : nullptr;
}

void Window::SetFocusedControl(Control* control) {
  if (hwnd_ && GetFocus() != hwnd_ && control && control != focused_) SetFocus(hwnd_);
  if (control == focused_) return;
  // A kill-focus handler may delete the control about to take the focus.
  const std::weak_ptr<base::WeakFlag> controlAlive =
      control ? control->ObtainWeakFlag() : std::weak_ptr<base::WeakFlag>();
  if (focused_) {
    EventArgs rawKill = MakeWindowEvent(kEventRawKillFocus, focused_, Point());
    focused_->DispatchEvent(&rawKill);
    // The raw event's handling may have moved the focus: the control focused now loses it.
    Control* old = focused_;
    focused_ = nullptr;
    if (old) {
      EventArgs kill = MakeWindowEvent(kEventKillFocus, old, lastMousePoint_);
      old->DispatchEvent(&kill);
    }
    if (control && controlAlive.expired()) return;
  }
  if (control && control->GetOwnerWindow() == this && control->IsVisible() && control->IsEnabled()) {
    focused_ = control;
    EventArgs rawSet = MakeWindowEvent(kEventRawSetFocus, control, Point());
    control->DispatchEvent(&rawSet);
    if (focused_) {
      EventArgs set = MakeWindowEvent(kEventSetFocus, focused_, lastMousePoint_);
      focused_->DispatchEvent(&set);
    }
  }
}

Control* Window::TabStopCallback(Control* candidate, void* data) {
  TabStopSearch& search = *static_cast<TabStopSearch*>(data);
  if (candidate == search.start) {
    if (!search.forward) return search.last;
    search.passed = true;
    return nullptr;
  }
  if (!candidate->IsTabStop()) return nullptr;
  search.last = candidate;
  return search.passed || !search.start ? candidate : nullptr;
}

bool Window::MoveTabFocus(bool forward) {
  if (arrangePending_ && forward) {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
    return true;
  }
  if (!root_) return true;
  const FindFlags flags = kFindSelfFirst | kFindVisibleOnly | kFindEnabledOnly;
  TabStopSearch search;
  search.start = focused_;
  search.forward = forward;
  Control* found = root_->LocateControl(&Window::TabStopCallback, &search, flags);
  if (!found) {
    if (forward) {
      TabStopSearch first;
      first.forward = true;
      found = root_->LocateControl(&Window::TabStopCallback, &first, flags);
    } else {
      found = search.last;
    }
  }
  if (found) SetFocusedControl(found);
  return true;
}

bool Window::AddOptionToGroup(const std::wstring& group, Control* control) {
  std::vector<Control*>& members = optionGroups_[group];
  if (std::find(members.begin(), members.end(), control) != members.end()) return false;
  members.push_back(control);
  return true;
}

std::vector<Control*>* Window::GetOptionGroup(const std::wstring& group) {
  auto it = optionGroups_.find(group);
  return it == optionGroups_.end() ? nullptr : &it->second;
}

void Window::RemoveOptionFromGroup(const std::wstring& group, Control* control) {
  auto it = optionGroups_.find(group);
  if (it == optionGroups_.end()) return;
  auto member = std::find(it->second.begin(), it->second.end(), control);
  if (member != it->second.end()) it->second.erase(member);
  if (it->second.empty()) optionGroups_.erase(it);
}

void Window::SetClassAttributes(const std::wstring& name, const std::wstring& attributes) {
  classes_[name] = attributes;
}

std::wstring Window::GetClassAttributes(const std::wstring& name) const {
  auto it = classes_.find(name);
  return it == classes_.end() ? std::wstring() : it->second;
}

void Window::SetResourceSubfolder(const std::wstring& folder) {
  resourceSubfolder_ = folder;
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') resourceSubfolder_ += L'\\';
}

void Window::PostToWindow(UINT message, WPARAM wParam, LPARAM lParam) const {
  // PostMessage(NULL, ...) would land in the thread's own queue.
  if (hwnd_) PostMessageW(hwnd_, message, wParam, lParam);
}

void Window::QueueDeferredDeletion(Control* control) {
  if (!control) return;
  deferredDeletions_.push_back(control);
  PostToWindow(kMsgDeleteDeferred, 0, 0);
}

void Window::DeleteDeferredControls() {
  // A deleted control may queue more (a box removing its children): take the list first.
  const bool wasDeleting = deletingDeferred_;
  deletingDeferred_ = true;
  while (!deferredDeletions_.empty()) {
    std::vector<Control*> controls;
    controls.swap(deferredDeletions_);
    for (Control* control : controls) delete control;
  }
  deletingDeferred_ = wasDeleting;
}

void Window::AddWindowHandler(EventType type, EventHandler handler) {
  windowHandlers_[type].push_back(std::move(handler));
}

bool Window::FireWindowCloseEvent() {
  EventArgs args = MakeWindowEvent(kEventWindowClose, nullptr, lastMousePoint_);
  auto own = windowHandlers_.find(kEventWindowClose);
  if (own != windowHandlers_.end()) RunEventHandlers(own->second, &args);
  auto all = windowHandlers_.find(kEventAll);
  if (all != windowHandlers_.end()) RunEventHandlers(all->second, &args);
  return true;
}

void Window::SetInitialSize(int cx, int cy, bool /*ignored*/, bool scaleDpi) {
  if (scaleDpi) {
    cx = DpiScale::Instance().ScaleValue(cx);
    cy = DpiScale::Instance().ScaleValue(cy);
  }
  if (shadow_.attached) {
    cx += shadow_.padding.left + shadow_.padding.right;
    cy += shadow_.padding.top + shadow_.padding.bottom;
  }
  if (initialSize_.cx != 0 && initialSize_.cy != 0) previousInitialSize_ = initialSize_;
  initialSize_ = Size{cx, cy};
  if (!root_ && hwnd_) SetWindowPos(hwnd_, nullptr, 0, 0, cx, cy, SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
}

void Window::RemoveMessageFilter(IUIMessageFilter* filter) {
  auto it = std::find(messageFilters_.begin(), messageFilters_.end(), filter);
  if (it != messageFilters_.end()) messageFilters_.erase(it);
}

}  // namespace ui
