#include "ui/core/control.h"

#include <windows.h>

#include <algorithm>

#include "ui/controls/scroll_bar.h"
#include "ui/core/box.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/scrollable_box.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

bool IsEmptyRect(const Rect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

Rect Intersect(const Rect& a, const Rect& b) {
  Rect result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
  if (IsEmptyRect(result)) return Rect();
  return result;
}

Rect Union(const Rect& a, const Rect& b) {
  return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A length of a source rectangle taken as a declared size: positive values scaled, the size
// codes and 0 as they are, other negatives ignored (false).
bool SourceLength(int32_t value, int32_t& out) {
  if (value > 0) {
    out = DpiScale::Instance().ScaleValue(value);
    return true;
  }
  if (value == 0 || value == kSizeStretch || value == kSizeAuto) {
    out = value;
    return true;
  }
  return false;
}

}  // namespace

// PlaceHolder

PlaceHolder::PlaceHolder() = default;

PlaceHolder::~PlaceHolder() = default;

void PlaceHolder::AttachTo(Window* window, Box* parent, bool initialize) {
  window_ = window;
  parent_ = parent;
  if (initialize && parent) Initialize();
}

Size PlaceHolder::Measure(Size /*available*/) { return Size{fixedWidth_, fixedHeight_}; }

Rect PlaceHolder::GetBounds(bool includeShadow) const {
  Rect bounds = bounds_;
  if (!includeShadow && window_ && window_->GetShadow().attached) {
    const Rect& padding = window_->GetShadow().padding;
    bounds.left -= padding.left;
    bounds.right -= padding.left;
    bounds.top -= padding.top;
    bounds.bottom -= padding.top;
  }
  return bounds;
}

void PlaceHolder::RequestLayout() {
  if (IsAutoSized()) {
    RequestAncestorLayout();
  } else {
    RequestOwnLayout();
  }
}

void PlaceHolder::RequestAncestorLayout() {
  measurePending_ = true;
  if (!window_ || !window_->GetRoot()) {
    // Not in a window's tree yet: the parent re-measures (and so sees this element again).
    (parent_ ? static_cast<PlaceHolder*>(parent_) : this)->RequestOwnLayout();
    return;
  }
  PlaceHolder* ancestor = parent_;
  while (ancestor && ancestor->IsAutoSized()) {
    ancestor->measurePending_ = true;
    ancestor = ancestor->parent_;
  }
  // All ancestors auto-sized (or none): the root arranges.
  (ancestor ? ancestor : static_cast<PlaceHolder*>(window_->GetRoot()))->RequestOwnLayout();
}

void PlaceHolder::RequestOwnLayout() {
  if (!IsVisible()) return;
  measurePending_ = true;
  arrangePending_ = true;
  Invalidate();
  if (window_) window_->SetArrangePending(true);
}

void PlaceHolder::Invalidate() {
  if (!IsVisible()) return;
  cacheRepaintPending_ = true;
  Rect rect = GetBounds(true);
  const Point offset = GetAncestorScrollOffset();
  rect.left -= offset.x;
  rect.right -= offset.x;
  rect.top -= offset.y;
  rect.bottom -= offset.y;
  InvalidateWindowRect(rect);
}

void PlaceHolder::InvalidateWindowRect(const Rect& rect) const {
  // A window never shown has no handle: nothing to repaint and nothing to post.
  HWND hwnd = window_ ? window_->GetHwnd() : nullptr;
  if (!hwnd || window_->IsInsideInvalidatedCover(rect)) return;
  RECT native{rect.left, rect.top, rect.right, rect.bottom};
  InvalidateRect(hwnd, &native, FALSE);
  if (window_->IsLayered()) PostMessageW(hwnd, WM_PAINT, 0, 0);
}

void PlaceHolder::SetDeclaredWidth(int32_t width, bool relayout, bool scaleDpi) {
  if (width < kSizeAuto) return;
  if (width > 0 && scaleDpi) width = DpiScale::Instance().ScaleValue(width);
  if (width == fixedWidth_) return;
  fixedWidth_ = width;
  if (relayout) {
    RequestAncestorLayout();
  } else {
    measurePending_ = true;
  }
}

void PlaceHolder::SetDeclaredHeight(int32_t height, bool scaleDpi) {
  if (height < kSizeAuto) return;
  if (height > 0 && scaleDpi) height = DpiScale::Instance().ScaleValue(height);
  if (height == fixedHeight_) return;
  fixedHeight_ = height;
  RequestAncestorLayout();
}

Point PlaceHolder::GetAncestorScrollOffset() const {
  auto hasRange = [](const ScrollBar* bar) { return bar && bar->GetScrollRange() != 0; };
  // A floating child of a vertically scrolling box stays where it is.
  if (const auto* scrolling = dynamic_cast<const ScrollableBox*>(parent_)) {
    if (float_ && hasRange(scrolling->GetVerticalScrollBar())) return Point();
  }
  // Only the nearest scrolling ancestor counts.
  for (const Box* ancestor = parent_; ancestor; ancestor = ancestor->GetParent()) {
    const auto* scrolling = dynamic_cast<const ScrollableBox*>(ancestor);
    if (scrolling && (hasRange(scrolling->GetVerticalScrollBar()) || hasRange(scrolling->GetHorizontalScrollBar()))) {
      const Size offset = scrolling->GetScrollOffset();
      return Point{offset.cx, offset.cy};
    }
  }
  return Point();
}

// Control

Control::Control() : animator_(this) {
  stateColors_.Init(this);
  stateImages_.SetOwner(this);
  for (StateImageKind kind :
       {kImageKindBackground, kImageKindForeground, kImageKindSelectedBackground, kImageKindSelectedForeground}) {
    stateImages_.Sets()[kind].Init(this);
  }
}

Control::~Control() {
  if (window_) window_->ForgetControl(this);
}

Size Control::Measure(Size available) {
  if (fixedWidth_ != kSizeAuto && fixedHeight_ != kSizeAuto) return Size{fixedWidth_, fixedHeight_};
  if (!measurePending_) return measuredSize_;
  int32_t width = fixedWidth_;
  int32_t height = fixedHeight_;
  ControlImage* image = GetSizingImage();
  if (image) {
    const Rect& source = image->spec.source;
    if (source.left != -1 && source.top != -1 && source.right != -1 && source.bottom != -1) {
      // The image fixes the size for good.
      int32_t value;
      if (SourceLength(source.right - source.left, value) && value != fixedWidth_) {
        fixedWidth_ = value;
        RequestAncestorLayout();
      }
      if (SourceLength(source.bottom - source.top, value) && value != fixedHeight_) {
        fixedHeight_ = value;
        RequestAncestorLayout();
      }
      return Size{fixedWidth_, fixedHeight_};
    }
    ResolveImage(*image);
    if (image->image) {
      if (fixedWidth_ == kSizeAuto) width = DpiScale::Instance().ScaleValue(image->image->width);
      if (fixedHeight_ == kSizeAuto) height = DpiScale::Instance().ScaleValue(image->image->height);
    }
  }
  measurePending_ = false;
  const Size text = MeasureText(available, &measurePending_);
  if (fixedWidth_ == kSizeAuto) width = std::max(width, text.cx);
  if (fixedHeight_ == kSizeAuto) height = std::max(height, text.cy);
  measuredSize_ = Size{width, height};
  return measuredSize_;
}

void Control::SetBounds(const Rect& requested) {
  Rect rect = requested;
  if (rect.right < rect.left) rect.right = rect.left;
  if (rect.bottom < rect.top) rect.bottom = rect.top;
  if (SameRect(rect, bounds_)) {
    arrangePending_ = false;
    return;
  }
  Rect old = bounds_;
  if (IsEmptyRect(old)) old = rect;
  bounds_ = rect;
  if (!window_) return;
  if (!resizeEventRunning_) {
    std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
    resizeEventRunning_ = true;
    RaiseOwnEvent(kEventResized);
    if (alive.expired()) return;
    resizeEventRunning_ = false;
  }
  arrangePending_ = false;
  Rect dirty = Union(old, bounds_);
  const Point offset = GetAncestorScrollOffset();
  dirty.left -= offset.x;
  dirty.right -= offset.x;
  dirty.top -= offset.y;
  dirty.bottom -= offset.y;
  for (Box* ancestor = parent_; ancestor; ancestor = ancestor->GetParent()) {
    dirty = Intersect(dirty, ancestor->GetBounds(true));
    if (IsEmptyRect(dirty)) return;
  }
  if (!IsEmptyRect(dirty)) InvalidateWindowRect(dirty);
}

ControlImage* Control::GetSizingImage() {
  if (!bkImage_.spec.file.empty()) return &bkImage_;
  return stateImages_.FindFirstImage(kImageKindBackground);
}

std::wstring Control::GetToolTipText() const {
  if (toolTipText_.empty() && !toolTipTextId_.empty()) return LookUpLanguageText(toolTipTextId_);
  return toolTipText_;
}

std::string Control::GetToolTipTextUtf8() const {
  std::string out;
  WideToMultiByte(GetToolTipText(), out, CP_UTF8);
  return out;
}

void Control::SetToolTipText(const std::wstring& text) {
  std::wstring stored = text;
  ReplaceAllWide(L"<n>", L"\r\n", stored);
  toolTipText_ = stored;
  Invalidate();
}

void Control::SetToolTipTextUtf8(const std::string& text) {
  std::wstring wide;
  MultiByteToWide(text, wide, CP_UTF8);
  if (wide.empty()) {
    toolTipText_.clear();
    Invalidate();
    return;
  }
  if (wide == toolTipText_) return;
  SetToolTipText(wide);
}

void Control::SetToolTipTextId(const std::wstring& id) {
  if (id == toolTipTextId_) return;
  toolTipTextId_ = id;
  Invalidate();
}

void Control::SetToolTipTextIdUtf8(const std::string& id) {
  std::wstring wide;
  MultiByteToWide(id, wide, CP_UTF8);
  SetToolTipTextId(wide);
}

void Control::SetToolTipMaxWidth(int32_t width) { toolTipMaxWidth_ = DpiScale::Instance().ScaleValue(width); }

std::string Control::GetDataIdUtf8() const {
  std::string out;
  WideToMultiByte(dataId_, out, CP_UTF8);
  return out;
}

void Control::SetDataIdUtf8(const std::string& id) {
  std::wstring wide;
  MultiByteToWide(id, wide, CP_UTF8);
  dataId_ = wide;
}

void Control::SetUserObject(UserObject* object) {
  // Handing back the object already held must not delete it under the caller.
  if (object == userObject_.get()) return;
  userObject_.reset(object);
}

void Control::SetFadeVisible(bool visible) {
  if (visible) {
    animator_.PlayShowEffects();
  } else {
    animator_.PlayHideEffects();
  }
}

void Control::StopBkAnimation() {
  if (bkImage_.image && bkImage_.image->FrameCount() > 1) {
    bkImage_.playing = false;
    animationTimerFlag_.Invalidate();
    Invalidate();
  }
}

void Control::OnHidden() {
  if (window_ && window_->GetFocusedControl() == this) window_->SetFocusedControl(nullptr);
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  const bool wasVisible = IsVisible();
  visible_ = visible;
  focused_ = false;
  if (!visible) OnHidden();
  if (IsVisible() != wasVisible) RequestAncestorLayout();
  if (!IsVisible()) StopBkAnimation();
}

void Control::SetVisibleByParent(bool visible) {
  visibleByParent_ = visible;
  if (!visible) OnHidden();
  if (!IsVisible()) StopBkAnimation();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled) {
    state_ = kStateNormal;
    hoverBlend_ = 0;
  } else {
    state_ = kStateDisabled;
  }
  Invalidate();
}

void Control::RequestFocus() {
  if (noFocus_ || !window_) return;
  window_->SetFocusedControl(this);
}

Control* Control::LocateControl(FindCallback callback, void* data, FindFlags flags, Point /*scrollOffset*/) {
  if ((flags & kFindVisibleOnly) && !IsVisible()) return nullptr;
  if ((flags & kFindEnabledOnly) && !IsEnabled()) return nullptr;
  if (flags & kFindHitTest) {
    if (!mouseEnabled_) return nullptr;
    const Point& point = *static_cast<const Point*>(data);
    const Rect bounds = GetBounds(true);
    if (point.x < bounds.left || point.x >= bounds.right || point.y < bounds.top || point.y >= bounds.bottom) {
      return nullptr;
    }
  }
  return callback(this, data);
}

void Control::SetMargin(const Rect& margin, bool scaleDpi) {
  Rect value = margin;
  if (scaleDpi) DpiScale::Instance().ScaleRect(value);
  if (SameRect(value, margin_)) return;
  margin_ = value;
  RequestAncestorLayout();
}

Size Control::MeasureText(Size /*available*/, bool* /*measurePending*/) { return Size(); }

bool Control::ContainsPoint(Point point) const {
  const Point offset = GetAncestorScrollOffset();
  point.x += offset.x;
  point.y += offset.y;
  return point.x >= bounds_.left && point.x < bounds_.right && point.y >= bounds_.top && point.y < bounds_.bottom;
}

bool Control::HasHotLook() {
  if (!stateColors_.GetColor(kStateHot).empty()) return true;
  for (auto& kind : stateImages_.Sets()) {
    auto hot = kind.second.Images().find(kStateHot);
    if (hot != kind.second.Images().end() && !hot->second.spec.file.empty()) return true;
  }
  return false;
}

void Control::PaintSelf(IRenderContext* context, const Rect& dirty) {
  paintRect_ = Intersect(dirty, bounds_);
  if (IsEmptyRect(paintRect_)) return;
  PaintBkColor(context);
  PaintBkImage(context);
  PaintStateColor(context);
  PaintStateImages(context);
  PaintText(context);
  PaintBorder(context);
}

void Control::ReacquireImages() {
  // A live callback on the image flag means the images were never given back.
  if (imageFlag_.IsHeld()) return;
  if (bkImage_.spec.file.empty()) return;
  const std::wstring path = ImagePath(bkImage_.spec.file);
  if (bkImage_.image && bkImage_.image->cachePath == UiRuntime::ImageCacheKey(path)) return;
  if (std::shared_ptr<ImageInfo> cached = UiRuntime::FindCachedImage(path)) bkImage_.image = cached;
}

void Control::ReleaseImages() {
  imageFlag_.Invalidate();
  bkImage_.ReleaseImage();
  bkImage_.frameIndex = 0;
  bkImage_.playing = false;
  bkImage_.loopCount = 0;
}

void Control::DropImageCaches() {
  stateImages_.ReleaseImages();
  bkImage_.ReleaseImage();
}

void Control::SetStateColor(ControlState state, const std::wstring& colorName) {
  if (stateColors_.GetColor(state) == colorName) return;
  if (state == kStateHot) animator_.EnableHotFade(true);
  stateColors_.SetColor(state, colorName);
  Invalidate();
}

void Control::SetChannelFilter(const std::wstring& channels) {
  channels_ = channels;
  const std::wstring current = UiRuntime::GetChannel();
  bool listed = false;
  for (const std::wstring& name : SplitString(channels, L" ")) {
    if (name == current) listed = true;
  }
  if (!listed) SetFadeVisible(false);
  Invalidate();
}

void Control::SetBorderRound(Size round) {
  borderRound_ = Size{DpiScale::Instance().ScaleValue(round.cx), DpiScale::Instance().ScaleValue(round.cy)};
  Invalidate();
}

void Control::SetAlpha(int32_t alpha) {
  alpha_ = alpha;
  Invalidate();
}

void Control::SetHoverBlend(int32_t blend) {
  hoverBlend_ = blend;
  Invalidate();
}

void Control::SetRenderOffsetX(int32_t x) {
  renderOffset_.x = x;
  Invalidate();
}

void Control::SetRenderOffsetY(int32_t y) {
  renderOffset_.y = y;
  Invalidate();
}

Control* MatchControlName(Control* candidate, void* data) {
  const wchar_t* name = static_cast<const wchar_t*>(data);
  if (!candidate || !name || candidate->GetName().empty()) return nullptr;
  return _wcsicmp(candidate->GetName().c_str(), name) == 0 ? candidate : nullptr;
}

}  // namespace ui
