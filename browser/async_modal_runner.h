#pragma once

// Runs blocking dialogs (the shell's folder browser) on threads of their own, so that the UI
// thread's loop and its tasks keep running while a dialog is open.

#include <windows.h>

#include <list>
#include <memory>

#include "base/thread.h"
#include "base/weak_callback.h"
#include "browser/modal_wnd_base.h"

namespace components {

// How long exit waits for dialog threads after asking them to quit. A dialog that ignores WM_QUIT
// must not hang the program's exit; one that obeys ends well within it (under Wine a thread that
// had windows takes about 2 s to end).
constexpr DWORD kModalRunnerJoinTimeoutMs = 5000;

class AsyncModalRunner : public base::Thread {
 public:
  class Delegate {
   public:
    // On the runner's thread, after its dialog has returned.
    virtual void OnRunnerExiting(AsyncModalRunner* runner) = 0;

   protected:
    virtual ~Delegate() = default;
  };

  explicit AsyncModalRunner(Delegate* delegate);
  // Asks a still open dialog to quit and waits for the thread a bounded time. A thread that still
  // runs after that is let go: it keeps what it uses in a state of its own, deletes the dialog
  // once that returns and tells no delegate of a runner that is gone.
  ~AsyncModalRunner() override;

  // Takes ownership of `dialog`; one held before is deleted.
  void SetDialog(ModalWndBase* dialog);
  // Starts the thread and waits until it runs; false when it could not be started.
  bool Start();
  // Posts WM_QUIT to the running thread, once.
  void PostQuit();
  // Waits up to `timeoutMs` for the thread to end; true when it has ended (or never ran), and
  // then its handle is closed.
  bool WaitForExit(DWORD timeoutMs);

  // The owner stops hearing of this runner (it is going away).
  void DetachDelegate();

  bool running() const { return running_; }
  bool quit_posted() const { return quitPosted_; }

 protected:
  void Run() override;

 private:
  // What the thread touches after its dialog has returned; shared by runner and thread, so that
  // it outlives a runner let go while the dialog still runs.
  struct ThreadState {
    explicit ThreadState(Delegate* delegate) : delegate(delegate) { InitializeCriticalSection(&lock); }
    ~ThreadState() { DeleteCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    // The rest is guarded by `lock`.
    Delegate* delegate;
    bool threadDone = false;             // the thread no longer touches the runner
    bool runnerGone = false;             // the runner was destroyed while the thread ran
    ModalWndBase* leftDialog = nullptr;  // the dialog of a runner gone, deleted by the thread
  };

  bool running_ = false;
  bool quitPosted_ = false;
  std::shared_ptr<ThreadState> state_;
  base::OwnedHandle startedEvent_;
  ModalWndBase* dialog_ = nullptr;
};

class AsyncModalRunnerManager : public AsyncModalRunner::Delegate, public base::SupportWeakCallback {
 public:
  static AsyncModalRunnerManager& Instance();

  // Public so that tests can run managers of their own; the program uses Instance().
  AsyncModalRunnerManager();
  ~AsyncModalRunnerManager() override;
  AsyncModalRunnerManager(const AsyncModalRunnerManager&) = delete;
  AsyncModalRunnerManager& operator=(const AsyncModalRunnerManager&) = delete;

  // On the UI thread: runs `dialog` (owned from now on, when not null) on a new thread and
  // returns once that thread has started. False for a null dialog or a failed start.
  bool ShowModalAsync(ModalWndBase* dialog);
  void OnRunnerExiting(AsyncModalRunner* runner) override;
  // On the UI thread: drops the runner from the list; the last reference is released after the
  // lock has been left.
  void RemoveRunner(AsyncModalRunner* runner);
  // At exit: asks every open dialog to quit and waits for their threads, all together no longer
  // than kModalRunnerJoinTimeoutMs. Runners whose thread still runs afterwards are left alive.
  void StopAllRunners();

  size_t RunnerCount();

 private:
  CRITICAL_SECTION lock_;
  std::list<std::shared_ptr<AsyncModalRunner>> runners_;
};

}  // namespace components
