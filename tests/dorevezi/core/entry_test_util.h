#pragma once

// Helpers of the entry-point, thread and core-state tests: update states that record what the
// core does with them, a worker thread registered as the program's worker, and processes and
// windows of the launcher started from a test.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "dorevezi/update/state.h"

namespace entry_test {

// Appends "name:enter(previous)", "name:exit(next)" and "name:delete" to a shared log.
class RecordingState : public State {
 public:
  RecordingState(const std::string& name, StateId id, FlowMode flow, std::vector<std::string>* log)
      : State(flow), name_(name), id_(id), log_(log) {}
  ~RecordingState() override { log_->push_back(name_ + ":delete"); }

  StateId GetStateId() const override { return id_; }
  void OnEnter(State* previous) override { log_->push_back(name_ + ":enter(" + NameOf(previous) + ")"); }
  void OnTick() override {
    ++ticks;
    if (onTick) onTick();
  }
  void OnExit(State* next) override {
    log_->push_back(name_ + ":exit(" + NameOf(next) + ")");
    if (onExit) onExit();
  }

  const std::string& name() const { return name_; }
  int ticks = 0;
  std::function<void()> onTick;
  std::function<void()> onExit;

 private:
  static std::string NameOf(State* state) {
    return state ? static_cast<RecordingState*>(state)->name_ : std::string("null");
  }

  std::string name_;
  StateId id_;
  std::vector<std::string>* log_;
};

// A worker registered under the program's worker id, so the core's posts to it run.
class TestWorker : public base::FrameworkThread {
 public:
  TestWorker() : base::FrameworkThread("TestWorker") {}
  ~TestWorker() override { Stop(); }

  // Runs `task` on the worker after everything posted so far and waits for it.
  void RunAndWait(std::function<void()> task = [] {}) {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [task, done] {
      task();
      SetEvent(done);
    });
    WaitPumping(done, 30000);
    CloseHandle(done);
  }

  // Waits for `handle` while the calling thread's windows keep answering.
  static bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
      DWORD elapsed = GetTickCount() - start;
      if (elapsed >= timeoutMs) return false;
      DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
      if (result == WAIT_OBJECT_0) return true;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
  }

 protected:
  void OnThreadStart() override { base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdMisc); }
  void OnThreadExit() override { base::ThreadRegistry::UnregisterCurrentThread(); }
};

// A folder of the build tree given by DV_BINARY_DIR (a Unix path; Wine shows it on drive Z:).
inline std::wstring BinaryPath(const std::wstring& relative) {
  const wchar_t* root = _wgetenv(L"DV_BINARY_DIR");
  std::wstring path = root ? root : L".";
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  path += L"/" + relative;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// The folder of the running test executable, with a separator.
inline std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

inline bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Polls `condition` every 50 ms for up to `timeoutMs`.
inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
}

// A process started by a test; terminated when the test did not see it end.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() {
    if (process_) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
      CloseHandle(process_);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::wstring& commandLine, const std::wstring& folder) {
    std::wstring command = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &info)) {
      return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
  }

  // The exit code, or -1 when the process did not end in time.
  long WaitExit(DWORD timeoutMs) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
  }

  DWORD id() const { return id_; }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// The top-level window of process `processId` whose property `property` holds its own handle.
inline HWND FindMarkedWindow(DWORD processId, const wchar_t* property) {
  for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window;
       window = GetWindow(window, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && GetPropW(window, property) == window) return window;
  }
  return nullptr;
}

}  // namespace entry_test
