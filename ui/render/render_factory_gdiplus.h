#pragma once

#include "ui/render/render_factory.h"

namespace ui {

// The one factory, over GDI and GDI+. Holds no state.
class RenderFactory_GdiPlus final : public IRenderFactory {
 public:
  RenderFactory_GdiPlus() = default;
  ~RenderFactory_GdiPlus() = default;

  IPen* NewPen(ArgbColor color, int width) override;
  IBrush* NewBitmapBrush(HBITMAP bitmap) override;
  IBrush* NewSolidBrush(ArgbColor color) override;
  IMatrix* NewMatrix() override;
  IPath* NewPath() override;
  IBitmap* NewBitmap() override;
  IRenderContext* NewRenderContext() override;
  ITextEffect* NewTextEffect() override;
};

}  // namespace ui
