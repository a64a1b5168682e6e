#pragma once

// A control that shows a text: a literal text or a language key, a font, a colour per state,
// DrawText alignment flags, padding, single- or multi-line layout and an optional text
// effect. "Label" is the control-based one (sized to its text), "LabelBox" the box-based one
// (stretched, its text behind its children).

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <list>
#include <memory>
#include <string>

#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/render/render_factory.h"
#include "ui/render/text_effect.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

// The context labels without a window's context measure their text with: one shared
// measuring surface of the UI thread (fonts are looked up by id, so any surface measures alike).
IRenderContext* GetTextMeasuringContext();

// The text style a label starts with: single line, no clip, end ellipsis, left and top.
constexpr UINT kLabelTextStyle = DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS;

template <typename T>
class LabelTemplate : public T {
 public:
  LabelTemplate();
  ~LabelTemplate() override = default;

  virtual std::wstring GetText() const;
  virtual std::string GetTextUtf8() const;
  virtual void SetText(const std::wstring& text);
  virtual void SetTextUtf8(const std::string& text);
  virtual void SetTextId(const std::wstring& id, bool clearText = false);
  virtual std::wstring GetTextId() const { return textId_; }
  virtual void SetTextIdUtf8(const std::string& id, bool clearText = false);
  virtual void SetTextOutline(const std::wstring& color1, const std::wstring& color2, int32_t width, bool gradient);
  virtual void SetTextGradient(const std::wstring& color1, const std::wstring& color2, float first, float second);
  virtual void SetTextCharSpacing(int32_t spacing);

  // Setting the hot colour turns the hot fade on.
  void SetStateTextColor(ControlState state, const std::wstring& colorName);
  std::wstring GetStateTextColor(ControlState state) const { return textColors_.GetColor(state); }
  UINT GetTextStyle() const { return textStyle_; }
  void SetTextStyle(UINT style) { textStyle_ = style; }
  Rect GetTextPadding() const { return textPadding_; }
  void SetTextPadding(const Rect& padding) { textPadding_ = padding; }
  bool IsSingleLine() const { return singleLine_; }
  const std::wstring& GetFont() const { return fontId_; }
  ITextEffect* GetTextEffect() const { return textEffect_.get(); }

  Size MeasureText(Size available, bool* measurePending) override;
  bool HasHotLook() override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintText(IRenderContext* context) override;
  void PerformAction() override;

 protected:
  // Relayout when the label sizes itself to the text, else a repaint.
  void RefreshForText() {
    if (this->IsAutoSized()) {
      this->RequestAncestorLayout();
    } else {
      this->Invalidate();
    }
  }
  UINT StyleForLayout() const { return singleLine_ ? (textStyle_ | DT_SINGLELINE) : (textStyle_ & ~DT_SINGLELINE); }
  // The padded text rectangle inside the bounds.
  Rect TextRect() const {
    const Rect& b = this->bounds_;
    return Rect{b.left + textPadding_.left, b.top + textPadding_.top, b.right - textPadding_.right,
                b.bottom - textPadding_.bottom};
  }
  void DrawText(IRenderContext* context, const Rect& rect, const std::wstring& text, const std::wstring& colorName,
                uint8_t alpha) {
    const ArgbColor color = UiRuntime::GetColor(colorName);
    if (textEffect_) {
      context->DrawTextWithEffect(rect, text, color, fontId_, StyleForLayout(), textEffect_.get(), lineLimit_);
    } else {
      context->DrawTextInRect(rect, text, color, fontId_, StyleForLayout(), alpha, lineLimit_);
    }
  }
  ITextEffect* EnsureTextEffect() {
    if (!textEffect_) {
      if (IRenderFactory* factory = UiRuntime::GetRenderFactory()) textEffect_.reset(factory->NewTextEffect());
    }
    return textEffect_.get();
  }

  std::wstring fontId_;
  UINT textStyle_ = kLabelTextStyle;
  bool singleLine_ = true;
  bool lineLimit_ = false;
  Rect textPadding_;
  std::wstring text_;
  std::wstring textId_;
  StateColorSet textColors_;
  std::unique_ptr<ITextEffect> textEffect_;
};

// Applies the keywords of an "align" value to a text style; keywords are found as substrings.
UINT ApplyTextAlignment(UINT style, const std::wstring& value);

template <typename T>
LabelTemplate<T>::LabelTemplate() {
  textColors_.Init(this);
  textColors_.SetColor(kStateNormal, UiRuntime::GetDefaultTextColor());
  textColors_.SetColor(kStateDisabled, UiRuntime::GetDefaultDisabledTextColor());
}

template <>
inline LabelTemplate<Control>::LabelTemplate() {
  textColors_.Init(this);
  textColors_.SetColor(kStateNormal, UiRuntime::GetDefaultTextColor());
  textColors_.SetColor(kStateDisabled, UiRuntime::GetDefaultDisabledTextColor());
  fixedWidth_ = kSizeAuto;
  fixedHeight_ = kSizeAuto;
}

template <typename T>
std::wstring LabelTemplate<T>::GetText() const {
  if (text_.empty() && !textId_.empty()) return LookUpLanguageText(textId_);
  return text_;
}

template <typename T>
std::string LabelTemplate<T>::GetTextUtf8() const {
  std::string out;
  WideToMultiByte(GetText(), out, CP_UTF8);
  return out;
}

template <typename T>
void LabelTemplate<T>::SetText(const std::wstring& text) {
  if (text == text_) return;
  text_ = text;
  RefreshForText();
}

template <typename T>
void LabelTemplate<T>::SetTextUtf8(const std::string& text) {
  std::wstring wide;
  MultiByteToWide(text, wide, CP_UTF8);
  SetText(wide);
}

template <typename T>
void LabelTemplate<T>::SetTextId(const std::wstring& id, bool clearText) {
  if (id == textId_ && !clearText) return;
  textId_ = id;
  if (clearText) text_.clear();
  RefreshForText();
}

template <typename T>
void LabelTemplate<T>::SetTextIdUtf8(const std::string& id, bool clearText) {
  std::wstring wide;
  MultiByteToWide(id, wide, CP_UTF8);
  SetTextId(wide, clearText);
}

template <typename T>
void LabelTemplate<T>::SetTextOutline(const std::wstring& color1, const std::wstring& color2, int32_t width,
                                      bool gradient) {
  if (ITextEffect* effect = EnsureTextEffect())
    effect->SetOutline(UiRuntime::GetColor(color1), UiRuntime::GetColor(color2), width, gradient);
}

template <typename T>
void LabelTemplate<T>::SetTextGradient(const std::wstring& color1, const std::wstring& color2, float first,
                                       float second) {
  if (ITextEffect* effect = EnsureTextEffect())
    effect->SetFillGradient(UiRuntime::GetColor(color1), UiRuntime::GetColor(color2), first, second);
}

template <typename T>
void LabelTemplate<T>::SetTextCharSpacing(int32_t spacing) {
  if (textEffect_) textEffect_->SetCharSpacing(spacing);
}

template <typename T>
void LabelTemplate<T>::SetStateTextColor(ControlState state, const std::wstring& colorName) {
  if (state == kStateHot) this->animator_.EnableHotFade(true);
  textColors_.SetColor(state, colorName);
  this->Invalidate();
}

template <typename T>
bool LabelTemplate<T>::HasHotLook() {
  return !textColors_.GetColor(kStateHot).empty() || T::HasHotLook();
}

template <typename T>
Size LabelTemplate<T>::MeasureText(Size available, bool* measurePending) {
  const UINT style = StyleForLayout();
  const int32_t fixedWidth = this->fixedWidth_;
  const int limit = fixedWidth >= 0 ? fixedWidth : 0;
  const std::wstring text = GetText();
  if (text.empty()) return Size();
  IRenderContext* context = this->window_ ? this->window_->GetRenderContext() : nullptr;
  if (!context) context = GetTextMeasuringContext();
  if (!context) return Size();
  Rect extent = context->MeasureText(text, fontId_, style, limit > 0 ? limit : -1);
  int w = extent.Width();
  int h = extent.Height();
  const int horizontalPadding = textPadding_.left + textPadding_.right;
  Size result{fixedWidth, this->fixedHeight_};
  if (fixedWidth == kSizeAuto) result.cx = w + horizontalPadding;
  if (this->fixedHeight_ == kSizeAuto) {
    const bool noMaxWidth = this->maxWidth_ < 0 || this->maxWidth_ == kSizeMaxDefault;
    if (!singleLine_ && fixedWidth == kSizeAuto && noMaxWidth) {
      // The height depends on the width offered, so measure again at every layout.
      if (measurePending) *measurePending = true;
      const int offered = available.cx - horizontalPadding;
      if (w > offered && offered > 0) {
        extent = context->MeasureText(text, fontId_, style, offered);
        w = extent.Width();
        h = extent.Height();
      }
    }
    result = Size{w + horizontalPadding, h + textPadding_.top + textPadding_.bottom};
  }
  if (textEffect_) {
    size_t longest = 0;
    if (singleLine_) {
      longest = text.size();
    } else {
      size_t start = 0;
      while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        longest = std::max(longest, end - start);
        start = end + 1;
      }
    }
    result.cx += textEffect_->CharSpacing() * static_cast<int>(longest);
  }
  return result;
}

template <typename T>
void LabelTemplate<T>::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"align") {
    textStyle_ = ApplyTextAlignment(textStyle_, value);
  } else if (name == L"endellipsis") {
    if (value == L"true") {
      textStyle_ |= DT_END_ELLIPSIS;
    } else {
      textStyle_ &= ~static_cast<UINT>(DT_END_ELLIPSIS);
    }
  } else if (name == L"linelimit") {
    const bool limit = value == L"true";
    if (limit != lineLimit_) {
      lineLimit_ = limit;
      this->Invalidate();
    }
  } else if (name == L"singleline") {
    const bool single = value == L"true";
    if (single != singleLine_) {
      singleLine_ = single;
      this->Invalidate();
    }
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"textid") {
    SetTextId(value, false);
  } else if (name == L"font") {
    fontId_ = value;
    this->Invalidate();
  } else if (name == L"normaltextcolor") {
    SetStateTextColor(kStateNormal, value);
  } else if (name == L"hottextcolor") {
    SetStateTextColor(kStateHot, value);
  } else if (name == L"pushedtextcolor") {
    SetStateTextColor(kStatePushed, value);
  } else if (name == L"disabledtextcolor") {
    SetStateTextColor(kStateDisabled, value);
  } else if (name == L"textpadding") {
    Rect padding = ParseRectNumbers(value);
    DpiScale::Instance().ScaleRect(padding);
    textPadding_ = padding;
    RefreshForText();
  } else if (name == L"gradient_text") {
    const std::list<std::wstring> items = SplitString(value, L",");
    // Shorter lists lack the numbers: ignored.
    if (items.size() < 4) return;
    auto it = items.begin();
    const std::wstring color1 = *it++;
    const std::wstring color2 = *it++;
    const float first = static_cast<float>(wcstod(it++->c_str(), nullptr));
    const float second = static_cast<float>(wcstod(it++->c_str(), nullptr));
    SetTextGradient(color1, color2, first, second);
    if (items.size() == 5) SetTextCharSpacing(static_cast<int32_t>(wcstol(it->c_str(), nullptr, 10)));
  } else if (name == L"gradient_outline") {
    const std::list<std::wstring> items = SplitString(value, L",");
    if (items.size() < 3) return;
    auto it = items.begin();
    const std::wstring color1 = *it++;
    const std::wstring color2 = *it++;
    const int32_t width = static_cast<int32_t>(wcstol(it++->c_str(), nullptr, 10));
    const bool gradient = it == items.end() || (*it != L"false" && *it != L"0");
    SetTextOutline(color1, color2, width, gradient);
  } else {
    T::ApplyAttribute(name, value);
  }
}

template <typename T>
void LabelTemplate<T>::PaintText(IRenderContext* context) {
  const std::wstring text = GetText();
  if (text.empty()) return;
  const Rect rect = TextRect();
  ControlState state = this->state_;
  if (state == kStatePushed && textColors_.GetColor(kStatePushed).empty()) state = kStateHot;
  if (state == kStateHot && textColors_.GetColor(kStateHot).empty()) state = kStateNormal;
  if (state == kStateDisabled && textColors_.GetColor(kStateDisabled).empty()) state = kStateNormal;
  const std::wstring hot = textColors_.GetColor(kStateHot);
  if (this->animator_.GetPlayer(kEffectHot) && (state == kStateNormal || state == kStateHot) && !hot.empty()) {
    const std::wstring normal = textColors_.GetColor(kStateNormal);
    if (!normal.empty()) DrawText(context, rect, text, normal, 255);
    const int blend = this->hoverBlend_;
    if (blend > 0) DrawText(context, rect, text, hot, static_cast<uint8_t>(std::min(blend, 255)));
    return;
  }
  DrawText(context, rect, text, textColors_.GetColor(state), 255);
}

template <typename T>
void LabelTemplate<T>::PerformAction() {
  if (this->AcceptsAction() && this->window_) this->RaiseOwnEvent(kEventClick);
}

using Label = LabelTemplate<Control>;
using LabelBox = LabelTemplate<Box>;

}  // namespace ui
