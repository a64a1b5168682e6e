#pragma once

#include "browser/cef/cef_base.h"

// A process's command line as the runtime builds it.
class CefCommandLine : public virtual CefBase {
 public:
  virtual bool HasSwitch(const CefString& name) = 0;
  virtual CefString GetSwitchValue(const CefString& name) = 0;
  virtual void AppendSwitch(const CefString& name) = 0;
  virtual void AppendSwitchWithValue(const CefString& name, const CefString& value) = 0;
  virtual CefString GetCommandLineString() = 0;
};

class CefSchemeRegistrar : public virtual CefBase {
 public:
  virtual bool AddCustomScheme(const CefString& scheme, bool is_standard, bool is_local,
                               bool is_display_isolated) = 0;
};
