#pragma once

// The user32 functions the framework looks up at run time: touch registration and touch and
// pointer input, missing on older systems (and under Wine, where touch and pen input do not
// exist). Each is looked up once per process; a missing one is null and its input is simply
// not translated. Tests put a table of their own in place to script touch and pointer records.

#include <windows.h>

namespace ui {

struct InputFunctions {
  BOOL(WINAPI* registerTouchWindow)(HWND, ULONG) = nullptr;
  BOOL(WINAPI* unregisterTouchWindow)(HWND) = nullptr;
  BOOL(WINAPI* getTouchInputInfo)(HTOUCHINPUT, UINT, PTOUCHINPUT, int) = nullptr;
  BOOL(WINAPI* closeTouchInputHandle)(HTOUCHINPUT) = nullptr;
  BOOL(WINAPI* getPointerType)(UINT32, POINTER_INPUT_TYPE*) = nullptr;
  BOOL(WINAPI* getPointerTouchInfo)(UINT32, POINTER_TOUCH_INFO*) = nullptr;
  BOOL(WINAPI* getPointerPenInfo)(UINT32, POINTER_PEN_INFO*) = nullptr;
};

// The table in use: user32's own functions, looked up on first use, unless replaced.
const InputFunctions& GetInputFunctions();
// Puts a table in place of user32's (null: back to user32's); returns the one replaced.
const InputFunctions* ReplaceInputFunctions(const InputFunctions* functions);

}  // namespace ui
