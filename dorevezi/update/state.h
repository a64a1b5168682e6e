#pragma once

// Base of the update states. The engine runs one current state and, beside it, the pre-download
// state, both on the worker thread: DoreveziCore::ChangeState exits the current state, makes the
// next one current, enters it and deletes the old one; the engine tick ticks them every 2 ms.

#include <cstdint>
#include <string>

#include "dorevezi/core/dorevezi_core.h"

enum StateId : int32_t {
  kStateNone = 0,  // the base class
  kStatePrepare = 1,
  kStateRequestRemote = 2,
  kStateCheckVersion = 3,
  kStateRequestPatch = 4,
  kStateDownloadFiles = 5,
  kStateApplyUpdate = 6,
  kStateEnterGame = 7,
  kStateException = 8,
  kStatePreDownload = 9,
};

class State {
 public:
  // Building any state ends the mark that an error box of the engine is showing.
  explicit State(FlowMode flow) : flowMode(flow) { DoreveziCore::GetInstance().errorBoxShowing = false; }
  State() : State(kFlowGame) {}
  virtual ~State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  virtual StateId GetStateId() const { return kStateNone; }
  virtual void OnEnter(State* previous) = 0;
  virtual void OnTick() = 0;
  virtual void OnExit(State* next) = 0;
  // Answers of the download manager, routed to the state whose id matches the request's tag.
  virtual void OnFileDownloaded(int32_t /*code*/, const std::string& /*urlPath*/,
                                const std::string& /*message*/) {}
  virtual void OnHttpResponse(int32_t /*code*/, const std::string& /*url*/, const char* /*body*/,
                              int32_t /*size*/, const std::string& /*message*/) {}
  virtual void OnUrlProbed(int32_t /*code*/, const std::string& /*url*/, bool /*exists*/,
                           const std::string& /*message*/) {}
  virtual void OnDownloadProgress(double /*bytesPerSecond*/) {}

  FlowMode flowMode;
  int32_t result = 0;  // 0 pending, above 0 success, below 0 failure
  int32_t errorCode = 0;
  std::string errorText;    // UTF-8
  std::string errorDetail;  // UTF-8, usually the URL or the reply
};
