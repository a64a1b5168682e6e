#pragma once

// The shell and attention calls whose effects leave the process: the notification-area icon, the
// taskbar flash, sounds and opening addresses in the system browser. They go through one table so
// that tests can put a recorder in place of the system's functions.

#include <windows.h>
#include <shellapi.h>

struct ShellFunctions {
  BOOL(WINAPI* shellNotifyIcon)(DWORD, PNOTIFYICONDATAW) = nullptr;
  BOOL(WINAPI* flashWindowEx)(PFLASHWINFO) = nullptr;
  BOOL(WINAPI* playSound)(LPCWSTR, HMODULE, DWORD) = nullptr;
  HINSTANCE(WINAPI* shellExecute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = nullptr;
};

// The table in use: the system's functions unless replaced.
const ShellFunctions& GetShellFunctions();
// Puts a table in place of the system's (null: back to the system's); returns the one replaced.
const ShellFunctions* ReplaceShellFunctions(const ShellFunctions* functions);
