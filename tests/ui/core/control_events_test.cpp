// Event dispatch through the handler maps, the default processing and its states, and the
// handlers of markup events.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/core/control_test_support.h"

using namespace ui;
using ui_test::ProbeControl;
using ui_test::R;
using ui_test::TestWindow;

namespace {

EventHandler Log(std::vector<std::string>& log, const std::string& name, bool result) {
  return [&log, name, result](EventArgs*) {
    log.push_back(name);
    return result;
  };
}

TEST(ControlDispatchTest, HandlerOrderAndResults) {
  struct Case {
    const char* title;
    bool codeClick, codeAll, markupClick, markupAll;  // handler results; each map has both
    std::vector<std::string> expected;
    bool processed;
  } cases[] = {
      {"all true", true, true, true, true, {"code", "code-all", "markup", "markup-all"}, true},
      // A false code handler is overruled by a true kEventAll code handler.
      {"code false, all true", false, true, true, true, {"code", "code-all", "markup", "markup-all"}, true},
      {"code-all false", true, false, true, true, {"code", "code-all"}, false},
      {"markup false, all true", true, true, false, true, {"code", "code-all", "markup", "markup-all"}, true},
      {"markup-all false", true, true, true, false, {"code", "code-all", "markup", "markup-all"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> log;
    ProbeControl control;
    control.AddEventHandler(kEventClick, Log(log, "code", c.codeClick));
    control.AddEventHandler(kEventAll, Log(log, "code-all", c.codeAll));
    control.AddMarkupEventHandler(kEventClick, Log(log, "markup", c.markupClick));
    control.AddMarkupEventHandler(kEventAll, Log(log, "markup-all", c.markupAll));
    control.RaiseEvent(kEventClick);
    EXPECT_EQ(log, c.expected) << c.title;
    EXPECT_EQ(!control.processed.empty(), c.processed) << c.title;
  }

  // Without a kEventAll list a false code handler ends the dispatch; later handlers of the
  // same list do not run.
  std::vector<std::string> log;
  ProbeControl control;
  control.AddEventHandler(kEventClick, Log(log, "first", false));
  control.AddEventHandler(kEventClick, Log(log, "second", true));
  control.AddMarkupEventHandler(kEventClick, Log(log, "markup", true));
  control.RaiseEvent(kEventClick);
  EXPECT_EQ(log, std::vector<std::string>{"first"});
  EXPECT_TRUE(control.processed.empty());
}

TEST(ControlDispatchTest, RawEventsAndEventsOfOthersSkipHandlers) {
  std::vector<std::string> log;
  ProbeControl control;
  control.AddEventHandler(kEventAll, Log(log, "all", false));
  for (EventType raw : {kEventRawDoubleClick, kEventRawMenu, kEventRawSetFocus, kEventRawKillFocus}) {
    control.RaiseEvent(raw);
  }
  ProbeControl other;
  EventArgs foreign;
  foreign.type = kEventClick;
  foreign.sender = &other;
  control.DispatchEvent(&foreign);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(control.processed.size(), 5u);
}

TEST(ControlDispatchTest, HandlerDeletingItsControlEndsTheDispatch) {
  struct Case {
    bool inCode;  // the deleting handler is a code handler, else a markup one
    bool result;  // what it returns
  } cases[] = {{true, true}, {true, false}, {false, true}};
  for (const Case& c : cases) {
    TestWindow window;
    std::vector<std::string> log;
    ProbeControl* control = new ProbeControl();
    control->AttachTo(&window, nullptr, false);
    auto killer = [&log, control, c](EventArgs*) {
      log.push_back("killer");
      delete control;
      return c.result;
    };
    if (c.inCode) {
      control->AddEventHandler(kEventClick, killer);
      control->AddEventHandler(kEventClick, Log(log, "after", true));
    } else {
      control->AddMarkupEventHandler(kEventClick, killer);
      control->AddMarkupEventHandler(kEventClick, Log(log, "after", true));
    }
    control->AddEventHandler(kEventAll, Log(log, "code-all", true));
    control->AddMarkupEventHandler(kEventAll, Log(log, "markup-all", true));
    control->RaiseEvent(kEventClick);
    // A markup handler runs after the code lists; nothing runs after the deleting handler.
    const std::vector<std::string> expected =
        c.inCode ? std::vector<std::string>{"killer"} : std::vector<std::string>{"code-all", "killer"};
    EXPECT_EQ(log, expected) << c.inCode << c.result;
  }
}

TEST(ControlDispatchTest, RaisedEventsCarryTheWindowsLastMousePoint) {
  TestWindow window;
  window.SetLastMousePoint(Point{33, 44});
  Control* control = new Control();
  window.AttachRoot(control);
  std::vector<Point> points;
  control->AddEventHandler(kEventAll, [&](EventArgs* args) {
    points.push_back(args->mousePoint);
    EXPECT_EQ(args->sender, control);
    EXPECT_NE(args->timestamp, 0u);
    return true;
  });
  control->RaiseEvent(kEventKeyDown, 1, 2, L'A');
  control->RaiseEvent(kEventMouseMove, 0, 0, 0, Point{0, 0});
  control->RaiseEvent(kEventMouseMove, 0, 0, 0, Point{5, 0});
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].x, 33);
  EXPECT_EQ(points[1].y, 44);
  EXPECT_EQ(points[2].x, 5);
  EXPECT_EQ(points[2].y, 0);
}

// A root box with one child at (10, 10)-(50, 50).
class ControlStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = new Box();
    child_ = new ProbeControl();
    root_->AddChild(child_);
    window_.AttachRoot(root_);
    root_->SetBounds(R(0, 0, 100, 100));
    child_->SetBounds(R(10, 10, 50, 50));
  }

  void Mouse(Control* target, EventType type, int x, int y) {
    window_.SetLastMousePoint(Point{x, y});
    target->RaiseEvent(type, 0, 0, 0, Point{x, y});
  }

  TestWindow window_;
  Box* root_ = nullptr;
  ProbeControl* child_ = nullptr;
};

TEST_F(ControlStateTest, PressOutBackInRelease) {
  struct Step {
    EventType type;
    int x, y;
    ControlState state;
    int actions;
  };
  struct Case {
    const char* title;
    std::vector<Step> steps;
  } cases[] = {
      {"click",
       {{kEventMouseEnter, 20, 20, kStateHot, 0},
        {kEventButtonDown, 20, 20, kStatePushed, 0},
        {kEventButtonUp, 20, 20, kStateHot, 1}}},
      {"out before release",
       {{kEventMouseEnter, 20, 20, kStateHot, 0},
        {kEventButtonDown, 20, 20, kStatePushed, 0},
        {kEventMouseLeave, 80, 80, kStatePushed, 0},
        {kEventButtonUp, 80, 80, kStateNormal, 0}}},
      {"out and back in",
       {{kEventButtonDown, 20, 20, kStatePushed, 0},
        {kEventMouseLeave, 80, 80, kStatePushed, 0},
        {kEventMouseEnter, 30, 30, kStatePushed, 0},
        {kEventButtonUp, 30, 30, kStateHot, 1}}},
      {"release without press", {{kEventButtonUp, 20, 20, kStateNormal, 0}}},
      {"pointer release leaves no hover",
       {{kEventPointerDown, 20, 20, kStatePushed, 0}, {kEventPointerUp, 20, 20, kStateNormal, 1}}},
      {"double click presses", {{kEventRawDoubleClick, 20, 20, kStatePushed, 0}}},
  };
  for (const Case& c : cases) {
    child_->ApplyAttribute(L"state", L"normal");
    child_->SetMouseDown(false);
    child_->actions = 0;
    for (const Step& step : c.steps) {
      Mouse(child_, step.type, step.x, step.y);
      EXPECT_EQ(child_->GetState(), step.state) << c.title << " event " << step.type;
      EXPECT_EQ(child_->actions, step.actions) << c.title << " event " << step.type;
    }
  }
}

TEST_F(ControlStateTest, DisabledFocusAndPointerRules) {
  // A disabled control is not pressed.
  child_->SetEnabled(false);
  Mouse(child_, kEventButtonDown, 20, 20);
  EXPECT_EQ(child_->GetState(), kStateDisabled);
  child_->SetEnabled(true);

  // Focus look.
  window_.SetFocusedControl(child_);
  EXPECT_EQ(child_->GetState(), kStateHot);
  EXPECT_EQ(child_->GetHoverBlend(), 255);
  window_.SetFocusedControl(nullptr);
  EXPECT_EQ(child_->GetState(), kStateNormal);
  EXPECT_FALSE(child_->IsFocused());

  // Without "receivepointer" pointer events go to the parent.
  child_->ApplyAttribute(L"receivepointer", L"false");
  Mouse(child_, kEventPointerDown, 20, 20);
  EXPECT_EQ(child_->GetState(), kStateNormal);
  EXPECT_EQ(root_->GetState(), kStatePushed);
}

TEST_F(ControlStateTest, MouseDisabledChildPassesMouseEventsToItsParent) {
  child_->SetMouseEnabled(false);
  Mouse(child_, kEventButtonDown, 20, 20);
  EXPECT_EQ(child_->GetState(), kStateNormal);
  EXPECT_EQ(root_->GetState(), kStatePushed);
  EXPECT_TRUE(root_->IsMouseDown());
  // Keys are not mouse events: the child's default processing sees them.
  child_->processed.clear();
  child_->RaiseEvent(kEventKeyDown);
  EXPECT_EQ(child_->processed, std::vector<EventType>{kEventKeyDown});
}

TEST_F(ControlStateTest, MenuAndBubblingEnterLeave) {
  std::vector<Control*> menus;
  root_->AddEventHandler(kEventMenu, [&](EventArgs* args) {
    menus.push_back(args->sender);
    return true;
  });
  // Without the menu flag the raw menu goes to the parent, whose flag decides.
  child_->RaiseEvent(kEventRawMenu, 7, 8);
  EXPECT_TRUE(menus.empty());
  root_->SetMenuEnabled(true);
  child_->RaiseEvent(kEventRawMenu, 7, 8);
  ASSERT_EQ(menus.size(), 1u);
  EXPECT_EQ(menus[0], root_);

  // A mouse enter from a child makes the parent hot while the window hovers inside it; a
  // leave from a child does not make it normal while the hover is still inside.
  window_.SetHoveredControl(child_);
  Mouse(child_, kEventMouseEnter, 20, 20);
  EXPECT_EQ(child_->GetState(), kStateHot);
  EXPECT_EQ(root_->GetState(), kStateHot);
  Mouse(child_, kEventMouseLeave, 60, 60);
  EXPECT_EQ(child_->GetState(), kStateNormal);
  EXPECT_EQ(root_->GetState(), kStateHot);
  window_.SetHoveredControl(nullptr);
  Mouse(child_, kEventMouseEnter, 20, 20);
  Mouse(child_, kEventMouseLeave, 200, 200);
  EXPECT_EQ(root_->GetState(), kStateNormal);
}

TEST(ControlMarkupEventTest, ReceiversInsideAndByWindowName) {
  TestWindow window;
  Box* root = new Box();
  root->ApplyAttribute(L"name", L"root");
  Box* panel = new Box();
  Control* inner = new Control();
  inner->ApplyAttribute(L"name", L"Inner");
  panel->AddChild(inner);
  Control* distant = new Control();
  distant->ApplyAttribute(L"name", L"far");
  root->AddChild(panel);
  root->AddChild(distant);
  window.AttachRoot(root);

  struct Case {
    Control* source;
    const wchar_t* receiver;
    Control* expected;  // null: nobody changes
  } cases[] = {
      {panel, L"./Inner", inner}, {panel, L".\\Inner", inner}, {panel, L"./inner", nullptr},
      {panel, L"./far", nullptr}, {panel, L"far", distant},        {inner, L"root", root},
      {panel, L"nobody", nullptr},
  };
  int serial = 0;
  for (const Case& c : cases) {
    const std::wstring id = std::to_wstring(++serial);
    EventArgs args;
    EXPECT_TRUE(c.source->OnMarkupEvent(c.receiver, L"dataid=\"" + id + L"\"", &args));
    for (Control* control : {static_cast<Control*>(root), static_cast<Control*>(panel), inner, distant}) {
      EXPECT_EQ(control->GetDataId() == id, control == c.expected) << serial;
    }
  }

  // As a handler: a markup "buttondown" event hides a descendant and lets processing go on.
  panel->AddMarkupEventHandler(kEventButtonDown, panel->MakeWeakCallback([panel](EventArgs* args) {
    return panel->OnMarkupEvent(L"./Inner", L"visible=\"false\"", args);
  }));
  panel->RaiseEvent(kEventButtonDown);
  EXPECT_FALSE(inner->IsVisible());
  EXPECT_EQ(panel->GetState(), kStatePushed);
}

}  // namespace
