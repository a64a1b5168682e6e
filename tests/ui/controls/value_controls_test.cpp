// Progress, slider and circle progress: fills painted off screen, the slider's geometry, its
// wheel and its mends for empty ranges, attributes, the circle's indicator, and, in a real
// window, drags past both ends and a screenshot of the arcs.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/controls/circle_progress.h"
#include "ui/controls/slider.h"
#include "ui/core/control_test_support.h"
#include "ui/core/scrollable_box.h"
#include "ui/core/window_test_support.h"
#include "ui/render/gdiplus_api.h"
#include "ui/render/render_test_support.h"
#include "ui/resources/image_fixtures.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kGrey = 0xFFC0C0C0u;

bool IsRed(uint32_t p) { return Channel(p, 16) > 0xC0 && Channel(p, 8) < 0x40 && Channel(p, 0) < 0x40; }
bool IsBlue(uint32_t p) { return Channel(p, 16) < 0x40 && Channel(p, 8) < 0x40 && Channel(p, 0) > 0xC0; }

class ValueControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::UiRuntime::SetColor(L"v.red", kRed);
    ui::UiRuntime::SetColor(L"v.blue", kBlue);
    ui::UiRuntime::SetColor(L"v.grey", kGrey);
  }
  // Paints control (its bounds at the surface's origin) onto white; the surface.
  static std::unique_ptr<ui::RenderContext_GdiPlus> PaintOnWhite(ui::Control& control) {
    const Rect b = control.GetBounds(true);
    auto context = render_test::NewContext(b.right, b.bottom);
    render_test::Paint(*context, kWhite);
    control.Paint(context.get(), b);
    return context;
  }
  // The extent of the pixels matching along one row or column, [first, last]; (-1, -1) for none.
  template <typename Match>
  static std::pair<int, int> Extent(ui::IRenderContext& context, bool alongX, int fixed, int from, int to, Match match) {
    std::pair<int, int> range{-1, -1};
    for (int i = from; i < to; ++i) {
      if (!match(alongX ? render_test::PixelAt(context, i, fixed) : render_test::PixelAt(context, fixed, i))) continue;
      if (range.first < 0) range.first = i;
      range.second = i;
    }
    return range;
  }
};

TEST_F(ValueControlsTest, FillsArePaintedOverTheValuesShare) {
  struct Case {
    bool slider;
    bool horizontal;
    int width, height, minimum, maximum;
    double value;
    Rect fill;                 // ProgressFillRect after painting
    int storedMaximum;         // after painting
    double storedValue;
    std::pair<int, int> red;   // red extent along the fill direction
  } cases[] = {
      {false, true, 200, 12, 0, 100, 25, {0, 0, 50, 12}, 100, 25, {0, 49}},
      {false, false, 20, 80, 0, 100, 25, {0, 60, 20, 80}, 100, 25, {60, 79}},
      {false, true, 200, 12, 0, 100, 150, {0, 0, 200, 12}, 100, 100, {0, 199}},
      {false, true, 200, 12, 0, 100, -5, {0, 0, 0, 12}, 100, 0, {-1, -1}},
      {false, true, 200, 12, 10, 10, 10, {0, 0, 0, 12}, 11, 10, {-1, -1}},
      // The slider's fill ends under the centre of its 10 x 10 thumb.
      {true, true, 110, 10, 0, 100, 50, {0, 0, 55, 10}, 100, 50, {0, 54}},
      {true, false, 10, 110, 0, 100, 50, {0, 55, 10, 110}, 100, 50, {55, 109}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ui::Progress> bar(c.slider ? new ui::Slider() : new ui::Progress());
    bar->ApplyAttribute(L"hor", c.horizontal ? L"true" : L"false");
    bar->ApplyAttribute(L"min", std::to_wstring(c.minimum));
    bar->ApplyAttribute(L"max", std::to_wstring(c.maximum));
    bar->SetValue(c.value);
    bar->ApplyAttribute(L"progresscolor", L"  v.red");
    bar->SetBounds(Rect{0, 0, c.width, c.height});
    auto context = PaintOnWhite(*bar);
    const std::string label = (c.slider ? "slider " : "progress ") + std::to_string(c.value);
    const Rect fill = bar->ProgressFillRect();
    EXPECT_TRUE(ui_test::Same(fill, c.fill)) << label << ": " << fill.left << "," << fill.top << "," << fill.right
                                             << "," << fill.bottom;
    EXPECT_EQ(bar->GetMaximum(), c.storedMaximum) << label;
    EXPECT_EQ(bar->GetValue(), c.storedValue) << label;
    const auto red = c.horizontal ? Extent(*context, true, c.height / 2, 0, c.width, IsRed)
                                  : Extent(*context, false, c.width / 2, 0, c.height, IsRed);
    EXPECT_EQ(red, c.red) << label;
  }
}

TEST_F(ValueControlsTest, ProgressImageIsSqueezedOrCutAtTheFillEdge) {
  test_support::TempDir dir;
  // 200 x 10: the left half red, the right half blue.
  std::vector<uint32_t> pixels(200 * 10);
  for (int i = 0; i < 2000; ++i) pixels[i] = (i % 200) < 100 ? kRed : kBlue;
  const std::wstring path = dir.Path() + L"\\halves.png";
  ASSERT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(200, 10, pixels)));
  struct Case {
    const wchar_t* stretch;
    std::pair<int, int> red, blue;
  } cases[] = {
      {L"true", {0, 74}, {75, 149}},    // the whole image in the 150 filled pixels
      {L"false", {0, 99}, {100, 149}},  // the image's own first 150 pixels
  };
  for (const Case& c : cases) {
    ui::Progress bar;
    bar.ApplyAttribute(L"progressimage", L"file='" + path + L"'");
    bar.ApplyAttribute(L"isstretchfore", c.stretch);
    bar.ApplyAttribute(L"value", L"75");
    bar.SetBounds(Rect{0, 0, 200, 10});
    auto context = PaintOnWhite(bar);
    EXPECT_EQ(Extent(*context, true, 5, 0, 200, IsRed), c.red) << c.stretch;
    EXPECT_EQ(Extent(*context, true, 5, 0, 200, IsBlue), c.blue) << c.stretch;
  }
}

TEST_F(ValueControlsTest, SliderThumbAndValuesAtPoints) {
  ui::Slider slider;
  slider.SetBounds(Rect{20, 5, 130, 15});  // 110 wide, thumb 10 x 10
  slider.SetValue(50);
  EXPECT_TRUE(ui_test::Same(slider.ThumbRect(), Rect{70, 5, 80, 15}));
  EXPECT_EQ(slider.ProgressFillRect().right, 55);
  struct Case {
    int minimum, maximum;
    int x;
    double value;
  } cases[] = {
      {0, 100, 25, 0},     // within half a thumb of the left end
      {0, 100, -400, 0},   // far past it
      {0, 100, 125, 100},  // within half a thumb of the right end
      {0, 100, 900, 100},
      {0, 100, 75, 50},
      {0, 100, 26, 1},
      // An empty or inverted range counts as 1: finite values, no division by 0.
      {5, 5, 75, 5.5},
      {9, 3, 75, 9.5},
  };
  for (const Case& c : cases) {
    slider.SetMinimum(c.minimum);
    slider.SetMaximum(c.maximum);
    const double value = slider.ValueAtPoint(ui::Point{c.x, 10});
    EXPECT_DOUBLE_EQ(value, c.value) << c.minimum << ".." << c.maximum << " at " << c.x;
  }
  // Vertical: the bottom is the minimum.
  ui::Slider upright;
  upright.ApplyAttribute(L"hor", L"false");
  upright.SetBounds(Rect{0, 0, 10, 110});
  EXPECT_DOUBLE_EQ(upright.ValueAtPoint(ui::Point{5, 108}), 0);
  EXPECT_DOUBLE_EQ(upright.ValueAtPoint(ui::Point{5, 2}), 100);
  EXPECT_DOUBLE_EQ(upright.ValueAtPoint(ui::Point{5, 55}), 50);
  upright.SetValue(50);
  EXPECT_TRUE(ui_test::Same(upright.ThumbRect(), Rect{0, 50, 10, 60}));
  // Minimum equal to maximum before any paint repaired it: the thumb stays at the start.
  upright.SetMinimum(7);
  upright.SetMaximum(7);
  upright.SetValue(7);
  EXPECT_TRUE(ui_test::Same(upright.ThumbRect(), Rect{0, 100, 10, 110}));
  EXPECT_EQ(upright.ProgressFillRect().top, 5);  // at its maximum too: all filled
}

TEST_F(ValueControlsTest, NumberListsMayBeShortAndAreScaled) {
  struct Case {
    int scale;
    const wchar_t* thumb;
    ui::Size size;
    const wchar_t* padding;
    Rect scaledPadding;
  } cases[] = {
      {100, L"14,6", {14, 6}, L"1,2,3,4", {1, 2, 3, 4}},
      {100, L"12", {12, 0}, L"1,2", {1, 2, 0, 0}},
      {100, L"", {0, 0}, L"", {0, 0, 0, 0}},
      {150, L"10,10", {15, 15}, L"2,2,4,4", {3, 3, 6, 6}},
  };
  for (const Case& c : cases) {
    ui_test::ScopedDpi dpi(c.scale);
    ui::Slider slider;
    slider.ApplyAttribute(L"thumbsize", c.thumb);
    slider.ApplyAttribute(L"progressbarpadding", c.padding);
    EXPECT_EQ(slider.GetThumbSize().cx, c.size.cx) << c.thumb;
    EXPECT_EQ(slider.GetThumbSize().cy, c.size.cy) << c.thumb;
    EXPECT_TRUE(ui_test::Same(slider.GetProgressBarPadding(), c.scaledPadding)) << c.padding;
  }
  ui_test::ScopedDpi dpi(150);
  ui::Progress bar;
  EXPECT_EQ(bar.GetFixedHeight(), 18);
  EXPECT_EQ(bar.GetFixedWidth(), ui::kSizeStretch);
  EXPECT_EQ(bar.GetTextStyle(), static_cast<UINT>(DT_SINGLELINE | DT_CENTER));
}

TEST_F(ValueControlsTest, WheelStepsTheValueUnlessDisabledOrMouseBlind) {
  // In a window, so the slider knows its parent.
  ui::Window window;
  auto* parent = new ui::Box();
  window.AttachRoot(parent);
  auto* slider = new ui::Slider();
  parent->AddChild(slider);
  slider->ApplyAttribute(L"step", L"5");
  slider->SetValue(50);
  int changes = 0;
  std::vector<ui::EventType> atParent;
  slider->AddEventHandler(ui::kEventValueChange, [&](ui::EventArgs* args) {
    EXPECT_EQ(args->sender, slider);
    ++changes;
    return true;
  });
  parent->AddBubbledEventHandler(ui::kEventAll, [&](ui::EventArgs* args) {
    if (args->type != ui::kEventValueChange) atParent.push_back(args->type);
    return true;
  });
  const auto wheel = [&](int delta) { slider->RaiseEvent(ui::kEventScrollWheel, static_cast<uint64_t>(int64_t{delta})); };
  wheel(-120);
  EXPECT_EQ(slider->GetValue(), 45);
  wheel(120);
  wheel(120);
  EXPECT_EQ(slider->GetValue(), 55);
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(atParent.empty());

  // Disabled: the wheel goes to the parent and nothing changes.
  slider->SetEnabled(false);
  wheel(120);
  EXPECT_EQ(slider->GetValue(), 55);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(atParent, (std::vector<ui::EventType>{ui::kEventScrollWheel}));
  // Mouse-blind: presses go to the parent as well.
  slider->SetEnabled(true);
  slider->SetMouseEnabled(false);
  atParent.clear();
  slider->RaiseEvent(ui::kEventButtonDown);
  slider->RaiseEvent(ui::kEventButtonUp);
  EXPECT_EQ(atParent, (std::vector<ui::EventType>{ui::kEventButtonDown, ui::kEventButtonUp}));
  EXPECT_EQ(changes, 3);
}

TEST_F(ValueControlsTest, DragInAScrolledBoxTakesTheValueUnderThePointer) {
  // A vertical slider 110 high at content y 100..210 in a box scrolled down by 50.
  ui::Window window;
  auto* box = new ui::ScrollableBox(new ui::VLayout());
  window.AttachRoot(box);
  box->EnableScrollBars(true, false);
  auto* spacer = new ui::Control();
  spacer->SetDeclaredHeight(100, false);
  auto* slider = new ui::Slider();
  slider->ApplyAttribute(L"hor", L"false");
  slider->SetDeclaredHeight(110, false);
  auto* tail = new ui::Control();
  tail->SetDeclaredHeight(300, false);
  for (ui::Control* child : {static_cast<ui::Control*>(spacer), static_cast<ui::Control*>(slider), tail}) box->AddChild(child);
  box->SetBounds(Rect{0, 0, 100, 200});
  box->SetScrollOffsetY(50);
  ASSERT_EQ(slider->GetAncestorScrollOffset().y, 50);
  ASSERT_EQ(slider->GetBounds(true).top, 100);
  const int x = slider->GetBounds(true).left + slider->GetBounds(true).Width() / 2;
  // The thumb (value 0, at the bottom) shows at window y 150..160.
  slider->RaiseEvent(ui::kEventButtonDown, 0, 0, 0, ui::Point{x, 155});
  ASSERT_TRUE(slider->IsMouseDown());
  // Window y 105 is content y 155: half way up the track.
  slider->RaiseEvent(ui::kEventMouseMove, 0, 0, 0, ui::Point{x, 105});
  EXPECT_DOUBLE_EQ(slider->GetValue(), 50);
  slider->RaiseEvent(ui::kEventButtonUp, 0, 0, 0, ui::Point{x, 60});
  EXPECT_DOUBLE_EQ(slider->GetValue(), 95);
  EXPECT_FALSE(slider->IsMouseDown());
}

// The ARGB of an indicator pixel (it is a bitmap when loaded from a PNG).
uint32_t IndicatorPixel(ui::CircleProgress& circle, int x, int y) {
  Gdiplus::ARGB argb = 0;
  Gdiplus::DllExports::GdipBitmapGetPixel(reinterpret_cast<Gdiplus::GpBitmap*>(circle.GetIndicator()), x, y, &argb);
  return argb;
}

TEST_F(ValueControlsTest, CircleSweepColoursAndIndicatorTurns) {
  ui::CircleProgress circle;
  circle.SetValue(25);
  EXPECT_DOUBLE_EQ(circle.SweepAngle(), 90);
  circle.ApplyAttribute(L"fgcolor", L" v.red");
  circle.ApplyAttribute(L"bgcolor", L"v.no-such-colour");
  EXPECT_EQ(circle.GetForegroundColor(), kRed);
  EXPECT_EQ(circle.GetBackgroundColor(), 0u);

  // A 4 x 2 indicator whose left column is red: turned a quarter clockwise the red is on top.
  test_support::TempDir dir;
  std::vector<uint32_t> pixels = {kRed, kBlue, kBlue, kBlue, kRed, kBlue, kBlue, kBlue};
  const std::wstring path = dir.Path() + L"\\dot.png";
  ASSERT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(4, 2, pixels)));
  circle.ApplyAttribute(L"indicator", path);
  ASSERT_NE(circle.GetIndicator(), nullptr);
  EXPECT_EQ(IndicatorPixel(circle, 0, 0), kRed);
  EXPECT_EQ(IndicatorPixel(circle, 0, 3), kBlue);
  // Counter-clockwise turns it by half a turn, once: red at the bottom.
  circle.ApplyAttribute(L"clockwise", L"false");
  circle.ApplyAttribute(L"clockwise", L"false");
  EXPECT_EQ(IndicatorPixel(circle, 0, 3), kRed);
  EXPECT_EQ(IndicatorPixel(circle, 0, 0), kBlue);
  EXPECT_DOUBLE_EQ(circle.SweepAngle(), -90);

  // Dropped with the image caches, it comes back only with another path.
  circle.DropImageCaches();
  EXPECT_EQ(circle.GetIndicator(), nullptr);
  circle.ApplyAttribute(L"indicator", path);
  EXPECT_EQ(circle.GetIndicator(), nullptr);
  circle.ApplyAttribute(L"indicator", dir.Path() + L"\\none.png");
  EXPECT_EQ(circle.GetIndicator(), nullptr);
  circle.ApplyAttribute(L"indicator", path);
  ASSERT_NE(circle.GetIndicator(), nullptr);
  EXPECT_EQ(IndicatorPixel(circle, 0, 3), kRed);  // loaded counter-clockwise: a quarter back
}

// Value controls in a real window, driven with real input and read from the screen.
class ValueControlsScreenTest : public ValueControlsTest {
 protected:
  static constexpr int kLeft = 160, kTop = 140;
  void Open(const std::vector<std::pair<ui::Control*, Rect>>& children) {
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 400, kTop + 200}, false);
    ui::Box* root = RootWith(Rect{}, children);
    root->ApplyAttribute(L"bkcolor", L"v.white");
    ui::UiRuntime::SetColor(L"v.white", kWhite);
    window->AttachRoot(root);
    PumpUntilPainted(*window);
  }
  void TearDown() override { MouseButton(MOUSEEVENTF_LEFTUP); }
  WindowPtr window;
};

TEST_F(ValueControlsScreenTest, RealDragsPastEitherEndGiveMinimumAndMaximum) {
  auto* slider = new ui::Slider();
  slider->ApplyAttribute(L"min", L"10");
  slider->ApplyAttribute(L"max", L"60");
  slider->ApplyAttribute(L"progresscolor", L"v.red");
  slider->SetValue(35);
  Open({{slider, Rect{40, 40, 150, 60}}});  // thumb at x 90..100
  std::vector<double> changes;
  slider->AddEventHandler(ui::kEventValueChange, [&](ui::EventArgs*) {
    changes.push_back(slider->GetValue());
    return true;
  });
  const auto drag = [&](int fromX, int toX) {
    MoveMouseTo(kLeft + fromX, kTop + 50);
    PumpFor(40);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    PumpFor(40);
    MoveMouseTo(kLeft + (fromX + toX) / 2, kTop + 50);
    PumpFor(40);
    MoveMouseTo(kLeft + toX, kTop + 55);
    PumpFor(40);
    MouseButton(MOUSEEVENTF_LEFTUP);
    PumpFor(80);
  };
  drag(95, 5);
  EXPECT_EQ(changes, (std::vector<double>{10}));
  drag(45, 300);  // the thumb is at the left end now
  EXPECT_EQ(changes, (std::vector<double>{10, 60}));
  // The fill follows: red up to the thumb's centre at the right end.
  const Capture capture = CaptureScreen(RECT{kLeft, kTop, kLeft + 400, kTop + 200});
  EXPECT_TRUE(IsRed(capture.At(140, 50)));
  EXPECT_FALSE(IsRed(capture.At(150, 50)));
}

TEST_F(ValueControlsScreenTest, CircleArcsRunFromTheTopBothWays) {
  ui::CircleProgress* circles[3];
  for (auto*& circle : circles) {
    circle = new ui::CircleProgress();
    circle->ApplyAttribute(L"circlewidth", L"8");
    circle->ApplyAttribute(L"bgcolor", L"v.grey");
    circle->ApplyAttribute(L"fgcolor", L"v.red");
    circle->ApplyAttribute(L"value", L"25");
  }
  circles[1]->ApplyAttribute(L"clockwise", L"false");
  circles[2]->ApplyAttribute(L"gradientcolor", L"v.blue");
  circles[2]->ApplyAttribute(L"value", L"60");
  Open({{circles[0], Rect{20, 20, 140, 140}}, {circles[1], Rect{150, 20, 270, 140}},
        {circles[2], Rect{280, 20, 400, 140}}});
  const Capture capture = CaptureScreen(RECT{kLeft, kTop, kLeft + 400, kTop + 200});
  SaveCapture(capture, "circle_progress_arcs");
  // Centre (80, 80), ring radius about 54: red at 45 degrees right of the top for the
  // clockwise one, left of it for the other; the rest of the ring grey.
  const int r = 54;
  const int d = static_cast<int>(r * std::sqrt(0.5));
  EXPECT_TRUE(IsRed(capture.At(80 + d, 80 - d)));
  EXPECT_FALSE(IsRed(capture.At(80 - d, 80 - d)));
  EXPECT_FALSE(IsRed(capture.At(80 + d, 80 + d)));
  EXPECT_TRUE(RgbNear(capture.At(80 - d, 80 - d), kGrey, 16));
  EXPECT_TRUE(IsRed(capture.At(210 - d, 80 - d)));
  EXPECT_FALSE(IsRed(capture.At(210 + d, 80 - d)));
  EXPECT_TRUE(RgbNear(capture.At(210 + d, 80 - d), kGrey, 16));
  // The gradient arc (60 %) reaches past the bottom; its end is not grey.
  EXPECT_FALSE(RgbNear(capture.At(340, 80 + r), kGrey, 16));
  EXPECT_TRUE(RgbNear(capture.At(340 - r, 80), kGrey, 16));
}

}  // namespace
