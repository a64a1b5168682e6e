#pragma once

#include <vector>

#include "browser/cef/cef_base.h"

class CefCompletionCallback : public virtual CefBase {
 public:
  virtual void OnComplete() = 0;
};

class CefCookieManager : public virtual CefBase {
 public:
  // The browser process's manager; null while the runtime does not run.
  static CefRefPtr<CefCookieManager> GetGlobalManager(CefRefPtr<CefCompletionCallback> callback);
  // The schemes whose cookies are kept ("http" and "https" are the ones the runtime knows).
  virtual void SetSupportedSchemes(const std::vector<CefString>& schemes,
                                   CefRefPtr<CefCompletionCallback> callback) = 0;
};
