#pragma once

// The box that wraps a window's root to draw the window's shadow around it. Its padding is
// the shadow's width; its background image is the shadow.

#include "ui/core/box.h"

namespace ui {

class ShadowBox : public Box {
 public:
  ShadowBox() : Box(new Layout()) {}
  // The shadow lies outside the content rectangle: a repaint confined to the inside leaves
  // it alone. Children are painted as in any box.
  void PaintSelf(IRenderContext* context, const Rect& dirty) override;
};

}  // namespace ui
