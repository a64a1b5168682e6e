#pragma once

// The waiting half of a message loop: a pump calls its delegate's work operations in passes
// and sleeps between them until work is posted or the earliest delayed task falls due.

#include <windows.h>

#include <cstdint>

namespace base {

class MessagePump {
 public:
  // Implemented by the message loop. Each operation returns whether it ran a task.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual bool RunImmediateWork() = 0;
    // Stores the run time of the earliest delayed task still waiting (0: none) in
    // *next_run_time, in microseconds on the base clock.
    virtual bool RunDelayedWork(int64_t* next_run_time) = 0;
    virtual bool RunIdleWork() = 0;
  };

  virtual ~MessagePump() = default;
  virtual void Run(Delegate* delegate) = 0;
  virtual void Quit() = 0;
  // The only operation other threads call.
  virtual void WakeForWork() = 0;
  // run_time: absolute microseconds on the base clock.
  virtual void WakeForDelayedWork(const int64_t& run_time) = 0;
};

// Sleeps on an auto-reset event; the worker thread's pump.
class DefaultMessagePump : public MessagePump {
 public:
  DefaultMessagePump();
  ~DefaultMessagePump() override;

  void Run(Delegate* delegate) override;
  void Quit() override;
  void WakeForWork() override;
  void WakeForDelayedWork(const int64_t& run_time) override;

 private:
  HANDLE wake_event_;
  bool should_quit_ = false;
  int64_t delayed_work_time_ = 0;
};

}  // namespace base
