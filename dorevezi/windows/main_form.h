#pragma once

// The launcher's main window: it carries the single-instance mark, receives the engine's
// messages and answers the game client's queries.

#include <windows.h>

#include <cstdint>

// Registered window message that asks the main window for its tick counters: wParam 0 the UI
// ticks it received, 1 the engine ticks run on the worker thread.
constexpr wchar_t kTickCountsQueryName[] = L"DoreveziTickCountsQuery";

class MainForm {
 public:
  MainForm() = default;
  ~MainForm() = default;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // Creates the native window (class and title "Dorevezi"), centres and shows it. From then on
  // the object owns itself and is deleted with its window. False when no window was created
  // (the caller still owns the object then).
  bool Create();

  HWND window() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Exit();

  HWND window_ = nullptr;
  uint64_t uiTicks_ = 0;
};
