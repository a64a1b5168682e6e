#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "render_test_support.h"
#include "ui/render/arabic_clusters.h"
#include "ui/render/text_effect_gdiplus.h"

namespace {

using render_test::Channel;
using render_test::NewContext;
using render_test::Paint;
using render_test::PixelAt;
using Lines = ui::TextEffect_GdiPlus::GlyphLines;

TEST(TextEffectOutline, RingColoursRunFromInnerToOuter) {
  const ui::ArgbColor red = 0xFFFF0000, blue = 0xFF0000FF;
  using Colours = std::vector<ui::ArgbColor>;
  EXPECT_EQ(ui::TextEffect_GdiPlus::BuildOutlineColors(red, blue, 4, false), (Colours{red, red, blue, blue}));
  EXPECT_EQ(ui::TextEffect_GdiPlus::BuildOutlineColors(red, blue, 3, false), (Colours{red, blue, blue}));
  EXPECT_TRUE(ui::TextEffect_GdiPlus::BuildOutlineColors(red, blue, 0, false).empty());
  EXPECT_TRUE(ui::TextEffect_GdiPlus::BuildOutlineColors(red, blue, -2, true).empty());
  const Colours graded = ui::TextEffect_GdiPlus::BuildOutlineColors(0x80FF0000, 0x800000FF, 8, true);
  ASSERT_EQ(graded.size(), 8u);
  for (ui::ArgbColor c : graded) EXPECT_EQ(c >> 24, 0xFFu) << "opaque rings";
  EXPECT_GT(Channel(graded.front(), 16), Channel(graded.front(), 0));
  EXPECT_GT(Channel(graded.back(), 0), Channel(graded.back(), 16));
}

struct SplitCase {
  const wchar_t* text;
  bool result;
  Lines expected;
};

TEST(TextEffectSplit, GlyphStringsCoverEachCharacterOnceInOrder) {
  const SplitCase cases[] = {
      {L"", false, {}},
      {L"ab", true, {{L"a", L"b"}}},
      {L"ab\n\ncd\n", true, {{L"a", L"b"}, {L"c", L"d"}}},  // empty lines are dropped
      {L"\x0E01\x0E34", true, {{L"\x0E01\x0E34"}}},        // Thai vowel mark stays with its consonant
      // A consonant keeps exactly one mark: a tone mark after the vowel mark stands alone.
      {L"\x0E01\x0E34\x0E48\x0E01", true, {{L"\x0E01\x0E34", L"\x0E48", L"\x0E01"}}},
      // A mark left over is a character of its own, and takes the one mark after it.
      {L"\x0E01\x0E48\x0E49\x0E4A", true, {{L"\x0E01\x0E48", L"\x0E49\x0E4A"}}},
      {L"\x0E01\x0E31\x0E01\x0E33\x0E01\x0E3A\x0E01\x0E47\x0E01\x0E4E", true,
       {{L"\x0E01\x0E31", L"\x0E01\x0E33", L"\x0E01\x0E3A", L"\x0E01\x0E47", L"\x0E01\x0E4E"}}},
      {L"\x0E01\x0E32\x0E01\x0E46", true, {{L"\x0E01", L"\x0E32", L"\x0E01", L"\x0E46"}}},  // not marks
      {L"a\x0E34", true, {{L"a", L"\x0E34"}}},  // only a three-byte character takes a mark
      {L"\x0E01\x0E01", true, {{L"\x0E01", L"\x0E01"}}},
      // Two CJK characters are two glyphs, even when the second one's UTF-8 bytes look
      // like those of a Thai mark.
      {L"\x6D4B\x4E3A\x4E4E", true, {{L"\x6D4B", L"\x4E3A", L"\x4E4E"}}},
      {L"\xD83D\xDE00x", true, {{L"\xD83D\xDE00", L"x"}}},
      {L"a\xD83D", false, {}},
      // Arabic lines come right to left: the last glyph string first.
      {L"\x0644\x0627", true, {{L"\x0644\x0627"}}},                                  // lam-alef
      {L"\x0633\x0644\x0627\x0645", true, {{L"\x0645", L"\x0633\x0644\x0627"}}},    // seen joins the lam-alef
      {L"\x0628\x0644", true, {{L"\x0628\x0644"}}},                                  // a lam at the line's end
      {L"\x0628\x0644\x064E", true, {{L"\x0628\x0644\x064E"}}},                      // then a mark
      {L"\x0628\x064E\x0628", true, {{L"\x0628\x064E\x0628"}}},                      // a mark between joined letters
      {L"\x0628\x0640\x0628", true, {{L"\x0628", L"\x0628\x0640"}}},                 // a tatweel ends its run
      {L"\x062F\x0627\x0631", true, {{L"\x0631", L"\x0627", L"\x062F"}}},            // letters that never join
      {L"\x064E\x0628 \x0628\x0628", true, {{L"\x0628\x0628", L" ", L"\x0628", L"\x064E"}}},
      {L"\x0644\x064E\x0627x", true, {{L"x", L"\x0644\x064E\x0627"}}},               // a mark inside lam-alef
  };
  for (const SplitCase& c : cases) {
    Lines lines;
    EXPECT_EQ(ui::TextEffect_GdiPlus::SplitIntoGlyphs(c.text, lines), c.result) << testing::PrintToString(std::wstring(c.text));
    if (c.result) {
      EXPECT_EQ(lines, c.expected) << testing::PrintToString(std::wstring(c.text));
    }
  }
}

// Whatever the letters, Arabic clusters join back to the line.
TEST(TextEffectSplit, ArabicClustersCoverTheLine) {
  const std::wstring lines[] = {
      L"\x0627\x0644\x0633\x0644\x0627\x0645 \x0639\x0644\x064A\x0643\x0645",
      L"\x0644", L"\x0644\x0623", L"\x0640\x0640\x0628", L"\x064B\x064C", L"\x0628\x0670\x06ED",
      L"\x0621\x0626\x0628\x0644\x0625\x0644", L"12 \x0645\x0631\x062D\x0628\x0627!",
  };
  for (const std::wstring& line : lines) {
    std::wstring joined;
    for (const std::wstring& unit : ui::SplitArabicClusters(line)) {
      EXPECT_FALSE(unit.empty());
      joined += unit;
    }
    EXPECT_EQ(joined, line);
  }
}

class TextEffectDrawing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_NE(ui::UiRuntime::RegisterFont(L"render.effect.60", L"system", 60, false, false, false, false), nullptr);
  }

  std::unique_ptr<ui::RenderContext_GdiPlus> Draw(ui::TextEffect_GdiPlus& effect, const std::wstring& text, UINT style,
                                                  const ui::Rect& rect = ui::Rect{0, 0, 300, 90}) {
    auto context = NewContext(300, 90);
    Paint(*context, 0xFF000000);
    context->DrawTextWithEffect(rect, text, 0xFF00FF00, L"render.effect.60", style, &effect, false);
    return context;
  }

  // Columns holding any pixel brighter than the background.
  static std::vector<bool> InkColumns(ui::IRenderContext& context) {
    std::vector<bool> columns(context.SurfaceWidth(), false);
    for (int y = 0; y < context.SurfaceHeight(); ++y)
      for (int x = 0; x < context.SurfaceWidth(); ++x)
        if ((PixelAt(context, x, y) & 0xFFFFFF) != 0) columns[x] = true;
    return columns;
  }

  // Start of the second run of ink columns.
  static int SecondGlyphStart(ui::IRenderContext& context) {
    const std::vector<bool> ink = InkColumns(context);
    int runs = 0;
    for (size_t x = 0; x < ink.size(); ++x)
      if (ink[x] && (x == 0 || !ink[x - 1]) && ++runs == 2) return static_cast<int>(x);
    return -1;
  }
};

TEST_F(TextEffectDrawing, OutlineRingsLieOutsideTheFill) {
  ui::TextEffect_GdiPlus effect;
  effect.SetOutline(0xFFFF0000, 0xFF0000FF, 8, false);
  auto context = Draw(effect, L"H", 0);
  int firstBlue = -1, firstRed = -1, firstGreen = -1, rows = 0;
  for (int y = 0; y < 90 && firstGreen < 0; ++y) {
    // The first row that reaches the fill: walk it from the left edge inwards.
    for (int x = 0; x < 300; ++x) {
      const uint32_t p = PixelAt(*context, x, y);
      if (firstBlue < 0 && Channel(p, 0) > 160 && Channel(p, 16) < 80) firstBlue = x;
      if (firstRed < 0 && Channel(p, 16) > 160 && Channel(p, 0) < 80) firstRed = x;
      if (Channel(p, 8) > 160) {
        firstGreen = x;
        break;
      }
    }
    if (firstGreen < 0) firstBlue = firstRed = -1;
    ++rows;
  }
  ASSERT_GE(firstGreen, 0);
  EXPECT_GE(firstBlue, 0);
  EXPECT_LT(firstBlue, firstRed);
  EXPECT_LT(firstRed, firstGreen);

  ui::TextEffect_GdiPlus bare;
  bare.SetOutline(0xFFFF0000, 0xFF0000FF, 0, false);
  auto plain = Draw(bare, L"H", 0);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 300; ++x) {
      const uint32_t p = PixelAt(*plain, x, y);
      ASSERT_LT(Channel(p, 16), 40) << x << "," << y;
      ASSERT_LT(Channel(p, 0), 40) << x << "," << y;
    }
}

TEST_F(TextEffectDrawing, SpacingWidensTheGapBetweenGlyphs) {
  ui::TextEffect_GdiPlus narrow, wide;
  narrow.SetCharSpacing(1);
  wide.SetCharSpacing(21);
  auto close = Draw(narrow, L"II", 0);
  auto apart = Draw(wide, L"II", 0);
  const int closeStart = SecondGlyphStart(*close), apartStart = SecondGlyphStart(*apart);
  ASSERT_GT(closeStart, 0);
  EXPECT_NEAR(apartStart - closeStart, 20, 1);

  // The same text again is not split again; a text that cannot be split is retried and
  // never drawn with the previous text's glyphs.
  EXPECT_EQ(wide.CachedLines(), (Lines{{L"I", L"I"}}));
  Draw(wide, L"I\xDC00", 0);
  auto again = Draw(wide, L"II", 0);
  EXPECT_EQ(wide.CachedLines(), (Lines{{L"I", L"I"}}));
  EXPECT_EQ(SecondGlyphStart(*again), apartStart);
}

// A space is not measured as a glyph: it advances by the space width of the font (the
// gap "a a" adds over "aa") plus the spacing.
TEST_F(TextEffectDrawing, SpaceAdvancesByTheSpaceWidthPlusSpacing) {
  ui::TextEffect_GdiPlus effect;
  effect.SetCharSpacing(3);
  auto joined = Draw(effect, L"II", 0);
  auto spaced = Draw(effect, L"I I", 0);
  Gdiplus::GpGraphics* graphics = nullptr;
  Gdiplus::GpStringFormat *generic = nullptr, *format = nullptr;
  ASSERT_EQ(Gdiplus::DllExports::GdipCreateFromHDC(joined->DrawingDC(), &graphics), Gdiplus::Ok);
  Gdiplus::DllExports::GdipStringFormatGetGenericTypographic(&generic);
  Gdiplus::DllExports::GdipCloneStringFormat(generic, &format);
  ui::ApplyTextStyleToFormat(format, 0, false);
  const int space = ui::TextEffect_GdiPlus::MeasureSpaceWidth(
      graphics, ui::UiRuntime::FindFont(L"render.effect.60")->gdipFont, format);
  Gdiplus::DllExports::GdipDeleteStringFormat(format);
  Gdiplus::DllExports::GdipDeleteGraphics(graphics);
  EXPECT_GT(space, 5);
  EXPECT_NEAR(SecondGlyphStart(*spaced) - SecondGlyphStart(*joined), space + 3, 1);
}

// Each line starts lower by the tallest glyph met so far; empty lines are dropped.
TEST_F(TextEffectDrawing, LinesStackByGlyphHeight) {
  auto inkRows = [](ui::IRenderContext& context) {
    std::vector<int> starts;
    bool previous = false;
    for (int y = 0; y < context.SurfaceHeight(); ++y) {
      bool ink = false;
      for (int x = 0; x < context.SurfaceWidth() && !ink; ++x) ink = (PixelAt(context, x, y) & 0xFFFFFF) != 0;
      if (ink && !previous) starts.push_back(y);
      previous = ink;
    }
    return starts;
  };
  ui::TextEffect_GdiPlus effect;
  effect.SetCharSpacing(1);
  auto context = NewContext(300, 200);
  Paint(*context, 0xFF000000);
  context->DrawTextWithEffect(ui::Rect{0, 0, 300, 200}, L"II\nII", 0xFF00FF00, L"render.effect.60", 0, &effect, false);
  const std::vector<int> rows = inkRows(*context);
  ASSERT_EQ(rows.size(), 2u);
  const ui::Rect glyph = context->MeasureText(L"I", L"render.effect.60", DT_SINGLELINE, -1);
  EXPECT_NEAR(rows[1] - rows[0], glyph.bottom - 1, 1);

  auto spaced = NewContext(300, 200);
  Paint(*spaced, 0xFF000000);
  spaced->DrawTextWithEffect(ui::Rect{0, 0, 300, 200}, L"II\n\nII", 0xFF00FF00, L"render.effect.60", 0, &effect, false);
  EXPECT_EQ(inkRows(*spaced), rows);
}

TEST_F(TextEffectDrawing, RightAlignedGlyphsEndAtTheRightEdge) {
  ui::TextEffect_GdiPlus effect;
  effect.SetCharSpacing(1);
  auto context = Draw(effect, L"HHH", DT_RIGHT, ui::Rect{0, 0, 250, 90});
  const std::vector<bool> ink = InkColumns(*context);
  int right = -1, left = -1;
  for (int x = 0; x < 300; ++x)
    if (ink[x]) {
      right = x + 1;
      if (left < 0) left = x;
    }
  EXPECT_LE(right, 250);
  EXPECT_GE(right, 244);
  EXPECT_GT(left, 60) << "the three letters lie left of the edge";
}

TEST_F(TextEffectDrawing, GradientFillChangesAcrossTheText) {
  ui::TextEffect_GdiPlus effect;
  effect.SetFillGradient(0xFFFF0000, 0xFF0000FF, 1.0f, 1.0f);
  auto context = Draw(effect, L"MMMM", 0);
  long redLeft = 0, blueLeft = 0, redRight = 0, blueRight = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 300; ++x) {
      const uint32_t p = PixelAt(*context, x, y);
      if (x < 60) {
        redLeft += Channel(p, 16);
        blueLeft += Channel(p, 0);
      } else if (x > 140) {
        redRight += Channel(p, 16);
        blueRight += Channel(p, 0);
      }
    }
  EXPECT_GT(redLeft, blueLeft);
  EXPECT_GT(blueRight, redRight);
}

// A gradient box of no size cannot make a gradient: the text is still filled, in its colour.
TEST_F(TextEffectDrawing, EmptyGradientBoxFallsBackToTheTextColour) {
  ui::TextEffect_GdiPlus effect;
  effect.SetFillGradient(0xFFFF0000, 0xFF0000FF, 0.0f, 0.0f);
  auto context = Draw(effect, L"H", 0);
  int green = 0;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 300; ++x) green += Channel(PixelAt(*context, x, y), 8) > 200;
  EXPECT_GT(green, 100);
}

TEST_F(TextEffectDrawing, WholeTextWithoutSpacingFollowsTheFormat) {
  ui::TextEffect_GdiPlus effect;
  auto context = Draw(effect, L"II", DT_CENTER);
  const std::vector<bool> ink = InkColumns(*context);
  int left = -1, right = -1;
  for (int x = 0; x < 300; ++x)
    if (ink[x]) {
      right = x + 1;
      if (left < 0) left = x;
    }
  ASSERT_GE(left, 0);
  EXPECT_NEAR((left + right) / 2, 150, 6) << "centred in the rectangle";
  auto nothing = Draw(effect, L"", 0);
  nothing->DrawTextWithEffect(ui::Rect{0, 0, 300, 90}, L"II", 0xFF00FF00, L"render.effect.60", 0, nullptr, false);
  EXPECT_EQ(InkColumns(*nothing), std::vector<bool>(300, false)) << "no text, no effect: nothing drawn";
}

}  // namespace
