#pragma once

// Script values of a page and the native functions that extensions declare, in render processes.

#include <cstdint>
#include <vector>

#include "browser/cef/cef_base.h"

// A value of a page's script. Objects and functions do not cross to the program: they arrive as
// undefined.
class CefV8Value : public virtual CefBase {
 public:
  static CefRefPtr<CefV8Value> CreateUndefined();
  static CefRefPtr<CefV8Value> CreateNull();
  static CefRefPtr<CefV8Value> CreateBool(bool value);
  static CefRefPtr<CefV8Value> CreateInt(int32_t value);
  static CefRefPtr<CefV8Value> CreateDouble(double value);
  static CefRefPtr<CefV8Value> CreateString(const CefString& value);

  virtual bool IsUndefined() = 0;
  virtual bool IsNull() = 0;
  virtual bool IsBool() = 0;
  virtual bool IsInt() = 0;
  // Ints are doubles too.
  virtual bool IsDouble() = 0;
  virtual bool IsString() = 0;
  virtual bool GetBoolValue() = 0;
  virtual int32_t GetIntValue() = 0;
  virtual double GetDoubleValue() = 0;
  virtual CefString GetStringValue() = 0;
};

using CefV8ValueList = std::vector<CefRefPtr<CefV8Value>>;

// Serves the native functions of an extension, on the render process's main thread.
class CefV8Handler : public virtual CefBase {
 public:
  // `name` is the native function's; true when handled. A non-empty `exception` is thrown to the
  // calling script as an error with that message; otherwise the call returns `retval`
  // (undefined when left null). `object` is not offered (null).
  virtual bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
                       CefRefPtr<CefV8Value>& retval, CefString& exception) = 0;
};

// In a render process, from CefRenderProcessHandler::OnWebKitInitialized: `javascript_code` runs
// first in every page's script context; its "native function NAME();" declarations call
// `handler`. False elsewhere.
bool CefRegisterExtension(const CefString& extension_name, const CefString& javascript_code,
                          CefRefPtr<CefV8Handler> handler);
