#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <type_traits>

#include "render_test_support.h"
#include "ui/render/drawing_tools.h"
#include "ui/render/gdi_bitmap.h"
#include "ui/render/render_factory_gdiplus.h"
#include "ui/render/text_effect.h"

namespace {

using render_test::NewContext;
using render_test::PixelAt;

class ScreenDC {
 public:
  ScreenDC() : dc_(GetDC(nullptr)) {}
  ~ScreenDC() { ReleaseDC(nullptr, dc_); }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

TEST(GdiBitmap, RefusedSizesLeaveTheBitmapEmpty) {
  ScreenDC screen;
  struct Case {
    HDC dc;
    int width, height;
  } cases[] = {{screen.get(), 0, 10}, {screen.get(), 10, 0}, {screen.get(), -3, 4},
               {nullptr, 10, 10},
               // 70000 x 70000 x 4 bytes overflows 32 bits; no DIB section describes it.
               {screen.get(), 70000, 70000}, {screen.get(), 0x7FFFFFFF, 2}};
  for (const Case& c : cases) {
    ui::GdiBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateSurface(screen.get(), 4, 4, true));
    EXPECT_FALSE(bitmap.CreateSurface(c.dc, c.width, c.height, true)) << c.width << "x" << c.height;
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.Handle(), nullptr);
    EXPECT_EQ(bitmap.PixelBits(), nullptr);
    // Without pixels these write nothing.
    bitmap.ZeroPixels();
    bitmap.FillRectBytes(ui::Rect{0, 0, 70000, 70000}, 9);
    bitmap.RestoreAlphaExceptCorners(ui::Rect{0, 0, 70000, 70000}, ui::Rect{}, 0);
  }
}

TEST(GdiBitmap, TopDownSurfaceAndClampedByteFills) {
  ScreenDC screen;
  ui::GdiBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateSurface(screen.get(), 3, 2, true));
  auto* bytes = static_cast<uint8_t*>(bitmap.PixelBits());
  bitmap.ZeroPixels();
  bitmap.FillRectBytes(ui::Rect{0, 0, 1, 1}, 7);
  const uint8_t firstPixel[] = {7, 7, 7, 7, 0};
  EXPECT_EQ(memcmp(bytes, firstPixel, 5), 0) << "row 0 is the top row";

  struct Case {
    ui::Rect rect;
    const char* expected;  // one letter a pixel, row by row: x filled, . untouched
  } cases[] = {
      {{-5, -5, 2, 1}, "xx.|..."},
      {{1, 1, 99, 99}, "...|.xx"},
      {{-10, 0, -1, 2}, "...|..."},
      {{2, 0, 1, 2}, "...|..."},
      {{0, 0, 3, 2}, "xxx|xxx"},
  };
  for (const Case& c : cases) {
    bitmap.ZeroPixels();
    bitmap.FillRectBytes(c.rect, 0xAB);
    std::string seen;
    for (int y = 0; y < 2; ++y) {
      if (y) seen += '|';
      for (int x = 0; x < 3; ++x) {
        const uint8_t* pixel = bytes + (y * 3 + x) * 4;
        const bool filled = pixel[0] == 0xAB && pixel[1] == 0xAB && pixel[2] == 0xAB && pixel[3] == 0xAB;
        seen += filled ? 'x' : (pixel[0] | pixel[1] | pixel[2] | pixel[3]) ? '?' : '.';
      }
    }
    EXPECT_EQ(seen, c.expected) << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
  }
}

TEST(GdiBitmap, AlphaFixSparesTheSurfaceCornersAndKeysOneAlpha) {
  ScreenDC screen;
  ui::GdiBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateSurface(screen.get(), 100, 50, true));
  auto* bytes = static_cast<uint8_t*>(bitmap.PixelBits());
  auto alphaAt = [&](int x, int y) -> uint8_t& { return bytes[(y * 100 + x) * 4 + 3]; };
  auto blueAt = [&](int x, int y) -> uint8_t& { return bytes[(y * 100 + x) * 4]; };
  struct Case {
    int x, y;
    uint8_t alphaBefore;
    int key;
    ui::Rect rect;
    uint8_t alphaAfter;
  } cases[] = {
      {2, 2, 40, 0, {0, 0, 100, 50}, 40},     // top-left corner square keeps its alpha
      {97, 47, 40, 0, {0, 0, 100, 50}, 40},   // bottom-right corner square too
      {2, 10, 40, 0, {0, 0, 100, 50}, 255},   // below the corner square
      {50, 2, 40, 0, {0, 0, 100, 50}, 255},   // beside it
      {50, 20, 10, 10, {0, 0, 100, 50}, 0},   // the key alpha becomes transparent
      {50, 20, 11, 10, {0, 0, 100, 50}, 255}, // any other alpha opaque
      {50, 20, 0, 0, {0, 0, 100, 50}, 255},   // key 0 keys nothing
      // Corners are measured from the surface, not from rect: (12, 12) is no corner pixel
      // although it lies in rect's own top-left square.
      {12, 12, 40, 0, {10, 10, 60, 40}, 255},
      {70, 20, 40, 0, {10, 10, 60, 40}, 40},  // outside rect: untouched
  };
  for (const Case& c : cases) {
    bitmap.FillRectBytes(ui::Rect{0, 0, 100, 50}, 0x33);
    alphaAt(c.x, c.y) = c.alphaBefore;
    bitmap.RestoreAlphaExceptCorners(c.rect, ui::Rect{4, 4, 4, 4}, c.key);
    EXPECT_EQ(alphaAt(c.x, c.y), c.alphaAfter) << c.x << "," << c.y << " key " << c.key;
    EXPECT_EQ(blueAt(c.x, c.y), 0x33) << "colour bytes are not touched";
  }
}

TEST(GdiBitmap, DetachHandsOverTheSectionOnce) {
  ScreenDC screen;
  ui::GdiBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateSurface(screen.get(), 5, 5, false));
  HBITMAP first = bitmap.DetachHandle();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(bitmap.DetachHandle(), nullptr);
  EXPECT_EQ(bitmap.Width(), 0);
  BITMAP described = {};
  ASSERT_EQ(GetObjectW(first, sizeof(described), &described), static_cast<int>(sizeof(described)));
  EXPECT_EQ(described.bmWidth, 5);
  EXPECT_EQ(described.bmBitsPixel, 32);
  DeleteObject(first);
}

TEST(RenderFactory, EveryOperationMakesAnOwnedObject) {
  ui::RenderFactory_GdiPlus factory;
  ui::IRenderFactory& f = factory;
  std::unique_ptr<ui::IPen> pen(f.NewPen(0xFF112233, 3));
  std::unique_ptr<ui::IBrush> brush(f.NewSolidBrush(0x80FF0000));
  std::unique_ptr<ui::IMatrix> matrix(f.NewMatrix());
  std::unique_ptr<ui::IPath> path(f.NewPath());
  std::unique_ptr<ui::IBitmap> bitmap(f.NewBitmap());
  std::unique_ptr<ui::IRenderContext> context(f.NewRenderContext());
  std::unique_ptr<ui::ITextEffect> effect(f.NewTextEffect());
  ASSERT_TRUE(pen && brush && matrix && path && bitmap && context && effect);
  EXPECT_EQ(pen->Color(), 0xFF112233u);
  EXPECT_EQ(pen->Width(), 3);
  EXPECT_EQ(brush->Color(), 0x80FF0000u);
  EXPECT_EQ(brush->Bitmap(), nullptr);
  EXPECT_EQ(path->FillMode(), 0);
  EXPECT_EQ(bitmap->Width(), 0);
  EXPECT_EQ(context->SurfaceWidth(), 0);
  EXPECT_EQ(effect->CharSpacing(), 0);
}

// Whoever owns the factory deletes it by its concrete type; the interface cannot be
// deleted through.
static_assert(!std::is_destructible_v<ui::IRenderFactory>);
static_assert(std::is_destructible_v<ui::RenderFactory_GdiPlus>);

TEST(RenderFactory, TheRuntimeHoldsTheGdiplusFactory) {
  ui::IRenderFactory* factory = ui::UiRuntime::GetRenderFactory();
  ASSERT_NE(factory, nullptr);
  EXPECT_NE(dynamic_cast<ui::RenderFactory_GdiPlus*>(factory), nullptr);
  std::unique_ptr<ui::IRenderContext> context(factory->NewRenderContext());
  EXPECT_TRUE(context->ResizeSurface(2, 2, true));
}

TEST(RenderFactory, TextureBrushFillsWithTheBitmapAndABadHandleDrawsNothing) {
  ui::RenderFactory_GdiPlus factory;
  auto pattern = NewContext(2, 2);
  render_test::Paint(*pattern, 0xFF00FF00);
  HBITMAP handle = pattern->DetachBitmap();
  std::unique_ptr<ui::IBrush> texture(factory.NewBitmapBrush(handle));
  std::unique_ptr<ui::IBrush> broken(factory.NewBitmapBrush(reinterpret_cast<HBITMAP>(0x1234)));
  ASSERT_TRUE(texture && broken) << "a brush object even for a handle GDI+ cannot convert";
  EXPECT_EQ(texture->Color(), 0u);
  DeleteObject(handle);  // the texture keeps its own pixels

  std::unique_ptr<ui::IPath> path(factory.NewPath());
  path->AddRectangle(ui::Rect{2, 2, 8, 8});
  auto target = NewContext(10, 10);
  render_test::Paint(*target, 0xFF000000);
  target->FillPath(path.get(), broken.get());
  EXPECT_TRUE(render_test::RgbNear(PixelAt(*target, 5, 5), 0xFF000000));
  target->FillPath(path.get(), texture.get());
  EXPECT_TRUE(render_test::RgbNear(PixelAt(*target, 5, 5), 0xFF00FF00));
  EXPECT_TRUE(render_test::RgbNear(PixelAt(*target, 9, 9), 0xFF000000));
}

}  // namespace
