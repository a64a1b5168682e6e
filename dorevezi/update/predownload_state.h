#pragma once

// The pre-download of the next game release: a state held beside the current one
// (DoreveziCore::preDownloadState) and ticked after it. It asks the gate for the pre-download
// servers, checks the next release's version list against the installed and the current game,
// fetches the patch list from the installed version and downloads the files that differ (or their
// patches) into "update\predownload\<version>\", where the game update later takes them over.

#include <atomic>
#include <cstdint>
#include <string>

#include "dorevezi/update/apply_states.h"
#include "dorevezi/update/state.h"

enum PreDownloadStep : int32_t {
  kPreDownloadIdle = 0,
  kPreDownloadQueryAddress = 1,     // the gate's pre-download addresses
  kPreDownloadQueryGate = 2,        // the gate's addresses and options
  kPreDownloadFetchVersionMap = 3,  // the next release's version list
  kPreDownloadFetchPatchList = 4,   // the patch list from the installed version
  kPreDownloadDownloading = 5,      // the patch-extension probe, then the transfers
  kPreDownloadFinished = 6,
  kPreDownloadFailed = 7,
};

// The patch extension in use (g_useAltPatchExtension, CurrentPatchExtension) is the game update's;
// the pre-download's probe sets it too.

// The download manager's answers for the pre-download: passed to DoreveziCore::preDownloadState
// whenever one exists, whatever the tag.
void OnPreDownloadFileDownloaded(int32_t user, int32_t code, const std::string& urlPath, const std::string& message);
void OnPreDownloadHttpResponse(int32_t user, int32_t code, const std::string& url, const char* body, int32_t size,
                               const std::string& message);
void OnPreDownloadUrlProbed(int32_t user, int32_t code, const std::string& url, bool exists,
                            const std::string& message);
void OnPreDownloadProgress(int32_t user, double bytesPerSecond);

class PreDownloadState : public State {
 public:
  PreDownloadState() : State(kFlowGame) {}
  StateId GetStateId() const override { return kStatePreDownload; }
  void OnEnter(State* previous) override;
  void OnTick() override;
  void OnExit(State* next) override;
  void OnFileDownloaded(int32_t code, const std::string& urlPath, const std::string& message) override;
  void OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                      const std::string& message) override;
  void OnUrlProbed(int32_t code, const std::string& url, bool exists, const std::string& message) override;
  void OnDownloadProgress(double bytesPerSecond) override;

  void OnGateReply(const std::string& reply);
  void OnVersionMapReply(const std::string& reply);
  void StartDownloads();
  void CheckDownloadsDone();
  // Records the result, tells the windows and deletes the state.
  void Finish();

  int32_t step = kPreDownloadIdle;
  int32_t remaining = 0;
  bool pendingFiles = false;
  // The release being fetched and its folder (with a trailing separator).
  std::string version;
  std::string folder;

 private:
  // Sets the step and publishes it for the UI thread.
  void SetStep(int32_t next);
  void Fail(int32_t code, const std::string& text, const std::string& detail);
  void RunFailurePath();
  // Takes the state out of the core and deletes it; nothing of it may be touched afterwards.
  void EndSelf();
};

State* CreatePreDownloadStateObject();
