#pragma once

// The core's questions shown as the launcher's own windows: a message box or an options box
// over the owner, when the owner is a window of the UI framework. Any other owner (or a gone
// one) gets no box, and the request's callable never runs. UI thread only.

#include "dorevezi/core/core_dialogs.h"

class WindowDialogPresenter : public DialogPresenter {
 public:
  void ShowMessageBox(HWND owner, MessageBoxRequest request) override;
  void ShowOptionsBox(HWND owner, OptionsBoxRequest request) override;
};
