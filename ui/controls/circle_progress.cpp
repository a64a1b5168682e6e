#include "ui/controls/circle_progress.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>

#include "ui/core/window.h"
#include "ui/render/gdiplus_api.h"

namespace ui {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

CircleProgress::~CircleProgress() { DeleteIndicator(); }

void CircleProgress::DeleteIndicator() {
  if (indicator_) GdipDisposeImage(indicator_);
  indicator_ = nullptr;
}

void CircleProgress::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"circular") {
    circular_ = value == L"true";
    Invalidate();
  } else if (name == L"circlewidth") {
    circleWidth_ = static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10));
    Invalidate();
  } else if (name == L"indicator") {
    SetIndicatorImage(value);
  } else if (name == L"clockwise") {
    const bool clockwise = value == L"true";
    if (clockwise == clockwise_) return;
    clockwise_ = clockwise;
    // The indicator was turned for the other direction.
    if (indicator_) GdipImageRotateFlip(indicator_, Rotate180FlipNone);
  } else if (name == L"bgcolor" || name == L"fgcolor" || name == L"gradientcolor") {
    const ArgbColor color = UiRuntime::GetColor(SkipLeadingBlanks(value));
    if (name == L"bgcolor") {
      backgroundColor_ = color;
    } else if (name == L"fgcolor") {
      foregroundColor_ = color;
    } else {
      gradientColor_ = color;
    }
    Invalidate();
  } else {
    Progress::ApplyAttribute(name, value);
  }
}

void CircleProgress::DropImageCaches() {
  Progress::DropImageCaches();
  DeleteIndicator();
}

void CircleProgress::SetIndicatorImage(const std::wstring& path) {
  if (path == indicatorPath_) return;
  indicatorPath_ = path;
  DeleteIndicator();
  std::wstring file = path;
  if (!PathFileExistsW(file.c_str())) {
    file = UiRuntime::GetResourceRoot() + (window_ ? window_->GetResourceSubfolder() : std::wstring()) + path;
  }
  if (!PathFileExistsW(file.c_str())) return;
  GpImage* image = nullptr;
  if (GdipLoadImageFromFile(file.c_str(), &image) != Ok || !image) return;
  GdipImageRotateFlip(image, clockwise_ ? Rotate90FlipNone : Rotate270FlipNone);
  indicator_ = image;
  Invalidate();
}

double CircleProgress::SweepAngle() const { return (value_ - minimum_) * (clockwise_ ? 360.0 : -360.0) / Range(); }

void CircleProgress::PaintStateImages(IRenderContext* context) {
  Progress::PaintStateImages(context);
  if (!circular_ || !context) return;
  GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(context->DrawingDC(), &graphics) != Ok || !graphics) return;
  GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
  const REAL penWidth = static_cast<REAL>(circleWidth_);
  GpPen* ringPen = nullptr;
  GdipCreatePen1(backgroundColor_, penWidth, UnitWorld, &ringPen);

  const Rect& b = bounds_;
  const int side = std::min(b.Width(), b.Height());
  const int cx = b.left + b.Width() / 2;
  const int cy = b.top + b.Height() / 2;
  const int squareX = cx - side / 2;
  const int squareY = cy - side / 2;
  UINT indicatorWidth = 0, indicatorHeight = 0;
  if (indicator_) {
    GdipGetImageWidth(indicator_, &indicatorWidth);
    GdipGetImageHeight(indicator_, &indicatorHeight);
  }
  const REAL hx = indicator_ ? indicatorWidth / 2.0f : circleWidth_ / 2.0f;
  const REAL hy = indicator_ ? indicatorHeight / 2.0f : circleWidth_ / 2.0f;
  const RectF arc(squareX + hx + 1, squareY + hy + 1, side - 2 * hx - 2, side - 2 * hy - 2);
  const REAL sweep = static_cast<REAL>(SweepAngle());

  if (ringPen) GdipDrawArc(graphics, ringPen, arc.X, arc.Y, arc.Width, arc.Height, 270.0f, 360.0f);
  GpPen* valuePen = nullptr;
  GpLineGradient* gradient = nullptr;
  if (gradientColor_ == 0) {
    GdipCreatePen1(foregroundColor_, penWidth, UnitWorld, &valuePen);
  } else {
    const RectF square(static_cast<REAL>(squareX), static_cast<REAL>(squareY), static_cast<REAL>(side),
                       static_cast<REAL>(side));
    if (GdipCreateLineBrushFromRect(&square, foregroundColor_, gradientColor_, LinearGradientModeVertical,
                                    WrapModeTile, &gradient) == Ok &&
        gradient) {
      const REAL factors[] = {0.0f, 0.4f, 0.6f, 1.0f};
      const REAL positions[] = {0.0f, 0.2f, 0.8f, 1.0f};
      GdipSetLineBlend(gradient, factors, positions, 4);
      GdipCreatePen2(gradient, penWidth, UnitWorld, &valuePen);
    }
  }
  if (valuePen && sweep != 0) GdipDrawArc(graphics, valuePen, arc.X, arc.Y, arc.Width, arc.Height, 270.0f, sweep);

  if (indicator_) {
    GdipTranslateWorldTransform(graphics, static_cast<REAL>(-cx), static_cast<REAL>(-cy), MatrixOrderAppend);
    GdipRotateWorldTransform(graphics, sweep, MatrixOrderAppend);
    GdipTranslateWorldTransform(graphics, static_cast<REAL>(cx), static_cast<REAL>(cy), MatrixOrderAppend);
    GdipDrawImageRectI(graphics, indicator_, cx - static_cast<INT>(indicatorWidth) / 2,
                       static_cast<INT>(arc.Y) - static_cast<INT>(indicatorHeight) / 2,
                       static_cast<INT>(indicatorWidth), static_cast<INT>(indicatorHeight));
  }
  if (valuePen) GdipDeletePen(valuePen);
  if (gradient) GdipDeleteBrush(gradient);
  if (ringPen) GdipDeletePen(ringPen);
  GdipDeleteGraphics(graphics);
}

}  // namespace ui
