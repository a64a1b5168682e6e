#pragma once

// The application object handed to the runtime in every process: in the browser process it adds
// the launcher's switches and names the schemes whose cookies are kept.

#include <memory>
#include <vector>

#include "browser/cef/cef_app.h"

namespace components {

class CefJSBridge;

class ClientApp : public CefApp, public CefBrowserProcessHandler, public CefRenderProcessHandler {
 public:
  ClientApp() = default;

  void OnBeforeCommandLineProcessing(const CefString& process_type,
                                     CefRefPtr<CefCommandLine> command_line) override;
  void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override;
  CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() override { return nullptr; }
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }

  void OnContextInitialized() override;

  const std::vector<CefString>& cookieable_schemes() const { return cookieableSchemes_; }

 private:
  std::shared_ptr<CefJSBridge> renderBridge_;
  std::vector<CefString> cookieableSchemes_;
  bool lastNodeEditable_ = false;

  IMPLEMENT_REFCOUNTING(ClientApp);
};

}  // namespace components
