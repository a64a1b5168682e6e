#include "ui/controls/text_host.h"

#include <cstring>

namespace ui {
namespace {

// {00000000-0000-0000-C000-000000000046}
const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {C5BDD8D0-D26E-11CE-A89E-00AA006CADC5}
const IID kIidTextHost = {0xC5BDD8D0, 0xD26E, 0x11CE, {0xA8, 0x9E, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};
// {8D33F740-CF58-11CE-A89D-00AA006CADC5}
const IID kIidTextServices = {0x8D33F740, 0xCF58, 0x11CE, {0xA8, 0x9D, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};

constexpr DWORD kTextBitViewInsetChange = 0x2000;
constexpr DWORD kTextBitCharFormatChange = 0x20000;
constexpr DWORD kScrollBarStyles = WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | 0x2000;

int32_t DeviceDpi(HDC dc, int index) {
  const int value = dc ? GetDeviceCaps(dc, index) : 0;
  return value != 0 ? value : 96;
}

}  // namespace

CTxtWinHost::CTxtWinHost() {
  charFormat_.cbSize = sizeof(CHARFORMAT2W);
  paraFormat_.cbSize = sizeof(PARAFORMAT2);
}

CTxtWinHost::~CTxtWinHost() {
  if (textServices_) {
    textServices_->OnTxInPlaceDeactivate();
    textServices_->Release();
  }
}

int32_t CTxtWinHost::DpiX() const { return DeviceDpi(owner_ ? owner_->GetHostPaintDC() : nullptr, LOGPIXELSX); }
int32_t CTxtWinHost::DpiY() const { return DeviceDpi(owner_ ? owner_->GetHostPaintDC() : nullptr, LOGPIXELSY); }

bool CTxtWinHost::FillFontFormat(HFONT font, HDC dc, CHARFORMAT2W& format) {
  LOGFONTW logFont = {};
  if (!font || GetObjectW(font, sizeof(logFont), &logFont) == 0) return false;
  format.yHeight = logFont.lfHeight * -1440 / DeviceDpi(dc, LOGPIXELSY);
  format.dwEffects = 0;
  if (logFont.lfWeight >= FW_BOLD) format.dwEffects |= CFE_BOLD;
  if (logFont.lfItalic) format.dwEffects |= CFE_ITALIC;
  if (logFont.lfUnderline) format.dwEffects |= CFE_UNDERLINE;
  format.bCharSet = logFont.lfCharSet;
  format.bPitchAndFamily = logFont.lfPitchAndFamily;
  static_assert(sizeof(format.szFaceName) == sizeof(logFont.lfFaceName), "face buffers differ");
  std::memcpy(format.szFaceName, logFont.lfFaceName, sizeof(format.szFaceName));
  return true;
}

bool CTxtWinHost::CreateServices(TextHostOwner* owner, const CREATESTRUCTW* create) {
  owner_ = owner;
  refCount_ = 1;
  std::memset(&charFormat_, 0, sizeof(charFormat_));
  charFormat_.cbSize = sizeof(CHARFORMAT2W);
  if (!owner_->BuildCharFormat(charFormat_)) return false;

  std::memset(&paraFormat_, 0, sizeof(paraFormat_));
  paraFormat_.cbSize = sizeof(PARAFORMAT2);
  paraFormat_.dwMask = PFM_ALL;
  paraFormat_.wAlignment = PFA_LEFT;
  paraFormat_.cTabCount = 1;
  paraFormat_.rgxTabs[0] = 720;

  style_ = ES_MULTILINE;
  if (owner_->IsRichText()) flags_ |= kTextHostRichText;
  maxLength_ = owner_->GetTextLimit();

  if (create) {
    style_ = static_cast<uint32_t>(create->style);
    if ((style_ & (WS_HSCROLL | ES_AUTOHSCROLL)) == 0) flags_ |= kTextHostWordWrap;
    if (style_ & ES_CENTER) {
      paraFormat_.wAlignment = PFA_CENTER;
    } else if (style_ & ES_RIGHT) {
      paraFormat_.wAlignment = PFA_RIGHT;
    }
  }
  flags_ |= kTextHostInPlaceActive;

  // Loaded once and never unloaded: the text services live as long as any edit.
  HMODULE library = LoadLibraryW(L"msftedit.dll");
  if (!library) return false;
  auto create_services = reinterpret_cast<PCreateTextServices>(GetProcAddress(library, "CreateTextServices"));
  if (!create_services) return false;
  IUnknown* unknown = nullptr;
  if (FAILED(create_services(nullptr, this, &unknown)) || !unknown) return false;
  void* services = nullptr;
  const HRESULT asked = unknown->QueryInterface(kIidTextServices, &services);
  unknown->Release();
  if (FAILED(asked) || !services) return false;
  textServices_ = static_cast<ITextServices*>(services);

  if (create && create->lpszName) {
    if (FAILED(textServices_->TxSetText(create->lpszName))) return false;
  }
  return true;
}

void CTxtWinHost::SetClientArea(const Rect& rect) {
  clientRect_ = rect;
  extent_.cx = MulDiv(rect.Width(), 2540, DpiX());
  extent_.cy = MulDiv(rect.Height(), 2540, DpiY());
  if (textServices_) textServices_->OnTxPropertyBitsChange(kTextBitViewInsetChange, kTextBitViewInsetChange);
}

void CTxtWinHost::ApplyFont(HFONT font) {
  if (!font) return;
  if (!FillFontFormat(font, owner_ ? owner_->GetHostPaintDC() : nullptr, charFormat_)) return;
  if (textServices_) textServices_->OnTxPropertyBitsChange(kTextBitCharFormatChange, kTextBitCharFormatChange);
}

void CTxtWinHost::ComputeTextRect(Rect& rect) {
  rect = clientRect_;
  const int32_t alignment = owner_ ? owner_->GetVerticalAlignment() : 0;
  if (alignment == 0 || !textServices_) return;
  const SIZEL unbounded = {-1, -1};
  LONG width = clientRect_.Width();
  LONG height = 0;
  if (FAILED(textServices_->TxGetNaturalSize(DVASPECT_CONTENT, owner_->GetHostPaintDC(), nullptr, nullptr,
                                             TXTNS_FITTOCONTENT, &unbounded, &width, &height))) {
    return;
  }
  const int32_t spare = clientRect_.Height() - height;
  const int32_t shift = alignment == 1 ? spare / 2 : spare;
  rect.top += shift;
  rect.bottom += shift;
}

HRESULT CTxtWinHost::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, kIidUnknown) || IsEqualIID(iid, kIidTextHost)) {
    AddRef();
    *object = static_cast<ITextHost*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CTxtWinHost::AddRef() { return static_cast<ULONG>(++refCount_); }

ULONG CTxtWinHost::Release() {
  const LONG count = --refCount_;
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HDC CTxtWinHost::TxGetDC() { return owner_ ? owner_->GetHostPaintDC() : nullptr; }

INT CTxtWinHost::TxReleaseDC(HDC) { return 1; }

WINBOOL CTxtWinHost::TxShowScrollBar(INT, WINBOOL) { return TRUE; }

void CTxtWinHost::CollapseBar(TextHostScrollBar* bar) {
  if (bar->GetScrollRange() == 0) return;
  bar->SetScrollRange(0);
  if (bar->GetScrollPos() > 0) bar->SetScrollPos(0);
  bar->SetVisible(false);
  bar->ReplaceAtOwnBounds();
}

WINBOOL CTxtWinHost::TxEnableScrollBar(INT which, INT arrows) {
  if (!owner_ || arrows != ESB_DISABLE_BOTH) return TRUE;
  TextHostScrollBar* vertical = owner_->GetTextScrollBar(SB_VERT);
  TextHostScrollBar* horizontal = owner_->GetTextScrollBar(SB_HORZ);
  if ((which == SB_VERT || which == SB_BOTH) && vertical) CollapseBar(vertical);
  if ((which == SB_HORZ || which == SB_BOTH) && horizontal) CollapseBar(horizontal);
  owner_->ReplaceAtOwnBounds();
  return TRUE;
}

WINBOOL CTxtWinHost::TxSetScrollRange(INT bar, LONG minPos, INT maxPos, WINBOOL) {
  if (!owner_ || (bar != SB_VERT && bar != SB_HORZ)) return TRUE;
  TextHostScrollBar* scrollBar = owner_->GetTextScrollBar(bar);
  if (!scrollBar) return TRUE;
  const int32_t client = bar == SB_VERT ? clientRect_.Height() : clientRect_.Width();
  const int32_t needed = static_cast<int32_t>(maxPos - minPos) - client;
  if (needed <= 0) {
    CollapseBar(scrollBar);
    return TRUE;
  }
  const bool wasEmpty = scrollBar->GetScrollRange() == 0;
  scrollBar->SetScrollRange(needed);
  // The bar has just appeared: the text area makes room for it.
  if (wasEmpty) owner_->ReplaceAtOwnBounds();
  return TRUE;
}

WINBOOL CTxtWinHost::TxSetScrollPos(INT bar, INT position, WINBOOL) {
  if (!owner_ || (bar != SB_VERT && bar != SB_HORZ)) return TRUE;
  TextHostScrollBar* scrollBar = owner_->GetTextScrollBar(bar);
  if (!scrollBar || scrollBar->GetScrollPos() == position) return TRUE;
  int32_t clamped = position < 0 ? 0 : position;
  if (clamped > scrollBar->GetScrollRange()) clamped = scrollBar->GetScrollRange();
  scrollBar->SetScrollPos(clamped);
  scrollBar->ReplaceAtOwnBounds();
  return TRUE;
}

void CTxtWinHost::TxInvalidateRect(LPCRECT rect, WINBOOL) {
  if (!owner_) return;
  HWND window = owner_->GetHostWindow();
  if (!window) return;
  RECT area = rect ? *rect : RECT{clientRect_.left, clientRect_.top, clientRect_.right, clientRect_.bottom};
  const Point offset = owner_->GetHostScrollOffset();
  OffsetRect(&area, -offset.x, -offset.y);
  InvalidateRect(window, &area, FALSE);
  // A layered window paints only when asked.
  if (owner_->IsHostWindowLayered()) PostMessageW(window, WM_PAINT, 0, 0);
}

void CTxtWinHost::TxViewChange(WINBOOL) {}

WINBOOL CTxtWinHost::TxCreateCaret(HBITMAP, INT width, INT height) {
  if (owner_) owner_->SetCaretSize(width, height);
  return TRUE;
}

WINBOOL CTxtWinHost::TxShowCaret(WINBOOL) { return TRUE; }

WINBOOL CTxtWinHost::TxSetCaretPos(INT x, INT y) {
  if (owner_) owner_->SetCaretPosition(x, y);
  return TRUE;
}

WINBOOL CTxtWinHost::TxSetTimer(UINT id, UINT timeout) {
  flags_ |= kTextHostTimerRunning;
  if (owner_) owner_->StartTextTimer(id, timeout);
  return TRUE;
}

void CTxtWinHost::TxKillTimer(UINT id) {
  if (owner_) owner_->StopTextTimer(id);
  flags_ &= ~kTextHostTimerRunning;
}

void CTxtWinHost::TxScrollWindowEx(INT, INT, LPCRECT, LPCRECT, HRGN, LPRECT, UINT) {}

void CTxtWinHost::TxSetCapture(WINBOOL capture) {
  HWND window = owner_ ? owner_->GetHostWindow() : nullptr;
  if (capture) {
    if (window) SetCapture(window);
    if (owner_) owner_->SetHostMouseCaptured(true);
    flags_ |= kTextHostMouseCaptured;
  } else {
    ReleaseCapture();
    if (owner_) owner_->SetHostMouseCaptured(false);
    flags_ &= ~kTextHostMouseCaptured;
  }
}

void CTxtWinHost::TxSetFocus() {
  if (owner_) owner_->RequestTextFocus();
}

void CTxtWinHost::TxSetCursor(HCURSOR cursor, WINBOOL) { SetCursor(cursor); }

WINBOOL CTxtWinHost::TxScreenToClient(LPPOINT point) {
  return owner_ ? ScreenToClient(owner_->GetHostWindow(), point) : FALSE;
}

WINBOOL CTxtWinHost::TxClientToScreen(LPPOINT point) {
  return owner_ ? ClientToScreen(owner_->GetHostWindow(), point) : FALSE;
}

HRESULT CTxtWinHost::TxActivate(LONG*) { return S_OK; }

HRESULT CTxtWinHost::TxDeactivate(LONG) { return S_OK; }

HRESULT CTxtWinHost::TxGetClientRect(LPRECT rect) {
  Rect text = clientRect_;
  ComputeTextRect(text);
  *rect = RECT{text.left, text.top, text.right, text.bottom};
  return S_OK;
}

HRESULT CTxtWinHost::TxGetViewInset(LPRECT rect) {
  *rect = RECT{0, 0, 0, 0};
  return S_OK;
}

HRESULT CTxtWinHost::TxGetCharFormat(const CHARFORMATW** format) {
  *format = reinterpret_cast<const CHARFORMATW*>(&charFormat_);
  return S_OK;
}

HRESULT CTxtWinHost::TxGetParaFormat(const PARAFORMAT** format) {
  *format = reinterpret_cast<const PARAFORMAT*>(&paraFormat_);
  return S_OK;
}

COLORREF CTxtWinHost::TxGetSysColor(int index) { return GetSysColor(index); }

HRESULT CTxtWinHost::TxGetBackStyle(TXTBACKSTYLE* style) {
  *style = (flags_ & kTextHostTransparent) ? TXTBACK_TRANSPARENT : TXTBACK_OPAQUE;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetMaxLength(DWORD* length) {
  *length = static_cast<DWORD>(maxLength_);
  return S_OK;
}

HRESULT CTxtWinHost::TxGetScrollBars(DWORD* scrollBars) {
  *scrollBars = style_ & kScrollBarStyles;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetPasswordChar(TCHAR* character) {
  // Character 0 would make the text services show a password in clear.
  *character = (style_ & ES_PASSWORD) ? kPasswordBullet : 0;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetAcceleratorPos(LONG* position) {
  *position = acceleratorPos_;
  return S_OK;
}

HRESULT CTxtWinHost::TxGetExtent(LPSIZEL extent) {
  *extent = extent_;
  return S_OK;
}

HRESULT CTxtWinHost::OnTxCharFormatChange(const CHARFORMATW*) { return S_OK; }

HRESULT CTxtWinHost::OnTxParaFormatChange(const PARAFORMAT*) { return S_OK; }

HRESULT CTxtWinHost::TxGetPropertyBits(DWORD mask, DWORD* bits) {
  DWORD value = 0;
  if (flags_ & kTextHostRichText) value |= TXTBIT_RICHTEXT;
  if (style_ & ES_MULTILINE) value |= TXTBIT_MULTILINE;
  if (style_ & ES_READONLY) value |= TXTBIT_READONLY;
  if (style_ & ES_PASSWORD) value |= TXTBIT_USEPASSWORD;
  if (!(style_ & ES_NOHIDESEL)) value |= TXTBIT_HIDESELECTION;
  if (flags_ & kTextHostSaveSelection) value |= TXTBIT_SAVESELECTION;
  if (flags_ & kTextHostAutoWordSelect) value |= TXTBIT_AUTOWORDSEL;
  if (flags_ & kTextHostWordWrap) value |= TXTBIT_WORDWRAP;
  if (flags_ & kTextHostAllowBeep) value |= TXTBIT_ALLOWBEEP;
  *bits = mask & value;
  return S_OK;
}

HRESULT CTxtWinHost::TxNotify(DWORD code, void* data) {
  if (code == EN_REQUESTRESIZE && data) {
    const REQRESIZE* request = static_cast<const REQRESIZE*>(data);
    Rect text = clientRect_;
    ComputeTextRect(text);
    Rect area;
    area.left = text.left;
    area.top = text.top;
    area.right = text.left + request->rc.right;
    area.bottom = text.top + request->rc.bottom;
    SetClientArea(area);
  }
  if (owner_) owner_->HandleTextNotify(code, data);
  return S_OK;
}

HIMC CTxtWinHost::TxImmGetContext() { return nullptr; }

void CTxtWinHost::TxImmReleaseContext(HIMC) {}

HRESULT CTxtWinHost::TxGetSelectionBarWidth(LONG* width) {
  *width = selectionBarWidth_;
  return S_OK;
}

}  // namespace ui
