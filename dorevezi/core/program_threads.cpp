#include "dorevezi/core/program_threads.h"

#include "base/thread_registry.h"
#include "browser/cef_manager.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/resource_fonts.h"
#include "dorevezi/core/self_replace.h"
#include "dorevezi/core/skin_package.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/state.h"
#include "dorevezi/windows/dialog_presenter.h"
#include "dorevezi/windows/main_form.h"
#include "ui/core/string_util.h"
#include "ui/resources/ui_runtime.h"

namespace {

// The UI framework starts with the skin's root and theme and the core's language.
void InitializeUiRuntime() {
  std::wstring language;
  ui::MultiByteToWide(DoreveziCore::GetInstance().envConfig.languageCode, language, CP_UTF8);
  ui::UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", language);
}
void UninitializeUiRuntime() { ui::UiRuntime::Uninitialize(); }
// The core's questions become the launcher's message and options boxes.
WindowDialogPresenter& DialogPresenterInstance() {
  static WindowDialogPresenter presenter;
  return presenter;
}
// The download manager's transfer pump, and its running flag, cleared from the UI thread so that
// transfers and requests stop before the worker is asked to end.
void TickDownloadManager() { DownloadManager::GetInstance().Tick(); }
void StopDownloadManagerRunning() { DownloadManager::GetInstance().running = false; }

}  // namespace

void UpdateEngineTick() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  ++core.engineTicks;
  if (!core.engineStarted) {
    core.engineStarted = true;
    core.ChangeState(CreatePrepareState(kFlowDorevezi));
  }
  // Read anew at each step: a tick may replace the states.
  if (State* state = core.currentState) state->OnTick();
  if (State* state = core.preDownloadState) state->OnTick();
  TickDownloadManager();
}

MiscThread::MiscThread() : base::FrameworkThread("MiscThread") {}

MiscThread::~MiscThread() = default;

void MiscThread::OnThreadStart() {
  base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdMisc);
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.OnMiscThreadStart();
  core.engineStarted = false;
  base::ThreadRegistry::PostRecurringTask(base::kThreadIdMisc, MakeWeakCallback([] { UpdateEngineTick(); }),
                                          base::TimeDelta(kEngineTickMicroseconds), base::kRepeatForever);
}

void MiscThread::OnThreadExit() {
  DoreveziCore::GetInstance().OnMiscThreadExit();
  base::ThreadRegistry::UnregisterCurrentThread();
}

MainThread::MainThread() : base::FrameworkThread("MainThread") {}

MainThread::~MainThread() {
  delete miscThread_;
}

void MainThread::OnThreadStart() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.Initialize();
  base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi);
  delete miscThread_;
  miscThread_ = new MiscThread();
  if (!miscThread_->message_loop()) miscThread_->LaunchWithLoopType(base::kMessageLoopDefault);
  LoadResourcePackage();
  InitializeUiRuntime();
  SetDialogPresenter(&DialogPresenterInstance());
  core.LoadCommonConfig();
  base::ThreadRegistry::PostRecurringTask(base::kThreadIdUi, MakeWeakCallback([] {
                                            DoreveziCore::GetInstance().NotifyMainWindow(kMsgUiTick, 0, 0);
                                          }),
                                          base::TimeDelta(kUiTickMicroseconds), base::kRepeatForever);
  // The window owns itself from here on; one that fails in its creation message is gone already.
  MainForm* form = new MainForm();
  const std::weak_ptr<base::WeakFlag> alive = form->ObtainWeakFlag();
  if (!form->CreateNativeWindow(nullptr, L"Dorevezi", kMainWindowStyle, 0, true, ui::Rect())) {
    if (!alive.expired()) delete form;
    return;
  }
  form->CenterOnOwner();
  form->ShowNativeWindow(true, true);
}

void MainThread::OnThreadExit() {
  // Browsers still closing get their close tasks run while this loop still exists (tasks posted
  // after it is gone are dropped), so that the runtime's shut-down finds them closed.
  components::CefManager::Instance().RunTasksUntilBrowsersClosed();
  DoreveziCore& core = DoreveziCore::GetInstance();
  SetDialogPresenter(nullptr);
  UninitializeUiRuntime();
  StopDownloadManagerRunning();
  if (miscThread_) {
    miscThread_->Stop();
    delete miscThread_;
    miscThread_ = nullptr;
  }
  // Written only now: until the worker has ended, it may be writing the same record.
  core.SaveDownloadLog();
  base::ThreadRegistry::UnregisterCurrentThread();
  // A browser-runtime file that could not be copied last time is copied by this exit's replace run.
  if (core.doreveziReplaced || core.cefReplaced || core.fontsReplaced || HasPendingCefUpdate()) {
    if (core.fontsReplaced) UninstallResourceFonts();
    StartReplaceHelper(L"", core.doreveziReplaced);
  }
}
