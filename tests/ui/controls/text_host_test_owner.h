#pragma once

// A small owner for the rich-edit text host: a real window for the DC and the invalidations,
// two recorded scroll bars and a layout that narrows the text area by a visible vertical bar.

#include <windows.h>
#include <richedit.h>
#include <textserv.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/controls/text_host.h"

namespace controls_test {

using ui::CTxtWinHost;
using ui::Rect;

constexpr int kBarWidth = 16;

class RecordedBar : public ui::TextHostScrollBar {
 public:
  int32_t GetScrollRange() const override { return range; }
  void SetScrollRange(int32_t value) override {
    range = value;
    if (range > 0) visible = true;
  }
  int32_t GetScrollPos() const override { return position; }
  void SetScrollPos(int32_t value) override { position = value; }
  void SetVisible(bool value) override { visible = value; }
  void ReplaceAtOwnBounds() override { ++replaced; }

  int32_t range = 0;
  int32_t position = 0;
  bool visible = false;
  int replaced = 0;
};

class TestOwner : public ui::TextHostOwner {
 public:
  TestOwner() {
    window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    dc = GetDC(window);
    font = CreateFontW(-16, 0, 0, 0, FW_BOLD, TRUE, FALSE, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  }
  ~TestOwner() override {
    ReleaseDC(window, dc);
    DestroyWindow(window);
    DeleteObject(font);
  }

  uint32_t GetEditStyle() const override { return style; }
  bool IsRichText() const override { return false; }
  int32_t GetTextLimit() const override { return 32767; }
  int32_t GetVerticalAlignment() const override { return alignment; }
  bool BuildCharFormat(CHARFORMAT2W& format) override {
    format.dwMask = 0xF8000007;
    format.crTextColor = RGB(0x11, 0x22, 0x33);
    return CTxtWinHost::FillFontFormat(font, dc, format);
  }
  HWND GetHostWindow() const override { return window; }
  HDC GetHostPaintDC() const override { return dc; }
  bool IsHostWindowLayered() const override { return false; }
  void SetHostMouseCaptured(bool captured) override { mouseCaptured = captured; }
  ui::Point GetHostScrollOffset() const override { return ui::Point{}; }
  ui::TextHostScrollBar* GetTextScrollBar(int bar) override {
    if (bar == SB_VERT) return hasVertical ? &vertical : nullptr;
    return hasHorizontal ? &horizontal : nullptr;
  }
  void ReplaceAtOwnBounds() override {
    ++ownerReplaced;
    Rect area = bounds;
    if (vertical.visible) area.right -= kBarWidth;
    if (host) host->SetClientArea(area);
  }
  void SetCaretSize(int32_t width, int32_t height) override {
    caretWidth = width;
    caretHeight = height;
  }
  void SetCaretPosition(int32_t x, int32_t y) override {
    caretX = x;
    caretY = y;
  }
  void StartTextTimer(UINT id, UINT ms) override { timers.push_back({id, ms}); }
  void StopTextTimer(UINT id) override { killed.push_back(id); }
  void RequestTextFocus() override { ++focusRequests; }
  void HandleTextNotify(DWORD code, void*) override { notifications.push_back(code); }

  // Creates the host over `bounds` with a style and an optional initial text.
  bool Create(uint32_t editStyle, const wchar_t* text) {
    style = editStyle;
    host = new CTxtWinHost();
    CREATESTRUCTW create = {};
    create.style = static_cast<LONG>(editStyle);
    create.lpszName = text;
    if (!host->CreateServices(this, &create)) return false;
    host->SetClientArea(bounds);
    ITextServices* services = host->GetTextServices();
    LRESULT result = 0;
    services->TxSendMessage(EM_SETEVENTMASK, 0, ENM_CHANGE, &result);
    return SUCCEEDED(services->OnTxInPlaceActivate(nullptr));
  }

  std::wstring Text() {
    BSTR text = nullptr;
    std::wstring out;
    if (SUCCEEDED(host->GetTextServices()->TxGetText(&text)) && text) out = text;
    SysFreeString(text);
    return out;
  }

  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    host->GetTextServices()->TxSendMessage(message, wParam, lParam, &result);
    return result;
  }

  // The text drawn by the services onto white, as 32-bit pixels of the client area.
  std::vector<uint32_t> Draw() {
    const int width = bounds.Width(), height = bounds.Height();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECTL target = {0, 0, width, height};
    host->GetTextServices()->TxDraw(DVASPECT_CONTENT, 0, nullptr, nullptr, memory, nullptr, &target, nullptr,
                                    nullptr, nullptr, 0, TXTVIEW_ACTIVE);
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + width * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
  }

  HWND window = nullptr;
  HDC dc = nullptr;
  HFONT font = nullptr;
  uint32_t style = 0;
  int32_t alignment = 0;
  Rect bounds{10, 20, 210, 220};
  bool hasVertical = true;
  bool hasHorizontal = true;
  RecordedBar vertical;
  RecordedBar horizontal;
  int ownerReplaced = 0;
  bool mouseCaptured = false;
  int32_t caretWidth = 0, caretHeight = 0, caretX = -1, caretY = -1;
  std::vector<std::pair<UINT, UINT>> timers;
  std::vector<UINT> killed;
  int focusRequests = 0;
  std::vector<DWORD> notifications;
  CTxtWinHost* host = nullptr;
};

}  // namespace controls_test
