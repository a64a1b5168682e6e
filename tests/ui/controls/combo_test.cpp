// The combo box in real windows: built from markup, opened by a real click into one
// "ComboWnd" pop-up of the items' height below or above it, closed by choosing an item (which
// the closed combo then shows) or by a click outside, and deleted, or its window destroyed,
// while open.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/controls/combo.h"
#include "ui/core/control_test_support.h"
#include "ui/core/window_test_support.h"
#include "ui/markup/markup_builder.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpFor;
using ui_test::PumpUntil;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u, kPale = 0xFFE0E0F0u;
const wchar_t kFont[] = L"combo.test.16";

std::vector<HWND> ComboWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        wchar_t name[32] = {};
        GetClassNameW(hwnd, name, 32);
        if (std::wstring(name) == L"ComboWnd") reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

RECT WindowRectOf(HWND hwnd) {
  RECT rect = {};
  GetWindowRect(hwnd, &rect);
  return rect;
}

bool IsRedInk(uint32_t p) { return Channel(p, 16) > 0xA0 && Channel(p, 8) < 0x60 && Channel(p, 0) < 0x60; }

class ComboTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ui::UiRuntime::RegisterFont(kFont, L"system", 16, false, false, false, false), nullptr);
    ui::UiRuntime::SetColor(L"c.white", kWhite);
    ui::UiRuntime::SetColor(L"c.red", kRed);
    ui::UiRuntime::SetColor(L"c.pale", kPale);
    ui::UiRuntime::SetColor(L"c.drop", 0xFFFFF4D0u);
    MoveMouseTo(5, 5);
  }
  void TearDown() override {
    MouseButton(MOUSEEVENTF_LEFTUP);
    window.reset();
    PumpFor(30);
  }

  // A combo of `items` items 30 pixels high named "Item 0" ... built from markup.
  static ui::Combo* BuildCombo(int items, const std::wstring& attributes = std::wstring()) {
    std::wstring markup = L"<Window><Combo bkcolor=\"c.pale\" dropbox=\"bkcolor='c.drop'\" " + attributes + L">";
    for (int i = 0; i < items; ++i) {
      markup += L"<ListContainerElement height=\"30\" font=\"" + std::wstring(kFont) +
                L"\" normaltextcolor=\"c.red\" textpadding=\"4,0,0,0\" text=\"Item " + std::to_wstring(i) + L"\"/>";
    }
    markup += L"</Combo></Window>";
    ui::MarkupBuilder builder;
    auto* combo = dynamic_cast<ui::Combo*>(builder.Build(markup.c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_NE(combo, nullptr);
    return combo;
  }
  // A 300 x 300 window at (left, top) with the combo at (20, 20, 220, 50).
  void Open(ui::Combo* combo, int left = 120, int top = 100) {
    this->left = left;
    this->top = top;
    this->combo = combo;
    window = OpenWindow(Rect{left, top, left + 300, top + 300}, false);
    root = RootWith(Rect{}, {{combo, Rect{20, 20, 220, 50}}});
    root->ApplyAttribute(L"bkcolor", L"c.white");
    window->AttachRoot(root);
    PumpUntilPainted(*window);
    for (ui::EventType type : {ui::kEventClick, ui::kEventSelect}) {
      combo->AddEventHandler(type, [this](ui::EventArgs* args) {
        events.push_back({args->type, static_cast<int>(args->wParam), static_cast<int>(args->lParam)});
        return true;
      });
    }
  }
  void ClickAt(int x, int y) {  // screen coordinates
    MoveMouseTo(x, y);
    PumpFor(40);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    PumpFor(40);
    MouseButton(MOUSEEVENTF_LEFTUP);
    PumpFor(60);
  }
  HWND OpenByClick() {
    ClickAt(left + 120, top + 35);
    PumpUntil([] { return !ComboWindows().empty(); }, 2000);
    const std::vector<HWND> popups = ComboWindows();
    EXPECT_EQ(popups.size(), 1u);
    // Past the fade-in.
    PumpFor(400);
    return popups.empty() ? nullptr : popups[0];
  }
  HWND OpenInCode() {
    combo->PerformAction();
    const std::vector<HWND> popups = ComboWindows();
    EXPECT_EQ(popups.size(), 1u);
    return popups.empty() ? nullptr : popups[0];
  }
  bool WaitClosed() { return PumpUntil([] { return ComboWindows().empty(); }, 2000); }

  struct Event {
    ui::EventType type;
    int wParam, lParam;
    bool operator==(const Event& other) const {
      return type == other.type && wParam == other.wParam && lParam == other.lParam;
    }
  };
  WindowPtr window;
  ui::Box* root = nullptr;
  ui::Combo* combo = nullptr;
  int left = 0, top = 0;
  std::vector<Event> events;
};

TEST_F(ComboTest, ClickOpensChoosingAnItemClosesAndShowsItsText) {
  Open(BuildCombo(5));
  ASSERT_EQ(combo->GetChildCount(), 5u);
  EXPECT_EQ(combo->GetSelectedIndex(), -1);
  HWND popup = OpenByClick();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(events, (std::vector<Event>{{ui::kEventClick, 0, 0}}));
  // Below the combo with a gap of one pixel, as wide, and five items (150 + 2) capped at 150.
  const RECT rect = WindowRectOf(popup);
  EXPECT_EQ(rect.left, left + 20);
  EXPECT_EQ(rect.right, left + 220);
  EXPECT_EQ(rect.top, top + 51);
  EXPECT_EQ(rect.bottom - rect.top, 150);
  // Open already: a second activation opens nothing more.
  combo->PerformAction();
  EXPECT_EQ(ComboWindows().size(), 1u);
  const Capture open = CaptureScreen(RECT{left, top, left + 300, top + 300});
  SaveCapture(open, "combo_open");

  // Item 2 lies at 1 + 60 .. 1 + 90 inside the pop-up.
  ClickAt(rect.left + 50, rect.top + 1 + 75);
  ASSERT_TRUE(WaitClosed());
  EXPECT_EQ(events, (std::vector<Event>{{ui::kEventClick, 0, 0}, {ui::kEventSelect, 2, -1}}));
  EXPECT_EQ(combo->GetSelectedIndex(), 2);
  EXPECT_EQ(combo->GetPopup(), nullptr);
  EXPECT_EQ(combo->GetListBox()->GetParent(), nullptr);
  EXPECT_EQ(combo->GetListBox()->GetOwnerWindow(), nullptr);
  PumpFor(100);
  const Capture closed = CaptureScreen(RECT{left, top, left + 300, top + 300});
  SaveCapture(closed, "combo_closed");
  int ink = 0, inkLeft = 300;
  for (int y = 20; y < 50; ++y)
    for (int x = 20; x < 220; ++x)
      if (IsRedInk(closed.At(x, y))) {
        ++ink;
        inkLeft = std::min(inkLeft, x);
      }
  EXPECT_GT(ink, 20);
  EXPECT_GE(inkLeft, 24);  // after the item's text padding
  EXPECT_LT(inkLeft, 30);

  // A click outside closes it again without a selection.
  events.clear();
  ASSERT_NE(OpenByClick(), nullptr);
  ClickAt(left + 250, top + 270);
  ASSERT_TRUE(WaitClosed());
  EXPECT_EQ(events, (std::vector<Event>{{ui::kEventClick, 0, 0}}));
  EXPECT_EQ(combo->GetSelectedIndex(), 2);

  // Emptied, the combo has no selection and shows no text.
  combo->RemoveAllChildren();
  EXPECT_EQ(combo->GetSelectedIndex(), -1);
  PumpFor(100);
  const Capture empty = CaptureScreen(RECT{left, top, left + 300, top + 300});
  bool anyInk = false;
  for (int y = 20; y < 50; ++y)
    for (int x = 20; x < 220; ++x) anyInk = anyInk || IsRedInk(empty.At(x, y));
  EXPECT_FALSE(anyInk);
}

TEST_F(ComboTest, PopupSizeAndSide) {
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  struct Case {
    int items;
    const wchar_t* attributes;
    bool nearBottom;
    int width, height;
    bool above;
  } cases[] = {
      {3, L"", false, 200, 92, false},
      {5, L"dropboxsize=\"180,200\"", false, 180, 152, false},
      {5, L"dropboxsize=\"0,200\"", false, 200, 152, false},
      {5, L"dropboxsize=\"120\"", false, 120, 0, false},  // no height given: capped at 0
      {3, L"popuptop=\"true\"", false, 200, 92, true},
      {3, L"", true, 200, 92, true},
  };
  for (const Case& c : cases) {
    // Near the bottom: the combo ends 40 pixels above the work area's bottom.
    Open(BuildCombo(c.items, c.attributes), 120, c.nearBottom ? work.bottom - 90 : 100);
    HWND popup = OpenInCode();
    ASSERT_NE(popup, nullptr) << c.attributes;
    const RECT rect = WindowRectOf(popup);
    EXPECT_EQ(rect.right - rect.left, c.width) << c.attributes;
    EXPECT_EQ(rect.bottom - rect.top, c.height) << c.attributes;
    if (c.above) {
      EXPECT_EQ(rect.bottom, top + 20) << c.attributes;  // ending at the combo's top edge
    } else {
      EXPECT_EQ(rect.top, top + 51) << c.attributes;
    }
    combo->EndAction();
    EXPECT_TRUE(WaitClosed()) << c.attributes;
    EXPECT_EQ(events, (std::vector<Event>{{ui::kEventClick, 0, 0}})) << c.attributes;
    events.clear();
    window.reset();
  }
}

TEST_F(ComboTest, DeletedOrItsWindowDestroyedWhileOpen) {
  Open(BuildCombo(3));
  std::vector<std::weak_ptr<base::WeakFlag>> items;
  for (size_t i = 0; i < 3; ++i) items.push_back(combo->GetListBox()->GetChildAt(i)->ObtainWeakFlag());
  // Removed items are deleted.
  ASSERT_TRUE(combo->RemoveChildAt(0));
  EXPECT_TRUE(items[0].expired());
  ASSERT_NE(OpenInCode(), nullptr);
  PumpFor(100);
  // Deleted at once with its pop-up open: the pop-up goes with it, and so do the items.
  root->SetDefersChildDeletion(false);
  ASSERT_TRUE(root->RemoveChild(combo));
  EXPECT_TRUE(ComboWindows().empty());
  EXPECT_TRUE(items[1].expired());
  EXPECT_TRUE(items[2].expired());
  PumpFor(100);

  // Its window destroyed with the pop-up open.
  Open(BuildCombo(3));
  ASSERT_NE(OpenByClick(), nullptr);
  const std::weak_ptr<base::WeakFlag> item = combo->GetListBox()->GetChildAt(1)->ObtainWeakFlag();
  DestroyWindow(window->GetHwnd());
  EXPECT_TRUE(ComboWindows().empty());
  EXPECT_EQ(combo->GetPopup(), nullptr);
  window.reset();
  EXPECT_TRUE(item.expired());
  PumpFor(100);
}

}  // namespace
