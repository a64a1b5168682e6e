#include "ui/render/gdi_clip.h"

namespace ui {
namespace {

// Clip regions are in device coordinates; callers speak logical ones.
Rect ToDevice(HDC dc, Rect rect) {
  POINT origin = {};
  GetWindowOrgEx(dc, &origin);
  rect.left -= origin.x;
  rect.right -= origin.x;
  rect.top -= origin.y;
  rect.bottom -= origin.y;
  return rect;
}

void IntersectClip(HDC dc, HRGN region) {
  SaveDC(dc);
  ExtSelectClipRgn(dc, region, RGN_AND);
  DeleteObject(region);
}

}  // namespace

void GdiClip::SelectRectClip(HDC dc, Rect rect) {
  if (!dc) return;
  const Rect device = ToDevice(dc, rect);
  IntersectClip(dc, CreateRectRgn(device.left, device.top, device.right, device.bottom));
}

void GdiClip::SelectRoundRectClip(HDC dc, Rect rect, int cornerWidth, int cornerHeight) {
  if (!dc) return;
  const Rect device = ToDevice(dc, rect);
  IntersectClip(dc, CreateRoundRectRgn(device.left, device.top, device.right + 1, device.bottom + 1,
                                       cornerWidth, cornerHeight));
}

void GdiClip::RestoreClip(HDC dc) {
  if (!dc) return;
  RestoreDC(dc, -1);
}

}  // namespace ui
