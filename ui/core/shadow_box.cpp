#include "ui/core/shadow_box.h"

#include "ui/core/window.h"

namespace ui {

void ShadowBox::PaintSelf(IRenderContext* context, const Rect& dirty) {
  const Rect content = GetContentRect();
  const bool reachesShadow = dirty.left < content.left || dirty.top < content.top || dirty.right > content.right ||
                             dirty.bottom > content.bottom;
  if (reachesShadow) Control::PaintSelf(context, dirty);
}

Control* WindowShadow::WrapRoot(Control* root) {
  if (!attached || !root) return root;
  auto* shadowBox = new ShadowBox();
  box = shadowBox;
  shadowBox->GetLayout()->SetPadding(padding, false);
  const int32_t width = root->GetFixedWidth();
  const int32_t height = root->GetFixedHeight();
  shadowBox->SetDeclaredWidth(width > 0 ? width + padding.left + padding.right : width, true, false);
  shadowBox->SetDeclaredHeight(height > 0 ? height + padding.top + padding.bottom : height, false);
  if (roundCorner) root->SetBorderRound(Size{3, 3});
  shadowBox->AddChild(root);
  shadowBox->SetBkImage(image);
  return shadowBox;
}

}  // namespace ui
