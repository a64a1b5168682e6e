#pragma once

// Messages between a browser's browser process and its render process, with a list of values.

#include <vector>

#include "browser/cef/cef_base.h"

enum cef_process_id_t { PID_BROWSER = 0, PID_RENDERER = 1 };
using CefProcessId = cef_process_id_t;

enum cef_value_type_t { VTYPE_INVALID = 0, VTYPE_NULL, VTYPE_BOOL, VTYPE_INT, VTYPE_DOUBLE, VTYPE_STRING };
using CefValueType = cef_value_type_t;

class CefListValue : public virtual CefBase {
 public:
  static CefRefPtr<CefListValue> Create();
  virtual size_t GetSize() = 0;
  // Grows with null values, or cuts.
  virtual bool SetSize(size_t size) = 0;
  virtual CefValueType GetType(size_t index) = 0;
  virtual bool GetBool(size_t index) = 0;
  virtual int GetInt(size_t index) = 0;
  virtual double GetDouble(size_t index) = 0;
  virtual CefString GetString(size_t index) = 0;
  virtual bool SetNull(size_t index) = 0;
  virtual bool SetBool(size_t index, bool value) = 0;
  virtual bool SetInt(size_t index, int value) = 0;
  virtual bool SetDouble(size_t index, double value) = 0;
  virtual bool SetString(size_t index, const CefString& value) = 0;
};

class CefProcessMessage : public virtual CefBase {
 public:
  static CefRefPtr<CefProcessMessage> Create(const CefString& name);
  virtual CefString GetName() = 0;
  virtual CefRefPtr<CefListValue> GetArgumentList() = 0;
};
