// The program's side of the runtime boundary: binds "libcef.dll" at the first runtime call and
// turns the C++ interface into the plain-C one of cef_runtime_abi.h and back.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/base_util.h"
#include "browser/cef/cef_app.h"
#include "browser/cef/cef_client.h"
#include "browser/cef/cef_cookie.h"
#include "browser/cef/cef_runtime_abi.h"
#include "browser/cef/cef_task.h"
#include "browser/cef/cef_v8.h"

namespace {

struct RuntimeExports {
  HMODULE module = nullptr;
  cef_runtime_execute_process_fn execute_process = nullptr;
  cef_runtime_initialize_fn initialize = nullptr;
  cef_runtime_shutdown_fn shutdown = nullptr;
  cef_runtime_do_message_loop_work_fn do_message_loop_work = nullptr;
  cef_runtime_enable_highdpi_support_fn enable_highdpi_support = nullptr;
  cef_runtime_post_delayed_task_fn post_delayed_task = nullptr;
  cef_runtime_currently_on_fn currently_on = nullptr;
  cef_runtime_cookie_set_supported_schemes_fn cookie_set_supported_schemes = nullptr;
  cef_runtime_create_browser_fn create_browser = nullptr;
  cef_runtime_browser_add_ref_fn browser_add_ref = nullptr;
  cef_runtime_browser_release_fn browser_release = nullptr;
  cef_runtime_browser_get_identifier_fn browser_get_identifier = nullptr;
  cef_runtime_browser_close_fn browser_close = nullptr;
  cef_runtime_browser_load_url_fn browser_load_url = nullptr;
  cef_runtime_request_callback_add_ref_fn request_callback_add_ref = nullptr;
  cef_runtime_request_callback_release_fn request_callback_release = nullptr;
  cef_runtime_request_callback_continue_fn request_callback_continue = nullptr;
  cef_runtime_browser_send_process_message_fn browser_send_process_message = nullptr;
  cef_runtime_browser_was_hidden_fn browser_was_hidden = nullptr;
  cef_runtime_browser_was_resized_fn browser_was_resized = nullptr;
  cef_runtime_browser_send_mouse_click_event_fn browser_send_mouse_click_event = nullptr;
  cef_runtime_browser_send_mouse_move_event_fn browser_send_mouse_move_event = nullptr;
  cef_runtime_browser_send_mouse_wheel_event_fn browser_send_mouse_wheel_event = nullptr;
  cef_runtime_browser_send_key_event_fn browser_send_key_event = nullptr;
  cef_runtime_browser_send_focus_event_fn browser_send_focus_event = nullptr;
  cef_runtime_register_extension_fn register_extension = nullptr;
};

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

template <class F>
bool Bind(HMODULE module, const char* name, F* slot) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return *slot != nullptr;
}

std::atomic<bool> g_load_attempted{false};

// Null when the runtime is missing, cannot be loaded, lacks an export or speaks another
// interface version; such a library is unloaded again.
const RuntimeExports* LoadRuntime() {
  static RuntimeExports* exports = []() -> RuntimeExports* {
    g_load_attempted = true;
    // The program finds it in "cef" beside itself; the sub-process executable lives in "cef".
    const std::wstring folder = base::OwnModuleDirectory();
    std::wstring path = folder + L"cef\\libcef.dll";
    if (!FileExists(path)) path = folder + L"libcef.dll";
    if (!FileExists(path)) return nullptr;
    // No system error box for a broken file.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(oldMode);
    if (!module) return nullptr;
    cef_runtime_api_hash_fn api_hash = nullptr;
    auto* e = new RuntimeExports();
    e->module = module;
    bool complete = Bind(module, "cef_api_hash", &api_hash) &&
                    Bind(module, "cef_execute_process", &e->execute_process) &&
                    Bind(module, "cef_initialize", &e->initialize) && Bind(module, "cef_shutdown", &e->shutdown) &&
                    Bind(module, "cef_do_message_loop_work", &e->do_message_loop_work) &&
                    Bind(module, "cef_enable_highdpi_support", &e->enable_highdpi_support) &&
                    Bind(module, "cef_post_delayed_task", &e->post_delayed_task) &&
                    Bind(module, "cef_currently_on", &e->currently_on) &&
                    Bind(module, "cef_cookie_manager_set_supported_schemes", &e->cookie_set_supported_schemes) &&
                    Bind(module, "cef_browser_host_create_browser", &e->create_browser) &&
                    Bind(module, "cef_browser_add_ref", &e->browser_add_ref) &&
                    Bind(module, "cef_browser_release", &e->browser_release) &&
                    Bind(module, "cef_browser_get_identifier", &e->browser_get_identifier) &&
                    Bind(module, "cef_browser_close", &e->browser_close) &&
                    Bind(module, "cef_browser_load_url", &e->browser_load_url) &&
                    Bind(module, "cef_request_callback_add_ref", &e->request_callback_add_ref) &&
                    Bind(module, "cef_request_callback_release", &e->request_callback_release) &&
                    Bind(module, "cef_request_callback_continue", &e->request_callback_continue) &&
                    Bind(module, "cef_browser_send_process_message", &e->browser_send_process_message) &&
                    Bind(module, "cef_browser_was_hidden", &e->browser_was_hidden) &&
                    Bind(module, "cef_browser_was_resized", &e->browser_was_resized) &&
                    Bind(module, "cef_browser_send_mouse_click_event", &e->browser_send_mouse_click_event) &&
                    Bind(module, "cef_browser_send_mouse_move_event", &e->browser_send_mouse_move_event) &&
                    Bind(module, "cef_browser_send_mouse_wheel_event", &e->browser_send_mouse_wheel_event) &&
                    Bind(module, "cef_browser_send_key_event", &e->browser_send_key_event) &&
                    Bind(module, "cef_browser_send_focus_event", &e->browser_send_focus_event) &&
                    Bind(module, "cef_register_extension", &e->register_extension);
    const char* hash = complete ? api_hash(0) : nullptr;
    if (!hash || std::strcmp(hash, CEF_RUNTIME_API_HASH) != 0) {
      FreeLibrary(module);
      delete e;
      return nullptr;
    }
    return e;
  }();
  return exports;
}

// The runtime when an earlier call has bound it; never loads it.
const RuntimeExports* LoadRuntimeIfBound() { return g_load_attempted ? LoadRuntime() : nullptr; }

// Exceptions stop at the boundary: the runtime is plain C.
template <class F>
void Guarded(F&& body) {
  try {
    body();
  } catch (...) {
  }
}

std::wstring ReadBuffer(size_t (*read)(void*, wchar_t*, size_t), void* self) {
  wchar_t probe[1];
  size_t length = read(self, probe, 1);
  std::wstring text(length + 1, L'\0');
  read(self, &text[0], text.size());
  text.resize(length);
  return text;
}

class CommandLineProxy : public CefCommandLine {
 public:
  explicit CommandLineProxy(cef_runtime_command_line* line) : line_(line) {}
  bool HasSwitch(const CefString& name) override { return line_->has_switch(line_->self, name.c_str()) != 0; }
  CefString GetSwitchValue(const CefString& name) override {
    wchar_t probe[1];
    size_t length = line_->get_switch_value(line_->self, name.c_str(), probe, 1);
    std::wstring text(length + 1, L'\0');
    line_->get_switch_value(line_->self, name.c_str(), &text[0], text.size());
    text.resize(length);
    return text;
  }
  void AppendSwitch(const CefString& name) override { line_->append_switch(line_->self, name.c_str()); }
  void AppendSwitchWithValue(const CefString& name, const CefString& value) override {
    line_->append_switch_with_value(line_->self, name.c_str(), value.c_str());
  }
  CefString GetCommandLineString() override { return ReadBuffer(line_->get_command_line_string, line_->self); }

 private:
  cef_runtime_command_line* line_;
  IMPLEMENT_REFCOUNTING(CommandLineProxy);
};

class SchemeRegistrarProxy : public CefSchemeRegistrar {
 public:
  explicit SchemeRegistrarProxy(cef_runtime_scheme_registrar* registrar) : registrar_(registrar) {}
  bool AddCustomScheme(const CefString& scheme, bool is_standard, bool is_local, bool is_display_isolated) override {
    return registrar_->add_custom_scheme(registrar_->self, scheme.c_str(), is_standard, is_local,
                                         is_display_isolated) != 0;
  }

 private:
  cef_runtime_scheme_registrar* registrar_;
  IMPLEMENT_REFCOUNTING(SchemeRegistrarProxy);
};

// The C face of a CefApp; lives as long as the runtime holds references to it.
class AppAdapter {
 public:
  explicit AppAdapter(CefRefPtr<CefApp> app) : app_(std::move(app)) {
    c_.self = this;
    c_.add_ref = [](void* self) { static_cast<AppAdapter*>(self)->count_++; };
    c_.release = [](void* self) {
      auto* adapter = static_cast<AppAdapter*>(self);
      if (--adapter->count_ == 0) delete adapter;
    };
    c_.on_before_command_line_processing = [](void* self, const wchar_t* type, cef_runtime_command_line* line) {
      Guarded([&] {
        CefRefPtr<CefCommandLine> proxy = new CommandLineProxy(line);
        static_cast<AppAdapter*>(self)->app_->OnBeforeCommandLineProcessing(CefString(type), proxy);
      });
    };
    c_.on_register_custom_schemes = [](void* self, cef_runtime_scheme_registrar* registrar) {
      Guarded([&] {
        CefRefPtr<CefSchemeRegistrar> proxy = new SchemeRegistrarProxy(registrar);
        static_cast<AppAdapter*>(self)->app_->OnRegisterCustomSchemes(proxy);
      });
    };
    c_.on_process_message_received = &AppAdapter::OnRenderMessage;
    c_.on_web_kit_initialized = [](void* self) {
      Guarded([&] {
        CefRefPtr<CefRenderProcessHandler> handler = static_cast<AppAdapter*>(self)->app_->GetRenderProcessHandler();
        if (handler) handler->OnWebKitInitialized();
      });
    };
    c_.on_context_initialized = [](void* self) {
      Guarded([&] {
        CefRefPtr<CefBrowserProcessHandler> handler = static_cast<AppAdapter*>(self)->app_->GetBrowserProcessHandler();
        if (handler) handler->OnContextInitialized();
      });
    };
  }

  static int OnRenderMessage(void* self, cef_runtime_browser* browser, int source, const void* data, size_t size);

  // The caller's own reference, given back with Drop once its call has returned.
  cef_runtime_app* Take() {
    count_++;
    return &c_;
  }
  void Drop() { c_.release(this); }

 private:
  CefRefPtr<CefApp> app_;
  std::atomic<int> count_{0};
  cef_runtime_app c_{};
};

cef_runtime_task MakeTask(CefRefPtr<CefTask> task) {
  cef_runtime_task c{};
  c.self = new CefRefPtr<CefTask>(std::move(task));
  c.execute = [](void* self) { Guarded([&] { (*static_cast<CefRefPtr<CefTask>*>(self))->Execute(); }); };
  c.release = [](void* self) { delete static_cast<CefRefPtr<CefTask>*>(self); };
  return c;
}

class GlobalCookieManager : public CefCookieManager {
 public:
  explicit GlobalCookieManager(const RuntimeExports* runtime) : runtime_(runtime) {}
  void SetSupportedSchemes(const std::vector<CefString>& schemes, CefRefPtr<CefCompletionCallback> callback) override {
    std::vector<const wchar_t*> names;
    for (const CefString& scheme : schemes) names.push_back(scheme.c_str());
    runtime_->cookie_set_supported_schemes(names.data(), static_cast<int>(names.size()));
    if (callback) callback->OnComplete();
  }

 private:
  const RuntimeExports* runtime_;
  IMPLEMENT_REFCOUNTING(GlobalCookieManager);
};

class ListValue : public CefListValue {
 public:
  struct Value {
    CefValueType type = VTYPE_NULL;
    bool b = false;
    int i = 0;
    double d = 0;
    std::wstring s;
  };
  size_t GetSize() override { return values_.size(); }
  bool SetSize(size_t size) override {
    values_.resize(size);
    return true;
  }
  CefValueType GetType(size_t index) override { return index < values_.size() ? values_[index].type : VTYPE_INVALID; }
  bool GetBool(size_t index) override { return Is(index, VTYPE_BOOL) && values_[index].b; }
  int GetInt(size_t index) override { return Is(index, VTYPE_INT) ? values_[index].i : 0; }
  double GetDouble(size_t index) override { return Is(index, VTYPE_DOUBLE) ? values_[index].d : 0; }
  CefString GetString(size_t index) override { return Is(index, VTYPE_STRING) ? CefString(values_[index].s) : CefString(); }
  bool SetNull(size_t index) override { return Set(index, Value()); }
  bool SetBool(size_t index, bool value) override {
    Value v;
    v.type = VTYPE_BOOL;
    v.b = value;
    return Set(index, v);
  }
  bool SetInt(size_t index, int value) override {
    Value v;
    v.type = VTYPE_INT;
    v.i = value;
    return Set(index, v);
  }
  bool SetDouble(size_t index, double value) override {
    Value v;
    v.type = VTYPE_DOUBLE;
    v.d = value;
    return Set(index, v);
  }
  bool SetString(size_t index, const CefString& value) override {
    Value v;
    v.type = VTYPE_STRING;
    v.s = value.ToWString();
    return Set(index, v);
  }
  const std::vector<Value>& values() const { return values_; }

 private:
  bool Is(size_t index, CefValueType type) const { return index < values_.size() && values_[index].type == type; }
  bool Set(size_t index, const Value& value) {
    if (index >= values_.size()) values_.resize(index + 1);
    values_[index] = value;
    return true;
  }
  std::vector<Value> values_;
  IMPLEMENT_REFCOUNTING(ListValue);
};

class ProcessMessage : public CefProcessMessage {
 public:
  explicit ProcessMessage(const CefString& name) : name_(name), arguments_(new ListValue()) {}
  CefString GetName() override { return name_; }
  CefRefPtr<CefListValue> GetArgumentList() override { return arguments_.get(); }
  ListValue* arguments() { return arguments_.get(); }

 private:
  CefString name_;
  CefRefPtr<ListValue> arguments_;
  IMPLEMENT_REFCOUNTING(ProcessMessage);
};

// Encoding of a message for the runtime to carry: name, then (type, value) pairs; strings as a
// length and UTF-16 units.
class Encoder {
 public:
  template <class T>
  void Put(const T& value) {
    const char* bytes = reinterpret_cast<const char*>(&value);
    data.insert(data.end(), bytes, bytes + sizeof(T));
  }
  void PutText(const std::wstring& text) {
    Put(static_cast<uint32_t>(text.size()));
    const char* bytes = reinterpret_cast<const char*>(text.data());
    data.insert(data.end(), bytes, bytes + text.size() * sizeof(wchar_t));
  }
  std::vector<char> data;
};

class Decoder {
 public:
  Decoder(const void* data, size_t size) : at_(static_cast<const char*>(data)), end_(at_ + size) {}
  template <class T>
  bool Get(T* value) {
    if (static_cast<size_t>(end_ - at_) < sizeof(T)) return false;
    std::memcpy(value, at_, sizeof(T));
    at_ += sizeof(T);
    return true;
  }
  bool GetText(std::wstring* text) {
    uint32_t length = 0;
    if (!Get(&length) || static_cast<size_t>(end_ - at_) / sizeof(wchar_t) < length) return false;
    text->assign(reinterpret_cast<const wchar_t*>(at_), length);
    at_ += length * sizeof(wchar_t);
    return true;
  }
  bool AtEnd() const { return at_ == end_; }

 private:
  const char* at_;
  const char* end_;
};

std::vector<char> EncodeMessage(CefRefPtr<CefProcessMessage> message) {
  Encoder out;
  out.PutText(message->GetName().ToWString());
  CefRefPtr<CefListValue> list = message->GetArgumentList();
  uint32_t count = list ? static_cast<uint32_t>(list->GetSize()) : 0;
  out.Put(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t type = static_cast<uint8_t>(list->GetType(i));
    out.Put(type);
    switch (type) {
      case VTYPE_BOOL: out.Put(static_cast<uint8_t>(list->GetBool(i))); break;
      case VTYPE_INT: out.Put(static_cast<int32_t>(list->GetInt(i))); break;
      case VTYPE_DOUBLE: out.Put(list->GetDouble(i)); break;
      case VTYPE_STRING: out.PutText(list->GetString(i).ToWString()); break;
      default: break;
    }
  }
  return out.data;
}

// Null for bytes that are no message.
CefRefPtr<CefProcessMessage> DecodeMessage(const void* data, size_t size) {
  Decoder in(data, size);
  std::wstring name;
  uint32_t count = 0;
  if (!in.GetText(&name) || !in.Get(&count) || count > size) return nullptr;
  CefRefPtr<ProcessMessage> message = new ProcessMessage(name);
  ListValue* list = message->arguments();
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t type = 0;
    if (!in.Get(&type)) return nullptr;
    switch (type) {
      case VTYPE_NULL: list->SetNull(i); break;
      case VTYPE_BOOL: {
        uint8_t b = 0;
        if (!in.Get(&b)) return nullptr;
        list->SetBool(i, b != 0);
        break;
      }
      case VTYPE_INT: {
        int32_t v = 0;
        if (!in.Get(&v)) return nullptr;
        list->SetInt(i, v);
        break;
      }
      case VTYPE_DOUBLE: {
        double v = 0;
        if (!in.Get(&v)) return nullptr;
        list->SetDouble(i, v);
        break;
      }
      case VTYPE_STRING: {
        std::wstring text;
        if (!in.GetText(&text)) return nullptr;
        list->SetString(i, text);
        break;
      }
      default: return nullptr;
    }
  }
  if (!in.AtEnd()) return nullptr;
  return message.get();
}

// A runtime browser seen from the program: browser, host and main frame in one object.
class BrowserProxy : public CefBrowser, public CefBrowserHost, public CefFrame {
 public:
  BrowserProxy(const RuntimeExports* runtime, cef_runtime_browser* browser, CefRefPtr<CefClient> client)
      : runtime_(runtime), browser_(browser), client_(std::move(client)) {
    runtime_->browser_add_ref(browser_);
  }
  ~BrowserProxy() override { runtime_->browser_release(browser_); }

  CefRefPtr<CefBrowserHost> GetHost() override { return this; }
  CefRefPtr<CefFrame> GetMainFrame() override { return this; }
  void LoadURL(const CefString& url) override { runtime_->browser_load_url(browser_, url.c_str()); }
  bool IsMain() override { return true; }
  int GetIdentifier() override { return runtime_->browser_get_identifier(browser_); }
  bool IsSame(CefRefPtr<CefBrowser> that) override { return that && that->GetIdentifier() == GetIdentifier(); }
  bool SendProcessMessage(CefProcessId target, CefRefPtr<CefProcessMessage> message) override {
    if (!message) return false;
    std::vector<char> data = EncodeMessage(message);
    return runtime_->browser_send_process_message(browser_, target, data.data(), data.size()) != 0;
  }
  CefRefPtr<CefBrowser> GetBrowser() override { return this; }
  void CloseBrowser(bool force_close) override { runtime_->browser_close(browser_, force_close); }
  CefRefPtr<CefClient> GetClient() override { return client_; }
  void WasHidden(bool hidden) override { runtime_->browser_was_hidden(browser_, hidden); }
  void WasResized() override { runtime_->browser_was_resized(browser_); }
  void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp, int clickCount) override {
    runtime_->browser_send_mouse_click_event(browser_, event.x, event.y, event.modifiers, type, mouseUp, clickCount);
  }
  void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) override {
    runtime_->browser_send_mouse_move_event(browser_, event.x, event.y, event.modifiers, mouseLeave);
  }
  void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) override {
    runtime_->browser_send_mouse_wheel_event(browser_, event.x, event.y, event.modifiers, deltaX, deltaY);
  }
  void SendKeyEvent(const CefKeyEvent& event) override {
    runtime_->browser_send_key_event(browser_, event.type, event.modifiers, event.windows_key_code,
                                     event.native_key_code, event.is_system_key, event.character);
  }
  void SendFocusEvent(bool setFocus) override { runtime_->browser_send_focus_event(browser_, setFocus); }

 private:
  const RuntimeExports* runtime_;
  cef_runtime_browser* browser_;
  CefRefPtr<CefClient> client_;
  IMPLEMENT_REFCOUNTING(BrowserProxy);
};

class RequestView : public CefRequest {
 public:
  RequestView(const wchar_t* url, const wchar_t* method) : url_(url), method_(method) {}
  CefString GetURL() override { return url_; }
  CefString GetMethod() override { return method_; }

 private:
  CefString url_, method_;
  IMPLEMENT_REFCOUNTING(RequestView);
};

class RequestCallbackProxy : public CefRequestCallback {
 public:
  RequestCallbackProxy(const RuntimeExports* runtime, cef_runtime_request_callback* callback)
      : runtime_(runtime), callback_(callback) {
    runtime_->request_callback_add_ref(callback_);
  }
  ~RequestCallbackProxy() override { runtime_->request_callback_release(callback_); }
  void Continue(bool allow) override { runtime_->request_callback_continue(callback_, allow); }
  void Cancel() override { Continue(false); }

 private:
  const RuntimeExports* runtime_;
  cef_runtime_request_callback* callback_;
  IMPLEMENT_REFCOUNTING(RequestCallbackProxy);
};

// The C face of a CefClient, alive while the runtime holds it.
class ContextMenuParams : public CefContextMenuParams {
 public:
  explicit ContextMenuParams(const cef_runtime_context_menu_params& c)
      : x_(c.x), y_(c.y), link_(c.link_url ? c.link_url : L""), page_(c.page_url ? c.page_url : L"") {}
  int GetXCoord() override { return x_; }
  int GetYCoord() override { return y_; }
  CefString GetLinkUrl() override { return link_; }
  CefString GetPageUrl() override { return page_; }

 private:
  int x_, y_;
  std::wstring link_, page_;
  IMPLEMENT_REFCOUNTING(ContextMenuParams);
};

// The runtime's menu model during OnBeforeContextMenu; empty and inert once detached.
class MenuModelProxy : public CefMenuModel {
 public:
  explicit MenuModelProxy(cef_runtime_menu_model* model) : m_(model) {}
  void Detach() { m_ = nullptr; }
  bool Clear() override { return m_ && m_->clear(m_->self); }
  int GetCount() override { return m_ ? m_->get_count(m_->self) : 0; }
  int GetCommandIdAt(int index) override { return m_ ? m_->get_command_id_at(m_->self, index) : -1; }
  CefString GetLabelAt(int index) override {
    if (!m_) return CefString();
    size_t length = m_->get_label_at(m_->self, index, nullptr, 0);
    std::wstring text(length + 1, L'\0');
    m_->get_label_at(m_->self, index, &text[0], text.size());
    text.resize(length);
    return text;
  }
  bool AddItem(int command_id, const CefString& label) override {
    return m_ && m_->add_item(m_->self, command_id, label.c_str());
  }
  bool AddSeparator() override { return m_ && m_->add_separator(m_->self); }
  bool RemoveAt(int index) override { return m_ && m_->remove_at(m_->self, index); }

 private:
  cef_runtime_menu_model* m_;
  IMPLEMENT_REFCOUNTING(MenuModelProxy);
};

class JSDialogCallback : public CefJSDialogCallback {
 public:
  explicit JSDialogCallback(cef_runtime_js_dialog_callback* c) : c_(c) { c_->add_ref(c_->self); }
  ~JSDialogCallback() override { c_->release(c_->self); }
  void Continue(bool success, const CefString& user_input) override {
    c_->cont(c_->self, success ? 1 : 0, user_input.c_str());
  }

 private:
  cef_runtime_js_dialog_callback* c_;
  IMPLEMENT_REFCOUNTING(JSDialogCallback);
};

class ClientAdapter {
 public:
  ClientAdapter(const RuntimeExports* runtime, CefRefPtr<CefClient> client) : runtime_(runtime), client_(std::move(client)) {
    c_.self = this;
    c_.add_ref = [](void* self) { static_cast<ClientAdapter*>(self)->count_++; };
    c_.release = [](void* self) {
      auto* adapter = static_cast<ClientAdapter*>(self);
      if (--adapter->count_ == 0) delete adapter;
    };
    c_.on_after_created = [](void* self, cef_runtime_browser* browser) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefLifeSpanHandler> handler = adapter->client_->GetLifeSpanHandler())
          handler->OnAfterCreated(adapter->Browser(browser));
      });
    };
    c_.on_before_close = [](void* self, cef_runtime_browser* browser) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefLifeSpanHandler> handler = adapter->client_->GetLifeSpanHandler())
          handler->OnBeforeClose(adapter->Browser(browser));
      });
    };
    c_.on_render_process_terminated = [](void* self, cef_runtime_browser* browser, int status) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefRequestHandler> handler = adapter->client_->GetRequestHandler())
          handler->OnRenderProcessTerminated(adapter->Browser(browser), static_cast<TerminationStatus>(status));
      });
    };
    c_.on_process_message_received = [](void* self, cef_runtime_browser* browser, int source, const void* data,
                                        size_t size) -> int {
      int handled = 0;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefProcessMessage> message = DecodeMessage(data, size))
          handled = adapter->client_->OnProcessMessageReceived(adapter->Browser(browser), static_cast<CefProcessId>(source), message);
      });
      return handled;
    };
    c_.on_before_resource_load = [](void* self, cef_runtime_browser* browser, const wchar_t* url, const wchar_t* method,
                                    cef_runtime_request_callback* callback) -> int {
      int answer = CEF_RUNTIME_RV_CONTINUE;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefRequestHandler> handler = adapter->client_->GetRequestHandler()) {
          CefRefPtr<CefBrowser> b = adapter->Browser(browser);
          answer = handler->OnBeforeResourceLoad(b, b->GetMainFrame(), new RequestView(url, method),
                                                 new RequestCallbackProxy(adapter->runtime_, callback));
        }
      });
      return answer;
    };
    c_.on_loading_state_change = [](void* self, cef_runtime_browser* browser, int loading, int back, int forward) {
      WithLoadHandler(self, browser, [&](CefRefPtr<CefLoadHandler> handler, CefRefPtr<CefBrowser> b) {
        handler->OnLoadingStateChange(b, loading != 0, back != 0, forward != 0);
      });
    };
    c_.on_load_start = [](void* self, cef_runtime_browser* browser) {
      WithLoadHandler(self, browser, [&](CefRefPtr<CefLoadHandler> handler, CefRefPtr<CefBrowser> b) {
        handler->OnLoadStart(b, b->GetMainFrame());
      });
    };
    c_.on_load_end = [](void* self, cef_runtime_browser* browser, int status) {
      WithLoadHandler(self, browser, [&](CefRefPtr<CefLoadHandler> handler, CefRefPtr<CefBrowser> b) {
        handler->OnLoadEnd(b, b->GetMainFrame(), status);
      });
    };
    c_.on_load_error = [](void* self, cef_runtime_browser* browser, int code, const wchar_t* text, const wchar_t* url) {
      WithLoadHandler(self, browser, [&](CefRefPtr<CefLoadHandler> handler, CefRefPtr<CefBrowser> b) {
        handler->OnLoadError(b, b->GetMainFrame(), static_cast<ErrorCode>(code), CefString(text), CefString(url));
      });
    };
    c_.on_address_change = [](void* self, cef_runtime_browser* browser, const wchar_t* url) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefDisplayHandler> handler = adapter->client_->GetDisplayHandler()) {
          CefRefPtr<CefBrowser> b = adapter->Browser(browser);
          handler->OnAddressChange(b, b->GetMainFrame(), CefString(url));
        }
      });
    };
    c_.on_protocol_execution = [](void* self, cef_runtime_browser* browser, const wchar_t* url, int* allow) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefRequestHandler> handler = adapter->client_->GetRequestHandler()) {
          bool allowed = *allow != 0;
          handler->OnProtocolExecution(adapter->Browser(browser), CefString(url), allowed);
          *allow = allowed;
        }
      });
    };
    c_.on_before_browse = [](void* self, cef_runtime_browser* browser, const wchar_t* url, int is_redirect) -> int {
      int cancel = 0;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefRequestHandler> handler = adapter->client_->GetRequestHandler()) {
          CefRefPtr<CefBrowser> b = adapter->Browser(browser);
          cancel = handler->OnBeforeBrowse(b, b->GetMainFrame(), new RequestView(url, L"GET"), is_redirect != 0);
        }
      });
      return cancel;
    };
    c_.on_before_popup = [](void* self, cef_runtime_browser* browser, const wchar_t* url, const wchar_t* name) -> int {
      int cancel = 1;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefLifeSpanHandler> handler = adapter->client_->GetLifeSpanHandler()) {
          CefRefPtr<CefBrowser> b = adapter->Browser(browser);
          CefWindowInfo info;
          CefRefPtr<CefClient> client = adapter->client_;
          CefBrowserSettings settings;
          bool noScriptAccess = false;
          cancel = handler->OnBeforePopup(b, b->GetMainFrame(), CefString(url), CefString(name), WOD_NEW_FOREGROUND_TAB,
                                          true, CefPopupFeatures(), info, client, settings, &noScriptAccess);
        }
      });
      return cancel;
    };
    c_.on_cursor_change = [](void* self, cef_runtime_browser* browser, void* cursor, int type) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefRenderHandler> handler = adapter->client_->GetRenderHandler())
          handler->OnCursorChange(adapter->Browser(browser), static_cast<HCURSOR>(cursor), static_cast<CursorType>(type),
                                  CefCursorInfo());
      });
    };
    c_.on_title_change = [](void* self, cef_runtime_browser* browser, const wchar_t* title) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefDisplayHandler> handler = adapter->client_->GetDisplayHandler())
          handler->OnTitleChange(adapter->Browser(browser), CefString(title));
      });
    };
    c_.on_before_context_menu = [](void* self, cef_runtime_browser* browser,
                                   const cef_runtime_context_menu_params* params, cef_runtime_menu_model* model) {
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefContextMenuHandler> handler = adapter->client_->GetContextMenuHandler()) {
          CefRefPtr<CefBrowser> b = adapter->Browser(browser);
          CefRefPtr<MenuModelProxy> proxy = new MenuModelProxy(model);
          handler->OnBeforeContextMenu(b, b->GetMainFrame(), new ContextMenuParams(*params), proxy.get());
          proxy->Detach();
        }
      });
    };
    c_.on_context_menu_command = [](void* self, cef_runtime_browser* browser,
                                    const cef_runtime_context_menu_params* params, int command_id,
                                    int event_flags) -> int {
      int handled = 0;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefContextMenuHandler> handler = adapter->client_->GetContextMenuHandler()) {
          CefRefPtr<CefBrowser> b = adapter->Browser(browser);
          handled = handler->OnContextMenuCommand(b, b->GetMainFrame(), new ContextMenuParams(*params), command_id,
                                                  static_cast<EventFlags>(event_flags));
        }
      });
      return handled;
    };
    c_.on_js_dialog = [](void* self, cef_runtime_browser* browser, const wchar_t* origin, int type,
                         const wchar_t* message, const wchar_t* default_text, cef_runtime_js_dialog_callback* callback,
                         int* suppress) -> int {
      int handled = 0;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefJSDialogHandler> handler = adapter->client_->GetJSDialogHandler()) {
          bool suppressed = false;
          handled = handler->OnJSDialog(adapter->Browser(browser), CefString(origin), static_cast<JSDialogType>(type),
                                        CefString(message), CefString(default_text), new JSDialogCallback(callback),
                                        suppressed);
          *suppress = suppressed ? 1 : 0;
        }
      });
      return handled;
    };
    c_.on_console_message = [](void* self, cef_runtime_browser* browser, const wchar_t* message, const wchar_t* source,
                               int line) -> int {
      int handled = 0;
      Guarded([&] {
        auto* adapter = static_cast<ClientAdapter*>(self);
        if (CefRefPtr<CefDisplayHandler> handler = adapter->client_->GetDisplayHandler())
          handled = handler->OnConsoleMessage(adapter->Browser(browser), CefString(message), CefString(source), line);
      });
      return handled;
    };
    c_.get_view_rect = &ClientAdapter::GetViewRect;
    c_.on_paint = &ClientAdapter::OnPaint;
  }
  cef_runtime_client* Take() {
    count_++;
    return &c_;
  }
  void Drop() { c_.release(this); }

 private:
  template <class F>
  static void WithLoadHandler(void* self, cef_runtime_browser* browser, F&& body) {
    Guarded([&] {
      auto* adapter = static_cast<ClientAdapter*>(self);
      if (CefRefPtr<CefLoadHandler> handler = adapter->client_->GetLoadHandler()) body(handler, adapter->Browser(browser));
    });
  }

  static int GetViewRect(void* self, cef_runtime_browser* browser, int* x, int* y, int* width, int* height) {
    int answered = 0;
    Guarded([&] {
      auto* adapter = static_cast<ClientAdapter*>(self);
      CefRefPtr<CefRenderHandler> handler = adapter->client_->GetRenderHandler();
      CefRect rect;
      if (handler && handler->GetViewRect(adapter->Browser(browser), rect)) {
        *x = rect.x;
        *y = rect.y;
        *width = rect.width;
        *height = rect.height;
        answered = 1;
      }
    });
    return answered;
  }
  static void OnPaint(void* self, cef_runtime_browser* browser, int type, const void* buffer, int width, int height) {
    Guarded([&] {
      auto* adapter = static_cast<ClientAdapter*>(self);
      if (CefRefPtr<CefRenderHandler> handler = adapter->client_->GetRenderHandler()) {
        CefRenderHandler::RectList dirty{CefRect(0, 0, width, height)};
        handler->OnPaint(adapter->Browser(browser), static_cast<PaintElementType>(type), dirty, buffer, width, height);
      }
    });
  }

  CefRefPtr<CefBrowser> Browser(cef_runtime_browser* browser) { return new BrowserProxy(runtime_, browser, client_); }

  const RuntimeExports* runtime_;
  CefRefPtr<CefClient> client_;
  std::atomic<int> count_{0};
  cef_runtime_client c_{};
};

int AppAdapter::OnRenderMessage(void* self, cef_runtime_browser* browser, int source, const void* data, size_t size) {
  int handled = 0;
  Guarded([&] {
    auto* adapter = static_cast<AppAdapter*>(self);
    CefRefPtr<CefRenderProcessHandler> handler = adapter->app_->GetRenderProcessHandler();
    CefRefPtr<CefProcessMessage> message = DecodeMessage(data, size);
    const RuntimeExports* runtime = LoadRuntime();
    if (handler && message && runtime)
      handled = handler->OnProcessMessageReceived(new BrowserProxy(runtime, browser, nullptr),
                                                  static_cast<CefProcessId>(source), message);
  });
  return handled;
}

class V8Value : public CefV8Value {
 public:
  explicit V8Value(int type) : type_(type) {}
  bool IsUndefined() override { return type_ == CEF_RUNTIME_V8_UNDEFINED; }
  bool IsNull() override { return type_ == CEF_RUNTIME_V8_NULL; }
  bool IsBool() override { return type_ == CEF_RUNTIME_V8_BOOL; }
  bool IsInt() override { return type_ == CEF_RUNTIME_V8_INT; }
  bool IsDouble() override { return type_ == CEF_RUNTIME_V8_DOUBLE || type_ == CEF_RUNTIME_V8_INT; }
  bool IsString() override { return type_ == CEF_RUNTIME_V8_STRING; }
  bool GetBoolValue() override { return type_ == CEF_RUNTIME_V8_BOOL && int_ != 0; }
  int32_t GetIntValue() override { return type_ == CEF_RUNTIME_V8_INT ? int_ : static_cast<int32_t>(double_); }
  double GetDoubleValue() override { return type_ == CEF_RUNTIME_V8_INT ? int_ : double_; }
  CefString GetStringValue() override { return string_; }

  int type_;
  int32_t int_ = 0;
  double double_ = 0;
  std::wstring string_;
  IMPLEMENT_REFCOUNTING(V8Value);
};

CefRefPtr<CefV8Value> FromC(const cef_runtime_v8_value& c) {
  V8Value* value = new V8Value(c.type);
  value->int_ = c.int_value;
  value->double_ = c.double_value;
  if (c.type == CEF_RUNTIME_V8_STRING && c.string_value) value->string_.assign(c.string_value, c.string_length);
  return value;
}

// The C face of an extension's handler; the runtime keeps it for the life of the render process.
class V8HandlerAdapter {
 public:
  explicit V8HandlerAdapter(CefRefPtr<CefV8Handler> handler) : handler_(std::move(handler)) {
    c_.self = this;
    c_.add_ref = [](void* self) { static_cast<V8HandlerAdapter*>(self)->count_++; };
    c_.release = [](void* self) {
      auto* adapter = static_cast<V8HandlerAdapter*>(self);
      if (--adapter->count_ == 0) delete adapter;
    };
    c_.execute = &V8HandlerAdapter::Execute;
  }
  cef_runtime_v8_handler* Take() {
    count_++;
    return &c_;
  }
  void Drop() { c_.release(this); }

 private:
  static int Execute(void* self, const wchar_t* name, const cef_runtime_v8_value* arguments, size_t count,
                     cef_runtime_v8_value* retval, const wchar_t** exception) {
    auto* adapter = static_cast<V8HandlerAdapter*>(self);
    int handled = 0;
    Guarded([&] {
      CefV8ValueList list;
      for (size_t i = 0; i < count; ++i) list.push_back(FromC(arguments[i]));
      CefRefPtr<CefV8Value> result;
      CefString thrown;
      handled = adapter->handler_->Execute(CefString(name), nullptr, list, result, thrown);
      if (!handled) return;
      // Kept until the next call, as the runtime reads them after this one returns.
      adapter->exception_ = thrown.ToWString();
      adapter->result_ = result;
      if (!thrown.empty()) {
        *exception = adapter->exception_.c_str();
        return;
      }
      auto* value = static_cast<V8Value*>(result.get());
      if (!value) return;
      retval->type = value->type_;
      retval->int_value = value->int_;
      retval->double_value = value->double_;
      retval->string_value = value->string_.c_str();
      retval->string_length = value->string_.size();
    });
    return handled;
  }

  CefRefPtr<CefV8Handler> handler_;
  CefRefPtr<CefV8Value> result_;
  std::wstring exception_;
  std::atomic<int> count_{0};
  cef_runtime_v8_handler c_{};
};

cef_runtime_main_args ToC(const CefMainArgs& args) {
  cef_runtime_main_args c{};
  c.instance = args.instance;
  return c;
}

}  // namespace

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info) {
  const RuntimeExports* runtime = LoadRuntime();
  if (!runtime) return -1;
  cef_runtime_main_args c_args = ToC(args);
  if (!application) return runtime->execute_process(&c_args, nullptr, windows_sandbox_info);
  AppAdapter* adapter = new AppAdapter(application);
  int result = runtime->execute_process(&c_args, adapter->Take(), windows_sandbox_info);
  adapter->Drop();
  return result;
}

bool CefInitialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application,
                   void* windows_sandbox_info) {
  const RuntimeExports* runtime = LoadRuntime();
  if (!runtime) return false;
  cef_runtime_main_args c_args = ToC(args);
  cef_runtime_settings c{};
  c.size = sizeof(c);
  c.single_process = settings.single_process;
  c.no_sandbox = settings.no_sandbox;
  c.browser_subprocess_path = settings.browser_subprocess_path.c_str();
  c.multi_threaded_message_loop = settings.multi_threaded_message_loop;
  c.windowless_rendering_enabled = settings.windowless_rendering_enabled;
  c.command_line_args_disabled = settings.command_line_args_disabled;
  c.cache_path = settings.cache_path.c_str();
  c.persist_session_cookies = settings.persist_session_cookies;
  c.user_agent = settings.user_agent.c_str();
  c.locale = settings.locale.c_str();
  c.log_file = settings.log_file.c_str();
  c.log_severity = settings.log_severity;
  c.remote_debugging_port = settings.remote_debugging_port;
  c.ignore_certificate_errors = settings.ignore_certificate_errors;
  c.background_color = settings.background_color;
  if (!application) return runtime->initialize(&c_args, &c, nullptr, windows_sandbox_info) != 0;
  AppAdapter* adapter = new AppAdapter(application);
  bool started = runtime->initialize(&c_args, &c, adapter->Take(), windows_sandbox_info) != 0;
  adapter->Drop();
  return started;
}

void CefShutdown() {
  if (const RuntimeExports* runtime = LoadRuntimeIfBound()) runtime->shutdown();
}

void CefDoMessageLoopWork() {
  if (const RuntimeExports* runtime = LoadRuntime()) runtime->do_message_loop_work();
}

void CefEnableHighDPISupport() {
  if (const RuntimeExports* runtime = LoadRuntime()) runtime->enable_highdpi_support();
}

bool CefRuntimeLoaded() { return LoadRuntimeIfBound() != nullptr; }

bool CefPostTask(CefThreadId thread_id, CefRefPtr<CefTask> task) {
  return CefPostDelayedTask(thread_id, std::move(task), 0);
}

bool CefPostDelayedTask(CefThreadId thread_id, CefRefPtr<CefTask> task, int64_t delay_ms) {
  const RuntimeExports* runtime = LoadRuntime();
  if (!runtime || !task) return false;
  cef_runtime_task c = MakeTask(std::move(task));
  // The runtime releases the task whether it takes it or not.
  return runtime->post_delayed_task(thread_id, &c, delay_ms) != 0;
}

bool CefCurrentlyOn(CefThreadId thread_id) {
  const RuntimeExports* runtime = LoadRuntime();
  return runtime && runtime->currently_on(thread_id) != 0;
}

CefRefPtr<CefCookieManager> CefCookieManager::GetGlobalManager(CefRefPtr<CefCompletionCallback> callback) {
  const RuntimeExports* runtime = LoadRuntime();
  if (!runtime) return nullptr;
  if (callback) callback->OnComplete();
  return new GlobalCookieManager(runtime);
}

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& window_info, CefRefPtr<CefClient> client, const CefString& url,
                                   const CefBrowserSettings&, CefRefPtr<CefRequestContext>) {
  const RuntimeExports* runtime = LoadRuntime();
  if (!runtime || !client) return false;
  cef_runtime_window_info c{};
  c.parent_window = window_info.parent_window;
  c.windowless_rendering_enabled = window_info.windowless_rendering_enabled;
  c.transparent_painting_enabled = window_info.transparent_painting_enabled;
  c.x = window_info.x;
  c.y = window_info.y;
  c.width = window_info.width;
  c.height = window_info.height;
  c.style = window_info.style;
  c.window_name = window_info.window_name.c_str();
  auto* adapter = new ClientAdapter(runtime, client);
  bool asked = runtime->create_browser(&c, adapter->Take(), url.c_str()) != 0;
  adapter->Drop();
  return asked;
}

CefRefPtr<CefListValue> CefListValue::Create() { return new ListValue(); }

CefRefPtr<CefProcessMessage> CefProcessMessage::Create(const CefString& name) { return new ProcessMessage(name); }

CefRefPtr<CefV8Value> CefV8Value::CreateUndefined() { return new V8Value(CEF_RUNTIME_V8_UNDEFINED); }
CefRefPtr<CefV8Value> CefV8Value::CreateNull() { return new V8Value(CEF_RUNTIME_V8_NULL); }
CefRefPtr<CefV8Value> CefV8Value::CreateBool(bool value) {
  V8Value* v = new V8Value(CEF_RUNTIME_V8_BOOL);
  v->int_ = value ? 1 : 0;
  return v;
}
CefRefPtr<CefV8Value> CefV8Value::CreateInt(int32_t value) {
  V8Value* v = new V8Value(CEF_RUNTIME_V8_INT);
  v->int_ = value;
  return v;
}
CefRefPtr<CefV8Value> CefV8Value::CreateDouble(double value) {
  V8Value* v = new V8Value(CEF_RUNTIME_V8_DOUBLE);
  v->double_ = value;
  return v;
}
CefRefPtr<CefV8Value> CefV8Value::CreateString(const CefString& value) {
  V8Value* v = new V8Value(CEF_RUNTIME_V8_STRING);
  v->string_ = value.ToWString();
  return v;
}

bool CefRegisterExtension(const CefString& extension_name, const CefString& javascript_code,
                          CefRefPtr<CefV8Handler> handler) {
  const RuntimeExports* runtime = LoadRuntime();
  if (!runtime || !handler) return false;
  V8HandlerAdapter* adapter = new V8HandlerAdapter(handler);
  bool registered = runtime->register_extension(extension_name.c_str(), javascript_code.c_str(), adapter->Take()) != 0;
  adapter->Drop();
  return registered;
}
