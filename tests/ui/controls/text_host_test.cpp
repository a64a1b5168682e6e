// The text host against Wine's own text services, through the small owner of
// text_host_test_owner.h.
#include <windows.h>
#include <richedit.h>
#include <textserv.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "text_host_test_owner.h"
#include "ui/controls/text_host.h"

namespace {

using controls_test::kBarWidth;
using controls_test::TestOwner;
using ui::CTxtWinHost;
using ui::Rect;

class TextHost : public ::testing::Test {
 protected:
  void TearDown() override {
    if (owner_.host) owner_.host->Release();
  }
  TestOwner owner_;
};

TEST_F(TextHost, HandsOutItselfOnlyAsUnknownAndTextHost) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE, nullptr));
  CTxtWinHost* host = owner_.host;
  const LONG before = host->GetRefCount();
  void* object = nullptr;
  ASSERT_EQ(host->QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(object, static_cast<ITextHost*>(host));
  host->Release();
  const IID textHost = {0xC5BDD8D0, 0xD26E, 0x11CE, {0xA8, 0x9E, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};
  ASSERT_EQ(host->QueryInterface(textHost, &object), S_OK);
  EXPECT_EQ(object, static_cast<ITextHost*>(host));
  host->Release();
  const IID textServices = {0x8D33F740, 0xCF58, 0x11CE, {0xA8, 0x9D, 0x00, 0xAA, 0x00, 0x6C, 0xAD, 0xC5}};
  object = host;
  EXPECT_EQ(host->QueryInterface(textServices, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(host->GetRefCount(), before);
}

TEST_F(TextHost, CreationFillsFormatsAndTheInitialText) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE | ES_CENTER, L"hello \x4E2D\x6587"));
  CTxtWinHost* host = owner_.host;
  EXPECT_EQ(owner_.Text(), L"hello \x4E2D\x6587");
  const CHARFORMAT2W& format = host->GetCharFormat();
  EXPECT_EQ(format.cbSize, 116u);
  EXPECT_EQ(format.yHeight, 16 * 1440 / GetDeviceCaps(owner_.dc, LOGPIXELSY));
  EXPECT_EQ(format.dwEffects, static_cast<DWORD>(CFE_BOLD | CFE_ITALIC));
  EXPECT_EQ(std::wstring(format.szFaceName), L"Tahoma");
  EXPECT_EQ(format.crTextColor, RGB(0x11, 0x22, 0x33));
  EXPECT_EQ(host->ParaFormat().cbSize, 188u);
  EXPECT_EQ(host->ParaFormat().wAlignment, PFA_CENTER);
  EXPECT_EQ(host->ParaFormat().rgxTabs[0], 720);

  // The extent is the client area in HIMETRIC; 200 pixels at 96 DPI is 5292.
  const int dpi = GetDeviceCaps(owner_.dc, LOGPIXELSX);
  SIZEL extent = {};
  host->TxGetExtent(&extent);
  EXPECT_EQ(extent.cx, MulDiv(200, 2540, dpi));

  // A new font keeps the colour.
  HFONT plain = CreateFontW(-24, 0, 0, 0, FW_NORMAL, FALSE, TRUE, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
  host->ApplyFont(plain);
  EXPECT_EQ(host->GetCharFormat().dwEffects, static_cast<DWORD>(CFE_UNDERLINE));
  EXPECT_EQ(std::wstring(host->GetCharFormat().szFaceName), L"Arial");
  EXPECT_EQ(host->GetCharFormat().crTextColor, RGB(0x11, 0x22, 0x33));
  host->ApplyFont(nullptr);
  EXPECT_EQ(std::wstring(host->GetCharFormat().szFaceName), L"Arial");
  DeleteObject(plain);
}

TEST_F(TextHost, AlignmentFromStyleRightUnlessCentred) {
  struct Case {
    uint32_t style;
    WORD alignment;
  } cases[] = {{0, PFA_LEFT}, {ES_RIGHT, PFA_RIGHT}, {ES_CENTER, PFA_CENTER}, {ES_CENTER | ES_RIGHT, PFA_CENTER}};
  for (const Case& c : cases) {
    TestOwner owner;
    ASSERT_TRUE(owner.Create(c.style, nullptr));
    EXPECT_EQ(owner.host->ParaFormat().wAlignment, c.alignment) << std::hex << c.style;
    owner.host->Release();
  }
}

TEST_F(TextHost, PropertyBitsFollowStyleAndFlags) {
  struct Case {
    uint32_t style;
    DWORD expected;
  } cases[] = {
      {0, TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP},
      {ES_MULTILINE, TXTBIT_MULTILINE | TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP},
      {ES_MULTILINE | WS_HSCROLL, TXTBIT_MULTILINE | TXTBIT_HIDESELECTION},
      {ES_AUTOHSCROLL, TXTBIT_HIDESELECTION},
      {ES_READONLY | ES_PASSWORD, TXTBIT_READONLY | TXTBIT_USEPASSWORD | TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP},
      {ES_NOHIDESEL, TXTBIT_WORDWRAP},
  };
  for (const Case& c : cases) {
    TestOwner owner;
    ASSERT_TRUE(owner.Create(c.style, nullptr));
    DWORD bits = 0;
    owner.host->TxGetPropertyBits(0xFFFFFFFF, &bits);
    EXPECT_EQ(bits, c.expected) << std::hex << c.style;
    owner.host->TxGetPropertyBits(TXTBIT_WORDWRAP, &bits);
    EXPECT_EQ(bits, c.expected & TXTBIT_WORDWRAP);
    DWORD bars = 0;
    owner.host->TxGetScrollBars(&bars);
    EXPECT_EQ(bars, c.style & 0x3020C0u);
    owner.host->Release();
  }
}

TEST_F(TextHost, PasswordEditAnswersABullet) {
  ASSERT_TRUE(owner_.Create(ES_PASSWORD, L"secret"));
  TCHAR character = 0;
  owner_.host->TxGetPasswordChar(&character);
  EXPECT_EQ(character, static_cast<TCHAR>(0x25CF));
  EXPECT_EQ(owner_.Text(), L"secret");
  // The text services draw bullets: the password edit looks like a plain edit holding six
  // bullets, not like one holding the text.
  TestOwner bullets;
  ASSERT_TRUE(bullets.Create(0, L"\x25CF\x25CF\x25CF\x25CF\x25CF\x25CF"));
  TestOwner clear;
  ASSERT_TRUE(clear.Create(0, L"secret"));
  const std::vector<uint32_t> drawn = owner_.Draw();
  EXPECT_EQ(drawn, bullets.Draw());
  EXPECT_NE(drawn, clear.Draw());
  bullets.host->Release();
  clear.host->Release();

  TestOwner plain;
  ASSERT_TRUE(plain.Create(0, nullptr));
  plain.host->TxGetPasswordChar(&character);
  EXPECT_EQ(character, 0);
  plain.host->Release();
}

TEST_F(TextHost, VerticalScrollRangeShowsTheBarOnceAndHidesIt) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE | WS_VSCROLL, nullptr));
  CTxtWinHost* host = owner_.host;
  ASSERT_EQ(host->GetClientArea().Height(), 200);
  EXPECT_TRUE(host->TxSetScrollRange(SB_VERT, 0, 300, TRUE));
  EXPECT_EQ(owner_.vertical.range, 100);
  EXPECT_EQ(owner_.ownerReplaced, 1);
  EXPECT_EQ(host->GetClientArea().Width(), 200 - kBarWidth);
  // The bar is there already: no second re-layout, the text area narrows once.
  host->TxSetScrollRange(SB_VERT, 0, 320, TRUE);
  EXPECT_EQ(owner_.vertical.range, 120);
  EXPECT_EQ(owner_.ownerReplaced, 1);
  EXPECT_EQ(host->GetClientArea().Width(), 200 - kBarWidth);

  EXPECT_TRUE(host->TxSetScrollPos(SB_VERT, 500, TRUE));
  EXPECT_EQ(owner_.vertical.position, 120);
  host->TxSetScrollPos(SB_VERT, -5, TRUE);
  EXPECT_EQ(owner_.vertical.position, 0);
  host->TxSetScrollPos(SB_VERT, 40, TRUE);

  host->TxSetScrollRange(SB_VERT, 0, 150, TRUE);
  EXPECT_EQ(owner_.vertical.range, 0);
  EXPECT_EQ(owner_.vertical.position, 0);
  EXPECT_FALSE(owner_.vertical.visible);
  EXPECT_GE(owner_.vertical.replaced, 1);
}

TEST_F(TextHost, ScrollPositionClampsToTheRange) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE | WS_VSCROLL | WS_HSCROLL, nullptr));
  CTxtWinHost* host = owner_.host;
  host->TxSetScrollRange(SB_VERT, 0, 300, TRUE);
  ASSERT_EQ(owner_.vertical.range, 100);
  struct Case {
    int asked;
    int stored;
  } cases[] = {{500, 100}, {-5, 0}, {37, 37}, {100, 100}};
  for (const Case& c : cases) {
    host->TxSetScrollPos(SB_VERT, c.asked, TRUE);
    EXPECT_EQ(owner_.vertical.position, c.stored) << c.asked;
  }
  // Horizontal: needed is against the client width.
  host->TxSetScrollRange(SB_HORZ, 0, 150, TRUE);
  EXPECT_EQ(owner_.horizontal.range, 0);
  host->TxSetScrollRange(SB_HORZ, 10, 500, TRUE);
  EXPECT_EQ(owner_.horizontal.range, 490 - host->GetClientArea().Width());
}

TEST_F(TextHost, DisablingBothArrowsCollapsesTheBars) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE | WS_VSCROLL | WS_HSCROLL, nullptr));
  CTxtWinHost* host = owner_.host;
  host->TxSetScrollRange(SB_VERT, 0, 400, TRUE);
  host->TxSetScrollRange(SB_HORZ, 0, 600, TRUE);
  host->TxSetScrollPos(SB_VERT, 50, TRUE);
  const int replaced = owner_.ownerReplaced;
  // Other arrow states change nothing but the owner's layout is not asked for either.
  host->TxEnableScrollBar(SB_BOTH, ESB_ENABLE_BOTH);
  EXPECT_GT(owner_.vertical.range, 0);
  EXPECT_EQ(owner_.ownerReplaced, replaced);
  host->TxEnableScrollBar(SB_BOTH, ESB_DISABLE_BOTH);
  EXPECT_EQ(owner_.vertical.range, 0);
  EXPECT_EQ(owner_.vertical.position, 0);
  EXPECT_FALSE(owner_.vertical.visible);
  EXPECT_EQ(owner_.horizontal.range, 0);
  EXPECT_EQ(owner_.ownerReplaced, replaced + 1);
}

TEST_F(TextHost, MissingBarsAreSkipped) {
  owner_.hasVertical = false;
  owner_.hasHorizontal = false;
  ASSERT_TRUE(owner_.Create(ES_MULTILINE, nullptr));
  EXPECT_TRUE(owner_.host->TxSetScrollRange(SB_VERT, 0, 900, TRUE));
  EXPECT_TRUE(owner_.host->TxSetScrollPos(SB_HORZ, 5, TRUE));
  EXPECT_TRUE(owner_.host->TxEnableScrollBar(SB_BOTH, ESB_DISABLE_BOTH));
  EXPECT_EQ(owner_.host->GetClientArea().Width(), 200);
}

TEST_F(TextHost, TheTextServicesDriveTheVerticalBarAsLinesComeAndGo) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | 0x2000, nullptr));
  std::wstring lines;
  for (int i = 0; i < 30; ++i) lines += L"line " + std::to_wstring(i) + L"\r";
  owner_.Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.c_str()));
  EXPECT_GT(owner_.vertical.range, 0);
  EXPECT_TRUE(owner_.vertical.visible);
  owner_.Send(EM_SETSEL, 0, -1);
  owner_.Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  EXPECT_EQ(owner_.vertical.range, 0);
  EXPECT_FALSE(owner_.vertical.visible);
}

TEST_F(TextHost, VerticalAlignmentShiftsByTheSpareHeight) {
  for (int lines : {1, 20}) {
    std::wstring text = L"x";
    for (int i = 1; i < lines; ++i) text += L"\rx";
    int32_t shifts[3] = {};
    LONG natural = 0;
    for (int32_t alignment = 0; alignment < 3; ++alignment) {
      TestOwner owner;
      owner.alignment = alignment;
      owner.bounds = Rect{0, 50, 200, 150};
      ASSERT_TRUE(owner.Create(ES_MULTILINE, text.c_str()));
      Rect rect;
      owner.host->ComputeTextRect(rect);
      EXPECT_EQ(rect.Height(), 100);
      shifts[alignment] = rect.top - 50;
      RECT answered = {};
      owner.host->TxGetClientRect(&answered);
      EXPECT_EQ(answered.top, rect.top);
      const SIZEL unbounded = {-1, -1};
      LONG width = 200;
      owner.host->GetTextServices()->TxGetNaturalSize(DVASPECT_CONTENT, owner.dc, nullptr, nullptr,
                                                        TXTNS_FITTOCONTENT, &unbounded, &width, &natural);
      owner.host->Release();
    }
    EXPECT_EQ(shifts[0], 0);
    EXPECT_EQ(shifts[2], 100 - natural) << lines;
    EXPECT_EQ(shifts[1], (100 - natural) / 2) << lines;
    if (lines == 1) {
      EXPECT_GT(shifts[2], 0);
    } else {
      EXPECT_LT(shifts[2], 0) << "taller content moves up";
    }
  }
}

TEST_F(TextHost, ServicesRequestsReachTheOwner) {
  ASSERT_TRUE(owner_.Create(ES_MULTILINE, nullptr));
  CTxtWinHost* host = owner_.host;
  host->TxCreateCaret(nullptr, 2, 18);
  host->TxSetCaretPos(30, 40);
  EXPECT_EQ(owner_.caretWidth, 2);
  EXPECT_EQ(owner_.caretHeight, 18);
  EXPECT_EQ(owner_.caretX, 30);
  EXPECT_EQ(owner_.caretY, 40);

  host->TxSetTimer(7, 120);
  EXPECT_TRUE(host->GetFlags() & ui::kTextHostTimerRunning);
  host->TxKillTimer(7);
  EXPECT_FALSE(host->GetFlags() & ui::kTextHostTimerRunning);
  ASSERT_EQ(owner_.timers.size(), 1u);
  EXPECT_EQ(owner_.timers[0], std::make_pair(7u, 120u));
  EXPECT_EQ(owner_.killed, std::vector<UINT>{7});

  host->TxSetCapture(TRUE);
  EXPECT_TRUE(owner_.mouseCaptured);
  EXPECT_EQ(GetCapture(), owner_.window);
  EXPECT_TRUE(host->GetFlags() & ui::kTextHostMouseCaptured);
  host->TxSetCapture(FALSE);
  EXPECT_FALSE(owner_.mouseCaptured);
  EXPECT_EQ(GetCapture(), nullptr);

  host->TxSetFocus();
  EXPECT_EQ(owner_.focusRequests, 1);

  // A typed character changes the text: the services tell the host, the host the owner.
  owner_.notifications.clear();
  owner_.Send(WM_CHAR, L'a', 0);
  EXPECT_EQ(owner_.Text(), L"a");
  EXPECT_EQ(std::count(owner_.notifications.begin(), owner_.notifications.end(), static_cast<DWORD>(EN_CHANGE)), 1);

  // A resize request sets the client area from the text rectangle's corner.
  REQRESIZE request = {};
  request.rc = RECT{0, 0, 80, 30};
  host->TxNotify(EN_REQUESTRESIZE, &request);
  EXPECT_EQ(host->GetClientArea().left, 10);
  EXPECT_EQ(host->GetClientArea().top, 20);
  EXPECT_EQ(host->GetClientArea().Width(), 80);
  EXPECT_EQ(host->GetClientArea().Height(), 30);
  EXPECT_EQ(owner_.notifications.back(), static_cast<DWORD>(EN_REQUESTRESIZE));

  TXTBACKSTYLE back;
  host->TxGetBackStyle(&back);
  EXPECT_EQ(back, TXTBACK_OPAQUE);
  host->SetFlags(host->GetFlags() | ui::kTextHostTransparent);
  host->TxGetBackStyle(&back);
  EXPECT_EQ(back, TXTBACK_TRANSPARENT);
  LONG value = 0;
  host->TxGetAcceleratorPos(&value);
  EXPECT_EQ(value, -1);
  DWORD length = 0;
  host->TxGetMaxLength(&length);
  EXPECT_EQ(length, 32767u);
}

}  // namespace
