#pragma once

#include "ui/render/gdi_bitmap.h"
#include "ui/render/gdi_clip.h"
#include "ui/render/render_context.h"

namespace ui {

// Applies DrawText-style flags to a GDI+ string format: ellipsis trimming, no-clip,
// no-wrap and line-limit flags, horizontal and vertical alignment.
void ApplyTextStyleToFormat(Gdiplus::GpStringFormat* format, UINT style, bool lineLimit);

class RenderContext_GdiPlus : public IRenderContext {
 public:
  RenderContext_GdiPlus();
  RenderContext_GdiPlus(const RenderContext_GdiPlus&) = delete;
  RenderContext_GdiPlus& operator=(const RenderContext_GdiPlus&) = delete;
  ~RenderContext_GdiPlus() override;

  HDC DrawingDC() override { return dc_; }
  bool ResizeSurface(int width, int height, bool flipped) override;
  void ZeroPixels() override { surface_.ZeroPixels(); }
  IRenderContext* Duplicate() override;
  HBITMAP DetachBitmap() override;
  void* PixelBits() override { return surface_.PixelBits(); }
  int32_t SurfaceWidth() override { return surface_.Width(); }
  int32_t SurfaceHeight() override { return surface_.Height(); }
  void FillRectBytes(const Rect& rect, uint8_t value) override { surface_.FillRectBytes(rect, value); }
  void RestoreAlphaExceptCorners(const Rect& rect, const Rect& cornerSizes, int keyAlpha) override {
    surface_.RestoreAlphaExceptCorners(rect, cornerSizes, keyAlpha);
  }
  bool IsTransparentRendering() override { return transparent_; }
  bool SetTransparentRendering(bool transparent) override;

  void SaveState() override;
  void RestoreState() override;
  Point ShiftWindowOrigin(Point delta) override;
  Point PlaceWindowOrigin(Point origin) override;
  Point WindowOrigin() override;
  void ClipToRect(const Rect& rect) override;
  void ClipToRoundRect(const Rect& rect, int cornerWidth, int cornerHeight) override;
  void RemoveClip() override;

  int CopyFromDC(int x, int y, int cx, int cy, HDC source, int xSource, int ySource, DWORD rop) override;
  bool BlendFromDC(int x, int y, int cx, int cy, HDC source, int xSource, int ySource, int cxSource, int cySource,
                   uint8_t alpha) override;

  void DrawNineGridBitmap(const Rect& paint, HBITMAP bitmap, bool hasAlpha, const Rect& dest, const Rect& source,
                          const Rect& corners, uint8_t alpha, bool xTiled, bool yTiled) override;
  void DrawNineGridImage(const Rect& paint, Gdiplus::GpImage* image, const Rect& dest, const Rect& source,
                         const Rect& corners, uint8_t alpha, bool xTiled, bool yTiled) override;

  void FillRectByColorName(const Rect& rect, const std::wstring& colorName, uint8_t alpha) override;
  void FillRectArgb(const Rect& rect, ArgbColor color, uint8_t alpha) override;
  void StrokeLineWithPen(IPen* pen, int x1, int y1, int x2, int y2) override;
  void StrokeLine(const Rect& endPoints, int width, ArgbColor color) override;
  void StrokeBezierWithPen(IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) override;
  void StrokeRect(const Rect& rect, int width, ArgbColor color) override;
  void StrokeRoundRect(const Rect& rect, Size corner, int width, ArgbColor color) override;
  void DrawTextInRect(const Rect& rect, const std::wstring& text, ArgbColor color, const std::wstring& fontId,
                      UINT style, uint8_t alpha, bool lineLimit) override;
  void DrawTextWithEffect(const Rect& rect, const std::wstring& text, ArgbColor color, const std::wstring& fontId,
                          UINT style, ITextEffect* effect, bool lineLimit) override;
  void StrokeEllipse(const Rect& rect, int width, ArgbColor color) override;
  void FillEllipseArgb(const Rect& rect, ArgbColor color) override;
  Rect MeasureText(const std::wstring& text, const std::wstring& fontId, UINT style, int width) override;
  void StrokePath(IPath* path, IPen* pen) override;
  void FillPath(IPath* path, IBrush* brush) override;

  // One nine-grid piece with GDI: StretchBlt only for a resized, opaque, unblended piece
  // outside transparent rendering; AlphaBlend in every other case.
  static void BlitPiece(HDC destDC, bool transparent, const Rect& dest, HDC sourceDC, const Rect& source,
                        bool hasAlpha, uint8_t alpha);
  // One nine-grid piece with GDI+, at alpha / 255 of the picture's opacity.
  static void DrawImagePiece(Gdiplus::GpGraphics* graphics, Gdiplus::GpImage* image, int xSource, int ySource,
                             int cxSource, int cySource, int x, int y, int cx, int cy, uint8_t alpha);

 private:
  // An opaque colour written straight into the surface's pixels, within the DC's clip;
  // false where that cannot stand for GDI+ (a complex clip, a scaled mapping, no surface).
  bool FillOpaqueRect(const Rect& rect, ArgbColor color);

  HDC dc_ = nullptr;
  bool topDown_ = false;  // the surface's rows run from the top
  int32_t savedState_ = 0;
  HGDIOBJ previousBitmap_ = nullptr;
  bool transparent_ = false;
  GdiClip clip_;
  GdiBitmap surface_;
};

}  // namespace ui
