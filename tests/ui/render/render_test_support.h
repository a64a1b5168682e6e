#pragma once

// Shared pieces of the render tests: GDI+ started once for the executable, surfaces read
// back pixel by pixel, and colour comparisons with a tolerance.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "ui/render/render_context_gdiplus.h"
#include "ui/resources/ui_runtime.h"

namespace render_test {

// Starts the UI runtime (GDI+, memory DC) for the whole executable.
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ui::UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override { ui::UiRuntime::Uninitialize(); }
};

// A top-down context of that size, zeroed.
inline std::unique_ptr<ui::RenderContext_GdiPlus> NewContext(int width, int height) {
  auto context = std::make_unique<ui::RenderContext_GdiPlus>();
  context->ResizeSurface(width, height, true);
  context->ZeroPixels();
  return context;
}

// 0xAARRGGBB of pixel (x, y) of a top-down surface.
inline uint32_t PixelAt(ui::IRenderContext& context, int x, int y) {
  const auto* bytes = static_cast<const uint8_t*>(context.PixelBits()) + (static_cast<size_t>(y) * context.SurfaceWidth() + x) * 4;
  return (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[0];
}

inline void SetPixelAt(ui::IRenderContext& context, int x, int y, uint32_t argb) {
  auto* bytes = static_cast<uint8_t*>(context.PixelBits()) + (static_cast<size_t>(y) * context.SurfaceWidth() + x) * 4;
  bytes[0] = argb & 0xFF;
  bytes[1] = (argb >> 8) & 0xFF;
  bytes[2] = (argb >> 16) & 0xFF;
  bytes[3] = argb >> 24;
}

// Fills the whole surface with one premultiplied colour, bypassing GDI.
inline void Paint(ui::IRenderContext& context, uint32_t argb) {
  for (int y = 0; y < context.SurfaceHeight(); ++y)
    for (int x = 0; x < context.SurfaceWidth(); ++x) SetPixelAt(context, x, y, argb);
}

// Red, green and blue each within tolerance (alpha ignored: GDI leaves it as it finds it).
inline ::testing::AssertionResult RgbNear(uint32_t actual, uint32_t expected, int tolerance = 2) {
  for (int shift : {16, 8, 0}) {
    const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > tolerance)
      return ::testing::AssertionFailure() << std::hex << "pixel 0x" << actual << ", expected about 0x" << expected;
  }
  return ::testing::AssertionSuccess();
}

inline int Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }

}  // namespace render_test
