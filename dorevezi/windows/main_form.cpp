#include "dorevezi/windows/main_form.h"

#include "base/base_util.h"
#include "base/thread_registry.h"
#include "browser/cef_manager.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/windows/control_query.h"
#include "dorevezi/windows/main_components.h"
#include "dorevezi/windows/notify_tray.h"
#include "ui/controls/tab_box.h"
#include "ui/core/box.h"
#include "ui/core/ui_messages.h"

namespace {

constexpr WORD kWindowIconGroup = 107;
constexpr wchar_t kSettingFormClass[] = L"SettingForm";

UINT TickCountsQuery() {
  static const UINT message = RegisterWindowMessageW(kTickCountsQueryName);
  return message;
}

HICON LoadWindowIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kWindowIconGroup),
                                       IMAGE_ICON, GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_SHARED));
}

// Busy, or a pre-download exists: closing now would cut a download short.
bool IsDownloadAtStake() {
  return IsEngineBusy() || DoreveziCore::GetInstance().GetPreDownloadStep() != kNoStateId;
}

}  // namespace

bool IsEngineBusy() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const int32_t id = core.GetCurrentStateId();
  if (id == kNoStateId) return false;
  const int32_t flow = core.GetCurrentFlow();
  return flow == kFlowDorevezi || (flow == kFlowGame && id >= 1 && id <= 6);
}

MainForm::~MainForm() = default;

std::wstring MainForm::RegisteredClassName() const {
  return kMainWindowClass;
}

void MainForm::OnSkinLoaded() {
  HWND window = GetHwnd();
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadWindowIcon(SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(LoadWindowIcon(SM_CXSMICON, SM_CYSMICON)));

  if (auto* root = dynamic_cast<ui::Box*>(GetRoot())) {
    root->AddBubbledEventHandler(ui::kEventClick,
                                 MakeWeakCallback([this](ui::EventArgs* args) { return OnRootClick(args); }));
  }
  closeButton_ = dynamic_cast<ui::ButtonTemplate<ui::Control>*>(FindControlByName(L"btn_close"));
  if (closeButton_) {
    closeButton_->AddEventHandler(ui::kEventClick, MakeWeakCallback([this](ui::EventArgs* args) {
                                    if (args && args->sender && args->sender->GetName() == L"btn_close") {
                                      BeginCloseFlow();
                                    }
                                    return true;
                                  }));
  }

  BindTitles();
  BuildScrollPages();
  BuildTabs();
  BuildGameButton();
  BuildPreDlcTab();
  posterFrame_ = dynamic_cast<ui::Box*>(FindControlByName(L"poster_frame"));
  BuildWebView();
  jumpLinks_ = dynamic_cast<ui::HBox*>(FindControlByName(L"jump_links"));
  RefreshJumpLinks();

  DoreveziCore::GetInstance().SetMainWindow(window);
  tray_ = std::make_unique<NotifyTray>(window);
}

ui::Control* MainForm::CreateCustomControl(const std::wstring& className) {
  if (className == L"CefControl") return new MainComponents::CefDummyControl();
  return nullptr;
}

LRESULT MainForm::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (message == TickCountsQuery()) {
    return static_cast<LRESULT>(wParam == 0 ? uiTicks_ : core.engineTicks.load());
  }
  if (message == ControlQueryMessage()) return AnswerControlQuery(*this, wParam);
  switch (message) {
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (tray_ && data && data->dwData == 0) tray_->ShowBalloon(data);
      return 0;
    }
    case WM_COMMAND:
      if (tray_ && tray_->MenuCommand(wParam)) return 0;
      break;
    case kMsgTrayIcon:
      return tray_ ? tray_->TrayCallback(lParam) : 0;
    case kMsgShowMainWindow:
      return OnShowMainWindow(wParam, lParam);
    case kMsgHideToTray:
      OnHideToTray();
      return 0;
    case kMsgExitDorevezi:
      g_exitRequested = true;
      RequestClose(0);
      return 0;
    case kMsgClearHoverRegion:
      return 0;
    case kMsgRefreshTexts:
      RefreshTitles();
      RefreshGameButton();
      return 0;
    case kMsgRebuildAll:
      RefreshTitles();
      RefreshScrollPages();
      RefreshTabs();
      LoadWebViewUrl();
      RefreshGameButton();
      RefreshJumpLinks();
      return 0;
    case kMsgRebuildContent:
      RefreshScrollPages();
      RefreshTabs();
      LoadWebViewUrl();
      return 0;
    case kMsgUiTick:
      ++uiTicks_;
      return 0;
    case kMsgGameRegisterWindow:
      core.AddGameWindow(reinterpret_cast<HWND>(lParam));
      return 0;
    // Without the pre-download tab there is nothing to report yet.
    case kMsgGameQueryPreDownloadState:
      core.NotifyGameWindows(kMsgPreDownloadState, 0, kPreDownloadLinkNone);
      return 0;
    case kMsgGameQueryPreDownloadSize:
      core.NotifyGameWindows(kMsgPreDownloadSize, 0, 0);
      return 0;
    case kMsgGameQueryPreDownloadSpeed:
      core.NotifyGameWindows(kMsgPreDownloadSpeed, 0, 0);
      return 0;
    case kMsgGameLinkEcho:
      core.NotifyGameWindows(kMsgGameLinkEcho, 0, 0);
      return 0;
    case kMsgBecameTopWindow:
      OnBecameTopWindow();
      return 0;
    default:
      break;
  }
  return WindowImplBase::RouteMessage(message, wParam, lParam);
}

LRESULT MainForm::OnShowMainWindow(WPARAM wParam, LPARAM lParam) {
  HWND window = GetHwnd();
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window);
  // The window was hidden from the close button, which still looks hot.
  if (closeButton_) {
    closeButton_->SetHoverBlend(0);
    closeButton_->SetState(ui::kStateNormal);
    closeButton_->Invalidate();
  }
  if (wParam == 1) {
    if (!IsEngineBusy()) DoreveziCore::GetInstance().StartGameFlow(lParam == 1 ? 1 : 0, false);
  } else if (wParam == 2) {
    if (!IsEngineBusy()) DoreveziCore::GetInstance().StartDoreveziFlow();
  }
  return 0;
}

void MainForm::OnHideToTray() {
  if (HWND settings = FindWindowW(kSettingFormClass, nullptr)) {
    SendMessageW(settings, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  ShowWindow(GetHwnd(), SW_HIDE);
}

bool MainForm::OnRootClick(ui::EventArgs* /*args*/) {
  // The settings button is the only click the root handles, and its window is not built yet.
  return true;
}

void MainForm::BeginCloseFlow() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (core.envConfig.closeToHide) {
    CloseOrHide();
    return;
  }
  if (IsDownloadAtStake()) {
    core.ShowMessageBox(GetHwnd(), L"STRING_NOTICE", L"STRING_CLOSE_CONFIRM_FOR_DOWNLOAD", L"STRING_CANCEL",
                        L"STRING_CONFIRM", MakeWeakCallback([this](int result) {
                          if (result == 1) CloseOrHide();
                        }),
                        true);
    return;
  }
  CloseOrHide();
}

void MainForm::CloseOrHide() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!(core.firstRun && core.askCloseOption)) {
    SendMessageW(GetHwnd(), core.envConfig.closeToHide ? kMsgHideToTray : kMsgExitDorevezi, 0, 0);
    return;
  }
  // Offered once per process: Esc in the box leaves the choice unmade for good.
  core.askCloseOption = false;
  core.ShowOptionsBox(L"STRING_SHUT_OPTION_NOTICE", L"shutdown_options",
                      {L"STRING_SHUT_OPTION_TRAYICON", L"STRING_SHUT_OPTION_EXIT"}, 0, L"STRING_CONFIRM",
                      MakeWeakCallback([this](int index) { OnCloseChoice(index); }));
}

void MainForm::OnCloseChoice(int index) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const bool exit = index == 1;
  {
    base::CriticalSectionGuard lock(&core.textsLock);
    core.envConfig.closeToHide = !exit;
  }
  core.SaveEnvConfig();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  SendMessageW(GetHwnd(), exit ? kMsgExitDorevezi : kMsgHideToTray, 0, 0);
}

void MainForm::OnBecameTopWindow() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!core.languageChanged.exchange(false)) return;
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [] { DoreveziCore::GetInstance().SwitchUiLanguage(); });
}

LRESULT MainForm::HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  // The low four bits are the system's own.
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    BeginCloseFlow();
    return 0;
  }
  return WindowImplBase::HandleSysCommand(message, wParam, lParam, handled);
}

LRESULT MainForm::HandleClose(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, bool& handled) {
  closeButton_ = nullptr;
  windowTitle_ = nullptr;
  versionText_ = nullptr;
  mainTitle_ = nullptr;
  subTitle_ = nullptr;

  ClearScrollPages();
  leftArrow_ = nullptr;
  rightArrow_ = nullptr;
  ClearTabs();
  tabLabels_ = nullptr;
  tabPages_ = nullptr;

  if (gameButton_ && assetTab_) assetTab_->RemoveAllChildren();
  gameButton_ = nullptr;
  assetTab_ = nullptr;
  if (preDlcTab_) preDlcTab_->RemoveAllChildren();
  preDlcTab_ = nullptr;

  if (posterFrame_) {
    while (posterFrame_->GetChildCount() > 0) posterFrame_->RemoveChildAt(0);
  }
  posterFrame_ = nullptr;

  components::CefManager::Instance().QuitWhenBrowsersClosed(0);
  webView_ = nullptr;
  devToolsView_ = nullptr;

  if (jumpLinks_) jumpLinks_->RemoveAllChildren();
  jumpLinks_ = nullptr;

  tray_.reset();
  DoreveziCore::GetInstance().SetMainWindow(nullptr);
  // The loop ends now; browsers still closing are waited for once it has ended.
  PostQuitMessage(0);
  handled = false;
  return 0;
}

void MainForm::BuildGameButton() {
  gameButton_ = dynamic_cast<ui::ButtonTemplate<ui::Control>*>(FindControlByName(L"btn_game"));
  assetTab_ = dynamic_cast<ui::TabBox*>(FindControlByName(L"tab_assets"));
  if (gameButton_) gameButton_->SetTextId(L"STRING_START_GAME");
}

void MainForm::RefreshGameButton() {}

void MainForm::BuildPreDlcTab() {
  preDlcTab_ = dynamic_cast<ui::TabBox*>(FindControlByName(L"tab_predlc"));
}
