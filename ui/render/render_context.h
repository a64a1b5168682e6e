#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/weak_callback.h"
#include "ui/core/geometry.h"
#include "ui/render/drawing_tools.h"
#include "ui/render/gdiplus_api.h"
#include "ui/render/text_effect.h"

namespace ui {

// A drawing surface: a memory DC holding a 32-bit DIB section, a window origin, a clip
// stack and drawing operations. Coordinates are logical (client coordinates shifted by
// the window origin). Text styles are DrawText flags; only DT_CENTER, DT_RIGHT,
// DT_VCENTER, DT_BOTTOM, DT_SINGLELINE, DT_NOCLIP and DT_END_ELLIPSIS are read, and text
// wraps unless DT_SINGLELINE is given.
class IRenderContext : public base::SupportWeakCallback {
 public:
  ~IRenderContext() override = default;

  // Surface.
  virtual HDC DrawingDC() = 0;
  // False, pixels kept, when the size is unchanged; else the result of making the surface.
  virtual bool ResizeSurface(int width, int height, bool flipped) = 0;
  virtual void ZeroPixels() = 0;
  // An independent copy of the surface; the caller owns it.
  virtual IRenderContext* Duplicate() = 0;
  // Hands the DIB section to the caller (null when no surface was ever selected).
  virtual HBITMAP DetachBitmap() = 0;
  virtual void* PixelBits() = 0;
  virtual int32_t SurfaceWidth() = 0;
  virtual int32_t SurfaceHeight() = 0;
  virtual void FillRectBytes(const Rect& rect, uint8_t value) = 0;
  virtual void RestoreAlphaExceptCorners(const Rect& rect, const Rect& cornerSizes, int keyAlpha) = 0;
  // While set, nine-grid pictures are always blended, never copied.
  virtual bool IsTransparentRendering() = 0;
  virtual bool SetTransparentRendering(bool transparent) = 0;

  // State, origin and clipping. Every clip saves the DC state, so clips and SaveState
  // form one stack: remove them in the reverse order of their application.
  virtual void SaveState() = 0;
  virtual void RestoreState() = 0;
  virtual Point ShiftWindowOrigin(Point delta) = 0;
  virtual Point PlaceWindowOrigin(Point origin) = 0;
  virtual Point WindowOrigin() = 0;
  virtual void ClipToRect(const Rect& rect) = 0;
  virtual void ClipToRoundRect(const Rect& rect, int cornerWidth, int cornerHeight) = 0;
  virtual void RemoveClip() = 0;

  // Copy and blend. BlendFromDC uses the source's per-pixel alpha and the constant alpha.
  virtual int CopyFromDC(int x, int y, int cx, int cy, HDC source, int xSource, int ySource, DWORD rop) = 0;
  virtual bool BlendFromDC(int x, int y, int cx, int cy, HDC source, int xSource, int ySource, int cxSource,
                           int cySource, uint8_t alpha) = 0;

  // Nine-grid images: corners keep their size (scaled by the DPI scale on screen), edges
  // stretch, the middle stretches or tiles. Pieces that miss paint are skipped.
  virtual void DrawNineGridBitmap(const Rect& paint, HBITMAP bitmap, bool hasAlpha, const Rect& dest,
                                  const Rect& source, const Rect& corners, uint8_t alpha, bool xTiled,
                                  bool yTiled) = 0;
  virtual void DrawNineGridImage(const Rect& paint, Gdiplus::GpImage* image, const Rect& dest, const Rect& source,
                                 const Rect& corners, uint8_t alpha, bool xTiled, bool yTiled) = 0;

  // Fills and strokes, each through a GDI+ graphics object of its own.
  virtual void FillRectByColorName(const Rect& rect, const std::wstring& colorName, uint8_t alpha) = 0;
  virtual void FillRectArgb(const Rect& rect, ArgbColor color, uint8_t alpha) = 0;
  virtual void StrokeLineWithPen(IPen* pen, int x1, int y1, int x2, int y2) = 0;
  virtual void StrokeLine(const Rect& endPoints, int width, ArgbColor color) = 0;
  virtual void StrokeBezierWithPen(IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) = 0;
  virtual void StrokeRect(const Rect& rect, int width, ArgbColor color) = 0;
  virtual void StrokeRoundRect(const Rect& rect, Size corner, int width, ArgbColor color) = 0;
  virtual void DrawTextInRect(const Rect& rect, const std::wstring& text, ArgbColor color, const std::wstring& fontId,
                              UINT style, uint8_t alpha, bool lineLimit) = 0;
  virtual void DrawTextWithEffect(const Rect& rect, const std::wstring& text, ArgbColor color,
                                  const std::wstring& fontId, UINT style, ITextEffect* effect, bool lineLimit) = 0;
  virtual void StrokeEllipse(const Rect& rect, int width, ArgbColor color) = 0;
  virtual void FillEllipseArgb(const Rect& rect, ArgbColor color) = 0;
  // The text's extent; width -1 means no limit.
  virtual Rect MeasureText(const std::wstring& text, const std::wstring& fontId, UINT style, int width) = 0;
  virtual void StrokePath(IPath* path, IPen* pen) = 0;
  virtual void FillPath(IPath* path, IBrush* brush) = 0;
};

// A clip for the length of a scope.
class AutoClip : public base::SupportWeakCallback {
 public:
  AutoClip(IRenderContext* context, const Rect& rect, bool condition = true);
  // Clips to a round rectangle of that corner size (a control's round border).
  AutoClip(IRenderContext* context, const Rect& rect, Size roundCorner, bool condition = true);
  AutoClip(const AutoClip&) = delete;
  AutoClip& operator=(const AutoClip&) = delete;
  ~AutoClip() override;

 private:
  IRenderContext* context_;
  bool applied_ = false;
};

}  // namespace ui
