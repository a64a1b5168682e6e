// The virtual list over a provider of 1000 items of height 20 with a pool of 12 in a view 200
// high: where the pool is placed and what it is filled with as the view scrolls, the keys,
// refreshing after the item count changes, and the lists the pool cannot cover (height 0, a
// pool no larger than the view, no provider).

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/controls/scroll_bar.h"
#include "ui/controls/virtual_list_box.h"
#include "ui/core/control_test_support.h"
#include "ui/markup/markup_builder.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::R;
using ui_test::TestWindow;

namespace {

class Items : public IListItemProvider {
 public:
  Control* CreateItem() override {
    ++created;
    auto* element = new ListContainerElement();
    element->ApplyAttribute(L"height", L"20");
    return element;
  }
  void FillItem(Control* element, int index) override {
    static_cast<ListContainerElement*>(element)->SetText(L"item " + std::to_wstring(index));
    fills[element] = index;
  }
  int ItemCount() override { return count; }

  int count = 1000;
  int created = 0;
  std::map<Control*, int> fills;  // the latest item each element was filled with
};

// Records the arrow keys given to the hooks.
class HookedList : public VirtualListBox {
 public:
  void HandleArrowKeyDown(int key) override { keys.push_back(key); }
  void HandleArrowKeyUp(int key) override { keys.push_back(-key); }
  std::vector<int> keys;
};

class VirtualListTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override {
    window_.reset();
    UiRuntime::Uninitialize();
  }

  // Configured in the documented order, then given a 200 x 200 view.
  VirtualListBox* Make(int itemHeight, int pool, IListItemProvider* provider, VirtualListBox* list = nullptr) {
    list_ = list ? list : new VirtualListBox();
    list_->ApplyAttribute(L"vscrollbar", L"true");
    window_->AttachRoot(list_);
    list_->AddEventHandler(kEventSelect, [this](EventArgs*) {
      ++selects_;
      return true;
    });
    list_->SetItemProvider(provider);
    list_->SetItemHeight(itemHeight);
    list_->InitItems(pool);
    list_->SetBounds(R(0, 0, 200, 200));
    return list_;
  }
  Control* Element(int k) { return list_->GetChildAt(k); }
  int Top(int k) { return Element(k)->GetBounds().top; }
  std::wstring Text(int k) { return static_cast<ListContainerElement*>(Element(k))->GetText(); }
  void Scroll(int y) { list_->SetScrollOffset(Size{0, y}); }
  void Key(wchar_t key, EventType type = kEventKeyDown) {
    EventArgs args;
    args.type = type;
    args.sender = list_;
    args.keyChar = key;
    list_->DispatchEvent(&args);
  }

  std::unique_ptr<TestWindow> window_ = std::make_unique<TestWindow>();
  VirtualListBox* list_ = nullptr;
  Items items_;
  int selects_ = 0;
};

TEST_F(VirtualListTest, PoolSitsOneItemAboveTheViewAndShowsItemsFromTheTop) {
  Make(20, 12, &items_);
  EXPECT_EQ(items_.created, 12);
  ASSERT_EQ(list_->GetChildCount(), 12u);
  // Content of 1000 x 20 in a view of 200.
  EXPECT_EQ(list_->GetScrollRange().cy, 20000 - 200);
  // Two elements to spare: element 0 waits at item -1 (not filled), 1-11 show items 0-10.
  EXPECT_EQ(Top(0), -20);
  EXPECT_EQ(Element(0)->GetBounds().bottom, 0);
  items_.fills.clear();
  list_->RecycleItems(true);
  EXPECT_EQ(items_.fills.count(Element(0)), 0u);
  for (int k = 1; k < 12; ++k) {
    EXPECT_EQ(Top(k), (k - 1) * 20) << k;
    EXPECT_EQ(items_.fills[Element(k)], k - 1) << k;
    EXPECT_EQ(Element(k)->GetBounds().Width(), 200);
  }
  EXPECT_EQ(Text(11), L"item 10");
}

TEST_F(VirtualListTest, ScrollingMovesThePoolOnlyWhenTheViewLeavesIt) {
  Make(20, 12, &items_);
  items_.fills.clear();
  // Less than an item: the last element still reaches the view's bottom.
  Scroll(10);
  EXPECT_TRUE(items_.fills.empty());
  EXPECT_EQ(Top(0), -20);
  // Past it: every element re-placed from the first item in view down.
  Scroll(25);
  EXPECT_EQ(Top(0), 20);
  EXPECT_EQ(Text(0), L"item 1");
  EXPECT_EQ(Text(11), L"item 12");
  EXPECT_EQ(Top(11), 240);
  // Up while the first element still covers the view's top: nothing moves.
  items_.fills.clear();
  Scroll(22);
  EXPECT_TRUE(items_.fills.empty());
  // Further up: a full placement with the spare element above the view again.
  Scroll(15);
  EXPECT_EQ(Top(0), -20);
  EXPECT_EQ(Top(1), 0);
  EXPECT_EQ(Text(1), L"item 0");
  // A far jump down.
  Scroll(10000);
  EXPECT_EQ(Text(0), L"item 500");
  EXPECT_EQ(Top(0), 10000);
}

TEST_F(VirtualListTest, EndAndHomeScrollWithoutSelectingAndArrowsGoToTheHooks) {
  auto* list = new HookedList();
  Make(20, 12, &items_, list);
  Key(VK_END);
  EXPECT_EQ(list_->GetScrollOffset().cy, 19800);
  // The last item is shown at the bottom of the content; nothing is selected.
  bool lastShown = false;
  for (int k = 0; k < 12; ++k) {
    if (items_.fills[Element(k)] == 999) {
      lastShown = true;
      EXPECT_EQ(Element(k)->GetBounds().bottom, 20000);
    }
  }
  EXPECT_TRUE(lastShown);
  EXPECT_EQ(list_->SelectedIndex(), -1);
  EXPECT_EQ(selects_, 0);
  Key(VK_HOME);
  EXPECT_EQ(list_->GetScrollOffset().cy, 0);
  EXPECT_EQ(Text(1), L"item 0");

  Key(VK_DOWN);
  Key(VK_DOWN, kEventKeyUp);
  Key(VK_UP);
  EXPECT_EQ(list->keys, (std::vector<int>{VK_DOWN, -VK_DOWN, VK_UP}));
  EXPECT_EQ(list_->SelectedIndex(), -1);
}

TEST_F(VirtualListTest, RefreshAfterTheCountChangesDropsOrAddsElements) {
  Make(20, 12, &items_);
  items_.count = 5;
  list_->RefreshItems();
  // Seven dropped from the front; the rest laid out as a plain list and filled from item 0.
  ASSERT_EQ(list_->GetChildCount(), 5u);
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(Text(k), L"item " + std::to_wstring(k));
    EXPECT_EQ(Top(k), k * 20);
  }
  EXPECT_FALSE(list_->IsVirtual());

  // Back to many: the pool is filled up again and placed over the items.
  items_.count = 1000;
  list_->RefreshItems();
  ASSERT_EQ(list_->GetChildCount(), 12u);
  EXPECT_TRUE(list_->IsVirtual());
  EXPECT_EQ(Top(0), -20);
  EXPECT_EQ(Text(1), L"item 0");

  // Nothing left: no element stays.
  items_.count = 0;
  list_->RefreshItems();
  EXPECT_EQ(list_->GetChildCount(), 0u);
}

TEST_F(VirtualListTest, RemovingAllChildrenReturnsToTheUnplacedState) {
  Make(20, 12, &items_);
  Scroll(500);
  list_->SelectItemAt(3, false, false);
  list_->RemoveAllChildren();
  EXPECT_EQ(list_->GetChildCount(), 0u);
  EXPECT_EQ(list_->SelectedIndex(), -1);
  EXPECT_EQ(list_->GetVerticalScrollBar()->GetScrollPos(), 0);
  // Built again, it is placed from scratch.
  list_->InitItems(12);
  list_->SetBounds(R(0, 0, 200, 201));
  EXPECT_EQ(Top(0), -20);
  EXPECT_EQ(Text(1), L"item 0");
}

TEST_F(VirtualListTest, ListsThePoolCannotCoverPlaceNothingOrOnlyRealElements) {
  // Height 0: nothing placed, no content height, scrolling and refreshing are harmless.
  Make(0, 12, &items_);
  EXPECT_EQ(list_->GetScrollRange().cy, 0);
  EXPECT_EQ(Element(0)->GetBounds().Height(), 0);
  Scroll(100);
  list_->RefreshItems();
  list_->RecycleItems(true);
  EXPECT_EQ(list_->GetChildCount(), 12u);

  // A pool of 8 in a view of 10 items: the pool starts at the first item in view.
  window_ = std::make_unique<TestWindow>();
  Items few;
  Make(20, 8, &few);
  EXPECT_EQ(Top(0), 0);
  EXPECT_EQ(Text(0), L"item 0");
  EXPECT_EQ(Text(7), L"item 7");
  Scroll(100);
  EXPECT_EQ(Text(0), L"item 5");
  Scroll(50);
  EXPECT_EQ(Text(0), L"item 2");
  EXPECT_EQ(Top(0), 40);

  // No provider: no items, no elements.
  window_ = std::make_unique<TestWindow>();
  Make(20, 12, nullptr);
  EXPECT_EQ(list_->GetChildCount(), 0u);
  EXPECT_EQ(list_->ItemCount(), 0);
  list_->RefreshItems();
  EXPECT_EQ(list_->GetChildCount(), 0u);
}

TEST_F(VirtualListTest, MarkupMakesAVirtualListWithItsLayout) {
  std::unique_ptr<Control> built(
      MarkupBuilder().Build(L"<Window><VirtualListBox vscrollbar=\"true\"/></Window>", nullptr, nullptr, nullptr, nullptr));
  auto* list = dynamic_cast<VirtualListBox*>(built.get());
  ASSERT_NE(list, nullptr);
  EXPECT_NE(dynamic_cast<VirtualLayout*>(list->GetLayout()), nullptr);
  EXPECT_NE(list->GetVerticalScrollBar(), nullptr);
}

}  // namespace
