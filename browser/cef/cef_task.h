#pragma once

#include <cstdint>

#include "browser/cef/cef_base.h"
#include "browser/cef/cef_types.h"

class CefTask : public virtual CefBase {
 public:
  virtual void Execute() = 0;
};

// Runs the task on the runtime's thread; false when the runtime does not run.
bool CefPostTask(CefThreadId thread_id, CefRefPtr<CefTask> task);
bool CefPostDelayedTask(CefThreadId thread_id, CefRefPtr<CefTask> task, int64_t delay_ms);
bool CefCurrentlyOn(CefThreadId thread_id);
