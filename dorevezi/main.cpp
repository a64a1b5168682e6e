// Entry point of dorevezi.exe: the launcher, its own self-updater ("replace") and the
// version-list build tool, chosen by the command line.
#include <windows.h>
#include <ole2.h>

#include "base/base_util.h"
#include "browser/cef/cef_app.h"
#include "browser/cef_manager.h"
#include "dorevezi/core/command_line.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/program_threads.h"
#include "dorevezi/core/self_replace.h"
#include "dorevezi/core/version_tool.h"
#include "dorevezi/update/apply_states.h"
#include "dorevezi/update/update_states.h"

namespace {

// Brings the running launcher's main window to the front; a window still starting or already
// closing is not found, and then nothing happens.
void RaiseFirstInstance() {
  for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window && IsWindow(window);
       window = GetWindow(window, GW_HWNDNEXT)) {
    if (GetPropW(window, kDoreveziInstanceName) != window) continue;
    if (!IsWindowVisible(window)) PostMessageW(window, kMsgShowMainWindow, 0, 0);
    ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window);
    SetForegroundWindow(GetLastActivePopup(window));
    return;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  SetCurrentDirectoryW(base::OwnModuleDirectory().c_str());

  const LaunchRequest request = DispatchArguments(ProcessArguments());
  switch (request.mode) {
    case LaunchMode::kReplace:
      RunReplaceMode(request.source, request.destination, request.runAfter);
    case LaunchMode::kMakeVersion:
      MakeDoreveziVersionMap(request.version);
      return 0;
    case LaunchMode::kMakeDependenceVersion:
      MakeDependenceVersionMap(request.version);
      return 0;
    case LaunchMode::kNormal:
      break;
  }

  // Held for the life of the process.
  HANDLE instance = CreateSemaphoreW(nullptr, 1, 1, kDoreveziInstanceName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    if (instance) CloseHandle(instance);
    RaiseFirstInstance();
    return 0;
  }

  components::CefManager& cef = components::CefManager::Instance();
  const bool hasCef = cef.PrepareCefEnvironment();
  if (hasCef) {
    OleInitialize(nullptr);
    CefSettings settings;
    cef.Initialize(base::OwnModuleDirectory() + L"cef_temp\\", settings);
  }

  InstallUpdateStates();
  InstallApplyStates();
  {
    MainThread mainThread;
    mainThread.RunInPlace(base::kMessageLoopUi);
  }

  if (hasCef) {
    CefShutdown();
    cef.SetCefInitialized(false);
    OleUninitialize();
  }
  return 0;
}
