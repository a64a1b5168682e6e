#include "ui/render/render_factory_gdiplus.h"

#include <new>

#include "ui/render/gdi_bitmap.h"
#include "ui/render/gdiplus_tools.h"
#include "ui/render/render_context_gdiplus.h"
#include "ui/render/text_effect_gdiplus.h"

namespace ui {

IPen* RenderFactory_GdiPlus::NewPen(ArgbColor color, int width) { return new (std::nothrow) Pen_GdiPlus(color, width); }
IBrush* RenderFactory_GdiPlus::NewBitmapBrush(HBITMAP bitmap) { return Brush_Gdiplus::NewTexture(bitmap); }
IBrush* RenderFactory_GdiPlus::NewSolidBrush(ArgbColor color) { return Brush_Gdiplus::NewSolid(color); }
IMatrix* RenderFactory_GdiPlus::NewMatrix() { return new (std::nothrow) Matrix_Gdiplus(); }
IPath* RenderFactory_GdiPlus::NewPath() { return new (std::nothrow) Path_Gdiplus(); }
IBitmap* RenderFactory_GdiPlus::NewBitmap() { return new (std::nothrow) GdiBitmap(); }
IRenderContext* RenderFactory_GdiPlus::NewRenderContext() { return new (std::nothrow) RenderContext_GdiPlus(); }
ITextEffect* RenderFactory_GdiPlus::NewTextEffect() { return new (std::nothrow) TextEffect_GdiPlus(); }

}  // namespace ui
