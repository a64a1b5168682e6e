#pragma once

#include <windows.h>

#include "base/win_message_pump.h"

namespace components {

// Dispatches a UI loop's messages and does the runtime's work once the queue is empty, for a
// runtime that shares the program's UI thread (the launcher runs it on its own thread instead).
class CefMessageLoopDispatcher : public base::WinMessagePump::Dispatcher {
 public:
  bool Dispatch(const MSG& message) override;
};

}  // namespace components
