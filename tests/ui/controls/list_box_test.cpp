// The list box and its elements driven by the events a window gives them: selection by code,
// keys and wheel with their event order, the index bookkeeping of insertions, moves and
// removals, scrolling the selection into view (also through a list inside a list), and the
// list markup.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/controls/list_box.h"
#include "ui/core/control_test_support.h"
#include "ui/core/kept_memory.h"
#include "ui/markup/markup_builder.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::R;
using ui_test::TestWindow;

namespace {

using Log = std::vector<std::string>;

class ListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override {
    window_.reset();
    UiRuntime::Uninitialize();
  }

  // A vertical list of count elements 30 high, 200 x 100 at the origin, with a vertical bar.
  ListBox* MakeList(int count) {
    list_ = new ListBox(new VLayout());
    list_->ApplyAttribute(L"vscrollbar", L"true");
    window_->AttachRoot(list_);
    for (int i = 0; i < count; ++i) list_->AddChild(MakeElement(i));
    list_->AddEventHandler(kEventSelect, [this](EventArgs* args) {
      log_.push_back("list:select(" + std::to_string(static_cast<int64_t>(args->wParam)) + "," +
                     std::to_string(static_cast<int64_t>(args->lParam)) + ")");
      return true;
    });
    list_->SetBounds(R(0, 0, 200, 100));
    return list_;
  }
  ListContainerElement* MakeElement(int number) {
    auto* element = new ListContainerElement();
    element->ApplyAttribute(L"height", L"30");
    const std::string name = "e" + std::to_string(number);
    for (EventType type : {kEventSelect, kEventUnselect, kEventMenu, kEventClick, kEventReturn, kEventDoubleClick}) {
      element->AddEventHandler(type, [this, name, type](EventArgs*) {
        const char* label = type == kEventSelect     ? "select"
                            : type == kEventUnselect ? "unselect"
                            : type == kEventMenu     ? "menu"
                            : type == kEventClick    ? "click"
                            : type == kEventReturn   ? "return"
                                                     : "doubleclick";
        log_.push_back(name + ":" + label);
        return true;
      });
    }
    return element;
  }
  ListContainerElement* At(int index) { return dynamic_cast<ListContainerElement*>(list_->GetChildAt(index)); }
  void Key(wchar_t key) { Send(list_, kEventKeyDown, key); }
  static void Send(Control* control, EventType type, wchar_t key = 0, uint64_t wParam = 0) {
    EventArgs args;
    args.type = type;
    args.sender = control;
    args.keyChar = key;
    args.wParam = wParam;
    control->DispatchEvent(&args);
  }
  // Every element's index matches its place and names the list as owner.
  void ExpectNumbered() {
    for (size_t i = 0; i < list_->GetChildCount(); ++i) {
      auto* element = At(static_cast<int>(i));
      if (!element) continue;
      EXPECT_EQ(element->GetIndex(), static_cast<int>(i));
      EXPECT_EQ(element->GetOwner(), list_);
    }
  }

  std::unique_ptr<TestWindow> window_ = std::make_unique<TestWindow>();
  ListBox* list_ = nullptr;
  Log log_;
};

TEST_F(ListBoxTest, SelectingRunsTheEventOrderAndReselectingRepeatsIt) {
  MakeList(4);
  EXPECT_EQ(list_->SelectedIndex(), -1);
  EXPECT_TRUE(list_->SelectItemAt(1, false, true));
  EXPECT_EQ(log_, (Log{"e1:select", "list:select(1,-1)"}));
  log_.clear();

  EXPECT_TRUE(list_->SelectItemAt(2, true, true));
  EXPECT_EQ(log_, (Log{"e1:unselect", "e2:select", "list:select(2,1)"}));
  EXPECT_FALSE(At(1)->IsSelected());
  EXPECT_TRUE(At(2)->IsSelected());
  EXPECT_EQ(window_->GetFocusedControl(), At(2));
  log_.clear();

  // The same element again: unselected, then selected once more.
  EXPECT_TRUE(list_->SelectItemAt(2, false, true));
  EXPECT_EQ(log_, (Log{"e2:unselect", "e2:select", "list:select(2,2)"}));
  log_.clear();

  // Without sendEvent the list and the element stay quiet; the old element is still told.
  EXPECT_TRUE(list_->SelectItemAt(0, false, false));
  EXPECT_EQ(log_, (Log{"e2:unselect"}));
  EXPECT_TRUE(At(0)->IsSelected());
  log_.clear();

  // A click on an element selects it through the list.
  At(3)->PerformAction();
  EXPECT_EQ(log_, (Log{"e3:click", "e0:unselect", "e3:select", "list:select(3,0)"}));
  EXPECT_EQ(list_->SelectedIndex(), 3);
  log_.clear();

  // Unselecting through the element does nothing: the list decides.
  At(3)->SetSelected(false, true);
  EXPECT_TRUE(At(3)->IsSelected());
  EXPECT_EQ(list_->SelectedIndex(), 3);
  EXPECT_TRUE(log_.empty());
}

TEST_F(ListBoxTest, SelectionThatCannotBeMadeLeavesNoneSelected) {
  MakeList(3);
  auto* plain = new Control();
  list_->AddChild(plain);  // index 3: not an element
  At(1)->SetEnabled(false);
  At(2)->SetVisible(false);
  const struct {
    int index;
    const char* why;
  } cases[] = {{1, "disabled"}, {2, "hidden"}, {3, "not an element"}, {4, "past the end"}, {-1, "below 0"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(list_->SelectItemAt(0, false, false));
    EXPECT_FALSE(list_->SelectItemAt(c.index, false, true)) << c.why;
    EXPECT_EQ(list_->SelectedIndex(), -1) << c.why;
    EXPECT_FALSE(At(0)->IsSelected()) << c.why;
  }
  // A disabled element cannot even ask.
  At(1)->PerformAction();
  At(1)->SetSelected(true, true);
  EXPECT_EQ(list_->SelectedIndex(), -1);
}

TEST_F(ListBoxTest, KeysSkipDisabledAndHiddenElements) {
  MakeList(6);
  At(0)->SetEnabled(false);
  At(2)->SetVisible(false);
  At(5)->SetEnabled(false);

  Key(VK_HOME);
  EXPECT_EQ(list_->SelectedIndex(), 1);  // 0 is disabled: the backward search falls forward
  Key(VK_DOWN);
  EXPECT_EQ(list_->SelectedIndex(), 3);  // over the hidden 2
  Key(VK_UP);
  EXPECT_EQ(list_->SelectedIndex(), 1);
  Key(VK_UP);
  EXPECT_EQ(list_->SelectedIndex(), 1);  // nothing above: the forward fallback finds 1 again
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(list_->SelectedIndex(), 4);
  log_.clear();
  // Down on the last selectable one finds nothing forward: the selection is cleared.
  Key(VK_DOWN);
  EXPECT_EQ(list_->SelectedIndex(), -1);
  EXPECT_EQ(log_, (Log{"e4:unselect"}));

  // End with the last one disabled clears the selection.
  list_->SelectItemAt(3, false, false);
  Key(VK_END);
  EXPECT_EQ(list_->SelectedIndex(), -1);

  // With the last enabled, Down on it searches from the last index and reselects it.
  At(5)->SetEnabled(true);
  Key(VK_END);
  EXPECT_EQ(list_->SelectedIndex(), 5);
  log_.clear();
  Key(VK_DOWN);
  EXPECT_EQ(list_->SelectedIndex(), 5);
  EXPECT_EQ(log_, (Log{"e5:unselect", "e5:select", "list:select(5,5)"}));
  // Keys select with focus.
  EXPECT_EQ(window_->GetFocusedControl(), At(5));
}

TEST_F(ListBoxTest, ScrollSelectWheelMovesTheSelection) {
  MakeList(4);
  At(0)->SetEnabled(false);
  list_->ApplyAttribute(L"scrollselect", L"true");
  EXPECT_TRUE(list_->IsScrollSelect());
  // Up without a selection: the backward search from -2 falls forward to the first selectable.
  Send(list_, kEventScrollWheel, 0, static_cast<uint64_t>(int64_t{120}));
  EXPECT_EQ(list_->SelectedIndex(), 1);
  Send(list_, kEventScrollWheel, 0, static_cast<uint64_t>(int64_t{-120}));
  EXPECT_EQ(list_->SelectedIndex(), 2);
  EXPECT_EQ(list_->GetScrollOffset().cy, 0);  // the selected one is in view: no scrolling
  // The wheel over an element reaches the list too.
  Send(At(2), kEventScrollWheel, 0, static_cast<uint64_t>(int64_t{-120}));
  EXPECT_EQ(list_->SelectedIndex(), 3);

  // Any other value turns it off: the wheel scrolls instead.
  list_->ApplyAttribute(L"scrollselect", L"1");
  EXPECT_FALSE(list_->IsScrollSelect());
}

TEST_F(ListBoxTest, RemovingTheSelectedElementSelectsItsSuccessor) {
  MakeList(6);
  list_->SelectItemAt(3, false, false);
  log_.clear();
  EXPECT_TRUE(list_->RemoveElementAt(3));
  // The element before it hears an unselect, the one now at 3 is selected, and the list
  // reports 2 as the previous index.
  EXPECT_EQ(log_, (Log{"e2:unselect", "e4:select", "list:select(3,2)"}));
  EXPECT_EQ(list_->SelectedIndex(), 3);
  ExpectNumbered();
  log_.clear();

  // The last selected and removed: the one before it takes over.
  list_->SelectItemAt(4, false, false);
  EXPECT_TRUE(list_->RemoveChild(At(4)));
  EXPECT_EQ(list_->SelectedIndex(), 3);
  // Removing before the selection moves the index down; after it, nothing.
  EXPECT_TRUE(list_->RemoveElementAt(0));
  EXPECT_EQ(list_->SelectedIndex(), 2);
  EXPECT_TRUE(At(2)->IsSelected());
  ExpectNumbered();
  EXPECT_FALSE(list_->RemoveElementAt(7));
  EXPECT_FALSE(list_->RemoveElementAt(-1));
  Control stranger;
  EXPECT_FALSE(list_->RemoveChild(&stranger));

  list_->RemoveAllChildren();
  EXPECT_EQ(list_->SelectedIndex(), -1);
}

TEST_F(ListBoxTest, InsertingAndMovingKeepTheSelectionOnItsElement) {
  MakeList(4);
  list_->SelectItemAt(2, false, false);
  ListContainerElement* selected = At(2);

  EXPECT_TRUE(list_->InsertElementAt(MakeElement(10), 0));
  EXPECT_EQ(list_->SelectedIndex(), 3);
  EXPECT_TRUE(list_->InsertElementAt(MakeElement(11), 5));  // after it: no change
  EXPECT_EQ(list_->SelectedIndex(), 3);
  ListContainerElement refused;
  EXPECT_FALSE(list_->InsertElementAt(&refused, -1));
  ExpectNumbered();

  const int count = static_cast<int>(list_->GetChildCount());
  EXPECT_TRUE(list_->MoveChildTo(selected, 0));
  EXPECT_EQ(list_->SelectedIndex(), 0);
  EXPECT_TRUE(list_->MoveChildTo(At(count - 1), 1));  // moved ahead of nothing selected
  EXPECT_EQ(list_->SelectedIndex(), 0);
  EXPECT_TRUE(list_->MoveChildTo(At(0), count - 1));
  EXPECT_EQ(list_->SelectedIndex(), count - 1);
  EXPECT_EQ(At(count - 1), selected);
  EXPECT_TRUE(list_->MoveChildTo(selected, count - 1));  // same place
  EXPECT_FALSE(list_->MoveChildTo(selected, count));
  Control stranger;
  EXPECT_FALSE(list_->MoveChildTo(&stranger, 0));
  ExpectNumbered();
}

TEST_F(ListBoxTest, SelectingOutOfViewScrollsJustEnough) {
  MakeList(10);  // content 300 high in a 100-high view
  ASSERT_EQ(list_->GetScrollRange().cy, 200);
  list_->SelectItemAt(5, false, false);  // 150..180: its bottom meets the view's
  EXPECT_EQ(list_->GetScrollOffset().cy, 80);
  list_->SelectItemAt(4, false, false);  // 120..150 is inside 80..180
  EXPECT_EQ(list_->GetScrollOffset().cy, 80);
  list_->SelectItemAt(1, false, false);  // its top meets the view's
  EXPECT_EQ(list_->GetScrollOffset().cy, 30);
  Key(VK_END);
  EXPECT_EQ(list_->GetScrollOffset().cy, 200);

  EXPECT_TRUE(list_->ScrollElementToTop(At(3)));
  EXPECT_EQ(list_->GetScrollOffset().cy, 90);
  list_->SetScrollOffset(Size{0, 100});
  EXPECT_EQ(list_->TopVisibleElement(), At(3));  // 90..120 reaches into the view at 100
  At(4)->SetName(L"four");
  EXPECT_TRUE(list_->ScrollElementToTopByName(L"four"));
  EXPECT_EQ(list_->GetScrollOffset().cy, 120);
  EXPECT_FALSE(list_->ScrollElementToTopByName(L"none"));

  // A press on the list stops a gliding scroll at once.
  list_->LineDown(60, true);
  ASSERT_TRUE(list_->GetLineScrollPlayer().playing);
  Send(list_, kEventRawDoubleClick);
  EXPECT_FALSE(list_->GetLineScrollPlayer().playing);
  EXPECT_EQ(list_->GetState(), kStatePushed);
}

TEST_F(ListBoxTest, ListInsideAnElementScrollsItsOuterListToo) {
  MakeList(3);  // 0..30, 30..60, 60..90
  // The outer list's last element grows to 150 and holds an inner list of 5 rows 30 high in
  // a 60-high view at its top.
  auto* holder = At(2);
  holder->ApplyAttribute(L"height", L"150");
  auto* inner = new ListBox(new VLayout());
  inner->ApplyAttribute(L"vscrollbar", L"true");
  inner->ApplyAttribute(L"height", L"60");
  inner->ApplyAttribute(L"valign", L"top");
  holder->AddChild(inner);
  std::vector<ListContainerElement*> rows;
  for (int i = 0; i < 5; ++i) {
    rows.push_back(MakeElement(20 + i));
    inner->AddChild(rows.back());
  }
  list_->SetBounds(R(0, 0, 200, 100));  // content 210: range 110
  ASSERT_EQ(inner->GetBounds().top, 60);
  ASSERT_EQ(inner->GetScrollRange().cy, 90);

  // Row 0 (60..90) is inside both views.
  inner->SelectItemAt(0, false, false);
  EXPECT_EQ(inner->GetScrollOffset().cy, 0);
  EXPECT_EQ(list_->GetScrollOffset().cy, 0);
  // Row 1 (90..120) is inside the inner view but below the outer one: the outer list scrolls.
  inner->SelectItemAt(1, false, false);
  EXPECT_EQ(inner->GetScrollOffset().cy, 0);
  EXPECT_EQ(list_->GetScrollOffset().cy, 20);
  // Row 3 is below the inner view: the inner list scrolls, the outer one stays.
  inner->SelectItemAt(3, false, false);
  EXPECT_EQ(inner->GetScrollOffset().cy, 60);
  EXPECT_EQ(list_->GetScrollOffset().cy, 20);
}

TEST_F(ListBoxTest, ElementInputMenuDoubleClickReturnAndHiding) {
  MakeList(3);
  // A right click (the raw menu event) selects before the menu event reaches the handlers.
  Send(At(1), kEventRawMenu);
  EXPECT_EQ(log_, (Log{"e1:select", "list:select(1,-1)", "e1:menu"}));
  log_.clear();
  // Disabled: a menu only with the menu flag, and no selection.
  At(0)->SetEnabled(false);
  Send(At(0), kEventRawMenu);
  EXPECT_TRUE(log_.empty());
  At(0)->SetMenuEnabled(true);
  Send(At(0), kEventRawMenu);
  EXPECT_EQ(log_, (Log{"e0:menu"}));
  EXPECT_EQ(list_->SelectedIndex(), 1);
  log_.clear();

  Send(At(2), kEventRawDoubleClick);
  Send(At(2), kEventKeyDown, VK_RETURN);
  EXPECT_EQ(log_, (Log{"e2:doubleclick", "e2:return"}));
  log_.clear();
  Send(At(2), kEventKeyDown, VK_SPACE);
  EXPECT_EQ(log_, (Log{"e2:click", "e1:unselect", "e2:select", "list:select(2,1)"}));
  log_.clear();

  // Mouse events of a mouse-blind element go to the list.
  At(2)->SetMouseEnabled(false);
  list_->ApplyAttribute(L"scrollselect", L"true");
  Send(At(2), kEventScrollWheel, 0, static_cast<uint64_t>(int64_t{120}));
  EXPECT_EQ(list_->SelectedIndex(), 1);
  log_.clear();

  // Hiding the selected element at once (no hide effect) clears the list's selection.
  At(1)->SetFadeVisible(false);
  EXPECT_FALSE(At(1)->IsVisible());
  EXPECT_FALSE(At(1)->IsSelected());
  EXPECT_EQ(list_->SelectedIndex(), -1);
  EXPECT_EQ(log_, (Log{"e1:unselect"}));
}

TEST_F(ListBoxTest, ElementsOfAnOptionGroupIgnoreTheGroupsUnselect) {
  MakeList(0);
  // The group's walk over other members would unselect them; the list alone decides.
  for (int i = 0; i < 3; ++i) {
    auto* element = MakeElement(i);
    element->ApplyAttribute(L"group", L"g");
    list_->AddChild(element);
  }
  list_->SelectItemAt(0, false, true);
  log_.clear();
  list_->SelectItemAt(2, false, true);
  EXPECT_EQ(log_, (Log{"e0:unselect", "e2:select", "list:select(2,0)"}));
  EXPECT_TRUE(At(2)->IsSelected());
  EXPECT_FALSE(At(0)->IsSelected());
}

TEST_F(ListBoxTest, HandlerThatClearsTheListDuringTheSelectIsSafe) {
  MakeList(3);
  At(1)->AddEventHandler(kEventSelect, [this](EventArgs*) {
    list_->RemoveAllChildren();
    return true;
  });
  EXPECT_TRUE(list_->SelectItemAt(1, true, true));
  EXPECT_EQ(list_->GetChildCount(), 0u);
  EXPECT_EQ(list_->SelectedIndex(), -1);
}

TEST_F(ListBoxTest, MarkupMakesEachListKindWithItsElements) {
  const struct {
    const wchar_t* element;
    bool vertical;
  } kinds[] = {{L"ListBox", false}, {L"VListBox", true}, {L"HListBox", false}, {L"TileListBox", false}};
  for (const auto& kind : kinds) {
    const std::wstring markup = std::wstring(L"<Window><") + kind.element +
                                L" scrollselect=\"true\"><ListContainerElement text=\"a\"/><ListContainerElement/>"
                                L"<Control/></" + kind.element + L"></Window>";
    MarkupBuilder builder;
    Control* built = builder.Build(markup.c_str(), nullptr, nullptr, nullptr, nullptr);
    auto* list = dynamic_cast<ListBox*>(built);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->IsScrollSelect());
    EXPECT_EQ(dynamic_cast<VLayout*>(list->GetLayout()) != nullptr, kind.vertical);
    ASSERT_EQ(list->GetChildCount(), 3u);
    auto* second = dynamic_cast<ListContainerElement*>(list->GetChildAt(1));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetIndex(), 1);
    EXPECT_EQ(second->GetOwner(), list);
    EXPECT_EQ(second->GetTextStyle(), static_cast<UINT>(DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_END_ELLIPSIS));
    EXPECT_FALSE(second->ReceivesPointer());
    delete built;
  }
  std::unique_ptr<Control> horizontal(MarkupBuilder::CreateBuiltinControl(L"HListBox"));
  EXPECT_NE(dynamic_cast<HLayout*>(dynamic_cast<ListBox*>(horizontal.get())->GetLayout()), nullptr);
}

// Selecting an element out of view scrolls the list; a scroll handler that deletes the list
// or the element leaves the selection without touching either again.
TEST_F(ListBoxTest, AScrollHandlerMayDeleteTheListOrTheElementBeingSelected) {
  for (bool deleteList : {true, false}) {
    SCOPED_TRACE(deleteList ? "the list deleted" : "the element deleted");
    ui_test::KeptMemoryCheck check;
    TestWindow window;
    Box* root = new Box();
    root->SetDefersChildDeletion(false);
    window.AttachRoot(root);
    auto* list = new ui_test::Kept<ListBox>(new VLayout());
    list->ApplyAttribute(L"vscrollbar", L"true");
    list->SetDefersChildDeletion(false);
    root->AddChild(list);
    for (int i = 0; i < 8; ++i) {
      auto* element = new ui_test::Kept<ListContainerElement>();
      element->ApplyAttribute(L"height", L"30");
      list->AddChild(element);
    }
    list->SetBounds(R(0, 0, 200, 100));
    Control* target = list->GetChildAt(6);
    int scrolls = 0;
    list->AddEventHandler(kEventScrollChange, [&, deleteList](EventArgs*) {
      if (scrolls++ == 0) deleteList ? root->RemoveChild(list) : list->RemoveChild(target);
      return true;
    });
    list->SelectItemAt(6, true, true);
    EXPECT_GE(scrolls, 1);
    EXPECT_EQ(window.GetFocusedControl(), nullptr);
    EXPECT_EQ(ui_test::KeptDeletions(), deleteList ? 9 : 1);
    EXPECT_TRUE(ui_test::FreedMemoryUntouched());
  }
}

}  // namespace
