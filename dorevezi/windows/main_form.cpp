#include "dorevezi/windows/main_form.h"

#include "browser/cef_manager.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/messages.h"

namespace {

constexpr DWORD kMainWindowStyle = 0xCE0000;  // caption, system menu, sizing frame, minimise box
constexpr int kWidth = 960;
constexpr int kHeight = 600;

UINT TickCountsQuery() {
  static const UINT message = RegisterWindowMessageW(kTickCountsQueryName);
  return message;
}

bool RegisterMainWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass = {sizeof(windowClass)};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

bool MainForm::Create() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterMainWindowClass(instance, &MainForm::WindowProc)) return false;
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.left + (work.right - work.left - kWidth) / 2;
  int y = work.top + (work.bottom - work.top - kHeight) / 2;
  HWND window = CreateWindowExW(0, kMainWindowClass, L"Dorevezi", kMainWindowStyle, x, y, kWidth, kHeight,
                                nullptr, nullptr, instance, this);
  if (!window) return false;
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetFocus(window);
  return true;
}

LRESULT CALLBACK MainForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MainForm* form = reinterpret_cast<MainForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    form = static_cast<MainForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  if (!form) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    LRESULT result = DefWindowProcW(window, message, wParam, lParam);
    delete form;
    return result;
  }
  return form->HandleMessage(message, wParam, lParam);
}

LRESULT MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  switch (message) {
    case WM_CREATE:
      core.SetMainWindow(window_);
      return 0;
    case WM_CLOSE:
      SendMessageW(window_, core.envConfig.closeToHide ? kMsgHideToTray : kMsgExitDorevezi, 0, 0);
      return 0;
    case kMsgShowMainWindow:
      ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
      SetForegroundWindow(window_);
      return 0;
    case kMsgHideToTray:
      ShowWindow(window_, SW_HIDE);
      return 0;
    case kMsgExitDorevezi:
      Exit();
      return 0;
    case kMsgUiTick:
      ++uiTicks_;
      return 0;
    case kMsgGameRegisterWindow:
      core.AddGameWindow(reinterpret_cast<HWND>(lParam));
      return 0;
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
    case WM_DESTROY:
      if (core.mainWindow == window_) core.SetMainWindow(nullptr);
      return 0;
  }
  if (message == TickCountsQuery()) {
    return static_cast<LRESULT>(wParam == 0 ? uiTicks_ : core.engineTicks.load());
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void MainForm::Exit() {
  g_exitRequested = true;
  DoreveziCore::GetInstance().SetMainWindow(nullptr);
  DestroyWindow(window_);
  // The loop ends at once; browsers still closing are waited for when it has ended.
  components::CefManager::Instance().QuitWhenBrowsersClosed(0);
  PostQuitMessage(0);
}
