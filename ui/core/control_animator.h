#pragma once

// The effects of one control: at most one animation player per kind, each driving one value
// of its control (hover blend, alpha, declared width or height, render offset). The show and
// hide effects run when the control is faded in or out; the hot fade follows the mouse.

#include <cstdint>
#include <map>
#include <memory>

#include "ui/animation/animation_player.h"
#include "ui/core/geometry.h"

namespace ui {

class Control;

enum EffectKind : int32_t {
  kEffectAlpha = 1,
  kEffectHeight = 2,
  kEffectWidth = 3,
  kEffectHot = 4,
  kEffectSlideFromLeft = 5,
  kEffectSlideFromRight = 6,
  kEffectSlideFromTop = 7,
  kEffectSlideFromBottom = 8,
};

class ControlAnimator {
 public:
  explicit ControlAnimator(Control* owner) : owner_(owner) {}
  ControlAnimator(const ControlAnimator&) = delete;
  ControlAnimator& operator=(const ControlAnimator&) = delete;

  // Each Enable with true replaces the kind's player by a new one and returns it (not
  // owned); with false it deletes the kind's player and returns null. Deleting a player
  // drops its pending step.
  AnimationPlayer* EnableHotFade(bool enable);
  // Also sets the owner's alpha: 0 when enabled (hidden until shown), 255 when disabled.
  AnimationPlayer* EnableAlphaFade(bool enable);
  AnimationPlayer* EnableWidthFade(bool enable);
  AnimationPlayer* EnableHeightFade(bool enable);
  // Disabling removes only the slide of the given side.
  AnimationPlayer* EnableSlideX(bool enable, bool fromRight);
  AnimationPlayer* EnableSlideY(bool enable, bool fromBottom);

  // Shows the owner, then plays every show/hide effect forward.
  void PlayShowEffects();
  // Plays every show/hide effect backward; the first to complete hides the owner. Without
  // such an effect the owner is hidden at once.
  void PlayHideEffects();

  // The kind's player, null when the effect is off.
  AnimationPlayer* GetPlayer(EffectKind kind) const;

 private:
  AnimationPlayer* Install(EffectKind kind, std::unique_ptr<AnimationPlayer> player);
  std::unique_ptr<AnimationPlayer> NewPlayer(int32_t start, int32_t end, int32_t duration, double acceleration) const;
  // The owner's size at a practically unbounded offer.
  Size MeasureOwner() const;

  Control* owner_;
  std::map<EffectKind, std::unique_ptr<AnimationPlayer>> players_;
};

}  // namespace ui
