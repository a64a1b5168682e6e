#pragma once

// The host through which the platform's windowless rich-edit text services ("msftedit.dll") see
// the edit control that owns them: it answers their questions from the owner's settings and
// carries out their requests (caret, timers, capture, cursor, invalidation, scroll bars) on the
// owner, its scroll bars and its window.

#include <windows.h>
#include <richedit.h>
#include <textserv.h>

#include <cstdint>

#include "ui/core/geometry.h"

namespace ui {

// The password character answered while ES_PASSWORD is set: a bullet.
constexpr wchar_t kPasswordBullet = 0x25CF;

// Flag bits of the host.
enum TextHostFlag : uint32_t {
  kTextHostAutoWordSelect = 1u << 0,
  kTextHostWordWrap = 1u << 1,
  kTextHostAllowBeep = 1u << 2,
  kTextHostRichText = 1u << 3,
  kTextHostSaveSelection = 1u << 4,
  kTextHostInPlaceActive = 1u << 5,
  kTextHostTransparent = 1u << 6,
  kTextHostTimerRunning = 1u << 7,
  kTextHostMouseCaptured = 1u << 8,
};

// The style bit an edit sets for digits only and together with a scroll bar; the text services
// read it as ES_DISABLENOSCROLL.
constexpr uint32_t kEditStyleNumberOrNoScroll = 0x2000;

// One of the owner's scroll bars as the text services drive it.
class TextHostScrollBar {
 public:
  virtual ~TextHostScrollBar() = default;
  virtual int32_t GetScrollRange() const = 0;
  virtual void SetScrollRange(int32_t range) = 0;
  virtual int32_t GetScrollPos() const = 0;
  virtual void SetScrollPos(int32_t position) = 0;
  virtual void SetVisible(bool visible) = 0;
  // Lays the bar out again at its own bounds.
  virtual void ReplaceAtOwnBounds() = 0;
};

// What the host needs of the edit control that owns it.
class TextHostOwner {
 public:
  virtual ~TextHostOwner() = default;

  // Settings.
  virtual uint32_t GetEditStyle() const = 0;
  virtual bool IsRichText() const = 0;
  virtual int32_t GetTextLimit() const = 0;
  // 0 top, 1 centre, 2 bottom.
  virtual int32_t GetVerticalAlignment() const = 0;
  // The default character format from the owner's font and text colour; false when it can't
  // be built.
  virtual bool BuildCharFormat(CHARFORMAT2W& format) = 0;

  // The owner's window.
  virtual HWND GetHostWindow() const = 0;
  virtual HDC GetHostPaintDC() const = 0;
  virtual bool IsHostWindowLayered() const = 0;
  virtual void SetHostMouseCaptured(bool captured) = 0;
  virtual Point GetHostScrollOffset() const = 0;

  // SB_VERT or SB_HORZ; null when the owner has no such bar.
  virtual TextHostScrollBar* GetTextScrollBar(int bar) = 0;
  // Lays the owner out again at its own bounds (which places its bars and its text area).
  virtual void ReplaceAtOwnBounds() = 0;

  // Requests of the text services.
  virtual void SetCaretSize(int32_t width, int32_t height) = 0;
  // Stores the caret position and turns the caret on when the selection is empty.
  virtual void SetCaretPosition(int32_t x, int32_t y) = 0;
  virtual void StartTextTimer(UINT id, UINT milliseconds) = 0;
  virtual void StopTextTimer(UINT id) = 0;
  virtual void RequestTextFocus() = 0;
  virtual void HandleTextNotify(DWORD code, void* data) = 0;
};

class CTxtWinHost : public ITextHost {
 public:
  CTxtWinHost();

  // Fills the formats and creates the text services; `create` carries the style and the
  // initial text (null: neither). False when the library, its export, the interface or the
  // initial text fails; the caller then releases the host.
  bool CreateServices(TextHostOwner* owner, const CREATESTRUCTW* create);
  // The area of the text in window coordinates.
  void SetClientArea(const Rect& rect);
  const Rect& GetClientArea() const { return clientRect_; }
  void ApplyFont(HFONT font);
  // The rectangle the text is drawn in: the client rectangle shifted for vertical alignment.
  void ComputeTextRect(Rect& rect);

  ITextServices* GetTextServices() const { return textServices_; }
  uint32_t GetFlags() const { return flags_; }
  void SetFlags(uint32_t flags) { flags_ = flags; }
  uint32_t GetStyle() const { return style_; }
  void SetStyle(uint32_t style) { style_ = style; }
  void SetMaxLength(int32_t length) { maxLength_ = length; }
  SIZEL GetExtentValue() const { return extent_; }
  const CHARFORMAT2W& GetCharFormat() const { return charFormat_; }
  void SetCharFormatColor(COLORREF color) { charFormat_.crTextColor = color; }
  PARAFORMAT2& ParaFormat() { return paraFormat_; }
  LONG GetRefCount() const { return refCount_; }

  // Fills height, effects, character set, pitch and face from a font for a DC's resolution.
  static bool FillFontFormat(HFONT font, HDC dc, CHARFORMAT2W& format);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ITextHost
  HDC TxGetDC() override;
  INT TxReleaseDC(HDC dc) override;
  WINBOOL TxShowScrollBar(INT bar, WINBOOL show) override;
  WINBOOL TxEnableScrollBar(INT which, INT arrows) override;
  WINBOOL TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL redraw) override;
  WINBOOL TxSetScrollPos(INT bar, INT position, WINBOOL redraw) override;
  void TxInvalidateRect(LPCRECT rect, WINBOOL mode) override;
  void TxViewChange(WINBOOL update) override;
  WINBOOL TxCreateCaret(HBITMAP bitmap, INT width, INT height) override;
  WINBOOL TxShowCaret(WINBOOL show) override;
  WINBOOL TxSetCaretPos(INT x, INT y) override;
  WINBOOL TxSetTimer(UINT id, UINT timeout) override;
  void TxKillTimer(UINT id) override;
  void TxScrollWindowEx(INT dx, INT dy, LPCRECT scroll, LPCRECT clip, HRGN update, LPRECT updateRect,
                        UINT flags) override;
  void TxSetCapture(WINBOOL capture) override;
  void TxSetFocus() override;
  void TxSetCursor(HCURSOR cursor, WINBOOL text) override;
  WINBOOL TxScreenToClient(LPPOINT point) override;
  WINBOOL TxClientToScreen(LPPOINT point) override;
  HRESULT TxActivate(LONG* oldState) override;
  HRESULT TxDeactivate(LONG newState) override;
  HRESULT TxGetClientRect(LPRECT rect) override;
  HRESULT TxGetViewInset(LPRECT rect) override;
  HRESULT TxGetCharFormat(const CHARFORMATW** format) override;
  HRESULT TxGetParaFormat(const PARAFORMAT** format) override;
  COLORREF TxGetSysColor(int index) override;
  HRESULT TxGetBackStyle(TXTBACKSTYLE* style) override;
  HRESULT TxGetMaxLength(DWORD* length) override;
  HRESULT TxGetScrollBars(DWORD* scrollBars) override;
  HRESULT TxGetPasswordChar(TCHAR* character) override;
  HRESULT TxGetAcceleratorPos(LONG* position) override;
  HRESULT TxGetExtent(LPSIZEL extent) override;
  HRESULT OnTxCharFormatChange(const CHARFORMATW* format) override;
  HRESULT OnTxParaFormatChange(const PARAFORMAT* format) override;
  HRESULT TxGetPropertyBits(DWORD mask, DWORD* bits) override;
  HRESULT TxNotify(DWORD code, void* data) override;
  HIMC TxImmGetContext() override;
  void TxImmReleaseContext(HIMC context) override;
  HRESULT TxGetSelectionBarWidth(LONG* width) override;

  virtual ~CTxtWinHost();

 private:
  CTxtWinHost(const CTxtWinHost&) = delete;
  CTxtWinHost& operator=(const CTxtWinHost&) = delete;

  int32_t DpiY() const;
  int32_t DpiX() const;
  // Range 0, position 0 when positive, hidden and re-placed, for a bar whose range is not 0.
  static void CollapseBar(TextHostScrollBar* bar);

  TextHostOwner* owner_ = nullptr;
  LONG refCount_ = 1;
  ITextServices* textServices_ = nullptr;
  uint32_t style_ = ES_MULTILINE;
  uint32_t flags_ = 0;
  int32_t selectionBarWidth_ = 0;
  int32_t maxLength_ = 32767;
  Rect clientRect_;
  SIZEL extent_ = {0, 0};
  CHARFORMAT2W charFormat_ = {};
  PARAFORMAT2 paraFormat_ = {};
  int32_t acceleratorPos_ = -1;
};

}  // namespace ui
