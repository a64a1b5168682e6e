#pragma once

// Plain records of the runtime's interface.

#include <windows.h>

#include "browser/cef/cef_base.h"

enum CefThreadId { TID_UI = 0, TID_IO = 1, TID_FILE = 2 };

// Start settings of the runtime; a value-initialised record means the runtime's defaults.
struct CefSettings {
  int single_process = 0;
  int no_sandbox = 0;
  CefString browser_subprocess_path;
  int multi_threaded_message_loop = 0;
  int windowless_rendering_enabled = 0;
  int command_line_args_disabled = 0;
  CefString cache_path;
  int persist_session_cookies = 0;
  CefString user_agent;
  CefString locale;
  CefString log_file;
  int log_severity = 0;
  int remote_debugging_port = 0;
  int ignore_certificate_errors = 0;
  unsigned int background_color = 0;
};

class CefMainArgs {
 public:
  CefMainArgs() = default;
  explicit CefMainArgs(HINSTANCE instance) : instance(instance) {}
  HINSTANCE instance = nullptr;
};
