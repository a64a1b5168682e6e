// The download manager's transfer pump, pause, continue and cancel, the receive-speed limit, the
// speed and remaining-time estimate, and the download statistics of the usage reports.

#include <winsock2.h>

#include <cstdio>

#include "base/base_util.h"
#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/update/download_manager.h"

namespace {

// A pass ends after this many rounds without socket activity.
constexpr int kMaxIdleRounds = 5;
constexpr long kSelectWaitMicroseconds = 500;
// How long one tick may go on with further passes after a pass that started transfers.
constexpr DWORD kChainedPassesMs = 50;

void ReportDoreveziEvent(const std::string& printInfo, const std::string& speed, const std::string& size,
                         const std::string& actionType, const std::string& step, bool immediately) {
  DoreveziCore::GetInstance().ReportDoreveziEvent(printInfo, speed, size, actionType, step, immediately);
}
void ReportDoreveziDetail(const std::string& actionId, const std::string& speed, const std::string& size,
                          const std::string& downloadTime) {
  DoreveziCore::GetInstance().ReportDoreveziDetail(actionId, speed, size, downloadTime);
}
void ReportAttributionEvent(const std::string& eventName, const std::string& value1, const std::string& value2,
                            const std::string& value3) {
  DoreveziCore::GetInstance().ReportAttributionEvent(eventName, value1, value2, value3);
}

std::string FormatFloat(float value) {
  char text[64];
  snprintf(text, sizeof(text), "%.3f", value);
  return text;
}

}  // namespace

void DownloadManager::Tick() {
  // A pass that started a group is followed at once by the next, for a short while: the group's
  // requests and first bytes need not wait for the next tick.
  const DWORD start = GetTickCount();
  while (RunPumpPass() && GetTickCount() - start < kChainedPassesMs) {
  }
}

bool DownloadManager::RunPumpPass() {
  if (!running || (waitingTasks.empty() && activeTasks.empty())) return false;
  pumpTick = CurrentPumpTick();
  int runningCount = 0;
  curl_multi_perform(multiHandle.get(), &runningCount);
  int idleRounds = 0;
  while (running && runningCount != 0) {
    // A pass lasts as long as data keeps arriving: the once-a-second rules need a clock that moves.
    pumpTick = CurrentPumpTick();
    // Bytes the TLS layer read ahead are not on the socket any more: such transfers go on at once.
    const int64_t receivedBefore = receivedBytes_;
    const bool readAhead = ResumeReadAheadTransfers(runningCount);
    if (readAhead && receivedBytes_ != receivedBefore) continue;
    // Nothing taken from what was read ahead (the rest of a record is still on its way, or a speed
    // limit holds the transfer back): the sockets are waited on as usual.
    fd_set readSet, writeSet, errorSet;
    FD_ZERO(&readSet);
    FD_ZERO(&writeSet);
    FD_ZERO(&errorSet);
    int highest = -1;
    if (curl_multi_fdset(multiHandle.get(), &readSet, &writeSet, &errorSet, &highest) != CURLM_OK) {
      return false;
    }
    bool idle = highest < 0;
    if (!idle) {
      timeval wait = {0, kSelectWaitMicroseconds};
      idle = select(highest + 1, &readSet, &writeSet, &errorSet, &wait) <= 0;
    }
    if (idle) {
      if (++idleRounds > kMaxIdleRounds) return false;
      continue;
    }
    pumpTick = CurrentPumpTick();
    curl_multi_perform(multiHandle.get(), &runningCount);
  }
  if (!running) return false;
  int left = 0;
  while (running) {
    CURLMsg* message = curl_multi_info_read(multiHandle.get(), &left);
    if (!message) break;
    if (message->msg == CURLMSG_DONE) OnTransferDone(message);
  }
  int started = 0;
  while (running && !paused && !waitingTasks.empty()) {
    {
      base::CriticalSectionGuard guard(&lock);
      if (activeTasks.size() >= static_cast<size_t>(kMaxActiveTransfers)) break;
    }
    DownloadTask* task = waitingTasks.front();
    waitingTasks.pop_front();
    std::string error;
    if (StartTask(task, error)) {
      base::CriticalSectionGuard guard(&lock);
      activeTasks.push_back(task);
      ++started;
      continue;
    }
    if (AdvanceTry(task->tries, task->baseIndex)) {
      waitingTasks.push_back(task);
    } else {
      FinishTask(task, -2, error, running, true);
    }
  }
  return started > 0;
}

bool DownloadManager::ResumeReadAheadTransfers(int& runningCount) {
  if (paused) return false;
  bool found = false;
  {
    base::CriticalSectionGuard guard(&lock);
    for (DownloadTask* task : activeTasks) {
      if (!task->transfer || (!task->heldForReadAhead && !HasReadAheadData(task->transfer))) continue;
      // Lifting a pause marks the transfer due and makes libcurl read it without asking the socket.
      if (!task->heldForReadAhead) curl_easy_pause(task->transfer, CURLPAUSE_RECV);
      task->heldForReadAhead = false;
      curl_easy_pause(task->transfer, CURLPAUSE_CONT);
      found = true;
    }
  }
  // Only the transfers marked due run: running every transfer would make libcurl ask each other
  // socket whether it is readable, a Wine server round trip each.
  if (found) curl_multi_socket_action(multiHandle.get(), CURL_SOCKET_TIMEOUT, 0, &runningCount);
  return found;
}

void DownloadManager::PauseAll() {
  paused = true;
  {
    base::CriticalSectionGuard guard(&lock);
    for (DownloadTask* task : activeTasks) curl_easy_pause(task->transfer, CURLPAUSE_ALL);
  }
  Notify(kMsgDownloadPaused, 0, 1);
  ReportDownloadStep("pause");
  ReportDownloadResult("15", "click_launch_pause_game", true);
}

void DownloadManager::ContinueAll() {
  paused = false;
  {
    base::CriticalSectionGuard guard(&lock);
    for (DownloadTask* task : activeTasks) {
      task->heldForReadAhead = false;
      curl_easy_pause(task->transfer, CURLPAUSE_CONT);
    }
  }
  ResetSpeedStats();
  ReportDoreveziDetail("16", "", "", "");
  ReportAttributionEvent("click_launch_continue_download_game", "", "", "");
  Notify(kMsgDownloadPaused, 0, 0);
}

void DownloadManager::CancelAll(DownloadMode newMode) {
  // The running transfers leave the list under the lock; their files are dealt with outside it,
  // where nothing else is locked and no message is sent.
  std::list<DownloadTask*> running;
  {
    base::CriticalSectionGuard guard(&lock);
    running.swap(activeTasks);
  }
  for (DownloadTask* task : running) {
    // What arrived goes to the file and into its resume file, so queueing again resumes there.
    WritePending(task, ByteCount::kSilent);
    SaveTaskProgress(task);
  }
  for (DownloadTask* task : running) {
    RemovePiece(task);
    FinishTask(task, 0, "cancel", false, true);
  }
  for (DownloadTask* task : waitingTasks) {
    // A new file that has not started keeps a resume file too, as every queued file does.
    if (unwrittenResumeFiles_.count(task->localFile)) SaveTaskProgress(task);
    RemovePiece(task);
    FinishTask(task, 0, "cancel", false, true);
  }
  waitingTasks.clear();
  filePieces.clear();
  unwrittenResumeFiles_.clear();
  fileDigests_.clear();
  paused = false;
  totalBytes = 0;
  doneBytes = 0;
  speedSamples.clear();
  lastProgressPostTick = 0;
  lastSpeedPostTick = 0;
  ResetSpeedStats();
  mode = newMode;
}

void DownloadManager::ResetSpeedStats() {
  currentSpeed = 0;
  lowestSpeed = kLowestSpeedReset;
  highestSpeed = 0;
  lowestSpeedFile.clear();
  doneBytesAtSpeedPost = 0;
  statsStartTick = GetTickCount();
}

void DownloadManager::ApplySpeedLimit(DownloadMode forMode) {
  // The transfer handles belong to the worker, which may be inside libcurl with them right now:
  // a change asked for on another thread is carried out there.
  if (base::ThreadRegistry::CurrentRegistryId() != base::kThreadIdMisc) {
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [this, forMode] { ApplySpeedLimit(forMode); });
    return;
  }
  if (forMode != mode) return;
  const int64_t limit = SpeedLimitFor(forMode);
  {
    base::CriticalSectionGuard guard(&lock);
    for (DownloadTask* task : activeTasks) {
      curl_easy_setopt(task->transfer, CURLOPT_MAX_RECV_SPEED_LARGE,
                       static_cast<curl_off_t>(limit > 0 ? limit : 0));
    }
  }
  appliedSpeedLimit = limit;
  speedSamples.clear();
}

void DownloadManager::AddSpeedSample(double bytesPerSecond) {
  speedSamples.push_back(bytesPerSecond);
  while (speedSamples.size() > kMaxSpeedSamples) speedSamples.pop_front();
  if (paused) return;
  if (PumpTicksBetween(lastSpeedPostTick, pumpTick) < 1000) return;
  lastSpeedPostTick = pumpTick;
  int64_t sum = 0;
  for (double sample : speedSamples) sum += static_cast<int64_t>(sample);
  const int64_t average = sum / static_cast<int64_t>(speedSamples.size());
  size_t transfers;
  {
    base::CriticalSectionGuard guard(&lock);
    transfers = activeTasks.size();
  }
  const int64_t speed = average * static_cast<int64_t>(transfers > 0 ? transfers : 1);
  const int64_t remaining = totalBytes >= doneBytes && speed > 0 ? (totalBytes - doneBytes) / speed : 0;
  currentSpeed = speed;
  if (speed < lowestSpeed && speedSamples.size() > 30) {
    lowestSpeed = speed;
    lowestSpeedFile = lastProgressFile;
  }
  if (speed > highestSpeed) highestSpeed = speed;
  doneBytesAtSpeedPost = doneBytes;
  Notify(kMsgDownloadSpeed, static_cast<WPARAM>(remaining), static_cast<LPARAM>(speed));
}

void DownloadManager::ReportDownloadStep(const std::string& actionType) {
  if (currentSpeed <= 0) return;
  const uint32_t elapsed = static_cast<uint32_t>(float(GetTickCount() - statsStartTick) * 0.001f);
  const int64_t downloaded =
      doneBytesAtSpeedPost - static_cast<int64_t>(DoreveziCore::GetInstance().downloadLog.downloadSize);
  int64_t speed = currentSpeed;
  if (elapsed != 0) speed = downloaded / elapsed;
  ReportDoreveziEvent("", FormatFloat(float(speed) / 1048576.0f),
                      FormatFloat(float(downloaded) / 1073741824.0f), actionType, "", true);
}

void DownloadManager::ReportDownloadResult(const std::string& actionId, const std::string& eventName,
                                           bool onlyWithSpeed) {
  if (onlyWithSpeed && currentSpeed <= 0) return;
  DownloadLog& log = DoreveziCore::GetInstance().downloadLog;
  const uint32_t elapsed = static_cast<uint32_t>(float(GetTickCount() - statsStartTick) * 0.001f);
  const int64_t base = static_cast<int64_t>(log.downloadSize);
  const uint64_t previousTime = log.downloadTime;
  int64_t speed = currentSpeed;
  if (elapsed > 0) speed = (doneBytesAtSpeedPost - base) / elapsed;
  const std::string speedText = FormatFloat(float(speed) / 1048576.0f);
  const std::string sizeText = FormatFloat(float(doneBytesAtSpeedPost - base) / 1073741824.0f);
  const std::string timeText = std::to_string(int(elapsed));
  log.downloadSpeed = static_cast<uint64_t>(speed);
  log.downloadSize = static_cast<uint64_t>(doneBytesAtSpeedPost);
  log.downloadTime = elapsed + previousTime;
  ReportDoreveziDetail(actionId, speedText, sizeText, timeText);
  ReportAttributionEvent(eventName, speedText, sizeText, timeText);
}
