#include <windows.h>

#include <algorithm>

#include "ui/animation/timer_manager.h"
#include "ui/core/control.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/render/render_factory.h"
#include "ui/resources/ui_runtime.h"

// How a control paints itself: the translucent, cached and direct paths, its six layers,
// its images and its animated background.
namespace ui {

namespace {

bool IsEmpty(const Rect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

Rect IntersectRects(const Rect& a, const Rect& b) {
  Rect result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
  if (IsEmpty(result)) return Rect();
  return result;
}

bool IsComplete(const Rect& rect) { return rect.left != -1 && rect.top != -1 && rect.right != -1 && rect.bottom != -1; }

}  // namespace

UINT AnimationStepMs(uint32_t delay) {
  // Short delays are slowed down, as browsers do, so that a GIF with delay 0 does not spin.
  const uint32_t ms = delay * 10;
  if (ms < 30) return 100;
  if (ms < 50) return 50;
  return ms;
}

IRenderContext* Control::GetRenderCache() {
  if (!renderCache_) {
    if (IRenderFactory* factory = UiRuntime::GetRenderFactory()) renderCache_.reset(factory->NewRenderContext());
  }
  return renderCache_.get();
}

void Control::Paint(IRenderContext* context, const Rect& dirty) {
  if (alpha_ == 0 || !context) return;
  const Rect paintArea = IntersectRects(dirty, bounds_);
  if (IsEmpty(paintArea)) return;
  const bool rounded = borderRound_.cx > 0 || borderRound_.cy > 0;

  if (alpha_ < 255 || cache_) {
    const bool translucent = alpha_ < 255;
    IRenderContext* surface = GetRenderCache();
    if (!surface) return;
    if (surface->ResizeSurface(bounds_.Width(), bounds_.Height(), true)) cacheRepaintPending_ = true;
    if (translucent) cacheRepaintPending_ = true;  // a new surface each time
    if (cacheRepaintPending_) {
      surface->ZeroPixels();
      const Rect full{0, 0, bounds_.Width(), bounds_.Height()};
      const bool clipped = clip_ || rounded;
      if (rounded) {
        surface->ClipToRoundRect(full, borderRound_.cx, borderRound_.cy);
      } else if (clip_) {
        surface->ClipToRect(full);
      }
      IRenderContext* windowContext = window_ && window_->GetRenderContext() ? window_->GetRenderContext() : context;
      const bool wasTransparent = windowContext->SetTransparentRendering(true);
      const Point previous =
          surface->ShiftWindowOrigin(Point{bounds_.left + renderOffset_.x, bounds_.top + renderOffset_.y});
      PaintSelf(surface, bounds_);
      // Children go straight onto the target and are not faded with this control.
      if (translucent) PaintChildren(context, dirty);
      surface->PlaceWindowOrigin(previous);
      windowContext->SetTransparentRendering(wasTransparent);
      if (clipped) surface->RemoveClip();
      cacheRepaintPending_ = false;
    }
    context->BlendFromDC(paintArea.left, paintArea.top, paintArea.Width(), paintArea.Height(), surface->DrawingDC(),
                         paintArea.left - bounds_.left, paintArea.top - bounds_.top, paintArea.Width(),
                         paintArea.Height(), static_cast<uint8_t>(translucent ? alpha_ : 255));
    if (translucent) {
      renderCache_.reset();
      return;
    }
    PaintChildren(context, dirty);
    return;
  }

  AutoClip roundClip(context, bounds_, borderRound_, rounded);
  AutoClip clip(context, bounds_, clip_ && !rounded);
  const Point previous = context->ShiftWindowOrigin(renderOffset_);
  PaintSelf(context, dirty);
  PaintChildren(context, dirty);
  context->PlaceWindowOrigin(previous);
}

void Control::PaintBkColor(IRenderContext* context) {
  if (bkColor_.empty()) return;
  const ArgbColor color = UiRuntime::GetColor(bkColor_);
  if (color == 0) return;
  // A translucent colour covers the whole bounds so that partial repaints blend alike.
  context->FillRectArgb((color >> 24) < 255 ? bounds_ : paintRect_, color, 255);
}

void Control::PaintBkImage(IRenderContext* context) { DrawImage(context, bkImage_, std::wstring(), -1); }

void Control::PaintStateColor(IRenderContext* context) { stateColors_.Paint(context, paintRect_, state_); }

void Control::PaintStateImages(IRenderContext* context) {
  for (StateImageKind kind : {kImageKindBackground, kImageKindForeground}) {
    if (StateImageSet* set = stateImages_.FindSet(kind)) set->Paint(context, state_, std::wstring());
  }
}

void Control::PaintBorder(IRenderContext* context) {
  if (borderColor_.empty()) return;
  const ArgbColor color = UiRuntime::GetColor(borderColor_);
  if (color == 0) return;
  const Rect& b = bounds_;
  const Rect& sides = sideBorders_;
  if (sides.left > 0 || sides.top > 0 || sides.right > 0 || sides.bottom > 0) {
    if (sides.left > 0) {
      const int x = b.left + sides.left / 2;
      context->StrokeLine(Rect{x, b.top, x, sides.left == 1 ? b.bottom - 1 : b.bottom}, sides.left, color);
    }
    if (sides.top > 0) {
      const int y = b.top + sides.top / 2;
      context->StrokeLine(Rect{b.left, y, sides.top == 1 ? b.right - 1 : b.right, y}, sides.top, color);
    }
    if (sides.right > 0) {
      const int x = b.right - (sides.right + 1) / 2;
      context->StrokeLine(Rect{x, b.top, x, sides.right == 1 ? b.bottom - 1 : b.bottom}, sides.right, color);
    }
    if (sides.bottom > 0) {
      const int y = b.bottom - (sides.bottom + 1) / 2;
      context->StrokeLine(Rect{b.left, y, sides.bottom == 1 ? b.right - 1 : b.right, y}, sides.bottom, color);
    }
    return;
  }
  if (borderSize_ <= 0) return;
  const int s = borderSize_;
  const int odd = s % 2;
  const Rect outline{b.left + s / 2, b.top + s / 2, b.right - s / 2 - odd, b.bottom - s / 2 - odd};
  if (borderRound_.cx > 0 || borderRound_.cy > 0) {
    context->StrokeRoundRect(outline, borderRound_, s, color);
  } else {
    context->StrokeRect(outline, s, color);
  }
}

bool Control::DrawImage(IRenderContext* context, ControlImage& image, const std::wstring& modifier, int fade) {
  if (!context || image.spec.file.empty()) return false;
  ResolveImage(image);
  if (!image.image || image.image->FrameCount() == 0) {
    // Not found or not decodable: forgotten, so it is not tried again at every paint.
    image.image.reset();
    image.spec.Reset();
    return false;
  }
  ImageSpec spec = image.spec;
  if (!modifier.empty()) spec.Parse(modifier);

  Rect dest = bounds_;
  if (IsComplete(spec.dest)) {
    dest = Rect{bounds_.left + spec.dest.left, bounds_.top + spec.dest.top, bounds_.left + spec.dest.right,
                bounds_.top + spec.dest.bottom};
  }
  const Rect source = IsComplete(spec.source) ? spec.source : Rect{0, 0, image.image->width, image.image->height};

  if (bkImage_.image && bkImage_.image->FrameCount() > 1 && bkAnimationAllowed_ && !bkImage_.playing) {
    AdvanceAnimatedImage();
    if (bkImage_.playing) return true;
  }

  const size_t frame = std::min<size_t>(static_cast<size_t>(std::max(image.frameIndex, 0)), image.image->FrameCount() - 1);
  const uint8_t alpha = fade < 0 ? spec.fade : static_cast<uint8_t>(std::min(fade, 255));
  context->DrawNineGridImage(paintRect_, reinterpret_cast<Gdiplus::GpImage*>(image.image->frameGdipBitmaps[frame]),
                             dest, source, spec.corner, alpha, spec.xtiled, spec.ytiled);
  return true;
}

void Control::AdvanceAnimatedImage() {
  ControlImage& image = bkImage_;
  const auto cancel = [&] {
    image.playing = false;
    animationTimerFlag_.Invalidate();
  };
  if (!image.image || image.image->FrameCount() < 2) {
    cancel();
    return;
  }
  const int playCount = image.spec.playcount;
  if ((playCount == 0 && !image.playing) || (playCount > 0 && image.loopCount >= playCount)) {
    cancel();
    return;
  }
  const auto arm = [&](UINT ms) {
    TimerManager::Instance()->AddTimer(
        animationTimerFlag_.ObtainWeakFlag(), MakeWeakCallback([this] { AdvanceAnimatedImage(); }), ms, -1);
  };
  const bool hasDelays = !image.image->frameDelays.empty();
  if (!image.playing) {
    image.frameIndex = 0;
    animationTimerFlag_.Invalidate();
    if (hasDelays) {
      image.playing = true;
      arm(AnimationStepMs(image.image->FrameDelay(0)));
    }
    Invalidate();
    return;
  }
  const size_t frames = image.image->FrameCount();
  const size_t current = static_cast<size_t>(image.frameIndex) % frames;
  const size_t next = (current + 1) % frames;
  const UINT currentMs = hasDelays ? AnimationStepMs(image.image->FrameDelay(current)) : 0;
  const UINT nextMs = hasDelays ? AnimationStepMs(image.image->FrameDelay(next)) : 0;
  image.frameIndex = static_cast<int>(next);
  if (next == 0) ++image.loopCount;
  if (playCount > 0 && image.loopCount >= playCount) {
    const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
    FinishAnimatedImage();
    // A finish handler may have deleted the control.
    if (!alive.expired()) Invalidate();
    return;
  }
  if (currentMs == 0 || nextMs == 0) {
    cancel();
  } else if (nextMs != currentMs) {
    animationTimerFlag_.Invalidate();
    arm(nextMs);
  }
  Invalidate();
}

void Control::StopAnimatedImageAt(int frame) {
  ControlImage& image = bkImage_;
  if (!image.image || image.image->FrameCount() < 2) return;
  image.playing = false;
  animationTimerFlag_.Invalidate();
  const int last = static_cast<int>(image.image->FrameCount()) - 1;
  if (frame == 0xFFFF) {
    image.frameIndex = last;
  } else if (frame != -1) {
    // A frame past the end (or below it) would index outside the bitmap.
    image.frameIndex = std::min(std::max(frame, 0), last);
  }
  Invalidate();
}

void Control::FinishAnimatedImage() {
  bkAnimationAllowed_ = false;
  StopAnimatedImageAt(0xFFFF);
  auto handlers = imageEventHandlers_.find(1);
  if (handlers == imageEventHandlers_.end()) return;
  EventArgs args;
  args.type = kEventUnknown;
  args.sender = this;
  RunEventHandlers(handlers->second, &args, ObtainWeakFlag());
}

}  // namespace ui
