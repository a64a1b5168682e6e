#include <algorithm>

#include "ui/core/control.h"
#include "ui/render/render_context.h"
#include "ui/resources/state_images.h"

// Painting one image or colour per state, with the hover blend and the state fallbacks.
namespace ui {

namespace {

bool HasHotFade(const Control* owner) {
  return owner && const_cast<Control*>(owner)->GetAnimator().GetPlayer(kEffectHot) != nullptr;
}

}  // namespace

bool StateImageSet::Paint(IRenderContext* context, ControlState state, const std::wstring& modifier) {
  if (!owner_) return false;
  ControlImage& normal = images_[kStateNormal];
  ControlImage& hot = images_[kStateHot];
  if (HasHotFade(owner_) && (state == kStateNormal || state == kStateHot)) {
    const int blend = owner_->GetHoverBlend();
    if (!normal.spec.file.empty() && normal.spec.file == hot.spec.file &&
        normal.spec.source.left == hot.spec.source.left && normal.spec.source.top == hot.spec.source.top &&
        normal.spec.source.right == hot.spec.source.right && normal.spec.source.bottom == hot.spec.source.bottom) {
      const double h = blend / 255.0;
      const int fade = static_cast<int>((1.0 - h) * normal.spec.fade + h * hot.spec.fade);
      return owner_->DrawImage(context, hot, modifier, fade);
    }
    bool drawn = owner_->DrawImage(context, normal, modifier, -1);
    drawn = owner_->DrawImage(context, hot, modifier, hot.spec.fade * blend / 255);
    return drawn;
  }
  if (state == kStatePushed && images_[kStatePushed].spec.description.empty()) {
    state = kStateHot;
    // Stays in the hot descriptor: the hot image is shown at full strength from now on.
    hot.spec.fade = 255;
  }
  if (state == kStateHot && hot.spec.description.empty()) state = kStateNormal;
  if (state == kStateDisabled && images_[kStateDisabled].spec.description.empty()) state = kStateNormal;
  return owner_->DrawImage(context, images_[state], modifier, -1);
}

void StateColorSet::Paint(IRenderContext* context, const Rect& rect, ControlState state) const {
  if (!context) return;
  const std::wstring hot = GetColor(kStateHot);
  if (HasHotFade(owner_) && (state == kStateNormal || state == kStateHot) && !hot.empty()) {
    context->FillRectByColorName(rect, GetColor(kStateNormal), 255);
    const int blend = owner_->GetHoverBlend();
    if (blend >= 1) context->FillRectByColorName(rect, hot, static_cast<uint8_t>(std::min(blend, 255)));
    return;
  }
  if (state == kStatePushed && GetColor(kStatePushed).empty()) state = kStateHot;
  if (state == kStateHot && hot.empty()) state = kStateNormal;
  if (state == kStateDisabled && GetColor(kStateDisabled).empty()) state = kStateNormal;
  context->FillRectByColorName(rect, GetColor(state), 255);
}

}  // namespace ui
