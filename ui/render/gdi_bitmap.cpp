#include "ui/render/gdi_bitmap.h"

#include <algorithm>
#include <cstring>

namespace ui {

GdiBitmap::~GdiBitmap() { Clear(); }

void GdiBitmap::Clear() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  pixels_ = nullptr;
  width_ = 0;
  height_ = 0;
}

bool GdiBitmap::CreateSurface(HDC dc, int width, int height, bool flipped) {
  Clear();
  if (!dc || width <= 0 || height <= 0) return false;
  // Computed in 64 bits: width * height * 4 overflows 32 bits long before GDI refuses.
  const int64_t bytes = int64_t{width} * height * 4;
  if (bytes > kMaxSurfaceBytes) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = flipped ? -height : height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!section) return false;
  BITMAP described = {};
  GetObjectW(section, sizeof(described), &described);
  if (!described.bmBits) {
    DeleteObject(section);
    return false;
  }
  bitmap_ = section;
  pixels_ = static_cast<uint8_t*>(described.bmBits);
  width_ = width;
  height_ = height;
  return true;
}

void GdiBitmap::ZeroPixels() {
  if (!pixels_) return;
  memset(pixels_, 0, static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4);
}

HBITMAP GdiBitmap::DetachHandle() {
  HBITMAP handle = bitmap_;
  bitmap_ = nullptr;
  Clear();
  return handle;
}

void GdiBitmap::FillRectBytes(const Rect& rect, uint8_t value) {
  if (!pixels_) return;
  const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, width_);
  const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height_);
  if (left >= right) return;
  for (int32_t y = top; y < bottom; ++y) {
    const size_t offset = (static_cast<size_t>(y) * width_ + left) * 4;
    memset(pixels_ + offset, value, static_cast<size_t>(right - left) * 4);
  }
}

void GdiBitmap::RestoreAlphaExceptCorners(const Rect& rect, const Rect& cornerSizes, int keyAlpha) {
  if (!pixels_) return;
  const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, width_);
  const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height_);
  for (int32_t y = top; y < bottom; ++y) {
    // Corner squares are measured from the surface's edges, not from rect's.
    const bool cornerRow = y < cornerSizes.top || y >= height_ - cornerSizes.bottom;
    uint8_t* row = pixels_ + static_cast<size_t>(y) * width_ * 4;
    for (int32_t x = left; x < right; ++x) {
      if (cornerRow && (x < cornerSizes.left || x >= width_ - cornerSizes.right)) continue;
      uint8_t& alpha = row[static_cast<size_t>(x) * 4 + 3];
      alpha = (keyAlpha != 0 && alpha == keyAlpha) ? 0 : 255;
    }
  }
}

}  // namespace ui
