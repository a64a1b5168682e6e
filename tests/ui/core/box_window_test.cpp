// Boxes in real windows on the display, driven by real input: a control removed in its own
// handler outlives the message, wheel notches glide, the thumb follows a real drag, and a
// screenshot shows the scrolled, clipped content with the thumb in place.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/controls/scroll_bar.h"
#include "ui/core/scrollable_box.h"
#include "ui/core/window_test_support.h"
#include "ui/resources/image_fixtures.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 420, kTop = 140;

void WheelNotches(int notches, int delta) {
  std::vector<INPUT> inputs(notches);
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(delta);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

TEST(BoxWindowTest, ControlRemovedInItsOwnHandlerLivesUntilTheDeferredDeletion) {
  WindowPtr window = OpenWindow(Rect{kLeft, kTop, kLeft + 200, kTop + 150}, false);
  auto* doomed = new LogControl();
  ui::Box* root = RootWith(Rect{}, {{doomed, Rect{10, 10, 110, 110}}});
  window->AttachRoot(root);
  PumpUntilPainted(*window);
  std::weak_ptr<base::WeakFlag> alive = doomed->ObtainWeakFlag();
  bool aliveAfterRemoval = false;
  bool deletionQueued = false;
  doomed->AddEventHandler(ui::kEventButtonUp, [&](ui::EventArgs*) {
    root->RemoveChild(doomed);
    aliveAfterRemoval = !alive.expired();
    MSG msg;
    deletionQueued = PeekMessageW(&msg, window->GetHwnd(), kMsgDeleteDeferred, kMsgDeleteDeferred, PM_NOREMOVE) != 0;
    return true;
  });
  MoveMouseTo(kLeft + 50, kTop + 50);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MouseButton(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(aliveAfterRemoval);
  EXPECT_TRUE(deletionQueued);
  // Gone once the window handled kMsgDeleteDeferred.
  EXPECT_TRUE(PumpUntil([&] { return alive.expired(); }, 30000));
  EXPECT_EQ(root->GetChildCount(), 0u);
  EXPECT_EQ(window->GetCapturedControl(), nullptr);
}

// A root that paints itself white, so that what the scrollable box clips away shows.
class WhiteBox : public ui::Box {
 public:
  void PaintSelf(ui::IRenderContext* context, const ui::Rect& dirty) override {
    ui::Box::PaintSelf(context, dirty);
    context->FillRectArgb(GetBounds(true), 0xFFFFFFFFu, 255);
  }
};

// A window whose root holds a scrollable box of 20 rows of 30 pixels in 100 x 200 at (20, 20).
class ScrollWindowTest : public ::testing::Test {
 protected:
  void Open(const std::wstring& barStyle) {
    // Away from the window: a move to where the cursor already is reaches no window, so
    // the tests' first move must come from outside.
    MoveMouseTo(kLeft - 50, kTop - 50);
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 140, kTop + 240}, false);
    box = new ui::ScrollableBox(new ui::VLayout());
    box->ApplyAttribute(L"vscrollbar", L"true");
    if (!barStyle.empty()) box->ApplyAttribute(L"vscrollbarstyle", barStyle);
    for (int i = 0; i < 20; ++i) {
      auto* row = new FillControl(i % 2 ? 0xFF2040C0u : 0xFFC04020u);
      row->ApplyAttribute(L"height", L"30");
      box->AddChild(row);
    }
    auto* root = new WhiteBox();
    root->ApplyAttribute(L"padding", L"20,20,20,20");
    root->AddChild(box);
    window->AttachRoot(root);
    PumpUntilPainted(*window);
  }
  void TearDown() override { MouseButton(MOUSEEVENTF_LEFTUP); }
  int Offset() const { return box->GetScrollOffset().cy; }

  WindowPtr window;
  ui::ScrollableBox* box = nullptr;
};

TEST_F(ScrollWindowTest, ThreeRealWheelNotchesGlideTo360) {
  Open(L"");
  ASSERT_EQ(box->GetScrollRange().cy, 400);
  MoveMouseTo(kLeft + 60, kTop + 100);
  std::vector<int> seen;
  box->AddEventHandler(ui::kEventScrollChange, [&](ui::EventArgs*) {
    seen.push_back(Offset());
    return true;
  });
  WheelNotches(3, -WHEEL_DELTA);
  PumpUntil([&] { return Offset() == 360 && !box->GetLineScrollPlayer().playing; }, 30000);
  EXPECT_EQ(Offset(), 360);
  EXPECT_GT(seen.size(), 3u);
}

TEST_F(ScrollWindowTest, DraggingTheThumb28PixelsWithTheRealMouseGivesOffset100) {
  Open(L"");
  // Hovering the box shows its auto-hiding bar: 16 x 200 at the box's right edge.
  MoveMouseTo(kLeft + 60, kTop + 100);
  ui::ScrollBar* bar = box->GetVerticalScrollBar();
  ASSERT_TRUE(bar->IsVisible());
  const Rect thumb = bar->GetThumbRect();
  ASSERT_EQ(thumb.top, 20 + 16);
  ASSERT_EQ(thumb.Height(), 56);
  MoveMouseTo(kLeft + 112, kTop + 60);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(bar->GetThumbState(), ui::kStatePushed);
  MoveMouseTo(kLeft + 112, kTop + 88);
  PumpUntil([&] { return Offset() == 100; }, 30000);
  MouseButton(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(Offset(), 100);
  EXPECT_EQ(bar->GetThumbRect().top, 20 + 16 + 28);
  // Releasing outside the box hides the auto-hiding bar.
  MoveMouseTo(kLeft + 112, kTop + 100);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MoveMouseTo(kLeft + 300, kTop + 100);
  MouseButton(MOUSEEVENTF_LEFTUP);
  EXPECT_FALSE(bar->IsVisible());
}

TEST_F(ScrollWindowTest, ScreenshotShowsScrolledClippedContentAndTheThumb) {
  test_support::TempDir dir;
  const std::wstring thumb = dir.Path() + L"\\thumb.png";
  ASSERT_TRUE(test_images::WriteBytes(thumb, test_images::MakeRgbaPng(16, 16, std::vector<uint32_t>(256, 0xFF20A020))));
  Open(L"autohidescroll='false' thumbnormalimage='" + thumb + L"'");
  box->SetScrollOffset(ui::Size{0, 100});
  RECT rect{kLeft, kTop, kLeft + 140, kTop + 240};
  // The scrolled content's paint on the screen.
  PumpUntil([&] { return RgbNear(CaptureScreen(rect).At(50, 25), 0xFF2040C0u); }, 30000);
  const Capture capture = CaptureScreen(rect);
  SaveCapture(capture, "scrollable_box_window");
  EXPECT_TRUE(RgbNear(capture.At(50, 25), 0xFF2040C0u)) << "row 3 at the top";
  EXPECT_TRUE(RgbNear(capture.At(50, 45), 0xFFC04020u)) << "row 4 below it";
  EXPECT_TRUE(RgbNear(capture.At(50, 10), 0xFFFFFFFFu)) << "above the box";
  EXPECT_TRUE(RgbNear(capture.At(50, 230), 0xFFFFFFFFu)) << "below the box";
  EXPECT_TRUE(RgbNear(capture.At(112, 20 + 44), 0xFF20A020u)) << "thumb top";
  EXPECT_TRUE(RgbNear(capture.At(112, 20 + 44 + 50), 0xFF20A020u)) << "thumb bottom";
  EXPECT_FALSE(RgbNear(capture.At(112, 20 + 44 - 3), 0xFF20A020u)) << "above the thumb";
}

}  // namespace
