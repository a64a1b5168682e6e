#pragma once

#include <string>

#include "base/weak_callback.h"
#include "ui/core/geometry.h"
#include "ui/render/gdiplus_api.h"

namespace ui {

// Draws label text as filled glyph outlines: gradient fill, rings of outline colours and
// extra spacing between characters.
class ITextEffect : public base::SupportWeakCallback {
 public:
  ~ITextEffect() override = default;
  virtual void SetFillGradient(ArgbColor from, ArgbColor to, float widthRatio, float heightRatio) = 0;
  virtual void SetOutline(ArgbColor from, ArgbColor to, int width, bool gradient) = 0;
  // Above 0 the text is laid out glyph by glyph with that many extra pixels between them.
  virtual void SetCharSpacing(int spacing) = 0;
  virtual int CharSpacing() = 0;
  // Draws into graphics; graphics, font and format stay the caller's.
  virtual void RenderText(const Rect& rect, const std::wstring& text, ArgbColor color, Gdiplus::GpGraphics* graphics,
                          Gdiplus::GpFont* font, Gdiplus::GpStringFormat* format) = 0;
};

}  // namespace ui
