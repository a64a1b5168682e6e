// The window's registry of its controls: names, focus, option groups, classes, hit tests, tab
// order, the root's replacement and deferred deletion.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/core/control_test_support.h"
#include "ui/core/kept_memory.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::R;
using ui_test::TestWindow;

namespace {

Control* Named(const wchar_t* name) {
  Control* control = new Control();
  control->ApplyAttribute(L"name", name);
  return control;
}

TEST(WindowRegistryTest, TheLastOfTwoSameNamedControlsOwnsTheName) {
  {
    // The walk visits a box's children, first to last, before the box.
    TestWindow window;
    Box* root = new Box();
    Box* panel = new Box();
    panel->ApplyAttribute(L"name", L"twin");
    panel->AddChild(Named(L"twin"));
    root->AddChild(panel);
    window.AttachRoot(root);
    EXPECT_EQ(window.FindControlByName(L"twin"), panel);
    EXPECT_EQ(window.FindControlByName(L"Twin"), nullptr);
  }
  for (int deleted = 0; deleted < 2; ++deleted) {
    TestWindow window;
    Control* twins[2] = {Named(L"twin"), Named(L"twin")};
    for (Control* twin : twins) {
      twin->AttachTo(&window, nullptr, false);
      twin->LocateControl(&Window::RegisterNameCallback, &window, 0);
    }
    EXPECT_EQ(window.FindControlByName(L"twin"), twins[1]);
    // Deleting either removes the entry.
    delete twins[deleted];
    EXPECT_EQ(window.FindControlByName(L"twin"), nullptr);
    delete twins[1 - deleted];
  }

  // A control destroyed in a tree leaves the table through its destructor.
  TestWindow window;
  Control* only = Named(L"solo");
  window.AttachRoot(only);
  ASSERT_EQ(window.FindControlByName(L"solo"), only);
  window.AttachRoot(nullptr);
  window.DeleteDeferredControls();
  EXPECT_EQ(window.FindControlByName(L"solo"), nullptr);
}

TEST(WindowRegistryTest, NameCallbacks) {
  Control control;
  control.ApplyAttribute(L"name", L"Btn_OK");
  wchar_t exact[] = L"Btn_OK";
  wchar_t lower[] = L"btn_ok";
  wchar_t empty[] = L"";
  EXPECT_EQ(Window::NameMatchCallback(&control, exact), &control);
  EXPECT_EQ(Window::NameMatchCallback(&control, lower), nullptr);
  EXPECT_EQ(MatchControlName(&control, lower), &control);
  EXPECT_EQ(MatchControlName(&control, exact), &control);
  Control unnamed;
  EXPECT_EQ(MatchControlName(&unnamed, empty), nullptr);
  EXPECT_EQ(Window::NameMatchCallback(&unnamed, empty), nullptr);
}

TEST(WindowRegistryTest, FocusEventsInOrder) {
  TestWindow window;
  window.SetLastMousePoint(Point{7, 9});
  Box* root = new Box();
  Control* a = new Control();
  Control* b = new Control();
  root->AddChild(a);
  root->AddChild(b);
  window.AttachRoot(root);

  std::vector<std::string> log;
  auto record = [&log](const char* who) {
    return [&log, who](EventArgs* args) {
      log.push_back(std::string(who) + ":" + std::to_string(args->type));
      return true;
    };
  };
  // Raw focus events skip handlers; the default processing shows them in the state.
  a->AddEventHandler(kEventAll, record("a"));
  b->AddEventHandler(kEventAll, record("b"));
  window.SetFocusedControl(a);
  EXPECT_TRUE(a->IsFocused());
  window.SetFocusedControl(b);
  EXPECT_FALSE(a->IsFocused());
  EXPECT_TRUE(b->IsFocused());
  EXPECT_EQ(window.GetFocusedControl(), b);
  // a: set; then a: kill before b: set (the kill also bubbles to nobody: the root has no
  // handlers).
  const std::vector<std::string> expected = {"a:36", "a:37", "b:36"};
  EXPECT_EQ(log, expected);

  // The kill and set events carry the last mouse point.
  Point seen;
  b->AddEventHandler(kEventKillFocus, [&](EventArgs* args) {
    seen = args->mousePoint;
    return true;
  });
  window.SetFocusedControl(nullptr);
  EXPECT_EQ(seen.x, 7);
  EXPECT_EQ(seen.y, 9);
  EXPECT_EQ(window.GetFocusedControl(), nullptr);

  // A control of another window, a hidden one or a disabled one takes no focus.
  TestWindow other;
  Control* foreign = new Control();
  other.AttachRoot(foreign);
  window.SetFocusedControl(foreign);
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
  b->SetEnabled(false);
  window.SetFocusedControl(b);
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
  // Hiding the focused control clears the focus.
  window.SetFocusedControl(a);
  root->SetVisible(false);
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
}

TEST(WindowRegistryTest, FocusMovesRawKillKillRawSetSet) {
  TestWindow window;
  Box* root = new Box();
  auto* a = new ui_test::ProbeControl();
  auto* b = new ui_test::ProbeControl();
  root->AddChild(a);
  root->AddChild(b);
  window.AttachRoot(root);
  std::vector<std::pair<Control*, EventType>> log;
  a->sharedLog = &log;
  b->sharedLog = &log;
  window.SetFocusedControl(a);
  log.clear();
  window.SetFocusedControl(b);
  const std::vector<std::pair<Control*, EventType>> expected = {
      {a, kEventRawKillFocus}, {a, kEventKillFocus}, {b, kEventRawSetFocus}, {b, kEventSetFocus}};
  EXPECT_EQ(log, expected);
}

TEST(WindowRegistryTest, OptionGroupsClassesAndSubfolder) {
  TestWindow window;
  Control a, b;
  EXPECT_EQ(window.GetOptionGroup(L"g"), nullptr);
  EXPECT_TRUE(window.AddOptionToGroup(L"g", &a));
  EXPECT_FALSE(window.AddOptionToGroup(L"g", &a));
  EXPECT_TRUE(window.AddOptionToGroup(L"g", &b));
  ASSERT_NE(window.GetOptionGroup(L"g"), nullptr);
  EXPECT_EQ(window.GetOptionGroup(L"g")->size(), 2u);
  window.RemoveOptionFromGroup(L"g", &a);
  window.RemoveOptionFromGroup(L"g", &a);
  EXPECT_EQ(window.GetOptionGroup(L"g")->size(), 1u);
  window.RemoveOptionFromGroup(L"g", &b);
  EXPECT_EQ(window.GetOptionGroup(L"g"), nullptr);
  window.RemoveOptionFromGroup(L"none", &b);

  window.SetClassAttributes(L"c", L"width=\"1\"");
  EXPECT_EQ(window.GetClassAttributes(L"c"), L"width=\"1\"");
  EXPECT_EQ(window.GetClassAttributes(L"d"), L"");

  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {{L"", L""}, {L"main", L"main\\"}, {L"main\\", L"main\\"}, {L"main/", L"main/"}};
  for (const Case& c : cases) {
    window.SetResourceSubfolder(c.in);
    EXPECT_EQ(window.GetResourceSubfolder(), c.out);
  }
}

TEST(WindowRegistryTest, HitTestTakesTheTopMostVisibleMouseEnabledControl) {
  TestWindow window;
  Box* root = new Box();
  Control* under = new Control();
  Control* over = new Control();
  Control* floating = new Control();
  floating->ApplyAttribute(L"float", L"true");
  root->AddChild(under);
  root->AddChild(over);
  root->AddChild(floating);
  window.AttachRoot(root);
  root->GetLayout()->SetPadding(R(10, 10, 10, 10), false);
  root->SetBounds(R(0, 0, 100, 100));
  under->SetBounds(R(0, 0, 60, 60));
  over->SetBounds(R(20, 20, 60, 60));
  floating->SetBounds(R(92, 92, 98, 98));

  struct Case {
    Point point;
    Control* expected;
  } cases[] = {
      {{30, 30}, over},   {{15, 15}, under},     {{70, 70}, root},       {{200, 5}, nullptr},
      {{5, 5}, root},  // inside a child but outside the padded content: the box itself
      {{95, 95}, floating},  // a floating child counts even outside the content
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window.FindControl(c.point), c.expected) << c.point.x << "," << c.point.y;
  }
  over->SetMouseEnabled(false);
  EXPECT_EQ(window.FindControl(Point{30, 30}), under);
  under->SetVisible(false);
  EXPECT_EQ(window.FindControl(Point{30, 30}), root);
}

TEST(WindowRegistryTest, TabFocusWrapsBothWays) {
  TestWindow window;
  Box* root = new Box();
  Control* a = Named(L"a");
  Control* b = Named(L"b");
  Control* c = Named(L"c");
  Box* inner = new Box();
  inner->AddChild(b);
  root->AddChild(a);
  root->AddChild(inner);
  root->AddChild(c);
  window.AttachRoot(root);

  // While an arrange pass is pending forward only repaints.
  EXPECT_TRUE(window.MoveTabFocus(true));
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
  window.SetArrangePending(false);

  std::vector<std::wstring> order;
  for (int i = 0; i < 4; ++i) {
    window.MoveTabFocus(true);
    order.push_back(window.GetFocusedControl()->GetName());
  }
  EXPECT_EQ(order, (std::vector<std::wstring>{L"a", L"b", L"c", L"a"}));
  window.MoveTabFocus(false);
  EXPECT_EQ(window.GetFocusedControl(), c);  // backward from the first wraps to the last
  window.MoveTabFocus(false);
  EXPECT_EQ(window.GetFocusedControl(), b);
  // Disabled controls are skipped.
  c->SetEnabled(false);
  window.MoveTabFocus(true);
  EXPECT_EQ(window.GetFocusedControl(), a);
}

TEST(WindowRegistryTest, ReplacedRootLivesUntilTheDeferredDeletion) {
  TestWindow window;
  Control* oldRoot = Named(L"old");
  window.AttachRoot(oldRoot);
  window.SetFocusedControl(oldRoot);
  bool oldRootAlive = true;
  auto flag = oldRoot->ObtainWeakFlag();
  Control* newRoot = Named(L"new");
  EXPECT_TRUE(window.AttachRoot(newRoot));
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
  EXPECT_FALSE(flag.expired());
  EXPECT_EQ(oldRoot->GetParent(), nullptr);
  EXPECT_EQ(window.FindControlByName(L"new"), newRoot);
  window.DeleteDeferredControls();
  oldRootAlive = !flag.expired();
  EXPECT_EQ(window.FindControlByName(L"old"), nullptr);
  EXPECT_FALSE(oldRootAlive);
  EXPECT_EQ(window.GetRoot(), newRoot);
  EXPECT_FALSE(window.AttachRoot(nullptr));
  window.DeleteDeferredControls();
}

TEST(WindowRegistryTest, ARebuiltTreeKeepsItsNamesWhenTheOldOneIsDeleted) {
  TestWindow window;
  Box* oldRoot = new Box();
  oldRoot->AddChild(Named(L"btn_close"));
  oldRoot->AddChild(Named(L"only_old"));
  window.AttachRoot(oldRoot);
  Box* newRoot = new Box();
  Control* fresh = Named(L"btn_close");
  newRoot->AddChild(fresh);
  window.AttachRoot(newRoot);
  window.DeleteDeferredControls();
  EXPECT_EQ(window.FindControlByName(L"btn_close"), fresh);
  EXPECT_EQ(window.FindControlByName(L"only_old"), nullptr);
}

TEST(WindowRegistryTest, InitialSizeAndCloseEvent) {
  ui_test::ScopedDpi dpi(150);
  TestWindow window;
  const Rect padding = window.GetShadow().padding;
  EXPECT_EQ(padding.left, 21);  // 14 scaled once at construction
  window.SetInitialSize(100, 50, false, true);
  EXPECT_EQ(window.GetInitialSize().cx, 150 + 42);
  EXPECT_EQ(window.GetInitialSize().cy, 75 + 42);
  window.GetShadow().attached = false;
  window.SetInitialSize(10, 20, true, false);
  EXPECT_EQ(window.GetInitialSize().cx, 10);
  EXPECT_EQ(window.GetPreviousInitialSize().cx, 192);

  EXPECT_TRUE(window.FireWindowCloseEvent());
  std::vector<int> log;
  window.AddWindowHandler(kEventWindowClose, [&](EventArgs* args) {
    log.push_back(1);
    EXPECT_EQ(args->sender, nullptr);
    return false;
  });
  window.AddWindowHandler(kEventWindowClose, [&](EventArgs*) {
    log.push_back(2);
    return true;
  });
  window.AddWindowHandler(kEventAll, [&](EventArgs*) {
    log.push_back(3);
    return true;
  });
  EXPECT_TRUE(window.FireWindowCloseEvent());
  EXPECT_EQ(log, (std::vector<int>{1, 3}));
}

int g_becameTop[3];
HWND g_handles[3];

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMsgBecameTopWindow) {
    for (int i = 0; i < 3; ++i) {
      if (g_handles[i] == hwnd) ++g_becameTop[i];
    }
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(WindowRegistryTest, DestroyingTheLastWindowTellsTheNewLastOne) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DvWindowRegistryTest";
  RegisterClassW(&wc);
  TestWindow* windows[3];
  for (int i = 0; i < 3; ++i) {
    g_becameTop[i] = 0;
    g_handles[i] = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, wc.hInstance,
                                   nullptr);
    ASSERT_NE(g_handles[i], nullptr);
    windows[i] = new TestWindow();
    windows[i]->SetHwnd(g_handles[i]);
    UiRuntime::AddWindow(windows[i]);
  }

  // Not the last one: nobody is told.
  delete windows[1];
  EXPECT_EQ(g_becameTop[0] + g_becameTop[2], 0);
  // The last one: the window now last hears it.
  delete windows[2];
  EXPECT_EQ(g_becameTop[0], 1);
  // The only one: nobody is left to tell.
  delete windows[0];
  EXPECT_EQ(g_becameTop[0], 1);
  EXPECT_TRUE(UiRuntime::GetWindows().empty());

  // The initial size resizes a native window only while it has no root.
  TestWindow sized;
  sized.SetHwnd(g_handles[0]);
  sized.GetShadow().attached = false;
  sized.SetInitialSize(120, 80, false, false);
  RECT rect;
  GetWindowRect(g_handles[0], &rect);
  EXPECT_EQ(rect.right - rect.left, 120);
  sized.AttachRoot(new Control());
  sized.SetInitialSize(200, 90, false, false);
  GetWindowRect(g_handles[0], &rect);
  EXPECT_EQ(rect.right - rect.left, 120);
  EXPECT_EQ(sized.GetInitialSize().cx, 200);
  sized.SetHwnd(nullptr);
  for (HWND hwnd : g_handles) DestroyWindow(hwnd);
}

// A kill-focus handler that deletes a control: the new focus is not touched once it is freed,
// and a surviving new control still takes the focus after the old one was deleted.
TEST(WindowRegistryTest, KillFocusHandlerDeletesTheOldOrTheNewControl) {
  for (bool deleteNew : {true, false}) {
    SCOPED_TRACE(deleteNew ? "the new control deleted" : "the old control deleted");
    ui_test::KeptMemoryCheck check;
    TestWindow window;
    Box* root = new Box();
    root->SetDefersChildDeletion(false);
    window.AttachRoot(root);
    auto* old = new ui_test::Kept<Control>();
    auto* next = new ui_test::Kept<Control>();
    root->AddChild(old);
    root->AddChild(next);
    window.SetFocusedControl(old);
    ASSERT_EQ(window.GetFocusedControl(), old);
    int kills = 0;
    old->AddEventHandler(kEventKillFocus, [&, deleteNew](EventArgs*) {
      ++kills;
      root->RemoveChild(deleteNew ? static_cast<Control*>(next) : static_cast<Control*>(old));
      return true;
    });
    Control* survivor = deleteNew ? static_cast<Control*>(old) : static_cast<Control*>(next);
    window.SetFocusedControl(next);
    EXPECT_EQ(kills, 1);
    EXPECT_EQ(window.GetFocusedControl(), deleteNew ? nullptr : survivor);
    EXPECT_EQ(survivor->IsFocused(), !deleteNew);
    EXPECT_EQ(ui_test::KeptDeletions(), 1);
    EXPECT_TRUE(ui_test::FreedMemoryUntouched());
  }
}

// Attaching the root again, even while an earlier replacement has it queued for deletion,
// keeps it: the deferred deletion frees only the roots that were really replaced.
TEST(WindowRegistryTest, AttachingTheAttachedRootAgainKeepsIt) {
  ui_test::KeptMemoryCheck check;
  TestWindow window;
  auto* first = new ui_test::Kept<Box>();
  first->AddChild(Named(L"first_child"));
  auto* second = new ui_test::Kept<Box>();
  window.AttachRoot(first);
  // A handler of the root's own tree rebuilds with the same root.
  first->GetChildAt(0)->AddEventHandler(kEventClick, [&](EventArgs*) {
    window.AttachRoot(first);
    return true;
  });
  first->GetChildAt(0)->RaiseEvent(kEventClick);
  bool handled = false;
  window.DispatchToControls(kMsgDeleteDeferred, 0, 0, handled);
  EXPECT_EQ(ui_test::KeptDeletions(), 0);
  EXPECT_EQ(window.GetRoot(), first);
  EXPECT_EQ(window.FindControlByName(L"first_child"), first->GetChildAt(0));

  // Replaced, then attached again before the deletion runs: only the second root goes.
  window.AttachRoot(second);
  window.AttachRoot(first);
  window.DispatchToControls(kMsgDeleteDeferred, 0, 0, handled);
  EXPECT_EQ(ui_test::KeptDeletions(), 1);
  EXPECT_EQ(window.GetRoot(), first);
  EXPECT_EQ(first->GetOwnerWindow(), &window);
  EXPECT_TRUE(ui_test::FreedMemoryUntouched());
}

}  // namespace
