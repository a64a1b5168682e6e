#pragma once

// The update states from the gate query to the version decision, and the exception state.
// Each runs on the worker thread: entered by DoreveziCore::ChangeState, ticked every 2 ms while
// current, and makes its transition as the last act of its tick. The download, apply and
// enter-game states come from CreateLaterState (state.h).

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "dorevezi/update/state.h"

// Installs the prepare-state factory of the core (pre-download: none yet).
void InstallUpdateStates();

// The remote game version from a version list's text, either form; an empty one when it names
// none. Every state that fills the remote game map sets it through here.
void SetRemoteGameVersionFromList(const std::string& listText);

// The key of a hashed file: the path below `root` with "/" separators, whether or not the root
// ends with a separator ("D:\" as game folder).
std::string HashKeyOfPath(const std::string& root, const std::string& path);

class PrepareState : public State {
 public:
  explicit PrepareState(int flowMode);
  StateId GetStateId() const override { return kStatePrepare; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State* next) override;
  void OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                      const std::string& message) override;

  void PrepareDorevezi();
  void PrepareGame();
  void ParseDoreveziGateReply(int32_t code, const std::string& url, const char* body, int32_t size,
                              const std::string& message);
  void ParseGameGateReply(int32_t code, const std::string& url, const char* body, int32_t size,
                          const std::string& message);

  std::string localSlotKey;
  std::string remoteSlotKey;
  std::wstring localListPath;
  std::wstring temporaryListPath;
  std::string hashRoot;  // ANSI code page; empty when nothing is hashed
  bool remoteListInline = false;
  int32_t hashTotal = 0;
  std::list<std::string> hashQueue;

 private:
  void StopPreDownload();
  // The body rule: a detail longer than 128 bytes goes to "exception\response.txt".
  void SaveLongDetail(const char* body, int32_t size);
};

class RequestRemoteState : public State {
 public:
  explicit RequestRemoteState(int flowMode) : State(static_cast<FlowMode>(flowMode)) {}
  StateId GetStateId() const override { return kStateRequestRemote; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State*) override {}
  void OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                      const std::string& message) override;

  std::string remoteSlotKey;
  std::wstring temporaryListPath;
};

class CheckVersionState : public State {
 public:
  explicit CheckVersionState(int flowMode) : State(static_cast<FlowMode>(flowMode)) {}
  StateId GetStateId() const override { return kStateCheckVersion; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State* next) override;

  std::string localSlotKey;
  std::string remoteSlotKey;
  std::string updateSlotKey;
  std::wstring temporaryListPath;
  std::wstring listPath;
  std::list<std::string> localOnlyPaths;

 private:
  void ResumeApplyList(VersionMap& update);
  void RemoveDroppedSkinArchive();
  void Decide(VersionMap& update);
  void CommitRemoteList();
};

class RequestPatchState : public State {
 public:
  explicit RequestPatchState(int flowMode) : State(static_cast<FlowMode>(flowMode)) {}
  StateId GetStateId() const override { return kStateRequestPatch; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State*) override {}
  void OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                      const std::string& message) override;

  std::string patchSlotKey;
};

class ExceptionState : public State {
 public:
  ExceptionState(int errorCode, const std::string& errorText, const std::string& errorDetail, bool retry);
  StateId GetStateId() const override { return kStateException; }
  void OnEnter(State* previous) override;
  void OnTick() override {}
  void OnExit(State*) override {}

  bool retry;
};
