#pragma once

// The plain-C boundary between the program (through the C++ classes of this folder) and the
// browser runtime "libcef.dll". Only C types cross it: no C++ library type, no exception.
// Strings are null-terminated UTF-16; strings coming back are written into caller buffers.

#include <stddef.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

// The interface version both sides must agree on; the runtime reports its own.
#define CEF_RUNTIME_API_HASH "c41d7e9a2b5f08361e2d3c4b5a697887a6b5c4d3"

// Threads of the runtime's browser process that tasks can be posted to.
enum cef_runtime_thread_id { CEF_RUNTIME_TID_UI = 0, CEF_RUNTIME_TID_IO = 1, CEF_RUNTIME_TID_FILE = 2 };

typedef struct cef_runtime_main_args {
  void* instance;  // HINSTANCE of the executable
} cef_runtime_main_args;

typedef struct cef_runtime_settings {
  size_t size;  // sizeof(cef_runtime_settings), so that fields can be added at the end
  int single_process;
  int no_sandbox;
  const wchar_t* browser_subprocess_path;
  int multi_threaded_message_loop;
  int windowless_rendering_enabled;
  int command_line_args_disabled;
  const wchar_t* cache_path;
  int persist_session_cookies;
  const wchar_t* user_agent;
  const wchar_t* locale;
  const wchar_t* log_file;
  int log_severity;
  int remote_debugging_port;
  int ignore_certificate_errors;
  unsigned int background_color;
} cef_runtime_settings;

// A command line owned by the runtime, valid during the call that hands it out.
typedef struct cef_runtime_command_line {
  void* self;
  void (*append_switch)(void* self, const wchar_t* name);
  void (*append_switch_with_value)(void* self, const wchar_t* name, const wchar_t* value);
  int (*has_switch)(void* self, const wchar_t* name);
  // Length of the value (without terminator); copies as much as fits, always terminated.
  size_t (*get_switch_value)(void* self, const wchar_t* name, wchar_t* buffer, size_t buffer_chars);
  size_t (*get_command_line_string)(void* self, wchar_t* buffer, size_t buffer_chars);
} cef_runtime_command_line;

typedef struct cef_runtime_scheme_registrar {
  void* self;
  int (*add_custom_scheme)(void* self, const wchar_t* scheme, int is_standard, int is_local,
                           int is_display_isolated);
} cef_runtime_scheme_registrar;

struct cef_runtime_browser;

// The program's application object. The runtime takes one reference for as long as it keeps
// the pointer and gives it back through `release`.
typedef struct cef_runtime_app {
  void* self;
  void (*add_ref)(void* self);
  void (*release)(void* self);
  void (*on_before_command_line_processing)(void* self, const wchar_t* process_type,
                                            cef_runtime_command_line* command_line);
  void (*on_register_custom_schemes)(void* self, cef_runtime_scheme_registrar* registrar);
  // Browser process, on the runtime's UI thread, once the runtime has started.
  void (*on_context_initialized)(void* self);
  // Render process, on its main thread: a process message from the browser process (encoded by
  // the program's side; the runtime only carries the bytes). Returns whether it was handled.
  int (*on_process_message_received)(void* self, struct cef_runtime_browser* browser, int source_process,
                                     const void* data, size_t size);
  // Render process, on its main thread, before any page's script runs: extensions are registered
  // here.
  void (*on_web_kit_initialized)(void* self);
} cef_runtime_app;

// A script value crossing between the page's script engine and the program.
enum cef_runtime_v8_type {
  CEF_RUNTIME_V8_UNDEFINED = 0,
  CEF_RUNTIME_V8_NULL,
  CEF_RUNTIME_V8_BOOL,
  CEF_RUNTIME_V8_INT,
  CEF_RUNTIME_V8_DOUBLE,
  CEF_RUNTIME_V8_STRING,
};
typedef struct cef_runtime_v8_value {
  int type;
  int int_value;  // also the bool
  double double_value;
  const wchar_t* string_value;  // UTF-16 of string_length units, not terminated
  size_t string_length;
} cef_runtime_v8_value;

// The program's handler of an extension's native functions; the runtime keeps one reference for
// the life of the render process.
typedef struct cef_runtime_v8_handler {
  void* self;
  void (*add_ref)(void* self);
  void (*release)(void* self);
  // A call of the native function `name`; non-zero when handled. A string put into `retval` or a
  // non-null `*exception` (the text the script's call throws) stays valid until the next call.
  int (*execute)(void* self, const wchar_t* name, const cef_runtime_v8_value* arguments, size_t count,
                 cef_runtime_v8_value* retval, const wchar_t** exception);
} cef_runtime_v8_handler;

// A task handed to the runtime: run once by `execute`, then `release`d (also when it never ran).
typedef struct cef_runtime_task {
  void* self;
  void (*execute)(void* self);
  void (*release)(void* self);
} cef_runtime_task;

// A browser of the runtime, opaque to the program; counted by the add_ref/release exports.
typedef struct cef_runtime_browser cef_runtime_browser;

enum cef_runtime_process_id { CEF_RUNTIME_PID_BROWSER = 0, CEF_RUNTIME_PID_RENDERER = 1 };

// Why a render process ended.
enum cef_runtime_termination_status {
  CEF_RUNTIME_TS_ABNORMAL_TERMINATION = 0,
  CEF_RUNTIME_TS_PROCESS_WAS_KILLED = 1,
  CEF_RUNTIME_TS_PROCESS_CRASHED = 2,
};

// The answer to a resource load that the program gives later; counted by the add_ref/release
// exports, answered once by the continue export.
typedef struct cef_runtime_request_callback cef_runtime_request_callback;

// What the program answers before a resource loads.
enum cef_runtime_return_value { CEF_RUNTIME_RV_CANCEL = 0, CEF_RUNTIME_RV_CONTINUE = 1, CEF_RUNTIME_RV_CONTINUE_ASYNC = 2 };

typedef struct cef_runtime_window_info {
  void* parent_window;  // HWND
  int windowless_rendering_enabled;
  int transparent_painting_enabled;
  int x, y, width, height;
  unsigned long style;
  const wchar_t* window_name;
} cef_runtime_window_info;

// The items of a page's context menu, valid during the call that hands it out.
typedef struct cef_runtime_menu_model {
  void* self;
  int (*get_count)(void* self);
  int (*get_command_id_at)(void* self, int index);
  // Length of the label (without terminator); copies as much as fits, always terminated.
  size_t (*get_label_at)(void* self, int index, wchar_t* buffer, size_t buffer_chars);
  int (*add_item)(void* self, int command_id, const wchar_t* label);
  int (*add_separator)(void* self);
  int (*remove_at)(void* self, int index);
  int (*clear)(void* self);
} cef_runtime_menu_model;

// What a context menu was asked for on: view coordinates, the link there ("" for none), the page.
typedef struct cef_runtime_context_menu_params {
  int x, y;
  const wchar_t* link_url;
  const wchar_t* page_url;
} cef_runtime_context_menu_params;

enum cef_runtime_js_dialog_type { CEF_RUNTIME_JSDIALOGTYPE_ALERT = 0, CEF_RUNTIME_JSDIALOGTYPE_CONFIRM = 1, CEF_RUNTIME_JSDIALOGTYPE_PROMPT = 2 };

// The answer to a page's dialog, given once from any thread; one given back unanswered cancels it.
typedef struct cef_runtime_js_dialog_callback {
  void* self;
  void (*add_ref)(void* self);
  void (*release)(void* self);
  void (*cont)(void* self, int success, const wchar_t* user_input);
} cef_runtime_js_dialog_callback;

// The program's client of one or more browsers; events arrive on the runtime's UI thread. The
// runtime holds one reference while a browser of this client is open.
typedef struct cef_runtime_client {
  void* self;
  void (*add_ref)(void* self);
  void (*release)(void* self);
  void (*on_after_created)(void* self, cef_runtime_browser* browser);
  void (*on_before_close)(void* self, cef_runtime_browser* browser);
  void (*on_render_process_terminated)(void* self, cef_runtime_browser* browser, int status);
  // Windowless browsers: the view's size, asked for before each frame (0: no view yet) ...
  int (*get_view_rect)(void* self, cef_runtime_browser* browser, int* x, int* y, int* width, int* height);
  // ... and each frame, premultiplied BGRA rows top-down, valid during the call. Type 0: view.
  void (*on_paint)(void* self, cef_runtime_browser* browser, int type, const void* buffer, int width, int height);
  // A process message from the browser's render process, on the UI thread, in sending order.
  int (*on_process_message_received)(void* self, cef_runtime_browser* browser, int source_process,
                                     const void* data, size_t size);
  // Loads, on the UI thread but for on_before_resource_load (IO thread, answered at once or, with
  // CEF_RUNTIME_RV_CONTINUE_ASYNC, later through the callback).
  int (*on_before_resource_load)(void* self, cef_runtime_browser* browser, const wchar_t* url, const wchar_t* method,
                                 cef_runtime_request_callback* callback);
  void (*on_loading_state_change)(void* self, cef_runtime_browser* browser, int is_loading, int can_go_back,
                                  int can_go_forward);
  void (*on_load_start)(void* self, cef_runtime_browser* browser);
  void (*on_load_end)(void* self, cef_runtime_browser* browser, int http_status_code);
  void (*on_load_error)(void* self, cef_runtime_browser* browser, int error_code, const wchar_t* error_text,
                        const wchar_t* failed_url);
  void (*on_address_change)(void* self, cef_runtime_browser* browser, const wchar_t* url);
  // A URL of a scheme the runtime does not load, on the UI thread; setting *allow_os_execution
  // hands it to the system's handler of that scheme.
  void (*on_protocol_execution)(void* self, cef_runtime_browser* browser, const wchar_t* url, int* allow_os_execution);
  // A followed link, on the UI thread, before it navigates; non-zero cancels it.
  int (*on_before_browse)(void* self, cef_runtime_browser* browser, const wchar_t* url, int is_redirect);
  // A followed link to another window, on the UI thread; the runtime opens no window (non-zero:
  // the program cancelled it).
  int (*on_before_popup)(void* self, cef_runtime_browser* browser, const wchar_t* target_url,
                         const wchar_t* target_frame_name);
  // The pointer's shape over the page (a cef_runtime_cursor_type) and its system cursor (HCURSOR).
  void (*on_cursor_change)(void* self, cef_runtime_browser* browser, void* cursor, int type);
  void (*on_title_change)(void* self, cef_runtime_browser* browser, const wchar_t* title);
  // A page's console output, on the UI thread.
  int (*on_console_message)(void* self, cef_runtime_browser* browser, const wchar_t* message, const wchar_t* source,
                            int line);
  // A right click, on the UI thread: the program may change the items; a native menu shows only if
  // some remain, and the chosen item goes to on_context_menu_command (non-zero: handled there).
  void (*on_before_context_menu)(void* self, cef_runtime_browser* browser, const cef_runtime_context_menu_params* params,
                                 cef_runtime_menu_model* model);
  int (*on_context_menu_command)(void* self, cef_runtime_browser* browser, const cef_runtime_context_menu_params* params,
                                 int command_id, int event_flags);
  // A page's alert, confirm or prompt, on the UI thread; the page waits for the answer. Non-zero:
  // the program answers through the callback. Otherwise, *suppress_message set cancels the dialog
  // and unset shows the runtime's own (a message box; a prompt is cancelled).
  int (*on_js_dialog)(void* self, cef_runtime_browser* browser, const wchar_t* origin_url, int dialog_type,
                      const wchar_t* message_text, const wchar_t* default_prompt_text,
                      cef_runtime_js_dialog_callback* callback, int* suppress_message);
} cef_runtime_client;

enum cef_runtime_cursor_type { CEF_RUNTIME_CT_POINTER = 0, CEF_RUNTIME_CT_HAND = 2, CEF_RUNTIME_CT_IBEAM = 3 };
enum cef_runtime_key_event_type {
  CEF_RUNTIME_KEYEVENT_RAWKEYDOWN = 0,
  CEF_RUNTIME_KEYEVENT_KEYDOWN = 1,
  CEF_RUNTIME_KEYEVENT_KEYUP = 2,
  CEF_RUNTIME_KEYEVENT_CHAR = 3
};
enum cef_runtime_mouse_button { CEF_RUNTIME_MBT_LEFT = 0, CEF_RUNTIME_MBT_MIDDLE = 1, CEF_RUNTIME_MBT_RIGHT = 2 };

// The exports of libcef.dll.
typedef const char* (*cef_runtime_api_hash_fn)(int entry);
typedef int (*cef_runtime_execute_process_fn)(const cef_runtime_main_args* args, cef_runtime_app* app,
                                               void* sandbox_info);
typedef int (*cef_runtime_initialize_fn)(const cef_runtime_main_args* args,
                                          const cef_runtime_settings* settings, cef_runtime_app* app,
                                          void* sandbox_info);
typedef void (*cef_runtime_shutdown_fn)(void);
typedef void (*cef_runtime_do_message_loop_work_fn)(void);
typedef void (*cef_runtime_enable_highdpi_support_fn)(void);
typedef int (*cef_runtime_post_delayed_task_fn)(int thread_id, const cef_runtime_task* task, long long delay_ms);
typedef int (*cef_runtime_currently_on_fn)(int thread_id);
typedef int (*cef_runtime_create_browser_fn)(const cef_runtime_window_info* window_info,
                                              cef_runtime_client* client, const wchar_t* url);
typedef void (*cef_runtime_browser_add_ref_fn)(cef_runtime_browser* browser);
typedef void (*cef_runtime_browser_release_fn)(cef_runtime_browser* browser);
typedef int (*cef_runtime_browser_get_identifier_fn)(cef_runtime_browser* browser);
typedef void (*cef_runtime_browser_close_fn)(cef_runtime_browser* browser, int force_close);
// Loads `url` in the main frame; a browser whose render process has ended gets a new one.
typedef void (*cef_runtime_browser_load_url_fn)(cef_runtime_browser* browser, const wchar_t* url);
// Sends an encoded process message to the other process of the browser, from any thread; the
// messages of one sender arrive in order. Those sent before the render process runs wait for it.
typedef int (*cef_runtime_browser_send_process_message_fn)(cef_runtime_browser* browser, int target_process,
                                                            const void* data, size_t size);
typedef void (*cef_runtime_browser_was_hidden_fn)(cef_runtime_browser* browser, int hidden);
typedef void (*cef_runtime_browser_was_resized_fn)(cef_runtime_browser* browser);
// Windowless browsers' input, in view coordinates.
typedef void (*cef_runtime_browser_send_mouse_click_event_fn)(cef_runtime_browser* browser, int x, int y,
                                                              unsigned int modifiers, int button, int mouse_up,
                                                              int click_count);
typedef void (*cef_runtime_browser_send_mouse_move_event_fn)(cef_runtime_browser* browser, int x, int y,
                                                             unsigned int modifiers, int mouse_leave);
// Keys: type is a cef_runtime_key_event_type; `character` the UTF-16 unit of a character event.
typedef void (*cef_runtime_browser_send_key_event_fn)(cef_runtime_browser* browser, int type, unsigned int modifiers,
                                                      int windows_key_code, int native_key_code, int is_system_key,
                                                      unsigned short character);
typedef void (*cef_runtime_browser_send_focus_event_fn)(cef_runtime_browser* browser, int focus);
// Positive deltas scroll up (left), as the wheel's own.
typedef void (*cef_runtime_browser_send_mouse_wheel_event_fn)(cef_runtime_browser* browser, int x, int y,
                                                              unsigned int modifiers, int delta_x, int delta_y);
typedef void (*cef_runtime_request_callback_add_ref_fn)(cef_runtime_request_callback* callback);
typedef void (*cef_runtime_request_callback_release_fn)(cef_runtime_request_callback* callback);
typedef void (*cef_runtime_request_callback_continue_fn)(cef_runtime_request_callback* callback, int allow);
// Render process: script code run first in every page's script context; its declarations
// "native function NAME();" are served by the handler. Zero outside a render process.
typedef int (*cef_runtime_register_extension_fn)(const wchar_t* extension_name, const wchar_t* javascript_code,
                                                  cef_runtime_v8_handler* handler);
// The global cookie manager's supported schemes; a completion callback is not offered.
typedef int (*cef_runtime_cookie_set_supported_schemes_fn)(const wchar_t* const* schemes, int count);

#ifdef __cplusplus
}
#endif
