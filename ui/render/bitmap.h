#pragma once

#include <windows.h>

#include <cstdint>

#include "base/weak_callback.h"
#include "ui/core/geometry.h"

namespace ui {

// A 32-bit pixel surface (blue, green, red, alpha; premultiplied wherever it is blended)
// under a render context.
class IBitmap : public base::SupportWeakCallback {
 public:
  ~IBitmap() override = default;
  // Replaces the surface by a new width x height one, top-down when flipped. False on a
  // null DC, a non-positive size, a size one surface cannot hold or a GDI failure; the
  // previous surface is gone in every case.
  virtual bool CreateSurface(HDC dc, int width, int height, bool flipped) = 0;
  virtual void ZeroPixels() = 0;
  // Hands the section to the caller and leaves the bitmap empty.
  virtual HBITMAP DetachHandle() = 0;
  virtual HBITMAP Handle() = 0;
  virtual void* PixelBits() = 0;
  virtual int32_t Width() = 0;
  virtual int32_t Height() = 0;
  // Sets all four bytes of every pixel inside rect (clamped to the surface) to value.
  virtual void FillRectBytes(const Rect& rect, uint8_t value) = 0;
  // Makes the pixels of rect opaque, except those in the four corner squares of the whole
  // surface; with a non-zero keyAlpha, pixels of exactly that alpha become transparent.
  virtual void RestoreAlphaExceptCorners(const Rect& rect, const Rect& cornerSizes, int keyAlpha) = 0;
};

}  // namespace ui
