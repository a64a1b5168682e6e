#pragma once

// A progress whose value is also drawn as an arc on a ring from its top, clockwise or
// counter-clockwise, optionally with a gradient and a small picture (the indicator) riding
// on the arc's end. UI thread only.

#include <cstdint>
#include <string>

#include "ui/controls/progress.h"

namespace Gdiplus {
class GpImage;
}

namespace ui {

class CircleProgress : public Progress {
 public:
  CircleProgress() = default;
  ~CircleProgress() override;

  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // Also deletes the indicator; it comes back only with another path.
  void DropImageCaches() override;
  // The bar, then the ring and the value's arc.
  void PaintStateImages(IRenderContext* context) override;

  // Loads the indicator from a file (below the skin folder when no file is at the path as
  // given), turned to lie along the ring. The path already set does nothing.
  void SetIndicatorImage(const std::wstring& path);

  bool IsCircular() const { return circular_; }
  bool IsClockwise() const { return clockwise_; }
  int32_t GetCircleWidth() const { return circleWidth_; }
  ArgbColor GetBackgroundColor() const { return backgroundColor_; }
  ArgbColor GetForegroundColor() const { return foregroundColor_; }
  ArgbColor GetGradientColor() const { return gradientColor_; }
  Gdiplus::GpImage* GetIndicator() const { return indicator_; }
  // The sweep of the value's arc in degrees, clockwise positive.
  double SweepAngle() const;

 private:
  void DeleteIndicator();

  bool circular_ = true;
  bool clockwise_ = true;
  int32_t circleWidth_ = 1;
  ArgbColor backgroundColor_ = 0;
  ArgbColor foregroundColor_ = 0;
  ArgbColor gradientColor_ = 0;
  Gdiplus::GpImage* indicator_ = nullptr;  // owned
  std::wstring indicatorPath_;
};

}  // namespace ui
