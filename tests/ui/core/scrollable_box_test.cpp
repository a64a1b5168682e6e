// The scrollable box built in code: bar ranges and placement, keys, the wheel's glide on the
// real timer service, touch drags, holding the end, shrinking content, image release far
// from the view, hit tests under the offset, a thumb drag, and the painted surface showing
// the scrolled, clipped content with the thumb in place.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support/screenshot.h"
#include "test_support/temp_dir.h"
#include "ui/controls/scroll_bar.h"
#include "ui/core/control_test_support.h"
#include "ui/core/scrollable_box.h"
#include "ui/render/render_test_support.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using render_test::PixelAt;
using render_test::RgbNear;
using ui_test::R;
using ui_test::TestWindow;

namespace {

constexpr uint64_t Wheel(int delta) { return static_cast<uint64_t>(static_cast<int64_t>(delta)); }

// Runs this thread's messages (the timer service's wake-ups among them) for a while or until
// done() holds.
template <typename Done>
void PumpUntil(Done done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < timeoutMs) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(2);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// A row that notes whether its images are held and paints itself in one colour.
class Row : public Control {
 public:
  void ReacquireImages() override { imagesHeld = true; }
  void ReleaseImages() override { imagesHeld = false; }
  void PaintBkColor(IRenderContext* context) override { context->FillRectArgb(bounds_, color, 255); }
  bool imagesHeld = true;
  ArgbColor color = 0xFF808080u;
};

class ScrollableBoxTest : public ::testing::Test {
 protected:
  // A box of `count` rows of 30 pixels in 100 x 200, a vertical bar and `attributes`.
  void Build(const std::wstring& attributes, int count = 20) {
    box_ = new ScrollableBox(new VLayout());
    box_->ApplyAttributeString(L"vscrollbar=\"true\"" + (attributes.empty() ? L"" : L" " + attributes));
    for (int i = 0; i < count; ++i) AddRow();
    root_ = new Box();
    root_->AddChild(box_);
    window_.AttachRoot(root_);
    root_->SetBounds(R(0, 0, 100, 200));
    box_->AddEventHandler(kEventScrollChange, [this](EventArgs*) {
      ++scrollChanges_;
      return true;
    });
  }
  Row* AddRow() {
    auto* row = new Row();
    row->ApplyAttribute(L"height", L"30");
    box_->AddChild(row);
    rows_.push_back(row);
    return row;
  }
  int Offset() const { return box_->GetScrollOffset().cy; }
  void Key(wchar_t key) { box_->RaiseEvent(kEventKeyDown, 0, 0, key); }
  // The window's arrange pass for the box.
  void Arrange() { box_->SetBounds(box_->GetBounds()); }

  TestWindow window_;
  Box* root_ = nullptr;
  ScrollableBox* box_ = nullptr;
  std::vector<Row*> rows_;
  int scrollChanges_ = 0;
};

TEST_F(ScrollableBoxTest, RangeAndBarPlacement) {
  Build(L"");
  ScrollBar* bar = box_->GetVerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(box_->GetScrollRange().cy, 400);
  EXPECT_EQ(Offset(), 0);
  EXPECT_TRUE(ui_test::Same(bar->GetBounds(), R(84, 0, 100, 200)));
  EXPECT_FALSE(bar->IsVisible());  // auto-hide: shown only while the pointer is over the box
  EXPECT_EQ(bar->GetOwner(), box_);
  EXPECT_EQ(bar->GetParent(), box_);
  // Floating bars lie over the content.
  EXPECT_EQ(rows_[0]->GetBounds().Width(), 100);
  ASSERT_EQ(box_->childStartOffsets.size(), 20u);
  EXPECT_EQ(box_->childStartOffsets[1], 30);
  EXPECT_EQ(box_->childStartOffsets[19], 570);

  // The pointer entering shows the bar, leaving hides it again.
  box_->RaiseEvent(kEventMouseEnter);
  EXPECT_TRUE(bar->IsVisible());
  box_->RaiseEvent(kEventMouseLeave);
  EXPECT_FALSE(bar->IsVisible());
}

TEST_F(ScrollableBoxTest, NonFloatingBarsNarrowTheChildren) {
  Build(L"scrollbarfloat=\"false\" scrollbarpadding=\"0,2\" vscrollbarstyle=\"autohidescroll='false'\"", 7);
  ScrollBar* bar = box_->GetVerticalScrollBar();
  // 210 pixels of content in 200: range 10, the bar shows (it does not hide itself) and
  // the rows re-arrange once without its width.
  EXPECT_EQ(box_->GetScrollRange().cy, 10);
  EXPECT_TRUE(bar->IsVisible());
  EXPECT_TRUE(ui_test::Same(bar->GetBounds(), R(84, 2, 100, 200)));
  for (Row* row : rows_) EXPECT_EQ(row->GetBounds().Width(), 84);
  EXPECT_EQ(box_->GetScrollRange().cy, 10);
}

TEST_F(ScrollableBoxTest, PagesEndsAndScrollChangeEvents) {
  Build(L"");
  Key(VK_NEXT);
  EXPECT_EQ(Offset(), 200);
  EXPECT_EQ(scrollChanges_, 1);
  Key(VK_NEXT);
  Key(VK_NEXT);  // clamped at the range
  EXPECT_EQ(Offset(), 400);
  Key(VK_PRIOR);
  EXPECT_EQ(Offset(), 200);
  Key(VK_END);
  EXPECT_EQ(Offset(), 400);
  // The end slides the content in from below.
  EXPECT_LT(box_->GetRenderOffset().y, 0);
  PumpUntil([this] { return !box_->GetSlideInPlayer().playing; }, 2000);
  EXPECT_EQ(box_->GetRenderOffset().y, 0);
  Key(VK_HOME);
  EXPECT_EQ(Offset(), 0);
  const int changes = scrollChanges_;
  Key(VK_HOME);  // no move, no event
  EXPECT_EQ(scrollChanges_, changes);
  box_->scrollChangeSuppressed = true;
  box_->ScrollDownBy(50);
  EXPECT_EQ(Offset(), 50);
  EXPECT_EQ(scrollChanges_, changes);
  box_->EndScrollAnimationY();
  EXPECT_FALSE(box_->scrollChangeSuppressed);

  // Down and Up glide by the scroll unit.
  Key(VK_DOWN);
  PumpUntil([this] { return !box_->GetLineScrollPlayer().playing; }, 2000);
  EXPECT_EQ(Offset(), 80);
  Key(VK_UP);
  PumpUntil([this] { return !box_->GetLineScrollPlayer().playing; }, 2000);
  EXPECT_EQ(Offset(), 50);
}

TEST_F(ScrollableBoxTest, WheelNotchesAddUpToOneGlide) {
  Build(L"");
  std::vector<int> seen;
  box_->AddEventHandler(kEventScrollChange, [&](EventArgs*) {
    seen.push_back(Offset());
    return true;
  });
  for (int notch = 0; notch < 3; ++notch) box_->RaiseEvent(kEventScrollWheel, Wheel(-120));
  PumpUntil([this] { return !box_->GetLineScrollPlayer().playing; }, 3000);
  EXPECT_EQ(Offset(), 360);
  ASSERT_GT(seen.size(), 3u);  // a glide, not three jumps
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);

  // More notches than the range: the glide stops at the range.
  for (int notch = 0; notch < 2; ++notch) box_->RaiseEvent(kEventScrollWheel, Wheel(-120));
  PumpUntil([this] { return !box_->GetLineScrollPlayer().playing; }, 3000);
  EXPECT_EQ(Offset(), 400);
  EXPECT_FALSE(box_->GetLineScrollPlayer().playing);
  // And back up.
  box_->RaiseEvent(kEventScrollWheel, Wheel(120));
  PumpUntil([this] { return !box_->GetLineScrollPlayer().playing; }, 3000);
  EXPECT_EQ(Offset(), 280);
}

TEST_F(ScrollableBoxTest, UnhandledInputGoesToTheParentUnchanged) {
  Build(L"");
  std::vector<std::pair<EventType, uint64_t>> atParent;
  root_->AddBubbledEventHandler(kEventAll, [&](EventArgs* args) {
    if (args->type == kEventScrollWheel || args->type == kEventKeyDown) atParent.emplace_back(args->type, args->wParam);
    return true;
  });
  box_->SetWheelEnabled(false);
  box_->RaiseEvent(kEventScrollWheel, Wheel(-120));
  EXPECT_EQ(Offset(), 0);
  ASSERT_EQ(atParent.size(), 1u);
  EXPECT_EQ(atParent[0].second, Wheel(-120));

  // A box without bars passes keys and the wheel on.
  atParent.clear();
  box_->SetWheelEnabled(true);
  box_->EnableScrollBars(false, false);
  EXPECT_EQ(box_->GetVerticalScrollBar(), nullptr);
  Key(VK_PRIOR);
  Key(VK_HOME);
  box_->RaiseEvent(kEventScrollWheel, Wheel(120));
  EXPECT_EQ(atParent.size(), 3u);
  EXPECT_EQ(box_->GetScrollOffset().cy, 0);
}

TEST_F(ScrollableBoxTest, TouchDragMovesTheContentWithTheFinger) {
  Build(L"");
  box_->SetScrollOffset(Size{0, 100});
  box_->RaiseEvent(kEventPointerDown, 0, 0, 0, Point{50, 100});
  box_->RaiseEvent(kEventPointerUpdate, 0, 0, 0, Point{50, 115});
  EXPECT_EQ(Offset(), 85);
  box_->RaiseEvent(kEventPointerUpdate, 0, 0, 0, Point{50, 60});
  EXPECT_EQ(Offset(), 140);
  box_->RaiseEvent(kEventPointerUp, 0, 0, 0, Point{50, 60});
  EXPECT_FALSE(box_->IsMouseDown());
  // After the finger is lifted, moves do nothing.
  box_->RaiseEvent(kEventPointerUpdate, 0, 0, 0, Point{50, 200});
  EXPECT_EQ(Offset(), 140);
  // Not below 0.
  box_->SetScrollOffset(Size{0, 10});
  box_->RaiseEvent(kEventTouchDown, 0, 0, 0, Point{50, 100});
  box_->RaiseEvent(kEventTouchMove, 0, 0, 0, Point{50, 115});
  EXPECT_EQ(Offset(), 0);
}

TEST_F(ScrollableBoxTest, HoldEndFollowsAppendedChildrenOnlyFromTheEnd) {
  Build(L"holdend=\"true\"");
  box_->ScrollToBottom(false, false);
  EXPECT_EQ(Offset(), 400);
  AddRow();
  Arrange();
  EXPECT_EQ(box_->GetScrollRange().cy, 430);
  EXPECT_EQ(Offset(), 430);

  box_->SetScrollOffset(Size{0, 100});
  AddRow();
  Arrange();
  EXPECT_EQ(box_->GetScrollRange().cy, 460);
  EXPECT_EQ(Offset(), 100);
}

TEST_F(ScrollableBoxTest, RemovingChildrenHidesTheBarAtOffsetZero) {
  Build(L"vscrollbarstyle=\"autohidescroll='false'\"");
  ScrollBar* bar = box_->GetVerticalScrollBar();
  box_->SetScrollOffset(Size{0, 300});
  EXPECT_TRUE(bar->IsVisible());
  while (box_->GetChildCount() > 10) box_->RemoveChildAt(0);
  Arrange();
  EXPECT_EQ(box_->GetScrollRange().cy, 100);
  EXPECT_EQ(Offset(), 100);  // lowered into the smaller range
  while (box_->GetChildCount() > 6) box_->RemoveChildAt(0);
  Arrange();
  EXPECT_EQ(box_->GetScrollRange().cy, 0);
  EXPECT_EQ(bar->GetScrollPos(), 0);
  EXPECT_FALSE(bar->IsVisible());
  EXPECT_EQ(box_->GetChildAt(0)->GetBounds().top, 0);
}

TEST_F(ScrollableBoxTest, ImagesAreKeptOnlyNearTheView) {
  Build(L"", 60);
  auto held = [this] {
    std::string out;
    for (Row* row : rows_) out += row->imagesHeld ? '1' : '0';
    return out;
  };
  // View 100..300, kept 630 above and below: rows starting before 1030 (0-34).
  box_->SetScrollOffset(Size{0, 100});
  EXPECT_EQ(held(), std::string(35, '1') + std::string(25, '0'));
  // View 1000..1200: rows ending after 270 (9-59).
  box_->SetScrollOffset(Size{0, 1000});
  EXPECT_EQ(held(), std::string(9, '0') + std::string(51, '1'));
}

TEST_F(ScrollableBoxTest, HitTestsAndOffsetsUnderTheScroll) {
  Build(L"vscrollbarstyle=\"autohidescroll='false'\"");
  auto* badge = new Row();
  badge->ApplyAttributeString(L"float=\"true\" width=\"10\" height=\"10\"");
  box_->AddChild(badge);
  Arrange();
  box_->SetScrollOffset(Size{0, 100});
  EXPECT_EQ(window_.FindControl(Point{50, 10}), rows_[3]);
  EXPECT_EQ(window_.FindControl(Point{92, 10}), box_->GetVerticalScrollBar());
  EXPECT_EQ(rows_[3]->GetAncestorScrollOffset().y, 100);
  EXPECT_TRUE(rows_[3]->ContainsPoint(Point{50, 10}));
  EXPECT_EQ(badge->GetAncestorScrollOffset().y, 0);
  EXPECT_EQ(box_->GetVerticalScrollBar()->GetAncestorScrollOffset().y, 0);
  // Mouse child off: the bar, then the box itself.
  box_->SetMouseChildEnabled(false);
  EXPECT_EQ(window_.FindControl(Point{50, 10}), box_);
  EXPECT_EQ(window_.FindControl(Point{92, 10}), box_->GetVerticalScrollBar());
}

TEST_F(ScrollableBoxTest, DraggingTheThumbScrollsTheOwner) {
  Build(L"");
  ScrollBar* bar = box_->GetVerticalScrollBar();
  // 200 high with 16-pixel buttons and range 400: a 56-pixel thumb with 112 pixels to move.
  ASSERT_TRUE(ui_test::Same(bar->GetThumbRect(), R(84, 16, 100, 72)));
  for (bool waitForTick : {true, false}) {
    box_->SetScrollOffset(Size{0, 0});
    bar->RaiseEvent(kEventButtonDown, 0, 0, 0, Point{92, 40});
    EXPECT_EQ(bar->GetThumbState(), kStatePushed);
    bar->RaiseEvent(kEventMouseMove, 0, 0, 0, Point{92, 68});
    EXPECT_EQ(bar->GetDragOffset(), 100);
    if (waitForTick) {
      PumpUntil([this] { return Offset() == 100; }, 2000);
      EXPECT_EQ(Offset(), 100);
    }
    // A release before the next tick still lands where the pointer is.
    bar->RaiseEvent(kEventButtonUp, 0, 0, 0, Point{92, 68});
    EXPECT_EQ(Offset(), 100) << (waitForTick ? "after a tick" : "released at once");
    EXPECT_EQ(bar->GetThumbState(), kStateHot);
    EXPECT_EQ(bar->GetDragOffset(), 0);
  }
  // The timer stopped with the release.
  PumpFor(120);
  EXPECT_EQ(Offset(), 100);
}

TEST_F(ScrollableBoxTest, PaintShowsScrolledClippedContentAndTheThumb) {
  UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
  test_support::TempDir dir;
  const std::wstring thumb = dir.Path() + L"\\thumb.png";
  ASSERT_TRUE(test_images::WriteBytes(thumb, test_images::MakeRgbaPng(16, 16, std::vector<uint32_t>(256, 0xFF20A020))));
  {
    box_ = new ScrollableBox(new VLayout());
    box_->ApplyAttributeString(L"vscrollbar=\"true\" vscrollbarstyle=\"autohidescroll='false' thumbnormalimage='" +
                               thumb + L"'\"");
    for (int i = 0; i < 20; ++i) AddRow()->color = i % 2 ? 0xFF2040C0u : 0xFFC04020u;
    root_ = new Box();
    root_->ApplyAttribute(L"padding", L"20,20,20,20");
    root_->AddChild(box_);
    window_.AttachRoot(root_);
    root_->SetBounds(R(0, 0, 140, 240));
    box_->SetScrollOffset(Size{0, 100});
  }
  constexpr int kWidth = 140, kHeight = 240;
  auto context = render_test::NewContext(kWidth, kHeight);
  render_test::Paint(*context, 0xFFFFFFFFu);
  root_->Paint(context.get(), R(0, 0, kWidth, kHeight));

  // The painted surface itself (the real window's screenshot is the window tests' business).
  IRenderContext* captured = context.get();

  CLSID encoder;
  ASSERT_TRUE(test_support::PngEncoder(&encoder));
  Gdiplus::GpBitmap* png = nullptr;
  ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(kWidth, kHeight, kWidth * 4, PixelFormat32bppARGB,
                                                           static_cast<BYTE*>(captured->PixelBits()), &png),
            Gdiplus::Ok);
  EXPECT_EQ(Gdiplus::DllExports::GdipSaveImageToFile(png, test_support::ScreenshotPath(L"scrollable_box_paint.png").c_str(), &encoder,
                                                     nullptr),
            Gdiplus::Ok);
  Gdiplus::DllExports::GdipDisposeImage(png);

  // Box at (20,20)-(120,220), offset 100: the view starts in row 3 (blue), 10 pixels in.
  EXPECT_TRUE(RgbNear(PixelAt(*captured, 50, 25), 0xFF2040C0u)) << "row 3 at the top";
  EXPECT_TRUE(RgbNear(PixelAt(*captured, 50, 45), 0xFFC04020u)) << "row 4 below it";
  // Rows outside the box are clipped: the margin around it stays white.
  EXPECT_TRUE(RgbNear(PixelAt(*captured, 50, 10), 0xFFFFFFFFu)) << "above the box";
  EXPECT_TRUE(RgbNear(PixelAt(*captured, 50, 230), 0xFFFFFFFFu)) << "below the box";
  // Thumb: 56 long, 16 + 112 * 100 / 400 = 44 below the bar's top, over the rows (its last
  // pixels blend with the rows where the 16-pixel image is stretched).
  EXPECT_TRUE(RgbNear(PixelAt(*captured, 112, 20 + 44), 0xFF20A020u)) << "thumb top";
  EXPECT_TRUE(RgbNear(PixelAt(*captured, 112, 20 + 44 + 52), 0xFF20A020u)) << "thumb bottom";
  EXPECT_FALSE(RgbNear(PixelAt(*captured, 112, 20 + 44 - 3), 0xFF20A020u)) << "above the thumb";
  EXPECT_FALSE(RgbNear(PixelAt(*captured, 112, 20 + 44 + 59), 0xFF20A020u)) << "below the thumb";
  window_.AttachRoot(nullptr);
  window_.DeleteDeferredControls();
  UiRuntime::Uninitialize();
}

}  // namespace
