// The download, apply and ready states.

#include "dorevezi/update/apply_states.h"

#include <windows.h>

#include <cctype>
#include <fstream>
#include <memory>

#include "base/thread_registry.h"
#include "dorevezi/core/globals.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/md5.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/predownload_books.h"
#include "dorevezi/core/resource_fonts.h"
#include "dorevezi/core/self_replace.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/patch_applier.h"
#include "dorevezi/update/update_states.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/resources/ui_runtime.h"

std::atomic<bool> g_useAltPatchExtension{false};

namespace {

constexpr uint32_t kTickModulus = 0x7fffffffu;
constexpr uint32_t kSliceMs = 1000;
// The in-memory applier reports no code of its own.
constexpr int kInMemoryPatchError = 10000;
constexpr char kLauncherExe[] = "dorevezi.exe";

ApplyHook g_applyHook = nullptr;

// Tick marks that outlive the ready state objects.
uint32_t g_refreshMark = 0;
uint32_t g_updateMark = 0;
uint32_t g_preDownloadCheckMark = 0;
bool g_preDownloadChecksEnabled = true;

uint32_t Now() {
  return GetTickCount() % kTickModulus;
}

void Report(const std::string& path, const char* action, const std::string& md5) {
  if (g_applyHook) g_applyHook(path, action, md5);
}

std::wstring AnsiToWide(const std::string& text) {
  std::wstring wide;
  ui::MultiByteToWide(text, wide, CP_ACP);
  return wide;
}

std::wstring Backslashed(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::string StagedPath(const std::string& key) {
  return "update\\" + key;
}

void DeleteIfFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(path.c_str());
}

// The staged file of a key, its patches and their resume files.
void DeleteStagedLeftovers(const std::string& key) {
  const std::wstring staged = Backslashed(AnsiToWide(StagedPath(key)));
  for (const wchar_t* suffix : {L"", L".patch", L".qzdiff"}) {
    DeleteIfFile(staged + suffix);
    DeleteIfFile(staged + suffix + L".cfg");
  }
}

void CreateFolderOf(const std::wstring& path) {
  std::wstring folder, name;
  if (SplitPath(path, folder, name) && !IsFolder(folder)) CreateFolderPath(folder);
}

// The destination of a key: the game folder's file, or the launcher folder's.
std::wstring DestinationOf(FlowMode flow, const std::string& key) {
  const std::wstring root = flow == kFlowGame ? NormalizePath(DoreveziCore::GetInstance().GetGamePath(), true)
                                              : NormalizePath(L".", true);
  return root + Backslashed(AnsiToWide(key));
}

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsCurrent(int32_t id, uint64_t serial) {
  State* state = DoreveziCore::GetInstance().currentState;
  return state && state->GetStateId() == id && state->serial == serial;
}

State* MakeDownloadFilesState(FlowMode flow) {
  return new DownloadFilesState(flow);
}
State* MakeApplyUpdateState(FlowMode flow) {
  return new ApplyUpdateState(flow);
}
State* MakeEnterGameState(FlowMode) {
  return new EnterGameState();
}

std::string ApplyListPathA() {
  return "update\\apply_list.txt";
}

// The patch file of a staged key for the current extension.
std::wstring PatchFileOf(const std::wstring& staged) {
  return staged + AnsiToWide(CurrentPatchExtension());
}

// Patches `old` into the staged `output` with the applier the patch option asks for (1: in memory,
// else streamed); the applier's result, its code in `code`.
int RunPatch(int patchOption, const std::wstring& old, const std::wstring& output, const std::wstring& patchFile,
             int* code) {
  if (patchOption == 1) {
    *code = kInMemoryPatchError;
    return PatchFileInMemoryW(old, output, patchFile);
  }
  return PatchFileStreamedW(old, output, patchFile, code);
}

// A wrong output or a failing patch: the output and the patch go, so the whole file is fetched next
// and the same patch never runs again.
void DropFailedPatch(const std::wstring& output, const std::wstring& patchFile) {
  DeleteIfFile(output);
  DeleteIfFile(patchFile);
  DeleteIfFile(patchFile + L".cfg");
}

// The main window closes itself, which ends the program; a handle that is not one of the UI's live
// windows (already closing, or never made) is left alone. UI thread: the restart answers run there.
void RequestMainWindowExit() {
  HWND handle = DoreveziCore::GetInstance().mainWindow.load();
  if (ui::Window* window = handle ? ui::UiRuntime::FindWindowByHandle(handle) : nullptr) window->RequestClose(0);
}

void RestartThroughHelper(bool replaceLauncher) {
  // One helper applies the launcher, the runtime and the font lists; the exit path starts none
  // once this one runs (StartReplaceHelper starts one per process).
  StartReplaceHelper(NormalizePath(L".", true) + L"dorevezi.exe", replaceLauncher);
  RequestMainWindowExit();
}

RestartAction g_restartAction = &RestartThroughHelper;

void ActOnRestart() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  HWND window = core.mainWindow.load();
  if (!window || !IsWindow(window)) return;
  // Taken once: a second answer (or the exit path) finds it cleared.
  const bool replaceLauncher = core.doreveziReplaced.exchange(false);
  g_restartAction(replaceLauncher);
}

}  // namespace

const char* CurrentPatchExtension() {
  return g_useAltPatchExtension ? ".qzdiff" : ".patch";
}

void SetRestartAction(RestartAction action) {
  g_restartAction = action ? action : &RestartThroughHelper;
}

void SetPreDownloadChecksEnabled(bool enabled) {
  g_preDownloadChecksEnabled = enabled;
}

void SetApplyHook(ApplyHook hook) {
  g_applyHook = hook;
}

void InstallApplyStates() {
  SetLaterStateFactory(kStateDownloadFiles, &MakeDownloadFilesState);
  SetLaterStateFactory(kStateApplyUpdate, &MakeApplyUpdateState);
  SetLaterStateFactory(kStateEnterGame, &MakeEnterGameState);
}

bool FileHasContent(const std::wstring& path, const std::string& md5, int32_t size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  const uint64_t actual = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size < 0 || actual != uint64_t(size)) return false;
  std::ifstream in(path.c_str(), std::ios::binary);
  if (!in) return false;
  std::string digest;
  int64_t count = 0;
  return ComputeMd5(in, digest, count) && digest == md5;
}

bool PlaceFile(const std::wstring& source, const std::wstring& destination, bool keepSource) {
  bool placed = !keepSource && MoveFileExW(source.c_str(), destination.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!placed) {
    if (!ReplaceFileWithRetry(source, destination, 0)) return false;
    if (!keepSource) DeleteFileW(source.c_str());
  }
  // The sibling a copy killed half-way left behind.
  DeleteIfFile(destination + L".replacing");
  return true;
}

namespace {

bool FileExistsA(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void DeleteIfFileA(const std::string& path) {
  if (FileExistsA(path)) DeleteFileA(path.c_str());
}

// A rename, else a copy over the destination (another volume, or a file held open).
bool MoveOrCopyA(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::string BackslashedA(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// A taken-over file counts only with the expected content, whatever the gate's check option says:
// a damaged pre-download must never reach the game folder. A wrong one goes, and is fetched.
bool KeepIfVerified(const std::string& path, const std::string& md5) {
  std::string actual;
  int count = 0;
  if (FileMd5Matches(path, md5, actual, count)) return true;
  DeleteIfFileA(path);
  DeleteIfFileA(path + ".cfg");
  return false;
}

}  // namespace

bool TakePreDownloadedFile(const std::string& preDownloadFolder, const std::string& updateFolder,
                           const std::string& name, const std::string& md5) {
  const std::string relative = BackslashedA(name);
  const std::string source = NormalizePathA(preDownloadFolder, true) + relative;
  const std::string sourceResume = source + ".cfg";
  const std::string destination = NormalizePathA(updateFolder, true) + relative;
  const std::string destinationResume = destination + ".cfg";
  if (!FileExistsA(source)) return false;
  const bool sourceComplete = !FileExistsA(sourceResume);
  if (FileExistsA(destination)) {
    // Without a resume file the download manager judges the staged file by its MD5 itself.
    if (!FileExistsA(destinationResume)) return false;
    const bool sameTarget = DownloadManager::GetInstance().ResumeFileHasMd5(destination, md5);
    // A partial download of this very file goes on where it is.
    if (sameTarget && !sourceComplete) return false;
    DeleteIfFileA(destination);
    DeleteIfFileA(destinationResume);
  } else {
    std::string folder, leaf;
    if (SplitPathA(destination, folder, leaf) && !IsFolderA(folder)) CreateFolderPathA(folder);
    DeleteIfFileA(destinationResume);
  }
  if (!MoveOrCopyA(source, destination)) return false;
  if (!sourceComplete) {
    // The transfer resumes from the moved pieces.
    MoveOrCopyA(sourceResume, destinationResume);
    return false;
  }
  return KeepIfVerified(destination, md5);
}

bool IsReservedUpdateKey(const std::string& key) {
  const std::string lower = LowerAscii(key);
  for (const char* name : {"apply_list.txt", "cef_update.txt", "font_update.txt", "tmp_resources.zip"}) {
    if (lower == name || lower == std::string(name) + ".cfg") return true;
  }
  return lower == "predownload" || lower.compare(0, 12, "predownload/") == 0;
}

// ---------------------------------------------------------------------------------------------
// Download

void DownloadFilesState::OnEnter(State* /*previous*/) {
  if (flowMode != kFlowGame) {
    StartDownloads();
    return;
  }
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.activeUrls = manager.cdnUrls;
  manager.ProbeUrl(GetPatchUrl("TOLV.exe.patch"), "", &OnStateUrlProbed, kStateDownloadFiles);
}

void DownloadFilesState::OnUrlProbed(int32_t code, const std::string& url, bool exists, const std::string& message) {
  if (code < 0) {
    result = -1;
    errorCode = code;
    errorText = message;
    errorDetail = url;
    return;
  }
  g_useAltPatchExtension = !exists;
  StartDownloads();
}

void DownloadFilesState::StartDownloads() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  DownloadManager& manager = DownloadManager::GetInstance();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  const bool game = flowMode == kFlowGame;
  const VersionMap& update = core.versionMaps[game ? kUpdateGameVersion : kUpdateDoreveziVersion];
  const VersionMap& patches = core.versionMaps[game ? kGamePatchVersion : kDoreveziPatchVersion];
  result = 0;
  manager.activeUrls = manager.cdnUrls;
  manager.CancelAll(kDownloadModeNormal);
  // The pre-download of the target release, when its version can name a folder at all.
  const std::string preDownloadFolder = game ? PreDownloadFolderOf(core.GetVersionTexts().remoteGameVersion) : "";
  const bool reuse = !preDownloadFolder.empty() && IsFolderA(preDownloadFolder);
  const std::string unfinishedList = preDownloadFolder + kUnfinishedPreDownloadList;
  if (reuse && GetFileAttributesA(unfinishedList.c_str()) != INVALID_FILE_ATTRIBUTES) {
    // The files it has are taken over; the rest come with this update. The transfers do not wait.
    core.ShowMessageBox(core.mainWindow.load(), L"STRING_ERROR_NOTICE", L"STRING_ERROR_DLC_CLOSE", L"",
                        L"STRING_CONFIRM", [](int) {
                          DoreveziCore::GetInstance().NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
                        },
                        false);
  }
  manager.ResetSpeedStats();
  queued = finished = 0;
  const bool patching = core.patchOption > 0 && !patches.empty();
  int64_t total = 0;
  for (const auto& entry : update) {
    const std::string& key = entry.first;
    if (key == kVersionEntryName) continue;
    // The game's list may name the launcher: a staged launcher must not be overwritten by it.
    if (game && key == kLauncherExe) continue;
    if (IsReservedUpdateKey(key)) {
      result = -1;
      errorText = "Invalid Path";
      errorDetail = key;
      continue;
    }
    // Already in place (a run killed after the move): nothing to fetch or patch.
    if (FileHasContent(DestinationOf(flowMode, key), entry.second.md5, entry.second.size)) {
      DeleteStagedLeftovers(key);
      continue;
    }
    std::string name = key;
    std::string urlPath = key;
    std::string md5 = entry.second.md5;
    int32_t size = entry.second.size;
    auto patch = patching ? patches.find(key) : patches.end();
    if (patch != patches.end()) {
      name = key + CurrentPatchExtension();
      urlPath = GetPatchUrl(name);
      md5 = patch->second.md5;
      size = patch->second.size;
    }
    if (reuse && TakePreDownloadedFile(preDownloadFolder, "update", name, md5)) continue;
    ++queued;
    total += size;
    manager.DownloadFile(urlPath, StagedPath(name), md5, size, &OnStateFileDownloaded, &OnStateDownloadProgress,
                         kStateDownloadFiles, 0, 0);
  }
  manager.totalBytes = total;
  manager.statsStartTick = GetTickCount();
  core.NotifyMainWindow(kMsgDownloadProgress, static_cast<WPARAM>(manager.totalBytes),
                        static_cast<LPARAM>(manager.doneBytes));
}

void DownloadFilesState::OnFileDownloaded(int32_t code, const std::string& url, const std::string& message) {
  if (code < 0) {
    result = -1;
    errorCode = code;
    errorText = message;
    errorDetail = url;
    return;
  }
  ++finished;
}

void DownloadFilesState::OnTick() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (result < 0) {
    if (flowMode == kFlowGame) {
      core.ChangeState(new ExceptionState(errorCode, errorText, errorDetail, true));
    } else {
      core.ChangeState(CreateLaterState(kStateEnterGame, kFlowGame));
    }
    return;
  }
  if (finished < queued) return;
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.ReportDownloadStep("done");
  if (flowMode == kFlowGame) {
    if (core.downloadLog.firstInstall) {
      manager.ReportDownloadResult("17", "download_game_finish", true);
    } else {
      manager.ReportDownloadResult("22", "update_game_finish", true);
    }
  }
  core.ChangeState(new ApplyUpdateState(flowMode));
}

void DownloadFilesState::OnExit(State* /*next*/) {
  queued = finished = 0;
}

// ---------------------------------------------------------------------------------------------
// Apply

void ApplyUpdateState::OnEnter(State* /*previous*/) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  result = 0;
  g_exitRequested = false;
  if (flowMode != kFlowGame) {
    ApplyDoreveziUpdate();
    return;
  }
  const std::string remote = core.GetVersionTexts().remoteGameVersion;
  if (ReadApplyList(ApplyListPathA(), applyList) && applyList.version != remote) applyList.fileList.clear();
  applyList.version = remote;
  for (const auto& entry : core.versionMaps[kUpdateGameVersion]) {
    if (entry.first == kVersionEntryName || entry.first == kLauncherExe) continue;
    queue.push_back(entry.first);
  }
  total = static_cast<int32_t>(queue.size());
  failed.clear();
  refetch.clear();
  core.NotifyMainWindow(kMsgCheckProgress, 0, 0);
}

void ApplyUpdateState::ApplyDoreveziUpdate() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.doreveziReplaced = false;
  core.cefReplaced = false;
  core.fontsReplaced = false;
  // Lists kept from an earlier update still name files that could not be copied: the new names
  // are merged into them, never dropped.
  VersionMap& patches = core.versionMaps[kDoreveziPatchVersion];
  const bool patching = core.patchOption > 0 && !patches.empty();
  std::string failures;
  std::list<std::string> cefList;
  std::list<std::string> fontList;
  std::list<std::wstring> patchFiles;
  refetch.clear();
  for (const auto& entry : core.versionMaps[kUpdateDoreveziVersion]) {
    const std::string& key = entry.first;
    if (key == kVersionEntryName) continue;
    const std::wstring source = Backslashed(AnsiToWide(StagedPath(key)));
    const std::wstring destination = DestinationOf(kFlowDorevezi, key);
    if (FileHasContent(destination, entry.second.md5, entry.second.size)) {
      DeleteStagedLeftovers(key);
      Report(key, "skip", entry.second.md5);
      continue;
    }
    CreateFolderOf(destination);
    const char* action = "move";
    if (patching && patches.count(key)) {
      const std::wstring patchFile = PatchFileOf(source);
      // A kill after the output was written leaves it complete: no second run of the patch.
      if (!FileHasContent(source, entry.second.md5, entry.second.size)) {
        int code = 0;
        const int rc = RunPatch(core.patchOption, destination, source, patchFile, &code);
        if (rc != 0 || !FileHasContent(source, entry.second.md5, entry.second.size)) {
          DropFailedPatch(source, patchFile);
          refetch.push_back(key);
          continue;
        }
      }
      patchFiles.push_back(patchFile);
      action = "patch";
    }
    if (key == kLauncherExe) {
      core.doreveziReplaced = true;
      core.updateNoticeArmed = true;
    } else if (key.compare(0, 3, "cef") == 0) {
      cefList.push_back(key);
      core.cefReplaced = true;
    } else if (key.size() >= 4 && key.compare(key.size() - 4, 4, ".ttf") == 0) {
      fontList.push_back(key);
      core.fontsReplaced = true;
    } else if (PlaceFile(source, destination, false)) {
      if (key == "resources.zip") core.resourcesChange = 1;
    } else {
      failures += " " + key;
      continue;
    }
    Report(key, action, entry.second.md5);
  }
  if (!failures.empty()) {
    errorText = "Apply Failed";
    errorDetail = failures;
    result = -1;
    return;
  }
  if (!refetch.empty()) {
    ScheduleRefetch();
    return;
  }
  // The new list replaces the old one in one rename; on failure the temporary list stays.
  if (MoveFileExW(L"tmp_dorevezi_version_map.txt", L"dorevezi_version_map.txt",
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    core.LoadDoreveziVersion();
  } else if (GetFileAttributesW(L"tmp_dorevezi_version_map.txt") != INVALID_FILE_ATTRIBUTES) {
    errorText = "Apply Failed";
    errorDetail = " dorevezi_version_map.txt";
    result = -1;
    return;
  }
  if (!cefList.empty()) WriteDeferredUpdateList("update\\cef_update.txt", cefList);
  if (!fontList.empty()) WriteDeferredUpdateList("update\\font_update.txt", fontList);
  for (const std::wstring& patchFile : patchFiles) DeleteIfFile(patchFile);
  result = 1;
}

void ApplyUpdateState::ScheduleRefetch() {
  VersionMap& patches =
      DoreveziCore::GetInstance().versionMaps[flowMode == kFlowGame ? kGamePatchVersion : kDoreveziPatchVersion];
  for (const std::string& key : refetch) patches.erase(key);
  result = 2;
}

void ApplyUpdateState::ApplyGameFilesStep() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::wstring game = NormalizePath(core.GetGamePath(), true);
  VersionMap& update = core.versionMaps[kUpdateGameVersion];
  VersionMap& patches = core.versionMaps[kGamePatchVersion];
  const bool patching = core.patchOption > 0 && !patches.empty();
  const uint32_t start = Now();
  std::list<std::string> appliedPatches;
  while (!queue.empty()) {
    if (uint32_t(Now() - start) >= kSliceMs) break;
    const std::string key = queue.front();
    queue.pop_front();
    auto listed = update.find(key);
    if (listed == update.end()) continue;
    const VersionMapEntry target = listed->second;
    const std::wstring wideKey = AnsiToWide(key);
    const std::wstring source = Backslashed(L"update\\" + wideKey);
    const std::wstring destination = game + Backslashed(wideKey);
    CreateFolderOf(destination);
    std::wstring alternate;
    for (const auto& pair : core.alternateFileNames) {
      if (pair.first == wideKey) alternate = game + Backslashed(pair.second);
    }
    const char* action = "move";
    if (FileHasContent(destination, target.md5, target.size)) {
      // Moved by a run that was killed before it wrote the apply list.
      DeleteStagedLeftovers(key);
      action = "skip";
      if (!alternate.empty() && !FileHasContent(alternate, target.md5, target.size) &&
          !PlaceFile(destination, alternate, true)) {
        failed.push_back(key);
        continue;
      }
    } else {
      if (patching && patches.count(key)) {
        const std::wstring patchFile = PatchFileOf(source);
        if (!FileHasContent(source, target.md5, target.size)) {
          const std::wstring old = alternate.empty() ? destination : alternate;
          int code = 0;
          const int rc = RunPatch(core.patchOption, old, source, patchFile, &code);
          if (g_exitRequested) {
            failed.push_back(key + "(" + std::to_string(code) + ")");
            continue;
          }
          if (rc != 0 || !FileHasContent(source, target.md5, target.size)) {
            DropFailedPatch(source, patchFile);
            refetch.push_back(key);
            continue;
          }
        }
        appliedPatches.push_back(key);
        action = "patch";
      }
      if (!PlaceFile(source, destination, false)) {
        failed.push_back(key);
        continue;
      }
      if (!alternate.empty() && !PlaceFile(destination, alternate, true)) {
        failed.push_back(key);
        continue;
      }
    }
    applyList.fileList.push_back(key);
    Report(key, action, target.md5);
    update.erase(listed);
    const int percent = total > 0 ? int(100.0f - float(queue.size()) * 100.0f / float(total)) : 100;
    core.NotifyMainWindow(kMsgCheckProgress, 0, percent);
  }
  // Should the record fail to be written, a later run still finds the placed files by their content.
  WriteApplyList(ApplyListPathA(), applyList);
  for (const std::string& key : appliedPatches) DeleteIfFile(PatchFileOf(Backslashed(L"update\\" + AnsiToWide(key))));
  if (!queue.empty()) return;
  if (!failed.empty()) {
    errorText = "Apply Failed";
    errorDetail = " ";
    for (const std::string& entry : failed) errorDetail += entry + " ";
    result = -1;
    return;
  }
  if (!refetch.empty()) {
    ScheduleRefetch();
    return;
  }
  CommitGameList();
}

void ApplyUpdateState::CommitGameList() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::wstring game = NormalizePath(core.GetGamePath(), true);
  const std::wstring temporary = game + L"tmp_version_map.txt";
  const std::wstring list = game + L"version_map.txt";
  if (!MoveFileExW(temporary.c_str(), list.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // Success without the committed list would hash or fetch the whole game again next time.
    errorText = "Apply Failed";
    errorDetail = " version_map.txt ";
    result = -1;
    return;
  }
  DeleteFileA(ApplyListPathA().c_str());
  core.LoadGameVersion();
  if (!core.downloadLog.firstInstall) {
    DownloadManager::GetInstance().ReportDownloadResult("23", "apply_update_game_success", false);
  }
  result = 1;
}

void ApplyUpdateState::OnTick() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (result == 2) {
    core.ChangeState(new DownloadFilesState(flowMode));
    return;
  }
  if (flowMode != kFlowGame) {
    if (result == 0) return;
    if (core.resourcesChange != 0) {
      result = 0;
      const uint64_t self = serial;
      core.ReloadResources([self] {
        if (IsCurrent(kStateApplyUpdate, self)) {
          DoreveziCore::GetInstance().ChangeState(CreateLaterState(kStateEnterGame, kFlowGame));
        }
      });
      return;
    }
    core.ChangeState(CreateLaterState(kStateEnterGame, kFlowGame));
    return;
  }
  if (result == 0) {
    ApplyGameFilesStep();
  } else if (result > 0) {
    core.ChangeState(CreateLaterState(kStateEnterGame, kFlowGame));
  } else {
    core.ChangeState(new ExceptionState(errorCode, errorText, errorDetail, true));
  }
}

void ApplyUpdateState::OnExit(State* /*next*/) {
  total = 0;
  queue.clear();
}

// ---------------------------------------------------------------------------------------------
// Ready

namespace {

enum ChainStep : int32_t {
  kChainIdle = 0,
  kChainPreDownloadAddress = 1,  // the gate's "pre_download"
  kChainGateAddress = 2,         // the gate's "get/urls"
  kChainRemoteVersion = 3,       // the game's current list
  kChainPreDownloadVersion = 4,  // the next release's list
  kChainPatchList = 5,           // its patches from the installed version
};

uint32_t PeriodFromMinutes(int32_t minutes, uint32_t fallback) {
  return minutes >= 1 && minutes <= 99 ? uint32_t(minutes) * 60000u : fallback;
}

}  // namespace

void OnOptionalRestartAnswer(int result) {
  if (result == 1) ActOnRestart();
}

void OnForcedRestartAnswer(int /*result*/) {
  ActOnRestart();
}

void EnterGameState::OnEnter(State* /*previous*/) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  result = 0;
  chainStep = 0;
  const GateConfig gate = core.gateConfig;
  refreshPeriod = PeriodFromMinutes(gate.refreshInterval, 28800000u);
  updatePeriod = PeriodFromMinutes(gate.updateInterval, 43200000u);
  preDownloadCheckPeriod = PeriodFromMinutes(gate.updateInterval, 1800000u) + 60000u;
  g_updateMark = Now();
  g_preDownloadCheckMark = 0;
  if ((core.doreveziReplaced || core.cefReplaced || core.fontsReplaced) && core.updateNoticeArmed) {
    core.updateNoticeArmed = false;
    core.NotifyMainWindow(kMsgShowMainWindow, 0, 0);
    if (core.forceUpdateDorevezi) {
      core.ShowMessageBox(core.mainWindow.load(), L"STRING_UPDATE_NOTICE", L"STRING_UPDATE_DOREVEZI", L"",
                          L"STRING_CONFIRM", &OnForcedRestartAnswer, false);
    } else {
      core.ShowMessageBox(core.mainWindow.load(), L"STRING_UPDATE_NOTICE", L"STRING_UPDATE_DOREVEZI",
                          L"STRING_CANCEL", L"STRING_CONFIRM", &OnOptionalRestartAnswer, false);
    }
    return;
  }
  if (core.enterGameRequest) StartGame();
}

void EnterGameState::StartGame() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::wstring game = NormalizePath(core.GetGamePath(), true);
  std::string md5;
  {
    std::ifstream in((game + L"version_map.txt").c_str(), std::ios::binary);
    int64_t count = 0;
    if (!in || !ComputeMd5(in, md5, count)) {
      core.ShowMessageBox(core.mainWindow.load(), L"STRING_ERROR_NOTICE", L"STRING_ERROR_CHECK_GAME_FAILED", L"",
                          L"STRING_CONFIRM", nullptr, false);
      return;
    }
  }
  core.downloadLog.downloadSize = 0;
  core.downloadLog.downloadSpeed = 0;
  core.downloadLog.downloadTime = 0;
  const std::wstring gameSave = game + L"save";
  if (!IsFolder(gameSave)) CreateFolderPath(gameSave);
  for (const wchar_t* name : {L"gid.txt", L"TransToGame"}) {
    const std::wstring from = NormalizePath(GetSaveFolder(), true) + name;
    if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (PlaceFile(from, gameSave + L"\\" + name, true)) DeleteFileW(from.c_str());
  }
  std::list<int> freeSlots;
  CollectFreeGameSlots(freeSlots);
  if (freeSlots.empty()) {
    core.ShowMessageBox(core.mainWindow.load(), L"STRING_ERROR_NOTICE", L"STRING_ERROR_EXCEED_MAX_GAME_INSTANCE",
                        L"", L"STRING_CONFIRM", nullptr, false);
    return;
  }
  if (!core.LaunchGame(md5, freeSlots.front())) {
    core.ShowMessageBox(core.mainWindow.load(), L"STRING_ERROR_NOTICE", L"STRING_ERROR_CHECK_GAME_FAILED", L"",
                        L"STRING_CONFIRM", nullptr, false);
    return;
  }
  core.NotifyMainWindow(kMsgHideToTray, 0, 0);
  if (core.downloadLog.firstInstall) {
    core.downloadLog.firstInstall = false;
    core.SaveDownloadLog();
  }
}

void EnterGameState::OnTick() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const uint32_t now = Now();
  if (uint32_t(now - g_refreshMark) >= refreshPeriod) {
    g_refreshMark = now;
    core.NotifyMainWindow(kMsgRebuildContent, 0, 0);
  }
  if (chainStep != 0) return;
  DownloadManager::GetInstance().SendNextQueuedPost();
  if (chainStep != 0) return;
  if (uint32_t(now - g_updateMark) >= updatePeriod) {
    g_updateMark = now;
    core.StartDoreveziFlow();
    return;
  }
  if (!g_preDownloadChecksEnabled || uint32_t(now - g_preDownloadCheckMark) < preDownloadCheckPeriod) return;
  // Nothing installed, nothing to pre-download for: asked again at the next idle tick.
  if (core.GetVersionTexts().localGameVersion.empty()) return;
  g_preDownloadCheckMark = now;
  // A pre-download running beside starts its later pieces and retries from the manager's lists: the
  // chain must not leave them naming the gate or the current release's servers.
  DownloadManager& manager = DownloadManager::GetInstance();
  const bool preDownloadBeside = core.preDownloadState != nullptr;
  const std::vector<std::string> activeUrls = manager.activeUrls;
  const std::vector<std::string> cdnUrls = manager.cdnUrls;
  RequestChainStep(kChainPreDownloadAddress, BuildPreDownloadQueryUrl());
  if (preDownloadBeside) {
    manager.activeUrls = activeUrls;
    manager.cdnUrls = cdnUrls;
  }
}

void EnterGameState::RequestChainStep(int32_t step, const std::string& urlPath) {
  DownloadManager& manager = DownloadManager::GetInstance();
  chainStep = step;
  const bool gate = step == kChainPreDownloadAddress || step == kChainGateAddress;
  manager.activeUrls = gate ? manager.gateUrls : manager.cdnUrls;
  manager.DownloadMemory(urlPath, "", &OnStateHttpResponse, kStateEnterGame);
  // No answer at all (the manager shutting down): the chain ends rather than blocking the
  // ready state's periodic work. An answer has moved the step on or ended the chain.
  if (chainStep == step) chainStep = kChainIdle;
}

void EnterGameState::OnHttpResponse(int32_t code, const std::string& /*url*/, const char* body, int32_t size,
                                    const std::string& /*message*/) {
  const int32_t step = chainStep;
  chainStep = kChainIdle;
  std::string reply = code < 0 ? std::string() : std::string(body ? body : "", size > 0 ? size_t(size) : 0);
  if (code < 0) {
    // The address query and the patch list are optional: the chain goes on without them.
    if (step != kChainPreDownloadAddress && step != kChainPatchList) return;
    reply = "{}";
  }
  switch (step) {
    case kChainPreDownloadAddress: OnPreDownloadAddressReply(reply); return;
    case kChainGateAddress: OnGateAddressReply(reply); return;
    case kChainRemoteVersion: OnRemoteVersionReply(reply); return;
    case kChainPreDownloadVersion: OnPreDownloadVersionReply(reply); return;
    case kChainPatchList: OnPreDownloadPatchListReply(reply); return;
    default: return;
  }
}

void EnterGameState::OnPreDownloadAddressReply(const std::string& reply) {
  std::string error;
  ParsePreDownloadAddresses(reply, preDownloadServers, error);
  RequestChainStep(kChainGateAddress, BuildGateQueryUrl());
}

void EnterGameState::OnGateAddressReply(const std::string& reply) {
  std::string error;
  // The gate's "Others" names the pre-download servers only when the address query named none.
  if (!ParseGateAddresses(reply, contentServers, preDownloadServers, error, preDownloadServers.empty())) return;
  DownloadManager::GetInstance().SetCdnUrls(contentServers);
  RequestChainStep(kChainRemoteVersion, "version_map.txt");
}

void EnterGameState::OnRemoteVersionReply(const std::string& reply) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  std::string version;
  // Either form of the list; one naming no version ends the chain.
  if (!GetListVersion(reply, version) || version.empty()) return;
  core.SetRemoteGameVersion(version);
  if (core.IsGameUpdateAvailable()) core.NotifyMainWindow(kMsgGameVersionChanged, 0, 0);
  if (core.preDownloadState || core.preDownloadPaused) return;
  if (!core.preDownloadFolders.empty() && core.PurgeOldPreDownloads() <= 0) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
  }
  if (preDownloadServers.empty()) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
    return;
  }
  DownloadManager::GetInstance().SetCdnUrls(preDownloadServers);
  RequestChainStep(kChainPreDownloadVersion, "version_map.txt");
}

void EnterGameState::OnPreDownloadVersionReply(const std::string& reply) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  VersionMap& remote = ResetVersionMap(core.versionMaps, kRemotePreDownloadVersion);
  std::string error;
  std::string version;
  if (!ParseVersionMap(reply, remote, error) || !GetListVersion(reply, version) || version.empty()) return;
  core.SetPreDownloadVersion(version);
  const VersionTexts versions = core.GetVersionTexts();
  if (ComparePreDownloadVersion(version, versions.localGameVersion, versions.remoteGameVersion) !=
      kPreDownloadUsable) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
    return;
  }
  if (core.patchOption > 0) {
    DownloadManager::GetInstance().SetCdnUrls(preDownloadServers);
    RequestChainStep(kChainPatchList, GetPatchUrl("patch_list.txt"));
    return;
  }
  EvaluatePreDownload();
}

void EnterGameState::OnPreDownloadPatchListReply(const std::string& reply) {
  VersionMap& patches = ResetVersionMap(DoreveziCore::GetInstance().versionMaps, kPreDownloadPatchVersion);
  std::string error;
  // A list that does not parse counts whole files.
  ParseVersionMap(reply, patches, error);
  EvaluatePreDownload();
}

void EvaluatePreDownload() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const int complete = core.CheckPreDownloadComplete();
  if (complete < 0) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
    return;
  }
  if (complete == 0) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageFinish, 0);
    return;
  }
  if (core.preDownloadRequested) {
    core.StartPreDownload();
    return;
  }
  if (!core.LoadLocalGameVersionMap()) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageNone, 0);
    return;
  }
  // On a copy: the local game map stays whole for the flow that owns it.
  VersionMap local = core.versionMaps[kLocalGameVersion];
  VersionMap& toFetch = ResetVersionMap(core.versionMaps, kUpdatePreDownloadVersion);
  std::list<std::string> localOnly;
  DiffVersionMaps(local, core.versionMaps[kRemotePreDownloadVersion], toFetch, localOnly);
  if (toFetch.empty()) {
    core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageFinish, 0);
    return;
  }
  const VersionMap& patches = core.versionMaps[kPreDownloadPatchVersion];
  const bool patching = core.patchOption > 0 && !patches.empty();
  uint64_t size = 0;
  for (const auto& entry : toFetch) {
    auto patch = patching ? patches.find(entry.first) : patches.end();
    size += uint64_t(patch != patches.end() ? patch->second.size : entry.second.size);
  }
  core.SetPreDownloadSize(size);
  core.NotifyMainWindow(kMsgPreDownloadStatus, kPreDlcPageBefore, 0);
}
