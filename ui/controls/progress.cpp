#include "ui/controls/progress.h"

#include <cwchar>

namespace ui {

std::wstring SkipLeadingBlanks(const std::wstring& text) {
  size_t start = 0;
  while (start < text.size() && text[start] <= 32) ++start;
  return text.substr(start);
}

Progress::Progress() {
  textStyle_ = DT_SINGLELINE | DT_CENTER;
  fixedWidth_ = kSizeStretch;
  SetDeclaredHeight(12, true);
}

Rect Progress::ProgressFillRect() {
  const Rect bounds = GetBounds(true);
  const double w = bounds.Width();
  const double h = bounds.Height();
  if (horizontal_) return Rect{0, 0, static_cast<int32_t>((value_ - minimum_) * w / Range()), bounds.Height()};
  return Rect{0, static_cast<int32_t>((maximum_ - value_) * h / Range()), bounds.Width(), bounds.Height()};
}

void Progress::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  const auto integer = [&value] { return static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10)); };
  if (name == L"hor") {
    const bool horizontal = value == L"true";
    if (horizontal == horizontal_) return;
    horizontal_ = horizontal;
    Invalidate();
  } else if (name == L"min") {
    minimum_ = integer();
    Invalidate();
  } else if (name == L"max") {
    maximum_ = integer();
    Invalidate();
  } else if (name == L"value") {
    value_ = integer();
    Invalidate();
  } else if (name == L"progressimage") {
    progressImage_.ReleaseImage();
    progressImage_.spec.Reset();
    progressImage_.spec.description = value;
    progressImage_.spec.file = value;
    progressImage_.spec.Parse(value);
    Invalidate();
  } else if (name == L"isstretchfore") {
    const bool stretch = value == L"true";
    if (stretch == stretchForeground_) return;
    stretchForeground_ = stretch;
    Invalidate();
  } else if (name == L"progresscolor") {
    const std::wstring color = SkipLeadingBlanks(value);
    if (color == progressColor_) return;
    progressColor_ = color;
    Invalidate();
  } else {
    LabelTemplate<Control>::ApplyAttribute(name, value);
  }
}

void Progress::DropImageCaches() {
  LabelTemplate<Control>::DropImageCaches();
  progressImage_.ReleaseImage();
}

void Progress::Normalize() {
  if (minimum_ >= maximum_) maximum_ = minimum_ + 1;
  if (value_ > maximum_) value_ = maximum_;
  if (value_ < minimum_) value_ = minimum_;
}

void Progress::PaintStateImages(IRenderContext* context) {
  Normalize();
  const Rect fill = ProgressFillRect();
  if (!progressColor_.empty()) {
    const ArgbColor color = UiRuntime::GetColor(progressColor_);
    if (color != 0) {
      Rect rect = bounds_;
      if (horizontal_) {
        rect.right = rect.left + fill.right;
      } else {
        rect.top = rect.top + fill.top;
      }
      context->FillRectArgb(rect, color, 255);
    }
  }
  if (progressImage_.spec.description.empty()) return;
  if (stretchForeground_) {
    progressModifier_ = FormatString(L"destscale='false' dest='%d,%d,%d,%d'", fill.left, fill.top, fill.right,
                                     fill.bottom);
  } else {
    progressModifier_ =
        FormatString(L"destscale='false' dest='%d,%d,%d,%d' source='%d,%d,%d,%d'", fill.left, fill.top, fill.right,
                     fill.bottom, fill.left, fill.top, fill.right, fill.bottom);
  }
  DrawImage(context, progressImage_, progressModifier_, -1);
}

}  // namespace ui
