#include "ui/animation/animation_player.h"

#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <utility>

#include "ui/animation/timer_manager.h"

namespace ui {

namespace {

int64_t Counter() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

int64_t Distance(int32_t from, int32_t to) { return std::llabs(static_cast<int64_t>(to) - from); }

}  // namespace

AnimationPlayerBase::~AnimationPlayerBase() {
  completionCallback = nullptr;
  valueCallback = nullptr;
  DropTimer();
}

void AnimationPlayerBase::Reset() {
  startValue = 0;
  endValue = 0;
  currentValue = 0;
  duration = -1;
  elapsed = 0;
  interval = 0;
  lastStamp = 0;
  frequency = 0;
  playing = false;
  reversed = false;
}

void AnimationPlayerBase::Restart() {
  DropTimer();
  elapsed = 0;
  reversed = false;
  Play();
}

void AnimationPlayerBase::Pause() { DropTimer(); }

void AnimationPlayerBase::TurnRound() {
  std::swap(startValue, endValue);
  currentValue = startValue;
  elapsed = duration - elapsed;
  if (elapsed < 0) elapsed = 0;
}

void AnimationPlayerBase::ContinueForward() {
  DropTimer();
  if (reversed) TurnRound();
  reversed = false;
  Play();
  firstPlay = false;
}

void AnimationPlayerBase::ContinueBackward() {
  DropTimer();
  if (!reversed) TurnRound();
  if (firstPlay) elapsed = 0;
  reversed = true;
  Play();
  firstPlay = false;
}

void AnimationPlayerBase::Play() {
  LARGE_INTEGER counterFrequency;
  QueryPerformanceFrequency(&counterFrequency);
  frequency = counterFrequency.QuadPart;
  lastStamp = Counter();
  playing = true;
  if (startValue == endValue) {
    Complete();
    return;
  }
  const int64_t stepMs = duration > 0 ? duration / Distance(startValue, endValue) : 0;
  interval = stepMs > 0 ? static_cast<int32_t>(stepMs) : 1;
  Tick();
  // A first step that already reached the end must not leave a timer behind: it would
  // report the end and complete again at every step.
  if (!playing) return;
  TimerManager::Instance()->AddTimer(timerFlag.ObtainWeakFlag(), MakeWeakCallback([this] { Tick(); }),
                                     static_cast<UINT>(interval), -1);
}

void AnimationPlayerBase::Tick() {
  elapsed += static_cast<double>(Counter() - lastStamp) * 1000.0 / static_cast<double>(frequency);
  lastStamp = Counter();
  const int value = CurrentValue();
  if (!valueCallback) {
    currentValue = value;
    return;
  }
  const bool reached = (startValue < endValue && value >= endValue) || (startValue > endValue && value <= endValue);
  if (reached) {
    valueCallback(endValue);
    Complete();
    currentValue = endValue;
    return;
  }
  if (value != currentValue) valueCallback(value);
  currentValue = value;
}

void AnimationPlayerBase::Complete() {
  if (completionCallback) completionCallback();
  DropTimer();
  playing = false;
}

void AnimationPlayerBase::StopAndReset() {
  DropTimer();
  Reset();
}

void AnimationPlayer::Reset() {
  AnimationPlayerBase::Reset();
  speedUpRatio = 0;
  slowDownRatio = 0;
  speedUpTime = 0;
  constantSpeed = 0;
  constantTime = 0;
  slowDownTime = 0;
  speedUpAcceleration = 0;
  slowDownAcceleration = 0;
  slowDownStartSpeed = 0;
  maxTotalTime = kDefaultMaxTotalTime;
}

void AnimationPlayer::Play() {
  SolveTiming();
  AnimationPlayerBase::Play();
}

void AnimationPlayer::SolveTiming() {
  const double distance = static_cast<double>(Distance(startValue, endValue));
  const double a = speedUpRatio;
  const double s = slowDownRatio;
  // The curve that takes no time: the first step gives the end value.
  auto takeNoTime = [this] {
    duration = 0;
    speedUpTime = constantTime = slowDownTime = 0;
    constantSpeed = slowDownStartSpeed = 0;
  };

  for (;;) {
    if (a == 0 && s == 0) {
      if (duration == -1) {
        // Linear at the given speed; without one there is no time to derive.
        if (!(constantSpeed > 0) || !std::isfinite(distance / constantSpeed)) return takeNoTime();
        const double derived = distance / constantSpeed;
        duration = derived > maxTotalTime ? maxTotalTime : static_cast<int32_t>(derived);
      } else if (duration > 0) {
        constantSpeed = distance / duration;
      }
      if (duration <= 0) return takeNoTime();
      constantTime = duration;
      return;
    }

    if (duration == 0 || duration < -1) return takeNoTime();
    if (duration != -1) {
      const double t = duration;
      if (a == 0) {
        slowDownAcceleration = -distance / ((2 * (1 - a - s) * s + s * s + s * a) * t * t);
      } else {
        speedUpAcceleration = distance / ((2 * (1 - a - s) * a + a * a + s * a) * t * t);
      }
    }
    double v = 0;
    if (speedUpAcceleration != 0 && a != 0) {
      v = speedUpAcceleration * a;
      if (s != 0) slowDownAcceleration = -speedUpAcceleration * a / s;
    } else if (slowDownAcceleration != 0 && s != 0) {
      v = -slowDownAcceleration * s;
      if (a != 0) speedUpAcceleration = v / a;
    }
    if (duration == -1) {
      const double denominator =
          speedUpAcceleration * a * a + 2 * (1 - a - s) * v - slowDownAcceleration * s * s;
      const double derived = denominator > 0 ? std::sqrt(distance / denominator) : HUGE_VAL;
      if (!std::isfinite(derived)) return takeNoTime();
      if (derived > maxTotalTime) {
        // Capped: solve the accelerations for the capped time instead.
        if (maxTotalTime <= 0) return takeNoTime();
        duration = maxTotalTime;
        continue;
      }
      duration = static_cast<int32_t>(derived);
      if (duration <= 0) return takeNoTime();
    }
    if (!std::isfinite(v) || !std::isfinite(speedUpAcceleration) || !std::isfinite(slowDownAcceleration)) {
      return takeNoTime();
    }
    const double t = duration;
    constantSpeed = slowDownStartSpeed = 2 * v * t;
    speedUpTime = t * a;
    slowDownTime = t * s;
    constantTime = t - t * a - t * s;
    return;
  }
}

int AnimationPlayer::CurrentValue() {
  const double t = elapsed;
  if (t >= duration) return endValue;
  double d;
  if (t <= speedUpTime) {
    d = speedUpAcceleration * t * t;
  } else if (t <= speedUpTime + constantTime) {
    d = speedUpAcceleration * speedUpTime * speedUpTime + constantSpeed * (t - speedUpTime);
  } else {
    const double u = t - speedUpTime - constantTime;
    d = speedUpAcceleration * speedUpTime * speedUpTime + constantSpeed * constantTime +
        slowDownAcceleration * u * u + slowDownStartSpeed * u;
  }
  if (!std::isfinite(d)) return endValue;
  // Never beyond the distance, so the truncation below always fits.
  const double distance = static_cast<double>(Distance(startValue, endValue));
  if (d > distance) d = distance;
  if (d < 0) d = 0;
  const int64_t step = static_cast<int64_t>(d);
  return static_cast<int>(startValue < endValue ? startValue + step : startValue - step);
}

}  // namespace ui
