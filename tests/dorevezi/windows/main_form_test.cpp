// The main window in-process, on the launcher's own skin: its messages, the close flow with the
// real boxes answered by real input, its teardown and the restart answer's close. The engine's
// state is set on a worker registered as the program's worker, as the update engine would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/base_util.h"
#include "dialog_test_support.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/self_replace.h"
#include "dorevezi/core/shell_functions.h"
#include "dorevezi/update/apply_states.h"
#include "dorevezi/windows/main_form.h"
#include "entry_test_util.h"
#include "main_form_test_support.h"
#include "ui/resources/ui_runtime.h"

namespace dialog_test {
namespace {

using entry_test::RecordingState;

// A closing window's SC_CLOSE, as a settings window of that class would get it.
int g_settingsCloses = 0;
LRESULT CALLBACK SettingsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) ++g_settingsCloses;
  return DefWindowProcW(window, message, wParam, lParam);
}

class MainFormTest : public MainFormFixture {
 protected:
  // The engine's current state, replaced on the worker (null: idle).
  void SetState(int32_t id, FlowMode flow) { SetEngineState(id, flow); }

  // A click on the main window's close button, with real input.
  void ClickClose() {
    const ControlQueryAnswer button = QueryControl(hwnd_, L"btn_close");
    ASSERT_TRUE(button.found && button.visible);
    Click(button.Centre());
  }
  bool Visible() {
    return Ui().Run([this] { return IsWindowVisible(hwnd_) != FALSE; });
  }
  bool Alive() {
    return Ui().Run([this] { return IsWindow(hwnd_) != FALSE; });
  }
  HWND BoxNow(const wchar_t* className) {
    return Ui().Run([className] { return FindWindowW(className, nullptr); });
  }
  // The close has run to its end: the window is gone with everything HandleClose takes down.
  void ExpectExited() {
    EXPECT_TRUE(WaitOnUi([this] { return !IsWindow(hwnd_); }));
    EXPECT_TRUE(g_exitRequested.load());
    const CloseRecord record = LastClose();
    EXPECT_TRUE(record.closed);
    EXPECT_TRUE(record.quitPosted);
    EXPECT_FALSE(record.propertyLeft);
    EXPECT_EQ(record.mainWindowLeft, nullptr);
    EXPECT_TRUE(record.iconDeleted);
  }
};

TEST_F(MainFormTest, ShowsRestoresAndHides) {
  // Minimised: restored.
  Ui().Run([this] { ShowWindow(hwnd_, SW_MINIMIZE); });
  ASSERT_TRUE(WaitOnUi([this] { return IsIconic(hwnd_) != FALSE; }));
  EXPECT_EQ(SendMessageW(hwnd_, kMsgShowMainWindow, 0, 0), 0);
  EXPECT_TRUE(WaitOnUi([this] { return !IsIconic(hwnd_) && IsWindowVisible(hwnd_); }));

  // A settings window is closed first, then the main window hides; a hot close button is normal
  // again once shown.
  HWND settings = Ui().Run([] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &SettingsProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"SettingForm";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"SettingForm", L"SettingForm", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
  });
  ASSERT_NE(settings, nullptr);
  g_settingsCloses = 0;
  Ui().Run([this] {
    auto* button = form_->FindControlByName(L"btn_close");
    button->SetHoverBlend(255);
    button->SetState(ui::kStateHot);
  });
  EXPECT_EQ(SendMessageW(hwnd_, kMsgHideToTray, 0, 0), 0);
  EXPECT_EQ(g_settingsCloses, 1);
  EXPECT_FALSE(Visible());
  EXPECT_EQ(SendMessageW(hwnd_, kMsgShowMainWindow, 0, 0), 0);
  EXPECT_TRUE(Visible());
  EXPECT_TRUE(Ui().Run([this] {
    auto* button = form_->FindControlByName(L"btn_close");
    return button->GetHoverBlend() == 0 && button->GetState() == ui::kStateNormal;
  }));
  Ui().Run([settings] { DestroyWindow(settings); });
}

TEST_F(MainFormTest, ShowStartsAFlowOnlyWhenIdle) {
  struct Case {
    const char* name;
    int32_t stateId;  // kNoStateId: idle
    FlowMode flow;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<int> started;
    bool enterGame;
  };
  const Case cases[] = {
      {"idle, launcher flow", kNoStateId, kFlowGame, 2, 0, {kFlowDorevezi}, false},
      {"game download, launcher flow", 5, kFlowGame, 2, 0, {}, false},
      {"launcher flow running, game flow", 3, kFlowDorevezi, 1, 1, {}, false},
      {"game flow ended, game flow without entering", 7, kFlowGame, 1, 0, {kFlowGame}, false},
      {"idle, game flow entering the game", kNoStateId, kFlowGame, 1, 1, {kFlowGame}, true},
      {"idle, show only", kNoStateId, kFlowGame, 0, 1, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetState(c.stateId, c.flow);
    Ui().Run([this] { ShowWindow(hwnd_, SW_HIDE); });
    StartedFlows().clear();
    DoreveziCore::GetInstance().enterGameRequest = false;
    EXPECT_EQ(SendMessageW(hwnd_, kMsgShowMainWindow, c.wParam, c.lParam), 0);
    worker_.RunAndWait();
    EXPECT_EQ(StartedFlows(), c.started);
    EXPECT_EQ(DoreveziCore::GetInstance().enterGameRequest.load(), c.enterGame);
    EXPECT_TRUE(Visible());
  }
}

TEST_F(MainFormTest, AnswersWithoutEffectAndRoutesBalloons) {
  EXPECT_EQ(SendMessageW(hwnd_, kMsgClearHoverRegion, 0, 0), 0);
  TrayBalloonRequest request = {};
  wcscpy(request.title, L"title");
  COPYDATASTRUCT data = {1, sizeof(request), &request};
  EXPECT_EQ(SendMessageW(hwnd_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 0);
  EXPECT_EQ(ShellCalls(NIM_MODIFY), 0);
  data.dwData = 0;
  EXPECT_EQ(SendMessageW(hwnd_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 0);
  EXPECT_EQ(ShellCalls(NIM_MODIFY), 1);
  // An unknown command goes on to the window base; the tray's "open" shows the window.
  Ui().Run([this] { ShowWindow(hwnd_, SW_HIDE); });
  SendMessageW(hwnd_, WM_COMMAND, 4242, 0);
  EXPECT_FALSE(Visible());
  EXPECT_EQ(SendMessageW(hwnd_, WM_COMMAND, kMsgShowMainWindow, 0), 0);
  EXPECT_TRUE(Visible());
  EXPECT_TRUE(Alive());
}

TEST_F(MainFormTest, RegistersEachGameWindowOnceAndDropsDeadOnes) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  {
    base::CriticalSectionGuard lock(&core.gameWindowsLock);
    core.gameWindows.clear();
  }
  auto make = [] {
    return Ui().Run(
        [] { return CreateWindowW(L"STATIC", L"game", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr); });
  };
  HWND a = make(), b = make(), c = make();
  auto send = [this](HWND window) {
    EXPECT_EQ(SendMessageW(hwnd_, kMsgGameRegisterWindow, 0, reinterpret_cast<LPARAM>(window)), 0);
  };
  send(a);
  send(a);
  send(c);
  EXPECT_EQ(core.GetGameWindows(), (std::vector<HWND>{a, c}));
  Ui().Run([c] { DestroyWindow(c); });
  send(b);
  EXPECT_EQ(core.GetGameWindows(), (std::vector<HWND>{a, b}));
  send(c);  // dead: not added
  EXPECT_EQ(core.GetGameWindows(), (std::vector<HWND>{a, b}));
  Ui().Run([a, b] {
    DestroyWindow(a);
    DestroyWindow(b);
  });
  base::CriticalSectionGuard lock(&core.gameWindowsLock);
  core.gameWindows.clear();
}

TEST_F(MainFormTest, BecomingTopAgainSwitchesAChangedLanguageOnce) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.envConfig.languageCode = "en";
  SendMessageW(hwnd_, kMsgBecameTopWindow, 0, 0);
  EXPECT_EQ(Ui().Run([] { return ui::UiRuntime::GetLanguage(); }), L"zh_CN");  // posted, not run yet
  core.languageChanged = true;
  SendMessageW(hwnd_, kMsgBecameTopWindow, 0, 0);
  FlushUi();
  EXPECT_EQ(Ui().Run([] { return ui::UiRuntime::GetLanguage(); }), L"en");
  EXPECT_FALSE(core.languageChanged.load());
  // The flag is gone: a later change of the code alone switches nothing.
  core.envConfig.languageCode = "zh_CN";
  SendMessageW(hwnd_, kMsgBecameTopWindow, 0, 0);
  FlushUi();
  EXPECT_EQ(Ui().Run([] { return ui::UiRuntime::GetLanguage(); }), L"en");
  Ui().Run([&core] { core.SwitchUiLanguage(); });
}

TEST_F(MainFormTest, CloseToTrayHidesWithoutAskingEvenWhileDownloading) {
  DoreveziCore::GetInstance().envConfig.closeToHide = true;
  SetState(5, kFlowGame);
  ClickClose();
  EXPECT_TRUE(WaitOnUi([this] { return !IsWindowVisible(hwnd_); }));
  FlushUi();
  EXPECT_EQ(BoxNow(L"MsgBox"), nullptr);
  EXPECT_TRUE(Alive());
  EXPECT_FALSE(g_exitRequested.load());
}

TEST_F(MainFormTest, IdleCloseExits) {
  ClickClose();
  ExpectExited();
  EXPECT_EQ(BoxNow(L"MsgBox"), nullptr);
}

TEST_F(MainFormTest, BusyCloseAsksNoStaysYesExits) {
  SetState(3, kFlowDorevezi);
  ClickClose();
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  ClickControl(box, L"btn_no");
  ASSERT_TRUE(WaitOnUi([box] { return !IsWindow(box); }));
  FlushUi();
  EXPECT_TRUE(Visible());
  EXPECT_FALSE(g_exitRequested.load());

  ClickClose();
  box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  ClickControl(box, L"btn_yes");
  ExpectExited();
}

TEST_F(MainFormTest, APreDownloadAloneAsksToo) {
  SetState(7, kFlowGame);
  DoreveziCore::GetInstance().PublishPreDownloadStep(2);
  ClickClose();
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitOnUi([box] { return !IsWindow(box); }));
  EXPECT_TRUE(Visible());
}

// First run while downloading: the confirmation, then the choice; Esc leaves the window as it is
// and the choice is not offered again: the next close exits (close-to-tray is off by default).
TEST_F(MainFormTest, FirstRunChoiceOfferedOnceAfterTheConfirmation) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.firstRun = true;
  core.askCloseOption = true;
  SetState(5, kFlowGame);
  ClickClose();
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  ClickControl(box, L"btn_yes");
  HWND options = WaitForBox(L"OptionsBox");
  ASSERT_NE(options, nullptr);
  EXPECT_FALSE(core.askCloseOption);
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitOnUi([options] { return !IsWindow(options); }));
  FlushUi();
  EXPECT_TRUE(Visible());
  EXPECT_FALSE(g_exitRequested.load());

  SetState(kNoStateId, kFlowGame);
  ClickClose();
  ExpectExited();
  EXPECT_EQ(BoxNow(L"OptionsBox"), nullptr);
}

TEST_F(MainFormTest, TrayExitClosesWithoutAsking) {
  SetState(5, kFlowGame);
  EXPECT_EQ(SendMessageW(hwnd_, WM_COMMAND, kMsgExitDorevezi, 0), 0);
  ExpectExited();
  EXPECT_EQ(BoxNow(L"MsgBox"), nullptr);
}

TEST_F(MainFormTest, SystemCloseRunsTheCloseFlow) {
  SetState(5, kFlowGame);
  EXPECT_EQ(SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE | 2, 0), 0);
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitOnUi([box] { return !IsWindow(box); }));
  EXPECT_TRUE(Alive());
}

// The restart answer closes the UI's own main window and starts the helper; a handle that is no
// window of the UI gets no exit message.
TEST_F(MainFormTest, RestartAnswerClosesTheRealWindow) {
  ASSERT_FALSE(ReplaceHelperStarted());
  DoreveziCore& core = DoreveziCore::GetInstance();
  static int plainExits = 0;
  HWND plain = Ui().Run([] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (message == kMsgExitDorevezi) ++plainExits;
      return DefWindowProcW(window, message, wParam, lParam);
    };
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"DvTestPlainMain";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"DvTestPlainMain", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  });
  core.mainWindow = plain;
  Ui().Run([] { OnForcedRestartAnswer(0); });
  FlushUi();
  EXPECT_TRUE(ReplaceHelperStarted());
  EXPECT_EQ(plainExits, 0);
  Ui().Run([plain] { DestroyWindow(plain); });

  core.mainWindow = hwnd_;
  Ui().Run([] { OnForcedRestartAnswer(0); });
  EXPECT_TRUE(WaitOnUi([this] { return !IsWindow(hwnd_); }));
  EXPECT_TRUE(LastClose().quitPosted);
  EXPECT_EQ(core.mainWindow.load(), nullptr);
}

}  // namespace
}  // namespace dialog_test
