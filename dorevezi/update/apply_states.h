#pragma once

// The update states after the version decision: fetching the changed files (or their patches)
// into ".\update", putting them in place, and the ready state that starts the game and runs the
// launcher's periodic work. Each runs on the worker thread like every state.
//
// A kill at any moment is survived: a file whose destination already holds its target content is
// neither fetched nor patched again, every copy into place goes through a sibling file renamed over
// the target, and the game flow records what it applied after every slice.

#include <atomic>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "dorevezi/update/state.h"

// false: patches end in ".patch"; true: in ".qzdiff". Set by the game flow's probe.
extern std::atomic<bool> g_useAltPatchExtension;
const char* CurrentPatchExtension();

// Installs the download, apply and ready states (CreateLaterState).
void InstallApplyStates();

// Tools watch each file put in place: action "patch", "move" or "skip" (already at its target).
using ApplyHook = void (*)(const std::string& path, const char* action, const std::string& md5);
void SetApplyHook(ApplyHook hook);

// Whether the file at `path` already has the listed content: its size first, then its MD5.
bool FileHasContent(const std::wstring& path, const std::string& md5, int32_t size);

// Puts `source` in place of `destination`: a rename, else a copy to a sibling file renamed over the
// destination, so a kill leaves the old or the new file, never a partial one. `keepSource` copies.
bool PlaceFile(const std::wstring& source, const std::wstring& destination, bool keepSource);

// Takes the file (or patch) `name` ("/" separators) a pre-download fetched in `preDownloadFolder`
// over into `updateFolder`: true when it is now complete there, its MD5 the expected one, and needs
// no transfer. A partial file moves with its resume file and resumes (false); a moved file whose
// MD5 differs is deleted (false): it is fetched again.
bool TakePreDownloadedFile(const std::string& preDownloadFolder, const std::string& updateFolder,
                           const std::string& name, const std::string& md5);

// A key that would land on the update folder's own files (apply list, list files, the skin
// archive's staging name, the pre-download folder).
bool IsReservedUpdateKey(const std::string& key);

class DownloadFilesState : public State {
 public:
  explicit DownloadFilesState(FlowMode flow) : State(flow) {}
  StateId GetStateId() const override { return kStateDownloadFiles; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State* next) override;
  void OnFileDownloaded(int32_t code, const std::string& url, const std::string& message) override;
  void OnUrlProbed(int32_t code, const std::string& url, bool exists, const std::string& message) override;

  void StartDownloads();

  int32_t queued = 0;
  int32_t finished = 0;
};

class ApplyUpdateState : public State {
 public:
  explicit ApplyUpdateState(FlowMode flow) : State(flow) {}
  StateId GetStateId() const override { return kStateApplyUpdate; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State* next) override;

  void ApplyDoreveziUpdate();
  void ApplyGameFilesStep();

  int32_t total = 0;
  std::list<std::string> queue;
  std::list<std::string> failed;
  // Files whose patch failed or gave the wrong output: fetched whole by the download state next.
  std::list<std::string> refetch;
  ApplyList applyList;

 private:
  // Result 2: back to the download state for the files in `refetch`.
  void ScheduleRefetch();
  void CommitGameList();
};

class EnterGameState : public State {
 public:
  EnterGameState() : State(kFlowGame) {}
  StateId GetStateId() const override { return kStateEnterGame; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State*) override {}
  void OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                      const std::string& message) override;

  void StartGame();

  // The background check for a pre-download: five requests, each issued from the reply before it,
  // so a whole chain normally runs inside one tick.
  void OnPreDownloadAddressReply(const std::string& reply);
  void OnGateAddressReply(const std::string& reply);
  void OnRemoteVersionReply(const std::string& reply);
  void OnPreDownloadVersionReply(const std::string& reply);
  void OnPreDownloadPatchListReply(const std::string& reply);

  uint32_t refreshPeriod = 0;
  uint32_t updatePeriod = 0;
  uint32_t preDownloadCheckPeriod = 0;
  // 0 idle, else the chain's request that is outstanding (1 to 5, in the order above).
  int32_t chainStep = 0;
  std::vector<std::string> contentServers;
  std::vector<std::string> preDownloadServers;

 private:
  void RequestChainStep(int32_t step, const std::string& urlPath);
};

// The ready state's background pre-download check runs by default; a tool that only drives a flow
// to its rest turns it off so that the check's requests do not mix with the flow's.
void SetPreDownloadChecksEnabled(bool enabled);

// The pre-download tab's page after a check (kMsgPreDownloadStatus), or the start of the
// pre-download the user asked for. Worker thread.
void EvaluatePreDownload();

// The answers to the restart question after a self-update (UI thread).
void OnOptionalRestartAnswer(int result);
void OnForcedRestartAnswer(int result);

// What a restart answer does once it acts: by default the replace helper starts (the launcher
// replaced when `replaceLauncher`) and the main window is asked to end the program. Tools replace it.
using RestartAction = void (*)(bool replaceLauncher);
void SetRestartAction(RestartAction action);
