// The states from the remote list to the version decision, the exception state, and the
// installation of the prepare state's factory.

#include "dorevezi/update/update_states.h"

#include <windows.h>

#include <utility>

#include "base/thread_registry.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/predownload_state.h"
#include "ui/core/string_util.h"

namespace {

State* MakePrepareState(FlowMode flow) {
  return new PrepareState(flow);
}

std::string ApplyListPath() {
  std::string folder;
  const std::wstring update = NormalizePath(GetUpdateFolder(), true);
  folder.assign(update.begin(), update.end());  // a fixed ASCII path
  return folder + "apply_list.txt";
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the state that posted a task is still the current one.
bool IsCurrent(int32_t id, uint64_t serial) {
  State* state = DoreveziCore::GetInstance().currentState;
  return state && state->GetStateId() == id && state->serial == serial;
}

// The state after the version check when files are to be fetched.
State* FetchState(FlowMode flow, const std::string& version) {
  if (DoreveziCore::GetInstance().patchOption > 0 && !version.empty()) return new RequestPatchState(flow);
  return CreateLaterState(kStateDownloadFiles, flow);
}

}  // namespace

void InstallUpdateStates() {
  SetStateFactories(&MakePrepareState, &CreatePreDownloadStateObject);
}

void SetRemoteGameVersionFromList(const std::string& listText) {
  std::string version;
  GetListVersion(listText, version);
  DoreveziCore::GetInstance().SetRemoteGameVersion(version);
}

// ---------------------------------------------------------------------------------------------
// Remote list

void RequestRemoteState::OnEnter(State* /*previous*/) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  DownloadManager& manager = DownloadManager::GetInstance();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  if (flowMode == kFlowGame) {
    remoteSlotKey = kRemoteGameVersion;
    temporaryListPath = NormalizePath(core.GetGamePath(), true) + L"tmp_version_map.txt";
  } else {
    remoteSlotKey = kRemoteDoreveziVersion;
    temporaryListPath = NormalizePath(L".", true) + L"tmp_dorevezi_version_map.txt";
  }
  result = 0;
  manager.activeUrls = manager.cdnUrls;
  manager.DownloadMemory(flowMode == kFlowGame ? "version_map.txt" : "dorevezi_version_map.txt", "",
                         &OnStateHttpResponse, kStateRequestRemote);
  core.NotifyMainWindow(kMsgCheckProgress, 0, 95);
}

void RequestRemoteState::OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                                        const std::string& message) {
  result = -1;
  if (code < 0) {
    errorCode = code;
    errorText = "Request Failed:" + message;
    errorDetail = url;
    return;
  }
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::string text(body ? body : "", size > 0 ? size_t(size) : 0);
  std::string error;
  if (!ParseVersionMap(text, core.versionMaps[remoteSlotKey], error)) {
    errorText = "Load Failed:" + error;
    errorDetail = text;
    return;
  }
  // Without the list on disk the version check would commit nothing and call it success.
  if (!WriteWholeFile(temporaryListPath, text)) {
    std::string path;
    ui::WideToMultiByte(temporaryListPath, path, CP_UTF8);
    errorText = "Write Failed:" + path;
    errorDetail = "the remote version list could not be saved";
    return;
  }
  if (flowMode == kFlowGame) SetRemoteGameVersionFromList(text);
  std::string written;
  std::string version;
  if (ReadWholeFile(temporaryListPath, written) && GetListVersion(written, version)) {
    core.SetDownloadGameVersion(version);
  }
  result = 1;
}

void RequestRemoteState::OnTick() {
  if (result == 0) return;
  State* next;
  if (result > 0) {
    next = new CheckVersionState(flowMode);
  } else if (flowMode == kFlowGame) {
    next = new ExceptionState(errorCode, errorText, errorDetail, true);
  } else {
    next = CreateLaterState(kStateEnterGame, kFlowGame);
  }
  DoreveziCore::GetInstance().ChangeState(next);
}

// ---------------------------------------------------------------------------------------------
// Version check

void CheckVersionState::OnEnter(State* /*previous*/) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  if (flowMode == kFlowGame) {
    localSlotKey = kLocalGameVersion;
    remoteSlotKey = kRemoteGameVersion;
    updateSlotKey = kUpdateGameVersion;
    const std::wstring game = NormalizePath(core.GetGamePath(), true);
    temporaryListPath = game + L"tmp_version_map.txt";
    listPath = game + L"version_map.txt";
  } else {
    localSlotKey = kLocalDoreveziVersion;
    remoteSlotKey = kRemoteDoreveziVersion;
    updateSlotKey = kUpdateDoreveziVersion;
    const std::wstring folder = NormalizePath(L".", true);
    temporaryListPath = folder + L"tmp_dorevezi_version_map.txt";
    listPath = folder + L"dorevezi_version_map.txt";
  }
  localOnlyPaths.clear();
  DiffVersionMaps(core.versionMaps[localSlotKey], core.versionMaps[remoteSlotKey], core.versionMaps[updateSlotKey],
                  localOnlyPaths);
  core.NotifyMainWindow(kMsgCheckProgress, 0, 100);
  result = 1;
}

void CheckVersionState::OnExit(State* /*next*/) {
  localOnlyPaths.clear();
}

void CheckVersionState::OnTick() {
  if (result == 0) return;
  VersionMap& update = DoreveziCore::GetInstance().versionMaps[updateSlotKey];
  if (flowMode == kFlowGame) {
    ResumeApplyList(update);
  } else {
    RemoveDroppedSkinArchive();
  }
  Decide(update);
}

void CheckVersionState::ResumeApplyList(VersionMap& update) {
  const std::string path = ApplyListPath();
  ApplyList list;
  if (!ReadApplyList(path, list)) return;
  if (list.version != DoreveziCore::GetInstance().GetVersionTexts().remoteGameVersion) {
    DeleteFileA(path.c_str());
    return;
  }
  for (const std::string& applied : list.fileList) update.erase(applied);
}

void CheckVersionState::RemoveDroppedSkinArchive() {
  for (auto it = localOnlyPaths.begin(); it != localOnlyPaths.end(); ++it) {
    if (*it != "resources.zip") continue;
    localOnlyPaths.erase(it);
    const std::wstring archive = NormalizePath(L".", true) + L"resources.zip";
    if (FileExists(archive)) {
      DeleteFileW(archive.c_str());
      DoreveziCore::GetInstance().resourcesChange = -1;
    }
    return;
  }
}

void CheckVersionState::CommitRemoteList() {
  if (!FileExists(temporaryListPath)) return;
  DoreveziCore& core = DoreveziCore::GetInstance();
  // One atomic replace: on failure both files stay as they were, and nothing is reloaded.
  if (!MoveFileExW(temporaryListPath.c_str(), listPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return;
  }
  if (flowMode == kFlowGame) {
    core.LoadGameVersion();
    DeleteFileA(ApplyListPath().c_str());
  } else {
    core.LoadDoreveziVersion();
  }
}

void CheckVersionState::Decide(VersionMap& update) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (update.empty()) {
    CommitRemoteList();
    if (core.resourcesChange != 0) {
      result = 0;
      const uint64_t self = serial;
      core.ReloadResources([self] {
        if (IsCurrent(kStateCheckVersion, self)) {
          DoreveziCore::GetInstance().ChangeState(CreateLaterState(kStateEnterGame, kFlowGame));
        }
      });
      return;
    }
    core.ChangeState(CreateLaterState(kStateEnterGame, kFlowGame));
    return;
  }
  const VersionTexts versions = core.GetVersionTexts();
  const std::string version = flowMode == kFlowGame ? versions.localGameVersion : versions.doreveziVersion;
  ResetVersionMap(core.versionMaps, flowMode == kFlowGame ? kGamePatchVersion : kDoreveziPatchVersion);
  if (flowMode == kFlowGame) {
    // The continue answer acts only while the silent exception state built below is current: a
    // flow started meanwhile must not be replaced.
    auto waitingSerial = std::make_shared<uint64_t>(0);
    auto onContinue = [version, waitingSerial](int answer) {
      if (answer == 0) return;
      base::ThreadRegistry::PostTask(base::kThreadIdMisc, [version, waitingSerial] {
        if (!IsCurrent(kStateException, *waitingSerial)) return;
        DoreveziCore::GetInstance().errorBoxShowing = false;
        DoreveziCore::GetInstance().ChangeState(FetchState(kFlowGame, version));
      });
    };
    if (!core.ConfirmUpdateDiskSpace(onContinue)) {
      State* waiting = new ExceptionState(errorCode, errorText, errorDetail, false);
      *waitingSerial = waiting->serial;
      core.ChangeState(waiting);
      return;
    }
  }
  core.ChangeState(FetchState(flowMode, version));
}

// ---------------------------------------------------------------------------------------------
// Patch list

void RequestPatchState::OnEnter(State* /*previous*/) {
  patchSlotKey = flowMode == kFlowGame ? kGamePatchVersion : kDoreveziPatchVersion;
  ResetVersionMap(DoreveziCore::GetInstance().versionMaps, patchSlotKey);
  result = 0;
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.activeUrls = manager.cdnUrls;
  manager.DownloadMemory(GetPatchUrl("patch_list.txt"), "", &OnStateHttpResponse, kStateRequestPatch);
}

void RequestPatchState::OnHttpResponse(int32_t code, const std::string& /*url*/, const char* body, int32_t size,
                                       const std::string& /*message*/) {
  result = -1;
  if (code < 0) return;
  // A list that does not parse leaves the map empty: whole files then.
  std::string error;
  ParseVersionMap(std::string(body ? body : "", size > 0 ? size_t(size) : 0),
                  DoreveziCore::GetInstance().versionMaps[patchSlotKey], error);
  result = 1;
}

void RequestPatchState::OnTick() {
  if (result == 0) return;
  DoreveziCore::GetInstance().ChangeState(CreateLaterState(kStateDownloadFiles, flowMode));
}

// ---------------------------------------------------------------------------------------------
// Exception

ExceptionState::ExceptionState(int code, const std::string& text, const std::string& detail, bool withRetry)
    : State(kFlowGame), retry(withRetry) {
  errorCode = code;
  errorText = text;
  errorDetail = detail;
}

void ExceptionState::OnEnter(State* /*previous*/) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  core.errorBoxShowing = true;
  if (!retry) return;
  ShowErrorBox("STRING_CANCEL", "STRING_ERROR_RETRY", [](int answer) {
    if (answer != 0) DoreveziCore::GetInstance().StartGameFlow(1, true);
  });
}
