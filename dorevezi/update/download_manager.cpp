// The download manager's set-up: built-in addresses, the handle pool with its options, the
// progress counter, the trace log and the shut-down.

#include "dorevezi/update/download_manager.h"

#include <cstdlib>

#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"

namespace {

// libcurl is initialised once, before the program's own code runs, and cleaned up at exit after
// the download manager (a function-local static created later) has been destroyed.
struct CurlGlobalInit {
  CurlGlobalInit() {
    curl_global_init(CURL_GLOBAL_ALL);
    atexit(&curl_global_cleanup);
  }
};
CurlGlobalInit g_curlGlobalInit;

constexpr char kGatePrimaryUrl[] = DV_GATE_PRIMARY_URL;
constexpr char kGateBackupUrl[] = DV_GATE_BACKUP_URL;
constexpr char kTrackUrl[] = DV_TRACK_URL;
constexpr char kAttributionUrl[] = DV_ATTRIBUTION_URL;

constexpr char kTraceFileName[] = "dltrace.log";
constexpr long kPieceConnectTimeoutSeconds = 10;
constexpr long kPieceTimeoutSeconds = 240;
constexpr long kReceiveBufferSize = 500000;

// A relative CA file is taken from the launcher folder (the current directory).
std::string AbsolutePath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(full, length);
}

void NotifyMainWindow(UINT message, WPARAM wParam, LPARAM lParam) {
  DoreveziCore::GetInstance().NotifyMainWindow(message, wParam, lParam);
}

}  // namespace

uint32_t PumpTicksBetween(uint32_t earlier, uint32_t later) {
  earlier %= kPumpTickModulus;
  later %= kPumpTickModulus;
  return later >= earlier ? later - earlier : later + (kPumpTickModulus - earlier);
}

uint32_t CurrentPumpTick() {
  return GetTickCount() % kPumpTickModulus;
}

DownloadManager& DownloadManager::GetInstance() {
  static DownloadManager manager;
  return manager;
}

DownloadManager::DownloadManager() {
  InitializeCriticalSectionAndSpinCount(&lock, 2000);
}

DownloadManager::~DownloadManager() {
  for (CURL* handle : idleHandles) curl_easy_cleanup(handle);
  idleHandles.clear();
  DeleteCriticalSection(&lock);
}

void DownloadManager::Init() {
  attributionUrl = kAttributionUrl;
  const std::vector<std::string> builtInGates = {kGatePrimaryUrl, kGatePrimaryUrl, kGateBackupUrl};
  trackUrl = kTrackUrl;
  const GateConfig config = DoreveziCore::GetInstance().gateConfig;
  gateUrls = config.gateUrls.empty() ? builtInGates : config.gateUrls;
  caFile = config.caFile.empty() ? std::string() : AbsolutePath(config.caFile);
  multiHandle.reset(curl_multi_init());
  curl_multi_setopt(multiHandle.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
  totalBytes = 0;
  doneBytes = 0;
  running = true;
  paused = false;
  triesPerUrl = 3;
  mode = kDownloadModeNormal;
  pumpTick = 0;
  if (!config.trackUrl.empty()) trackUrl = config.trackUrl;
  AddPooledHandles();
  tracePath = NormalizePathA(GetSaveFolderA(), true) + kTraceFileName;
  HANDLE trace = CreateFileA(tracePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (trace != INVALID_HANDLE_VALUE) CloseHandle(trace);
}

void DownloadManager::Shutdown() {
  running = false;
  paused = true;
  CancelAll(kDownloadModeNormal);
  queuedPosts.clear();
  pendingRequests.clear();
  for (CURL* handle : idleHandles) curl_easy_cleanup(handle);
  idleHandles.clear();
}

void DownloadManager::SetCdnUrls(const std::vector<std::string>& urls) {
  const std::vector<std::string>& operatorUrls = DoreveziCore::GetInstance().gateConfig.dlcUrls;
  cdnUrls = operatorUrls.empty() ? urls : operatorUrls;
}

void DownloadManager::SetTlsOptions(CURL* handle, TlsReadAhead readAhead) const {
  SetVerifiedTls(handle, caFile, readAhead);
}

void DownloadManager::AddPooledHandles() {
  for (int32_t i = 0; i < kHandlePoolBatch; ++i) {
    CURL* handle = curl_easy_init();
    if (!handle) continue;
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2_0));
    curl_easy_setopt(handle, CURLOPT_PIPEWAIT, 1L);
    SetTlsOptions(handle, TlsReadAhead::kOn);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DownloadManager::OnWriteData);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kPieceConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, kPieceTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &DownloadManager::OnTransferProgress);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    idleHandles.push_back(handle);
  }
}

void DownloadManager::Notify(UINT message, WPARAM wParam, LPARAM lParam) {
  (notifier_ ? notifier_ : &NotifyMainWindow)(message, wParam, lParam);
}

void DownloadManager::AddDoneBytes(int64_t delta) {
  doneBytes += delta;
  if (doneBytes < 0) doneBytes = 0;
  // Until the queueing state has set the total (it then posts the progress itself), there is no
  // share to show.
  if (paused || totalBytes <= 0) return;
  if (PumpTicksBetween(lastProgressPostTick, pumpTick) >= 1000 || doneBytes >= totalBytes) {
    lastProgressPostTick = pumpTick;
    const int64_t shown = doneBytes > totalBytes ? totalBytes : doneBytes;
    Notify(kMsgDownloadProgress, static_cast<WPARAM>(totalBytes), static_cast<LPARAM>(shown));
  }
}

void DownloadManager::AppendTrace(const std::string& line) {
  HANDLE file = CreateFileA(tracePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

bool DownloadManager::AdvanceTry(int32_t& tries, int32_t& baseIndex) const {
  if (++tries >= triesPerUrl) {
    tries = 0;
    ++baseIndex;
  }
  return baseIndex >= 0 && static_cast<size_t>(baseIndex) < activeUrls.size();
}
