// A list built from markup in a real window on the display, driven by real clicks, keys and
// wheel notches, and read back from the screen.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ui/controls/list_box.h"
#include "ui/controls/virtual_list_box.h"
#include "ui/core/window_test_support.h"
#include "ui/markup/markup_builder.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 140, kTop = 120;
constexpr int kRow = 30;
constexpr uint32_t kWhite = 0xFFFFFFFFu, kBlue = 0xFF1030D0u;

// Ten rows 30 high in a 200 x 150 list at (20, 20) of a 260 x 200 window.
const wchar_t kMarkup[] =
    L"<Window><Box bkcolor=\"l.white\"><VListBox name=\"list\" margin=\"20,20,0,0\" width=\"200\" height=\"150\" "
    L"vscrollbar=\"true\" scrollselect=\"false\">"
    L"<ListContainerElement height=\"30\" normalcolor=\"l.white\" selectednormalcolor=\"l.blue\" "
    L"selectedhotcolor=\"l.blue\"/>"
    L"</VListBox></Box></Window>";

class ListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::UiRuntime::SetColor(L"l.white", kWhite);
    ui::UiRuntime::SetColor(L"l.blue", kBlue);
    MoveMouseTo(kLeft + 250, kTop + 190);
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 260, kTop + 200}, false);
    ui::MarkupBuilder builder;
    ui::Control* root = builder.Build(kMarkup, nullptr, window.get(), nullptr, nullptr);
    ASSERT_NE(root, nullptr);
    window->AttachRoot(root);
    list = dynamic_cast<ui::ListBox*>(window->FindControlByName(L"list"));
    ASSERT_NE(list, nullptr);
    // The first element came from markup; nine more like it.
    for (int i = 1; i < 10; ++i) {
      auto* element = new ui::ListContainerElement();
      element->ApplyAttributeString(
          L"height=\"30\" normalcolor=\"l.white\" selectednormalcolor=\"l.blue\" selectedhotcolor=\"l.blue\"");
      list->AddChild(element);
    }
    for (int i = 0; i < 10; ++i) Watch(list->GetChildAt(i), "e" + std::to_string(i));
    list->AddEventHandler(ui::kEventSelect, [this](ui::EventArgs* args) {
      events.push_back("list:select(" + std::to_string(static_cast<int64_t>(args->wParam)) + "," +
                       std::to_string(static_cast<int64_t>(args->lParam)) + ")");
      return true;
    });
    PumpUntilPainted(*window);
  }
  void TearDown() override {
    MouseButton(MOUSEEVENTF_LEFTUP);
    MouseButton(MOUSEEVENTF_RIGHTUP);
  }

  void Watch(ui::Control* control, const std::string& name) {
    for (ui::EventType type : {ui::kEventClick, ui::kEventSelect, ui::kEventUnselect, ui::kEventMenu}) {
      control->AddEventHandler(type, [this, name, type](ui::EventArgs*) {
        events.push_back(name + (type == ui::kEventClick    ? ":click"
                                 : type == ui::kEventSelect ? ":select"
                                 : type == ui::kEventMenu   ? ":menu"
                                                            : ":unselect"));
        return true;
      });
    }
  }
  // A real press and release at client (x, y) with the given button flags.
  void Click(int x, int y, DWORD down, DWORD up) {
    MoveMouseTo(kLeft + x, kTop + y);
    MouseButton(down);
    MouseButton(up);
    PumpFor(120);
  }
  void Foreground() {
    SetForegroundWindow(window->GetHwnd());
    SetFocus(window->GetHwnd());
    PumpUntil([&] { return GetForegroundWindow() == window->GetHwnd(); }, 2000);
  }
  void PressKey(WORD vk) {
    Key(vk, false);
    Key(vk, true);
    PumpFor(60);
  }
  Capture Grab() {
    RECT rect{kLeft, kTop, kLeft + 260, kTop + 200};
    return CaptureScreen(rect);
  }

  WindowPtr window;
  ui::ListBox* list = nullptr;
  std::vector<std::string> events;
};

TEST_F(ListWindowTest, RealClicksKeysAndRightClickSelectInOrder) {
  // A left click on row 2 (y 80..110).
  Click(100, 95, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(events, (std::vector<std::string>{"e2:click", "e2:select", "list:select(2,-1)"}));
  EXPECT_EQ(list->SelectedIndex(), 2);
  events.clear();

  // A right click on row 3 selects it before the menu event reaches its handlers.
  Click(100, 125, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
  EXPECT_EQ(events, (std::vector<std::string>{"e2:unselect", "e3:select", "list:select(3,2)", "e3:menu"}));
  EXPECT_EQ(list->SelectedIndex(), 3);
  events.clear();

  // Keys reach the list through the focused element.
  Foreground();
  list->SelectItemAt(3, true, false);
  PressKey(VK_DOWN);
  PumpUntil([&] { return list->SelectedIndex() == 4; }, 2000);
  EXPECT_EQ(list->SelectedIndex(), 4);
  // Row 4 (120..150) is inside the 150-high view: no scrolling yet.
  EXPECT_EQ(list->GetScrollOffset().cy, 0);
  PressKey(VK_DOWN);
  PumpUntil([&] { return list->SelectedIndex() == 5; }, 2000);
  // Row 5 (150..180) just below: scrolled by exactly 30.
  EXPECT_EQ(list->GetScrollOffset().cy, 30);
  events.clear();
  PressKey(VK_END);
  PumpUntil([&] { return list->SelectedIndex() == 9; }, 2000);
  EXPECT_EQ(events, (std::vector<std::string>{"e5:unselect", "e9:select", "list:select(9,5)"}));
  EXPECT_EQ(list->GetScrollOffset().cy, 150);
  PressKey(VK_HOME);
  PumpUntil([&] { return list->SelectedIndex() == 0; }, 2000);
  EXPECT_EQ(list->GetScrollOffset().cy, 0);
}

TEST_F(ListWindowTest, WheelSelectsWithScrollSelectAndTheSelectedRowShowsItsColour) {
  list->ApplyAttribute(L"scrollselect", L"true");
  MoveMouseTo(kLeft + 100, kTop + 60);
  INPUT wheel = {};
  wheel.type = INPUT_MOUSE;
  wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
  wheel.mi.mouseData = static_cast<DWORD>(WHEEL_DELTA);
  // Up with nothing selected selects the first element.
  SendInput(1, &wheel, sizeof(wheel));
  PumpUntil([&] { return list->SelectedIndex() == 0; }, 2000);
  EXPECT_EQ(list->SelectedIndex(), 0);
  wheel.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
  SendInput(1, &wheel, sizeof(wheel));
  SendInput(1, &wheel, sizeof(wheel));
  PumpUntil([&] { return list->SelectedIndex() == 2; }, 2000);
  EXPECT_EQ(list->SelectedIndex(), 2);
  EXPECT_EQ(list->GetScrollOffset().cy, 0);

  // The selected row 2 (y 80..110) is blue, the others white.
  MoveMouseTo(kLeft + 250, kTop + 190);
  PumpFor(200);
  const Capture capture = Grab();
  SaveCapture(capture, "list_box_selected_row");
  EXPECT_TRUE(RgbNear(capture.At(100, 95), kBlue));
  EXPECT_TRUE(RgbNear(capture.At(100, 65), kWhite));
  EXPECT_TRUE(RgbNear(capture.At(100, 125), kWhite));
}

}  // namespace

namespace {

// Items of 20 pixels, each painted in a colour of its own, so a screenshot tells which item
// each row shows.
uint32_t ItemColour(int item) {
  return 0xFF000080u | (static_cast<uint32_t>(item * 29 % 256) << 16) | (static_cast<uint32_t>(item / 8 * 53 % 256) << 8);
}

class ColouredItems : public ui::IListItemProvider {
 public:
  ui::Control* CreateItem() override { return new ui::ListContainerElement(); }
  void FillItem(ui::Control* element, int index) override {
    const std::wstring name = L"item." + std::to_wstring(index);
    ui::UiRuntime::SetColor(name, ItemColour(index));
    element->ApplyAttribute(L"bkcolor", name);
  }
  int ItemCount() override { return 1000; }
};

// A virtual list of 1000 items with a pool of 12 in a 200 x 200 view at (20, 20), from markup.
class VirtualListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::UiRuntime::SetColor(L"l.white", kWhite);
    MoveMouseTo(kLeft + 250, kTop + 230);
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 260, kTop + 240}, false);
    ui::MarkupBuilder builder;
    ui::Control* root = builder.Build(
        L"<Window><Box bkcolor=\"l.white\"><VirtualListBox name=\"items\" margin=\"20,20,0,0\" width=\"200\" "
        L"height=\"200\" vscrollbar=\"true\"/></Box></Window>",
        nullptr, window.get(), nullptr, nullptr);
    ASSERT_NE(root, nullptr);
    window->AttachRoot(root);
    list = dynamic_cast<ui::VirtualListBox*>(window->FindControlByName(L"items"));
    ASSERT_NE(list, nullptr);
    list->SetItemProvider(&items);
    list->SetItemHeight(20);
    list->InitItems(12);
    PumpUntilPainted(*window);
  }
  void TearDown() override { window.reset(); }

  // The view's rows at 10, 30, ... 190 show items (offset + row) / 20.
  void ExpectRowsAt(int offset, const std::string& shot) {
    PumpFor(150);
    RECT rect{kLeft, kTop, kLeft + 260, kTop + 240};
    const Capture capture = CaptureScreen(rect);
    SaveCapture(capture, shot);
    for (int row = 10; row < 200; row += 20) {
      const int item = (offset + row) / 20;
      // Left of the scroll bar, which shows at the right edge while the mouse is over the list.
      EXPECT_TRUE(RgbNear(capture.At(60, 20 + row), ItemColour(item), 3)) << "row " << row << " item " << item;
    }
    EXPECT_TRUE(RgbNear(capture.At(10, 100), kWhite));
  }

  WindowPtr window;
  ui::VirtualListBox* list = nullptr;
  ColouredItems items;
};

TEST_F(VirtualListWindowTest, RealWheelAndEndShowTheItemsInViewFromTheSmallPool) {
  ASSERT_EQ(list->GetScrollRange().cy, 19800);
  ExpectRowsAt(0, "virtual_list_top");

  // Three real notches down glide 120 pixels each.
  MoveMouseTo(kLeft + 60, kTop + 100);
  INPUT wheel = {};
  wheel.type = INPUT_MOUSE;
  wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
  wheel.mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
  for (int i = 0; i < 3; ++i) SendInput(1, &wheel, sizeof(wheel));
  PumpUntil([&] { return list->GetScrollOffset().cy == 360 && !list->GetLineScrollPlayer().playing; }, 3000);
  EXPECT_EQ(list->GetScrollOffset().cy, 360);
  EXPECT_EQ(list->GetChildCount(), 12u);
  ExpectRowsAt(360, "virtual_list_wheel");

  // A real End on the focused list: the last item at the bottom, nothing selected.
  SetForegroundWindow(window->GetHwnd());
  SetFocus(window->GetHwnd());
  PumpUntil([&] { return GetForegroundWindow() == window->GetHwnd(); }, 2000);
  window->SetFocusedControl(list);
  Key(VK_END, false);
  Key(VK_END, true);
  PumpUntil([&] { return list->GetScrollOffset().cy == 19800; }, 2000);
  EXPECT_EQ(list->GetScrollOffset().cy, 19800);
  EXPECT_EQ(list->SelectedIndex(), -1);
  ExpectRowsAt(19800, "virtual_list_end");

  // Outside a re-placement an element's own change repaints again: the bottom row, refilled
  // with item 5, shows it.
  ui::Control* bottom = nullptr;
  for (size_t k = 0; k < list->GetChildCount(); ++k) {
    if (list->GetChildAt(k)->GetBounds().bottom == list->GetBounds().top + 20000) bottom = list->GetChildAt(k);
  }
  ASSERT_NE(bottom, nullptr);
  items.FillItem(bottom, 5);
  PumpFor(150);
  RECT rect{kLeft, kTop, kLeft + 260, kTop + 240};
  EXPECT_TRUE(RgbNear(CaptureScreen(rect).At(60, 20 + 190), ItemColour(5), 3));
}

}  // namespace
