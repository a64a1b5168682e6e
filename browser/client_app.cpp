#include "browser/client_app.h"

#include "browser/cef/cef_cookie.h"
#include "browser/cef_manager.h"

namespace components {

void ClientApp::OnBeforeCommandLineProcessing(const CefString& process_type,
                                              CefRefPtr<CefCommandLine> command_line) {
  // Sub-processes get their switches from the browser process.
  if (!process_type.empty() || !command_line) return;
  command_line->AppendSwitchWithValue("ppapi-flash-version", "20.0.0.228");
  command_line->AppendSwitchWithValue("ppapi-flash-path", "PepperFlash\\pepflashplayer.dll");
  command_line->AppendSwitch("process-per-site");
  command_line->AppendSwitch("disable-gpu");
  command_line->AppendSwitch("disable-gpu-compositing");
  if (CefManager::Instance().IsOffscreenRendering()) {
    command_line->AppendSwitch("disable-surfaces");
    command_line->AppendSwitch("enable-begin-frame-scheduling");
  }
}

void ClientApp::OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar>) {
  cookieableSchemes_.push_back("http");
  cookieableSchemes_.push_back("https");
}

void ClientApp::OnContextInitialized() {
  CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
  if (manager) manager->SetSupportedSchemes(cookieableSchemes_, nullptr);
}

}  // namespace components
