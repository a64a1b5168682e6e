#include "ui/controls/slider.h"

#include <cwchar>

namespace ui {

namespace {

bool Inside(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

}  // namespace

Slider::Slider() {
  textStyle_ = DT_SINGLELINE | DT_CENTER;
  thumbImages_.Init(this);
}

void Slider::SetThumbImage(ControlState state, const std::wstring& descriptor) {
  ControlImage& image = thumbImages_.GetImage(state);
  image.ReleaseImage();
  image.spec.Reset();
  image.spec.description = descriptor;
  image.spec.file = descriptor;
  image.spec.Parse(descriptor);
  Invalidate();
}

void Slider::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"step") {
    step_ = static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10));
  } else if (name == L"thumbnormalimage") {
    SetThumbImage(kStateNormal, value);
  } else if (name == L"thumbhotimage") {
    SetThumbImage(kStateHot, value);
  } else if (name == L"thumbpushedimage") {
    SetThumbImage(kStatePushed, value);
  } else if (name == L"thumbdisabledimage") {
    SetThumbImage(kStateDisabled, value);
  } else if (name == L"thumbsize") {
    int32_t size[2];
    ParseNumberList(value, size, 2);
    const DpiScale& dpi = DpiScale::Instance();
    thumbSize_ = Size{dpi.ScaleValue(size[0]), dpi.ScaleValue(size[1])};
  } else if (name == L"progressbarpadding") {
    Rect padding = ParseRectNumbers(value);
    DpiScale::Instance().ScaleRect(padding);
    barPadding_ = padding;
    if (IsAutoSized()) {
      RequestAncestorLayout();
    } else {
      Invalidate();
    }
  } else {
    Progress::ApplyAttribute(name, value);
  }
}

void Slider::DropImageCaches() {
  Progress::DropImageCaches();
  thumbImages_.ReleaseImages();
}

Rect Slider::ProgressFillRect() {
  const Rect bounds = GetBounds(true);
  const int32_t w = bounds.Width();
  const int32_t h = bounds.Height();
  const int32_t tw = thumbSize_.cx;
  const int32_t th = thumbSize_.cy;
  if (horizontal_) {
    return Rect{0, 0, static_cast<int32_t>((w - tw) * (value_ - minimum_) / Range() + tw / 2 + 0.5), h};
  }
  return Rect{0, static_cast<int32_t>((h - th) * (maximum_ - value_) / Range() + th / 2 + 0.5), w, h};
}

Rect Slider::ThumbRect() const {
  const Rect& b = bounds_;
  const int32_t tw = thumbSize_.cx;
  const int32_t th = thumbSize_.cy;
  if (horizontal_) {
    const int32_t left = b.left + static_cast<int32_t>((value_ - minimum_) * (b.right - tw - b.left) / Range());
    const int32_t top = (b.bottom + b.top - th) / 2;
    return Rect{left, top, left + tw, top + th};
  }
  const int32_t left = (b.right - tw + b.left) / 2;
  const int32_t top = b.bottom - th - static_cast<int32_t>((value_ - minimum_) * (b.bottom - th - b.top) / Range());
  return Rect{left, top, left + tw, top + th};
}

double Slider::ValueAtPoint(Point point) const {
  const Rect& b = bounds_;
  const double range = Range();
  if (horizontal_) {
    const int32_t half = thumbSize_.cx / 2;
    if (point.x >= b.right - half) return maximum_;
    if (point.x <= b.left + half) return minimum_;
    const int32_t track = b.right - b.left - thumbSize_.cx;
    if (track <= 0) return minimum_;
    return minimum_ + (point.x - half - b.left) * range / track;
  }
  const int32_t half = thumbSize_.cy / 2;
  if (point.y >= b.bottom - half) return minimum_;
  if (point.y <= b.top + half) return maximum_;
  const int32_t track = b.bottom - b.top - thumbSize_.cy;
  if (track <= 0) return minimum_;
  return minimum_ + (b.bottom - half - point.y) * range / track;
}

Point Slider::ContentPoint(Point point) const {
  const Point offset = GetAncestorScrollOffset();
  return Point{point.x + offset.x, point.y + offset.y};
}

void Slider::ReportValueChange() {
  RaiseOwnEvent(kEventValueChange);
}

void Slider::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  // Without mouse input, or disabled for the wheel, the parent gets the mouse.
  if (IsMouseEvent(type) && (!IsMouseEnabled() || (type == kEventScrollWheel && !IsEnabled()))) {
    if (parent_) {
      parent_->DispatchEvent(args);
    } else {
      Control::ProcessEvent(args);
    }
    return;
  }
  switch (type) {
    case kEventRawDoubleClick:
    case kEventButtonDown:
    case kEventPointerDown: {
      if (!IsEnabled()) return;
      if (Inside(ThumbRect(), ContentPoint(args->mousePoint))) SetMouseDown(true);
      return;
    }
    case kEventRawMenu:
      return;
    case kEventMouseMove:
    case kEventPointerUpdate:
      if (IsMouseDown()) {
        value_ = ValueAtPoint(ContentPoint(args->mousePoint));
        Invalidate();
      }
      return;
    case kEventButtonUp:
    case kEventPointerUp: {
      if (IsMouseDown()) SetMouseDown(false);
      if (!IsEnabled()) return;
      value_ = ValueAtPoint(ContentPoint(args->mousePoint));
      const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
      ReportValueChange();
      if (!alive.expired()) Invalidate();
      return;
    }
    case kEventScrollWheel: {
      const int32_t delta = static_cast<int32_t>(args->wParam);
      value_ = delta < 1 ? value_ - step_ : value_ + step_;
      Invalidate();
      ReportValueChange();
      return;
    }
    default:
      Control::ProcessEvent(args);
      return;
  }
}

void Slider::PaintStateImages(IRenderContext* context) {
  const Rect full = bounds_;
  bounds_ = Rect{full.left + barPadding_.left, full.top + barPadding_.top, full.right - barPadding_.right,
                 full.bottom - barPadding_.bottom};
  Progress::PaintStateImages(context);
  bounds_ = full;
  const Rect thumb = ThumbRect();
  thumbModifier_ = FormatString(L"destscale='false' dest='%d,%d,%d,%d'", thumb.left - full.left,
                                thumb.top - full.top, thumb.right - full.left, thumb.bottom - full.top);
  ControlState state = kStateNormal;
  if (IsMouseDown()) {
    state = kStatePushed;
  } else if (thumbHot_ == 1) {
    state = kStateHot;
  }
  if (state != kStateNormal && DrawImage(context, thumbImages_.GetImage(state), thumbModifier_, -1)) return;
  DrawImage(context, thumbImages_.GetImage(kStateNormal), thumbModifier_, -1);
}

}  // namespace ui
