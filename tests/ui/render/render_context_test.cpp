#include <gtest/gtest.h>

#include <memory>

#include "render_test_support.h"
#include "ui/render/render_factory_gdiplus.h"

namespace {

using render_test::NewContext;
using render_test::Paint;
using render_test::PixelAt;
using render_test::RgbNear;
using render_test::SetPixelAt;

// The pixels of the surface that differ from `background`, as a bounding rectangle.
ui::Rect ChangedArea(ui::IRenderContext& context, uint32_t background) {
  ui::Rect area{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int y = 0; y < context.SurfaceHeight(); ++y)
    for (int x = 0; x < context.SurfaceWidth(); ++x)
      if (PixelAt(context, x, y) != background) {
        area.left = std::min(area.left, x);
        area.top = std::min(area.top, y);
        area.right = std::max(area.right, x + 1);
        area.bottom = std::max(area.bottom, y + 1);
      }
  return area;
}

void ExpectArea(const ui::Rect& actual, const ui::Rect& expected) {
  EXPECT_EQ(actual.left, expected.left);
  EXPECT_EQ(actual.top, expected.top);
  EXPECT_EQ(actual.right, expected.right);
  EXPECT_EQ(actual.bottom, expected.bottom);
}

TEST(RenderContext, ResizeKeepsOrRenewsTheSurface) {
  auto context = NewContext(10, 10);
  SetPixelAt(*context, 3, 3, 0xFF123456);
  EXPECT_FALSE(context->ResizeSurface(10, 10, true));
  EXPECT_EQ(PixelAt(*context, 3, 3), 0xFF123456u);
  EXPECT_TRUE(context->ResizeSurface(12, 8, true));
  EXPECT_EQ(context->SurfaceWidth(), 12);
  EXPECT_EQ(context->SurfaceHeight(), 8);
  EXPECT_EQ(ChangedArea(*context, 0).right, INT32_MIN) << "new pixels start at zero";
  // A refused size leaves an empty surface that drawing cannot reach.
  EXPECT_FALSE(context->ResizeSurface(70000, 70000, true));
  EXPECT_EQ(context->PixelBits(), nullptr);
  context->FillRectBytes(ui::Rect{0, 0, 100, 100}, 1);
  context->FillRectArgb(ui::Rect{0, 0, 100, 100}, 0xFFFFFFFF, 255);
  EXPECT_TRUE(context->ResizeSurface(4, 4, true));
}

TEST(RenderContext, DuplicateIsAnIndependentCopyAndDetachHandsOverTheSurface) {
  auto context = NewContext(10, 10);
  SetPixelAt(*context, 9, 9, 0xFF00FF00);
  std::unique_ptr<ui::IRenderContext> copy(context->Duplicate());
  ASSERT_EQ(copy->SurfaceWidth(), 10);
  EXPECT_EQ(PixelAt(*copy, 9, 9), 0xFF00FF00u);
  SetPixelAt(*copy, 0, 0, 0xFFFFFFFF);
  EXPECT_EQ(PixelAt(*context, 0, 0), 0u);

  HBITMAP detached = context->DetachBitmap();
  ASSERT_NE(detached, nullptr);
  EXPECT_EQ(context->SurfaceWidth(), 0);
  EXPECT_EQ(context->DetachBitmap(), nullptr);
  DeleteObject(detached);
  ui::RenderContext_GdiPlus fresh;
  EXPECT_EQ(fresh.DetachBitmap(), nullptr);
}

TEST(RenderContext, ClipsFollowTheWindowOriginAndStack) {
  auto context = NewContext(40, 30);
  const ui::Point previous = context->ShiftWindowOrigin(ui::Point{5, 7});
  EXPECT_EQ(previous.x, 0);
  EXPECT_EQ(previous.y, 0);
  EXPECT_EQ(context->WindowOrigin().x, 5);
  EXPECT_EQ(context->WindowOrigin().y, 7);
  context->ClipToRect(ui::Rect{10, 10, 20, 20});
  context->FillRectArgb(ui::Rect{-100, -100, 100, 100}, 0xFFFFFFFF, 255);
  ExpectArea(ChangedArea(*context, 0), ui::Rect{5, 3, 15, 13});

  // Nested clips: removing the inner one leaves the outer in force.
  context->ZeroPixels();
  context->ClipToRect(ui::Rect{12, 12, 30, 30});
  context->FillRectArgb(ui::Rect{-100, -100, 100, 100}, 0xFFFFFFFF, 255);
  ExpectArea(ChangedArea(*context, 0), ui::Rect{7, 5, 15, 13});
  context->RemoveClip();
  context->ZeroPixels();
  context->FillRectArgb(ui::Rect{-100, -100, 100, 100}, 0xFFFFFFFF, 255);
  ExpectArea(ChangedArea(*context, 0), ui::Rect{5, 3, 15, 13});
  context->RemoveClip();

  const ui::Point shifted = context->PlaceWindowOrigin(ui::Point{0, 0});
  EXPECT_EQ(shifted.x, 5);
  context->ZeroPixels();
  {
    ui::AutoClip clip(context.get(), ui::Rect{0, 0, 10, 10});
    { ui::AutoClip notApplied(context.get(), ui::Rect{0, 0, 1, 1}, false); }
    context->FillRectArgb(ui::Rect{0, 0, 40, 30}, 0xFFFFFFFF, 255);
    ExpectArea(ChangedArea(*context, 0), ui::Rect{0, 0, 10, 10});
  }
  context->FillRectArgb(ui::Rect{0, 0, 40, 30}, 0xFFFFFFFF, 255);
  ExpectArea(ChangedArea(*context, 0), ui::Rect{0, 0, 40, 30});
}

TEST(RenderContext, SaveStateRestoresTheClip) {
  auto context = NewContext(20, 20);
  context->SaveState();
  context->ClipToRect(ui::Rect{0, 0, 5, 5});
  context->ClipToRect(ui::Rect{0, 0, 3, 3});
  context->RestoreState();
  context->FillRectArgb(ui::Rect{0, 0, 20, 20}, 0xFFFFFFFF, 255);
  ExpectArea(ChangedArea(*context, 0), ui::Rect{0, 0, 20, 20});
}

TEST(RenderContext, RoundClipsAndRoundStrokesLeaveTheCornersAlone) {
  auto context = NewContext(40, 40);
  context->ClipToRoundRect(ui::Rect{0, 0, 40, 40}, 16, 16);
  context->FillRectArgb(ui::Rect{0, 0, 40, 40}, 0xFFFFFFFF, 255);
  context->RemoveClip();
  for (auto [x, y] : {std::pair{0, 0}, {39, 0}, {0, 39}, {39, 39}, {1, 1}}) EXPECT_EQ(PixelAt(*context, x, y), 0u) << x << "," << y;
  EXPECT_NE(PixelAt(*context, 20, 20), 0u);
  EXPECT_NE(PixelAt(*context, 20, 0), 0u);

  context->ZeroPixels();
  context->StrokeRoundRect(ui::Rect{2, 2, 37, 37}, ui::Size{16, 16}, 1, 0xFFFFFFFF);
  for (auto [x, y] : {std::pair{2, 2}, {37, 2}, {2, 37}, {37, 37}, {3, 3}}) EXPECT_EQ(PixelAt(*context, x, y), 0u) << x << "," << y;
  EXPECT_NE(PixelAt(*context, 20, 2), 0u) << "the top edge is drawn";
  EXPECT_EQ(PixelAt(*context, 20, 20), 0u) << "an outline only";
}

TEST(RenderContext, FillsScaleTheColourAlpha) {
  ui::UiRuntime::SetColor(L"render.test.green", 0xFF00C000);
  struct Case {
    const wchar_t* name;  // null: FillRectArgb
    ui::ArgbColor color;
    uint8_t alpha;
    uint32_t expected;  // over opaque white
  } cases[] = {
      {nullptr, 0xFFFF0000, 255, 0xFFFF0000},
      {nullptr, 0x80FF0000, 255, 0xFFFF7F7F},  // the colour as it is: alpha 128
      {nullptr, 0x80FF0000, 128, 0xFFFFBFBF},  // 128 * 128 / 255 = 64
      {nullptr, 0xFFFF0000, 0, 0xFFFFFFFF},
      {L"", 0xFFFF0000, 255, 0xFFFFFFFF},      // an empty name draws nothing
      {L"render.test.unknown", 0, 255, 0xFFFFFFFF},  // colour 0 is invisible
      {L"render.test.green", 0, 255, 0xFF00C000},
  };
  for (const Case& c : cases) {
    auto context = NewContext(8, 8);
    Paint(*context, 0xFFFFFFFF);
    if (c.name) context->FillRectByColorName(ui::Rect{2, 2, 6, 6}, c.name, c.alpha);
    else context->FillRectArgb(ui::Rect{2, 2, 6, 6}, c.color, c.alpha);
    EXPECT_TRUE(RgbNear(PixelAt(*context, 3, 3), c.expected)) << std::hex << c.color << " alpha " << std::dec << int(c.alpha);
    EXPECT_TRUE(RgbNear(PixelAt(*context, 1, 1), 0xFFFFFFFF)) << "outside the rectangle";
    EXPECT_TRUE(RgbNear(PixelAt(*context, 6, 6), 0xFFFFFFFF));
  }
}

// Opaque fills are written into the surface without GDI+: in every clip and origin the
// surface ends byte for byte as a GDI+ fill on the same DC leaves it.
TEST(RenderContext, OpaqueFillsLeaveThePixelsAGdiplusFillLeaves) {
  struct Case {
    const char* name;
    ui::Point origin;
    ui::Rect clip;  // empty: none
    bool round;
    ui::Rect fill;
    ui::ArgbColor color;
  } cases[] = {
      {"no clip", {0, 0}, {}, false, {3, 4, 17, 12}, 0xFF2060A0},
      {"past every edge", {0, 0}, {}, false, {-5, -5, 40, 40}, 0xFF2060A0},
      {"shifted origin", {5, -3}, {}, false, {8, 2, 14, 10}, 0xFF2060A0},
      {"clip and shifted origin", {4, -3}, {6, 2, 15, 14}, false, {0, 0, 20, 20}, 0xFFC04010},
      {"clip beside the fill", {0, 0}, {0, 0, 4, 4}, false, {10, 10, 20, 20}, 0xFFC04010},
      {"clip off the surface", {0, 0}, {30, 30, 40, 40}, false, {0, 0, 24, 18}, 0xFFC04010},
      {"round clip", {2, 2}, {2, 2, 18, 18}, true, {0, 0, 24, 24}, 0xFF10C040},
      {"empty rectangle", {0, 0}, {}, false, {8, 8, 8, 12}, 0xFF10C040},
      {"translucent colour", {0, 0}, {2, 2, 12, 12}, false, {0, 0, 16, 16}, 0x8010C040},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fast = NewContext(24, 18), reference = NewContext(24, 18);
    for (auto* context : {fast.get(), reference.get()}) {
      // A background that a blend instead of a replacement would show through.
      for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) SetPixelAt(*context, x, y, (x + y) % 2 ? 0xFFFFFFFF : 0x40102030);
      context->ShiftWindowOrigin(c.origin);
      if (c.clip.right > c.clip.left) {
        if (c.round) context->ClipToRoundRect(c.clip, 8, 8);
        else context->ClipToRect(c.clip);
      }
    }
    fast->FillRectArgb(c.fill, c.color, 255);
    Gdiplus::GpGraphics* graphics = nullptr;
    ASSERT_EQ(Gdiplus::DllExports::GdipCreateFromHDC(reference->DrawingDC(), &graphics), Gdiplus::Ok);
    Gdiplus::GpSolidFill* brush = nullptr;
    Gdiplus::DllExports::GdipCreateSolidFill(c.color, &brush);
    Gdiplus::DllExports::GdipFillRectangleI(graphics, brush, c.fill.left, c.fill.top, c.fill.Width(), c.fill.Height());
    Gdiplus::DllExports::GdipDeleteBrush(brush);
    Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    int differing = 0;
    for (int y = 0; y < 18; ++y)
      for (int x = 0; x < 24; ++x)
        if (PixelAt(*fast, x, y) != PixelAt(*reference, x, y) && differing++ < 3)
          ADD_FAILURE() << "at " << x << "," << y << std::hex << ": 0x" << PixelAt(*fast, x, y) << ", GDI+ 0x"
                        << PixelAt(*reference, x, y);
    EXPECT_EQ(differing, 0);
  }
}

TEST(RenderContext, BlendFromDCUsesConstantAndPerPixelAlpha) {
  struct Case {
    uint32_t source;  // premultiplied
    uint8_t alpha;
    uint32_t expected;  // over opaque blue
  } cases[] = {
      {0xFFFF0000, 255, 0xFFFF0000},
      {0xFFFF0000, 128, 0xFF80007F},
      {0x80800000, 255, 0xFF80007F},  // half-transparent red, premultiplied
      {0x80800000, 128, 0xFF4000BF},
      {0x00000000, 255, 0xFF0000FF},
  };
  for (const Case& c : cases) {
    auto source = NewContext(4, 4);
    Paint(*source, c.source);
    auto target = NewContext(8, 8);
    Paint(*target, 0xFF0000FF);
    EXPECT_TRUE(target->BlendFromDC(2, 2, 4, 4, source->DrawingDC(), 0, 0, 4, 4, c.alpha));
    EXPECT_TRUE(RgbNear(PixelAt(*target, 3, 3), c.expected)) << std::hex << c.source << " at " << std::dec << int(c.alpha);
    EXPECT_TRUE(RgbNear(PixelAt(*target, 1, 1), 0xFF0000FF));
  }
  auto target = NewContext(8, 8);
  EXPECT_FALSE(target->BlendFromDC(0, 0, 4, 4, nullptr, 0, 0, 4, 4, 255));
  auto source = NewContext(4, 4);
  Paint(*source, 0xFF00FF00);
  EXPECT_TRUE(target->CopyFromDC(1, 1, 2, 2, source->DrawingDC(), 0, 0, SRCCOPY));
  EXPECT_TRUE(RgbNear(PixelAt(*target, 2, 2), 0xFF00FF00));
}

TEST(RenderContext, StrokesAndEllipsesDrawWhereAsked) {
  auto context = NewContext(40, 40);
  context->StrokeLine(ui::Rect{0, 5, 39, 5}, 1, 0xFFFF0000);
  EXPECT_TRUE(RgbNear(PixelAt(*context, 20, 5), 0xFFFF0000));
  EXPECT_EQ(PixelAt(*context, 20, 8), 0u);
  context->ZeroPixels();
  context->StrokeRect(ui::Rect{10, 10, 30, 30}, 1, 0xFF00FF00);
  EXPECT_TRUE(RgbNear(PixelAt(*context, 20, 10), 0xFF00FF00));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 10, 20), 0xFF00FF00));
  EXPECT_EQ(PixelAt(*context, 20, 20), 0u);
  context->ZeroPixels();
  context->FillEllipseArgb(ui::Rect{0, 0, 40, 40}, 0xFF0000FF);
  EXPECT_TRUE(RgbNear(PixelAt(*context, 20, 20), 0xFF0000FF));
  EXPECT_EQ(PixelAt(*context, 1, 1), 0u);
  ui::RenderFactory_GdiPlus factory;
  std::unique_ptr<ui::IPen> pen(factory.NewPen(0xFFFFFFFF, 3));
  context->ZeroPixels();
  context->StrokeLineWithPen(pen.get(), 20, 0, 20, 39);
  EXPECT_TRUE(RgbNear(PixelAt(*context, 20, 20), 0xFFFFFFFF));
  EXPECT_EQ(PixelAt(*context, 25, 20), 0u);
  context->ZeroPixels();
  context->StrokeBezierWithPen(pen.get(), 0, 30, 10, 0, 30, 0, 39, 30);
  EXPECT_EQ(PixelAt(*context, 20, 30), 0u);
  EXPECT_NE(PixelAt(*context, 20, 8) | PixelAt(*context, 20, 7) | PixelAt(*context, 20, 9), 0u) << "the curve's top";
  context->StrokeLineWithPen(nullptr, 0, 0, 39, 39);
  EXPECT_EQ(PixelAt(*context, 38, 38), 0u) << "no pen, no line";
  context->ZeroPixels();
  context->StrokeEllipse(ui::Rect{0, 0, 40, 40}, 2, 0xFF0000FF);
  EXPECT_EQ(PixelAt(*context, 20, 20), 0u);
  EXPECT_NE(PixelAt(*context, 20, 0) | PixelAt(*context, 20, 1), 0u);
}

// Text in the launcher's way: a font registered with the face "system" and no
// configured faces, so the fallback face.
class RenderText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_NE(ui::UiRuntime::RegisterFont(L"render.test.16", L"system", 16, false, false, false, false), nullptr);
  }
  // The bounding box of pixels whose red channel exceeds 128 on a black background.
  static ui::Rect Ink(ui::IRenderContext& context) {
    ui::Rect area{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int y = 0; y < context.SurfaceHeight(); ++y)
      for (int x = 0; x < context.SurfaceWidth(); ++x)
        if (render_test::Channel(PixelAt(context, x, y), 16) > 128) {
          area.left = std::min(area.left, x);
          area.top = std::min(area.top, y);
          area.right = std::max(area.right, x + 1);
          area.bottom = std::max(area.bottom, y + 1);
        }
    return area;
  }
};

TEST_F(RenderText, DrawsWrapsAndTruncatesLikeTheStyleSays) {
  const std::wstring text = L"Wrapping words go on and on across the box";
  auto wrapped = NewContext(200, 120);
  Paint(*wrapped, 0xFF000000);
  wrapped->DrawTextInRect(ui::Rect{0, 0, 120, 120}, text, 0xFFFF0000, L"render.test.16", 0, 255, false);
  const ui::Rect many = Ink(*wrapped);
  EXPECT_LE(many.right, 121);
  EXPECT_GT(many.bottom - many.top, 40) << "several lines";
  // Opaque text is drawn at alpha 254: GDI+ blends it and the glyph core is text coloured.
  uint32_t brightest = 0;
  for (int y = many.top; y < many.bottom; ++y)
    for (int x = many.left; x < many.right; ++x) brightest = std::max(brightest, PixelAt(*wrapped, x, y) & 0xFFFFFF);
  EXPECT_TRUE(RgbNear(brightest, 0xFF0000, 3));

  auto single = NewContext(200, 120);
  Paint(*single, 0xFF000000);
  single->DrawTextInRect(ui::Rect{0, 0, 120, 120}, text, 0xFFFF0000, L"render.test.16",
                         DT_SINGLELINE | DT_END_ELLIPSIS, 255, false);
  const ui::Rect one = Ink(*single);
  EXPECT_LT(one.bottom - one.top, 24) << "one line";
  EXPECT_LE(one.right, 121) << "cut with an ellipsis inside the box";
  EXPECT_GT(one.right, 90);

  auto aligned = NewContext(200, 60);
  Paint(*aligned, 0xFF000000);
  aligned->DrawTextInRect(ui::Rect{0, 0, 200, 60}, L"Right", 0xFFFF0000, L"render.test.16",
                          DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, 255, false);
  const ui::Rect corner = Ink(*aligned);
  EXPECT_GE(corner.right, 195);
  EXPECT_GE(corner.bottom, 48);

  auto untouched = NewContext(50, 20);
  Paint(*untouched, 0xFF000000);
  untouched->DrawTextInRect(ui::Rect{0, 0, 50, 20}, L"", 0xFFFF0000, L"render.test.16", 0, 255, false);
  untouched->DrawTextInRect(ui::Rect{0, 0, 50, 20}, L"x", 0xFFFF0000, L"render.test.none", 0, 255, false);
  untouched->DrawTextInRect(ui::Rect{0, 0, 50, 20}, L"x", 0xFFFF0000, L"render.test.16", 0, 0, false);
  EXPECT_EQ(Ink(*untouched).right, INT32_MIN);
}

TEST_F(RenderText, MeasuresSingleAndWrappedLines) {
  auto context = NewContext(10, 10);
  const ui::Rect none = context->MeasureText(L"abc", L"render.test.none", 0, -1);
  ExpectArea(none, ui::Rect{0, 0, 1, 1});
  const std::wstring text = L"A long line of text that would wrap";
  const ui::Rect free = context->MeasureText(text, L"render.test.16", 0, -1);
  const ui::Rect oneLine = context->MeasureText(L"A", L"render.test.16", DT_SINGLELINE, -1);
  EXPECT_GT(free.right, 200);
  EXPECT_EQ(free.bottom, oneLine.bottom) << "width -1 never wraps";
  const ui::Rect wrapped = context->MeasureText(text, L"render.test.16", 0, 100);
  EXPECT_LE(wrapped.right, 101);
  EXPECT_GT(wrapped.bottom, 2 * oneLine.bottom - 4);
  const ui::Rect cut = context->MeasureText(text, L"render.test.16", DT_SINGLELINE, 100);
  EXPECT_LT(cut.bottom, oneLine.bottom + 8) << "one line high";
}

}  // namespace
