// Real input over real windows: hover order, press and release, the context menu, Tab,
// key targets, tooltips and focus loss; touch and pointer messages through a stand-in table
// of the user32 input functions (Wine has no touch or pen input).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "ui/core/input_functions.h"
#include "ui/core/window_test_support.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 100, kTop = 100;

std::vector<ui::EventType> Only(const std::vector<ui::EventType>& types, std::initializer_list<ui::EventType> kept) {
  std::vector<ui::EventType> out;
  for (ui::EventType t : types)
    if (std::find(kept.begin(), kept.end(), t) != kept.end()) out.push_back(t);
  return out;
}

// The log as (control, type) pairs of the kept types.
std::vector<std::pair<ui::Control*, ui::EventType>> Sequence(std::initializer_list<ui::EventType> kept) {
  std::vector<std::pair<ui::Control*, ui::EventType>> out;
  for (const Received& r : Log())
    if (std::find(kept.begin(), kept.end(), r.type) != kept.end()) out.emplace_back(r.control, r.type);
  return out;
}

class WindowInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 300, kTop + 200}, false);
    a = new LogControl();
    b = new LogControl();
    c = new LogControl();
    window->AttachRoot(RootWith(Rect{}, {{a, Rect{10, 10, 110, 110}}, {b, Rect{150, 10, 250, 110}},
                                         {c, Rect{10, 150, 110, 190}}}));
    PumpUntilPainted(*window);
    MoveMouseTo(kLeft + 280, kTop + 180);  // over the root only
    Log().clear();
  }
  void TearDown() override { MouseButton(MOUSEEVENTF_LEFTUP); }

  WindowPtr window;
  LogControl* a = nullptr;
  LogControl* b = nullptr;
  LogControl* c = nullptr;
};

TEST_F(WindowInputTest, LeaveComesBeforeEnterBeforeMove) {
  MoveMouseTo(kLeft + 50, kTop + 50);
  MoveMouseTo(kLeft + 200, kTop + 50);
  using P = std::pair<ui::Control*, ui::EventType>;
  const auto sequence = Sequence({ui::kEventMouseEnter, ui::kEventMouseLeave, ui::kEventMouseMove});
  ASSERT_GE(sequence.size(), 5u);
  const std::vector<P> tail(sequence.end() - 3, sequence.end());
  EXPECT_EQ(tail, (std::vector<P>{P{a, ui::kEventMouseLeave}, P{b, ui::kEventMouseEnter}, P{b, ui::kEventMouseMove}}));
  EXPECT_EQ(window->GetHoveredControl(), b);
  EXPECT_EQ(window->GetLastMousePoint().x, 200);
}

TEST_F(WindowInputTest, ReleaseOutsideCancelsAndBackInsideActivates) {
  MoveMouseTo(kLeft + 200, kTop + 50);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  EXPECT_EQ(window->GetCapturedControl(), b);
  EXPECT_EQ(window->GetFocusedControl(), b);
  EXPECT_TRUE(window->IsMouseCaptured());
  EXPECT_EQ(GetCapture(), window->GetHwnd());
  MoveMouseTo(kLeft + 50, kTop + 50);
  // While pressed the moves go to the pressed control.
  EXPECT_EQ(Log().back().control, b);
  EXPECT_EQ(Log().back().type, ui::kEventMouseMove);
  MouseButton(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(b->actions, 0);
  EXPECT_EQ(window->GetCapturedControl(), nullptr);
  EXPECT_FALSE(window->IsMouseCaptured());

  MoveMouseTo(kLeft + 200, kTop + 50);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MoveMouseTo(kLeft + 50, kTop + 50);
  MoveMouseTo(kLeft + 210, kTop + 60);
  MouseButton(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(b->actions, 1);
  EXPECT_EQ(a->actions, 0);

  // A press on no control captures nothing.
  MoveMouseTo(kLeft + 280, kTop + 180);
  Log().clear();
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  MouseButton(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(Only(TypesOf(), {ui::kEventButtonDown, ui::kEventButtonUp}), std::vector<ui::EventType>{});
}

TEST_F(WindowInputTest, RightClickGivesTheMenuEventToTheSameControl) {
  MoveMouseTo(kLeft + 50, kTop + 50);
  MouseButton(MOUSEEVENTF_RIGHTDOWN);
  MouseButton(MOUSEEVENTF_RIGHTUP);
  PumpFor(50);
  EXPECT_EQ(Only(TypesOf(a), {ui::kEventRButtonDown, ui::kEventRButtonUp, ui::kEventRawMenu}),
            (std::vector<ui::EventType>{ui::kEventRButtonDown, ui::kEventRButtonUp, ui::kEventRawMenu}));
  const auto menu = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.type == ui::kEventRawMenu; });
  ASSERT_NE(menu, Log().end());
  EXPECT_EQ(menu->lParam, reinterpret_cast<uint64_t>(a));
  EXPECT_EQ(window->GetCapturedControl(), nullptr);
}

TEST_F(WindowInputTest, TabWrapsBothWaysAndWaitsForAPendingArrange) {
  EXPECT_TRUE(window->MoveTabFocus(true));
  EXPECT_EQ(window->GetFocusedControl(), a) << "nothing focused: the first tab stop";
  for (LogControl* expected : {b, c, a}) {
    Key(VK_TAB, false);
    Key(VK_TAB, true);
    EXPECT_EQ(window->GetFocusedControl(), expected);
  }
  Key(VK_SHIFT, false);
  Key(VK_TAB, false);
  Key(VK_TAB, true);
  Key(VK_SHIFT, true);
  EXPECT_EQ(window->GetFocusedControl(), c) << "Shift+Tab on the first wraps to the last";

  window->SetArrangePending(true);
  Key(VK_TAB, false);
  Key(VK_TAB, true);
  EXPECT_EQ(window->GetFocusedControl(), c) << "only a repaint";
  EXPECT_FALSE(window->IsArrangePending()) << "the repaint ran the arrange pass";
  for (const Received& r : Log()) EXPECT_FALSE(r.type == ui::kEventKeyDown && r.wParam == VK_TAB) << "Tab is no key event";
}

TEST_F(WindowInputTest, KeyUpReachesTheKeyDownControl) {
  window->SetFocusedControl(a);
  Key('Q', false);
  window->SetFocusedControl(b);
  Key('Q', true);
  EXPECT_EQ(Only(TypesOf(a), {ui::kEventKeyDown, ui::kEventKeyUp, ui::kEventChar}),
            (std::vector<ui::EventType>{ui::kEventKeyDown, ui::kEventChar, ui::kEventKeyUp}));
  EXPECT_EQ(Only(TypesOf(b), {ui::kEventKeyDown, ui::kEventKeyUp}), std::vector<ui::EventType>{});
  const auto down = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.type == ui::kEventKeyDown; });
  EXPECT_EQ(down->wParam, static_cast<uint64_t>('Q'));
  EXPECT_EQ(window->GetKeyEventTarget(), nullptr);
}

TEST_F(WindowInputTest, HoveringOpensATooltipWithTheControlsText) {
  b->SetToolTipText(L"Start the game");
  MoveMouseTo(kLeft + 200, kTop + 50);
  ASSERT_TRUE(PumpUntil([&] { return window->GetToolTipWindow() != nullptr; }, 3000));
  HWND tip = window->GetToolTipWindow();
  wchar_t className[64] = {};
  GetClassNameW(tip, className, 64);
  EXPECT_STREQ(className, L"tooltips_class32");
  EXPECT_EQ(GetWindow(tip, GW_OWNER), window->GetHwnd());
  wchar_t text[64] = {};
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = window->GetHwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(window->GetHwnd());
  tool.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, L"Start the game");
  EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 200);
  EXPECT_EQ(Only(TypesOf(b), {ui::kEventMouseHover}), std::vector<ui::EventType>{ui::kEventMouseHover});

  // A control without text still gets the tool.
  SendMessageW(window->GetHwnd(), WM_MOUSEHOVER, 0, MAKELPARAM(50, 50));
  text[0] = L'x';
  text[1] = 0;
  SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(text, L"");
  // Leaving the window moves the hover to nowhere (a move inside re-arms the tracking the
  // hover ended).
  MoveMouseTo(kLeft + 280, kTop + 180);
  MoveMouseTo(kLeft + 600, kTop + 500);
  ASSERT_TRUE(PumpUntil([&] { return window->GetHoveredControl() == nullptr; }, 3000));
}

TEST_F(WindowInputTest, FocusLossEndsADragButKeepsAPress) {
  WindowPtr other = OpenWindow(Rect{500, 500, 600, 600}, false);
  b->SetReleaseOnFocusLoss(true);
  for (LogControl* pressed : {a, b}) {
    SCOPED_TRACE(pressed == b ? "dragged" : "pressed");
    SetForegroundWindow(window->GetHwnd());
    SetFocus(window->GetHwnd());
    PumpFor(30);
    const Rect bounds = pressed->GetBounds(true);
    MoveMouseTo(kLeft + bounds.left + 20, kTop + bounds.top + 20);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    ASSERT_EQ(window->GetCapturedControl(), pressed);
    Log().clear();
    SetFocus(other->GetHwnd());
    PumpFor(30);
    if (pressed == b) {
      EXPECT_EQ(TypesOf(b), std::vector<ui::EventType>{ui::kEventButtonUp});
      EXPECT_EQ(window->GetCapturedControl(), nullptr);
      EXPECT_FALSE(window->IsMouseCaptured());
    } else {
      EXPECT_EQ(Only(TypesOf(a), {ui::kEventButtonUp}), std::vector<ui::EventType>{});
      EXPECT_EQ(window->GetCapturedControl(), a);
    }
    MouseButton(MOUSEEVENTF_LEFTUP);
  }
}

TEST_F(WindowInputTest, SizeWheelCursorAndCloseMessages) {
  HWND hwnd = window->GetHwnd();
  window->SetFocusedControl(c);
  Log().clear();
  SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
  EXPECT_EQ(TypesOf(c), std::vector<ui::EventType>{ui::kEventWindowResized});

  // The wheel goes to the control under the point, with the signed delta.
  Log().clear();
  SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), MAKELPARAM(kLeft + 200, kTop + 50));
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_EQ(Log()[0].control, b);
  EXPECT_EQ(Log()[0].type, ui::kEventScrollWheel);
  EXPECT_EQ(static_cast<int64_t>(Log()[0].wParam), -120);
  EXPECT_EQ(window->GetLastMousePoint().x, 200);

  // The cursor question goes to the control under the cursor; outside the client, nowhere.
  MoveMouseTo(kLeft + 50, kTop + 50);
  Log().clear();
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCAPTION, WM_MOUSEMOVE));
  EXPECT_EQ(Only(TypesOf(), {ui::kEventSetCursor}), std::vector<ui::EventType>{ui::kEventSetCursor});
  EXPECT_EQ(Log().back().control, a);

  // Closing: the hovered control is left, the pressed one released (and still held), the
  // focus cleared.
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  Log().clear();
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(Only(TypesOf(a), {ui::kEventMouseLeave, ui::kEventButtonUp}),
            (std::vector<ui::EventType>{ui::kEventMouseLeave, ui::kEventButtonUp}));
  EXPECT_EQ(window->GetCapturedControl(), a);
  EXPECT_EQ(window->GetFocusedControl(), nullptr);
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
}

// The stand-in for user32's touch and pointer functions: scripted records.
struct Script {
  std::vector<TOUCHINPUT> touches;
  std::vector<UINT> asked;  // record counts asked for
  int closed = 0;
  POINTER_INPUT_TYPE type = PT_TOUCH;
  POINT pointerAt{0, 0};
  UINT32 pressure = 0;
};
Script g_script;

BOOL WINAPI StandInTouchInfo(HTOUCHINPUT, UINT count, PTOUCHINPUT records, int size) {
  g_script.asked.push_back(count);
  if (size != sizeof(TOUCHINPUT) || g_script.touches.empty()) return FALSE;
  std::copy_n(g_script.touches.begin(), std::min<size_t>(count, g_script.touches.size()), records);
  return TRUE;
}
BOOL WINAPI StandInCloseTouch(HTOUCHINPUT) {
  ++g_script.closed;
  return TRUE;
}
BOOL WINAPI StandInPointerType(UINT32, POINTER_INPUT_TYPE* type) {
  *type = g_script.type;
  return TRUE;
}
BOOL WINAPI StandInPointerTouch(UINT32 id, POINTER_TOUCH_INFO* info) {
  *info = {};
  info->pointerInfo.pointerId = id;
  info->pointerInfo.ptPixelLocationRaw = g_script.pointerAt;
  info->pressure = g_script.pressure;
  return TRUE;
}

TOUCHINPUT Touch(DWORD id, DWORD flags, int screenX, int screenY) {
  TOUCHINPUT t = {};
  t.dwID = id;
  t.dwFlags = flags;
  t.x = screenX * 100 + 42;  // hundredths of a pixel, truncated
  t.y = screenY * 100 + 99;
  return t;
}

class WindowTouchTest : public WindowInputTest {
 protected:
  void SetUp() override {
    WindowInputTest::SetUp();
    g_script = Script();
    ui::InputFunctions table;
    table.getTouchInputInfo = &StandInTouchInfo;
    table.closeTouchInputHandle = &StandInCloseTouch;
    table.getPointerType = &StandInPointerType;
    table.getPointerTouchInfo = &StandInPointerTouch;
    standIn = table;
    previous = ui::ReplaceInputFunctions(&standIn);
    window->RecordPassedOn();
  }
  void TearDown() override {
    ui::ReplaceInputFunctions(previous);
    WindowInputTest::TearDown();
  }
  void SendTouch(std::vector<TOUCHINPUT> records) {
    g_script.touches = std::move(records);
    SendMessageW(window->GetHwnd(), WM_TOUCH, g_script.touches.size(), 0x5150);
  }
  LRESULT SendPointer(UINT message, bool primary, int clientX, int clientY) {
    g_script.pointerAt = POINT{kLeft + clientX, kTop + clientY};
    const WPARAM wParam = MAKEWPARAM(7, primary ? POINTER_MESSAGE_FLAG_PRIMARY | POINTER_MESSAGE_FLAG_INCONTACT : 0);
    return SendMessageW(window->GetHwnd(), message, wParam, MAKELPARAM(kLeft + clientX, kTop + clientY));
  }

  ui::InputFunctions standIn;
  const ui::InputFunctions* previous = nullptr;
};

TEST_F(WindowTouchTest, DownMoveUpAndWhatDeliversNothing) {
  SendTouch({Touch(1, TOUCHEVENTF_DOWN | TOUCHEVENTF_PRIMARY, kLeft + 50, kTop + 50)});
  EXPECT_EQ(window->GetTouchCapturedControl(), a);
  EXPECT_EQ(window->GetFocusedControl(), a);
  SendTouch({Touch(1, TOUCHEVENTF_MOVE, kLeft + 60, kTop + 55)});
  const size_t afterMove = Log().size();
  // The same point again, and a second contact going down beside the first: nothing.
  SendTouch({Touch(1, TOUCHEVENTF_MOVE, kLeft + 60, kTop + 55)});
  SendTouch({Touch(1, TOUCHEVENTF_MOVE, kLeft + 60, kTop + 55), Touch(2, TOUCHEVENTF_DOWN, kLeft + 200, kTop + 50)});
  EXPECT_EQ(Log().size(), afterMove);
  // While touching, mouse moves are not translated.
  SendMessageW(window->GetHwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(200, 50));
  EXPECT_EQ(Log().size(), afterMove);
  SendTouch({Touch(1, TOUCHEVENTF_UP, kLeft + 61, kTop + 56)});
  EXPECT_EQ(window->GetTouchCapturedControl(), nullptr);

  EXPECT_EQ(Only(TypesOf(a), {ui::kEventTouchDown, ui::kEventTouchMove, ui::kEventTouchUp}),
            (std::vector<ui::EventType>{ui::kEventTouchDown, ui::kEventTouchMove, ui::kEventTouchUp}));
  const auto move = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.type == ui::kEventTouchMove; });
  EXPECT_EQ(move->point.x, 60);
  EXPECT_EQ(move->point.y, 55);
  const auto down = std::find_if(Log().begin(), Log().end(), [](const Received& r) { return r.type == ui::kEventTouchDown; });
  EXPECT_EQ(down->lParam, 0x5150u) << "the input handle";
  EXPECT_EQ(Only(TypesOf(b), {ui::kEventTouchDown}), std::vector<ui::EventType>{});
  // Translated records closed their handle; the ones left alone went on to the system.
  EXPECT_EQ(g_script.closed, 3);
}

TEST_F(WindowTouchTest, TheRecordCountComesFromTheLowWordOnly) {
  struct Case {
    WPARAM wParam;
    std::vector<UINT> asked;
  };
  const Case cases[] = {{0, {}}, {1, {1}}, {0x10000, {}}, {0xFFFFFFFF, {256}}, {0x12345678, {256}}, {3, {3}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wParam);
    g_script.asked.clear();
    g_script.touches.clear();
    g_script.closed = 0;
    SendMessageW(window->GetHwnd(), WM_TOUCH, c.wParam, 0x5150);
    EXPECT_EQ(g_script.asked, c.asked);
    EXPECT_EQ(g_script.closed, 1) << "an unread handle is closed";
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(WindowTouchTest, PointerDownUpdateUpAndNonPrimaryPointers) {
  g_script.pressure = 512;
  PassedOn().clear();
  EXPECT_EQ(SendPointer(WM_POINTERDOWN, false, 50, 50), 0);
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(PassedOn().empty()) << "a non-primary pointer is consumed";

  SendPointer(WM_POINTERDOWN, true, 50, 50);
  EXPECT_EQ(window->GetPointerCapturedControl(), a);
  SendPointer(WM_POINTERUPDATE, true, 70, 60);
  // A mouse press while the pointer holds a control is not translated.
  SendMessageW(window->GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 50));
  SendPointer(WM_POINTERUP, true, 70, 60);
  EXPECT_EQ(window->GetPointerCapturedControl(), nullptr);
  EXPECT_EQ(Only(TypesOf(), {ui::kEventPointerDown, ui::kEventPointerUpdate, ui::kEventPointerUp, ui::kEventButtonDown}),
            (std::vector<ui::EventType>{ui::kEventPointerDown, ui::kEventPointerUpdate, ui::kEventPointerUp}));
  for (const Received& r : Log()) {
    if (r.type == ui::kEventPointerUpdate) {
      EXPECT_EQ(r.control, a);
      EXPECT_EQ(r.point.x, 70);
      EXPECT_FLOAT_EQ(r.pressure, 0.5f);
    }
  }
  EXPECT_EQ(std::count(PassedOn().begin(), PassedOn().end(), WM_POINTERDOWN), 0) << "receivepointer keeps it";

  // A control that does not take pointer input lets the system make mouse messages.
  a->ApplyAttribute(L"receivepointer", L"false");
  PassedOn().clear();
  SendPointer(WM_POINTERDOWN, true, 50, 50);
  SendPointer(WM_POINTERUP, true, 50, 50);
  EXPECT_EQ(std::count(PassedOn().begin(), PassedOn().end(), WM_POINTERDOWN), 1);
  EXPECT_EQ(std::count(PassedOn().begin(), PassedOn().end(), WM_POINTERUP), 1);

  // A pen without its function, or the switch off: not translated.
  g_script.type = PT_PEN;
  Log().clear();
  PassedOn().clear();
  SendPointer(WM_POINTERDOWN, true, 50, 50);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(PassedOn(), std::vector<UINT>{WM_POINTERDOWN});
  g_script.type = PT_TOUCH;
  window->SetPointerInputEnabled(false);
  SendPointer(WM_POINTERDOWN, false, 50, 50);
  EXPECT_EQ(PassedOn().size(), 2u);
}

}  // namespace
