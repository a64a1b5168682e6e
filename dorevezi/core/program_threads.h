#pragma once

// The two threads that carry the launcher: MainThread, the UI thread, run in place on the
// process's main thread, and MiscThread, the worker that runs the update engine.

#include "base/thread.h"

class MiscThread : public base::FrameworkThread {
 public:
  MiscThread();
  ~MiscThread() override;

 protected:
  void OnThreadStart() override;
  void OnThreadExit() override;
};

class MainThread : public base::FrameworkThread {
 public:
  MainThread();
  ~MainThread() override;

 protected:
  void OnThreadStart() override;
  void OnThreadExit() override;

 private:
  MiscThread* miscThread_ = nullptr;
};

// Body of the engine tick, on the worker thread every 2 ms.
void UpdateEngineTick();

constexpr int64_t kUiTickMicroseconds = 500000;
constexpr int64_t kEngineTickMicroseconds = 2000;
