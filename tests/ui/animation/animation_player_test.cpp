// Animation players driven by the real timer service, pumped on this thread.

#include "ui/animation/animation_player.h"

#include <windows.h>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ui/animation/timer_manager.h"
#include "ui/animation/ui_test_pump.h"

namespace ui {
namespace {

using ui_test::PumpFor;
using ui_test::PumpUntil;

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Runs call and returns how long it took: a player's own first step adds at most that much
// to the time it was given.
template <typename Call>
double Timed(Call call) {
  const double start = NowMs();
  call();
  return NowMs() - start;
}

// A player that records what it reports.
struct Recorded {
  Recorded() {
    player.valueCallback = [this](int value) { values.push_back(value); };
    player.completionCallback = [this] { ++completions; };
  }
  AnimationPlayer player;
  std::vector<int> values;
  int completions = 0;
};

TEST(AnimationPlayerTest, DerivedDurations) {
  // A control's slide over 100 pixels.
  AnimationPlayer slide;
  slide.startValue = 100;
  slide.speedUpRatio = 0.3;
  slide.slowDownRatio = 0.7;
  slide.SetSpeedUpAcceleration(0.006);
  slide.SolveTiming();
  EXPECT_EQ(slide.duration, 235);

  // The scrollable box's slide-in of 400 pixels would take 666 ms: capped and re-solved.
  AnimationPlayer slideIn;
  slideIn.startValue = 400;
  slideIn.speedUpRatio = 0.3;
  slideIn.slowDownRatio = 0.7;
  slideIn.SetSpeedUpAcceleration(0.003);
  slideIn.maxTotalTime = 650;
  slideIn.SolveTiming();
  EXPECT_EQ(slideIn.duration, 650);
  EXPECT_NEAR(slideIn.speedUpAcceleration, 400.0 / (0.3 * 650 * 650), 1e-9);
  EXPECT_LT(slideIn.slowDownAcceleration, 0);
  // It starts and ends at rest and covers the distance at the duration.
  slideIn.elapsed = 649.999;
  EXPECT_LE(slideIn.CurrentValue(), 1);
  slideIn.elapsed = 0.5;
  EXPECT_EQ(slideIn.CurrentValue(), 400);

  // A linear player of known duration gets the speed to cover the distance.
  AnimationPlayer linear;
  linear.endValue = 50;
  linear.duration = 200;
  linear.SolveTiming();
  EXPECT_DOUBLE_EQ(linear.constantSpeed, 0.25);
  linear.elapsed = 100;
  EXPECT_EQ(linear.CurrentValue(), 25);
}

TEST(AnimationPlayerTest, FadeRunsToItsEndAndCompletesOnce) {
  Recorded fade;
  fade.player.endValue = 255;
  // Long enough that even a loaded machine's timer steps it several times on the way.
  fade.player.duration = 2000;
  fade.player.speedUpRatio = 0.3;
  fade.player.slowDownRatio = 0.7;
  fade.player.Restart();
  EXPECT_EQ(fade.player.interval, 7);  // 2000 / 255, rounded down
  EXPECT_TRUE(fade.player.playing);
  EXPECT_TRUE(PumpUntil([&] { return !fade.player.playing; }, 30000));
  PumpFor(60);
  EXPECT_EQ(fade.completions, 1);
  ASSERT_FALSE(fade.values.empty());
  EXPECT_EQ(fade.values.back(), 255);
  EXPECT_GT(fade.values.size(), 3u);
  for (size_t i = 1; i < fade.values.size(); ++i) EXPECT_GT(fade.values[i], fade.values[i - 1]);
  EXPECT_EQ(fade.player.currentValue, 255);
  EXPECT_GE(fade.player.elapsed, 2000.0);

  // Played again in the direction it finished in: complete at once.
  fade.player.ContinueForward();
  EXPECT_FALSE(fade.player.playing);
  EXPECT_EQ(fade.completions, 2);
}

TEST(AnimationPlayerTest, EqualStartAndEndCompleteAtOnce) {
  Recorded still;
  still.player.startValue = still.player.endValue = 7;
  still.player.duration = 100;
  still.player.Restart();
  EXPECT_FALSE(still.player.playing);
  EXPECT_EQ(still.completions, 1);
  EXPECT_TRUE(still.values.empty());
}

TEST(AnimationPlayerTest, ContinueBackwardTurnsRoundAtTheMirroredTime) {
  Recorded fresh;
  fresh.player.endValue = 255;
  fresh.player.duration = 250;
  const double freshTook = Timed([&] { fresh.player.ContinueBackward(); });
  EXPECT_TRUE(fresh.player.reversed);
  EXPECT_EQ(fresh.player.startValue, 255);
  EXPECT_EQ(fresh.player.endValue, 0);
  EXPECT_LE(fresh.player.elapsed, freshTook + 1.0);  // a fresh player runs the full time
  EXPECT_FALSE(fresh.player.firstPlay);
  fresh.player.Pause();

  Recorded hover;
  hover.player.endValue = 255;
  hover.player.duration = 250;
  hover.player.speedUpRatio = 0.3;
  hover.player.slowDownRatio = 0.7;
  hover.player.ContinueForward();
  hover.player.Pause();
  EXPECT_TRUE(hover.player.playing);
  hover.player.elapsed = 100;  // the forward run stopped here
  const double backTook = Timed([&] { hover.player.ContinueBackward(); });
  EXPECT_GE(hover.player.elapsed, 150.0);
  EXPECT_LE(hover.player.elapsed, 150.0 + backTook + 1.0);
  EXPECT_EQ(hover.player.startValue, 255);
  EXPECT_EQ(hover.player.endValue, 0);
  EXPECT_TRUE(PumpUntil([&] { return !hover.player.playing; }, 3000));
  EXPECT_EQ(hover.values.back(), 0);
  EXPECT_EQ(hover.completions, 1);

  // Forward again: swapped back, from the mirrored time.
  hover.player.elapsed = 200;
  const double forwardTook = Timed([&] { hover.player.ContinueForward(); });
  EXPECT_FALSE(hover.player.reversed);
  EXPECT_EQ(hover.player.startValue, 0);
  EXPECT_EQ(hover.player.endValue, 255);
  EXPECT_GE(hover.player.elapsed, 50.0);
  EXPECT_LE(hover.player.elapsed, 50.0 + forwardTook + 1.0);
  hover.player.StopAndReset();
  EXPECT_FALSE(hover.player.playing);
  EXPECT_EQ(hover.player.duration, -1);
  EXPECT_EQ(hover.player.speedUpRatio, 0);
  EXPECT_FALSE(hover.player.firstPlay);
}

// Curves that cannot be solved would turn infinity or NaN into an integer: they give their
// end value at the first step and complete once.
TEST(AnimationPlayerTest, UnsolvablePlayersComplete) {
  const struct {
    const char* name;
    int duration;
    double speedUp, slowDown, acceleration, speed;
    int maxTotal;
  } cases[] = {
      {"duration 0", 0, 0.3, 0.7, 0, 0, 1000000},
      {"linear duration 0", 0, 0, 0, 0, 0, 1000000},
      {"linear without duration or speed", -1, 0, 0, 0, 0, 1000000},
      {"derived without acceleration", -1, 0.3, 0.7, 0, 0, 1000000},
      {"negative speed-up acceleration", -1, 0.3, 0.7, -0.006, 0, 1000000},
      {"negative duration", -7, 0.3, 0.7, 0.006, 0, 1000000},
      {"no time allowed", -1, 0.3, 0.7, 0.006, 0, -1},
  };
  for (const auto& c : cases) {
    Recorded broken;
    broken.player.startValue = 10;
    broken.player.endValue = 90;
    broken.player.duration = c.duration;
    broken.player.speedUpRatio = c.speedUp;
    broken.player.slowDownRatio = c.slowDown;
    broken.player.SetSpeedUpAcceleration(c.acceleration);
    broken.player.constantSpeed = c.speed;
    broken.player.maxTotalTime = c.maxTotal;
    broken.player.Restart();
    EXPECT_FALSE(broken.player.playing) << c.name;
    EXPECT_EQ(broken.completions, 1) << c.name;
    EXPECT_EQ(broken.values, std::vector<int>{90}) << c.name;
    PumpFor(40);
    EXPECT_EQ(broken.completions, 1) << c.name;
  }
}

TEST(AnimationPlayerTest, WithoutValueCallbackItNeverCompletes) {
  AnimationPlayer silent;
  int completions = 0;
  silent.completionCallback = [&] { ++completions; };
  silent.endValue = 20;
  silent.duration = 60;
  silent.Restart();
  EXPECT_TRUE(PumpUntil([&] { return silent.currentValue == 20; }, 2000));
  PumpFor(50);
  EXPECT_TRUE(silent.playing);
  EXPECT_EQ(completions, 0);
  silent.Pause();
}

TEST(AnimationPlayerTest, DestroyedPlayerStopsItsSteps) {
  int reported = 0;
  {
    AnimationPlayer player;
    player.endValue = 1000;
    player.duration = 2000;
    player.valueCallback = [&](int) { ++reported; };
    player.Restart();
  }
  const int seen = reported;
  PumpFor(100);
  EXPECT_EQ(reported, seen);
  EXPECT_TRUE(PumpUntil([&] { return TimerManager::Instance()->PendingCount() == 0; }, 2000));
}

}  // namespace
}  // namespace ui
