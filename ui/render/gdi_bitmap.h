#pragma once

#include "ui/render/bitmap.h"

namespace ui {

// A DIB section. Pixel (x, y) of a top-down surface lies at byte (y * width + x) * 4.
class GdiBitmap : public IBitmap {
 public:
  GdiBitmap() = default;
  GdiBitmap(const GdiBitmap&) = delete;
  GdiBitmap& operator=(const GdiBitmap&) = delete;
  ~GdiBitmap() override;

  bool CreateSurface(HDC dc, int width, int height, bool flipped) override;
  void ZeroPixels() override;
  HBITMAP DetachHandle() override;
  HBITMAP Handle() override { return bitmap_; }
  void* PixelBits() override { return pixels_; }
  int32_t Width() override { return width_; }
  int32_t Height() override { return height_; }
  void FillRectBytes(const Rect& rect, uint8_t value) override;
  void RestoreAlphaExceptCorners(const Rect& rect, const Rect& cornerSizes, int keyAlpha) override;

  // The largest pixel buffer a surface may have: GDI sizes sections in signed 32 bits.
  static constexpr int64_t kMaxSurfaceBytes = 0x7FFFFFFF;

 private:
  void Clear();

  HBITMAP bitmap_ = nullptr;
  uint8_t* pixels_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

}  // namespace ui
