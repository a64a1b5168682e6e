#include "ui/core/control_animator.h"

#include <functional>

#include "ui/core/control.h"

namespace ui {

namespace {

constexpr double kSpeedUpShare = 0.3;
constexpr double kSlowDownShare = 0.7;
constexpr int32_t kFadeMs = 250;
constexpr double kSizeAcceleration = 0.00084;
constexpr double kSlideAcceleration = 0.006;
// A control that measures nothing slides in from this far away.
constexpr int32_t kDefaultSlideDistance = 100;
// The order in which showing and hiding play the effects.
constexpr EffectKind kShowHideOrder[] = {kEffectAlpha,         kEffectWidth,          kEffectHeight,
                                         kEffectSlideFromLeft, kEffectSlideFromRight, kEffectSlideFromTop,
                                         kEffectSlideFromBottom};

int32_t SlideDistance(int32_t measured) { return measured < 1 ? kDefaultSlideDistance : measured; }

}  // namespace

std::unique_ptr<AnimationPlayer> ControlAnimator::NewPlayer(int32_t start, int32_t end, int32_t duration,
                                                            double acceleration) const {
  auto player = std::make_unique<AnimationPlayer>();
  player->startValue = start;
  player->endValue = end;
  player->duration = duration;
  player->speedUpRatio = kSpeedUpShare;
  player->slowDownRatio = kSlowDownShare;
  if (acceleration > 0) player->SetSpeedUpAcceleration(acceleration);
  return player;
}

AnimationPlayer* ControlAnimator::Install(EffectKind kind, std::unique_ptr<AnimationPlayer> player) {
  // The old player goes first: its destructor drops its pending step.
  players_.erase(kind);
  if (!player) return nullptr;
  AnimationPlayer* raw = player.get();
  players_[kind] = std::move(player);
  return raw;
}

Size ControlAnimator::MeasureOwner() const { return owner_->Measure(Size{999999, 999999}); }

AnimationPlayer* ControlAnimator::EnableHotFade(bool enable) {
  if (!enable) return Install(kEffectHot, nullptr);
  auto player = NewPlayer(0, 255, kFadeMs, 0);
  Control* owner = owner_;
  player->valueCallback = owner->MakeWeakCallback([owner](int value) { owner->SetHoverBlend(value); });
  return Install(kEffectHot, std::move(player));
}

AnimationPlayer* ControlAnimator::EnableAlphaFade(bool enable) {
  if (!enable) {
    Install(kEffectAlpha, nullptr);
    owner_->SetAlpha(255);
    return nullptr;
  }
  auto player = NewPlayer(0, 255, kFadeMs, 0);
  Control* owner = owner_;
  player->valueCallback = owner->MakeWeakCallback([owner](int value) { owner->SetAlpha(value); });
  AnimationPlayer* raw = Install(kEffectAlpha, std::move(player));
  owner_->SetAlpha(0);
  return raw;
}

AnimationPlayer* ControlAnimator::EnableWidthFade(bool enable) {
  if (!enable) return Install(kEffectWidth, nullptr);
  auto player = NewPlayer(0, MeasureOwner().cx, -1, kSizeAcceleration);
  Control* owner = owner_;
  player->valueCallback =
      owner->MakeWeakCallback([owner](int value) { owner->SetDeclaredWidth(value, true, false); });
  return Install(kEffectWidth, std::move(player));
}

AnimationPlayer* ControlAnimator::EnableHeightFade(bool enable) {
  if (!enable) return Install(kEffectHeight, nullptr);
  auto player = NewPlayer(0, MeasureOwner().cy, -1, kSizeAcceleration);
  Control* owner = owner_;
  player->valueCallback = owner->MakeWeakCallback([owner](int value) { owner->SetDeclaredHeight(value, false); });
  return Install(kEffectHeight, std::move(player));
}

AnimationPlayer* ControlAnimator::EnableSlideX(bool enable, bool fromRight) {
  const EffectKind kind = fromRight ? kEffectSlideFromRight : kEffectSlideFromLeft;
  if (!enable) return Install(kind, nullptr);
  const int32_t distance = SlideDistance(MeasureOwner().cx);
  auto player = NewPlayer(fromRight ? -distance : distance, 0, -1, kSlideAcceleration);
  Control* owner = owner_;
  player->valueCallback = owner->MakeWeakCallback([owner](int value) { owner->SetRenderOffsetX(value); });
  return Install(kind, std::move(player));
}

AnimationPlayer* ControlAnimator::EnableSlideY(bool enable, bool fromBottom) {
  const EffectKind kind = fromBottom ? kEffectSlideFromBottom : kEffectSlideFromTop;
  if (!enable) return Install(kind, nullptr);
  const int32_t distance = SlideDistance(MeasureOwner().cy);
  auto player = NewPlayer(fromBottom ? -distance : distance, 0, -1, kSlideAcceleration);
  Control* owner = owner_;
  player->valueCallback = owner->MakeWeakCallback([owner](int value) { owner->SetRenderOffsetY(value); });
  return Install(kind, std::move(player));
}

void ControlAnimator::PlayShowEffects() {
  owner_->SetVisible(true);
  for (EffectKind kind : kShowHideOrder) {
    AnimationPlayer* player = GetPlayer(kind);
    if (!player) continue;
    player->completionCallback = nullptr;
    player->ContinueForward();
  }
}

void ControlAnimator::PlayHideEffects() {
  Control* owner = owner_;
  std::function<void()> hide = owner->MakeWeakCallback([owner] { owner->SetVisible(false); });
  bool played = false;
  for (EffectKind kind : kShowHideOrder) {
    AnimationPlayer* player = GetPlayer(kind);
    if (!player) continue;
    player->completionCallback = hide;
    player->ContinueBackward();
    played = true;
  }
  if (!played) owner_->SetVisible(false);
}

AnimationPlayer* ControlAnimator::GetPlayer(EffectKind kind) const {
  auto it = players_.find(kind);
  return it == players_.end() ? nullptr : it->second.get();
}

}  // namespace ui
