// The rich edit over Wine's own text services: settings from markup attributes, text in and
// out, and in a real window on the display real keys, characters, clicks and the wheel, the
// caret it draws itself, its events, the touch keyboard through its stand-in, and screenshots.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/animation/timer_manager.h"
#include "ui/controls/on_screen_keyboard.h"
#include "ui/controls/rich_edit.h"
#include "ui/controls/scroll_bar.h"
#include "ui/core/window_test_support.h"
#include "ui/markup/markup_builder.h"
#include "ui/resources/image_fixtures.h"

using namespace window_test;
using ui::Rect;
using ui::RichEdit;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 100, kTop = 100;
const Rect kEditBounds{20, 20, 380, 120};

void SetUpRuntime() {
  static bool done = false;
  if (done) return;
  done = true;
  ui::UiRuntime::RegisterFont(L"edit.font", L"Tahoma", 18, false, false, false, true);
  ui::UiRuntime::SetColor(ui::UiRuntime::GetDefaultTextColor(), 0xFF202020);
  ui::UiRuntime::SetColor(L"edit.normal", 0xFF102030);
  ui::UiRuntime::SetColor(L"edit.disabled", 0xFF808080);
  ui::UiRuntime::SetColor(L"edit.prompt", 0xFF20A040);
  ui::UiRuntime::SetColor(L"edit.caret", 0xFFE02020);
}

void Type(const std::wstring& keys) {
  for (wchar_t c : keys) {
    const SHORT scan = VkKeyScanW(c);
    const bool shift = (scan >> 8) & 1;
    if (shift) Key(VK_SHIFT, false);
    Key(static_cast<WORD>(scan & 0xFF), false);
    Key(static_cast<WORD>(scan & 0xFF), true);
    if (shift) Key(VK_SHIFT, true);
  }
}

void Chord(WORD modifier, WORD key) {
  Key(modifier, false);
  Key(key, false);
  Key(key, true);
  Key(modifier, true);
}

void Wheel(int delta) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_WHEEL;
  input.mi.mouseData = static_cast<DWORD>(delta);
  SendInput(1, &input, sizeof(input));
  PumpFor(60);
}

void PutClipboard(const std::wstring& text, bool withExtra) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  memcpy(GlobalLock(block), text.c_str(), bytes);
  GlobalUnlock(block);
  SetClipboardData(CF_UNICODETEXT, block);
  if (withExtra) {
    HGLOBAL extra = GlobalAlloc(GMEM_MOVEABLE, 5);
    memcpy(GlobalLock(extra), "kept", 5);
    GlobalUnlock(extra);
    SetClipboardData(RegisterClipboardFormatW(L"DoreveziEditFormat"), extra);
  }
  CloseClipboard();
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(block));
    GlobalUnlock(block);
  }
  CloseClipboard();
  return text;
}

// A window whose class takes double clicks, as the skin's windows do.
class EditWindow : public TestWindow {
 public:
  EditWindow() : TestWindow(L"DvRichEditTest") {}
  UINT RegisteredClassStyle() const override { return CS_DBLCLKS; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_NOTIFY) {
      notifyIds.push_back(wParam);
      // The link text lives only while the message is sent.
      notifyTexts.push_back(wParam == EN_LINK ? reinterpret_cast<const wchar_t*>(lParam) : L"");
    }
    return TestWindow::RouteMessage(message, wParam, lParam);
  }
  std::vector<WPARAM> notifyIds;
  std::vector<std::wstring> notifyTexts;
};

WindowPtr OpenEditWindow(const Rect& rect) {
  WindowPtr window(new EditWindow());
  HWND hwnd = window->CreateNativeWindow(nullptr, L"Rich edit test", WS_POPUP, WS_EX_TOPMOST, false, rect);
  EXPECT_NE(hwnd, nullptr);
  if (!hwnd) return window;
  window->ShowNativeWindow(true, true);
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
  return window;
}

// An edit on white: the background layer is the painting layer's, absent here.
class WhiteEdit : public RichEdit {
 public:
  void PaintBkColor(ui::IRenderContext* context) override { context->FillRectArgb(GetBounds(), 0xFFFFFFFF, 255); }
};

// ---- Settings, without a window --------------------------------------------------------------

TEST(RichEditSettings, MarkupAttributesSetStyleAlignmentAndFlags) {
  RichEdit edit;
  edit.ApplyAttribute(L"number", L"true");
  edit.ApplyAttribute(L"multiline", L"false");
  edit.ApplyAttribute(L"align", L"hcenter,vcenter");
  EXPECT_EQ(edit.GetStyle(), 0x2001u);
  EXPECT_EQ(edit.GetTextVerticalAlignment(), 1);
  EXPECT_TRUE(edit.IsDigitsOnly());

  struct Case {
    const wchar_t* name;
    const wchar_t* value;
    uint32_t set;    // bits expected set afterwards
    uint32_t clear;  // bits expected clear afterwards
  } cases[] = {
      {L"align", L"left,right", ES_RIGHT, ES_CENTER},
      {L"align", L"right,hcenter", ES_RIGHT, ES_CENTER},  // "right" is tested after "hcenter"
      {L"align", L"left", 0, ES_CENTER | ES_RIGHT},
      {L"multiline", L"yes", 0, ES_MULTILINE},             // neither true nor false: unchanged
      {L"multiline", L"true", ES_MULTILINE, 0},
      {L"readonly", L"true", ES_READONLY, 0},
      {L"password", L"true", ES_PASSWORD, 0},
      {L"password", L"maybe", ES_PASSWORD, 0},
      {L"autohscroll", L"true", ES_AUTOHSCROLL, 0},
      {L"autovscroll", L"true", ES_AUTOVSCROLL, 0},
      {L"vscrollbar", L"true", WS_VSCROLL | 0x2000, 0},
      {L"number", L"false", WS_VSCROLL, 0},
      {L"vscrollbar", L"false", 0, WS_VSCROLL | 0x2000},
  };
  for (const Case& c : cases) {
    edit.ApplyAttribute(c.name, c.value);
    EXPECT_EQ(edit.GetStyle() & c.set, c.set) << c.name << L"=" << c.value;
    EXPECT_EQ(edit.GetStyle() & c.clear, 0u) << c.name << L"=" << c.value;
  }
  EXPECT_EQ(edit.GetVerticalScrollBar(), nullptr);
  edit.ApplyAttribute(L"vscrollbar", L"true");
  EXPECT_NE(edit.GetVerticalScrollBar(), nullptr);

  // Tri-state words: anything but "true" means false.
  edit.ApplyAttribute(L"wanttab", L"TRUE");
  EXPECT_FALSE(edit.WantsTab());
  edit.ApplyAttribute(L"wantreturnmsg", L"true");
  EXPECT_TRUE(edit.WantsReturnEvent());
}

TEST(RichEditSettings, BuiltFromMarkup) {
  ui::MarkupBuilder builder;
  std::unique_ptr<ui::Control> built(builder.Build(
      L"<Window><RichEdit name=\"speed\" number=\"true\" multiline=\"false\" align=\"hcenter,vcenter\" "
      L"scrollbarpadding=\"5,5,5,5\" textpadding=\"4,2\" wanttab=\"false\"/></Window>",
      nullptr, nullptr, nullptr, nullptr));
  RichEdit* edit = dynamic_cast<RichEdit*>(built.get());
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->GetName(), L"speed");
  EXPECT_EQ(edit->GetStyle(), 0x2001u);
  EXPECT_EQ(edit->GetTextVerticalAlignment(), 1);
  EXPECT_TRUE(edit->IsDigitsOnly());
  EXPECT_FALSE(edit->WantsTab());
  EXPECT_EQ(edit->GetScrollBarPadding().left, 0);
  EXPECT_EQ(edit->GetTextPadding().left, 4);
  EXPECT_EQ(edit->GetTextPadding().top, 2);
}

TEST(RichEditSettings, ScrollableBoxAttributesAreIgnoredAndPaddingNeverOverruns) {
  RichEdit edit;
  const Rect before = edit.GetScrollBarPadding();
  const int32_t unit = edit.GetVerticalScrollUnit();
  edit.ApplyAttribute(L"scrollbarpadding", L"5,5,5,5");
  edit.ApplyAttribute(L"vscrollunit", L"77");
  edit.ApplyAttribute(L"holdend", L"true");
  EXPECT_EQ(edit.GetScrollBarPadding().left, before.left);
  EXPECT_EQ(edit.GetVerticalScrollUnit(), unit);
  EXPECT_FALSE(edit.IsHoldEnd());

  struct Case {
    const wchar_t* value;
    Rect expected;
  } cases[] = {
      {L"4,3,2,1", Rect{4, 3, 2, 1}},
      {L"4,2", Rect{4, 2, 0, 0}},
      {L"7", Rect{7, 0, 0, 0}},
      {L"", Rect{0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    edit.ApplyAttribute(L"textpadding", c.value);
    const Rect padding = edit.GetTextPadding();
    EXPECT_EQ(padding.left, c.expected.left) << c.value;
    EXPECT_EQ(padding.top, c.expected.top) << c.value;
    EXPECT_EQ(padding.right, c.expected.right) << c.value;
    EXPECT_EQ(padding.bottom, c.expected.bottom) << c.value;
  }
}

TEST(RichEditSettings, WithoutTextServicesEverythingIsQuiet) {
  RichEdit edit;
  LRESULT result = 7;
  EXPECT_EQ(edit.SendToTextServices(WM_CHAR, 'a', 0, &result), S_FALSE);
  EXPECT_EQ(edit.GetTextUtf8(), "");
  EXPECT_EQ(edit.GetSelectedText(), L"");
  // Auto size without text services: the layout padding alone.
  edit.SetDeclaredWidth(ui::kSizeAuto, false, false);
  edit.GetLayout()->SetPadding(Rect{3, 0, 5, 0}, false);
  EXPECT_EQ(edit.Measure(ui::Size{100, 100}).cx, 8);
}

// ---- In a real window ------------------------------------------------------------------------

class RichEditWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUpRuntime();
    window = OpenEditWindow(Rect{kLeft, kTop, kLeft + 400, kTop + 300});
    edit = new RichEdit();
    edit->SetName(L"edit");
    edit->ApplyAttribute(L"font", L"edit.font");
  }

  // Attaches the edit (initialising it) in a root of its own, the only tab stop.
  void Attach(const Rect& bounds = kEditBounds) {
    window->AttachRoot(RootWith(Rect{}, {{edit, bounds}}));
    PumpUntilPainted(*window);
    edit->AddEventHandler(ui::kEventTextChange, [this](ui::EventArgs*) {
      ++changes;
      return true;
    });
    edit->AddEventHandler(ui::kEventReturn, [this](ui::EventArgs*) {
      ++returns;
      return true;
    });
    edit->AddEventHandler(ui::kEventTab, [this](ui::EventArgs*) {
      ++tabs;
      return true;
    });
  }

  void ClickEdit(int x = 60, int y = 40) {
    MoveMouseTo(kLeft + x, kTop + y);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
    PumpFor(100);
  }

  void TearDown() override {
    MouseButton(MOUSEEVENTF_LEFTUP);
    window.reset();
    PumpFor(50);
  }

  // Waits for the text: real input may arrive late on a loaded machine.
  ::testing::AssertionResult TextBecomes(const std::wstring& expected) {
    if (PumpUntil([&] { return edit->GetText() == expected; }, 3000)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "text is \"" << ::testing::PrintToString(edit->GetText()) << "\"";
  }

  RECT ScreenRectOf(const Rect& r) const {
    return RECT{kLeft + r.left, kTop + r.top, kLeft + r.right, kTop + r.bottom};
  }

  WindowPtr window;
  RichEdit* edit = nullptr;
  int changes = 0, returns = 0, tabs = 0;
};

TEST_F(RichEditWindow, TextBeforeInitialisationIsTheInitialTextAfterItReplacesAll) {
  edit->SetText(L"first");
  EXPECT_FALSE(edit->IsInitialized());
  Attach();
  ASSERT_NE(edit->GetTextHost(), nullptr);
  EXPECT_EQ(edit->GetText(), L"first");
  EXPECT_EQ(changes, 0);
  edit->SetText(L"second");
  EXPECT_EQ(edit->GetText(), L"second");
  EXPECT_EQ(changes, 1) << "one change event per change";
  edit->SetTextUtf8("\xE4\xB8\xAD\xE6\x96\x87 text");
  EXPECT_EQ(edit->GetTextUtf8(), "\xE4\xB8\xAD\xE6\x96\x87 text");
  EXPECT_EQ(changes, 2);
}

TEST_F(RichEditWindow, DisablingSwitchesToTheDisabledColourAndBack) {
  edit->ApplyAttribute(L"normaltextcolor", L" edit.normal");
  edit->ApplyAttribute(L"disabledtextcolor", L"edit.disabled");
  Attach();
  EXPECT_EQ(edit->GetTextHost()->GetCharFormat().crTextColor, RGB(0x10, 0x20, 0x30));
  edit->SetEnabled(false);
  EXPECT_EQ(edit->GetState(), ui::kStateDisabled);
  EXPECT_EQ(edit->GetTextHost()->GetCharFormat().crTextColor, RGB(0x80, 0x80, 0x80));
  EXPECT_FALSE(edit->IsTabStop());
  edit->SetEnabled(true);
  EXPECT_EQ(edit->GetState(), ui::kStateNormal);
  EXPECT_EQ(edit->GetTextHost()->GetCharFormat().crTextColor, RGB(0x10, 0x20, 0x30));
}

TEST_F(RichEditWindow, DigitsOnlyTypingAndPaste) {
  edit->ApplyAttribute(L"number", L"true");
  edit->ApplyAttribute(L"multiline", L"false");
  Attach();
  ClickEdit();
  ASSERT_EQ(window->GetFocusedControl(), edit);
  Type(L"a7");
  EXPECT_TRUE(TextBecomes(L"7"));
  EXPECT_EQ(changes, 1);

  PutClipboard(L"12ab34", true);
  Chord(VK_CONTROL, 'V');
  EXPECT_TRUE(TextBecomes(L"71234"));
  // The user's clipboard is as it was, other formats included.
  EXPECT_EQ(ClipboardText(), L"12ab34");
  EXPECT_TRUE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"DoreveziEditFormat")));

  PutClipboard(L"abc", false);
  Chord(VK_CONTROL, 'V');
  PumpFor(200);
  EXPECT_EQ(edit->GetText(), L"71234");
  EXPECT_EQ(ClipboardText(), L"abc");

  // Backspace arrives as a key (forwarded) and a character 8 (dropped): one character goes.
  Key(VK_BACK, false);
  Key(VK_BACK, true);
  EXPECT_TRUE(TextBecomes(L"7123"));
}

TEST_F(RichEditWindow, PasteWithoutNumberPassesTheClipboardThrough) {
  Attach();
  ClickEdit();
  PutClipboard(L"12ab34", false);
  Chord(VK_CONTROL, 'V');
  EXPECT_TRUE(TextBecomes(L"12ab34"));
}

TEST_F(RichEditWindow, EnterFollowsTheReturnEventSettings) {
  Attach();
  ClickEdit();
  struct Case {
    bool wantReturn, needsCtrl;
    WORD modifier;  // 0, VK_CONTROL or VK_SHIFT
    bool raises;
  } cases[] = {
      {false, false, 0, false},          {true, false, 0, true},
      {true, false, VK_CONTROL, false},  {true, false, VK_SHIFT, false},
      {true, true, 0, false},            {true, true, VK_CONTROL, true},
      {true, true, VK_SHIFT, false},
  };
  for (const Case& c : cases) {
    edit->ApplyAttribute(L"wantreturnmsg", c.wantReturn ? L"true" : L"false");
    edit->ApplyAttribute(L"returnmsgwantctrl", c.needsCtrl ? L"true" : L"false");
    edit->SetText(L"");
    returns = 0;
    // The modifier is read as it is when the key is handled: it stays down until then.
    if (c.modifier) Key(c.modifier, false);
    Key(VK_RETURN, false);
    PumpUntil([&] { return returns > 0 || !edit->GetText().empty(); }, 1500);
    Key(VK_RETURN, true);
    if (c.modifier) Key(c.modifier, true);
    PumpFor(100);
    const std::wstring text = edit->GetText();
    EXPECT_EQ(returns, c.raises ? 1 : 0) << c.wantReturn << c.needsCtrl << c.modifier;
    // A raised Enter inserts nothing; a forwarded one reaches the text services.
    if (c.raises) {
      EXPECT_EQ(text, L"") << c.modifier;
    }
    if (!c.raises && c.modifier != VK_CONTROL) {
      EXPECT_NE(text, L"") << c.wantReturn << c.needsCtrl << c.modifier;
    }
  }
}

TEST_F(RichEditWindow, TabIsACharacterOrAnEvent) {
  Attach();
  ClickEdit();
  Key(VK_TAB, false);
  Key(VK_TAB, true);
  EXPECT_TRUE(TextBecomes(L"\t"));
  EXPECT_EQ(tabs, 0);
  EXPECT_EQ(window->GetFocusedControl(), edit);

  edit->ApplyAttribute(L"wanttab", L"false");
  edit->SetText(L"");
  Key(VK_TAB, false);
  Key(VK_TAB, true);
  PumpUntil([&] { return tabs == 1; }, 2000);
  PumpFor(100);
  EXPECT_EQ(tabs, 1);
  EXPECT_EQ(edit->GetText(), L"");
}

TEST_F(RichEditWindow, ReadOnlySelectsAllOnDoubleClickAndDropsItOnFocusLoss) {
  edit->ApplyAttribute(L"readonly", L"true");
  edit->SetText(L"read me");
  Attach();
  MoveMouseTo(kLeft + 60, kTop + 40);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MouseButton(MOUSEEVENTF_LEFTUP);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MouseButton(MOUSEEVENTF_LEFTUP);
  PumpFor(100);
  EXPECT_EQ(edit->GetSelectedText(), L"read me");
  window->SetFocusedControl(nullptr);
  PumpFor(50);
  EXPECT_EQ(edit->GetSelectedText(), L"");
}

TEST_F(RichEditWindow, CaretFollowsFocusAndSelectionAndBlinks) {
  edit->SetText(L"caret");
  Attach();
  EXPECT_FALSE(edit->IsCaretShown());
  ClickEdit(200, 40);
  EXPECT_GT(edit->GetCaretRect().Height(), 0);
  // Blinks: both phases within a couple of periods.
  bool sawOn = false, sawOff = false;
  PumpUntil(
      [&] {
        (edit->IsCaretShown() ? sawOn : sawOff) = true;
        return sawOn && sawOff;
      },
      2500);
  EXPECT_TRUE(sawOn);
  EXPECT_TRUE(sawOff);
  // With a selection the caret is off and stays off.
  LRESULT result = 0;
  CHARRANGE range = {0, 3};
  edit->SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range), &result);
  PumpFor(50);
  EXPECT_FALSE(PumpUntil([&] { return edit->IsCaretShown(); }, 1200));
  range = CHARRANGE{2, 2};
  edit->SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range), &result);
  EXPECT_TRUE(PumpUntil([&] { return edit->IsCaretShown(); }, 1200));
  window->SetFocusedControl(nullptr);
  EXPECT_FALSE(edit->IsCaretShown());
  EXPECT_FALSE(PumpUntil([&] { return edit->IsCaretShown(); }, 1200));
}

// Counts the text services' timer deliveries and its own destruction, in counters that outlive it.
int g_timerDeliveries = 0;
int g_countingEditsDestroyed = 0;
class CountingEdit : public RichEdit {
 public:
  ~CountingEdit() override { ++g_countingEditsDestroyed; }
  HRESULT SendToTextServices(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
    if (message == WM_TIMER && wParam == 42) ++g_timerDeliveries;
    return RichEdit::SendToTextServices(message, wParam, lParam, result);
  }
};

TEST_F(RichEditWindow, TextTimersLeaveNothingBehindADeletedEdit) {
  delete edit;
  edit = new CountingEdit();
  edit->SetName(L"edit");
  edit->ApplyAttribute(L"font", L"edit.font");
  g_timerDeliveries = g_countingEditsDestroyed = 0;
  Attach();
  ClickEdit();
  edit->StartTextTimer(41, 20);
  edit->StartTextTimer(42, 20);
  EXPECT_EQ(edit->GetTextTimers().RunningCount(), 2u);
  edit->StopTextTimer(41);
  EXPECT_EQ(edit->GetTextTimers().RunningCount(), 1u);
  ASSERT_TRUE(PumpUntil([] { return g_timerDeliveries >= 2; }, 30000)) << "the timer runs";

  // Deleting the edit with a timer running: the timer's next run must find nothing.
  window->AttachRoot(RootWith(Rect{}, {}));
  ASSERT_TRUE(PumpUntil([] { return g_countingEditsDestroyed == 1; }, 30000));
  const int delivered = g_timerDeliveries;
  // A timer of the same period on the same service runs several times meanwhile.
  base::WeakCallbackFlag flag;
  int ticks = 0;
  ui::TimerManager::Instance()->AddTimer(flag.ObtainWeakFlag(), [&ticks] { ++ticks; }, 20, -1);
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 10; }, 30000));
  flag.Invalidate();
  EXPECT_EQ(g_timerDeliveries, delivered);
}

TEST_F(RichEditWindow, ThirtyLinesShowTheBarWhichTheWheelScrolls) {
  edit->ApplyAttribute(L"vscrollbar", L"true");
  edit->ApplyAttribute(L"autovscroll", L"true");
  Attach();
  ui::ScrollBar* bar = edit->GetVerticalScrollBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->IsVisible());
  const int clientWidth = edit->GetTextHost()->GetClientArea().Width();
  ClickEdit();
  for (int i = 0; i < 30; ++i) {
    Type(L"x");
    Key(VK_RETURN, false);
    Key(VK_RETURN, true);
  }
  // A loaded machine may still be delivering the keys.
  ASSERT_TRUE(PumpUntil([&] {
    const std::wstring text = edit->GetText();
    return std::count(text.begin(), text.end(), L'\r') >= 30;
  }, 5000));
  EXPECT_GT(bar->GetScrollRange(), 0);
  EXPECT_EQ(edit->GetTextHost()->GetClientArea().Width(), clientWidth - bar->GetFixedWidth());
  // The bar hides itself until the mouse comes over the edit.
  MoveMouseTo(kLeft + 395, kTop + 295);
  MoveMouseTo(kLeft + 60, kTop + 60);
  EXPECT_TRUE(PumpUntil([&] { return bar->IsVisible(); }, 2000));
  // Typing left the view at the end; the wheel takes it up, Ctrl + wheel does nothing.
  const int64_t atEnd = bar->GetScrollPos();
  EXPECT_GT(atEnd, 0);
  MoveMouseTo(kLeft + 60, kTop + 60);
  Key(VK_CONTROL, false);
  Wheel(120);
  Key(VK_CONTROL, true);
  PumpFor(400);
  EXPECT_EQ(bar->GetScrollPos(), atEnd);
  Wheel(120);
  PumpUntil([&] { return !edit->GetLineScrollPlayer().playing; }, 3000);
  EXPECT_LT(bar->GetScrollPos(), atEnd);
  // Deleting every line hides the bar again.
  LRESULT result = 0;
  CHARRANGE all = {0, -1};
  edit->SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all), &result);
  Key(VK_DELETE, false);
  Key(VK_DELETE, true);
  ASSERT_TRUE(PumpUntil([&] { return edit->GetText().empty(); }, 3000));
  EXPECT_FALSE(bar->IsVisible());
  EXPECT_EQ(bar->GetScrollRange(), 0);
}

TEST_F(RichEditWindow, ScreenshotsOfPromptCaretSelectionAndPassword) {
  delete edit;
  edit = new WhiteEdit();
  edit->ApplyAttribute(L"font", L"edit.font");
  edit->ApplyAttribute(L"prompttext", L"Type here");
  edit->ApplyAttribute(L"promptcolor", L"edit.prompt");
  edit->ApplyAttribute(L"caretcolor", L"edit.caret");
  RichEdit* password = new WhiteEdit();
  password->ApplyAttribute(L"font", L"edit.font");
  password->ApplyAttribute(L"password", L"true");
  password->SetText(L"secret");
  window->AttachRoot(RootWith(Rect{}, {{edit, Rect{20, 20, 380, 80}}, {password, Rect{20, 120, 380, 180}}}));
  PumpUntilPainted(*window);

  // The empty edit shows its prompt in the prompt colour.
  const Rect top{20, 20, 380, 80};
  auto hasColour = [](const Capture& capture, uint32_t rgb) {
    for (uint32_t p : capture.pixels)
      if (RgbNear(p, rgb, 40)) return true;
    return false;
  };
  PumpFor(200);
  Capture prompt = CaptureScreen(ScreenRectOf(top));
  EXPECT_TRUE(hasColour(prompt, 0xFF20A040)) << "no prompt ink";
  std::cout << SaveCapture(prompt, "rich_edit_prompt") << std::endl;

  // Focused with text, a selection and the caret after it.
  ClickEdit();
  Type(L"hello world");
  LRESULT result = 0;
  CHARRANGE range = {0, 5};
  edit->SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range), &result);
  PumpFor(100);
  Capture selected = CaptureScreen(ScreenRectOf(top));
  EXPECT_FALSE(hasColour(selected, 0xFF20A040)) << "the prompt shows over text";
  std::cout << SaveCapture(selected, "rich_edit_selection") << std::endl;
  range = CHARRANGE{11, 11};
  edit->SendToTextServices(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range), &result);
  Capture caret;
  const bool caretSeen = PumpUntil(
      [&] {
        window->GetRoot()->Invalidate();
        PumpFor(30);
        caret = CaptureScreen(ScreenRectOf(top));
        return hasColour(caret, 0xFFE02020);
      },
      2000);
  EXPECT_TRUE(caretSeen) << "no caret ink";
  std::cout << SaveCapture(caret, "rich_edit_caret") << std::endl;

  // The password edit shows bullets, not the text.
  Capture bullets = CaptureScreen(ScreenRectOf(Rect{20, 120, 380, 180}));
  std::cout << SaveCapture(bullets, "rich_edit_password") << std::endl;
  EXPECT_EQ(password->GetText(), L"secret");
}

TEST_F(RichEditWindow, NotificationsReachTheWindow) {
  edit->SetText(L"see http://x now");
  Attach();
  EditWindow* host = static_cast<EditWindow*>(window.get());
  SetWindowLongW(window->GetHwnd(), GWL_ID, 77);
  NMHDR header = {};
  edit->HandleTextNotify(EN_SELCHANGE, &header);
  ASSERT_EQ(host->notifyIds, std::vector<WPARAM>{77});
  EXPECT_EQ(header.hwndFrom, window->GetHwnd());
  EXPECT_EQ(header.idFrom, 77u);
  EXPECT_EQ(header.code, static_cast<UINT>(EN_SELCHANGE));
  // Without a record, for a link that is not a release, and for other codes: nothing.
  edit->HandleTextNotify(EN_SELCHANGE, nullptr);
  ENLINK link = {};
  link.msg = WM_LBUTTONDOWN;
  link.chrg = CHARRANGE{4, 12};
  edit->HandleTextNotify(EN_LINK, &link);
  edit->HandleTextNotify(EN_UPDATE, &header);
  EXPECT_EQ(host->notifyIds.size(), 1u);
  // A released link selects its range and hands its text on.
  link.msg = WM_LBUTTONUP;
  edit->HandleTextNotify(EN_LINK, &link);
  ASSERT_EQ(host->notifyIds.size(), 2u);
  EXPECT_EQ(host->notifyIds[1], static_cast<WPARAM>(EN_LINK));
  EXPECT_EQ(host->notifyTexts[1], L"http://x");
  EXPECT_EQ(edit->GetSelectedText(), L"http://x");
}

// ---- Touch keyboard --------------------------------------------------------------------------

class RichEditTouchKeyboard : public RichEditWindow {
 protected:
  void SetUp() override {
    RichEditWindow::SetUp();
    ASSERT_EQ(FindWindowW(L"IPTip_Main_Window", nullptr), nullptr);
    const std::wstring ink = common.Path() + L"\\microsoft shared\\ink";
    CreateDirectoryW((common.Path() + L"\\microsoft shared").c_str(), nullptr);
    CreateDirectoryW(ink.c_str(), nullptr);
    std::wstring standin = L"Z:";
    for (const char* c = std::getenv("DV_BINARY_DIR"); c && *c; ++c) standin += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
    standin += L"\\bin\\touchkeyboard\\TabTip.exe";
    ASSERT_TRUE(CopyFileW(standin.c_str(), (ink + L"\\TabTip.exe").c_str(), FALSE));
    log = ink + L"\\TabTip.log";
    SetEnvironmentVariableW(L"CommonProgramW6432", common.Path().c_str());
  }
  void TearDown() override {
    if (HWND keyboard = FindWindowW(L"IPTip_Main_Window", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(keyboard, &pid);
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
      }
    }
    SetEnvironmentVariableW(L"CommonProgramW6432", nullptr);
    RichEditWindow::TearDown();
  }
  int Starts() const {
    std::ifstream in(log.c_str());
    int starts = 0;
    for (std::string line; std::getline(in, line);) starts += line.rfind("start ", 0) == 0;
    return starts;
  }
  test_support::TempDir common;
  std::wstring log;
};

TEST_F(RichEditTouchKeyboard, APointerTapShowsItOnceAndFocusLossClosesIt) {
  Attach();
  // A mouse click asks for nothing.
  ClickEdit();
  PumpFor(500);
  EXPECT_EQ(Starts(), 0);
  // Wine makes no pointer input: the tap is raised as the window would raise it.
  edit->RaiseEvent(ui::kEventPointerDown, 0, MAKELPARAM(60, 40), 0, ui::Point{60, 40}, 0.5f);
  ASSERT_TRUE(PumpUntil([] { return ui::OnScreenKeyboardManager::IsKeyboardShown(); }, 15000));
  EXPECT_EQ(Starts(), 1);
  edit->RaiseEvent(ui::kEventPointerDown, 0, MAKELPARAM(70, 40), 0, ui::Point{70, 40}, 0.5f);
  PumpFor(500);
  EXPECT_EQ(Starts(), 1);
  window->SetFocusedControl(nullptr);
  EXPECT_TRUE(PumpUntil([] { return FindWindowW(L"IPTip_Main_Window", nullptr) == nullptr; }, 10000));
}

// Focused, the edit shows its focused image like any control image (its dest inside the
// edit, its fade, a translucent picture blended); unfocused, its normal image.
TEST_F(RichEditWindow, TheFocusedImageReplacesTheNormalOneWhileFocused) {
  delete edit;
  edit = nullptr;
  test_support::TempDir dir;
  const std::wstring green = dir.Path() + L"\\green.png", blue = dir.Path() + L"\\blue.png";
  auto plain = [](uint32_t argb) { return test_images::MakeRgbaPng(8, 8, std::vector<uint32_t>(64, argb)); };
  ASSERT_TRUE(test_images::WriteBytes(green, plain(0xFF00FF00u)));
  ASSERT_TRUE(test_images::WriteBytes(blue, plain(0x800000FFu)));
  const struct {
    const char* title;
    std::wstring focused;
    uint32_t inside;
  } cases[] = {
      {"translucent picture", L"file='" + blue + L"' dest='40,20,140,70'", 0xFF7F7FFFu},
      {"at fade 128", L"file='" + blue + L"' dest='40,20,140,70' fade='128'", 0xFFBFBFFFu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    WindowPtr own = OpenEditWindow(Rect{kLeft, kTop, kLeft + 400, kTop + 300});
    auto* shown = new WhiteEdit();
    shown->ApplyAttribute(L"font", L"edit.font");
    shown->ApplyAttribute(L"normalimage", green);
    shown->ApplyAttribute(L"focusedimage", c.focused);
    own->AttachRoot(RootWith(Rect{}, {{shown, kEditBounds}}));
    PumpUntilPainted(*own);
    // Unfocused: the normal image over the whole edit.
    EXPECT_TRUE(RgbNear(SurfacePixel(*own, 30, 30), 0xFF00FF00u));
    EXPECT_TRUE(RgbNear(SurfacePixel(*own, 100, 60), 0xFF00FF00u));
    own->SetFocusedControl(shown);
    ASSERT_TRUE(shown->IsFocused());
    InvalidateRect(own->GetHwnd(), nullptr, FALSE);
    ASSERT_TRUE(PumpUntil([&] { return RgbNear(SurfacePixel(*own, 30, 30), 0xFFFFFFFFu); }, 3000))
        << "the normal image stays while focused";
    // The dest is relative to the edit at (20, 20).
    EXPECT_TRUE(RgbNear(SurfacePixel(*own, 100, 60), c.inside, 12));
    EXPECT_TRUE(RgbNear(SurfacePixel(*own, 165, 60), 0xFFFFFFFFu));
    EXPECT_TRUE(RgbNear(SurfacePixel(*own, 100, 95), 0xFFFFFFFFu));
    own->SetFocusedControl(nullptr);
  }

  // A focused image whose file is missing is given up at the first focused paint, as every
  // control image is: a file appearing later is not looked for at each repaint (each blink).
  const std::wstring late = dir.Path() + L"\\late.png";
  WindowPtr own = OpenEditWindow(Rect{kLeft, kTop, kLeft + 400, kTop + 300});
  auto* shown = new WhiteEdit();
  shown->ApplyAttribute(L"font", L"edit.font");
  shown->ApplyAttribute(L"focusedimage", L"file='" + late + L"'");
  own->AttachRoot(RootWith(Rect{}, {{shown, kEditBounds}}));
  PumpUntilPainted(*own);
  own->SetFocusedControl(shown);
  InvalidateRect(own->GetHwnd(), nullptr, FALSE);
  ASSERT_TRUE(PumpUntil([&] { return shown->GetFocusedImage().spec.file.empty(); }, 30000));
  ASSERT_TRUE(test_images::WriteBytes(late, plain(0xFF0000FFu)));
  InvalidateRect(own->GetHwnd(), nullptr, FALSE);
  PumpFor(300);
  EXPECT_TRUE(RgbNear(SurfacePixel(*own, 100, 60), 0xFFFFFFFFu));
}

}  // namespace
