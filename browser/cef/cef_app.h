#pragma once

// The application object the program hands to the runtime, and the runtime's process-wide
// calls. The runtime "cef\libcef.dll" is loaded at the first of these calls; a missing, broken
// or foreign one makes them fail (CefExecuteProcess -1, CefInitialize false).

#include "browser/cef/cef_base.h"
#include "browser/cef/cef_command_line.h"
#include "browser/cef/cef_process_message.h"
#include "browser/cef/cef_types.h"

class CefBrowserProcessHandler : public virtual CefBase {
 public:
  // On the runtime's UI thread once the runtime has started.
  virtual void OnContextInitialized() {}
};

class CefBrowser;

class CefRenderProcessHandler : public virtual CefBase {
 public:
  // Once the render process has started, before any page's script runs: the time to register
  // extensions.
  virtual void OnWebKitInitialized() {}
  // From the browser process, on the render process's main thread.
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                        CefRefPtr<CefProcessMessage> message) {
    return false;
  }
};

class CefResourceBundleHandler : public virtual CefBase {};

class CefApp : public virtual CefBase {
 public:
  // `process_type` is empty for the browser process.
  virtual void OnBeforeCommandLineProcessing(const CefString& process_type,
                                             CefRefPtr<CefCommandLine> command_line) {}
  virtual void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) {}
  virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }
  virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

// -1 in the browser process; in a sub-process, that process's exit code once its work is done.
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info);
bool CefInitialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application,
                   void* windows_sandbox_info);
// Closes the browsers left open and ends the runtime's processes and threads.
void CefShutdown();
// The runtime's UI-thread work, for a runtime started without its own message-loop thread.
void CefDoMessageLoopWork();
void CefEnableHighDPISupport();

// Whether this process has loaded the runtime (the wrapper never loads it before a call above).
bool CefRuntimeLoaded();
