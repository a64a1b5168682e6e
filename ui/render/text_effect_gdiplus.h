#pragma once

#include <vector>

#include "ui/render/text_effect.h"

namespace ui {

class TextEffect_GdiPlus : public ITextEffect {
 public:
  // The glyph strings of each line, in drawing order.
  using GlyphLines = std::vector<std::vector<std::wstring>>;

  void SetFillGradient(ArgbColor from, ArgbColor to, float widthRatio, float heightRatio) override;
  void SetOutline(ArgbColor from, ArgbColor to, int width, bool gradient) override;
  void SetCharSpacing(int spacing) override { charSpacing_ = spacing; }
  int CharSpacing() override { return charSpacing_; }
  void RenderText(const Rect& rect, const std::wstring& text, ArgbColor color, Gdiplus::GpGraphics* graphics,
                  Gdiplus::GpFont* font, Gdiplus::GpStringFormat* format) override;

  // The ring colours, innermost first: width of them, from "from" to "to".
  static std::vector<ArgbColor> BuildOutlineColors(ArgbColor from, ArgbColor to, int width, bool gradient);
  // Appends the text's non-empty lines cut into glyph strings: Arabic lines by joined
  // letters in display (right-to-left) order, others by character, Thai marks kept with
  // their consonant. False for an empty text or one that is not valid UTF-16.
  static bool SplitIntoGlyphs(const std::wstring& text, GlyphLines& lines);
  // The advance of a space in this font and format, at least 1.
  static int MeasureSpaceWidth(Gdiplus::GpGraphics* graphics, Gdiplus::GpFont* font, Gdiplus::GpStringFormat* format);

  const std::vector<ArgbColor>& OutlineColors() const { return outlineColors_; }
  const GlyphLines& CachedLines() const { return lines_; }

 private:
  bool outline_ = false;
  std::vector<ArgbColor> outlineColors_;
  bool gradientFill_ = false;
  ArgbColor gradientFrom_ = 0;
  ArgbColor gradientTo_ = 0;
  float widthRatio_ = 0.3f;
  float heightRatio_ = 0.3f;
  int32_t spaceWidth_ = -1;
  int32_t charSpacing_ = 0;
  std::wstring cachedText_;
  GlyphLines lines_;
};

}  // namespace ui
