// Buttons, check boxes and options driven by the events a window gives them: activation by
// mouse and keys, toggling, option groups and what their handlers may do to them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/controls/button.h"
#include "ui/core/control_test_support.h"
#include "ui/core/kept_memory.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::R;
using ui_test::TestWindow;

namespace {

class ButtonTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override { UiRuntime::Uninitialize(); }

  // Notes "<name>:<event>" for the events a control raises about itself.
  void Watch(Control* control, const std::string& name) {
    for (EventType type : {kEventClick, kEventSelect, kEventUnselect, kEventMenu}) {
      control->AddEventHandler(type, [this, name, type](EventArgs*) {
        const char* label = type == kEventClick ? "click" : type == kEventSelect ? "select" : type == kEventUnselect ? "unselect" : "menu";
        log_.push_back(name + ":" + label);
        return true;
      });
    }
  }
  static void Send(Control* control, EventType type, wchar_t key = 0, Point point = Point()) {
    EventArgs args;
    args.type = type;
    args.sender = control;
    args.keyChar = key;
    args.mousePoint = point;
    control->DispatchEvent(&args);
  }

  std::vector<std::string> log_;
};

using Log = std::vector<std::string>;

TEST_F(ButtonTest, ButtonRaisesOneClickForMouseSpaceAndEnter) {
  TestWindow window;
  auto* box = new Box();
  box->SetMenuEnabled(true);
  window.AttachRoot(box);
  auto* button = new Button();
  box->AddChild(button);
  button->SetBounds(R(0, 0, 80, 30));
  Watch(button, "b");
  int parentMenus = 0;
  for (EventType type : {kEventRawMenu, kEventMenu}) {
    box->AddEventHandler(type, [&](EventArgs*) {
      ++parentMenus;
      return true;
    });
  }

  Send(button, kEventButtonDown, 0, Point{10, 10});
  Send(button, kEventButtonUp, 0, Point{10, 10});
  EXPECT_EQ(log_, (Log{"b:click"}));
  log_.clear();
  Send(button, kEventKeyDown, L' ');
  Send(button, kEventKeyDown, L'\r');
  Send(button, kEventKeyDown, L'a');
  EXPECT_EQ(log_, (Log{"b:click", "b:click"}));
  log_.clear();

  // A right click without the menu flag goes nowhere, even with a parent that has one.
  Send(button, kEventRawMenu);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(parentMenus, 0);
  button->SetMenuEnabled(true);
  Send(button, kEventRawMenu);
  EXPECT_EQ(log_, (Log{"b:menu"}));
  log_.clear();

  // No keys when keyboard-disabled; no tab stop when disabled; no click when disabled.
  button->SetKeyboardEnabled(false);
  EXPECT_FALSE(button->IsTabStop());
  Send(button, kEventKeyDown, L' ');
  button->SetKeyboardEnabled(true);
  EXPECT_TRUE(button->IsTabStop());
  button->SetEnabled(false);
  EXPECT_FALSE(button->IsTabStop());
  button->PerformAction();
  EXPECT_TRUE(log_.empty());

  // Its text is centred with room below.
  EXPECT_EQ(button->GetTextStyle() & (DT_CENTER | DT_VCENTER), static_cast<UINT>(DT_CENTER | DT_VCENTER));
  EXPECT_EQ(button->GetTextPadding().bottom, DpiScale::Instance().ScaleValue(5));
}

TEST_F(ButtonTest, CheckBoxTogglesWithSelectAndUnselect) {
  TestWindow window;
  auto* box = new Box();
  window.AttachRoot(box);
  auto* check = new CheckBoxBox();
  box->AddChild(check);
  Watch(check, "c");
  Send(check, kEventKeyDown, L' ');
  EXPECT_TRUE(check->IsSelected());
  check->PerformAction();
  EXPECT_FALSE(check->IsSelected());
  check->SetSelected(false, true);  // unchanged: nothing
  check->SetSelected(true, false);  // no event asked for
  EXPECT_EQ(log_, (Log{"c:select", "c:unselect"}));

  // Without a window only the flag changes.
  CheckBox loose;
  loose.ApplyAttribute(L"selected", L"true");
  EXPECT_TRUE(loose.IsSelected());

  // An auto-sized check box with only selected images sizes to its selected image.
  loose.ApplyAttribute(L"width", L"auto");
  loose.ApplyAttribute(L"selectednormalimage", L"missing.png");
  EXPECT_EQ(loose.GetSizingImage(), &loose.GetStateImages().FindSet(kImageKindSelectedBackground)->GetImage(kStateNormal));
}

TEST_F(ButtonTest, OptionsInOneGroupFollowTheEventTable) {
  TestWindow window;
  auto* box = new Box();
  window.AttachRoot(box);
  Option* options[3];
  const char* names[] = {"a", "b", "c"};
  for (int i = 0; i < 3; ++i) {
    options[i] = new Option();
    options[i]->ApplyAttribute(L"group", L"g");  // before attaching: joins on attach
    box->AddChild(options[i]);
    Watch(options[i], names[i]);
  }
  ASSERT_NE(window.GetOptionGroup(L"g"), nullptr);
  EXPECT_EQ(window.GetOptionGroup(L"g")->size(), 3u);
  options[0]->SetSelected(true, false);
  EXPECT_TRUE(log_.empty());

  options[1]->PerformAction();
  EXPECT_EQ(log_, (Log{"b:click", "a:unselect", "c:unselect", "b:select"}));
  EXPECT_FALSE(options[0]->IsSelected());
  EXPECT_TRUE(options[1]->IsSelected());
  log_.clear();

  // Clicking the selected one selects it again and unselects the others again.
  options[1]->PerformAction();
  EXPECT_EQ(log_, (Log{"b:click", "a:unselect", "c:unselect", "b:select"}));
  log_.clear();

  options[2]->SetSelected(true, false);
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(options[1]->IsSelected());
  EXPECT_TRUE(options[2]->IsSelected());

  // Another group name moves the option; an empty one takes it out.
  options[2]->SetGroupName(L"h");
  EXPECT_EQ(window.GetOptionGroup(L"g")->size(), 2u);
  EXPECT_EQ(window.GetOptionGroup(L"h")->size(), 1u);
  log_.clear();
  options[0]->PerformAction();
  EXPECT_EQ(log_, (Log{"a:click", "b:unselect", "a:select"}));
  EXPECT_TRUE(options[2]->IsSelected());
  options[2]->SetGroupName(L"");
  EXPECT_EQ(window.GetOptionGroup(L"h"), nullptr);
  EXPECT_EQ(options[2]->GetGroupName(), L"");
}

TEST_F(ButtonTest, HandlersMayDeleteOrMoveMembersWhileAGroupIsWalked) {
  TestWindow window;
  auto* box = new Box();
  window.AttachRoot(box);
  std::vector<OptionBox*> options;
  for (int i = 0; i < 4; ++i) {
    options.push_back(new OptionBox());
    // "c" hangs on the window without a parent, so a handler may delete it outright.
    if (i == 2) {
      options.back()->AttachTo(&window, nullptr, true);
    } else {
      box->AddChild(options.back());
    }
    options.back()->SetGroupName(L"g");
  }
  // "b" deletes "c" when it is unselected; "d" is moved to another group meanwhile.
  bool deleted = false;
  options[1]->AddEventHandler(kEventUnselect, [&](EventArgs*) {
    if (!deleted) {
      deleted = true;
      delete options[2];
      options[3]->SetGroupName(L"other");
    }
    return true;
  });
  int unselectedD = 0;
  options[3]->AddEventHandler(kEventUnselect, [&](EventArgs*) {
    ++unselectedD;
    return true;
  });
  unselectedD = 0;
  options[0]->SetSelected(true, true);
  EXPECT_TRUE(deleted);
  EXPECT_TRUE(options[0]->IsSelected());
  EXPECT_EQ(window.GetOptionGroup(L"g")->size(), 2u);
  // "d" left the group before its turn: it is not unselected by "a" (its own move raised one).
  EXPECT_EQ(unselectedD, 1);
}

// A select or unselect handler that deletes its check box: nothing touches the freed box after
// the event, whichever base the template has and whichever way the state flips.
template <typename Base>
void CheckBoxDeletedByItsHandler(bool select) {
  ui_test::KeptMemoryCheck check;
  TestWindow window;
  Box* root = new Box();
  root->SetDefersChildDeletion(false);
  window.AttachRoot(root);
  auto* box = new ui_test::Kept<CheckBoxTemplate<Base>>();
  root->AddChild(box);
  if (!select) box->SetSelected(true, false);
  int handled = 0;
  box->AddEventHandler(select ? kEventSelect : kEventUnselect, [&](EventArgs*) {
    ++handled;
    root->RemoveChild(box);
    return true;
  });
  box->SetSelected(select, true);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(root->GetChildCount(), 0u);
  EXPECT_EQ(ui_test::KeptDeletions(), 1);
  EXPECT_TRUE(ui_test::FreedMemoryUntouched());
}

TEST_F(ButtonTest, CheckBoxDeletedByItsSelectHandlerIsNotTouchedAgain) {
  for (bool select : {true, false}) {
    SCOPED_TRACE(select ? "select" : "unselect");
    CheckBoxDeletedByItsHandler<Control>(select);
    CheckBoxDeletedByItsHandler<Box>(select);
  }
}

}  // namespace
