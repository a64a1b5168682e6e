// The pre-download state: seven steps driven by the result field (above 0: issue the step's
// request at the next tick; 0: waiting; below 0: failed).

#include "dorevezi/update/predownload_state.h"

#include <windows.h>

#include <algorithm>
#include <list>
#include <memory>

#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/predownload_books.h"
#include "dorevezi/update/download_manager.h"
#include "ui/resources/language_table.h"

namespace {

std::string BodyText(const char* body, int32_t size) {
  return std::string(body ? body : "", size > 0 ? size_t(size) : 0);
}

bool FileExistsA(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The error text of a version check other than usable.
std::string VersionCheckText(int comparison) {
  const ui::LanguageTable* texts = ui::LanguageTable::Instance();
  switch (comparison) {
    case kPreDownloadOlderThanUpdate: return texts->LookupUtf8("STRING_ERROR_DLC_OUTDATED");
    case kPreDownloadNotNewer: return texts->LookupUtf8("STRING_ERROR_DLC_LAST");
    case kPreDownloadNewerThanUpdate: return texts->LookupUtf8("STRING_ERROR_DLC_FIRST");
    default: return "PreDlc check failed:" + std::to_string(comparison);
  }
}

}  // namespace

void OnPreDownloadFileDownloaded(int32_t /*user*/, int32_t code, const std::string& urlPath,
                                 const std::string& message) {
  if (State* state = DoreveziCore::GetInstance().preDownloadState) state->OnFileDownloaded(code, urlPath, message);
}

void OnPreDownloadHttpResponse(int32_t /*user*/, int32_t code, const std::string& url, const char* body,
                               int32_t size, const std::string& message) {
  if (State* state = DoreveziCore::GetInstance().preDownloadState) {
    state->OnHttpResponse(code, url, body, size, message);
  }
}

void OnPreDownloadUrlProbed(int32_t /*user*/, int32_t code, const std::string& url, bool exists,
                            const std::string& message) {
  if (State* state = DoreveziCore::GetInstance().preDownloadState) state->OnUrlProbed(code, url, exists, message);
}

void OnPreDownloadProgress(int32_t /*user*/, double bytesPerSecond) {
  if (State* state = DoreveziCore::GetInstance().preDownloadState) state->OnDownloadProgress(bytesPerSecond);
}

State* CreatePreDownloadStateObject() {
  return new PreDownloadState();
}

void PreDownloadState::SetStep(int32_t next) {
  step = next;
  DoreveziCore::GetInstance().PublishPreDownloadStep(next);
}

void PreDownloadState::Fail(int32_t code, const std::string& text, const std::string& detail) {
  result = -1;
  SetStep(kPreDownloadFailed);
  errorCode = code;
  errorText = text;
  errorDetail = detail;
}

void PreDownloadState::OnEnter(State* /*previous*/) {
  flowMode = kFlowGame;
  if (!IsFolderA(GetPreDownloadFolderA())) CreateFolderPathA(GetPreDownloadFolderA());
  pendingFiles = false;
  SetStep(kPreDownloadQueryAddress);
  result = 1;
  DoreveziCore::GetInstance().NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageDownload, 0);
}

void PreDownloadState::OnTick() {
  DownloadManager& manager = DownloadManager::GetInstance();
  if (result > 0) {
    switch (step) {
      case kPreDownloadQueryAddress:
        result = 0;
        manager.activeUrls = manager.gateUrls;
        manager.DownloadMemory(BuildPreDownloadQueryUrl(), "", &OnPreDownloadHttpResponse, kStatePreDownload);
        return;
      case kPreDownloadQueryGate:
        result = 0;
        manager.activeUrls = manager.gateUrls;
        manager.DownloadMemory(BuildGateQueryUrl(), "", &OnPreDownloadHttpResponse, kStatePreDownload);
        return;
      case kPreDownloadFetchVersionMap:
        result = 0;
        manager.activeUrls = manager.cdnUrls;
        manager.DownloadMemory("version_map.txt", "", &OnPreDownloadHttpResponse, kStatePreDownload);
        return;
      case kPreDownloadFetchPatchList:
        result = 0;
        manager.activeUrls = manager.cdnUrls;
        manager.DownloadMemory(GetPatchUrl("patch_list.txt"), "", &OnPreDownloadHttpResponse, kStatePreDownload);
        return;
      case kPreDownloadDownloading:
        // The probe's answer decides: it starts the transfers or fails the state.
        manager.activeUrls = manager.cdnUrls;
        manager.ProbeUrl(GetPatchUrl("TOLV.exe.patch"), "", &OnPreDownloadUrlProbed, kStatePreDownload);
        return;
      case kPreDownloadFinished:
        Finish();  // deletes this state
        return;
      default:
        return;
    }
  }
  if (result == 0 && step == kPreDownloadDownloading) {
    CheckDownloadsDone();
  } else if (result < 0 && step == kPreDownloadFailed) {
    RunFailurePath();  // may delete this state
  }
}

void PreDownloadState::OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                                      const std::string& message) {
  result = -1;
  if (code < 0) {
    if (step == kPreDownloadFetchPatchList) {
      // No patch list: whole files.
      SetStep(kPreDownloadDownloading);
      result = kPreDownloadDownloading;
    } else if (step == kPreDownloadQueryAddress) {
      SetStep(kPreDownloadQueryGate);
      result = kPreDownloadQueryGate;
    } else {
      Fail(code, "PreDlc Request:7 Failed:" + message, url);
    }
    return;
  }
  const std::string reply = BodyText(body, size);
  switch (step) {
    case kPreDownloadQueryAddress: {
      std::vector<std::string> addresses;
      std::string error;
      if (ParsePreDownloadAddresses(reply, addresses, error) && !addresses.empty()) {
        DownloadManager::GetInstance().SetCdnUrls(addresses);
        SetStep(kPreDownloadFetchVersionMap);
      } else {
        SetStep(kPreDownloadQueryGate);
      }
      result = step;
      return;
    }
    case kPreDownloadQueryGate:
      OnGateReply(reply);
      return;
    case kPreDownloadFetchVersionMap:
      OnVersionMapReply(reply);
      return;
    case kPreDownloadFetchPatchList: {
      std::string error;
      // A list that does not parse leaves the map empty: whole files then.
      ParseVersionMap(reply, DoreveziCore::GetInstance().versionMaps[kPreDownloadPatchVersion], error);
      SetStep(kPreDownloadDownloading);
      result = step;
      return;
    }
    default:
      Fail(0, "PreDlc Request:7 Failed: unknown", url);
      return;
  }
}

void PreDownloadState::OnGateReply(const std::string& reply) {
  std::vector<std::string> contentServers;
  std::vector<std::string> preDownloadServers;
  std::string error;
  if (!ParseGateAddresses(reply, contentServers, preDownloadServers, error, true)) {
    Fail(0, "PreDlc parse gate dlcAddr Failed:" + error, reply);
    return;
  }
  if (preDownloadServers.empty()) {
    // The gate names no pre-download: a silent stop.
    Fail(0, "", "");
    return;
  }
  DownloadManager::GetInstance().SetCdnUrls(preDownloadServers);
  SetStep(kPreDownloadFetchVersionMap);
  result = step;
}

void PreDownloadState::OnVersionMapReply(const std::string& reply) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  VersionMap& remote = core.versionMaps[kRemotePreDownloadVersion];
  std::string error;
  if (!ParseVersionMap(reply, remote, error)) {
    Fail(0, "PreDlc parse remote Failed: :" + error, reply);
    return;
  }
  std::string listed;
  GetListVersion(reply, listed);  // either form
  const VersionTexts versions = core.GetVersionTexts();
  const int comparison = ComparePreDownloadVersion(listed, versions.localGameVersion, versions.remoteGameVersion);
  if (comparison != kPreDownloadUsable) {
    Fail(0, VersionCheckText(comparison), "");
    return;
  }
  version = listed;
  folder = PreDownloadFolderOf(version);  // a usable version is three decimal parts
  core.SetPreDownloadVersion(version);
  if (!IsFolderA(folder)) CreateFolderPathA(folder);
  if (core.preDownloadRequested && !WriteWholeFileA(folder + kUnfinishedPreDownloadList, reply)) {
    // Without the list on disk the finished download could never be recognised as complete.
    Fail(0, "PreDlc Write Failed:" + folder + kUnfinishedPreDownloadList, "");
    return;
  }
  VersionMap& update = ResetVersionMap(core.versionMaps, kUpdatePreDownloadVersion);
  if (core.LoadLocalGameVersionMap()) {
    // On a copy: the local game map stays whole for the flow that owns it.
    VersionMap local = core.versionMaps[kLocalGameVersion];
    std::list<std::string> localOnly;
    DiffVersionMaps(local, remote, update, localOnly);
  }
  if (update.empty()) {
    SetStep(kPreDownloadFinished);
  } else {
    pendingFiles = true;
    if (core.preDownloadRequested) {
      ResetVersionMap(core.versionMaps, kPreDownloadPatchVersion);
      SetStep(core.patchOption > 0 && !versions.localGameVersion.empty() ? kPreDownloadFetchPatchList
                                                                         : kPreDownloadDownloading);
    } else {
      SetStep(kPreDownloadFinished);
    }
  }
  result = step;
}

void PreDownloadState::OnUrlProbed(int32_t code, const std::string& url, bool exists, const std::string& message) {
  if (code >= 0) {
    g_useAltPatchExtension = !exists;
    StartDownloads();
    return;
  }
  if (result >= 0) Fail(code, message, url);
}

void PreDownloadState::StartDownloads() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.activeUrls = manager.cdnUrls;
  manager.CancelAll(kDownloadModePreDownload);
  result = 0;
  manager.ResetSpeedStats();
  const VersionMap& update = core.versionMaps[kUpdatePreDownloadVersion];
  const VersionMap& patches = core.versionMaps[kPreDownloadPatchVersion];
  const bool patching = core.patchOption > 0 && !patches.empty();
  remaining = static_cast<int32_t>(update.size());
  int64_t total = 0;
  for (const auto& item : update) {
    std::string localFile = NormalizePathA(folder + item.first, false);
    std::string urlPath = item.first;
    VersionMapEntry entry = item.second;
    auto patch = patching ? patches.find(item.first) : patches.end();
    if (patch != patches.end()) {
      const std::string name = item.first + CurrentPatchExtension();
      localFile = NormalizePathA(folder + name, false);
      urlPath = GetPatchUrl(name);
      entry = patch->second;
    }
    total += entry.size;
    manager.DownloadFile(urlPath, localFile, entry.md5, entry.size, &OnPreDownloadFileDownloaded,
                         &OnPreDownloadProgress, kStatePreDownload, 0, 0);
  }
  manager.totalBytes = total;
  manager.statsStartTick = GetTickCount();
  core.NotifyMainWindow(kMsgDownloadProgress, WPARAM(total), LPARAM(manager.doneBytes));
  core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageDownload, 1);
  core.NotifyGameWindows(kMsgPreDownloadState, 0, kPreDownloadLinkDownloading);
}

void PreDownloadState::OnFileDownloaded(int32_t code, const std::string& urlPath, const std::string& message) {
  if (code >= 0) {
    --remaining;
    return;
  }
  // The first failure is the one shown; later ones change nothing.
  if (result >= 0) Fail(code, message, urlPath);
}

void PreDownloadState::OnDownloadProgress(double bytesPerSecond) {
  DownloadManager::GetInstance().AddSpeedSample(bytesPerSecond);
}

void PreDownloadState::CheckDownloadsDone() {
  if (remaining > 0) return;
  const std::string unfinished = folder + kUnfinishedPreDownloadList;
  if (FileExistsA(unfinished)) {
    MoveFileExA(unfinished.c_str(), (folder + kCompletePreDownloadList).c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }
  pendingFiles = false;
  SetStep(kPreDownloadFinished);
  result = step;
  DownloadManager::GetInstance().ReportDownloadStep("done");
}

void PreDownloadState::Finish() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  SetStep(kPreDownloadIdle);
  result = 0;
  if (pendingFiles) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageBefore, 0);
  } else {
    if (std::find(core.preDownloadFolders.begin(), core.preDownloadFolders.end(), version) ==
        core.preDownloadFolders.end()) {
      core.preDownloadFolders.push_back(version);
    }
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageFinish, 0);
    core.NotifyGameWindows(kMsgPreDownloadState, 0, kPreDownloadLinkFinished);
  }
  core.preDownloadRequested = false;
  EndSelf();
}

void PreDownloadState::RunFailurePath() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  SetStep(kPreDownloadIdle);
  core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
  core.preDownloadRequested = false;
  if (errorText.empty()) {
    EndSelf();
    return;
  }
  // The state waits, doing nothing, until the box is answered; the answer ends this very state.
  const uint64_t self = serial;
  ShowErrorBox("", "STRING_CONFIRM", [self](int /*answer*/) {
    DoreveziCore& owner = DoreveziCore::GetInstance();
    if (owner.preDownloadState && owner.preDownloadState->serial == self) owner.StopPreDownload();
  });
}

void PreDownloadState::EndSelf() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  OnExit(nullptr);
  if (core.preDownloadState == this) {
    core.preDownloadState = nullptr;
    core.PublishPreDownloadStep(kNoStateId);
  }
  delete this;
}

void PreDownloadState::OnExit(State* /*next*/) {
  DownloadManager& manager = DownloadManager::GetInstance();
  // A flow that stopped the transfers already put the manager back in normal mode: keep it there.
  if (step == kPreDownloadDownloading && manager.mode == kDownloadModePreDownload) {
    manager.CancelAll(kDownloadModePreDownload);
  }
  step = 0;
  remaining = 0;
  result = 0;
}
