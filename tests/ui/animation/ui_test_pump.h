#pragma once

// Runs the calling thread's messages until a condition holds or time runs out.

#include <windows.h>

#include <functional>

namespace ui_test {

inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done && done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now < 5 ? deadline - now : 5),
                              QS_ALLINPUT);
  }
}

inline void PumpFor(DWORD ms) { PumpUntil(nullptr, ms); }

}  // namespace ui_test
