#include "ui/controls/rich_edit.h"

#include <imm.h>

#include <cstdio>
#include <vector>

#include "ui/animation/timer_manager.h"
#include "ui/controls/on_screen_keyboard.h"
#include "ui/controls/rich_edit_clipboard.h"
#include "ui/controls/scroll_bar.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/layout.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"
#include "ui/resources/ui_runtime.h"

namespace ui {
namespace {

constexpr DWORD kTextBitBackStyleChange = 0x4000;
constexpr DWORD kTextBitCharFormatChange = 0x20000;
constexpr UINT kCaretBlinkMs = 500;

bool IsEmpty(const Rect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

Rect Intersection(const Rect& a, const Rect& b) {
  Rect out{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
           a.bottom < b.bottom ? a.bottom : b.bottom};
  return out;
}

bool Meets(const Rect& a, const Rect& b) { return !IsEmpty(Intersection(a, b)); }

// 0xAARRGGBB to the text services' 0x00BBGGRR.
COLORREF ToColorRef(ArgbColor color) {
  return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

std::wstring SkipLeadingBlanks(const std::wstring& value) {
  size_t start = 0;
  while (start < value.size() && value[start] <= L' ') ++start;
  return value.substr(start);
}

}  // namespace

// One of the box's scroll bars as the text host drives it.
class RichEdit::BarAdapter : public TextHostScrollBar {
 public:
  explicit BarAdapter(ScrollBar* bar) : bar_(bar) {}
  int32_t GetScrollRange() const override { return static_cast<int32_t>(bar_->GetScrollRange()); }
  void SetScrollRange(int32_t range) override { bar_->SetScrollRange(range); }
  int32_t GetScrollPos() const override { return static_cast<int32_t>(bar_->GetScrollPos()); }
  void SetScrollPos(int32_t position) override { bar_->SetScrollPos(position); }
  void SetVisible(bool visible) override { bar_->SetVisible(visible); }
  void ReplaceAtOwnBounds() override { bar_->SetBounds(bar_->GetBounds()); }
  ScrollBar* bar_;
};

RichEdit::RichEdit()
    : textTimers_([this](UINT id) {
        LRESULT result = 0;
        SendToTextServices(WM_TIMER, id, 0, &result);
      }) {
  const std::wstring defaultColor = UiRuntime::GetDefaultTextColor();
  currentTextColor_ = defaultColor;
  normalTextColor_ = defaultColor;
  disabledTextColor_ = defaultColor;
}

RichEdit::~RichEdit() {
  caretBlinkFlag_.Invalidate();
  if (host_) {
    host_->Release();
    host_ = nullptr;
  }
}

HRESULT RichEdit::SendToTextServices(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  LRESULT ignored = 0;
  if (!result) result = &ignored;
  if (!host_ || !host_->GetTextServices()) return S_FALSE;
  return host_->GetTextServices()->TxSendMessage(message, wParam, lParam, result);
}

// ---- Host owner ------------------------------------------------------------------------------

bool RichEdit::BuildCharFormat(CHARFORMAT2W& format) {
  FontRecord* font = UiRuntime::FindFont(fontId_);
  if (!font || !font->hFont) return false;
  format.cbSize = sizeof(CHARFORMAT2W);
  format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_OFFSET | CFM_CHARSET;
  format.yOffset = 0;
  format.crTextColor = ToColorRef(UiRuntime::GetColor(currentTextColor_));
  return CTxtWinHost::FillFontFormat(font->hFont, GetHostPaintDC(), format);
}

HWND RichEdit::GetHostWindow() const { return window_ ? window_->GetHwnd() : nullptr; }

HDC RichEdit::GetHostPaintDC() const { return window_ ? window_->GetPaintDC() : nullptr; }

bool RichEdit::IsHostWindowLayered() const { return window_ && window_->IsLayered(); }

void RichEdit::SetHostMouseCaptured(bool captured) {
  if (window_) window_->SetMouseCaptured(captured);
}

TextHostScrollBar* RichEdit::GetTextScrollBar(int bar) {
  ScrollBar* scrollBar = bar == SB_VERT ? GetVerticalScrollBar() : GetHorizontalScrollBar();
  if (!scrollBar) return nullptr;
  std::unique_ptr<BarAdapter>& adapter = bar == SB_VERT ? verticalAdapter_ : horizontalAdapter_;
  if (!adapter || adapter->bar_ != scrollBar) adapter = std::make_unique<BarAdapter>(scrollBar);
  return adapter.get();
}

void RichEdit::ReplaceAtOwnBounds() { SetBounds(GetBounds(true)); }

void RichEdit::SetCaretSize(int32_t width, int32_t height) {
  caretWidth_ = width;
  caretHeight_ = height;
}

void RichEdit::SetCaretPosition(int32_t x, int32_t y) {
  caretX_ = x;
  caretY_ = y;
  EnableCaret(GetSelectedText().empty());
}

void RichEdit::StartTextTimer(UINT id, UINT milliseconds) { textTimers_.Start(id, milliseconds); }

void RichEdit::StopTextTimer(UINT id) { textTimers_.Stop(id); }

// ---- Text ------------------------------------------------------------------------------------

void RichEdit::SetTextColorName(const std::wstring& name) {
  if (name == currentTextColor_) return;
  currentTextColor_ = name;
  if (!host_) return;
  host_->SetCharFormatColor(ToColorRef(UiRuntime::GetColor(name)));
  if (host_->GetTextServices())
    host_->GetTextServices()->OnTxPropertyBitsChange(kTextBitCharFormatChange, kTextBitCharFormatChange);
}

int32_t RichEdit::TextLength() {
  GETTEXTLENGTHEX length = {GTL_DEFAULT, 1200};
  LRESULT result = 0;
  if (SendToTextServices(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0, &result) != S_OK) return 0;
  return static_cast<int32_t>(result);
}

std::wstring RichEdit::GetText() {
  const int32_t length = TextLength();
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, 0);
  GETTEXTEX request = {};
  request.cb = static_cast<DWORD>((length + 1) * sizeof(wchar_t));
  request.flags = GT_DEFAULT;
  request.codepage = 1200;
  LRESULT result = 0;
  SendToTextServices(EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request), reinterpret_cast<LPARAM>(buffer.data()),
                     &result);
  return std::wstring(buffer.data());
}

std::string RichEdit::GetTextUtf8() {
  std::string out;
  WideToUtf8(GetText().c_str(), out);
  return out;
}

void RichEdit::SetTextUtf8(const std::string& text) {
  std::wstring wide;
  Utf8ToWide(text.c_str(), wide);
  SetText(wide);
}

void RichEdit::SetText(const std::wstring& text) {
  text_ = text;
  if (!initialized_) return;
  CHARRANGE all = {0, -1};
  LRESULT result = 0;
  SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all), &result);
  SendToTextServices(EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()), &result);
}

std::wstring RichEdit::GetSelectedText() {
  if (!host_) return std::wstring();
  CHARRANGE range = {0, 0};
  LRESULT result = 0;
  SendToTextServices(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range), &result);
  if (range.cpMax <= range.cpMin) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(range.cpMax - range.cpMin) + 1, 0);
  SendToTextServices(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data()), &result);
  buffer.back() = 0;
  return std::wstring(buffer.data());
}

void RichEdit::StorePromptText(const std::wstring& text) {
  if (text == promptText_) return;
  promptText_ = text;
  Invalidate();
}

void RichEdit::StorePromptTextId(const std::wstring& key) {
  if (key == promptTextId_) return;
  promptTextId_ = key;
  Invalidate();
}

std::wstring RichEdit::PromptTextToShow() const {
  if (promptText_.empty() && !promptTextId_.empty()) return LookUpLanguageText(promptTextId_);
  return promptText_;
}

void RichEdit::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled) {
    state_ = kStateNormal;
    SetTextColorName(normalTextColor_);
  } else {
    state_ = kStateDisabled;
    SetTextColorName(disabledTextColor_);
  }
}

// ---- Attributes ------------------------------------------------------------------------------

void RichEdit::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  const bool isTrue = IsTrue(value);
  const bool isFalse = IsFalse(value);
  if (name == L"vscrollbar") {
    if (isTrue) {
      style_ |= WS_VSCROLL | kEditStyleNumberOrNoScroll;
      EnableScrollBars(true, GetHorizontalScrollBar() != nullptr);
    } else {
      style_ &= ~static_cast<uint32_t>(WS_VSCROLL);
      if (!(style_ & WS_HSCROLL)) style_ &= ~kEditStyleNumberOrNoScroll;
      EnableScrollBars(false, GetHorizontalScrollBar() != nullptr);
    }
  } else if (name == L"hscrollbar") {
    if (isTrue) {
      style_ |= WS_HSCROLL | kEditStyleNumberOrNoScroll;
      EnableScrollBars(GetVerticalScrollBar() != nullptr, true);
    } else {
      style_ &= ~static_cast<uint32_t>(WS_HSCROLL);
      if (!(style_ & WS_VSCROLL)) style_ &= ~kEditStyleNumberOrNoScroll;
      EnableScrollBars(GetVerticalScrollBar() != nullptr, false);
    }
  } else if (name == L"autovscroll") {
    if (isTrue) style_ |= ES_AUTOVSCROLL;
    if (isFalse) style_ &= ~static_cast<uint32_t>(ES_AUTOVSCROLL);
  } else if (name == L"autohscroll") {
    if (isTrue) style_ |= ES_AUTOHSCROLL;
    if (isFalse) style_ &= ~static_cast<uint32_t>(ES_AUTOHSCROLL);
  } else if (name == L"multiline") {
    if (isFalse) style_ &= ~static_cast<uint32_t>(ES_MULTILINE);
    if (isTrue) style_ |= ES_MULTILINE;
  } else if (name == L"linespace") {
    lineSpacing_ = static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10));
  } else if (name == L"textpadding") {
    // Fewer than four numbers leave the rest 0; the reader never runs past the text.
    int32_t values[4] = {};
    ParseNumberList(value, values, 4);
    Rect padding{values[0], values[1], values[2], values[3]};
    DpiScale::Instance().ScaleRect(padding);
    textPadding_ = padding;
    if (IsAutoSized()) {
      RequestAncestorLayout();
    } else {
      Invalidate();
    }
  } else if (name == L"readonly") {
    if (isTrue) {
      style_ |= ES_READONLY;
      readOnly_ = true;
    } else if (isFalse) {
      style_ &= ~static_cast<uint32_t>(ES_READONLY);
      readOnly_ = false;
    }
  } else if (name == L"password") {
    if (isTrue) {
      style_ |= ES_PASSWORD;
      password_ = true;
    } else if (isFalse) {
      style_ &= ~static_cast<uint32_t>(ES_PASSWORD);
      password_ = false;
    }
  } else if (name == L"number") {
    if (isTrue) {
      style_ |= kEditStyleNumberOrNoScroll;
      digitsOnly_ = true;
    } else if (isFalse) {
      style_ &= ~kEditStyleNumberOrNoScroll;
      digitsOnly_ = false;
    }
  } else if (name == L"align") {
    // Later words override earlier ones.
    if (value.find(L"left") != std::wstring::npos) style_ &= ~static_cast<uint32_t>(ES_CENTER | ES_RIGHT);
    if (value.find(L"hcenter") != std::wstring::npos) {
      style_ |= ES_CENTER;
      style_ &= ~static_cast<uint32_t>(ES_RIGHT);
    }
    if (value.find(L"right") != std::wstring::npos) {
      style_ |= ES_RIGHT;
      style_ &= ~static_cast<uint32_t>(ES_CENTER);
    }
    if (value.find(L"top") != std::wstring::npos) textVerticalAlignment_ = 0;
    if (value.find(L"vcenter") != std::wstring::npos) textVerticalAlignment_ = 1;
    if (value.find(L"bottom") != std::wstring::npos) textVerticalAlignment_ = 2;
  } else if (name == L"normaltextcolor") {
    normalTextColor_ = SkipLeadingBlanks(value);
    if (IsEnabled()) SetTextColorName(normalTextColor_);
  } else if (name == L"disabledtextcolor") {
    disabledTextColor_ = SkipLeadingBlanks(value);
    if (!IsEnabled()) SetTextColorName(disabledTextColor_);
  } else if (name == L"caretcolor") {
    caretColor_ = SkipLeadingBlanks(value);
  } else if (name == L"promptcolor") {
    promptColor_ = SkipLeadingBlanks(value);
  } else if (name == L"prompttext") {
    StorePromptText(value);
  } else if (name == L"prompttextid") {
    StorePromptTextId(value);
  } else if (name == L"focusedimage") {
    focusedImage_.ReleaseImage();
    focusedImage_.spec.Reset();
    focusedImage_.spec.description = value;
    focusedImage_.spec.Parse(value);
    Invalidate();
  } else if (name == L"font") {
    fontId_ = value;
    if (host_) {
      if (FontRecord* font = UiRuntime::FindFont(fontId_)) host_->ApplyFont(font->hFont);
    }
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"textid") {
    SetText(LookUpLanguageText(value));
  } else if (name == L"wanttab") {
    wantTab_ = isTrue;
  } else if (name == L"wantreturnmsg") {
    wantReturnEvent_ = isTrue;
  } else if (name == L"returnmsgwantctrl") {
    returnNeedsCtrl_ = isTrue;
  } else if (name == L"rich") {
    rich_ = isTrue;
    if (host_) {
      uint32_t flags = host_->GetFlags() & ~static_cast<uint32_t>(kTextHostRichText);
      if (rich_) flags |= kTextHostRichText;
      host_->SetFlags(flags);
      if (host_->GetTextServices()) host_->GetTextServices()->OnTxPropertyBitsChange(TXTBIT_RICHTEXT, rich_ ? 1 : 0);
    }
  } else {
    // Past the scrollable box: its own attributes mean nothing to an edit.
    Box::ApplyAttribute(name, value);
  }
}

// ---- Initialisation, measure, layout ---------------------------------------------------------

void RichEdit::ActivateInPlace() {
  if (!host_ || !host_->GetTextServices()) return;
  host_->SetFlags(host_->GetFlags() | kTextHostInPlaceActive);
  if (FAILED(host_->GetTextServices()->OnTxInPlaceActivate(nullptr)))
    host_->SetFlags(host_->GetFlags() & ~static_cast<uint32_t>(kTextHostInPlaceActive));
}

void RichEdit::CollapseBar(ScrollBar* bar) {
  if (!bar || bar->GetScrollRange() == 0) return;
  bar->SetScrollRange(0);
  if (bar->GetScrollPos() > 0) bar->SetScrollPos(0);
  bar->SetVisible(false);
  bar->SetBounds(bar->GetBounds());
}

void RichEdit::OnInitialize() {
  if (initialized_) return;
  CREATESTRUCTW create = {};
  create.style = static_cast<LONG>(style_);
  create.lpszName = text_.c_str();
  host_ = new CTxtWinHost();
  host_->SetMaxLength(textLimit_);
  // Transparent from the start: Wine's text services read the back style only when created.
  host_->SetFlags(kTextHostTransparent);
  if (!host_->CreateServices(this, &create)) {
    host_->Release();
    host_ = nullptr;
  }
  if (host_) {
    host_->SetFlags(host_->GetFlags() | kTextHostTransparent);
    host_->GetTextServices()->OnTxPropertyBitsChange(kTextBitBackStyleChange, 0);
    LRESULT result = 0;
    SendToTextServices(EM_SETLANGOPTIONS, 0, 0, &result);
    SendToTextServices(EM_SETEVENTMASK, 0, ENM_CHANGE, &result);
    ActivateInPlace();
  }
  CollapseBar(GetHorizontalScrollBar());
  CollapseBar(GetVerticalScrollBar());
  if (lineSpacing_ >= 0) {
    PARAFORMAT2 format = {};
    format.cbSize = sizeof(PARAFORMAT2);
    format.dwMask = PFM_LINESPACING;
    format.bLineSpacingRule = 4;
    format.dyLineSpacing = lineSpacing_;
    LRESULT result = 0;
    SendToTextServices(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format), &result);
    if (result == 1 && host_) host_->ParaFormat() = format;
  }
  initialized_ = true;
}

Size RichEdit::Measure(Size available) {
  (void)available;
  Size size{fixedWidth_, fixedHeight_};
  if (size.cx != kSizeAuto && size.cy != kSizeAuto) return size;
  const Rect padding = GetLayout() ? GetLayout()->GetPadding() : Rect();
  LONG width = size.cx == kSizeAuto ? 0 : size.cx;
  LONG height = (size.cy == kSizeAuto && size.cx != kSizeAuto) ? 0 : size.cy;
  // Without text services the natural size is nothing: only the padding remains.
  if (host_ && host_->GetTextServices()) {
    const SIZEL unbounded = {-1, -1};
    if (FAILED(host_->GetTextServices()->TxGetNaturalSize(DVASPECT_CONTENT, GetHostPaintDC(), nullptr, nullptr,
                                                          TXTNS_FITTOCONTENT, &unbounded, &width, &height))) {
      width = 0;
      height = 0;
    }
  } else {
    width = 0;
    height = 0;
  }
  if (size.cx == kSizeAuto) {
    size.cx = padding.left + width + padding.right;
  } else {
    size.cy = padding.top + height + padding.bottom;
  }
  return size;
}

Rect RichEdit::ContentRect() const {
  const Rect padding = GetLayout() ? GetLayout()->GetPadding() : Rect();
  Rect content{bounds_.left + padding.left, bounds_.top + padding.top, bounds_.right - padding.right,
               bounds_.bottom - padding.bottom};
  ScrollBar* vertical = GetVerticalScrollBar();
  ScrollBar* horizontal = GetHorizontalScrollBar();
  if (vertical && vertical->GetScrollRange() != 0) content.right -= vertical->GetFixedWidth();
  if (horizontal && horizontal->GetScrollRange() != 0) content.bottom -= horizontal->GetFixedHeight();
  return content;
}

void RichEdit::SetBounds(const Rect& bounds) {
  Control::SetBounds(bounds);
  const Rect content = ContentRect();
  if (host_) {
    host_->SetClientArea(Rect{content.left + textPadding_.left, content.top + textPadding_.top,
                              content.right - textPadding_.right, content.bottom - textPadding_.bottom});
  }
  ScrollBar* vertical = GetVerticalScrollBar();
  ScrollBar* horizontal = GetHorizontalScrollBar();
  if (vertical && vertical->GetScrollRange() != 0)
    vertical->SetBounds(Rect{content.right, content.top, content.right + vertical->GetFixedWidth(), content.bottom});
  if (horizontal && horizontal->GetScrollRange() != 0)
    horizontal->SetBounds(
        Rect{content.left, content.bottom, content.right, content.bottom + horizontal->GetFixedHeight()});
  for (size_t i = 0; i < GetChildCount(); ++i) {
    Control* child = GetChildAt(i);
    if (!child || !child->IsVisible()) continue;
    if (child->IsFloat()) {
      Layout::PlaceFloatingChild(child, bounds_);
    } else {
      child->SetBounds(content);
    }
  }
}

// ---- Painting --------------------------------------------------------------------------------

void RichEdit::PaintSelf(IRenderContext* context, const Rect& dirty) {
  if (!Meets(dirty, bounds_)) return;
  Control::PaintSelf(context, dirty);
  if (!host_ || !host_->GetTextServices()) return;
  Rect text;
  host_->ComputeTextRect(text);
  RECTL drawBounds = {text.left, text.top, text.right, text.bottom};
  RECT update = {dirty.left, dirty.top, dirty.right, dirty.bottom};
  host_->GetTextServices()->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, context->DrawingDC(), nullptr, &drawBounds,
                                   nullptr, &update, nullptr, 0, TXTVIEW_ACTIVE);
}

void RichEdit::PaintStateImages(IRenderContext* context) {
  if (readOnly_) return;
  if (IsFocused()) {
    DrawImage(context, focusedImage_, std::wstring(), -1);
  } else {
    Control::PaintStateImages(context);
  }
  if (!host_ || TextLength() != 0 || promptColor_.empty()) return;
  const std::wstring prompt = PromptTextToShow();
  if (prompt.empty()) return;
  Rect text;
  host_->ComputeTextRect(text);
  context->DrawTextInRect(text, prompt, UiRuntime::GetColor(promptColor_), fontId_, DT_NOCLIP, 255, false);
}

void RichEdit::PaintChildren(IRenderContext* context, const Rect& dirty) {
  if (!Meets(dirty, bounds_)) return;
  if (caretShown_ && !composing_) {
    const ArgbColor color = caretColor_.empty() ? 0xFF000000 : UiRuntime::GetColor(caretColor_);
    context->StrokeLine(Rect{caretX_, caretY_, caretX_, caretY_ + caretHeight_}, caretWidth_, color);
  }
  const Rect content = ContentRect();
  const Rect visibleContent = Intersection(dirty, content);
  if (!IsEmpty(visibleContent)) {
    AutoClip clip(context, visibleContent);
    for (size_t i = 0; i < GetChildCount(); ++i) {
      Control* child = GetChildAt(i);
      if (!child || !child->IsVisible()) continue;
      const Rect area = child->IsFloat() ? bounds_ : content;
      const Rect childBounds = child->GetBounds();
      if (Meets(childBounds, dirty) && Meets(childBounds, area)) child->Paint(context, dirty);
    }
  } else {
    for (size_t i = 0; i < GetChildCount(); ++i) {
      Control* child = GetChildAt(i);
      if (!child || !child->IsVisible() || !child->IsFloat()) continue;
      const Rect childBounds = child->GetBounds();
      if (Meets(childBounds, dirty) && Meets(childBounds, bounds_)) child->Paint(context, dirty);
    }
  }
  ScrollBar* vertical = GetVerticalScrollBar();
  if (vertical && vertical->IsVisible() && Meets(vertical->GetBounds(), dirty)) vertical->Paint(context, dirty);
  ScrollBar* horizontal = GetHorizontalScrollBar();
  if (horizontal && horizontal->IsVisible() && Meets(horizontal->GetBounds(), dirty)) horizontal->Paint(context, dirty);
}

void RichEdit::DropImageCaches() {
  Control::DropImageCaches();
  for (size_t i = 0; i < GetChildCount(); ++i)
    if (Control* child = GetChildAt(i)) child->DropImageCaches();
  if (ScrollBar* horizontal = GetHorizontalScrollBar()) horizontal->DropImageCaches();
  if (ScrollBar* vertical = GetVerticalScrollBar()) vertical->DropImageCaches();
  focusedImage_.ReleaseImage();
}

// ---- Scrolling -------------------------------------------------------------------------------

void RichEdit::SetScrollOffset(Size offset) {
  ScrollBar* vertical = GetVerticalScrollBar();
  ScrollBar* horizontal = GetHorizontalScrollBar();
  auto move = [](ScrollBar* bar, int64_t wanted) -> int64_t {
    if (!bar || bar->GetScrollRange() == 0 || bar->GetScrollPos() == wanted) return 0;
    const int64_t before = bar->GetScrollPos();
    int64_t clamped = wanted < 0 ? 0 : wanted;
    if (clamped > bar->GetScrollRange()) clamped = bar->GetScrollRange();
    bar->SetScrollPos(clamped);
    bar->SetBounds(bar->GetBounds());
    return bar->GetScrollPos() - before;
  };
  const int64_t dv = move(vertical, offset.cy);
  const int64_t dh = move(horizontal, offset.cx);
  LRESULT result = 0;
  if (dv != 0) {
    const int64_t position = vertical->GetScrollPos();
    SendToTextServices(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(position)), 0, &result);
    // Plain text may stop short of where it was asked to go: keep the asked position.
    if (!rich_ && dv > 0 && vertical->GetScrollPos() < position) {
      int64_t clamped = offset.cy < 0 ? 0 : offset.cy;
      if (clamped > vertical->GetScrollRange()) clamped = vertical->GetScrollRange();
      vertical->SetScrollPos(clamped);
      vertical->SetBounds(vertical->GetBounds());
    }
  }
  if (dh != 0) {
    SendToTextServices(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(horizontal->GetScrollPos())), 0,
                       &result);
  }
}

void RichEdit::PageUp() { SendToTextServices(WM_VSCROLL, SB_PAGEUP, 0, nullptr); }
void RichEdit::PageDown() { SendToTextServices(WM_VSCROLL, SB_PAGEDOWN, 0, nullptr); }
void RichEdit::ScrollToTop() { SendToTextServices(WM_VSCROLL, SB_TOP, 0, nullptr); }
void RichEdit::PageLeft() { SendToTextServices(WM_HSCROLL, SB_PAGELEFT, 0, nullptr); }
void RichEdit::PageRight() { SendToTextServices(WM_HSCROLL, SB_PAGERIGHT, 0, nullptr); }
void RichEdit::ScrollToLeftEnd() { SendToTextServices(WM_HSCROLL, SB_LEFT, 0, nullptr); }
void RichEdit::ScrollToRightEnd() { SendToTextServices(WM_HSCROLL, SB_RIGHT, 0, nullptr); }

// ---- Input -----------------------------------------------------------------------------------

void RichEdit::ForwardMouseMessage(UINT message, EventArgs* args) {
  const Point offset = GetAncestorScrollOffset();
  const WORD x = static_cast<WORD>(LOWORD(args->lParam) + offset.x);
  const WORD y = static_cast<WORD>(HIWORD(args->lParam) + offset.y);
  LRESULT result = 0;
  SendToTextServices(message, static_cast<WPARAM>(args->wParam), MAKELPARAM(x, y), &result);
}

void RichEdit::ProcessEvent(EventArgs* args) {
  const EventType type = args->type;
  if (!IsEnabled() || (!IsMouseEnabled() && IsMouseEvent(type))) {
    if (parent_) {
      parent_->DispatchEvent(args);
    } else {
      Control::ProcessEvent(args);
    }
    return;
  }
  LRESULT result = 0;
  switch (type) {
    case kEventRawDoubleClick:
      if (readOnly_) {
        CHARRANGE all = {0, -1};
        SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all), &result);
      } else {
        ForwardMouseMessage(WM_LBUTTONDBLCLK, args);
      }
      return;
    case kEventRawSetFocus:
      if (host_) {
        ActivateInPlace();
        SendToTextServices(WM_SETFOCUS, 0, 0, &result);
        EnableCaret(true);
      }
      focused_ = true;
      Invalidate();
      return;
    case kEventRawKillFocus:
      if (host_) {
        ActivateInPlace();
        SendToTextServices(WM_KILLFOCUS, 0, 0, &result);
        caretShown_ = false;
        caretBlinkFlag_.Invalidate();
        Invalidate();
      }
      focused_ = false;
      if (readOnly_ && IsEnabled()) {
        CHARRANGE none = {-1, 0};
        SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none), &result);
      }
      Invalidate();
      OnScreenKeyboardManager::Instance().RequestKeyboard(false);
      return;
    case kEventKeyDown:
      HandleKeyDown(args);
      return;
    case kEventChar:
      if (GetKeyState(VK_TAB) < 0 && !wantTab_) {
        RaiseEditEvent(kEventTab);
        return;
      }
      if (digitsOnly_ && (args->wParam < L'0' || args->wParam > L'9')) return;
      SendToTextServices(WM_CHAR, static_cast<WPARAM>(args->wParam), static_cast<LPARAM>(args->lParam), &result);
      return;
    case kEventMouseMove:
      ForwardMouseMessage(WM_MOUSEMOVE, args);
      return;
    case kEventButtonDown:
      ForwardMouseMessage(WM_LBUTTONDOWN, args);
      return;
    case kEventPointerDown:
      OnScreenKeyboardManager::Instance().RequestKeyboard(true);
      ForwardMouseMessage(WM_LBUTTONDOWN, args);
      return;
    case kEventButtonUp:
    case kEventPointerUp:
      ForwardMouseMessage(WM_LBUTTONUP, args);
      return;
    case kEventRButtonDown:
      ForwardMouseMessage(WM_RBUTTONDOWN, args);
      return;
    case kEventRButtonUp:
      ForwardMouseMessage(WM_RBUTTONUP, args);
      return;
    case kEventScrollWheel:
      if (GetAsyncKeyState(VK_CONTROL) < 0) return;
      ScrollableBox::ProcessEvent(args);
      return;
    case kEventSetCursor: {
      const Point offset = GetAncestorScrollOffset();
      const POINT point = {args->mousePoint.x + offset.x, args->mousePoint.y + offset.y};
      if (host_ && host_->GetTextServices()) {
        const Rect& client = host_->GetClientArea();
        const RECT clientRect = {client.left, client.top, client.right, client.bottom};
        if (PtInRect(&clientRect, point)) {
          const bool active = (host_->GetFlags() & kTextHostInPlaceActive) != 0;
          host_->GetTextServices()->OnTxSetCursor(DVASPECT_CONTENT, -1, nullptr, nullptr, GetHostPaintDC(), nullptr,
                                                  active ? nullptr : &clientRect, point.x, point.y);
          return;
        }
      }
      SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
      return;
    }
    case kEventImeStartComposition: {
      HWND hwnd = GetHostWindow();
      if (hwnd) {
        if (HIMC context = ImmGetContext(hwnd)) {
          const Point offset = GetAncestorScrollOffset();
          COMPOSITIONFORM form = {};
          form.dwStyle = CFS_POINT;
          form.ptCurrentPos.x = caretX_ - offset.x > 1 ? caretX_ - offset.x : 1;
          form.ptCurrentPos.y = caretY_ - offset.y > 1 ? caretY_ - offset.y : 1;
          ImmSetCompositionWindow(context, &form);
          ImmReleaseContext(hwnd, context);
        }
      }
      composing_ = true;
      return;
    }
    case kEventImeEndComposition:
      composing_ = false;
      return;
    default:
      ScrollableBox::ProcessEvent(args);
      return;
  }
}

void RichEdit::HandleKeyDown(EventArgs* args) {
  LRESULT result = 0;
  if (args->wParam == VK_RETURN && GetAsyncKeyState(VK_SHIFT) >= 0 && wantReturnEvent_) {
    const bool ctrl = GetAsyncKeyState(VK_CONTROL) < 0;
    if (ctrl == returnNeedsCtrl_) {
      RaiseEditEvent(kEventReturn);
      return;
    }
  }
  if (digitsOnly_ && args->wParam == 'V' && GetKeyState(VK_CONTROL) < 0) {
    // The digits go in directly: the user's clipboard is never touched.
    std::wstring digits;
    switch (PrepareDigitsPaste(&digits)) {
      case DigitsPaste::kDrop:
        return;
      case DigitsPaste::kInsert:
        SendToTextServices(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(digits.c_str()), &result);
        return;
      case DigitsPaste::kForwardKey:
        break;
    }
  }
  SendToTextServices(WM_KEYDOWN, static_cast<WPARAM>(args->wParam), static_cast<LPARAM>(args->lParam), &result);
}

void RichEdit::EnableCaret(bool on) {
  caretBlinkFlag_.Invalidate();
  caretShown_ = on;
  if (on) {
    TimerManager::Instance()->AddTimer(caretBlinkFlag_.ObtainWeakFlag(), [this] { ToggleCaret(); }, kCaretBlinkMs,
                                       -1);
  }
  Invalidate();
}

void RichEdit::ToggleCaret() {
  // Wine's text services hide their caret over a selection without reporting a position:
  // the caret stays off while text is selected.
  caretShown_ = !caretShown_ && GetSelectedText().empty();
  Invalidate();
}

// ---- Notifications ---------------------------------------------------------------------------

void RichEdit::RaiseEditEvent(EventType type) {
  // An edit outside a window raises nothing.
  if (window_) RaiseOwnEvent(type);
}

bool RichEdit::NotifyTextChanged() {
  RaiseEditEvent(kEventTextChange);
  return true;
}

void RichEdit::HandleTextNotify(DWORD code, void* data) {
  switch (code) {
    case EN_CHANGE:
      // The prompt comes and goes with the text: the whole edit repaints.
      Invalidate();
      NotifyTextChanged();
      return;
    case EN_MSGFILTER:
    case EN_SELCHANGE:
    case EN_DROPFILES:
    case EN_PROTECTED:
    case EN_STOPNOUNDO:
    case EN_SAVECLIPBOARD:
    case EN_OLEOPFAILED:
    case EN_OBJECTPOSITIONS:
    case EN_DRAGDROPDONE: {
      HWND hwnd = GetHostWindow();
      if (!data || !hwnd) return;
      NMHDR* header = static_cast<NMHDR*>(data);
      header->hwndFrom = hwnd;
      header->idFrom = static_cast<UINT_PTR>(GetWindowLongW(hwnd, GWL_ID));
      header->code = code;
      SendMessageW(hwnd, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(data));
      return;
    }
    case EN_LINK: {
      const ENLINK* link = static_cast<const ENLINK*>(data);
      if (!link || link->msg != WM_LBUTTONUP) return;
      CHARRANGE range = link->chrg;
      LRESULT result = 0;
      SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range), &result);
      const std::wstring text = GetSelectedText();
      fwprintf(stdout, L"[Link]%ls\n", text.c_str());
      if (HWND hwnd = GetHostWindow()) SendMessageW(hwnd, WM_NOTIFY, EN_LINK, reinterpret_cast<LPARAM>(text.c_str()));
      return;
    }
    default:
      return;
  }
}

}  // namespace ui
