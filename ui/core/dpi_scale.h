#pragma once

#include <cstdint>

#include "ui/core/geometry.h"

namespace ui {

// The one process-wide DPI percentage. The framework lays out in pixels of a 96-DPI
// screen; every length from markup, from code that asks for it, or from a font size is
// scaled by `scale` percent, but only while `adapt` is on.
class DpiScale {
 public:
  static DpiScale& Instance();

  int32_t GetScale() const { return scale_; }
  bool IsAdapting() const { return adapt_; }
  void SetScale(int32_t scale) { scale_ = scale; }
  void SetAdapt(bool adapt) { adapt_ = adapt; }

  // MulDiv(value, scale, 100), rounded, while adapting and the scale is not 100.
  int32_t ScaleValue(int32_t value) const;
  // Scales width and height on their own, then left and top, and rebuilds the right and
  // bottom edges from them, so (1,1,2,2) at 150 becomes (2,2,4,4), not (2,2,3,3).
  void ScaleRect(Rect& rect) const;

 private:
  DpiScale() = default;
  int32_t scale_ = 100;
  bool adapt_ = false;
};

// True when the system is at least Windows 6.minor (0: Vista, 2: Windows 8).
bool IsWindowsVersionAtLeast6(uint16_t minor);

}  // namespace ui
