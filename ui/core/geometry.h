#pragma once

#include <cstdint>

namespace ui {

// A colour 0xAARRGGBB. Controls keep colour names; the runtime's colour table resolves
// them at paint time.
using ArgbColor = uint32_t;

// The visual state of a control.
enum ControlState : int32_t {
  kStateNormal = 0,
  kStateHot = 1,
  kStatePushed = 2,
  kStateDisabled = 3,
};

// Lengths of a control that mean "fill the parent" and "fit the content".
constexpr int32_t kSizeStretch = -1;
constexpr int32_t kSizeAuto = -2;
// The maximum width and height of a control that declares none.
constexpr int32_t kSizeMaxDefault = 9999999;

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

struct Size {
  int32_t cx = 0;
  int32_t cy = 0;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

}  // namespace ui
