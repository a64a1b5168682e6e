#pragma once

// Browsers and their client: the program's handlers of a browser's events.

#include "browser/cef/cef_base.h"
#include "browser/cef/cef_types.h"

class CefBrowserHost;
class CefClient;

class CefBrowser : public virtual CefBase {
 public:
  virtual CefRefPtr<CefBrowserHost> GetHost() = 0;
  // Unique within the browser process.
  virtual int GetIdentifier() = 0;
  virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
};

enum cef_termination_status_t {
  TS_ABNORMAL_TERMINATION = 0,
  TS_PROCESS_WAS_KILLED = 1,
  TS_PROCESS_CRASHED = 2,
};
using TerminationStatus = cef_termination_status_t;

class CefWindowInfo {
 public:
  void SetAsWindowless(HWND parent, bool transparent) {
    parent_window = parent;
    windowless_rendering_enabled = 1;
    transparent_painting_enabled = transparent;
  }
  HWND parent_window = nullptr;
  int windowless_rendering_enabled = 0;
  int transparent_painting_enabled = 0;
  int x = 0, y = 0, width = 0, height = 0;
  DWORD style = 0;
  CefString window_name;
};

struct CefBrowserSettings {};

class CefRequestContext : public virtual CefBase {};

class CefBrowserHost : public virtual CefBase {
 public:
  // Asks the runtime for a browser; it exists once the client's OnAfterCreated has been called.
  static bool CreateBrowser(const CefWindowInfo& window_info, CefRefPtr<CefClient> client, const CefString& url,
                            const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context);
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
  // Closes the browser; the client's OnBeforeClose follows on the runtime's UI thread.
  virtual void CloseBrowser(bool force_close) = 0;
  virtual CefRefPtr<CefClient> GetClient() = 0;
};

class CefLifeSpanHandler : public virtual CefBase {
 public:
  virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) {}
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) {}
};

class CefRequestHandler : public virtual CefBase {
 public:
  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) {}
};

class CefClient : public virtual CefBase {
 public:
  virtual CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() { return nullptr; }
  virtual CefRefPtr<CefRequestHandler> GetRequestHandler() { return nullptr; }
};
