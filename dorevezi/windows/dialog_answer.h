#pragma once

// The answer of a launcher dialog, given at most once. A dialog settles when its close
// starts, with or without an answer; once settled, further clicks, keys and close commands
// (during the close's fade-out, say) do nothing, so a box never closes twice nor calls its
// requester back twice. The callback runs in a later task on the UI thread, never inside the
// handler that closed the dialog. UI thread only.

#include <functional>
#include <utility>

class DialogAnswer {
 public:
  using Callback = std::function<void(int)>;

  void SetCallback(Callback callback) { callback_ = std::move(callback); }
  // Lets the callback go without calling it (the dialog could not be shown).
  void DropCallback() { callback_ = nullptr; }

  bool IsSettled() const { return settled_; }
  // True only the first time: the caller goes on to close the dialog.
  bool Settle() { return !std::exchange(settled_, true); }

  // Posts the callback, bound to value, to the UI thread and gives it up: nothing happens
  // without a callback or when it has been posted before.
  void Post(int value);

 private:
  Callback callback_;
  bool settled_ = false;
};
