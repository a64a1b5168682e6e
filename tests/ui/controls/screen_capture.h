#pragma once

// Reads a rectangle of the screen back as 32-bit pixels and saves it as a PNG in the build's
// "screenshots" folder, for tests that look at what a real window shows.

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support/screenshot.h"
#include "ui/render/gdiplus_api.h"

namespace controls_test {

struct ScreenImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

inline ScreenImage CaptureScreen(const RECT& area) {
  ScreenImage image;
  image.width = area.right - area.left;
  image.height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, image.width, image.height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const uint32_t* first = static_cast<const uint32_t*>(bits);
  image.pixels.assign(first, first + image.width * image.height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

// The full path the PNG was written to, empty on failure.
inline std::wstring SaveScreenshot(const ScreenImage& image, const std::wstring& name) {
  const std::wstring full = test_support::ScreenshotPath(name);
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return std::wstring();
  bool saved = false;
  CLSID encoder;
  if (test_support::PngEncoder(&encoder)) {
    std::vector<uint32_t> opaque(image.pixels);
    for (uint32_t& p : opaque) p |= 0xFF000000;
    Gdiplus::GpBitmap* png = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(image.width, image.height, image.width * 4, PixelFormat32bppARGB,
                                                       reinterpret_cast<BYTE*>(opaque.data()), &png) == Gdiplus::Ok) {
      saved = Gdiplus::DllExports::GdipSaveImageToFile(png, full.c_str(), &encoder, nullptr) == Gdiplus::Ok;
      Gdiplus::DllExports::GdipDisposeImage(png);
    }
  }
  Gdiplus::GdiplusShutdown(token);
  return saved ? full : std::wstring();
}

}  // namespace controls_test
