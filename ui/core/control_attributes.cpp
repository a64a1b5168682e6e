#include <cwchar>

#include "ui/core/control.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/resources/ui_runtime.h"

// The markup attributes of a control, and the attribute texts of classes and markup events.
namespace ui {

namespace {

// Only the exact text "true" is true.
bool IsTrue(const std::wstring& value) { return value == L"true"; }

int32_t ToInt(const std::wstring& value) { return static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10)); }

int32_t ToSize(const std::wstring& value) {
  if (value == L"stretch") return kSizeStretch;
  if (value == L"auto") return kSizeAuto;
  return ToInt(value);
}

int32_t Scale(int32_t value) { return DpiScale::Instance().ScaleValue(value); }

int32_t ScalePositive(int32_t value) { return value > 0 ? Scale(value) : value; }

bool ParseState(const std::wstring& value, ControlState& state) {
  if (value == L"normal") {
    state = kStateNormal;
  } else if (value == L"hot") {
    state = kStateHot;
  } else if (value == L"pushed") {
    state = kStatePushed;
  } else if (value == L"disabled") {
    state = kStateDisabled;
  } else {
    return false;
  }
  return true;
}

bool ParseAlignment(const std::wstring& value, const wchar_t* first, const wchar_t* last, int32_t& out) {
  if (value == first) {
    out = 0;
  } else if (value == L"center") {
    out = 1;
  } else if (value == last) {
    out = 2;
  } else {
    return false;
  }
  return true;
}

}  // namespace

void Control::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  ControlState state;
  if (name == L"class") {
    ApplyClasses(value);
  } else if (name == L"halign") {
    ParseAlignment(value, L"left", L"right", horizontalAlignment_);
  } else if (name == L"valign") {
    ParseAlignment(value, L"top", L"bottom", verticalAlignment_);
  } else if (name == L"margin") {
    SetMargin(ParseRectNumbers(value), true);
  } else if (name == L"bkcolor" || name == L"bkcolor1") {
    size_t start = 0;
    while (start < value.size() && value[start] <= 32) ++start;
    const std::wstring color = value.substr(start);
    if (color != bkColor_) {
      bkColor_ = color;
      Invalidate();
    }
  } else if (name == L"bordersize") {
    if (value.find(L',') != std::wstring::npos) {
      Rect sides = ParseRectNumbers(value);
      DpiScale::Instance().ScaleRect(sides);
      sideBorders_ = sides;
      Invalidate();
    } else {
      const int32_t size = Scale(ToInt(value));
      if (size != borderSize_) {
        borderSize_ = size;
        Invalidate();
      }
      sideBorders_ = Rect();
      Invalidate();
    }
  } else if (name == L"borderround") {
    int32_t values[2];
    ParseNumberList(value, values, 2);
    SetBorderRound(Size{values[0], values[1]});
  } else if (name == L"width" || name == L"height") {
    int32_t size = ToSize(value);
    if (size < kSizeAuto) return;
    size = ScalePositive(size);
    int32_t& field = name == L"width" ? fixedWidth_ : fixedHeight_;
    if (size == field) return;
    field = size;
    RequestAncestorLayout();
  } else if (name == L"maxwidth" || name == L"maxheight") {
    const int32_t size = ScalePositive(ToSize(value));
    int32_t& field = name == L"maxwidth" ? maxWidth_ : maxHeight_;
    if (size == field) return;
    field = size;
    if (float_) {
      RequestLayout();
    } else {
      RequestAncestorLayout();
    }
  } else if (name == L"minwidth" || name == L"minheight") {
    const int32_t size = Scale(ToInt(value));
    int32_t& field = name == L"minwidth" ? minWidth_ : minHeight_;
    if (size < 0 || size == field) return;
    field = size;
    if (float_) {
      RequestLayout();
    } else {
      RequestAncestorLayout();
    }
  } else if (name == L"state") {
    if (!ParseState(value, state)) return;
    state_ = state;
    if (state == kStateNormal) hoverBlend_ = 0;
    if (state == kStateHot) hoverBlend_ = 255;
    Invalidate();
  } else if (name == L"cursortype") {
    if (value == L"arrow") {
      cursorType_ = kCursorArrow;
    } else if (value == L"hand") {
      cursorType_ = kCursorHand;
    } else if (value == L"ibeam") {
      cursorType_ = kCursorIBeam;
    }
  } else if (name == L"renderoffset") {
    int32_t values[2];
    ParseNumberList(value, values, 2);
    renderOffset_ = Point{Scale(values[0]), Scale(values[1])};
    Invalidate();
  } else if (name == L"normalcolor") {
    SetStateColor(kStateNormal, value);
  } else if (name == L"hotcolor") {
    SetStateColor(kStateHot, value);
  } else if (name == L"pushedcolor") {
    SetStateColor(kStatePushed, value);
  } else if (name == L"disabledcolor") {
    SetStateColor(kStateDisabled, value);
  } else if (name == L"bordercolor") {
    borderColor_ = value;
    Invalidate();
  } else if (name == L"leftbordersize") {
    sideBorders_.left = Scale(ToInt(value));
    Invalidate();
  } else if (name == L"topbordersize") {
    sideBorders_.top = Scale(ToInt(value));
    Invalidate();
  } else if (name == L"rightbordersize") {
    sideBorders_.right = Scale(ToInt(value));
    Invalidate();
  } else if (name == L"bottombordersize") {
    sideBorders_.bottom = Scale(ToInt(value));
    Invalidate();
  } else if (name == L"bkimage") {
    SetBkImage(value);
  } else if (name == L"bkimageadaptlanguage") {
    bkImageLanguageVariant_ = IsTrue(value);
  } else if (name == L"name") {
    name_ = value;
  } else if (name == L"tooltiptext") {
    SetToolTipText(value);
  } else if (name == L"tooltiptextid") {
    SetToolTipTextId(value);
  } else if (name == L"dataid") {
    SetDataId(value);
  } else if (name == L"enabled") {
    SetEnabled(IsTrue(value));
  } else if (name == L"mouse") {
    SetMouseEnabled(IsTrue(value));
  } else if (name == L"keyboard") {
    SetKeyboardEnabled(IsTrue(value));
  } else if (name == L"visible") {
    SetVisible(IsTrue(value));
  } else if (name == L"fadevisible") {
    SetFadeVisible(IsTrue(value));
  } else if (name == L"menu") {
    SetMenuEnabled(IsTrue(value));
  } else if (name == L"float") {
    const bool floating = IsTrue(value);
    if (floating == float_) return;
    float_ = floating;
    RequestAncestorLayout();
  } else if (name == L"cache") {
    cache_ = IsTrue(value);
  } else if (name == L"nofocus") {
    noFocus_ = true;
  } else if (name == L"alpha") {
    alpha_ = ToInt(value);
    Invalidate();
  } else if ((name == L"normalimage" || name == L"hotimage" || name == L"pushedimage" || name == L"disabledimage") &&
             ParseState(name.substr(0, name.size() - 5), state)) {
    if (state == kStateHot) animator_.EnableHotFade(true);
    stateImages_.SetImage(kImageKindBackground, state, value);
    if (IsAutoSized()) {
      RequestAncestorLayout();
    } else {
      Invalidate();
    }
  } else if ((name == L"forenormalimage" || name == L"forehotimage" || name == L"forepushedimage" ||
              name == L"foredisabledimage") &&
             ParseState(name.substr(4, name.size() - 9), state)) {
    if (state == kStateHot) animator_.EnableHotFade(true);
    stateImages_.SetImage(kImageKindForeground, state, value);
    Invalidate();
  } else if (name == L"fadealpha") {
    animator_.EnableAlphaFade(IsTrue(value));
  } else if (name == L"fadehot") {
    animator_.EnableHotFade(IsTrue(value));
  } else if (name == L"fadewidth") {
    animator_.EnableWidthFade(IsTrue(value));
  } else if (name == L"fadeheight") {
    animator_.EnableHeightFade(IsTrue(value));
  } else if (name == L"fadeinoutxfromleft") {
    animator_.EnableSlideX(IsTrue(value), false);
  } else if (name == L"fadeinoutxfromright") {
    animator_.EnableSlideX(IsTrue(value), true);
  } else if (name == L"fadeinoutyfromtop") {
    animator_.EnableSlideY(IsTrue(value), false);
  } else if (name == L"fadeinoutyfrombottom") {
    animator_.EnableSlideY(IsTrue(value), true);
  } else if (name == L"receivepointer") {
    receivePointer_ = IsTrue(value);
  } else if (name == L"channel") {
    SetChannelFilter(value);
  }
  // Any other key is not a control's: ignored.
}

void Control::ApplyClasses(const std::wstring& classList) {
  for (const std::wstring& name : SplitString(classList, L" ")) {
    std::wstring text = UiRuntime::GetClassAttributes(name);
    if (text.empty() && window_) text = window_->GetClassAttributes(name);
    if (text.empty()) continue;
    // A class that names itself, directly or through other classes, would never end.
    if (applyingClasses_.count(name)) continue;
    applyingClasses_.insert(name);
    ApplyAttributeString(text);
    applyingClasses_.erase(name);
  }
}

void Control::ApplyAttributeString(const std::wstring& list) {
  size_t pos = 0;
  const size_t length = list.size();
  while (pos < length) {
    const size_t equals = list.find(L'=', pos);
    if (equals == std::wstring::npos || equals + 1 >= length) return;
    const wchar_t quote = list[equals + 1];
    if (quote != L'"' && quote != L'\'') return;
    const size_t close = list.find(quote, equals + 2);
    if (close == std::wstring::npos) return;
    ApplyAttribute(list.substr(pos, equals - pos), list.substr(equals + 2, close - equals - 2));
    if (close + 2 < length && list[close + 1] == L' ') {
      pos = close + 2;
    } else {
      return;
    }
  }
}

}  // namespace ui
