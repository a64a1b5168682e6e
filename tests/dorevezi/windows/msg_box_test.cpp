// The message box as the core requests it, over the stand-in main window, answered with real
// clicks and keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/dorevezi_core.h"
#include "ui/controls/button.h"
#include "ui/resources/language_table.h"

namespace dialog_test {
namespace {

using Label = ui::LabelTemplate<ui::Control>;
using Button = ui::ButtonTemplate<ui::Control>;

// A blue face: blue well above red and green. A grey one: the three channels close together.
bool IsBlue(uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return b > r + 60 && b > g + 40;
}
bool IsGrey(uint32_t rgb) {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return std::abs(r - g) < 24 && std::abs(g - b) < 24 && std::abs(r - b) < 24;
}

std::wstring Text(const wchar_t* key) {
  return ui::LanguageTable::Instance()->Lookup(key);
}

// What a label of the box shows and the key it keeps (UI thread).
struct LabelState {
  std::wstring text;
  std::wstring id;
  bool operator==(const LabelState& other) const { return text == other.text && id == other.id; }
};
std::ostream& operator<<(std::ostream& out, const LabelState& state) {
  return out << "text \"" << std::string(state.text.begin(), state.text.end()) << "\" id \""
             << std::string(state.id.begin(), state.id.end()) << "\"";
}

LabelState ReadLabel(HWND box, const wchar_t* name) {
  return Ui().Run([&] {
    auto* label = dynamic_cast<Label*>(BoxControl(box, name));
    return label ? LabelState{label->GetText(), label->GetTextId()} : LabelState{L"<missing>", L""};
  });
}

class MsgBoxTest : public DialogTest {
 protected:
  std::wstring FocusedName(HWND box) {
    return Ui().Run([&] {
      ui::Control* focused = BoxWindow(box)->GetFocusedControl();
      return focused ? focused->GetName() : std::wstring();
    });
  }
  bool OwnerEnabled() {
    return Ui().Run([this] { return IsWindowEnabled(ownerHwnd_) != FALSE; });
  }
};

TEST_F(MsgBoxTest, YesOnlyHidesNoFocusesYesAndEscAnswersZero) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.messageBoxShown = false;
  core.ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE", L"", L"STRING_CONFIRM",
                      Recorder(), false);
  EXPECT_TRUE(core.messageBoxOpen);
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), ownerHwnd_);

  const ControlQueryAnswer no = Query(box, L"btn_no");
  const ControlQueryAnswer yes = Query(box, L"btn_yes");
  EXPECT_TRUE(no.found);
  EXPECT_FALSE(no.visible);
  EXPECT_TRUE(yes.found && yes.visible && yes.enabled);
  EXPECT_EQ(FocusedName(box), L"btn_yes");
  EXPECT_EQ(ReadLabel(box, L"title"), (LabelState{Text(L"STRING_ERROR_NOTICE"), L"STRING_ERROR_NOTICE"}));
  EXPECT_EQ(ReadLabel(box, L"content"), (LabelState{Text(L"STRING_ERROR_UPDATE"), L"STRING_ERROR_UPDATE"}));
  EXPECT_EQ(ReadLabel(box, L"detail"), (LabelState{L"", L""}));
  EXPECT_EQ(ReadLabel(box, L"btn_yes"), (LabelState{Text(L"STRING_CONFIRM"), L"STRING_CONFIRM"}));
  EXPECT_FALSE(Text(L"STRING_CONFIRM").empty());
  EXPECT_FALSE(OwnerEnabled());

  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitUntilClosed(box));
  const std::vector<Answer> answers = Answers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].value, 0);
  EXPECT_FALSE(core.messageBoxOpen);
  EXPECT_TRUE(core.messageBoxShown);
  EXPECT_EQ(RefreshTexts(), 1);
}

TEST_F(MsgBoxTest, YesClickAnswersInALaterTaskOnceTheCloseHasStarted) {
  DoreveziCore::GetInstance().ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE",
                                             L"STRING_CLOSE_CONFIRM_FOR_DOWNLOAD", L"STRING_CANCEL",
                                             L"STRING_CONFIRM", Recorder(), false);
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(OwnerEnabled());
  EXPECT_EQ(RefreshTexts(), 0);

  ClickControl(box, L"btn_yes");
  ASSERT_TRUE(WaitUntilClosed(box));
  const std::vector<Answer> answers = Answers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].value, 1);
  // A task of its own, not inside the click's message; the owner was enabled and focused
  // when the close started, before the box's window went.
  EXPECT_EQ(answers[0].taskDepth, 1);
  EXPECT_TRUE(answers[0].ownerEnabled);
  EXPECT_TRUE(answers[0].ownerFocused);
  EXPECT_TRUE(answers[0].boxAlive);
  EXPECT_EQ(RefreshTexts(), 1);
  EXPECT_FALSE(DoreveziCore::GetInstance().messageBoxOpen);
}

// Both buttons, with and without the exchanged looks: the blue face and its text colours go to
// "btn_no", and the answers keep to the buttons.
TEST_F(MsgBoxTest, SwappedLooksDressNoInBlue) {
  std::vector<std::wstring> plainTextColors;
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "swapped" : "as marked up");
    DoreveziCore::GetInstance().ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE",
                                               L"STRING_CLOSE_CONFIRM_FOR_DOWNLOAD", L"STRING_CANCEL",
                                               L"STRING_CONFIRM", Recorder(), swap);
    HWND box = WaitForBox(L"MsgBox");
    ASSERT_NE(box, nullptr);
    const ControlQueryAnswer yes = Query(box, L"btn_yes");
    const ControlQueryAnswer no = Query(box, L"btn_no");
    ASSERT_TRUE(yes.visible && no.visible);
    // Inside the face, clear of the rounded corners and the text.
    const Capture yesPixels = CaptureScreen(yes.rect);
    const uint32_t yesFace = yesPixels.At(10, yesPixels.height / 2);
    const Capture noPixels = CaptureScreen(no.rect);
    const uint32_t noFace = noPixels.At(10, noPixels.height / 2);
    EXPECT_TRUE(swap ? IsGrey(yesFace) : IsBlue(yesFace)) << std::hex << yesFace;
    EXPECT_TRUE(swap ? IsBlue(noFace) : IsGrey(noFace)) << std::hex << noFace;
    const std::vector<std::wstring> looks = Ui().Run([&] {
      auto* yesButton = dynamic_cast<Button*>(BoxControl(box, L"btn_yes"));
      auto* noButton = dynamic_cast<Button*>(BoxControl(box, L"btn_no"));
      std::vector<std::wstring> result;
      for (ui::ControlState state : {ui::kStateNormal, ui::kStateHot, ui::kStatePushed, ui::kStateDisabled}) {
        result.push_back(yesButton->GetStateTextColor(state));
        result.push_back(noButton->GetStateTextColor(state));
      }
      return result;
    });
    if (!swap) {
      plainTextColors = looks;
    } else {
      for (size_t i = 0; i + 1 < 8; i += 2) {
        EXPECT_EQ(looks[i], plainTextColors[i + 1]);
        EXPECT_EQ(looks[i + 1], plainTextColors[i]);
      }
    }

    ClickControl(box, L"btn_no");
    ASSERT_TRUE(WaitUntilClosed(box));
    const std::vector<Answer> answers = Answers();
    ASSERT_EQ(answers.size(), swap ? 2u : 1u);
    EXPECT_EQ(answers.back().value, 0);
  }
}

// Literal texts are shown as written, even one that looks like a key; a key wins over a literal
// given beside it; the detail of a request reaches "detail".
TEST_F(MsgBoxTest, LiteralTextsAndTheDetail) {
  MessageBoxRequest request;
  request.title.literal = L"STRING_CONFIRM";
  request.content.key = L"STRING_ERROR_UPDATE";
  request.content.literal = L"ignored beside a key";
  request.detail.literal = L"404\n连接失败(timeout)";
  request.noText = L"不要";
  request.yesText = L"好的";
  request.onResult = Recorder();
  PostMessageBoxRequest(nullptr, std::move(request));
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ReadLabel(box, L"title"), (LabelState{L"STRING_CONFIRM", L""}));
  EXPECT_EQ(ReadLabel(box, L"content"), (LabelState{Text(L"STRING_ERROR_UPDATE"), L"STRING_ERROR_UPDATE"}));
  EXPECT_EQ(ReadLabel(box, L"detail"), (LabelState{L"404\n连接失败(timeout)", L""}));
  EXPECT_EQ(ReadLabel(box, L"btn_no"), (LabelState{L"不要", L""}));
  EXPECT_EQ(ReadLabel(box, L"btn_yes"), (LabelState{L"好的", L""}));
  ClickControl(box, L"btn_close");
  ASSERT_TRUE(WaitUntilClosed(box));
  ASSERT_EQ(Answers().size(), 1u);
  EXPECT_EQ(Answers()[0].value, 0);
}

// The system close, by Alt+F4 or from the system menu, answers 0.
TEST_F(MsgBoxTest, SystemCloseAnswersZero) {
  for (const bool altF4 : {true, false}) {
    SCOPED_TRACE(altF4 ? "Alt+F4" : "system menu Close");
    DoreveziCore::GetInstance().ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE",
                                               L"STRING_CANCEL", L"STRING_ERROR_RETRY", Recorder(), false);
    HWND box = WaitForBox(L"MsgBox");
    ASSERT_NE(box, nullptr);
    const size_t before = Answers().size();
    if (altF4) {
      PressAltF4();
    } else {
      // What the menu's Close item sends.
      PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    ASSERT_TRUE(WaitUntilClosed(box));
    const std::vector<Answer> answers = Answers();
    ASSERT_EQ(answers.size(), before + 1);
    EXPECT_EQ(answers.back().value, 0);
  }
}

// Whatever reaches the box in its fade-out after the first answer changes nothing: one answer,
// one refresh of the main window. (Keys go to the owner by then: it has the focus back.)
TEST_F(MsgBoxTest, AnswersOnceWhateverFollowsInTheFadeOut) {
  struct Case {
    const char* name;
    void (*follow)(HWND box, POINT yes);
  };
  const Case cases[] = {
      {"double click", [](HWND, POINT yes) { Click(yes); }},
      {"second click beside the first",
       [](HWND, POINT yes) {
         Click(POINT{yes.x + 8, yes.y});
       }},
      {"system close", [](HWND box, POINT) { SendMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int refreshesBefore = RefreshTexts();
    const size_t answersBefore = Answers().size();
    DoreveziCore::GetInstance().ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE",
                                               L"STRING_CANCEL", L"STRING_ERROR_RETRY", Recorder(), false);
    HWND box = WaitForBox(L"MsgBox");
    ASSERT_NE(box, nullptr);
    const POINT yes = Query(box, L"btn_yes").Centre();
    Click(yes);
    c.follow(box, yes);
    ASSERT_TRUE(WaitUntilClosed(box));
    const std::vector<Answer> answers = Answers();
    EXPECT_EQ(answers.size(), answersBefore + 1);
    EXPECT_EQ(answers.at(answersBefore).value, 1);
    EXPECT_EQ(RefreshTexts(), refreshesBefore + 1);
  }
}

// An owner that is no window of the framework, given or as the main window: no box, no answer.
TEST_F(MsgBoxTest, OwnerThatIsNoFrameworkWindowGetsNothing) {
  HWND plain = Ui().Run([] {
    HWND window = CreateWindowW(L"STATIC", L"plain", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                                nullptr, nullptr, nullptr);
    return window;
  });
  ASSERT_NE(plain, nullptr);
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.ShowMessageBox(plain, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE", L"", L"STRING_CONFIRM",
                      Recorder(), false);
  FlushUi();
  EXPECT_EQ(FindWindowW(L"MsgBox", nullptr), nullptr);

  core.SetMainWindow(plain);
  core.ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_UPDATE", L"", L"STRING_CONFIRM",
                      Recorder(), false);
  core.ShowOptionsBox(L"STRING_SHUT_OPTION_NOTICE", L"shutdown_options",
                      {L"STRING_SHUT_OPTION_TRAYICON", L"STRING_SHUT_OPTION_EXIT"}, 0, L"STRING_CONFIRM",
                      Recorder());
  FlushUi();
  EXPECT_EQ(FindWindowW(L"MsgBox", nullptr), nullptr);
  EXPECT_EQ(FindWindowW(L"OptionsBox", nullptr), nullptr);
  EXPECT_TRUE(Answers().empty());
  EXPECT_TRUE(OwnerEnabled());
  core.SetMainWindow(ownerHwnd_);
  Ui().Run([plain] { DestroyWindow(plain); });
}

}  // namespace
}  // namespace dialog_test
