// The options box of the first-close choice as the core requests it, answered with real clicks
// and keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "dorevezi/core/dorevezi_core.h"
#include "ui/controls/button.h"
#include "ui/core/box.h"
#include "ui/resources/language_table.h"

namespace dialog_test {
namespace {

using Option = ui::OptionTemplate<ui::Control>;

const std::vector<std::wstring> kOptionKeys = {L"STRING_SHUT_OPTION_TRAYICON", L"STRING_SHUT_OPTION_EXIT"};

class OptionsBoxTest : public DialogTest {
 protected:
  HWND Open() {
    DoreveziCore::GetInstance().ShowOptionsBox(L"STRING_SHUT_OPTION_NOTICE", L"shutdown_options", kOptionKeys,
                                               0, L"STRING_CONFIRM", Recorder());
    return WaitForBox(L"OptionsBox");
  }
  // The options have no names: the player finds them by their place in the list.
  ControlQueryAnswer OptionAt(HWND box, size_t index) {
    return DecodeControlQuery(Ui().Run([&] {
      auto* list = dynamic_cast<ui::Box*>(BoxControl(box, L"option_vlist"));
      ui::Control* option = list && index < list->GetChildCount() ? list->GetChildAt(index) : nullptr;
      return option ? DescribeControl(*BoxWindow(box), option) : 0;
    }));
  }
  bool OwnerEnabledAndFocused() {
    return Ui().Run([this] { return IsWindowEnabled(ownerHwnd_) && GetFocus() == ownerHwnd_; });
  }
};

TEST_F(OptionsBoxTest, OptionsFromKeysFirstSelectedFocusOnOk) {
  HWND box = Open();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), ownerHwnd_);
  EXPECT_FALSE(Ui().Run([this] { return IsWindowEnabled(ownerHwnd_) != FALSE; }));
  struct Seen {
    std::wstring text, id, dataId, group;
    bool selected;
  };
  const auto seen = Ui().Run([&] {
    std::vector<Seen> result;
    auto* list = dynamic_cast<ui::Box*>(BoxControl(box, L"option_vlist"));
    for (size_t i = 0; list && i < list->GetChildCount(); ++i) {
      auto* option = dynamic_cast<Option*>(list->GetChildAt(i));
      if (!option) continue;
      result.push_back({option->GetText(), option->GetTextId(), option->GetDataId(), option->GetGroupName(),
                        option->IsSelected()});
    }
    return result;
  });
  ASSERT_EQ(seen.size(), 2u);
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].text, ui::LanguageTable::Instance()->Lookup(kOptionKeys[i]));
    EXPECT_FALSE(seen[i].text.empty());
    EXPECT_EQ(seen[i].id, kOptionKeys[i]);
    EXPECT_EQ(seen[i].dataId, std::to_wstring(i));
    EXPECT_EQ(seen[i].group, L"shutdown_options");
    EXPECT_EQ(seen[i].selected, i == 0);
  }
  const auto focusAndTexts = Ui().Run([&] {
    ui::Control* focused = BoxWindow(box)->GetFocusedControl();
    auto* content = dynamic_cast<ui::LabelTemplate<ui::Control>*>(BoxControl(box, L"content"));
    auto* ok = dynamic_cast<ui::LabelTemplate<ui::Control>*>(BoxControl(box, L"btn_ok"));
    return std::vector<std::wstring>{focused ? focused->GetName() : L"", content->GetTextId(),
                                     ok->GetTextId()};
  });
  EXPECT_EQ(focusAndTexts,
            (std::vector<std::wstring>{L"btn_ok", L"STRING_SHUT_OPTION_NOTICE", L"STRING_CONFIRM"}));
  ClickControl(box, L"btn_ok");
  ASSERT_TRUE(WaitUntilClosed(box));
  const std::vector<Answer> answers = Answers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].value, 0);
  EXPECT_EQ(answers[0].taskDepth, 1);
  EXPECT_TRUE(answers[0].ownerEnabled);
  EXPECT_TRUE(answers[0].ownerFocused);
  EXPECT_TRUE(answers[0].boxAlive);
  // Unlike the message box, nothing is sent to the main window.
  EXPECT_EQ(RefreshTexts(), 0);
}

// The second option, then a confirmation: by "btn_ok" and by Alt+F4 the answer is 1.
TEST_F(OptionsBoxTest, SecondOptionConfirmedAnswersOne) {
  for (const bool altF4 : {false, true}) {
    SCOPED_TRACE(altF4 ? "Alt+F4" : "btn_ok");
    const size_t before = Answers().size();
    HWND box = Open();
    ASSERT_NE(box, nullptr);
    const ControlQueryAnswer second = OptionAt(box, 1);
    ASSERT_TRUE(second.found && second.visible);
    Click(second.Centre());
    EXPECT_EQ(Ui().Run([&] {
      auto* list = dynamic_cast<ui::Box*>(BoxControl(box, L"option_vlist"));
      return dynamic_cast<Option*>(list->GetChildAt(0))->IsSelected();
    }),
              false);
    if (altF4) {
      PressAltF4();
    } else {
      ClickControl(box, L"btn_ok");
    }
    ASSERT_TRUE(WaitUntilClosed(box));
    const std::vector<Answer> answers = Answers();
    ASSERT_EQ(answers.size(), before + 1);
    EXPECT_EQ(answers.back().value, 1);
  }
}

// Esc and "btn_close" end the box without an answer, the owner enabled and focused at once; and
// nothing in the fade-out answers after them.
TEST_F(OptionsBoxTest, EscAndCloseButtonGiveNoAnswer) {
  for (const bool esc : {true, false}) {
    SCOPED_TRACE(esc ? "Esc" : "btn_close");
    HWND box = Open();
    ASSERT_NE(box, nullptr);
    Click(OptionAt(box, 1).Centre());
    if (esc) {
      PressKey(VK_ESCAPE);
    } else {
      ClickControl(box, L"btn_close");
    }
    EXPECT_TRUE(OwnerEnabledAndFocused());
    // The fade-out is still running: a system close now must not confirm.
    EXPECT_TRUE(IsWindow(box));
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(WaitUntilClosed(box));
    EXPECT_TRUE(Answers().empty());
  }
}

// A confirmation followed by more in the fade-out answers once.
TEST_F(OptionsBoxTest, AnswersOnceWhateverFollowsInTheFadeOut) {
  HWND box = Open();
  ASSERT_NE(box, nullptr);
  const POINT ok = Query(box, L"btn_ok").Centre();
  Click(ok);
  Click(ok);
  SendMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(WaitUntilClosed(box));
  const std::vector<Answer> answers = Answers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].value, 0);
}

}  // namespace
}  // namespace dialog_test
