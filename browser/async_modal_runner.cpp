#include "browser/async_modal_runner.h"

#include <vector>

#include "base/base_util.h"
#include "base/thread_registry.h"

namespace components {

AsyncModalRunner::AsyncModalRunner(Delegate* delegate)
    : state_(std::make_shared<ThreadState>(delegate)),
      startedEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

AsyncModalRunner::~AsyncModalRunner() {
  PostQuit();
  if (!WaitForExit(kModalRunnerJoinTimeoutMs)) {
    // The dialog still runs on its thread: the thread is let go, and the base destructor finds no
    // thread to join. Unless it has already passed its last use of the shared state, the dialog
    // becomes its to delete.
    CloseHandle(thread_handle_.Release());
    thread_id_ = 0;
    base::CriticalSectionGuard guard(&state_->lock);
    if (!state_->threadDone) {
      state_->runnerGone = true;
      state_->leftDialog = dialog_;
      dialog_ = nullptr;
    }
  }
  delete dialog_;
  dialog_ = nullptr;
}

void AsyncModalRunner::DetachDelegate() {
  base::CriticalSectionGuard guard(&state_->lock);
  state_->delegate = nullptr;
}

void AsyncModalRunner::SetDialog(ModalWndBase* dialog) {
  if (dialog_ != dialog) delete dialog_;
  dialog_ = dialog;
}

bool AsyncModalRunner::Start() {
  if (!startedEvent_.IsValid() || !Launch()) return false;
  running_ = WaitForSingleObject(startedEvent_.Get(), INFINITE) == WAIT_OBJECT_0;
  return running_;
}

void AsyncModalRunner::PostQuit() {
  if (!running_ || quitPosted_) return;
  quitPosted_ = true;
  PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
}

bool AsyncModalRunner::WaitForExit(DWORD timeoutMs) {
  if (!thread_handle_.IsValid()) return true;
  DWORD wait = WaitForSingleObject(thread_handle_.Get(), timeoutMs);
  if (wait == WAIT_TIMEOUT) return false;
  if (wait == WAIT_FAILED) TerminateThread(thread_handle_.Get(), 0);
  thread_handle_.Reset();
  thread_id_ = 0;
  return true;
}

void AsyncModalRunner::Run() {
  // Taken before the dialog runs: the runner may be gone when the dialog returns, and from the
  // started event on this thread touches only these.
  ModalWndBase* dialog = dialog_;
  std::shared_ptr<ThreadState> state = state_;
  // Makes the thread's message queue, so that a WM_QUIT posted right after the start arrives.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  SetEvent(startedEvent_.Get());
  if (dialog) dialog->RunModal();
  ModalWndBase* left = nullptr;
  {
    // The runner's destructor takes this lock before it returns: under it, `this` is valid unless
    // the runner is gone.
    base::CriticalSectionGuard guard(&state->lock);
    state->threadDone = true;
    if (state->runnerGone) {
      left = state->leftDialog;
      state->leftDialog = nullptr;
    } else if (state->delegate) {
      state->delegate->OnRunnerExiting(this);
    }
  }
  delete left;
}

// ---------------------------------------------------------------------------------------

AsyncModalRunnerManager& AsyncModalRunnerManager::Instance() {
  static AsyncModalRunnerManager manager;
  return manager;
}

AsyncModalRunnerManager::AsyncModalRunnerManager() {
  InitializeCriticalSectionAndSpinCount(&lock_, 2000);
}

AsyncModalRunnerManager::~AsyncModalRunnerManager() {
  StopAllRunners();
  DeleteCriticalSection(&lock_);
}

bool AsyncModalRunnerManager::ShowModalAsync(ModalWndBase* dialog) {
  if (!dialog) return false;
  auto runner = std::make_shared<AsyncModalRunner>(this);
  {
    base::CriticalSectionGuard guard(&lock_);
    runners_.push_back(runner);
  }
  runner->SetDialog(dialog);
  return runner->Start();
}

void AsyncModalRunnerManager::OnRunnerExiting(AsyncModalRunner* runner) {
  std::shared_ptr<base::MessageLoopProxy> proxy = base::ThreadRegistry::GetLoopProxy(base::kThreadIdUi);
  if (!proxy) return;
  proxy->PostTask(MakeWeakCallback([this, runner] { RemoveRunner(runner); }));
}

void AsyncModalRunnerManager::RemoveRunner(AsyncModalRunner* runner) {
  std::shared_ptr<AsyncModalRunner> kept;
  {
    base::CriticalSectionGuard guard(&lock_);
    for (auto it = runners_.begin(); it != runners_.end(); ++it) {
      if (it->get() != runner) continue;
      kept = std::move(*it);
      runners_.erase(it);
      break;
    }
  }
  // `kept` goes here, outside the lock: destroying a runner joins its thread.
}

void AsyncModalRunnerManager::StopAllRunners() {
  std::list<std::shared_ptr<AsyncModalRunner>> taken;
  {
    base::CriticalSectionGuard guard(&lock_);
    taken.swap(runners_);
  }
  for (auto& runner : taken) {
    runner->DetachDelegate();
    runner->PostQuit();
  }
  const DWORD start = GetTickCount();
  for (auto it = taken.begin(); it != taken.end();) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed < kModalRunnerJoinTimeoutMs ? kModalRunnerJoinTimeoutMs - elapsed : 0;
    if ((*it)->WaitForExit(left)) {
      ++it;
      continue;
    }
    // Its dialog ignored the quit: the runner is kept alive for good, so that its thread never
    // runs on a freed object, and exit goes on.
    static auto* abandoned = new std::vector<std::shared_ptr<AsyncModalRunner>>();
    abandoned->push_back(std::move(*it));
    it = taken.erase(it);
  }
}

size_t AsyncModalRunnerManager::RunnerCount() {
  base::CriticalSectionGuard guard(&lock_);
  return runners_.size();
}

}  // namespace components
