#pragma once

// A blocking dialog that runs its own modal loop on a thread of its own (see
// async_modal_runner.h) and posts its result to the UI thread itself.
class ModalWndBase {
 public:
  // Blocks while the dialog is open; a WM_QUIT in the thread's queue ends it as a cancel.
  virtual void RunModal() = 0;
  virtual ~ModalWndBase() = default;
};
