#pragma once

// Window messages of the UI framework itself.

#include <windows.h>

// Sent to a window as soon as it is attached, and to the window that is last in the window
// list after the last one was destroyed.
constexpr UINT kMsgBecameTopWindow = 3025;
// Posted to a window to delete, after the current message, the controls removed from it.
constexpr UINT kMsgDeleteDeferred = WM_APP + 1;
