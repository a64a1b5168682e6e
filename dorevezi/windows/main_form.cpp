#include "dorevezi/windows/main_form.h"

#include "browser/cef_manager.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/windows/main_components.h"
#include "dorevezi/windows/notify_tray.h"
#include "ui/controls/tab_box.h"
#include "ui/core/box.h"

namespace {

UINT TickCountsQuery() {
  static const UINT message = RegisterWindowMessageW(kTickCountsQueryName);
  return message;
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

std::wstring MainForm::RegisteredClassName() const { return kMainWindowClass; }

void MainForm::OnSkinLoaded() {
  BindTitles();
  BuildScrollPages();
  BuildTabs();
  BuildGameButton();
  BuildPreDlcTab();
  posterFrame_ = dynamic_cast<ui::Box*>(FindControlByName(L"poster_frame"));
  BuildWebView();
  jumpLinks_ = dynamic_cast<ui::HBox*>(FindControlByName(L"jump_links"));
  RefreshJumpLinks();
  DoreveziCore::GetInstance().SetMainWindow(GetHwnd());
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
  switch (message) {
    case kMsgUiTick:
      ++uiTicks_;
      return 0;
    case kMsgExitDorevezi:
      g_exitRequested = true;
      RequestClose(0);
      return 0;
    default:
      break;
  }
  return WindowImplBase::RouteMessage(message, wParam, lParam);
}

LRESULT MainForm::HandleClose(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, bool& handled) {
  components::CefManager::Instance().QuitWhenBrowsersClosed(0);
  DoreveziCore::GetInstance().SetMainWindow(nullptr);
  PostQuitMessage(0);
  handled = false;
  return 0;
}

LRESULT MainForm::HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  return WindowImplBase::HandleSysCommand(message, wParam, lParam, handled);
}

bool MainForm::OnRootClick(ui::EventArgs* /*args*/) { return true; }
void MainForm::BeginCloseFlow() {}
void MainForm::CloseOrHide() {}
void MainForm::OnBecameTopWindow() {}
LRESULT MainForm::OnShowMainWindow(WPARAM /*wParam*/, LPARAM /*lParam*/) { return 0; }
void MainForm::OnHideToTray() {}
void MainForm::OnCloseChoice(int /*index*/) {}

void MainForm::BuildGameButton() {}
void MainForm::RefreshGameButton() {}
void MainForm::BuildPreDlcTab() {}
