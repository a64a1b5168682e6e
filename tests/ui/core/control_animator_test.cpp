// The effects of a control, played by the real timer service on this thread's message loop.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "ui/animation/timer_manager.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/core/control_test_support.h"

using namespace ui;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Notes when it is hidden and when its alpha reaches 0.
class WatchedControl : public Control {
 public:
  void SetVisible(bool visible) override {
    if (!visible && IsOwnVisible()) firstHideMs = static_cast<long long>(NowMs());
    if (!visible) ++hideCalls;
    Control::SetVisible(visible);
  }
  long long firstHideMs = 0;
  int hideCalls = 0;
};

TEST(ControlAnimatorTest, EnablingReplacesAndRemovesPlayers) {
  Control control;
  ControlAnimator& animator = control.GetAnimator();
  AnimationPlayer* first = animator.EnableSlideX(true, false);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->startValue, 100);  // a control measuring nothing slides in from 100 px
  EXPECT_EQ(first->endValue, 0);
  EXPECT_DOUBLE_EQ(first->speedUpRatio, 0.3);
  EXPECT_DOUBLE_EQ(first->slowDownRatio, 0.7);
  AnimationPlayer* right = animator.EnableSlideX(true, true);
  EXPECT_EQ(right->startValue, -100);
  EXPECT_EQ(animator.EnableSlideX(false, true), nullptr);
  EXPECT_EQ(animator.GetPlayer(kEffectSlideFromRight), nullptr);
  EXPECT_EQ(animator.GetPlayer(kEffectSlideFromLeft), first);

  // A fixed 60-pixel control slides its own width; the size fades run to the measured size.
  control.ApplyAttribute(L"width", L"60");
  control.ApplyAttribute(L"height", L"30");
  EXPECT_EQ(animator.EnableSlideY(true, true)->startValue, -30);
  EXPECT_EQ(animator.EnableWidthFade(true)->endValue, 60);
  EXPECT_EQ(animator.EnableHeightFade(true)->endValue, 30);
  AnimationPlayer* hot = animator.EnableHotFade(true);
  EXPECT_EQ(hot->duration, 250);
  EXPECT_EQ(hot->endValue, 255);

  // Only the hot fade: hiding hides at once.
  Control plain;
  plain.GetAnimator().EnableHotFade(true);
  plain.SetFadeVisible(false);
  EXPECT_FALSE(plain.IsVisible());
}

TEST(ControlAnimatorTest, HotFadeFollowsTheMouse) {
  Control control;
  control.ApplyAttribute(L"hotcolor", L"red");
  const double start = NowMs();
  control.RaiseEvent(kEventMouseEnter);
  EXPECT_EQ(control.GetState(), kStateHot);
  ASSERT_TRUE(PumpUntil([&] { return control.GetHoverBlend() == 255; }, 3000));
  // The fade is a 250 ms curve: it cannot have ended much sooner.
  EXPECT_GE(NowMs() - start, 200.0);
  control.RaiseEvent(kEventMouseLeave);
  EXPECT_EQ(control.GetState(), kStateNormal);
  ASSERT_TRUE(PumpUntil([&] { return control.GetHoverBlend() == 0; }, 3000));
}

TEST(ControlAnimatorTest, FadeAlphaKeepsTheControlTransparentUntilShown) {
  Control control;
  control.ApplyAttribute(L"fadealpha", L"true");
  EXPECT_EQ(control.GetAlpha(), 0);
  PumpFor(300);
  EXPECT_EQ(control.GetAlpha(), 0);
  control.SetFadeVisible(true);
  ASSERT_TRUE(PumpUntil([&] { return control.GetAlpha() == 255; }, 3000));
  control.ApplyAttribute(L"fadealpha", L"false");
  EXPECT_EQ(control.GetAlpha(), 255);
  EXPECT_EQ(control.GetAnimator().GetPlayer(kEffectAlpha), nullptr);
}

TEST(ControlAnimatorTest, HidingEndsWithTheFirstEffectWhileTheOthersRunOn) {
  WatchedControl control;
  control.ApplyAttribute(L"width", L"0");
  control.ApplyAttribute(L"fadealpha", L"true");
  control.ApplyAttribute(L"fadeinoutxfromleft", L"true");
  AnimationPlayer* slide = control.GetAnimator().GetPlayer(kEffectSlideFromLeft);
  AnimationPlayer* alpha = control.GetAnimator().GetPlayer(kEffectAlpha);
  ASSERT_TRUE(slide && alpha);
  EXPECT_EQ(slide->startValue, 100);

  control.SetFadeVisible(true);
  ASSERT_TRUE(PumpUntil([&] { return control.GetAlpha() == 255 && control.GetRenderOffset().x == 0; }, 3000));
  EXPECT_EQ(slide->duration, 235);  // derived from 100 px at 0.006 px/ms²
  EXPECT_EQ(alpha->duration, 250);

  const long long start = static_cast<long long>(NowMs());
  long long alphaZeroMs = 0;
  control.SetFadeVisible(false);
  EXPECT_TRUE(control.IsVisible());
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (!alphaZeroMs && control.GetAlpha() == 0) alphaZeroMs = static_cast<long long>(NowMs());
        return alphaZeroMs != 0 && control.hideCalls >= 2;
      },
      3000));
  // Hidden by the shorter slide, never after the alpha fade ended; the alpha fade ran on to
  // 0 and hid the hidden control once more.
  EXPECT_GE(control.firstHideMs - start, 200);
  EXPECT_LE(control.firstHideMs, alphaZeroMs);
  EXPECT_EQ(control.GetRenderOffset().x, 100);
  EXPECT_FALSE(control.IsVisible());
  EXPECT_EQ(control.hideCalls, 2);
}

TEST(ControlAnimatorTest, ShowingMidHideTurnsEveryEffectRound) {
  WatchedControl control;
  control.ApplyAttribute(L"width", L"0");
  control.ApplyAttribute(L"fadealpha", L"true");
  control.ApplyAttribute(L"fadeinoutxfromleft", L"true");
  control.SetFadeVisible(true);
  ASSERT_TRUE(PumpUntil([&] { return control.GetAlpha() == 255 && control.GetRenderOffset().x == 0; }, 30000));

  // As if both shows had run a 20 s curve: the hide runs it back over 20 s, so the turn below
  // comes while both effects still run however late this thread gets to it.
  AnimationPlayer* alpha = control.GetAnimator().GetPlayer(kEffectAlpha);
  for (EffectKind kind : {kEffectAlpha, kEffectSlideFromLeft}) {
    AnimationPlayer* player = control.GetAnimator().GetPlayer(kind);
    player->duration = 20000;
    player->elapsed = 20000;
  }
  control.SetFadeVisible(false);
  ASSERT_TRUE(PumpUntil([&] { return control.GetAlpha() < 255; }, 30000));
  const double before = alpha->elapsed;
  const double turnStart = NowMs();
  control.SetFadeVisible(true);
  const double turnTook = NowMs() - turnStart;
  EXPECT_TRUE(control.IsVisible());
  for (EffectKind kind : {kEffectAlpha, kEffectSlideFromLeft}) {
    AnimationPlayer* player = control.GetAnimator().GetPlayer(kind);
    EXPECT_FALSE(player->completionCallback) << kind;
    EXPECT_FALSE(player->reversed) << kind;
  }
  // Continued at the mirrored point in time, plus what the turn's own first step measured.
  EXPECT_GE(alpha->elapsed, alpha->duration - before);
  EXPECT_LE(alpha->elapsed, alpha->duration - before + turnTook + 1.0);
  ASSERT_TRUE(PumpUntil([&] { return control.GetAlpha() == 255 && control.GetRenderOffset().x == 0; }, 30000));
  PumpFor(100);
  EXPECT_TRUE(control.IsVisible());
  EXPECT_EQ(control.hideCalls, 0);
}

TEST(ControlAnimatorTest, StepsOfADeletedControlDoNothing) {
  // The control lives in memory the test keeps: once it is destroyed the bytes are marked, and
  // a step that still reached it would write its alpha or offset over them.
  alignas(Control) static unsigned char storage[sizeof(Control)];
  Control* control = new (storage) Control();
  control->ApplyAttribute(L"fadealpha", L"true");
  control->ApplyAttribute(L"fadeinoutyfromtop", L"true");
  for (EffectKind kind : {kEffectAlpha, kEffectSlideFromTop}) control->GetAnimator().GetPlayer(kind)->duration = 20000;
  control->SetFadeVisible(true);
  ASSERT_TRUE(PumpUntil([&] { return control->GetAlpha() > 0; }, 30000)) << "the steps run";
  const int32_t interval = control->GetAnimator().GetPlayer(kEffectAlpha)->interval;
  control->~Control();
  std::memset(storage, 0xA5, sizeof storage);

  // Steps at the same interval on the same timer service: while they run several times, the
  // deleted control's would have run too.
  base::WeakCallbackFlag flag;
  int ticks = 0;
  TimerManager::Instance()->AddTimer(flag.ObtainWeakFlag(), [&ticks] { ++ticks; }, static_cast<UINT>(interval), -1);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 5; }, 30000));
  flag.Invalidate();
  for (size_t i = 0; i < sizeof storage; ++i) ASSERT_EQ(storage[i], 0xA5) << "byte " << i;
}

}  // namespace
