// cef_helper.exe: the runtime's sub-processes (render processes) run the application object
// here.
#include <windows.h>

#include "browser/cef/cef_app.h"
#include "browser/client_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  CefMainArgs args(instance);
  CefRefPtr<components::ClientApp> app = new components::ClientApp();
  int code = CefExecuteProcess(args, app.get(), nullptr);
  // Started without a sub-process type, or without the runtime: nothing to do.
  return code >= 0 ? code : 1;
}
