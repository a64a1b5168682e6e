#pragma once

// The framework's text-entry control (markup element "RichEdit"): a scrollable box whose text
// is kept, laid out, edited and drawn by the platform's windowless rich-edit text services,
// reached through its text host. It holds the markup's settings, lays out its text area and
// bars, paints its images, text, prompt and its own blinking caret, turns the framework's
// events into messages for the text services and raises text-change, Enter and Tab events.

#include <windows.h>
#include <richedit.h>

#include <map>
#include <memory>
#include <string>

#include "base/weak_callback.h"
#include "ui/controls/text_host.h"
#include "ui/controls/text_services_timers.h"
#include "ui/core/scrollable_box.h"

namespace ui {

class RichEdit : public ScrollableBox, public TextHostOwner {
 public:
  RichEdit();
  // Releases the host (which deactivates and releases the text services); the timers die
  // with their flags.
  ~RichEdit() override;

  void OnInitialize() override;
  Size Measure(Size available) override;
  void SetBounds(const Rect& bounds) override;
  void SetEnabled(bool enabled) override;
  bool IsTabStop() const override { return IsEnabled(); }
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintSelf(IRenderContext* context, const Rect& dirty) override;
  void PaintChildren(IRenderContext* context, const Rect& dirty) override;
  void DropImageCaches() override;
  void ProcessEvent(EventArgs* args) override;
  void PaintStateImages(IRenderContext* context) override;
  void SetScrollOffset(Size offset) override;
  void PageUp() override;
  void PageDown() override;
  void ScrollToTop() override;
  void PageLeft() override;
  void PageRight() override;
  void ScrollToLeftEnd() override;
  void ScrollToRightEnd() override;

  virtual void SetTextColorName(const std::wstring& name);
  virtual std::string GetTextUtf8();
  virtual void SetTextUtf8(const std::string& text);
  // Through the host; without one S_FALSE and nothing happens.
  virtual HRESULT SendToTextServices(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  void HandleTextNotify(DWORD code, void* data) override;
  virtual bool NotifyTextChanged();

  // Before initialisation the text becomes the initial text; after it replaces everything.
  void SetText(const std::wstring& text);
  std::wstring GetText();
  std::wstring GetSelectedText();
  void StorePromptText(const std::wstring& text);
  void StorePromptTextId(const std::wstring& key);
  std::wstring PromptTextToShow() const;

  void HandleKeyDown(EventArgs* args);
  void ForwardMouseMessage(UINT message, EventArgs* args);
  void EnableCaret(bool on);
  void ToggleCaret();

  // Settings.
  uint32_t GetStyle() const { return style_; }
  int32_t GetTextVerticalAlignment() const { return textVerticalAlignment_; }
  bool IsDigitsOnly() const { return digitsOnly_; }
  bool IsReadOnly() const { return readOnly_; }
  bool IsPassword() const { return password_; }
  bool WantsTab() const { return wantTab_; }
  const ControlImage& GetFocusedImage() const { return focusedImage_; }
  bool WantsReturnEvent() const { return wantReturnEvent_; }
  bool ReturnNeedsCtrl() const { return returnNeedsCtrl_; }
  bool IsRich() const { return rich_; }
  bool IsInitialized() const { return initialized_; }
  bool IsCaretShown() const { return caretShown_; }
  Rect GetCaretRect() const { return Rect{caretX_, caretY_, caretX_ + caretWidth_, caretY_ + caretHeight_}; }
  const std::wstring& GetCurrentTextColorName() const { return currentTextColor_; }
  const std::wstring& GetNormalTextColorName() const { return normalTextColor_; }
  const std::wstring& GetDisabledTextColorName() const { return disabledTextColor_; }
  const std::wstring& GetPromptColorName() const { return promptColor_; }
  Rect GetTextPadding() const { return textPadding_; }
  int32_t GetLineSpacing() const { return lineSpacing_; }
  CTxtWinHost* GetTextHost() const { return host_; }
  const TextServicesTimers& GetTextTimers() const { return textTimers_; }

  // TextHostOwner.
  uint32_t GetEditStyle() const override { return style_; }
  bool IsRichText() const override { return rich_; }
  int32_t GetTextLimit() const override { return textLimit_; }
  int32_t GetVerticalAlignment() const override { return textVerticalAlignment_; }
  bool BuildCharFormat(CHARFORMAT2W& format) override;
  HWND GetHostWindow() const override;
  HDC GetHostPaintDC() const override;
  bool IsHostWindowLayered() const override;
  void SetHostMouseCaptured(bool captured) override;
  Point GetHostScrollOffset() const override { return GetAncestorScrollOffset(); }
  TextHostScrollBar* GetTextScrollBar(int bar) override;
  void ReplaceAtOwnBounds() override;
  void SetCaretSize(int32_t width, int32_t height) override;
  void SetCaretPosition(int32_t x, int32_t y) override;
  void StartTextTimer(UINT id, UINT milliseconds) override;
  void StopTextTimer(UINT id) override;
  void RequestTextFocus() override { RequestFocus(); }

 private:
  class BarAdapter;

  // The bounds less the layout padding, less the room of bars that have a range.
  Rect ContentRect() const;
  void ActivateInPlace();
  void RaiseEditEvent(EventType type);
  int32_t TextLength();
  static bool IsTrue(const std::wstring& value) { return value == L"true"; }
  static bool IsFalse(const std::wstring& value) { return value == L"false"; }
  static void CollapseBar(ScrollBar* bar);

  CTxtWinHost* host_ = nullptr;
  bool wantTab_ = true;
  bool wantReturnEvent_ = false;
  bool returnNeedsCtrl_ = false;
  bool rich_ = false;
  bool readOnly_ = false;
  bool password_ = false;
  bool digitsOnly_ = false;
  bool initialized_ = false;
  bool caretShown_ = false;
  bool composing_ = false;
  int32_t caretX_ = 0;
  int32_t caretY_ = 0;
  int32_t caretWidth_ = 0;
  int32_t caretHeight_ = 0;
  std::wstring fontId_;
  int32_t textLimit_ = 32767;
  uint32_t style_ = ES_MULTILINE;
  int32_t textVerticalAlignment_ = 0;
  std::wstring currentTextColor_;
  std::wstring normalTextColor_;
  std::wstring disabledTextColor_;
  std::wstring promptColor_;
  std::wstring caretColor_;
  std::wstring text_;
  std::wstring promptText_;
  std::wstring promptTextId_;
  base::WeakCallbackFlag caretBlinkFlag_;
  int32_t lineSpacing_ = -1;
  Rect textPadding_;
  TextServicesTimers textTimers_;
  ControlImage focusedImage_;
  std::unique_ptr<BarAdapter> verticalAdapter_;
  std::unique_ptr<BarAdapter> horizontalAdapter_;
};

}  // namespace ui
