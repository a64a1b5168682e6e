// Nine-grid drawing of the GDI+ render context: corners keep their size, edges stretch
// along their length, the middle stretches or tiles.
#include <algorithm>
#include <functional>

#include "ui/core/dpi_scale.h"
#include "ui/render/render_context_gdiplus.h"

namespace ui {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

bool IsEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Meets(const Rect& a, const Rect& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

using PieceDrawer = std::function<void(const Rect& dest, const Rect& source)>;

// Walks the pieces of one nine-grid drawing. A piece with an empty or inverted source or
// destination (corners larger than the picture or the destination) is skipped, and a
// piece reaching outside dest is cut to it together with its share of the source, so
// nothing lands outside dest.
class NineGridWalker {
 public:
  NineGridWalker(const Rect& paint, const Rect& dest, const PieceDrawer& draw) : paint_(paint), dest_(dest), draw_(draw) {}

  void Piece(Rect d, Rect s) const {
    if (IsEmpty(d) || IsEmpty(s) || !Meets(d, paint_)) return;
    if (!FitInside(d, s)) return;
    draw_(d, s);
  }

 private:
  bool FitInside(Rect& d, Rect& s) const {
    const Rect cut{std::max(d.left, dest_.left), std::max(d.top, dest_.top), std::min(d.right, dest_.right),
                   std::min(d.bottom, dest_.bottom)};
    if (IsEmpty(cut)) return false;
    const int64_t dw = d.Width(), dh = d.Height(), sw = s.Width(), sh = s.Height();
    Rect kept = s;
    kept.left += static_cast<int32_t>((cut.left - d.left) * sw / dw);
    kept.right -= static_cast<int32_t>((d.right - cut.right) * sw / dw);
    kept.top += static_cast<int32_t>((cut.top - d.top) * sh / dh);
    kept.bottom -= static_cast<int32_t>((d.bottom - cut.bottom) * sh / dh);
    if (IsEmpty(kept)) return false;
    d = cut;
    s = kept;
    return true;
  }

  Rect paint_;
  Rect dest_;
  const PieceDrawer& draw_;
};

void WalkNineGrid(const Rect& paint, const Rect& dest, const Rect& source, const Rect& corners, bool xTiled,
                  bool yTiled, const PieceDrawer& draw) {
  // Destination corners follow the DPI scale; source corners are picture pixels.
  Rect scaled = corners;
  DpiScale::Instance().ScaleRect(scaled);
  const NineGridWalker walker(paint, dest, draw);
  const Rect dm{dest.left + scaled.left, dest.top + scaled.top, dest.right - scaled.right, dest.bottom - scaled.bottom};
  const Rect sm{source.left + corners.left, source.top + corners.top, source.right - corners.right,
                source.bottom - corners.bottom};
  const int32_t tileW = sm.Width(), tileH = sm.Height();
  // A tile below one pixel cannot tile: such a middle is stretched, which skips it.
  const bool tileX = xTiled && tileW >= 1, tileY = yTiled && tileH >= 1;

  if (!IsEmpty(dm) && Meets(dm, paint)) {
    if (!tileX && !tileY) {
      walker.Piece(dm, sm);
    } else if (tileX && !tileY) {
      for (int64_t x = dm.left; x < dm.right; x += tileW) {
        const int32_t left = static_cast<int32_t>(x), w = std::min<int32_t>(tileW, dm.right - left);
        walker.Piece(Rect{left, dm.top, left + w, dm.bottom}, Rect{sm.left, sm.top, sm.left + w, sm.bottom});
      }
    } else if (!tileX && tileY) {
      for (int64_t y = dm.top; y < dm.bottom; y += tileH) {
        const int32_t top = static_cast<int32_t>(y), h = std::min<int32_t>(tileH, dm.bottom - top);
        walker.Piece(Rect{dm.left, top, dm.right, top + h}, Rect{sm.left, sm.top, sm.right, sm.top + h});
      }
    } else {
      for (int64_t y = dm.top; y < dm.bottom; y += tileH) {
        const int32_t top = static_cast<int32_t>(y), h = std::min<int32_t>(tileH, dm.bottom - top);
        for (int64_t x = dm.left; x < dm.right; x += tileW) {
          const int32_t left = static_cast<int32_t>(x), w = std::min<int32_t>(tileW, dm.right - left);
          walker.Piece(Rect{left, top, left + w, top + h}, Rect{sm.left, sm.top, sm.left + w, sm.top + h});
        }
      }
    }
  }

  const Rect& c = corners;
  const Rect& k = scaled;
  const Rect& d = dest;
  const Rect& s = source;
  if (c.left > 0 && c.top > 0)
    walker.Piece({d.left, d.top, d.left + k.left, d.top + k.top}, {s.left, s.top, s.left + c.left, s.top + c.top});
  if (c.top > 0)
    walker.Piece({d.left + k.left, d.top, d.right - k.right, d.top + k.top},
                 {s.left + c.left, s.top, s.right - c.right, s.top + c.top});
  if (c.right > 0 && c.top > 0)
    walker.Piece({d.right - k.right, d.top, d.right, d.top + k.top}, {s.right - c.right, s.top, s.right, s.top + c.top});
  if (c.left > 0)
    walker.Piece({d.left, d.top + k.top, d.left + k.left, d.bottom - k.bottom},
                 {s.left, s.top + c.top, s.left + c.left, s.bottom - c.bottom});
  if (c.right > 0)
    walker.Piece({d.right - k.right, d.top + k.top, d.right, d.bottom - k.bottom},
                 {s.right - c.right, s.top + c.top, s.right, s.bottom - c.bottom});
  if (c.left > 0 && c.bottom > 0)
    walker.Piece({d.left, d.bottom - k.bottom, d.left + k.left, d.bottom},
                 {s.left, s.bottom - c.bottom, s.left + c.left, s.bottom});
  if (c.bottom > 0)
    walker.Piece({d.left + k.left, d.bottom - k.bottom, d.right - k.right, d.bottom},
                 {s.left + c.left, s.bottom - c.bottom, s.right - c.right, s.bottom});
  if (c.right > 0 && c.bottom > 0)
    walker.Piece({d.right - k.right, d.bottom - k.bottom, d.right, d.bottom},
                 {s.right - c.right, s.bottom - c.bottom, s.right, s.bottom});
}

}  // namespace

void RenderContext_GdiPlus::BlitPiece(HDC destDC, bool transparent, const Rect& dest, HDC sourceDC,
                                      const Rect& source, bool hasAlpha, uint8_t alpha) {
  const bool resized = dest.Width() != source.Width() || dest.Height() != source.Height();
  if (!transparent && !hasAlpha && alpha == 255 && resized) {
    StretchBlt(destDC, dest.left, dest.top, dest.Width(), dest.Height(), sourceDC, source.left, source.top,
               source.Width(), source.Height(), SRCCOPY);
    return;
  }
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
  AlphaBlend(destDC, dest.left, dest.top, dest.Width(), dest.Height(), sourceDC, source.left, source.top,
             source.Width(), source.Height(), blend);
}

namespace {

// How one axis of a GDI+ piece is sampled. GDI+ drops a dest pixel whose mapped position
// falls outside the source rectangle, and works that position out in single precision
// from the surface origin: far from the origin the error outgrows any shift of the dest
// start that still rounds to the same pixel, and a piece's first or last row or column
// comes out see-through. So a resized piece is drawn one source pixel wider on each side,
// mapped exactly as before, and clipped to its own dest. Bilinear sampling of a resized
// piece also reads the pixel after the piece, which belongs to the neighbour piece or
// lies outside the picture.
struct PieceAxis {
  REAL dest, destLength, source, sourceLength;
  bool widened;
};

PieceAxis SampleAxis(int dest, int destLength, int source, int sourceLength, bool nearest) {
  if (destLength == sourceLength)
    return {REAL(dest), REAL(destLength), REAL(source), REAL(sourceLength), false};
  // An enlarged piece sampled bilinearly spans one pixel less, so its last dest pixel
  // lands on the piece's last pixel rather than between it and the next. A shrunk piece
  // never reaches past its last pixel, and nearest neighbour takes the pixel under the
  // mapped position: both keep the whole piece.
  const bool enlarged = destLength > sourceLength;
  const REAL span = enlarged && !nearest ? REAL(sourceLength - 1) : REAL(sourceLength);
  // The dest start moves back by less than half a pixel, so the first pixel maps just
  // inside the piece and bilinear sampling does not reach the pixel before it.
  const REAL lead = std::min(0.25f, destLength / span / 256.0f);
  const REAL perSource = (destLength + lead) / span;  // dest pixels per source pixel
  return {dest - lead - perSource, destLength + lead + 2 * perSource, REAL(source - 1), span + 2, true};
}

}  // namespace

void RenderContext_GdiPlus::DrawImagePiece(GpGraphics* graphics, GpImage* image, int xSource, int ySource,
                                           int cxSource, int cySource, int x, int y, int cx, int cy, uint8_t alpha) {
  GpImageAttributes* attributes = nullptr;
  GdipCreateImageAttributes(&attributes);
  // Past the picture's edge GDI+ would blend in transparent pixels where the mapped
  // position lands a little outside it; mirroring repeats the edge pixel instead.
  if (attributes) GdipSetImageAttributesWrapMode(attributes, WrapModeTileFlipXY, 0, FALSE);
  if (attributes && alpha != 255) {
    ColorMatrix matrix = {};
    for (int i = 0; i < 5; ++i) matrix.m[i][i] = 1.0f;
    matrix.m[3][3] = alpha / 255.0f;
    GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeBitmap, TRUE, &matrix, nullptr,
                                      ColorMatrixFlagsDefault);
  }
  // A piece one source pixel across in a resized direction is that pixel repeated:
  // blending it with anything would tint the whole stretch.
  const bool nearest = (cx != cxSource && cxSource == 1) || (cy != cySource && cySource == 1);
  GdipSetInterpolationMode(graphics, nearest ? InterpolationModeNearestNeighbor : InterpolationModeBilinear);
  GdipSetPixelOffsetMode(graphics, nearest ? PixelOffsetModeHalf : PixelOffsetModeDefault);
  const PieceAxis h = SampleAxis(x, cx, xSource, cxSource, nearest);
  const PieceAxis v = SampleAxis(y, cy, ySource, cySource, nearest);
  const bool clipped = h.widened || v.widened;
  if (clipped) GdipSetClipRectI(graphics, x, y, cx, cy, CombineModeReplace);
  GdipDrawImageRectRect(graphics, image, h.dest, v.dest, h.destLength, v.destLength, h.source, v.source,
                        h.sourceLength, v.sourceLength, UnitPixel, attributes, nullptr, nullptr);
  if (clipped) GdipResetClip(graphics);
  if (attributes) GdipDisposeImageAttributes(attributes);
}

void RenderContext_GdiPlus::DrawNineGridBitmap(const Rect& paint, HBITMAP bitmap, bool hasAlpha, const Rect& dest,
                                               const Rect& source, const Rect& corners, uint8_t alpha, bool xTiled,
                                               bool yTiled) {
  if (!bitmap || !Meets(dest, paint)) return;
  HDC pictureDC = CreateCompatibleDC(dc_);
  if (!pictureDC) return;
  HGDIOBJ previous = SelectObject(pictureDC, bitmap);
  const int previousMode = SetStretchBltMode(dc_, HALFTONE);
  const bool transparent = transparent_;
  WalkNineGrid(paint, dest, source, corners, xTiled, yTiled, [&](const Rect& d, const Rect& s) {
    BlitPiece(dc_, transparent, d, pictureDC, s, hasAlpha, alpha);
  });
  SetStretchBltMode(dc_, previousMode);
  SelectObject(pictureDC, previous);
  DeleteDC(pictureDC);
}

void RenderContext_GdiPlus::DrawNineGridImage(const Rect& paint, GpImage* image, const Rect& dest, const Rect& source,
                                              const Rect& corners, uint8_t alpha, bool xTiled, bool yTiled) {
  if (!image || !Meets(dest, paint)) return;
  GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(dc_, &graphics) != Ok || !graphics) return;
  GdipSetSmoothingMode(graphics, SmoothingModeHighQuality);
  WalkNineGrid(paint, dest, source, corners, xTiled, yTiled, [&](const Rect& d, const Rect& s) {
    DrawImagePiece(graphics, image, s.left, s.top, s.Width(), s.Height(), d.left, d.top, d.Width(), d.Height(), alpha);
  });
  GdipDeleteGraphics(graphics);
}

}  // namespace ui
