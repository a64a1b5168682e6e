#pragma once

// The launcher's one HTTP(S) client. It downloads files in byte ranges over the libcurl multi
// interface, with a resume file beside each file and an MD5 check at the end; it makes small
// synchronous requests (address probes, JSON documents, usage reports); and it pumps, pauses,
// cancels, limits and measures the file transfers.
//
// Threads: everything runs on the worker thread (kThreadIdMisc) except that the UI thread clears
// `running` at shut-down, reads `paused`, and asks for a new speed limit (ApplySpeedLimit, which
// hands the change to the worker). `lock` guards `activeTasks` against the other thread.
//
// Every transfer verifies the server's certificate and host name against the Windows certificate
// store and, when the operator's "save\setting.json" names one, the PEM file "CAFile" (one trust
// store for all connections, see tls_setup.h).
//
// Under Wine each socket read, poll and file call costs a round trip to the Wine server: file
// transfers read TLS ahead, a file's MD5 is taken as its bytes land, and resume files are written
// only when they keep something.

#include <windows.h>

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "dorevezi/core/md5.h"
#include "dorevezi/update/download_task.h"
#include "dorevezi/update/http_requests.h"
#include "dorevezi/update/tls_setup.h"

enum DownloadMode : int32_t {
  kDownloadModeNormal = 0,       // launcher and game updates
  kDownloadModePreDownload = 1,  // the pre-download of the next release
};

constexpr int32_t kHandlePoolBatch = 5;
constexpr int32_t kMaxActiveTransfers = 5;
constexpr size_t kMaxSpeedSamples = 60;
// The speed settings are in KB/s; a transfer's limit is that value times this, in bytes/s.
constexpr int64_t kSpeedLimitFactor = 204;
// The pump's clock: GetTickCount modulo this.
constexpr uint32_t kPumpTickModulus = 2147483647u;
constexpr int64_t kLowestSpeedReset = 100000000000LL;

// Milliseconds from `earlier` to `later` on the pump's clock, which wraps at kPumpTickModulus.
uint32_t PumpTicksBetween(uint32_t earlier, uint32_t later);
// GetTickCount modulo kPumpTickModulus.
uint32_t CurrentPumpTick();

struct MultiHandleDeleter {
  void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};

class DownloadManager {
 public:
  static DownloadManager& GetInstance();

  // --- Set-up and shared rules.
  // On the worker thread when it starts: addresses, multi handle, handle pool, trace log.
  void Init();
  // On the worker thread when it ends: stops, cancels every transfer, drops the queued reports and
  // frees every handle.
  void Shutdown();
  // cdnUrls := the operator's "DlcURLs" when given, else `urls`.
  void SetCdnUrls(const std::vector<std::string>& urls);
  void AddPooledHandles();
  // doneBytes += delta (never below 0); tells the main window at most once a second, or when the
  // total is reached, and never while paused.
  void AddDoneBytes(int64_t delta);
  void AppendTrace(const std::string& line);
  std::string GetAttributionUrl() const { return attributionUrl; }
  // The base-address retry rule after a failed try: false when no try remains.
  bool AdvanceTry(int32_t& tries, int32_t& baseIndex) const;

  // --- Ranged file downloads.
  void DownloadFile(const std::string& urlPath, const std::string& localFile, const std::string& md5,
                    int32_t size, DownloadDoneCallback done, DownloadProgressCallback progress, int32_t user,
                    int32_t tries, int32_t baseIndex);
  DownloadTask* CreateTask(int32_t pieceIndex, const std::string& urlPath, const std::string& localFile,
                           const std::string& md5, int32_t begin, int32_t end, int32_t fileSize,
                           DownloadDoneCallback done, DownloadProgressCallback progress, int32_t user,
                           int32_t tries, int32_t baseIndex);
  void RegisterPiece(DownloadTask* task);
  int32_t RemovePiece(DownloadTask* task);
  bool IsActiveTask(DownloadTask* task);
  // Reads "<localFile>.cfg". A file that cannot be trusted (another md5, no usable piece, a range
  // that does not fit a file of `fileSize` bytes, a missing data file) deletes both files.
  bool ReadResumeFile(const std::string& localFile, const std::string& md5, int32_t fileSize,
                      std::list<DownloadPiece>& pieces);
  void WriteResumeFile(const std::string& localFile, const std::string& md5,
                       const std::list<DownloadPiece>& pieces);
  bool ResumeFileHasMd5(const std::string& localFile, const std::string& md5);
  bool StartTask(DownloadTask* task, std::string& error);
  static size_t OnWriteData(char* data, size_t size, size_t count, void* task);
  static int OnTransferProgress(void* task, curl_off_t downloadTotal, curl_off_t downloadNow,
                                curl_off_t uploadTotal, curl_off_t uploadNow);
  void OnTransferDone(CURLMsg* message);
  // 1 file complete and right, 0 other pieces remain, -1 piece incomplete, -2 wrong MD5.
  int32_t CheckTaskFile(DownloadTask* task);
  void RestartFile(DownloadTask* task);
  void FinishTask(DownloadTask* task, int32_t code, const std::string& message, bool notify, bool destroy);

  // --- Synchronous requests and report transport.
  static std::string JoinUrl(const std::string& base, const std::string& path);
  bool ProbeUrl(const std::string& urlPath, const std::string& body, UrlProbeCallback callback, int32_t user);
  bool RequestUrl(const std::string& url, const std::string& body, MemoryResponseCallback callback,
                  int32_t user);
  bool DownloadMemory(const std::string& urlPath, const std::string& body, MemoryResponseCallback callback,
                      int32_t user);
  void PostJson(const std::string& body, const std::string& url, bool now);
  void SendNextQueuedPost();
  void SendJsonNow(const std::string& body, const std::string& url);
  void ReleaseRequestHandle(CURL* handle);
  static size_t OnWriteMemory(char* data, size_t size, size_t count, void* buffer);
  static size_t OnWriteString(char* data, size_t size, size_t count, void* text);

  // --- Transfer pump, pause, cancel, speed limit and statistics.
  void Tick();
  void PauseAll();
  void ContinueAll();
  void CancelAll(DownloadMode newMode);
  // From any thread; the change reaches the transfers on the worker thread.
  void ApplySpeedLimit(DownloadMode forMode);
  void AddSpeedSample(double bytesPerSecond);
  void ResetSpeedStats();
  void ReportDownloadStep(const std::string& actionType);
  void ReportDownloadResult(const std::string& actionId, const std::string& eventName, bool onlyWithSpeed);

  // Receives the messages for the main window; tests replace it.
  using Notifier = void (*)(UINT message, WPARAM wParam, LPARAM lParam);
  void SetNotifier(Notifier notifier) { notifier_ = notifier; }

  std::unique_ptr<CURLM, MultiHandleDeleter> multiHandle;
  std::atomic<bool> running{false};
  std::atomic<bool> paused{false};
  int32_t triesPerUrl = 0;
  DownloadMode mode = kDownloadModeNormal;
  std::vector<std::string> gateUrls;
  std::vector<std::string> cdnUrls;
  std::vector<std::string> activeUrls;
  std::list<DownloadTask*> waitingTasks;
  std::list<DownloadTask*> activeTasks;  // guarded by lock
  std::list<RequestHandle> pendingRequests;
  std::list<CURL*> idleHandles;
  CRITICAL_SECTION lock;
  std::map<std::string, std::unique_ptr<std::list<DownloadPiece>>> filePieces;
  int64_t totalBytes = 0;
  int64_t doneBytes = 0;
  int64_t currentSpeed = 0;
  int64_t lowestSpeed = 0;
  int64_t highestSpeed = 0;
  int64_t doneBytesAtSpeedPost = 0;
  std::string lowestSpeedFile;
  std::string lastProgressFile;
  uint32_t lastProgressPostTick = 0;
  std::list<double> speedSamples;
  uint32_t lastSpeedPostTick = 0;
  uint32_t pumpTick = 0;
  uint32_t statsStartTick = 0;
  std::string tracePath;
  std::string trackUrl;
  std::string attributionUrl;
  std::map<std::string, std::list<std::string>> queuedPosts;
  // The operator's extra trusted CA file (absolute path), or empty.
  std::string caFile;
  // The per-transfer receive limit last applied to the running transfers (bytes/s, 0 none).
  int64_t appliedSpeedLimit = 0;

 private:
  DownloadManager();
  ~DownloadManager();
  DownloadManager(const DownloadManager&) = delete;
  DownloadManager& operator=(const DownloadManager&) = delete;

  void Notify(UINT message, WPARAM wParam, LPARAM lParam);
  // Certificate and host-name checks, with the Windows store and the operator's CA file.
  void SetTlsOptions(CURL* handle, TlsReadAhead readAhead = TlsReadAhead::kOff) const;
  // Hands back to libcurl the transfers whose TLS layer holds bytes already read from the socket
  // (those the write callback held, see OnWriteData) and runs them; true when there was one.
  bool ResumeReadAheadTransfers(int& runningCount);
  // One pass of the pump; true when it started transfers.
  bool RunPumpPass();
  // The receive limit of `forMode` from the settings, in bytes per second (0: none).
  int64_t SpeedLimitFor(DownloadMode forMode) const;
  // Whether the reply of a piece's transfer fits the range it asked for.
  bool AcceptReply(DownloadTask* task);
  // Writes the task's received bytes at `begin` and advances it; false (with the disk error noted)
  // when the file could not be positioned or written. kSilent: the bytes are not added to
  // doneBytes (so no progress message), for a set that is being dropped.
  enum class ByteCount { kCounted, kSilent };
  bool WritePending(DownloadTask* task, ByteCount count = ByteCount::kCounted);
  // kFirst: the resume file is known not to exist (nor its data file), so it is written in place.
  enum class ResumeWrite { kChecked, kFirst };
  void WriteResume(const std::string& localFile, const std::string& md5, const std::list<DownloadPiece>& pieces,
                   ResumeWrite how);
  // Writes the task's progress into its piece and rewrites the resume file.
  void SaveTaskProgress(DownloadTask* task);
  void DestroyTask(DownloadTask* task);
  // A new easy handle registered in pendingRequests (null when none could be made).
  CURL* NewRequestHandle();

  Notifier notifier_ = nullptr;
  // The MD5 of a file's first `bytes` bytes, taken as they are written, so that the check at the
  // end reads at most what could not be hashed on the way.
  struct FileDigest {
    Md5Context context;
    int64_t bytes = 0;
  };
  // Hashes bytes written at `offset` when they continue the file's digest (reading back from the
  // task's open file what its piece wrote earlier); a task that does not reach the digest's end
  // leaves it alone.
  void HashWritten(DownloadTask* task, int64_t offset, const char* data, size_t size);
  // Whether the whole file matches its MD5: completes the file's digest from the disk; a file of
  // another size is hashed whole. `actual` receives the digest found.
  bool FileMatchesDigest(DownloadTask* task, std::string& actual);
  // Whether the task's piece is the only unfinished one of its file.
  bool IsLastPiece(DownloadTask* task) const;
  std::map<std::string, FileDigest> fileDigests_;
  // New one-piece files whose resume file is not written yet (and is known not to exist).
  std::set<std::string> unwrittenResumeFiles_;
  // Write blocks of finished tasks, for the next ones.
  std::vector<std::string> spareBlocks_;
  // The buffer bytes are read back into for the digest: kept, since fresh memory costs far more
  // under Wine than reading into warm memory.
  std::string& ReadBackBlock();
  std::string readBackBlock_;
  // Bytes taken by the write callback since start: tells the pump whether a round moved data.
  int64_t receivedBytes_ = 0;
};
