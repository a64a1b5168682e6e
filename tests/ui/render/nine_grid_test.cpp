#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "render_test_support.h"
#include "ui/core/dpi_scale.h"

namespace {

using namespace Gdiplus::DllExports;
using render_test::NewContext;
using render_test::Paint;
using render_test::PixelAt;
using render_test::RgbNear;
using render_test::SetPixelAt;

// A 30 x 30 picture with corners {10, 10, 10, 10}: each of its nine blocks has its own
// opaque colour.
const uint32_t kTopLeft = 0xFFFF0000, kTop = 0xFF00FF00, kTopRight = 0xFF0000FF, kLeft = 0xFFFFFF00,
               kMiddle = 0xFF00FFFF, kRight = 0xFFFF00FF, kBottomLeft = 0xFF800000, kBottom = 0xFF008000,
               kBottomRight = 0xFF000080;

uint32_t BlockColour(int x, int y) {
  const uint32_t blocks[3][3] = {{kTopLeft, kTop, kTopRight}, {kLeft, kMiddle, kRight}, {kBottomLeft, kBottom, kBottomRight}};
  return blocks[y / 10][x / 10];
}

// A picture both as a DIB section (for DrawNineGridBitmap) and as a GDI+ bitmap over the
// same pixels (for DrawNineGridImage).
class Picture {
 public:
  Picture(int width, int height, uint32_t (*colour)(int x, int y)) {
    auto pixels = NewContext(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) SetPixelAt(*pixels, x, y, colour(x, y));
    // Out of the context's DC, so the drawing can select it into its own.
    bitmap_ = pixels->DetachBitmap();
    BITMAP described = {};
    GetObjectW(bitmap_, sizeof(described), &described);
    GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(described.bmBits),
                              &image_);
  }
  ~Picture() {
    if (image_) GdipDisposeImage(image_);
    DeleteObject(bitmap_);
  }
  HBITMAP Bitmap() { return bitmap_; }
  Gdiplus::GpImage* Image() { return image_; }

 private:
  HBITMAP bitmap_ = nullptr;
  Gdiplus::GpBitmap* image_ = nullptr;
};

struct ScaleGuard {
  explicit ScaleGuard(int scale) {
    ui::DpiScale::Instance().SetAdapt(scale != 100);
    ui::DpiScale::Instance().SetScale(scale);
  }
  ~ScaleGuard() {
    ui::DpiScale::Instance().SetAdapt(false);
    ui::DpiScale::Instance().SetScale(100);
  }
};

enum class Path { kBitmap, kImage };
const char* Name(Path path) { return path == Path::kBitmap ? "DrawNineGridBitmap" : "DrawNineGridImage"; }

void Draw(Path path, ui::IRenderContext& context, Picture& picture, const ui::Rect& paint, const ui::Rect& dest,
          const ui::Rect& source, const ui::Rect& corners, uint8_t alpha = 255, bool xTiled = false,
          bool yTiled = false) {
  if (path == Path::kBitmap)
    context.DrawNineGridBitmap(paint, picture.Bitmap(), false, dest, source, corners, alpha, xTiled, yTiled);
  else
    context.DrawNineGridImage(paint, picture.Image(), dest, source, corners, alpha, xTiled, yTiled);
}

const ui::Rect kEverywhere{-10000, -10000, 10000, 10000};

TEST(NineGrid, CornersKeepTheirSizeEdgesAndMiddleStretch) {
  Picture picture(30, 30, BlockColour);
  for (Path path : {Path::kBitmap, Path::kImage}) {
    for (int scale : {100, 150}) {
      ScaleGuard guard(scale);
      const int corner = scale == 100 ? 10 : 15;
      auto context = NewContext(100, 40);
      Draw(path, *context, picture, kEverywhere, ui::Rect{0, 0, 100, 40}, ui::Rect{0, 0, 30, 30}, ui::Rect{10, 10, 10, 10});
      const int inner = corner - 2, outer = corner + 2;
      struct Probe {
        int x, y;
        uint32_t colour;
      } probes[] = {
          {1, 1, kTopLeft}, {inner, inner, kTopLeft}, {30, 1, kTop}, {50, 1, kTop}, {70, 1, kTop},
          {98, 1, kTopRight}, {100 - inner - 1, inner, kTopRight}, {1, outer, kLeft}, {1, 40 - outer - 1, kLeft},
          {outer, 20, kMiddle}, {50, 20, kMiddle}, {98, 20, kRight}, {1, 38, kBottomLeft}, {50, 38, kBottom},
          {98, 38, kBottomRight}, {100 - inner - 1, 40 - inner - 1, kBottomRight},
      };
      for (const Probe& p : probes)
        EXPECT_TRUE(RgbNear(PixelAt(*context, p.x, p.y), p.colour)) << Name(path) << " at " << scale << "%: " << p.x << "," << p.y;
    }
  }
}

uint32_t Uniform(int, int) { return 0xFF3070B0; }

// One opaque colour drawn nine-grid must cover dest exactly: no seam where a stretched
// piece meets its neighbour, no see-through row or column, nothing outside dest.
TEST(NineGrid, UniformPictureCoversDestWithoutSeams) {
  struct Case {
    int width, height;
    ui::Rect corners;
    ui::Rect dest;
    bool xTiled, yTiled;
  } cases[] = {
      {17, 17, {8, 8, 8, 8}, {3, 5, 123, 37}, false, false},  // 1-pixel middle
      {24, 20, {8, 8, 8, 8}, {4, 4, 117, 36}, false, false},
      {24, 20, {8, 0, 8, 0}, {2, 3, 99, 35}, false, false},   // left and right only
      {57, 57, {28, 28, 28, 28}, {5, 4, 200, 133}, false, false},  // 1-pixel middle
      {64, 60, {28, 28, 28, 28}, {6, 7, 211, 140}, false, false},
      {64, 60, {28, 28, 28, 28}, {6, 7, 211, 140}, true, false},
      {40, 30, {10, 6, 12, 8}, {1, 2, 70, 45}, false, false},
      {40, 40, {8, 8, 8, 8}, {3, 3, 30, 30}, false, false},  // middle shrunk
      // A button far from the surface origin (the main window's at 144 DPI).
      {240, 60, {14, 14, 14, 14}, {1113, 780, 1473, 870}, false, false},
  };
  for (const Case& c : cases) {
    Picture picture(c.width, c.height, Uniform);
    for (int scale : {100, 150}) {
      ScaleGuard guard(scale);
      for (Path path : {Path::kBitmap, Path::kImage})
        for (uint8_t alpha : {uint8_t{255}, uint8_t{128}}) {
          // Over a zeroed surface a faded picture lands premultiplied.
          const uint32_t expected = alpha == 255 ? Uniform(0, 0) : 0x80183858;
          auto context = NewContext(c.dest.right + 6, c.dest.bottom + 6);
          Draw(path, *context, picture, kEverywhere, c.dest, ui::Rect{0, 0, c.width, c.height}, c.corners, alpha,
               c.xTiled, c.yTiled);
          int wrong = 0;
          for (int y = 0; y < context->SurfaceHeight(); ++y)
            for (int x = 0; x < context->SurfaceWidth(); ++x) {
              const bool inside = x >= c.dest.left && x < c.dest.right && y >= c.dest.top && y < c.dest.bottom;
              const uint32_t pixel = PixelAt(*context, x, y);
              // A bitmap piece copied by StretchBlt leaves the alpha byte to GDI.
              const bool alphaRight = (path == Path::kBitmap && alpha == 255) || std::abs(int(pixel >> 24) - alpha) <= 2;
              const bool right = inside ? alphaRight && RgbNear(pixel, expected) : pixel == 0u;
              if (!right && ++wrong <= 3)
                ADD_FAILURE() << Name(path) << " at " << scale << "%, alpha " << int(alpha) << ", picture " << c.width
                              << "x" << c.height << ", corner " << c.corners.left << "," << c.corners.top << ","
                              << c.corners.right << "," << c.corners.bottom << (c.xTiled ? ", tiled" : "") << ": pixel "
                              << x << "," << y << (inside ? " inside" : " outside") << " is 0x" << std::hex << pixel;
            }
          EXPECT_EQ(wrong, 0) << Name(path) << " at " << scale << "%, alpha " << int(alpha) << ", picture " << c.width
                              << "x" << c.height;
        }
    }
  }
}

uint32_t ColumnColour(int x, int) {
  if (x < 10) return 0xFF000000;
  if (x >= 20) return 0xFFFFFFFF;
  return 0xFF000000 | (uint32_t(20 * (x - 10) + 10) << 16) | 0x4040;
}

TEST(NineGrid, TiledMiddleRepeatsTheSourceColumns) {
  Picture picture(30, 10, ColumnColour);
  for (Path path : {Path::kBitmap, Path::kImage}) {
    auto context = NewContext(105, 10);
    // A middle of 85 pixels: nine columns, the last one 5 wide.
    Draw(path, *context, picture, kEverywhere, ui::Rect{0, 0, 105, 10}, ui::Rect{0, 0, 30, 10}, ui::Rect{10, 0, 10, 0},
         255, true, false);
    for (int x = 10; x < 95; ++x)
      EXPECT_TRUE(RgbNear(PixelAt(*context, x, 5), ColumnColour(10 + (x - 10) % 10, 0))) << Name(path) << " column " << x;
    EXPECT_TRUE(RgbNear(PixelAt(*context, 95, 5), 0xFFFFFFFF)) << "the right edge follows the cut tile";

    // Both directions: a grid of unstretched tiles.
    auto grid = NewContext(45, 25);
    Draw(path, *grid, picture, kEverywhere, ui::Rect{0, 0, 45, 25}, ui::Rect{10, 0, 20, 10}, ui::Rect{}, 255, true, true);
    for (auto [x, y] : {std::pair{0, 0}, {13, 12}, {44, 24}, {27, 21}})
      EXPECT_TRUE(RgbNear(PixelAt(*grid, x, y), ColumnColour(10 + x % 10, 0))) << Name(path) << " tile " << x << "," << y;
  }
}

// A resized piece takes only its own source pixels: a stretched ramp runs smoothly from
// its first to its last column without picking up the neighbour corner's colour.
TEST(NineGrid, StretchedRampKeepsItsEndsAndStaysSmooth) {
  Picture picture(30, 10, ColumnColour);
  for (Path path : {Path::kBitmap, Path::kImage}) {
    for (int scale : {100, 150}) {
      ScaleGuard guard(scale);
      const int corner = scale == 100 ? 10 : 15;
      auto context = NewContext(120, 10);
      Draw(path, *context, picture, kEverywhere, ui::Rect{0, 0, 120, 10}, ui::Rect{0, 0, 30, 10}, ui::Rect{10, 0, 10, 0});
      const int first = corner, last = 120 - corner - 1;
      EXPECT_TRUE(RgbNear(PixelAt(*context, first, 5), ColumnColour(10, 0))) << Name(path) << " at " << scale << "%";
      EXPECT_TRUE(RgbNear(PixelAt(*context, last, 5), ColumnColour(19, 0), 8)) << Name(path) << " at " << scale << "%";
      // GDI+ stretches bilinearly: steps of about 2, where a blocky stretch would jump by
      // the source's 20.
      for (int x = first + 1; x <= last && path == Path::kImage; ++x) {
        const int step = render_test::Channel(PixelAt(*context, x, 5), 16) - render_test::Channel(PixelAt(*context, x - 1, 5), 16);
        EXPECT_TRUE(step >= 0 && step <= 6) << Name(path) << " at " << scale << "%: column " << x << " steps " << step;
      }
    }
  }
}

// A one-pixel middle row and column of their own colour, the rest another.
uint32_t CrossColour(int x, int y) { return x == 8 || y == 8 ? 0xFF20C040 : 0xFFA03060; }

// A middle one source pixel across is that pixel repeated: no blend with its neighbours.
TEST(NineGrid, OnePixelMiddleIsRepeatedUnblended) {
  Picture picture(17, 17, CrossColour);
  for (Path path : {Path::kBitmap, Path::kImage}) {
    for (int scale : {100, 150}) {
      ScaleGuard guard(scale);
      const int corner = scale == 100 ? 8 : 12;
      auto context = NewContext(90, 50);
      Draw(path, *context, picture, kEverywhere, ui::Rect{0, 0, 90, 50}, ui::Rect{0, 0, 17, 17}, ui::Rect{8, 8, 8, 8});
      int wrong = 0;
      for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 90; ++x) {
          const bool band = (x >= corner && x < 90 - corner) || (y >= corner && y < 50 - corner);
          // Pixels next to a band inside a scaled corner may blend; only the bands and
          // the unscaled corners are exact.
          if (!band && scale != 100) continue;
          if (!RgbNear(PixelAt(*context, x, y), band ? 0xFF20C040 : 0xFFA03060) && ++wrong <= 3)
            ADD_FAILURE() << Name(path) << " at " << scale << "%: pixel " << x << "," << y << " is 0x" << std::hex
                          << PixelAt(*context, x, y);
        }
      EXPECT_EQ(wrong, 0) << Name(path) << " at " << scale << "%";
    }
  }
}

TEST(NineGrid, PiecesOutsideThePaintAreaAreSkipped) {
  Picture picture(30, 30, BlockColour);
  for (Path path : {Path::kBitmap, Path::kImage}) {
    auto context = NewContext(100, 40);
    Draw(path, *context, picture, ui::Rect{0, 0, 5, 5}, ui::Rect{0, 0, 100, 40}, ui::Rect{0, 0, 30, 30}, ui::Rect{10, 10, 10, 10});
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 100; ++x)
        if (x >= 10 || y >= 10) {
          ASSERT_EQ(PixelAt(*context, x, y), 0u) << Name(path) << " " << x << "," << y;
        }
    EXPECT_TRUE(RgbNear(PixelAt(*context, 5, 5), kTopLeft)) << "the whole piece is drawn";
    auto untouched = NewContext(20, 20);
    Draw(path, *untouched, picture, ui::Rect{50, 50, 60, 60}, ui::Rect{0, 0, 20, 20}, ui::Rect{0, 0, 30, 30}, ui::Rect{});
    if (path == Path::kBitmap)
      untouched->DrawNineGridBitmap(kEverywhere, nullptr, false, ui::Rect{0, 0, 20, 20}, ui::Rect{0, 0, 30, 30}, ui::Rect{}, 255, false, false);
    else
      untouched->DrawNineGridImage(kEverywhere, nullptr, ui::Rect{0, 0, 20, 20}, ui::Rect{0, 0, 30, 30}, ui::Rect{}, 255, false, false);
    EXPECT_EQ(PixelAt(*untouched, 10, 10), 0u);
  }
}

TEST(NineGrid, ConstantAlphaBlendsEveryPiece) {
  Picture picture(30, 30, BlockColour);
  for (Path path : {Path::kBitmap, Path::kImage}) {
    auto context = NewContext(100, 40);
    Paint(*context, 0xFF000000);
    Draw(path, *context, picture, kEverywhere, ui::Rect{0, 0, 100, 40}, ui::Rect{0, 0, 30, 30}, ui::Rect{10, 10, 10, 10}, 128);
    EXPECT_TRUE(RgbNear(PixelAt(*context, 5, 5), 0xFF800000)) << Name(path);
    EXPECT_TRUE(RgbNear(PixelAt(*context, 50, 20), 0xFF008080)) << Name(path) << ": a resized piece is blended too";
    EXPECT_TRUE(RgbNear(PixelAt(*context, 50, 5), 0xFF008000)) << Name(path);
  }
}

uint32_t HalfRed(int, int) { return 0x80800000; }

// A picture said to have no alpha channel whose alpha bytes are 128 shows which way a
// piece went: copied, its bytes land as they are (dark red); blended over white, the
// white shows through.
TEST(NineGrid, OnlyResizedOpaquePiecesOutsideTransparentRenderingAreCopied) {
  Picture picture(10, 10, HalfRed);
  struct Case {
    bool transparent;
    uint8_t alpha;
    ui::Rect dest;
    bool copied;
  } cases[] = {
      {false, 255, {0, 0, 20, 20}, true},
      {false, 255, {0, 0, 10, 10}, false},  // same size: blended all the same
      {false, 254, {0, 0, 20, 20}, false},
      {true, 255, {0, 0, 20, 20}, false},
  };
  for (const Case& c : cases) {
    auto context = NewContext(20, 20);
    Paint(*context, 0xFFFFFFFF);
    context->SetTransparentRendering(c.transparent);
    EXPECT_EQ(context->IsTransparentRendering(), c.transparent);
    context->DrawNineGridBitmap(kEverywhere, picture.Bitmap(), false, c.dest, ui::Rect{0, 0, 10, 10}, ui::Rect{}, c.alpha,
                                false, false);
    EXPECT_TRUE(RgbNear(PixelAt(*context, 5, 5), c.copied ? 0xFF800000 : 0xFFFF7F7F))
        << "transparent " << c.transparent << " alpha " << int(c.alpha) << " width " << c.dest.right;
  }
}

// Degenerate sources, corners and tiles draw nothing outside dest and never crash.
TEST(NineGrid, DegenerateGeometryStaysInsideDest) {
  Picture picture(30, 30, BlockColour);
  const ui::Rect dest{20, 20, 40, 30};
  struct Case {
    const char* what;
    ui::Rect source, corners;
    bool xTiled, yTiled;
    int scale;
  } cases[] = {
      {"zero-size source", {0, 0, 0, 0}, {10, 10, 10, 10}, false, false, 100},
      {"zero-size source tiled", {5, 5, 5, 5}, {0, 0, 0, 0}, true, true, 100},
      {"corners larger than the source", {0, 0, 30, 30}, {25, 25, 25, 25}, true, true, 100},
      {"corners larger than the destination", {0, 0, 30, 30}, {12, 12, 12, 12}, false, false, 100},
      {"scaled corners larger than the destination", {0, 0, 30, 30}, {10, 8, 10, 8}, false, false, 150},
      {"inverted source", {30, 30, 0, 0}, {10, 10, 10, 10}, false, false, 100},
      {"zero tile width", {0, 0, 30, 30}, {15, 10, 15, 10}, true, false, 100},
      {"zero tile height", {0, 0, 30, 30}, {10, 15, 10, 15}, false, true, 100},
      {"negative tile", {0, 0, 30, 30}, {20, 20, 20, 20}, true, true, 100},
  };
  for (const Case& c : cases) {
    ScaleGuard guard(c.scale);
    for (Path path : {Path::kBitmap, Path::kImage}) {
      auto context = NewContext(60, 50);
      Draw(path, *context, picture, kEverywhere, dest, c.source, c.corners, 255, c.xTiled, c.yTiled);
      for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x) {
          const bool inside = x >= dest.left && x < dest.right && y >= dest.top && y < dest.bottom;
          if (!inside) {
            ASSERT_EQ(PixelAt(*context, x, y), 0u) << c.what << " (" << Name(path) << ") at " << x << "," << y;
          }
        }
    }
  }
}

}  // namespace
