// A scroll bar in a real window, held with real input: losing the focus or the mouse capture
// ends a thumb drag or a held arrow with one button-up, and nothing scrolls after it.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ui/controls/scroll_bar.h"
#include "ui/core/window_test_support.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 100, kTop = 100;

enum class Loss { kFocusMoved, kOtherWindowActivated, kCaptureTaken };

const char* Name(Loss loss) {
  switch (loss) {
    case Loss::kFocusMoved: return "focus moved to another window";
    case Loss::kOtherWindowActivated: return "another window activated";
    default: return "capture taken by another window";
  }
}

class ScrollBarWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MoveMouseTo(kLeft + 390, kTop + 290);
    other = OpenWindow(Rect{kLeft + 450, kTop, kLeft + 550, kTop + 100}, false);
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 400, kTop + 300}, false);
    bar = new ui::ScrollBar();
    bar->SetScrollRange(400);
    bar->AddEventHandler(ui::kEventButtonUp, [this](ui::EventArgs*) {
      ++buttonUps;
      return true;
    });
    window->AttachRoot(RootWith(Rect{}, {{bar, Rect{20, 20, 36, 220}}}));
    PumpUntilPainted(*window);
  }
  void TearDown() override {
    MouseButton(MOUSEEVENTF_LEFTUP);
    if (GetCapture()) ReleaseCapture();
  }

  // Presses at (x, y) of the window's client area and holds the button.
  void Press(int x, int y) {
    SetForegroundWindow(window->GetHwnd());
    SetFocus(window->GetHwnd());
    MoveMouseTo(kLeft + x, kTop + y);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
  }
  void Lose(Loss loss) {
    switch (loss) {
      case Loss::kFocusMoved: SetFocus(other->GetHwnd()); break;
      case Loss::kOtherWindowActivated: SetForegroundWindow(other->GetHwnd()); break;
      case Loss::kCaptureTaken: SetCapture(other->GetHwnd()); break;
    }
  }
  // After the loss: one button-up, the press over, and the position still while the button
  // stays down, the pointer moves on and the repeat timer would long have fired.
  void ExpectEndedAndStill(int x, int y) {
    ASSERT_TRUE(PumpUntil([&] { return buttonUps > 0; }, 30000));
    EXPECT_EQ(window->GetCapturedControl(), nullptr);
    EXPECT_FALSE(window->IsMouseCaptured());
    EXPECT_NE(bar->GetThumbState(), ui::kStatePushed);
    EXPECT_NE(bar->GetButton2State(), ui::kStatePushed);
    EXPECT_FALSE(bar->IsMouseDown());
    const int64_t position = bar->GetScrollPos();
    MoveMouseTo(kLeft + x, kTop + y + 60);
    PumpFor(500);
    EXPECT_EQ(bar->GetScrollPos(), position);
    MouseButton(MOUSEEVENTF_LEFTUP);
    PumpFor(100);
    EXPECT_EQ(buttonUps, 1);
    EXPECT_EQ(bar->GetScrollPos(), position);
  }

  WindowPtr other;
  WindowPtr window;
  ui::ScrollBar* bar = nullptr;
  int buttonUps = 0;
};

TEST_F(ScrollBarWindowTest, LosingFocusOrCaptureEndsAThumbDrag) {
  for (Loss loss : {Loss::kFocusMoved, Loss::kOtherWindowActivated, Loss::kCaptureTaken}) {
    SCOPED_TRACE(Name(loss));
    bar->SetScrollPos(0);
    buttonUps = 0;
    ASSERT_EQ(bar->GetBounds(true).top, 20);
    const Rect thumb = bar->GetThumbRect();  // 56 long at 36
    const int x = (thumb.left + thumb.right) / 2, y = thumb.top + 10;
    Press(x, y);
    ASSERT_EQ(bar->GetThumbState(), ui::kStatePushed);
    MoveMouseTo(kLeft + x, kTop + y + 28);
    ASSERT_TRUE(PumpUntil([&] { return bar->GetScrollPos() == 100; }, 3000)) << bar->GetScrollPos();
    Lose(loss);
    ExpectEndedAndStill(x, y + 28);
    EXPECT_EQ(bar->GetScrollPos(), 100);
  }
}

TEST_F(ScrollBarWindowTest, LosingFocusOrCaptureEndsAHeldArrow) {
  for (Loss loss : {Loss::kFocusMoved, Loss::kOtherWindowActivated, Loss::kCaptureTaken}) {
    SCOPED_TRACE(Name(loss));
    bar->SetScrollPos(0);
    buttonUps = 0;
    const Rect arrow = bar->GetButton2Rect();
    const int x = (arrow.left + arrow.right) / 2, y = (arrow.top + arrow.bottom) / 2;
    Press(x, y);
    ASSERT_EQ(bar->GetButton2State(), ui::kStatePushed);
    // Held past the first repeat: the arrow steps again and again.
    ASSERT_TRUE(PumpUntil([&] { return bar->GetScrollPos() >= 3 * bar->GetLineSize(); }, 30000));
    Lose(loss);
    ExpectEndedAndStill(x, y);
  }
}

}  // namespace
