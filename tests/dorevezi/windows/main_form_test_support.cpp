#include "main_form_test_support.h"

#include "base/message_loop.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/shell_functions.h"
#include "dorevezi/windows/dialog_presenter.h"
#include "ui/resources/ui_runtime.h"

namespace dialog_test {

namespace {

std::vector<DWORD> g_shellCalls;  // UI thread's
CloseRecord g_lastClose;          // UI thread's
WindowDialogPresenter g_mainPresenter;

BOOL WINAPI RecordNotifyIcon(DWORD message, PNOTIFYICONDATAW /*data*/) {
  g_shellCalls.push_back(message);
  return TRUE;
}
BOOL WINAPI NoFlash(PFLASHWINFO /*info*/) {
  return TRUE;
}
BOOL WINAPI NoSound(LPCWSTR /*path*/, HMODULE /*module*/, DWORD /*flags*/) {
  return TRUE;
}

ShellFunctions RecordingShell() {
  ShellFunctions table = GetShellFunctions();
  table.shellNotifyIcon = &RecordNotifyIcon;
  table.flashWindowEx = &NoFlash;
  table.playSound = &NoSound;
  return table;
}
ShellFunctions g_recordingShell;

// The browser manager's quit comes as a task after the close: taken back as soon as it ran.
class QuitTaker : public base::MessageLoop::TaskObserver {
 public:
  void BeforeTask() override {}
  void AfterTask() override {
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
};
QuitTaker g_quitTaker;

State* RecordPrepare(FlowMode flow) {
  StartedFlows().push_back(flow);
  return nullptr;
}

}  // namespace

std::vector<int>& StartedFlows() {
  static std::vector<int> flows;
  return flows;
}

LRESULT TestMainForm::HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  HWND window = GetHwnd();
  const LRESULT result = MainForm::HandleClose(message, wParam, lParam, handled);
  CloseRecord record;
  record.closed = true;
  // The test's UI loop goes on: the quit message is taken back.
  MSG quit;
  record.quitPosted = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 0;
  record.propertyLeft = GetPropW(window, kDoreveziInstanceName) != nullptr;
  record.mainWindowLeft = DoreveziCore::GetInstance().mainWindow.load();
  for (DWORD call : g_shellCalls) record.iconDeleted |= call == NIM_DELETE;
  g_lastClose = record;
  return result;
}

void MainFormFixture::SetUp() {
  Ui();
  MoveMouseTo(4, 4);
  ASSERT_TRUE(worker_.LaunchWithLoopType(base::kMessageLoopDefault));
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.envConfig.closeToHide = false;
  core.firstRun = false;
  core.askCloseOption = false;
  core.languageChanged = false;
  core.messageBoxOpen = false;
  g_exitRequested = false;
  SetStateFactories(&RecordPrepare, nullptr);
  SetEngineState(kNoStateId, kFlowGame);
  core.PublishPreDownloadStep(kNoStateId);
  g_recordingShell = RecordingShell();
  previousShell_ = ReplaceShellFunctions(&g_recordingShell);
  Ui().Run([this] {
    base::MessageLoop::Current()->AddTaskObserver(&g_quitTaker);
    g_shellCalls.clear();
    g_lastClose = CloseRecord();
    SetDialogPresenter(&g_mainPresenter);
    form_ = new TestMainForm();
    hwnd_ = form_->CreateNativeWindow(nullptr, L"Dorevezi", kMainWindowStyle, 0, true, ui::Rect());
    if (!hwnd_) return;
    form_->CenterOnOwner();
    form_->ShowNativeWindow(true, true);
    SetForegroundWindow(hwnd_);
  });
  ASSERT_NE(hwnd_, nullptr);
  ASSERT_TRUE(WaitOnUi([this] { return !form_->IsFirstLayoutPending() && form_->GetWindowAlpha() == 255; }));
  ASSERT_EQ(ShellCalls(NIM_ADD), 1);
}

void MainFormFixture::TearDown() {
  Ui().Run([this] {
    for (const wchar_t* name : {L"MsgBox", L"OptionsBox"}) {
      while (HWND box = FindWindowW(name, nullptr)) DestroyWindow(box);
    }
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.SetMainWindow(nullptr);
    core.messageBoxOpen = false;
    SetDialogPresenter(nullptr);
  });
  FlushUi();
  Ui().Run([] { base::MessageLoop::Current()->RemoveTaskObserver(&g_quitTaker); });
  SetEngineState(kNoStateId, kFlowGame);
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.PublishPreDownloadStep(kNoStateId);
  SetStateFactories(nullptr, nullptr);
  worker_.Stop();
  ReplaceShellFunctions(previousShell_);
  core.envConfig.closeToHide = false;
  core.firstRun = false;
  core.askCloseOption = false;
  g_exitRequested = false;
}

void MainFormFixture::SetEngineState(int32_t id, FlowMode flow) {
  worker_.RunAndWait([this, id, flow] {
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.ChangeState(nullptr);
    if (id != kNoStateId) {
      core.ChangeState(new entry_test::RecordingState("state", static_cast<StateId>(id), flow, &stateLog_));
    }
  });
}

int MainFormFixture::ShellCalls(DWORD message) {
  return Ui().Run([message] {
    int count = 0;
    for (DWORD call : g_shellCalls) count += call == message;
    return count;
  });
}

CloseRecord MainFormFixture::LastClose() {
  return Ui().Run([] { return g_lastClose; });
}

HWND MainFormFixture::WaitForBox(const wchar_t* className) {
  HWND found = nullptr;
  const bool shown = WaitOnUi([&] {
    HWND box = FindWindowW(className, nullptr);
    ui::Window* window = box && IsWindowVisible(box) ? ui::UiRuntime::FindWindowByHandle(box) : nullptr;
    if (!window || window->IsFirstLayoutPending() || window->GetWindowAlpha() != 255) return false;
    found = box;
    return true;
  });
  EXPECT_TRUE(shown) << "no " << std::string(className, className + wcslen(className)) << " shown";
  return found;
}

void MainFormFixture::ClickControl(HWND window, const std::wstring& name) {
  const ControlQueryAnswer control = QueryControl(window, name);
  ASSERT_TRUE(control.found && control.visible) << "cannot click " << std::string(name.begin(), name.end());
  Click(control.Centre());
}

}  // namespace dialog_test
