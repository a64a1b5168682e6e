#include "ui/render/text_effect_gdiplus.h"

#include <algorithm>

#include "ui/core/string_util.h"
#include "ui/render/arabic_clusters.h"

namespace ui {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

bool IsArabic(wchar_t c) { return (c >= 0x0600 && c <= 0x06FF) || (c >= 0x0750 && c <= 0x077F); }
bool IsThaiMark(wchar_t c) { return c == 0x0E31 || (c >= 0x0E33 && c <= 0x0E3A) || (c >= 0x0E47 && c <= 0x0E4E); }
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Cuts a line into characters; false on an unpaired surrogate.
bool SplitCharacters(const std::wstring& line, std::vector<std::wstring>& glyphs) {
  for (size_t i = 0; i < line.size();) {
    size_t length = 1;
    if (IsHighSurrogate(line[i])) {
      if (i + 1 >= line.size() || !IsLowSurrogate(line[i + 1])) return false;
      length = 2;
    } else if (IsLowSurrogate(line[i])) {
      return false;
    } else if (line[i] >= 0x0800 && i + 1 < line.size() && IsThaiMark(line[i + 1])) {
      // A Thai vowel or tone mark is drawn with the character before it; a second mark
      // stands on its own.
      length = 2;
    }
    glyphs.push_back(line.substr(i, length));
    i += length;
  }
  return true;
}

RectF Unbounded() { return RectF(0, 0, 0, 0); }

RectF MeasureUnbounded(GpGraphics* graphics, const std::wstring& text, GpFont* font, GpStringFormat* format) {
  RectF layout = Unbounded(), box(0, 0, 0, 0);
  GdipMeasureString(graphics, text.c_str(), static_cast<INT>(text.size()), font, &layout, format, &box, nullptr,
                    nullptr);
  return box;
}

}  // namespace

void TextEffect_GdiPlus::SetFillGradient(ArgbColor from, ArgbColor to, float widthRatio, float heightRatio) {
  gradientFrom_ = from;
  gradientTo_ = to;
  widthRatio_ = widthRatio;
  heightRatio_ = heightRatio;
  gradientFill_ = true;
}

void TextEffect_GdiPlus::SetOutline(ArgbColor from, ArgbColor to, int width, bool gradient) {
  outline_ = true;
  outlineColors_ = BuildOutlineColors(from, to, width, gradient);
}

std::vector<ArgbColor> TextEffect_GdiPlus::BuildOutlineColors(ArgbColor from, ArgbColor to, int width, bool gradient) {
  std::vector<ArgbColor> colors;
  if (width <= 0) return colors;
  if (!gradient) {
    colors.assign(width / 2, from);
    colors.insert(colors.end(), width - width / 2, to);
    return colors;
  }
  GpBitmap* strip = nullptr;
  if (GdipCreateBitmapFromScan0(width, 1, 0, PixelFormat32bppARGB, nullptr, &strip) != Ok || !strip) return colors;
  GpGraphics* graphics = nullptr;
  GpLineGradient* brush = nullptr;
  RectF area(0, 0, static_cast<REAL>(width), 1);
  if (GdipGetImageGraphicsContext(strip, &graphics) == Ok &&
      GdipCreateLineBrushFromRect(&area, from, to, LinearGradientModeHorizontal, WrapModeTile, &brush) == Ok) {
    GdipFillRectangle(graphics, brush, 0, 0, static_cast<REAL>(width), 1);
    for (int x = 0; x < width; ++x) {
      ARGB pixel = 0;
      GdipBitmapGetPixel(strip, x, 0, &pixel);
      colors.push_back(pixel | 0xFF000000u);
    }
  }
  if (brush) GdipDeleteBrush(brush);
  if (graphics) GdipDeleteGraphics(graphics);
  GdipDisposeImage(strip);
  return colors;
}

bool TextEffect_GdiPlus::SplitIntoGlyphs(const std::wstring& text, GlyphLines& lines) {
  if (text.empty()) return false;
  const std::list<std::wstring> textLines = SplitString(text, L"\n");
  if (std::any_of(text.begin(), text.end(), IsArabic)) {
    for (const std::wstring& line : textLines) {
      std::vector<std::wstring> units = SplitArabicClusters(line);
      std::reverse(units.begin(), units.end());
      lines.push_back(std::move(units));
    }
    return true;
  }
  for (const std::wstring& line : textLines) {
    std::vector<std::wstring> glyphs;
    if (!SplitCharacters(line, glyphs)) return false;
    lines.push_back(std::move(glyphs));
  }
  return true;
}

int TextEffect_GdiPlus::MeasureSpaceWidth(GpGraphics* graphics, GpFont* font, GpStringFormat* format) {
  const REAL spaced = MeasureUnbounded(graphics, L"a a", font, format).Width;
  const REAL joined = MeasureUnbounded(graphics, L"aa", font, format).Width;
  return std::max(1, static_cast<int>(spaced - joined));
}

void TextEffect_GdiPlus::RenderText(const Rect& rect, const std::wstring& text, ArgbColor color, GpGraphics* graphics,
                                    GpFont* font, GpStringFormat* format) {
  if (!graphics || !font) return;
  RectF layout(static_cast<REAL>(rect.left), static_cast<REAL>(rect.top), static_cast<REAL>(rect.Width()),
               static_cast<REAL>(rect.Height()));
  GpFontFamily* family = nullptr;
  GdipGetFamily(font, &family);
  REAL emSize = 0;
  GdipGetFontSize(font, &emSize);
  GpPath* path = nullptr;
  if (GdipCreatePath(FillModeAlternate, &path) != Ok) {
    if (family) GdipDeleteFontFamily(family);
    return;
  }

  if (charSpacing_ > 0) {
    if (spaceWidth_ < 0) spaceWidth_ = MeasureSpaceWidth(graphics, font, format);
    if (text != cachedText_) {
      // The old split goes with its text, so a failed split is retried, never mistaken
      // for the split of the previous text.
      lines_.clear();
      cachedText_.clear();
      if (SplitIntoGlyphs(text, lines_)) cachedText_ = text;
    }
    StringAlignment alignment = StringAlignmentNear;
    if (format) GdipGetStringFormatAlign(format, &alignment);
    const bool rightAligned = alignment == StringAlignmentFar;
    const int start = rightAligned ? rect.right : rect.left;
    int y = rect.top, h = 0;
    for (const auto& line : lines_) {
      y += h;
      int x = start;
      const size_t count = line.size();
      for (size_t n = 0; n < count; ++n) {
        const std::wstring& glyph = rightAligned ? line[count - 1 - n] : line[n];
        int advance = spaceWidth_;
        if (glyph != L" ") {
          const RectF box = MeasureUnbounded(graphics, glyph, font, format);
          advance = static_cast<int>(box.Width);
          h = std::max(h, static_cast<int>(box.Height));
          RectF at(static_cast<REAL>(x), static_cast<REAL>(y), 0, 0);
          GdipAddPathString(path, glyph.c_str(), static_cast<INT>(glyph.size()), family, FontStyleBold, emSize, &at,
                            format);
        }
        if (rightAligned) x -= advance + charSpacing_;
        else x += charSpacing_ + advance;
      }
    }
  } else {
    GdipAddPathString(path, text.c_str(), static_cast<INT>(text.size()), family, FontStyleBold, emSize, &layout,
                      format);
  }

  if (outline_) {
    // Widest ring first, so each narrower one lies on top of the wider.
    for (size_t k = outlineColors_.size(); k >= 1; --k) {
      GpPen* pen = nullptr;
      if (GdipCreatePen1(outlineColors_[k - 1], static_cast<REAL>(k), UnitWorld, &pen) != Ok) continue;
      GdipSetPenLineJoin(pen, LineJoinRound);
      GdipDrawPath(graphics, pen, path);
      GdipDeletePen(pen);
    }
  }

  GpBrush* brush = nullptr;
  if (gradientFill_) {
    RectF area(layout.X, layout.Y, layout.Width * widthRatio_, layout.Height * heightRatio_);
    GpLineGradient* gradient = nullptr;
    if (GdipCreateLineBrushFromRect(&area, gradientFrom_, gradientTo_, LinearGradientModeForwardDiagonal, WrapModeTile,
                                    &gradient) == Ok)
      brush = gradient;
  }
  if (!brush) {
    // Also the fill when a gradient cannot be made (an empty gradient box).
    GpSolidFill* solid = nullptr;
    if (GdipCreateSolidFill(color, &solid) == Ok) brush = solid;
  }
  if (brush) {
    GdipFillPath(graphics, brush, path);
    GdipDeleteBrush(brush);
  }
  GdipDeletePath(path);
  if (family) GdipDeleteFontFamily(family);
}

}  // namespace ui
