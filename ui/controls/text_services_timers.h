#pragma once

// The timers the rich-edit text services ask their host for, run on the UI thread's timer
// service. Each id has its own flag: restarting an id kills its old timer, stopping it or
// destroying this object kills its timer, so no timer outlives the edit.

#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "base/weak_callback.h"

namespace ui {

class TextServicesTimers {
 public:
  // `deliver` runs with the timer's id each time a timer fires (the edit sends WM_TIMER).
  explicit TextServicesTimers(std::function<void(UINT)> deliver) : deliver_(std::move(deliver)) {}
  // Timers refer to this object's delivery: it stays where it was made.
  TextServicesTimers(const TextServicesTimers&) = delete;
  TextServicesTimers& operator=(const TextServicesTimers&) = delete;

  // Runs every `milliseconds` until stopped; a running timer of the same id is replaced.
  void Start(UINT id, UINT milliseconds);
  // An unknown id changes nothing.
  void Stop(UINT id);
  bool IsRunning(UINT id) const { return flags_.count(id) != 0; }
  size_t RunningCount() const { return flags_.size(); }

 private:
  std::function<void(UINT)> deliver_;
  // Held by pointer: a flag's address must stay put while its timers refer to it.
  std::map<UINT, std::unique_ptr<base::WeakCallbackFlag>> flags_;
};

}  // namespace ui
