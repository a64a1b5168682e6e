// The tab box built from markup and driven from code: which page shows, how the current index
// follows insertions and removals, and the plain and sliding switches in a real window.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/animation/ui_test_pump.h"
#include "ui/controls/button.h"
#include "ui/controls/tab_box.h"
#include "ui/core/window_test_support.h"
#include "ui/markup/markup_builder.h"

using namespace window_test;
using ui::Rect;
using ui_test::PumpUntil;

namespace {

constexpr int kLeft = 140, kTop = 120;

// A page as the tab box leaves it: shown, hidden for good, or left laid out but blind.
enum class Look { kShown, kHidden, kBlind };

Look LookOf(ui::Control* page) {
  auto* box = dynamic_cast<ui::Box*>(page);
  const bool mouse = page->IsMouseEnabled() && (!box || box->IsMouseChildEnabled());
  if (page->IsVisible() && page->GetAlpha() == 255 && mouse) return Look::kShown;
  if (!page->IsVisible() && page->GetAlpha() == 0 && !mouse) return Look::kHidden;
  if (page->IsVisible() && page->GetAlpha() == 0 && !mouse) return Look::kBlind;
  ADD_FAILURE() << "a page half shown";
  return Look::kShown;
}

std::vector<Look> Looks(ui::TabBox* tabs) {
  std::vector<Look> looks;
  for (size_t i = 0; i < tabs->GetChildCount(); ++i) looks.push_back(LookOf(tabs->GetChildAt(i)));
  return looks;
}

std::unique_ptr<ui::TabBox> BuildTabs(const std::wstring& attributes, int pages = 3) {
  std::wstring markup = L"<Window><TabBox " + attributes + L">";
  for (int i = 0; i < pages; ++i) markup += L"<Box name=\"page" + std::to_wstring(i) + L"\"/>";
  markup += L"</TabBox></Window>";
  ui::MarkupBuilder builder;
  auto* tabs = dynamic_cast<ui::TabBox*>(builder.Build(markup.c_str(), nullptr, nullptr, nullptr, nullptr));
  EXPECT_NE(tabs, nullptr);
  return std::unique_ptr<ui::TabBox>(tabs);
}

TEST(TabBoxTest, MarkupShowsTheSelectedPageOnly) {
  const Look S = Look::kShown, H = Look::kHidden, B = Look::kBlind;
  struct Case {
    const wchar_t* attributes;
    int current;
    std::vector<Look> looks;
  } cases[] = {
      {L"selectedid=\"1\"", 1, {H, S, H}},
      {L"selectedid=\"1\" fadeswitch=\"true\"", 1, {B, S, B}},
      {L"", 0, {S, H, H}},
      {L"fadeswitch=\"yes\"", 0, {S, H, H}},  // only "true" slides
      {L"selectedid=\"7\"", 7, {H, H, H}},
  };
  for (const Case& c : cases) {
    auto tabs = BuildTabs(c.attributes);
    ASSERT_TRUE(tabs);
    EXPECT_EQ(tabs->GetCurrentIndex(), c.current) << c.attributes;
    EXPECT_EQ(Looks(tabs.get()), c.looks) << c.attributes;
  }
  // A hidden first page does not become current; the first visible one does.
  ui::MarkupBuilder builder;
  std::unique_ptr<ui::Control> built(builder.Build(
      L"<Window><VTabBox><Box visible=\"false\"/><Box/></VTabBox></Window>", nullptr, nullptr, nullptr, nullptr));
  auto* vertical = dynamic_cast<ui::TabBox*>(built.get());
  ASSERT_NE(vertical, nullptr);
  EXPECT_EQ(vertical->GetCurrentIndex(), 1);
  EXPECT_NE(dynamic_cast<ui::VLayout*>(vertical->GetLayout()), nullptr);
}

TEST(TabBoxTest, CurrentIndexFollowsInsertionsAndRemovals) {
  auto tabs = BuildTabs(L"selectedid=\"1\"");
  ui::Control* current = tabs->GetChildAt(1);
  // Inserted before the current page: the same page stays current, the new one hidden.
  auto* inserted = new ui::Box();
  ASSERT_TRUE(tabs->InsertChildAt(inserted, 0));
  EXPECT_EQ(tabs->GetCurrentIndex(), 2);
  EXPECT_EQ(tabs->GetChildAt(2), current);
  EXPECT_EQ(LookOf(inserted), Look::kHidden);
  ASSERT_TRUE(tabs->InsertChildAt(new ui::Box(), 4));  // after it: no change
  EXPECT_EQ(tabs->GetCurrentIndex(), 2);
  // Removing a page before it moves the index down; removing it makes page 0 current.
  ASSERT_TRUE(tabs->RemoveChildAt(0));
  EXPECT_EQ(tabs->GetCurrentIndex(), 1);
  EXPECT_EQ(tabs->GetChildAt(1), current);
  ASSERT_TRUE(tabs->RemoveChild(current));
  EXPECT_EQ(tabs->GetCurrentIndex(), 0);
  EXPECT_EQ(LookOf(tabs->GetChildAt(0)), Look::kShown);
  ui::Box stranger;
  EXPECT_FALSE(tabs->RemoveChild(&stranger));
  EXPECT_FALSE(tabs->RemoveChildAt(9));
  tabs->RemoveAllChildren();
  EXPECT_EQ(tabs->GetCurrentIndex(), -1);
  // Emptied, the next visible page added or inserted becomes current and shows.
  auto* fresh = new ui::Box();
  ASSERT_TRUE(tabs->InsertChildAt(fresh, 0));
  EXPECT_EQ(tabs->GetCurrentIndex(), 0);
  EXPECT_EQ(LookOf(fresh), Look::kShown);
  EXPECT_FALSE(tabs->SwitchTo(1));
  EXPECT_FALSE(tabs->SwitchTo(-1));
}

TEST(TabBoxTest, SlideOutEndSparesThePageNowCurrent) {
  auto tabs = BuildTabs(L"fadeswitch=\"true\"");
  ui::Control* second = tabs->GetChildAt(1);
  ASSERT_TRUE(tabs->SwitchTo(1));
  // Page 0 goes before its slide-out ends: page 1, now current at index 0, keeps its look.
  ASSERT_TRUE(tabs->RemoveChildAt(0));
  ASSERT_EQ(tabs->GetChildAt(0), second);
  ASSERT_EQ(tabs->GetCurrentIndex(), 0);
  tabs->FinishSlideOut(0);
  tabs->FinishSlideOut(5);
  EXPECT_EQ(LookOf(second), Look::kShown);
  EXPECT_EQ(LookOf(tabs->GetChildAt(1)), Look::kBlind);
  // The real completion, once the slide has run, changes nothing either.
  EXPECT_TRUE(PumpUntil([&] { return !second->GetAnimator().GetPlayer(ui::kEffectSlideFromRight)->playing; }, 3000));
  ui_test::PumpFor(50);
  EXPECT_EQ(LookOf(second), Look::kShown);
}

// Three pages of W = 300 in a real window, each with a button, so the focus has somewhere
// to go and hit tests show which page takes the mouse.
class TabBoxWindowTest : public ::testing::Test {
 protected:
  void Open(bool fade) {
    window = OpenWindow(Rect{kLeft, kTop, kLeft + 300, kTop + 200}, false);
    tabs = new ui::TabBox();
    tabs->SetFadeSwitch(fade);
    for (auto*& button : buttons) {
      auto* page = new ui::Box();
      button = new ui::Button();
      button->SetDeclaredWidth(100, false, false);
      button->SetDeclaredHeight(40, false);
      page->AddChild(button);
      tabs->AddChild(page);
    }
    window->AttachRoot(RootWith(Rect{}, {{tabs, Rect{0, 0, 300, 200}}}));
    PumpUntilPainted(*window);
    tabs->AddEventHandler(ui::kEventSelect, [this](ui::EventArgs* args) {
      selects.emplace_back(static_cast<int>(args->wParam), static_cast<int>(args->lParam));
      focusAtSelect = window->GetFocusedControl();
      return true;
    });
  }
  ui::Control* Page(int i) { return tabs->GetChildAt(i); }
  ui::AnimationPlayer* Slide(int i) { return Page(i)->GetAnimator().GetPlayer(ui::kEffectSlideFromRight); }

  WindowPtr window;
  ui::TabBox* tabs = nullptr;
  ui::Button* buttons[3] = {};
  std::vector<std::pair<int, int>> selects;
  ui::Control* focusAtSelect = nullptr;
};

TEST_F(TabBoxWindowTest, PlainSwitchShowsOnlyTheNewPageAndReportsNewAndOld) {
  Open(false);
  EXPECT_TRUE(tabs->SwitchTo(0));  // already current: nothing
  EXPECT_TRUE(selects.empty());
  ASSERT_TRUE(tabs->SwitchTo(2));
  EXPECT_EQ(selects, (std::vector<std::pair<int, int>>{{2, 0}}));
  EXPECT_EQ(Looks(tabs), (std::vector<Look>{Look::kHidden, Look::kHidden, Look::kShown}));
  EXPECT_FALSE(tabs->SwitchTo(3));
  EXPECT_EQ(selects.size(), 1u);
}

TEST_F(TabBoxWindowTest, FadeSwitchSlidesTheNewPageInAndTheOldOneOut) {
  Open(true);
  window->SetFocusedControl(buttons[1]);
  ASSERT_TRUE(tabs->SwitchTo(2));
  // The focus went on to the next tab stop before the handlers ran.
  EXPECT_EQ(focusAtSelect, buttons[2]);
  ASSERT_NE(Slide(2), nullptr);
  ASSERT_NE(Slide(0), nullptr);
  // Forwards: the new page from the left (-W to 0), the old one away to the right (0 to +W).
  EXPECT_EQ(Slide(2)->startValue, -300);
  EXPECT_EQ(Slide(2)->endValue, 0);
  EXPECT_EQ(Slide(0)->startValue, 0);
  EXPECT_EQ(Slide(0)->endValue, 300);
  EXPECT_DOUBLE_EQ(Slide(2)->speedUpAcceleration, 0.015);
  EXPECT_EQ(selects, (std::vector<std::pair<int, int>>{{2, 0}}));
  // During the slide both show; the new page takes the mouse at once.
  EXPECT_EQ(LookOf(Page(0)), Look::kShown);
  EXPECT_EQ(LookOf(Page(2)), Look::kShown);
  ASSERT_TRUE(PumpUntil([&] { return !Slide(0)->playing && !Slide(2)->playing; }, 3000));
  ui_test::PumpFor(30);
  EXPECT_EQ(Page(2)->GetRenderOffset().x, 0);
  EXPECT_EQ(Page(0)->GetRenderOffset().x, 300);
  EXPECT_EQ(Looks(tabs), (std::vector<Look>{Look::kBlind, Look::kBlind, Look::kShown}));
  EXPECT_EQ(window->FindControl(ui::Point{50, 20}), buttons[2]);

  // Backwards: the new page from the right, the old one away to the left.
  ASSERT_TRUE(tabs->SwitchTo(0));
  EXPECT_EQ(Slide(0)->startValue, 300);
  EXPECT_EQ(Slide(2)->endValue, -300);
  ASSERT_TRUE(PumpUntil([&] { return !Slide(0)->playing && !Slide(2)->playing; }, 3000));
  ui_test::PumpFor(30);
  EXPECT_EQ(Looks(tabs), (std::vector<Look>{Look::kShown, Look::kBlind, Look::kBlind}));
  EXPECT_EQ(selects, (std::vector<std::pair<int, int>>{{2, 0}, {0, 2}}));
}

}  // namespace
