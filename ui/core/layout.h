#pragma once

// How a box measures and arranges its children. This least layout holds only the padding:
// children keep the bounds they are given.

#include "ui/core/geometry.h"

namespace ui {

class Box;

class Layout {
 public:
  Layout() = default;
  virtual ~Layout() = default;
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

  void SetOwner(Box* owner) { owner_ = owner; }
  Box* GetOwner() const { return owner_; }
  // Stores the padding (DPI-scaled when asked) and asks the owner for a layout.
  void SetPadding(const Rect& padding, bool scaleDpi);
  Rect GetPadding() const { return padding_; }

 protected:
  Box* owner_ = nullptr;
  Rect padding_;
};

}  // namespace ui
