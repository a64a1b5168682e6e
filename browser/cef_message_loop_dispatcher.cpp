#include "browser/cef_message_loop_dispatcher.h"

#include "browser/cef/cef_app.h"

namespace components {

namespace {
// Set by any message but painting and mouse moves: only those leave no runtime work behind.
bool g_work_pending = false;
}  // namespace

bool CefMessageLoopDispatcher::Dispatch(const MSG& message) {
  TranslateMessage(&message);
  DispatchMessageW(&message);
  switch (message.message) {
    case WM_PAINT:
    case WM_NCMOUSEMOVE:
    case WM_MOUSEMOVE:
      if (!g_work_pending) return true;
      break;
    default:
      g_work_pending = true;
      break;
  }
  MSG next;
  if (!PeekMessageW(&next, nullptr, 0, 0, PM_NOREMOVE)) {
    CefDoMessageLoopWork();
    g_work_pending = false;
  }
  return true;
}

}  // namespace components
