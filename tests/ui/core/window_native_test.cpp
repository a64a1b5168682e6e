// Native windows: class registration and creation, the procedures, the top-window message,
// the delayed close, centring, notification reflection and deferred deletion.
#include <gtest/gtest.h>

#include "ui/animation/timer_manager.h"
#include "ui/core/window_test_support.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

TEST(WindowNativeTest, OneClassForTwoWindowsAndTheCaptionBitsCleared) {
  WindowPtr first(new TestWindow(L"DvWindowTestOneClass"));
  WindowPtr second(new TestWindow(L"DvWindowTestOneClass"));
  HWND a = first->CreateNativeWindow(nullptr, L"Dorevezi", 0xCE0000, 0, true, Rect{});
  HWND b = second->CreateNativeWindow(nullptr, L"Dorevezi", 0xCE0000, 0, true, Rect{});
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  // The second registration found the class there; both windows use the one procedure.
  WNDCLASSEXW info = {sizeof(info)};
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"DvWindowTestOneClass", &info));
  EXPECT_EQ(info.lpfnWndProc, &ui::Window::WindowProc);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetClassLongPtrW(a, GCLP_WNDPROC)), &ui::Window::WindowProc);
  for (HWND hwnd : {a, b}) {
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, 0);
    // System menu, thick frame and minimize box stay.
    EXPECT_EQ(style & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS | WS_VISIBLE), 0xE0000);
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
  }
  EXPECT_EQ(GetWindowLongPtrW(a, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(first.get()));
  first->ShowNativeWindow(true, false);
  EXPECT_TRUE(GetWindowLongPtrW(a, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(GetWindowLongPtrW(a, GWL_STYLE) & WS_CAPTION, 0);

  // Unlayered on request; a failed class gives no window.
  WindowPtr plain(new TestWindow(L"DvWindowTestOneClass"));
  HWND c = plain->CreateNativeWindow(nullptr, L"plain", WS_POPUP, 0, false, Rect{0, 0, 50, 50});
  EXPECT_FALSE(GetWindowLongPtrW(c, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_FALSE(plain->IsLayered());
  WindowPtr nameless(new TestWindow(L""));
  EXPECT_EQ(nameless->CreateNativeWindow(nullptr, L"x", WS_POPUP, 0, true, Rect{}), nullptr);
}

TEST(WindowNativeTest, SuperclassKeepsTheClassProcedureAndUsesTheProperty) {
  WindowPtr window(new TestWindow(L"DvWindowTestButton"));
  window->SetSuperclass(L"Button");
  HWND hwnd = window->CreateNativeWindow(nullptr, L"push", WS_POPUP | BS_PUSHBUTTON, 0, false, Rect{0, 0, 80, 30});
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(GetPropW(hwnd, ui::kWindowProperty), window.get());
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0);
  // The button's own procedure still answers what the window leaves unhandled.
  wchar_t text[16] = {};
  GetWindowTextW(hwnd, text, 16);
  EXPECT_STREQ(text, L"push");
  DestroyWindow(hwnd);
  EXPECT_EQ(window->destroyedCalls, 1);
  EXPECT_EQ(window->GetHwnd(), nullptr);

  WindowPtr missing(new TestWindow(L"DvWindowTestMissing"));
  missing->SetSuperclass(L"NoSuchClassAnywhere");
  EXPECT_EQ(missing->CreateNativeWindow(nullptr, L"x", WS_POPUP, 0, false, Rect{}), nullptr);
}

TEST(WindowNativeTest, TheLastWindowLeavingTellsTheNewLastOne) {
  WindowPtr main = OpenWindow(Rect{10, 10, 110, 110}, true);
  EXPECT_EQ(main->becameTop, 1) << "told at once on attach";
  WindowPtr second = OpenWindow(Rect{20, 20, 120, 120}, true);
  EXPECT_EQ(second->becameTop, 1);
  EXPECT_EQ(main->becameTop, 1);
  EXPECT_EQ(ui::UiRuntime::FindWindowByHandle(second->GetHwnd()), second.get());
  second.reset();
  EXPECT_EQ(main->becameTop, 2) << "the destroyed window was the last";

  WindowPtr third = OpenWindow(Rect{30, 30, 130, 130}, true);
  WindowPtr fourth = OpenWindow(Rect{40, 40, 140, 140}, true);
  third.reset();  // not the last one
  EXPECT_EQ(main->becameTop, 2);
  EXPECT_EQ(fourth->becameTop, 1);
  fourth.reset();
  EXPECT_EQ(main->becameTop, 3);
}

TEST(WindowNativeTest, RequestClosePostsTheCodeAfterTheFade) {
  WindowPtr window = OpenWindow(Rect{50, 50, 250, 200}, true);
  window->AttachRoot(RootWith(Rect{}, {}));
  PumpUntilPainted(*window);
  ASSERT_FALSE(window->IsFirstLayoutPending());
  ASSERT_TRUE(PumpUntil([&] { return window->GetWindowAlpha() == 255; }, 30000));
  const ULONGLONG asked = GetTickCount64();
  window->RequestClose(7);
  ASSERT_TRUE(PumpUntil([&] { return !window->closes.empty(); }, 30000));
  EXPECT_EQ(window->closes[0].first, 7u);
  // Never before the delay; a loaded machine may bring it later.
  EXPECT_GE(window->closes[0].second - asked, 250u);
  EXPECT_EQ(window->GetWindowAlpha(), 0) << "faded out before the close";

  // Without a root: at once.
  WindowPtr bare = OpenWindow(Rect{50, 50, 150, 150}, true);
  bare->RequestClose(3);
  PumpFor(20);
  ASSERT_EQ(bare->closes.size(), 1u);
  EXPECT_EQ(bare->closes[0].first, 3u);

  // A window gone within the delay gets nothing, and nothing runs on its memory.
  WindowPtr doomed = OpenWindow(Rect{60, 60, 160, 160}, true);
  doomed->AttachRoot(RootWith(Rect{}, {}));
  PumpUntilPainted(*doomed);
  HWND hwnd = doomed->GetHwnd();
  doomed->RequestClose(9);
  // Due after the close's delay: once it has run, so would the close have.
  base::WeakCallbackFlag later;
  bool past = false;
  ui::TimerManager::Instance()->AddTimer(later.ObtainWeakFlag(), [&past] { past = true; }, 400, 1);
  doomed.reset();
  EXPECT_TRUE(PumpUntil([&] { return past; }, 30000));
  EXPECT_FALSE(IsWindow(hwnd));

  // A destroyed window: nothing.
  WindowPtr dead = OpenWindow(Rect{60, 60, 160, 160}, true);
  DestroyWindow(dead->GetHwnd());
  dead->RequestClose(1);
  PumpFor(20);
  EXPECT_TRUE(dead->closes.empty());
}

TEST(WindowNativeTest, CenterOnOwner) {
  MONITORINFO monitor = {sizeof(monitor)};
  GetMonitorInfoW(MonitorFromPoint(POINT{1, 1}, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;

  WindowPtr owner = OpenWindow(Rect{100, 120, 500, 420}, false);
  struct Case {
    const char* name;
    bool owned;
    bool minimizedOwner;
    int width, height;
    int x, y;  // expected top-left
  };
  const Case cases[] = {
      {"owned", true, false, 200, 100, 300 - 100, 270 - 50},
      {"owned, odd size", true, false, 201, 101, 300 - 100, 270 - 50},
      {"minimized owner: the work area", true, true, 200, 100,
       (work.left + work.right) / 2 - 100, (work.top + work.bottom) / 2 - 50},
      {"ownerless", false, false, 300, 200, (work.left + work.right) / 2 - 150, (work.top + work.bottom) / 2 - 100},
      {"ownerless, larger than the work area", false, false, workWidth + 200, workHeight + 100, work.left, work.top},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ShowWindow(owner->GetHwnd(), c.minimizedOwner ? SW_MINIMIZE : SW_RESTORE);
    PumpFor(30);
    WindowPtr window(new TestWindow());
    HWND hwnd = window->CreateNativeWindow(c.owned ? owner->GetHwnd() : nullptr, L"centred", WS_POPUP, 0, false,
                                           Rect{0, 0, c.width, c.height});
    ASSERT_NE(hwnd, nullptr);
    window->CenterOnOwner();
    RECT placed;
    GetWindowRect(hwnd, &placed);
    EXPECT_EQ(placed.left, c.x);
    EXPECT_EQ(placed.top, c.y);
    EXPECT_EQ(placed.right - placed.left, c.width);
  }
  ShowWindow(owner->GetHwnd(), SW_RESTORE);
}

// A child window that answers reflected messages.
LRESULT CALLBACK ReflectTarget(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY + 0x2000 || message == WM_COMMAND + 0x2000) {
    PassedOn().push_back(0x10000 + message);
    return 42;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(WindowNativeTest, NotificationsAreReflectedToTheirChild) {
  WNDCLASSW childClass = {};
  childClass.lpfnWndProc = ReflectTarget;
  childClass.hInstance = GetModuleHandleW(nullptr);
  childClass.lpszClassName = L"DvReflectTarget";
  RegisterClassW(&childClass);
  WindowPtr window(new TestWindow());
  window->RecordPassedOn();
  HWND hwnd = window->CreateNativeWindow(nullptr, L"parent", WS_POPUP, 0, false, Rect{0, 0, 100, 100});
  HWND child = CreateWindowExW(0, L"DvReflectTarget", L"", WS_CHILD, 0, 0, 10, 10, hwnd, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(child, nullptr);

  PassedOn().clear();
  NMHDR header = {child, 5, 123};
  SendMessageW(hwnd, WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&header));
  EXPECT_EQ(PassedOn(), (std::vector<UINT>{0x10000 + WM_NOTIFY + 0x2000, WM_NOTIFY})) << "reflected, then passed on";

  PassedOn().clear();
  EXPECT_EQ(SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), reinterpret_cast<LPARAM>(child)), 42);
  EXPECT_EQ(PassedOn(), (std::vector<UINT>{0x10000 + WM_COMMAND + 0x2000})) << "reflected and consumed";

  // Nothing to reflect to: a null header is consumed, a command without a control passes on.
  PassedOn().clear();
  SendMessageW(hwnd, WM_NOTIFY, 0, 0);
  SendMessageW(hwnd, WM_COMMAND, 1, 0);
  EXPECT_EQ(PassedOn(), (std::vector<UINT>{WM_COMMAND}));
}

// Queues its sibling for deletion while it is deleted.
class ChainControl : public LogControl {
 public:
  ~ChainControl() override {
    ++*deletions;
    if (next && window) window->QueueDeferredDeletion(next);
  }
  ui::Control* next = nullptr;
  ui::Window* window = nullptr;
  int* deletions = nullptr;
};

TEST(WindowNativeTest, DeferredDeletionTakesTheListBeforeDeleting) {
  WindowPtr window(new TestWindow());
  window->CreateNativeWindow(nullptr, L"deferred", WS_POPUP, 0, false, Rect{0, 0, 50, 50});
  int deletions = 0;
  auto* last = new ChainControl();
  last->deletions = &deletions;
  auto* first = new ChainControl();
  first->deletions = &deletions;
  first->next = last;
  first->window = window.get();
  window->QueueDeferredDeletion(first);
  EXPECT_EQ(deletions, 0) << "nothing before the message";
  PumpFor(30);
  EXPECT_EQ(deletions, 2) << "the control queued during a deletion goes too";
  EXPECT_EQ(window->DeferredDeletionCount(), 0u);
}

// A filter that takes everything.
class TakeAll : public ui::IUIMessageFilter {
 public:
  LRESULT FilterMessage(UINT message, WPARAM, LPARAM, bool& handled) override {
    messages.push_back(message);
    handled = true;
    return 77;
  }
  std::vector<UINT> messages;
};

TEST(WindowNativeTest, FiltersTakeMessagesExceptMouseMoves) {
  WindowPtr window = OpenWindow(Rect{100, 100, 300, 300}, false);
  auto* control = new LogControl();
  window->AttachRoot(RootWith(Rect{}, {{control, Rect{0, 0, 200, 200}}}));
  PumpUntilPainted(*window);
  TakeAll filter;
  window->AddMessageFilter(&filter);
  Log().clear();
  EXPECT_EQ(SendMessageW(window->GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10)), 77);
  SendMessageW(window->GetHwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
  EXPECT_EQ(filter.messages, (std::vector<UINT>{WM_LBUTTONDOWN, WM_MOUSEMOVE}));
  EXPECT_EQ(TypesOf(control), (std::vector<ui::EventType>{ui::kEventMouseEnter, ui::kEventMouseMove}));
  window->RemoveMessageFilter(&filter);
  SendMessageW(window->GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  EXPECT_EQ(filter.messages.size(), 2u);
  SendMessageW(window->GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

}  // namespace
