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

struct CefMouseEvent {
  int x = 0;
  int y = 0;
  uint32_t modifiers = 0;
};

enum cef_key_event_type_t { KEYEVENT_RAWKEYDOWN = 0, KEYEVENT_KEYDOWN = 1, KEYEVENT_KEYUP = 2, KEYEVENT_CHAR = 3 };
struct CefKeyEvent {
  cef_key_event_type_t type = KEYEVENT_RAWKEYDOWN;
  uint32_t modifiers = 0;
  int windows_key_code = 0;
  int native_key_code = 0;
  int is_system_key = 0;
  wchar_t character = 0;
  wchar_t unmodified_character = 0;
  int focus_on_editable_field = 0;
};

enum cef_mouse_button_type_t { MBT_LEFT = 0, MBT_MIDDLE = 1, MBT_RIGHT = 2 };
using MouseButtonType = cef_mouse_button_type_t;

enum cef_cursor_type_t { CT_POINTER = 0, CT_CROSS = 1, CT_HAND = 2, CT_IBEAM = 3, CT_WAIT = 4, CT_HELP = 5 };
using CursorType = cef_cursor_type_t;
using CefCursorHandle = HCURSOR;
struct CefPoint {
  int x = 0, y = 0;
};
struct CefSize {
  int width = 0, height = 0;
};
struct CefCursorInfo {
  CefPoint hotspot;
  float image_scale_factor = 1;
  void* buffer = nullptr;
  CefSize size;
};

enum cef_window_open_disposition_t {
  WOD_UNKNOWN = 0,
  WOD_CURRENT_TAB,
  WOD_SINGLETON_TAB,
  WOD_NEW_FOREGROUND_TAB,
  WOD_NEW_BACKGROUND_TAB,
  WOD_NEW_POPUP,
  WOD_NEW_WINDOW,
  WOD_SAVE_TO_DISK,
  WOD_OFF_THE_RECORD,
  WOD_IGNORE_ACTION
};
using WindowOpenDisposition = cef_window_open_disposition_t;
struct CefPopupFeatures {
  int x = 0, xSet = 0, y = 0, ySet = 0, width = 0, widthSet = 0, height = 0, heightSet = 0;
  int menuBarVisible = 1, statusBarVisible = 1, toolBarVisible = 1, locationBarVisible = 1;
  int scrollbarsVisible = 1, resizable = 1, fullscreen = 0, dialog = 0;
};

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
  // Windowless browsers' mouse input, in view coordinates.
  virtual void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp, int clickCount) = 0;
  virtual void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) = 0;
  virtual void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) = 0;
  virtual void SendKeyEvent(const CefKeyEvent& event) = 0;
  virtual void SendFocusEvent(bool setFocus) = 0;
};

class CefRenderHandler : public virtual CefBase {
 public:
  using RectList = std::vector<CefRect>;
  // The view's rectangle in its window; false when there is none yet.
  virtual bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
  // A frame of GetViewRect's size: premultiplied BGRA, valid during the call.
  virtual void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirty_rects,
                       const void* buffer, int width, int height) = 0;
  // The pointer's shape over the page changed.
  virtual void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, CursorType type,
                              const CefCursorInfo& custom_cursor_info) {}
};

class CefLifeSpanHandler : public virtual CefBase {
 public:
  virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) {}
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) {}
  // A link to another window: true cancels the pop-up. The runtime opens no windows either way.
  virtual bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                             const CefString& target_frame_name, WindowOpenDisposition target_disposition,
                             bool user_gesture, const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                             CefRefPtr<CefClient>& client, CefBrowserSettings& settings, bool* no_javascript_access) {
    return false;
  }
};

enum cef_return_value_t { RV_CANCEL = 0, RV_CONTINUE = 1, RV_CONTINUE_ASYNC = 2 };
using ReturnValue = cef_return_value_t;

// Network errors as the load events report them.
enum cef_errorcode_t {
  ERR_NONE = 0,
  ERR_FAILED = -2,
  ERR_ABORTED = -3,
  ERR_INVALID_ARGUMENT = -4,
  ERR_TIMED_OUT = -7,
  ERR_CONNECTION_RESET = -101,
  ERR_SSL_PROTOCOL_ERROR = -107,
  ERR_CONNECTION_REFUSED = -102,
  ERR_NAME_NOT_RESOLVED = -105,
  ERR_CERT_COMMON_NAME_INVALID = -200,
  ERR_CERT_DATE_INVALID = -201,
  ERR_CERT_AUTHORITY_INVALID = -202,
  ERR_INVALID_URL = -300,
  ERR_UNKNOWN_URL_SCHEME = -302,
  ERR_EMPTY_RESPONSE = -324,
};
using ErrorCode = cef_errorcode_t;

class CefRequest : public virtual CefBase {
 public:
  virtual CefString GetURL() = 0;
  virtual CefString GetMethod() = 0;
};

// A later answer to OnBeforeResourceLoad.
class CefRequestCallback : public virtual CefBase {
 public:
  virtual void Continue(bool allow) = 0;
  virtual void Cancel() = 0;
};

class CefLoadHandler : public virtual CefBase {
 public:
  virtual void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool is_loading, bool can_go_back,
                                    bool can_go_forward) {}
  virtual void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) {}
  virtual void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int http_status_code) {}
  virtual void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode error_code,
                           const CefString& error_text, const CefString& failed_url) {}
};

class CefDisplayHandler : public virtual CefBase {
 public:
  virtual void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& url) {}
  virtual void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) {}
  // A page's console output; true keeps it from the runtime's log.
  virtual bool OnConsoleMessage(CefRefPtr<CefBrowser> browser, const CefString& message, const CefString& source,
                                int line) {
    return false;
  }
};

class CefRequestHandler : public virtual CefBase {
 public:
  // A followed link before it navigates: true cancels it.
  virtual bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                              bool is_redirect) {
    return false;
  }
  // On the runtime's IO thread; RV_CONTINUE_ASYNC answers later through `callback`.
  virtual ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                           CefRefPtr<CefRequest> request, CefRefPtr<CefRequestCallback> callback) {
    return RV_CONTINUE;
  }
  // A URL of a scheme the runtime does not load ("mailto:" and the like).
  virtual void OnProtocolExecution(CefRefPtr<CefBrowser> browser, const CefString& url, bool& allow_os_execution) {}
  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) {}
};

// What a context menu was asked for on.
class CefContextMenuParams : public virtual CefBase {
 public:
  // View coordinates of the click.
  virtual int GetXCoord() = 0;
  virtual int GetYCoord() = 0;
  // The link under the click, empty for none.
  virtual CefString GetLinkUrl() = 0;
  virtual CefString GetPageUrl() = 0;
};

enum cef_menu_id_t { MENU_ID_BACK = 100, MENU_ID_FORWARD = 101, MENU_ID_RELOAD = 102 };

// The items of a context menu; valid during the call that hands it out.
class CefMenuModel : public virtual CefBase {
 public:
  virtual bool Clear() = 0;
  virtual int GetCount() = 0;
  // -1 for a separator or an index out of range.
  virtual int GetCommandIdAt(int index) = 0;
  virtual CefString GetLabelAt(int index) = 0;
  virtual bool AddItem(int command_id, const CefString& label) = 0;
  virtual bool AddSeparator() = 0;
  virtual bool RemoveAt(int index) = 0;
};

enum cef_event_flags_t { EVENTFLAG_NONE = 0 };
using EventFlags = cef_event_flags_t;

// A right click on the page, on the runtime's UI thread.
class CefContextMenuHandler : public virtual CefBase {
 public:
  // A native menu of the items left in `model` shows once this returns (none when it is empty).
  virtual void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefContextMenuParams> params, CefRefPtr<CefMenuModel> model) {}
  // The item chosen; true when handled here, otherwise the runtime does its own (Reload reloads).
  virtual bool OnContextMenuCommand(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                    CefRefPtr<CefContextMenuParams> params, int command_id, EventFlags event_flags) {
    return false;
  }
};

enum cef_jsdialog_type_t { JSDIALOGTYPE_ALERT = 0, JSDIALOGTYPE_CONFIRM = 1, JSDIALOGTYPE_PROMPT = 2 };
using JSDialogType = cef_jsdialog_type_t;

// The answer to a page's dialog, once, from any thread; dropped unanswered, the dialog is cancelled.
class CefJSDialogCallback : public virtual CefBase {
 public:
  virtual void Continue(bool success, const CefString& user_input) = 0;
};

// A page's alert, confirm or prompt, on the runtime's UI thread; the page waits for its answer.
class CefJSDialogHandler : public virtual CefBase {
 public:
  // True: answered through `callback` (now or later). False: `suppress_message` set cancels the
  // dialog (confirm gives false, prompt null), unset shows the runtime's own.
  virtual bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString& origin_url, JSDialogType dialog_type,
                          const CefString& message_text, const CefString& default_prompt_text,
                          CefRefPtr<CefJSDialogCallback> callback, bool& suppress_message) {
    return false;
  }
};

class CefClient : public virtual CefBase {
 public:
  virtual CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() { return nullptr; }
  virtual CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() { return nullptr; }
  virtual CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() { return nullptr; }
  virtual CefRefPtr<CefRequestHandler> GetRequestHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderHandler> GetRenderHandler() { return nullptr; }
  virtual CefRefPtr<CefLoadHandler> GetLoadHandler() { return nullptr; }
  virtual CefRefPtr<CefDisplayHandler> GetDisplayHandler() { return nullptr; }
  // From the browser's render process, on the runtime's UI thread.
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                        CefRefPtr<CefProcessMessage> message) {
    return false;
  }
};
