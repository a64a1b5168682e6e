#pragma once

#include <windows.h>

#include "ui/core/geometry.h"

namespace ui {

class IPen;
class IBrush;
class IMatrix;
class IPath;
class IBitmap;
class IRenderContext;
class ITextEffect;

// Makes the drawing objects. Every result is new, owned by the caller and deleted through
// its virtual destructor; null when it cannot be allocated. The factory itself is owned by
// its concrete type (the runtime holds a RenderFactory_GdiPlus), so it cannot be deleted
// through this interface.
class IRenderFactory {
 public:
  virtual IPen* NewPen(ArgbColor color, int width) = 0;
  // The handle stays the caller's.
  virtual IBrush* NewBitmapBrush(HBITMAP bitmap) = 0;
  virtual IBrush* NewSolidBrush(ArgbColor color) = 0;
  virtual IMatrix* NewMatrix() = 0;
  virtual IPath* NewPath() = 0;
  virtual IBitmap* NewBitmap() = 0;
  virtual IRenderContext* NewRenderContext() = 0;
  virtual ITextEffect* NewTextEffect() = 0;

 protected:
  IRenderFactory() = default;
  ~IRenderFactory() = default;
};

}  // namespace ui
