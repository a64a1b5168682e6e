#pragma once

// Moves one integer value from a start value to an end value over time, optionally speeding
// up at the start and slowing down at the end, and reports each new value. Steps come from
// the timer service on the UI thread, bound weakly to the player.

#include <cstdint>
#include <functional>

#include "base/weak_callback.h"

namespace ui {

class AnimationPlayerBase : public base::SupportWeakCallback {
 public:
  AnimationPlayerBase() = default;
  // Drops both callbacks and the running timer.
  ~AnimationPlayerBase() override;

  // Every field back to its value after construction, except firstPlay.
  virtual void Reset();
  // From the start: elapsed 0, forwards.
  virtual void Restart();
  // Stops the timer; elapsed time, direction and playing stay for a later Continue.
  virtual void Pause();
  // Towards the end value; turning round continues at the mirrored point in time.
  virtual void ContinueForward();
  // Towards the start value; a fresh player runs from the end value over the full time.
  virtual void ContinueBackward();
  virtual void Play();
  // The value at the elapsed time.
  virtual int CurrentValue() = 0;

  // One step: adds the time since the last step and reports the value.
  void Tick();
  // Runs the completion callback, drops the timer and stops playing.
  void Complete();
  void StopAndReset();

  // Set by the users before they play.
  int32_t startValue = 0;
  int32_t endValue = 0;
  int32_t currentValue = 0;  // the value last reported
  int32_t duration = -1;     // ms; -1 to be derived by the player
  double elapsed = 0;        // ms
  int32_t interval = 0;      // ms between steps while playing
  bool firstPlay = true;
  bool playing = false;
  bool reversed = false;     // start and end are swapped relative to the configuration
  std::function<void(int)> valueCallback;
  std::function<void()> completionCallback;
  int64_t lastStamp = 0;
  int64_t frequency = 0;
  // Owns the running timer: invalidating it drops that timer.
  base::WeakCallbackFlag timerFlag;

 protected:
  void DropTimer() { timerFlag.Invalidate(); }
  // Swaps start and end and continues at the mirrored point in time.
  void TurnRound();
};

class AnimationPlayer : public AnimationPlayerBase {
 public:
  AnimationPlayer() = default;
  ~AnimationPlayer() override = default;

  void Reset() override;
  // Solves the timing, then plays.
  void Play() override;
  int CurrentValue() override;
  virtual void SetSpeedUpAcceleration(double acceleration) { speedUpAcceleration = acceleration; }
  virtual void SetSlowDownAcceleration(double acceleration) { slowDownAcceleration = acceleration; }

  // Fixes the curve: uniform acceleration from rest over the speed-up share, constant speed,
  // uniform deceleration to rest over the slow-down share, covering |end - start| exactly at
  // the duration. A duration of -1 is derived from the accelerations, capped at
  // maxTotalTime. A curve that cannot be solved (no time, no speed, no acceleration) takes
  // no time: the player reaches its end value at the first step.
  void SolveTiming();

  double speedUpRatio = 0;
  double slowDownRatio = 0;
  double speedUpTime = 0;         // ms
  double constantSpeed = 0;       // units per ms
  double constantTime = 0;        // ms
  double slowDownTime = 0;        // ms
  double speedUpAcceleration = 0;   // units per ms²
  double slowDownAcceleration = 0;  // units per ms², negative
  double slowDownStartSpeed = 0;    // units per ms
  int32_t maxTotalTime = kDefaultMaxTotalTime;

  static constexpr int32_t kDefaultMaxTotalTime = 1000000;
};

}  // namespace ui
