// The scroll bar on its own: geometry, range and visibility, attributes, part states, held
// buttons and rails on the repeat timer, thumb drags (one with no room to move), and the
// auto-hide on release outside its owner.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/controls/scroll_bar.h"
#include "ui/core/control_test_support.h"
#include "ui/core/kept_memory.h"
#include "ui/core/scrollable_box.h"
#include "ui/render/render_test_support.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::PumpFor;
using ui_test::PumpUntil;
using ui_test::R;
using ui_test::Same;
using ui_test::TestWindow;

namespace {

std::string Show(const Rect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

TEST(ScrollBarTest, Geometry) {
  struct Case {
    const char* title;
    const wchar_t* attributes;
    Rect bounds;
    int64_t range, position;
    Rect button1, button2, thumb;
  } cases[] = {
      {"16 x 200, range 100, position 50: thumb 112 at top + 44", L"", R(10, 20, 26, 220), 100, 50,
       R(10, 20, 26, 36), R(10, 204, 26, 220), R(10, 64, 26, 176)},
      {"14 x 300 without buttons, range 600, at the end", L"width=\"14\" showbutton1=\"false\" showbutton2=\"false\"",
       R(0, 0, 14, 300), 600, 600, R(0, 0, 14, 0), R(0, 300, 14, 300), R(0, 200, 14, 300)},
      {"14 x 300 without buttons, range 600, at the start", L"width=\"14\" showbutton1=\"false\" showbutton2=\"false\"",
       R(0, 0, 14, 300), 600, 0, R(0, 0, 14, 0), R(0, 300, 14, 300), R(0, 0, 14, 100)},
      {"16 x 20: two 16 x 10 buttons, no thumb", L"", R(0, 0, 16, 20), 100, 0, R(0, 0, 16, 10), R(0, 10, 16, 20),
       R(0, 0, 0, 0)},
      {"a short thumb is lengthened to the minimum; travel shrinks", L"", R(0, 0, 16, 200), 10000, 10000,
       R(0, 0, 16, 16), R(0, 184, 16, 200), R(0, 154, 16, 184)},
      {"range 0: the thumb spans the track", L"", R(0, 0, 16, 100), 0, 0, R(0, 0, 16, 16), R(0, 84, 16, 100),
       R(0, 16, 16, 84)},
      {"horizontal 200 x 16, range 100, position 100", L"hor=\"true\"", R(0, 50, 200, 66), 100, 100,
       R(0, 50, 16, 66), R(184, 50, 200, 66), R(72, 50, 184, 66)},
  };
  for (const Case& c : cases) {
    ScrollBar bar;
    bar.ApplyAttributeString(c.attributes);
    bar.SetScrollRange(c.range);
    bar.SetScrollPos(c.position);
    bar.SetBounds(c.bounds);
    EXPECT_EQ(Show(bar.GetButton1Rect()), Show(c.button1)) << c.title;
    EXPECT_EQ(Show(bar.GetButton2Rect()), Show(c.button2)) << c.title;
    EXPECT_EQ(Show(bar.GetThumbRect()), Show(c.thumb)) << c.title;
  }
}

TEST(ScrollBarTest, RangePositionAndVisibility) {
  ScrollBar bar;
  EXPECT_EQ(bar.GetScrollRange(), 100);
  bar.SetScrollPos(80);
  bar.SetScrollRange(-5);  // negative: 0, which hides the bar and lowers the position
  EXPECT_EQ(bar.GetScrollRange(), 0);
  EXPECT_EQ(bar.GetScrollPos(), 0);
  EXPECT_FALSE(bar.IsVisible());
  bar.SetScrollRange(50);  // auto-hide on: stays hidden
  EXPECT_FALSE(bar.IsVisible());
  bar.ApplyAttribute(L"autohidescroll", L"false");
  bar.SetScrollRange(60);  // auto-hide off: shows
  EXPECT_TRUE(bar.IsVisible());
  bar.SetScrollPos(-3);
  EXPECT_EQ(bar.GetScrollPos(), 0);
  bar.ApplyAttribute(L"value", L"75");
  EXPECT_EQ(bar.GetScrollPos(), 60);
  bar.ApplyAttribute(L"range", L"20");
  EXPECT_EQ(bar.GetScrollPos(), 20);

  // Switching direction swaps a missing thickness.
  bar.ApplyAttribute(L"hor", L"true");
  EXPECT_TRUE(bar.IsHorizontal());
  EXPECT_EQ(bar.GetFixedHeight(), 16);
  EXPECT_EQ(bar.GetFixedWidth(), 0);
  bar.ApplyAttribute(L"hor", L"yes");  // only "true" is true
  EXPECT_FALSE(bar.IsHorizontal());
  EXPECT_EQ(bar.GetFixedWidth(), 16);

  ui_test::ScopedDpi dpi(150);
  bar.ApplyAttribute(L"linesize", L"10");
  bar.ApplyAttribute(L"thumbminlength", L"20");
  EXPECT_EQ(bar.GetLineSize(), 15);
  EXPECT_EQ(bar.GetThumbMinLength(), 30);
}

TEST(ScrollBarTest, PartStatesFollowEnterLeaveAndEnabling) {
  ScrollBar bar;
  bar.SetBounds(R(0, 0, 16, 200));
  bar.RaiseEvent(kEventMouseEnter);
  EXPECT_EQ(bar.GetButton1State(), kStateHot);
  EXPECT_EQ(bar.GetThumbState(), kStateHot);
  bar.RaiseEvent(kEventMouseLeave);
  EXPECT_EQ(bar.GetButton2State(), kStateNormal);
  bar.SetEnabled(false);
  EXPECT_EQ(bar.GetThumbState(), kStateDisabled);
  EXPECT_EQ(bar.GetState(), kStateDisabled);
  // A disabled bar ignores presses.
  bar.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 190});
  EXPECT_EQ(bar.GetScrollPos(), 0);
  bar.SetEnabled(true);
  EXPECT_EQ(bar.GetButton1State(), kStateNormal);
}

TEST(ScrollBarTest, HeldButtonStepsAtThePressAndFromTheSixthTick) {
  ScrollBar bar;
  bar.SetScrollRange(1000);
  bar.SetBounds(R(0, 0, 16, 200));
  bar.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 195});
  EXPECT_EQ(bar.GetButton2State(), kStatePushed);
  EXPECT_EQ(bar.GetScrollPos(), 8);
  for (int tick = 1; tick <= 5; ++tick) {
    bar.OnRepeatTimer();
    EXPECT_EQ(bar.GetScrollPos(), 8) << "tick " << tick;
  }
  bar.OnRepeatTimer();
  EXPECT_EQ(bar.GetScrollPos(), 16);
  bar.OnRepeatTimer();
  EXPECT_EQ(bar.GetScrollPos(), 24);
  bar.RaiseEvent(kEventButtonUp, 0, 0, 0, Point{8, 195});
  EXPECT_EQ(bar.GetButton2State(), kStateNormal);

  // On the real 50 ms timer: one step at once, none for 250 ms, then steps until released.
  bar.SetScrollPos(0);
  bar.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 5});  // button 1 at 0 stays at 0
  bar.RaiseEvent(kEventButtonUp, 0, 0, 0, Point{8, 5});
  bar.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 195});
  EXPECT_EQ(bar.GetScrollPos(), 8);
  PumpFor(200);
  EXPECT_EQ(bar.GetScrollPos(), 8);
  EXPECT_TRUE(PumpUntil([&] { return bar.GetScrollPos() >= 8 + 3 * 8; }, 30000));
  const int64_t held = bar.GetScrollPos();
  bar.RaiseEvent(kEventButtonUp, 0, 0, 0, Point{8, 195});
  PumpFor(150);
  EXPECT_EQ(bar.GetScrollPos(), held);
}

TEST(ScrollBarTest, HeldRailPagesTowardThePointerUntilTheThumbCoversIt) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ScrollBarRailWindow";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 40, 30, 100, 300, nullptr, nullptr, wc.hInstance,
                              nullptr);
  ASSERT_NE(hwnd, nullptr);
  {
    TestWindow window;
    window.SetHwnd(hwnd);
    auto* bar = new ScrollBar();
    window.AttachRoot(bar);
    bar->SetScrollRange(1000);
    bar->SetBounds(R(0, 0, 16, 200));
    // Thumb 30 long in a 168-pixel track; a page is 200.
    ASSERT_TRUE(SetCursorPos(40 + 8, 30 + 120));
    bar->RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 120});
    EXPECT_EQ(bar->GetScrollPos(), 200);  // thumb at 43..73, below it
    std::vector<int64_t> positions;
    for (int tick = 1; tick <= 9; ++tick) {
      bar->OnRepeatTimer();
      positions.push_back(bar->GetScrollPos());
    }
    // Tick 6 pages to 400 (thumb 71..101), tick 7 to 600 (98..128 covers 120), then it rests.
    EXPECT_EQ(positions, (std::vector<int64_t>{200, 200, 200, 200, 200, 400, 600, 600, 600}));
    // A pointer above the thumb pages back until the thumb covers it.
    ASSERT_TRUE(SetCursorPos(40 + 8, 30 + 60));
    bar->OnRepeatTimer();
    EXPECT_EQ(bar->GetScrollPos(), 400);
    bar->OnRepeatTimer();
    EXPECT_EQ(bar->GetScrollPos(), 200);  // 43..73 covers 60
    bar->OnRepeatTimer();
    EXPECT_EQ(bar->GetScrollPos(), 200);
    bar->RaiseEvent(kEventButtonUp, 0, 0, 0, Point{8, 60});
    window.SetHwnd(nullptr);
  }
  DestroyWindow(hwnd);
}

TEST(ScrollBarTest, ThumbDragsOnTheOwnPositionAndWithNoRoom) {
  ScrollBar bar;
  bar.SetScrollRange(400);
  bar.SetBounds(R(0, 0, 16, 200));  // thumb 56 at 16, free length 112
  bar.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 30});
  bar.RaiseEvent(kEventMouseMove, 0, 0, 0, Point{8, 58});
  bar.OnRepeatTimer();
  EXPECT_EQ(bar.GetScrollPos(), 100);
  bar.RaiseEvent(kEventMouseMove, 0, 0, 0, Point{8, 500});  // far beyond: clamped
  bar.OnRepeatTimer();
  EXPECT_EQ(bar.GetScrollPos(), 400);
  bar.RaiseEvent(kEventButtonUp, 0, 0, 0, Point{50, 500});
  EXPECT_EQ(bar.GetThumbState(), kStateNormal);  // released outside the bar
  EXPECT_FALSE(bar.IsMouseDown());

  // A thumb at its minimum length is longer than its 28-pixel track: dragging it down must
  // not move the view up (nor anywhere).
  ScrollBar cramped;
  cramped.SetScrollRange(100);
  cramped.SetScrollPos(50);
  cramped.SetBounds(R(0, 0, 16, 60));
  ASSERT_TRUE(Same(cramped.GetThumbRect(), R(0, 14, 16, 44)));
  cramped.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 30});
  ASSERT_EQ(cramped.GetThumbState(), kStatePushed);
  cramped.RaiseEvent(kEventMouseMove, 0, 0, 0, Point{8, 50});
  EXPECT_EQ(cramped.GetDragOffset(), 0);
  cramped.OnRepeatTimer();
  EXPECT_EQ(cramped.GetScrollPos(), 50);
  cramped.RaiseEvent(kEventButtonUp, 0, 0, 0, Point{8, 50});
}

TEST(ScrollBarTest, RailPressesPageAndReleaseOutsideTheOwnerHidesAnAutoHidingBar) {
  TestWindow window;
  auto* box = new ScrollableBox(new VLayout());
  box->ApplyAttribute(L"vscrollbar", L"true");
  for (int i = 0; i < 20; ++i) {
    auto* row = new Control();
    row->ApplyAttribute(L"height", L"30");
    box->AddChild(row);
  }
  window.AttachRoot(box);
  box->SetBounds(R(0, 0, 100, 200));
  ScrollBar* bar = box->GetVerticalScrollBar();
  box->RaiseEvent(kEventMouseEnter);  // the owner shows its auto-hiding bar
  ASSERT_TRUE(bar->IsVisible());
  bar->RaiseEvent(kEventButtonDown, 0, 0, 0, Point{92, 150});  // the rail below the thumb: a page
  EXPECT_EQ(box->GetScrollOffset().cy, 200);
  bar->RaiseEvent(kEventButtonUp, 0, 0, 0, Point{92, 150});
  EXPECT_TRUE(bar->IsVisible());  // released inside the owner
  bar->RaiseEvent(kEventButtonDown, 0, 0, 0, Point{92, 20});  // above the thumb: a page back
  EXPECT_EQ(box->GetScrollOffset().cy, 0);
  bar->RaiseEvent(kEventButtonUp, 0, 0, 0, Point{300, 20});
  EXPECT_FALSE(bar->IsVisible());

  // The wheel over the bar scrolls its owner.
  bar->RaiseEvent(kEventScrollWheel, static_cast<uint64_t>(static_cast<int64_t>(-120)));
  EXPECT_TRUE(box->GetLineScrollPlayer().playing || box->GetScrollOffset().cy > 0);
}

// A bar that scrolls an owner: a scroll handler of the owner deletes the bar during the press
// (a page step) or during the release of a thumb drag (the drag lands on the owner).
TEST(ScrollBarTest, AnOwnersScrollHandlerMayDeleteTheBarDuringPressAndRelease) {
  for (bool thumbDrag : {false, true}) {
    SCOPED_TRACE(thumbDrag ? "thumb drag released" : "rail pressed");
    ui_test::KeptMemoryCheck check;
    TestWindow window;
    Box* root = new Box();
    root->SetDefersChildDeletion(false);
    window.AttachRoot(root);
    auto* owner = new ScrollableBox(new VLayout());
    owner->ApplyAttribute(L"vscrollbar", L"true");
    for (int i = 0; i < 20; ++i) {
      auto* row = new Control();
      row->ApplyAttribute(L"height", L"30");
      owner->AddChild(row);
    }
    root->AddChild(owner);
    owner->SetBounds(R(0, 0, 100, 200));
    auto* bar = new ui_test::Kept<ScrollBar>();
    root->AddChild(bar);
    bar->SetOwner(owner);
    bar->SetScrollRange(400);
    bar->SetBounds(R(120, 0, 136, 200));  // thumb 56 long at 16
    int scrolls = 0;
    owner->AddEventHandler(kEventScrollChange, [&](EventArgs*) {
      if (scrolls++ == 0) root->RemoveChild(bar);
      return true;
    });
    if (thumbDrag) {
      bar->RaiseEvent(kEventButtonDown, 0, 0, 0, Point{128, 30});
      bar->RaiseEvent(kEventMouseMove, 0, 0, 0, Point{128, 58});
      ASSERT_EQ(scrolls, 0);
      bar->RaiseEvent(kEventButtonUp, 0, 0, 0, Point{128, 58});
    } else {
      bar->RaiseEvent(kEventButtonDown, 0, 0, 0, Point{128, 150});
    }
    EXPECT_EQ(scrolls, 1);
    EXPECT_GT(owner->GetScrollOffset().cy, 0);
    EXPECT_EQ(ui_test::KeptDeletions(), 1);
    EXPECT_TRUE(ui_test::FreedMemoryUntouched());
  }
}

class ScrollBarPaintTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override { UiRuntime::Uninitialize(); }

  // An 8 x 8 picture of one colour, in the test's folder.
  std::wstring Picture(const wchar_t* name, uint32_t argb) {
    const std::wstring path = dir_.Path() + L"\\" + name;
    EXPECT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(8, 8, std::vector<uint32_t>(64, argb))));
    return path;
  }
  // The bar (16 x 200 at the origin, range 100: thumb 16..128) painted whole.
  std::unique_ptr<RenderContext_GdiPlus> PaintBar(ScrollBar& bar) {
    auto context = render_test::NewContext(16, 200);
    bar.PaintSelf(context.get(), R(0, 0, 16, 200));
    return context;
  }

  test_support::TempDir dir_;
};

constexpr uint32_t kPaintRed = 0xFFFF0000u, kPaintBlue = 0xFF0000FFu, kPaintGreen = 0xFF00FF00u,
                   kPaintYellow = 0xFFFFFF00u, kPaintWhite = 0xFFFFFFFFu;

TEST_F(ScrollBarPaintTest, BackgroundBlendsWithTheHotFadeAndAPushedThumbFallsBackToHot) {
  ScrollBar bar;
  bar.SetBounds(R(0, 0, 16, 200));
  ASSERT_TRUE(Same(bar.GetThumbRect(), R(0, 16, 16, 128)));
  bar.ApplyAttribute(L"bknormalimage", Picture(L"bk_normal.png", kPaintRed));
  bar.ApplyAttribute(L"bkhotimage", Picture(L"bk_hot.png", kPaintBlue));
  bar.ApplyAttribute(L"thumbnormalimage", Picture(L"thumb_normal.png", kPaintGreen));
  bar.ApplyAttribute(L"thumbhotimage", Picture(L"thumb_hot.png", kPaintBlue));
  bar.ApplyAttribute(L"button1normalimage", Picture(L"button1.png", kPaintYellow));
  bar.ApplyAttribute(L"button2normalimage", Picture(L"button2.png", kPaintYellow));
  bar.ApplyAttribute(L"railnormalimage", Picture(L"rail.png", kPaintWhite));

  // Without a hot fade: the state's own image; buttons, thumb and grip at their parts.
  auto plain = PaintBar(bar);
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*plain, 8, 150), kPaintRed));
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*plain, 8, 8), kPaintYellow));
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*plain, 8, 192), kPaintYellow));
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*plain, 8, 20), kPaintGreen));
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*plain, 8, 72), kPaintWhite));  // grip 64..80

  // With the bar's hot fade half way, background and thumb show normal and hot together.
  bar.GetAnimator().EnableHotFade(true);
  bar.SetHoverBlend(128);
  auto blended = PaintBar(bar);
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*blended, 8, 150), 0xFF7F0080u, 6));
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*blended, 8, 20), 0xFF007F80u, 6));

  // Pressed on the thumb, thumb and bar are pushed: without pushed images both show their hot
  // one at full strength, whatever the blend.
  bar.SetHoverBlend(0);
  bar.RaiseEvent(kEventButtonDown, 0, 0, 0, Point{8, 40});
  ASSERT_EQ(bar.GetThumbState(), kStatePushed);
  ASSERT_EQ(bar.GetState(), kStatePushed);
  auto pushed = PaintBar(bar);
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*pushed, 8, 20), kPaintBlue));
  EXPECT_TRUE(render_test::RgbNear(render_test::PixelAt(*pushed, 8, 150), kPaintBlue));
  bar.RaiseEvent(kEventButtonUp, 0, 0, 0, Point{8, 40});
}

}  // namespace
