#pragma once

// Shows and hides the Windows touch keyboard for text entry by touch or pen. Requests are
// applied 10 ms later on the UI thread, each application reading the last wish, so a show
// followed at once by a hide shows nothing.

#include <string>

#include "base/weak_callback.h"

namespace ui {

class OnScreenKeyboardManager : public base::SupportWeakCallback {
 public:
  // The one instance, made on first use on the UI thread and destroyed at process exit.
  static OnScreenKeyboardManager& Instance();

  // Remembers the wish and applies it 10 ms later. Ignored before Windows 8.
  void RequestKeyboard(bool show);
  // Brings the keyboard to the last wish: closes a shown keyboard that is not wanted, shows
  // a hidden one that is (through the invocation object, else by starting the program).
  void ApplyKeyboardState();
  // Starts "TabTip.exe"; a failed start is not reported.
  void StartTouchKeyboardProcess();

  // The program StartTouchKeyboardProcess opens, from "CommonProgramW6432".
  static std::wstring TouchKeyboardProgramPath();
  // Whether the keyboard's window exists, is visible and is enabled.
  static bool IsKeyboardShown();

  bool IsWantedVisible() const { return wantedVisible_; }

 private:
  OnScreenKeyboardManager() = default;
  ~OnScreenKeyboardManager() override = default;

  bool wantedVisible_ = false;
  int windowsCheck_ = -1;  // -1 not asked yet, else 0 or 1
};

}  // namespace ui
