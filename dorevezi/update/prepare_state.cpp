// The first state of both flows: the local version map (from the list on disk or by hashing),
// the gate query, and the hand-over to the remote list or straight to the version check.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <thread>
#include <fstream>
#include <vector>
#include <utility>

#include "dorevezi/core/json_util.h"
#include "dorevezi/core/md5.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/network_identity.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/self_replace.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/gate_reply.h"
#include "dorevezi/update/update_states.h"

namespace {

constexpr char kPublicIpUrl[] = DV_PUBLIC_IP_URL;
constexpr size_t kLongestInlineDetail = 128;
constexpr size_t kHashBufferBytes = 1 << 20;
constexpr size_t kMaxHashThreads = 4;
constexpr int32_t kPreDownloadStepDownloading = 5;
constexpr char kSavedResponseNotice[] = "The information has been saved to file:exception/response.txt";

const char* const kLauncherHashedFiles[] = {"resources.zip", "SourceHanSansCNRegular.ttf",
                                            "SourceHanSansCNBold.ttf", "LomaN.ttf", "LomaB.ttf"};

std::string ToAnsi(const std::wstring& text) {
  std::string out;
  if (text.empty()) return out;
  const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  out.resize(length);
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &out[0], length, nullptr, nullptr);
  return out;
}

// Digest and size of one file, read with one buffer for the whole queue: a fresh buffer per file
// costs more than hashing a small file.
bool HashFile(const std::string& path, std::vector<char>& buffer, std::string& digest, int& size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  Md5Context context;
  int64_t total = 0;
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    context.Update(buffer.data(), got);
    total += got;
  }
  CloseHandle(file);
  if (!ok) return false;
  context.Finalize();
  digest = context.HexDigest();
  // A list's sizes are 32-bit: 2 GiB or more can never match one.
  size = total <= INT_MAX ? static_cast<int>(total) : -1;
  return true;
}

struct HashedFile {
  bool ok = false;
  std::string digest;
  int size = 0;
};

// Hashes the files on a few threads at once (each file's open and close cost more under some
// systems than hashing a small file), and reports on the calling thread how many are left each
// time the whole percent of the progress changes, ending with 0.
void HashInParallel(const std::vector<std::string>& paths, std::vector<HashedFile>& hashed,
                    const std::function<void(size_t left)>& progress) {
  std::atomic<size_t> next{0};
  std::atomic<size_t> finished{0};
  auto hashNext = [&](std::vector<char>& buffer) {
    const size_t i = next++;
    if (i >= paths.size()) return false;
    HashedFile& out = hashed[i];
    out.ok = HashFile(paths[i], buffer, out.digest, out.size);
    ++finished;
    return true;
  };
  const unsigned cores = std::thread::hardware_concurrency();
  const size_t count = std::min<size_t>({kMaxHashThreads, cores > 1 ? cores - 1 : 1, paths.size()});
  std::vector<std::thread> threads;
  for (size_t i = 1; i < count; ++i) {
    threads.emplace_back([&hashNext] {
      std::vector<char> buffer(kHashBufferBytes);
      while (hashNext(buffer)) {
      }
    });
  }
  // The calling thread hashes too, and reports between its files.
  std::vector<char> buffer(kHashBufferBytes);
  size_t lastPercent = SIZE_MAX;
  while (hashNext(buffer)) {
    const size_t percent = finished * 90 / paths.size();
    if (percent != lastPercent) {
      lastPercent = percent;
      progress(paths.size() - finished);
    }
  }
  for (std::thread& thread : threads) thread.join();
  progress(0);
}

bool CanOpenForReading(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

std::string HashKeyOfPath(const std::string& root, const std::string& path) {
  const std::string prefix = NormalizePathA(root, true);
  std::string key = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
  for (char& c : key) {
    if (c == '\\') c = '/';
  }
  return key;
}

PrepareState::PrepareState(int flowMode) : State(static_cast<FlowMode>(flowMode)) {}

void PrepareState::OnEnter(State* /*previous*/) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  DownloadManager& manager = DownloadManager::GetInstance();
  if (flowMode == kFlowDorevezi && core.publicIp.empty()) {
    manager.RequestUrl(kPublicIpUrl, "", &OnPublicIpReply, kStatePrepare);
  }
  StopPreDownload();
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  core.RefreshGameWindows();
  hashQueue.clear();
  hashTotal = 0;
  if (flowMode == kFlowGame) {
    PrepareGame();
  } else {
    PrepareDorevezi();
  }
  result = 0;
  manager.activeUrls = manager.gateUrls;
  manager.DownloadMemory(BuildGateQueryUrl(), "", &OnStateHttpResponse, kStatePrepare);
}

void PrepareState::StopPreDownload() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  State* preDownload = core.preDownloadState;
  if (!preDownload) return;
  if (core.GetPreDownloadStep() == kPreDownloadStepDownloading) {
    DownloadManager& manager = DownloadManager::GetInstance();
    manager.ReportDownloadStep("pause");
    manager.CancelAll(kDownloadModeNormal);
    core.preDownloadRequested = !core.preDownloadPaused;
    core.NotifyMainWindow(kMsgPreDownloadStatus, WPARAM(-1), LPARAM(-1));
    core.NotifyGameWindows(kMsgPreDownloadState, 0, kPreDownloadLinkPausedOrBlocked);
  }
  preDownload->OnExit(nullptr);
  core.preDownloadState = nullptr;
  core.PublishPreDownloadStep(kNoStateId);
  delete preDownload;
}

void PrepareState::PrepareDorevezi() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!IsFolder(GetUpdateFolder())) CreateFolderPath(GetUpdateFolder());
  if (!IsFolder(GetExceptionFolder())) CreateFolderPath(GetExceptionFolder());
  localSlotKey = kLocalDoreveziVersion;
  remoteSlotKey = kRemoteDoreveziVersion;
  const std::wstring folder = NormalizePath(L".", true);
  localListPath = folder + L"dorevezi_version_map.txt";
  temporaryListPath = folder + L"tmp_dorevezi_version_map.txt";
  core.resourcesChange = 0;
  VersionMap& local = core.versionMaps[localSlotKey];
  std::string error;
  if (!LoadVersionMapFile(localListPath, local, error)) {
    hashRoot = ".";
    const std::string base = NormalizePathA(hashRoot, true);
    for (const char* name : kLauncherHashedFiles) hashQueue.push_back(base + name);
    ListFilesRecursive(base + "cef", hashQueue, {});
    hashTotal = static_cast<int32_t>(hashQueue.size());
  }
  std::ifstream executable("dorevezi.exe", std::ios::in | std::ios::binary);
  if (executable.is_open()) {
    std::string digest;
    int size = 0;
    if (ComputeMd5(executable, digest, size)) local["dorevezi.exe"] = VersionMapEntry{digest, size};
  }
}

void PrepareState::PrepareGame() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::wstring game = NormalizePath(core.GetGamePath(), true);
  for (const auto& pair : core.alternateFileNames) {
    const std::wstring source = NormalizePath(game + pair.first, false);
    const std::wstring target = NormalizePath(game + pair.second, false);
    // Through a sibling renamed into place: a copy cut short never stands under the name the client
    // opens, where it would be taken as present from then on.
    if (CanOpenForReading(source) && !CanOpenForReading(target)) ReplaceFileWithRetry(source, target, 0);
  }
  localSlotKey = kLocalGameVersion;
  remoteSlotKey = kRemoteGameVersion;
  localListPath = game + L"version_map.txt";
  temporaryListPath = game + L"tmp_version_map.txt";
  VersionMap& local = ResetVersionMap(core.versionMaps, localSlotKey);
  std::string content;
  std::string error;
  if (!ReadWholeFile(localListPath, content) || !ParseVersionMap(content, local, error)) {
    hashRoot = ToAnsi(NormalizePath(core.GetGamePath(), false));
    ListFilesRecursive(hashRoot, hashQueue, {"save", "update", "exception", "cef_temp"});
    hashTotal = static_cast<int32_t>(hashQueue.size());
  }
  remoteListInline = false;
}

void PrepareState::OnTick() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  VersionMap& local = core.versionMaps[localSlotKey];
  if (!hashQueue.empty()) {
    const std::vector<std::string> paths(hashQueue.begin(), hashQueue.end());
    std::vector<HashedFile> hashed(paths.size());
    HashInParallel(paths, hashed, [&core, this](size_t left) {
      hashQueue.resize(left);
      const float done = 1.0f - static_cast<float>(left) / static_cast<float>(hashTotal);
      core.NotifyMainWindow(kMsgCheckProgress, 0, static_cast<LPARAM>(done * 90.0f));
    });
    // A file that could not be opened or read is left out: the check then fetches it.
    for (size_t i = 0; i < paths.size(); ++i) {
      if (hashed[i].ok) local[HashKeyOfPath(hashRoot, paths[i])] = VersionMapEntry{hashed[i].digest, hashed[i].size};
    }
    hashQueue.clear();
  }
  if (result == 0) return;
  State* next;
  if (result > 0) {
    next = remoteListInline ? static_cast<State*>(new CheckVersionState(kFlowGame))
                            : static_cast<State*>(new RequestRemoteState(flowMode));
  } else if (flowMode == kFlowGame) {
    next = new ExceptionState(errorCode, errorText, errorDetail, true);
  } else {
    next = CreateLaterState(kStateEnterGame, kFlowGame);
  }
  core.ChangeState(next);
}

void PrepareState::OnExit(State* /*next*/) {
  hashQueue.clear();
  hashTotal = 0;
}

void PrepareState::OnHttpResponse(int32_t code, const std::string& url, const char* body, int32_t size,
                                  const std::string& message) {
  if (flowMode == kFlowGame) {
    ParseGameGateReply(code, url, body, size, message);
  } else {
    ParseDoreveziGateReply(code, url, body, size, message);
  }
}

void PrepareState::ParseDoreveziGateReply(int32_t code, const std::string& /*url*/, const char* body,
                                          int32_t size, const std::string& /*message*/) {
  result = -1;
  if (code < 0) return;
  DoreveziGateReply reply;
  std::string error;
  const bool read = ReadDoreveziGateReply(body, size > 0 ? size_t(size) : 0, reply, error);
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (reply.hasPatchOption) core.patchOption = reply.patchOption;
  if (reply.hasUseWebExtraParam) core.useWebExtraParam = reply.useWebExtraParam;
  if (reply.hasDeleteLogTxt) core.deleteLogTxt = reply.deleteLogTxt;
  if (reply.hasPreDlcCheck) core.preDownloadCheck = reply.preDlcCheck;
  if (reply.hasTransToGame) WriteJsonFile(NormalizePathA(GetSaveFolderA(), true) + "TransToGame", reply.transToGame);
  if (!read || !reply.hasDlcAddr) return;
  core.forceUpdateDorevezi = false;
  DownloadManager::GetInstance().SetCdnUrls(reply.cdnUrls);
  if (reply.hasActivityAddr) core.SetActivityUrl(reply.activityAddr);
  if (reply.forceUpdateDorevezi) core.forceUpdateDorevezi = true;
  result = 1;
}

void PrepareState::ParseGameGateReply(int32_t code, const std::string& url, const char* body, int32_t size,
                                      const std::string& message) {
  result = -1;
  if (code < 0) {
    errorCode = code;
    errorText = "Request Failed:" + message;
    errorDetail = url;
    return;
  }
  GameGateReply reply;
  std::string text;
  const size_t length = size > 0 ? size_t(size) : 0;
  if (!ReadGameGateReply(body, length, reply, text)) {
    errorText = text;
    errorDetail = body ? std::string(body, length) : std::string();
    SaveLongDetail(body, size);
    return;
  }
  DownloadManager::GetInstance().SetCdnUrls(reply.cdnUrls);
  if (reply.hasInlineList) {
    // The list counts as inline only once it is on disk: the version check commits that file.
    if (WriteWholeFile(temporaryListPath, reply.inlineText)) {
      DoreveziCore& core = DoreveziCore::GetInstance();
      core.versionMaps[remoteSlotKey].swap(reply.inlineMap);
      SetRemoteGameVersionFromList(reply.inlineText);
      remoteListInline = true;
    }
  }
  result = 1;
}

void PrepareState::SaveLongDetail(const char* body, int32_t size) {
  if (errorDetail.size() <= kLongestInlineDetail) return;
  const std::string folder = NormalizePathA(ToAnsi(GetExceptionFolder()), true);
  if (!IsFolderA(folder)) CreateFolderPathA(folder);
  WriteWholeFileA(folder + "response.txt", std::string(body ? body : "", size > 0 ? size_t(size) : 0));
  errorDetail = kSavedResponseNotice;
}
