#pragma once

// Base of the update states. The engine runs one current state and, beside it, the pre-download
// state, both on the worker thread: DoreveziCore::ChangeState exits the current state, makes the
// next one current, enters it and deletes the old one; the engine tick ticks them every 2 ms.

#include <cstdint>
#include <functional>
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

// A number no other state of the process carries.
uint64_t NextStateSerial();

class State {
 public:
  // Building any state ends the mark that an error box of the engine is showing.
  explicit State(FlowMode flow) : flowMode(flow), serial(NextStateSerial()) {
    DoreveziCore::GetInstance().errorBoxShowing = false;
  }
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

  // "patchs/<version>/<name>": the game version in the game flow, the launcher version with its
  // points as "_" in the launcher flow; relative to a content-server base address.
  std::string GetPatchUrl(const std::string& name) const;
  // The update error box for this state's error fields (the detail carries the code, the text
  // and the detail); the answer (1 yes, 0 otherwise) reaches `onResult` as a task on the worker.
  void ShowErrorBox(const std::string& noKey, const std::string& yesKey, std::function<void(int)> onResult);
  // The box's detail text: "<code>\n" when the code is not 0, the text, "(<detail>)" when any.
  std::wstring ErrorBoxDetail() const;

  FlowMode flowMode;
  // Tells a task that arrives later whether the state it was meant for is still current.
  const uint64_t serial;
  int32_t result = 0;  // 0 pending, above 0 success, below 0 failure
  int32_t errorCode = 0;
  std::string errorText;    // UTF-8
  std::string errorDetail;  // UTF-8, usually the URL or the reply
};

// Routing of the download manager's answers to the current state: the tag is the asking state's
// id, and an answer reaches the current state only when its id equals the tag.
void OnStateFileDownloaded(int32_t user, int32_t code, const std::string& urlPath, const std::string& message);
void OnStateHttpResponse(int32_t user, int32_t code, const std::string& url, const char* body, int32_t size,
                         const std::string& message);
void OnStateUrlProbed(int32_t user, int32_t code, const std::string& url, bool exists, const std::string& message);
// Feeds the speed statistics while the download state is current.
void OnStateDownloadProgress(int32_t user, double bytesPerSecond);

// "get/urls?key=...&udid=...[&is_qa=true]": the operator's "GateKey", else "WIN10CN_" and the
// local game version. Each value has its white space removed and is then percent-escaped.
std::string BuildGateQueryUrl();
// "pre_download?channel=CN&udid=...".
std::string BuildPreDownloadQueryUrl();
// A query value as the gate receives it: white space removed, then percent-escaped.
std::string GateQueryValue(const std::string& value);

// States built by later parts of the engine install their constructors here. Until one is
// installed a resting stand-in with that id and flow takes its place: it does nothing, so the
// flow stops there and the decision stays visible.
using LaterStateFactory = State* (*)(FlowMode flow);
void SetLaterStateFactory(StateId id, LaterStateFactory factory);
// kStateDownloadFiles, kStateApplyUpdate or kStateEnterGame (always in the game flow).
State* CreateLaterState(StateId id, FlowMode flow);

// "Prepare", "RequestRemote", ... for logs and tools; "None" for others.
const char* StateName(int32_t id);
