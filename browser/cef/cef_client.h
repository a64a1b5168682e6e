#pragma once

// Browsers and their client: the program's handlers of a browser's events.

#include "browser/cef/cef_base.h"
#include "browser/cef/cef_process_message.h"
#include "browser/cef/cef_types.h"

#include <vector>

class CefBrowserHost;
class CefClient;

class CefFrame : public virtual CefBase {
 public:
  virtual void LoadURL(const CefString& url) = 0;
  virtual bool IsMain() = 0;
};

class CefBrowser : public virtual CefBase {
 public:
  virtual CefRefPtr<CefBrowserHost> GetHost() = 0;
  virtual CefRefPtr<CefFrame> GetMainFrame() = 0;
  // Unique within the browser process.
  virtual int GetIdentifier() = 0;
  virtual bool IsSame(CefRefPtr<CefBrowser> that) = 0;
  // To the other process of this browser; from any thread, in order.
  virtual bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) = 0;
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

struct CefRect {
  CefRect() = default;
  CefRect(int x, int y, int width, int height) : x(x), y(y), width(width), height(height) {}
  int x = 0, y = 0, width = 0, height = 0;
};

enum cef_paint_element_type_t { PET_VIEW = 0, PET_POPUP = 1 };
using PaintElementType = cef_paint_element_type_t;

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
  // Windowless browsers: no frames are painted while hidden; a new size is asked for after
  // WasResized.
  virtual void WasHidden(bool hidden) = 0;
  virtual void WasResized() = 0;
};

class CefRenderHandler : public virtual CefBase {
 public:
  using RectList = std::vector<CefRect>;
  // The view's rectangle in its window; false when there is none yet.
  virtual bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
  // A frame of GetViewRect's size: premultiplied BGRA, valid during the call.
  virtual void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirty_rects,
                       const void* buffer, int width, int height) = 0;
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
  virtual CefRefPtr<CefRenderHandler> GetRenderHandler() { return nullptr; }
  // From the browser's render process, on the runtime's UI thread.
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                        CefRefPtr<CefProcessMessage> message) {
    return false;
  }
};
