#include "ui/render/render_context_gdiplus.h"

#include <algorithm>
#include <new>

#include "ui/render/gdiplus_tools.h"
#include "ui/render/text_anti_alias.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// A GDI+ graphics object on a DC for the length of one drawing call, so the DC's clip
// region and window origin apply and no GDI+ state outlives the call.
class ScopedGraphics {
 public:
  explicit ScopedGraphics(HDC dc) { GdipCreateFromHDC(dc, &graphics_); }
  ~ScopedGraphics() {
    if (graphics_) GdipDeleteGraphics(graphics_);
  }
  ScopedGraphics(const ScopedGraphics&) = delete;
  ScopedGraphics& operator=(const ScopedGraphics&) = delete;
  GpGraphics* get() const { return graphics_; }
  void AntiAlias() {
    if (graphics_) GdipSetSmoothingMode(graphics_, SmoothingModeAntiAlias);
  }

 private:
  GpGraphics* graphics_ = nullptr;
};

struct ScopedPen {
  ScopedPen(ArgbColor color, int width) { GdipCreatePen1(color, static_cast<REAL>(width), UnitWorld, &pen); }
  ~ScopedPen() {
    if (pen) GdipDeletePen(pen);
  }
  GpPen* pen = nullptr;
};

// A clone of GDI+'s generic typographic format, which is shared and never changed.
struct ScopedTypographicFormat {
  ScopedTypographicFormat() {
    GpStringFormat* generic = nullptr;
    if (GdipStringFormatGetGenericTypographic(&generic) == Ok && generic) GdipCloneStringFormat(generic, &format);
  }
  ~ScopedTypographicFormat() {
    if (format) GdipDeleteStringFormat(format);
  }
  GpStringFormat* format = nullptr;
};

GpFont* FindGdiplusFont(const std::wstring& fontId) {
  FontRecord* record = UiRuntime::FindFont(fontId);
  return record ? record->gdipFont : nullptr;
}

void ApplyTextAntiAlias(GpGraphics* graphics) {
  if (!g_textAntiAlias || !graphics) return;
  GdipSetSmoothingMode(graphics, SmoothingModeAntiAlias);
  GdipSetTextRenderingHint(graphics, TextRenderingHintAntiAlias);
}

}  // namespace

void ApplyTextStyleToFormat(GpStringFormat* format, UINT style, bool lineLimit) {
  if (!format) return;
  if (style & DT_END_ELLIPSIS) GdipSetStringFormatTrimming(format, StringTrimmingEllipsisCharacter);
  INT flags = 0;
  if (style & DT_NOCLIP) flags |= StringFormatFlagsNoClip;
  if (style & DT_SINGLELINE) flags |= StringFormatFlagsNoWrap;
  if (lineLimit) flags |= StringFormatFlagsLineLimit;
  GdipSetStringFormatFlags(format, flags);
  StringAlignment horizontal = StringAlignmentNear;
  if (style & DT_CENTER) horizontal = StringAlignmentCenter;
  else if (style & DT_RIGHT) horizontal = StringAlignmentFar;
  GdipSetStringFormatAlign(format, horizontal);
  StringAlignment vertical = StringAlignmentNear;
  if (style & DT_VCENTER) vertical = StringAlignmentCenter;
  else if (style & DT_BOTTOM) vertical = StringAlignmentFar;
  GdipSetStringFormatLineAlign(format, vertical);
}

RenderContext_GdiPlus::RenderContext_GdiPlus() {
  HDC screen = GetDC(nullptr);
  dc_ = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
}

RenderContext_GdiPlus::~RenderContext_GdiPlus() {
  if (previousBitmap_) SelectObject(dc_, previousBitmap_);
  if (dc_) DeleteDC(dc_);
}

bool RenderContext_GdiPlus::ResizeSurface(int width, int height, bool flipped) {
  if (width == surface_.Width() && height == surface_.Height()) return false;
  if (previousBitmap_) SelectObject(dc_, previousBitmap_);
  previousBitmap_ = nullptr;
  const bool made = surface_.CreateSurface(dc_, width, height, flipped);
  topDown_ = made && flipped;
  if (made) previousBitmap_ = SelectObject(dc_, surface_.Handle());
  return made;
}

IRenderContext* RenderContext_GdiPlus::Duplicate() {
  auto* copy = new (std::nothrow) RenderContext_GdiPlus();
  if (!copy) return nullptr;
  const int width = surface_.Width(), height = surface_.Height();
  copy->ResizeSurface(width, height, true);
  copy->CopyFromDC(0, 0, width, height, dc_, 0, 0, SRCCOPY);
  return copy;
}

HBITMAP RenderContext_GdiPlus::DetachBitmap() {
  if (!previousBitmap_) return nullptr;
  topDown_ = false;
  SelectObject(dc_, previousBitmap_);
  return surface_.DetachHandle();
}

bool RenderContext_GdiPlus::SetTransparentRendering(bool transparent) {
  const bool previous = transparent_;
  transparent_ = transparent;
  return previous;
}

void RenderContext_GdiPlus::SaveState() { savedState_ = SaveDC(dc_); }
void RenderContext_GdiPlus::RestoreState() { RestoreDC(dc_, savedState_); }

Point RenderContext_GdiPlus::ShiftWindowOrigin(Point delta) {
  POINT previous = {};
  GetWindowOrgEx(dc_, &previous);
  SetWindowOrgEx(dc_, previous.x + delta.x, previous.y + delta.y, nullptr);
  return Point{previous.x, previous.y};
}

Point RenderContext_GdiPlus::PlaceWindowOrigin(Point origin) {
  POINT previous = {};
  GetWindowOrgEx(dc_, &previous);
  SetWindowOrgEx(dc_, origin.x, origin.y, nullptr);
  return Point{previous.x, previous.y};
}

Point RenderContext_GdiPlus::WindowOrigin() {
  POINT origin = {};
  GetWindowOrgEx(dc_, &origin);
  return Point{origin.x, origin.y};
}

void RenderContext_GdiPlus::ClipToRect(const Rect& rect) { clip_.SelectRectClip(dc_, rect); }

void RenderContext_GdiPlus::ClipToRoundRect(const Rect& rect, int cornerWidth, int cornerHeight) {
  clip_.SelectRoundRectClip(dc_, rect, cornerWidth, cornerHeight);
}

void RenderContext_GdiPlus::RemoveClip() { clip_.RestoreClip(dc_); }

int RenderContext_GdiPlus::CopyFromDC(int x, int y, int cx, int cy, HDC source, int xSource, int ySource, DWORD rop) {
  return BitBlt(dc_, x, y, cx, cy, source, xSource, ySource, rop);
}

bool RenderContext_GdiPlus::BlendFromDC(int x, int y, int cx, int cy, HDC source, int xSource, int ySource,
                                        int cxSource, int cySource, uint8_t alpha) {
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
  return AlphaBlend(dc_, x, y, cx, cy, source, xSource, ySource, cxSource, cySource, blend) == TRUE;
}

void RenderContext_GdiPlus::FillRectByColorName(const Rect& rect, const std::wstring& colorName, uint8_t alpha) {
  if (colorName.empty()) return;
  FillRectArgb(rect, UiRuntime::GetColor(colorName), alpha);
}

bool RenderContext_GdiPlus::FillOpaqueRect(const Rect& rect, ArgbColor color) {
  auto* pixels = static_cast<uint32_t*>(surface_.PixelBits());
  if (!pixels || !topDown_ || rect.Width() <= 0 || rect.Height() <= 0) return false;
  // Only where logical to device is a plain shift.
  if (GetMapMode(dc_) != MM_TEXT || GetGraphicsMode(dc_) != GM_COMPATIBLE) return false;
  POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
  if (!LPtoDP(dc_, corners, 2)) return false;
  Rect area{std::max<int32_t>(corners[0].x, 0), std::max<int32_t>(corners[0].y, 0),
            std::min<int32_t>(corners[1].x, surface_.Width()), std::min<int32_t>(corners[1].y, surface_.Height())};
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  if (!clip) return false;
  const int clipped = GetClipRgn(dc_, clip);
  RECT box = {};
  const int kind = clipped == 1 ? GetRgnBox(clip, &box) : NULLREGION;
  DeleteObject(clip);
  if (clipped == -1 || (clipped == 1 && kind != SIMPLEREGION && kind != NULLREGION)) return false;
  if (clipped == 1) {
    if (kind == NULLREGION) return true;
    area = Rect{std::max<int32_t>(area.left, box.left), std::max<int32_t>(area.top, box.top),
                std::min<int32_t>(area.right, box.right), std::min<int32_t>(area.bottom, box.bottom)};
  }
  if (area.left >= area.right || area.top >= area.bottom) return true;
  GdiFlush();  // GDI may hold drawing of its own still to be done on these pixels
  for (int32_t y = area.top; y < area.bottom; ++y) {
    uint32_t* row = pixels + static_cast<size_t>(y) * surface_.Width();
    std::fill(row + area.left, row + area.right, color);
  }
  return true;
}

void RenderContext_GdiPlus::FillRectArgb(const Rect& rect, ArgbColor color, uint8_t alpha) {
  if (alpha != 255) color = (((color >> 24) * alpha / 255) << 24) | (color & 0xFFFFFF);
  // An opaque fill replaces the pixels, which GDI+ does many times slower than a plain write.
  if ((color >> 24) == 255 && FillOpaqueRect(rect, color)) return;
  ScopedGraphics graphics(dc_);
  if (!graphics.get()) return;
  GpSolidFill* brush = nullptr;
  if (GdipCreateSolidFill(color, &brush) != Ok) return;
  GdipFillRectangleI(graphics.get(), brush, rect.left, rect.top, rect.Width(), rect.Height());
  GdipDeleteBrush(brush);
}

void RenderContext_GdiPlus::StrokeLineWithPen(IPen* pen, int x1, int y1, int x2, int y2) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  GpPen* native = pen ? static_cast<Pen_GdiPlus*>(pen)->NativePen() : nullptr;
  GdipDrawLineI(graphics.get(), native, x1, y1, x2, y2);
}

void RenderContext_GdiPlus::StrokeLine(const Rect& endPoints, int width, ArgbColor color) {
  ScopedGraphics graphics(dc_);
  ScopedPen pen(color, width);
  GdipDrawLineI(graphics.get(), pen.pen, endPoints.left, endPoints.top, endPoints.right, endPoints.bottom);
}

void RenderContext_GdiPlus::StrokeBezierWithPen(IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4,
                                                int y4) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  GpPen* native = pen ? static_cast<Pen_GdiPlus*>(pen)->NativePen() : nullptr;
  GdipDrawBezierI(graphics.get(), native, x1, y1, x2, y2, x3, y3, x4, y4);
}

void RenderContext_GdiPlus::StrokeRect(const Rect& rect, int width, ArgbColor color) {
  ScopedGraphics graphics(dc_);
  ScopedPen pen(color, width);
  GdipDrawRectangleI(graphics.get(), pen.pen, rect.left, rect.top, rect.Width(), rect.Height());
}

void RenderContext_GdiPlus::StrokeRoundRect(const Rect& rect, Size corner, int width, ArgbColor color) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  ScopedPen pen(color, width);
  GpPath* path = nullptr;
  if (GdipCreatePath(FillModeAlternate, &path) != Ok) return;
  const int l = rect.left, t = rect.top, r = rect.right, b = rect.bottom, cx = corner.cx, cy = corner.cy;
  GdipAddPathArcI(path, l, t, cx, cy, 180, 90);
  GdipAddPathLineI(path, l + cx, t, r - cx, t);
  GdipAddPathArcI(path, r - cx, t, cx, cy, 270, 90);
  GdipAddPathLineI(path, r, t + cy, r, b - cy);
  GdipAddPathArcI(path, r - cx, b - cy, cx, cy, 0, 90);
  GdipAddPathLineI(path, r - cx, b, l + cx, b);
  GdipAddPathArcI(path, l, b - cy, cx, cy, 90, 90);
  GdipAddPathLineI(path, l, b - cy, l, t + cy);
  GdipClosePathFigure(path);
  GdipDrawPath(graphics.get(), pen.pen, path);
  GdipDeletePath(path);
}

void RenderContext_GdiPlus::StrokeEllipse(const Rect& rect, int width, ArgbColor color) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  ScopedPen pen(color, width);
  GdipDrawEllipseI(graphics.get(), pen.pen, rect.left, rect.top, rect.Width(), rect.Height());
}

void RenderContext_GdiPlus::FillEllipseArgb(const Rect& rect, ArgbColor color) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  GpSolidFill* brush = nullptr;
  if (GdipCreateSolidFill(color, &brush) != Ok) return;
  GdipFillEllipseI(graphics.get(), brush, rect.left, rect.top, rect.Width(), rect.Height());
  GdipDeleteBrush(brush);
}

void RenderContext_GdiPlus::StrokePath(IPath* path, IPen* pen) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  GdipDrawPath(graphics.get(), pen ? static_cast<Pen_GdiPlus*>(pen)->NativePen() : nullptr,
               path ? static_cast<Path_Gdiplus*>(path)->NativePath() : nullptr);
}

void RenderContext_GdiPlus::FillPath(IPath* path, IBrush* brush) {
  ScopedGraphics graphics(dc_);
  graphics.AntiAlias();
  GpBrush* native = nullptr;
  if (brush) {
    auto* gdiplusBrush = static_cast<Brush_Gdiplus*>(brush);
    native = gdiplusBrush->SolidBrush() ? static_cast<GpBrush*>(gdiplusBrush->SolidBrush())
                                        : static_cast<GpBrush*>(gdiplusBrush->TextureBrush());
  }
  GdipFillPath(graphics.get(), native, path ? static_cast<Path_Gdiplus*>(path)->NativePath() : nullptr);
}

void RenderContext_GdiPlus::DrawTextInRect(const Rect& rect, const std::wstring& text, ArgbColor color,
                                           const std::wstring& fontId, UINT style, uint8_t alpha, bool lineLimit) {
  if (text.empty()) return;
  ScopedGraphics graphics(dc_);
  if (!graphics.get()) return;
  ApplyTextAntiAlias(graphics.get());
  GpFont* font = FindGdiplusFont(fontId);
  if (!font) return;
  RectF layout(static_cast<REAL>(rect.left), static_cast<REAL>(rect.top), static_cast<REAL>(rect.Width()),
               static_cast<REAL>(rect.Height()));
  int textAlpha = static_cast<int>((color >> 24) / 255.0 * alpha);
  // Opaque GDI+ text leaves the surface's alpha bytes unset; one step below opaque makes
  // GDI+ blend the glyphs itself and write alpha.
  if (textAlpha == 255) textAlpha = 254;
  ScopedTypographicFormat format;
  ApplyTextStyleToFormat(format.format, style, lineLimit);
  GpSolidFill* brush = nullptr;
  if (GdipCreateSolidFill((static_cast<ArgbColor>(textAlpha) << 24) | (color & 0xFFFFFF), &brush) != Ok) return;
  GdipDrawString(graphics.get(), text.c_str(), static_cast<INT>(text.size()), font, &layout, format.format, brush);
  GdipDeleteBrush(brush);
}

void RenderContext_GdiPlus::DrawTextWithEffect(const Rect& rect, const std::wstring& text, ArgbColor color,
                                               const std::wstring& fontId, UINT style, ITextEffect* effect,
                                               bool lineLimit) {
  if (text.empty() || !effect) return;
  ScopedGraphics graphics(dc_);
  if (!graphics.get()) return;
  if (g_textAntiAlias) {
    ApplyTextAntiAlias(graphics.get());
    GdipSetInterpolationMode(graphics.get(), InterpolationModeHighQualityBicubic);
  }
  GpFont* font = FindGdiplusFont(fontId);
  if (!font) return;
  ScopedTypographicFormat format;
  ApplyTextStyleToFormat(format.format, style, lineLimit);
  effect->RenderText(rect, text, color, graphics.get(), font, format.format);
}

Rect RenderContext_GdiPlus::MeasureText(const std::wstring& text, const std::wstring& fontId, UINT style, int width) {
  ScopedGraphics graphics(dc_);
  GpFont* font = FindGdiplusFont(fontId);
  if (!graphics.get() || !font) return Rect{0, 0, 1, 1};
  ScopedTypographicFormat format;
  GdipSetStringFormatFlags(format.format, (style & DT_SINGLELINE) ? StringFormatFlagsNoWrap : 0);
  RectF layout(0, 0, 0, 0);
  if (width != -1) {
    REAL height = 0;
    if (style & DT_SINGLELINE) {
      // One line's height, taken from a sample with CJK glyphs, the tallest this UI shows.
      RectF sample(0, 0, 0, 0);
      GdipMeasureString(graphics.get(), L"\x6D4B\x8BD5", 2, font, &layout, format.format, &sample, nullptr, nullptr);
      height = sample.Height;
    }
    layout = RectF(0, 0, static_cast<REAL>(width), height);
  }
  RectF box(0, 0, 0, 0);
  GdipMeasureString(graphics.get(), text.c_str(), static_cast<INT>(text.size()), font, &layout, format.format, &box,
                    nullptr, nullptr);
  return Rect{static_cast<int32_t>(box.X), static_cast<int32_t>(box.Y), static_cast<int32_t>(box.X + box.Width + 1),
              static_cast<int32_t>(box.Y + box.Height + 1)};
}

AutoClip::AutoClip(IRenderContext* context, const Rect& rect, bool condition) : context_(context) {
  if (condition && context_) {
    context_->ClipToRect(rect);
    applied_ = true;
  }
}

AutoClip::AutoClip(IRenderContext* context, const Rect& rect, Size roundCorner, bool condition) : context_(context) {
  if (condition && context_) {
    context_->ClipToRoundRect(rect, roundCorner.cx, roundCorner.cy);
    applied_ = true;
  }
}

AutoClip::~AutoClip() {
  if (applied_ && context_) context_->RemoveClip();
}

}  // namespace ui
