// Ranged file downloads: a file is cut into pieces of at most 32 MiB, each fetched with a range
// request and written in place; the unfinished ranges are kept in "<file>.cfg" so that an
// interrupted download continues where it stopped; the finished file is checked against its MD5.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <set>
#include <stdexcept>

#include "base/base_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/md5.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/update/download_manager.h"

namespace {

constexpr char kResumeSuffix[] = ".cfg";
// Received bytes are written to the file in blocks of this size (or sooner, see OnWriteData): a few
// TLS records a call, written while they are still in the processor's cache (far larger blocks
// are copied from memory again, which costs more than the calls they save).
constexpr size_t kWriteBlockBytes = 64 << 10;
// Bytes read back at a time to complete a file's digest.
constexpr size_t kReadBackBytes = 1 << 20;
// The file is flushed and its resume file rewritten at most this often per piece.
constexpr uint32_t kFlushPeriodMs = 1000;
// MD5 of no bytes at all.
constexpr char kEmptyMd5[] = "d41d8cd98f00b204e9800998ecf8427e";

std::string ResumePath(const std::string& localFile) {
  return localFile + kResumeSuffix;
}

// The folder part of a path ("/" read as "\"), or empty when it has none.
std::string FolderOf(const std::string& path) {
  std::string normalized = path;
  for (char& c : normalized) {
    if (c == '/') c = '\\';
  }
  const std::string::size_type at = normalized.rfind('\\');
  return at == std::string::npos ? std::string() : normalized.substr(0, at);
}

void CreateFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  if (!folder.empty() && !IsFolderA(folder)) CreateFolderPathA(folder);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Deletes the file when it can be opened.
void DeleteIfPresent(const std::string& path) {
  if (FileExists(path)) DeleteFileA(path.c_str());
}

// The piece layout of a file: piece i covers i * kPieceSize up to the next piece or the end.
int32_t PieceCount(int32_t size) {
  return size <= 0 ? 0 : static_cast<int32_t>((int64_t(size) - 1) / kPieceSize + 1);
}
int32_t PieceFirstByte(int32_t index) {
  return static_cast<int32_t>(int64_t(index) * kPieceSize);
}
int32_t PieceLastByte(int32_t index, int32_t size) {
  const int64_t last = (int64_t(index) + 1) * kPieceSize - 1;
  return static_cast<int32_t>(last < size - 1 ? last : size - 1);
}

// One member of a stored piece: absent reads as 0; anything but a 32-bit integer is refused.
bool ReadPieceNumber(const Json::Value& element, const char* name, int32_t& value) {
  const Json::Value& member = element[name];
  if (member.isNull()) {
    value = 0;
    return true;
  }
  if (!member.isInt()) return false;
  value = member.asInt();
  return true;
}

// "bytes first-last/total" (or ".../*"): the first and last byte.
bool ParseContentRange(const char* text, int64_t& first, int64_t& last) {
  long long a = 0, b = 0;
  char unit[8] = {};
  if (sscanf(text, "%7s %lld-%lld", unit, &a, &b) != 3) return false;
  if (std::string(unit) != "bytes" || a < 0 || b < a) return false;
  first = a;
  last = b;
  return true;
}

}  // namespace

void DownloadManager::DownloadFile(const std::string& urlPath, const std::string& localFile,
                                   const std::string& md5, int32_t size, DownloadDoneCallback done,
                                   DownloadProgressCallback progress, int32_t user, int32_t tries,
                                   int32_t baseIndex) {
  if (activeUrls.empty()) {
    if (done) done(user, -1, urlPath, "DownloadFile URL is empty");
    return;
  }
  if (size <= 0) {
    // An empty file is made empty, whatever an earlier run left there, and checked like any other.
    CreateFolderOf(localFile);
    HANDLE file =
        CreateFileA(localFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (done) {
        char text[300];
        snprintf(text, sizeof(text), "open:(%s) failed,errno:%d", localFile.c_str(), int(GetLastError()));
        done(user, -2, urlPath, text);
      }
      return;
    }
    const bool emptied = SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file);
    CloseHandle(file);
    if (!emptied) {
      if (done) done(user, -3, urlPath, "truncate:(" + localFile + ") failed");
      return;
    }
    DeleteIfPresent(ResumePath(localFile));
    if (!md5.empty() && md5 != kEmptyMd5) {
      AppendTrace(urlPath + ":" + md5 + "!=" + kEmptyMd5 + "\n");
      if (done) done(user, -4, urlPath, "check md5 error");
      return;
    }
    if (done) done(user, 0, urlPath, "");
    return;
  }
  filePieces.erase(localFile);
  fileDigests_.erase(localFile);
  unwrittenResumeFiles_.erase(localFile);
  if (md5.empty()) {
    RegisterPiece(
        CreateTask(0, urlPath, localFile, md5, 0, size - 1, size, done, progress, user, tries, baseIndex));
    return;
  }
  // Under Wine every look-up of a name that does not exist reads the whole folder (names are
  // matched without regard to case), so a file that is not there yet is asked about only once:
  // without its data file a resume file cannot be trusted, and the new one replaces it.
  const bool present = FileExists(localFile);
  std::list<DownloadPiece> stored;
  if (present && ReadResumeFile(localFile, md5, size, stored)) {
    int64_t remaining = 0;
    for (const DownloadPiece& piece : stored) {
      RegisterPiece(CreateTask(piece.index, urlPath, localFile, md5, piece.begin, piece.end, size, done,
                               progress, user, tries, baseIndex));
      remaining += int64_t(piece.end) - piece.begin + 1;
    }
    AddDoneBytes(size - remaining);
    DoreveziCore::GetInstance().downloadLog.downloadSize = static_cast<uint64_t>(doneBytes);
    return;
  }
  std::string actualMd5;
  int hashedBytes = 0;
  if (present && FileMd5Matches(localFile, md5, actualMd5, hashedBytes)) {
    AddDoneBytes(hashedBytes);
    DoreveziCore::GetInstance().downloadLog.downloadSize = static_cast<uint64_t>(doneBytes);
    if (done) done(user, 0, urlPath, "");
    return;
  }
  const int32_t count = PieceCount(size);
  for (int32_t index = 0; index < count; ++index) {
    RegisterPiece(CreateTask(index, urlPath, localFile, md5, PieceFirstByte(index),
                             PieceLastByte(index, size), size, done, progress, user, tries, baseIndex));
  }
  if (!present && count == 1) {
    // A new one-piece file gets its resume file only once it has progress to keep (a second into
    // its transfer, or when cancelled): most are complete by then. An old one is not kept.
    DeleteIfPresent(ResumePath(localFile));
    unwrittenResumeFiles_.insert(localFile);
    return;
  }
  WriteResume(localFile, md5, *filePieces[localFile], present ? ResumeWrite::kChecked : ResumeWrite::kFirst);
}

DownloadTask* DownloadManager::CreateTask(int32_t pieceIndex, const std::string& urlPath,
                                          const std::string& localFile, const std::string& md5, int32_t begin,
                                          int32_t end, int32_t fileSize, DownloadDoneCallback done,
                                          DownloadProgressCallback progress, int32_t user, int32_t tries,
                                          int32_t baseIndex) {
  DownloadTask* task = new DownloadTask();
  task->urlPath = urlPath;
  task->localFile = localFile;
  task->md5 = md5;
  task->tries = tries;
  task->baseIndex = baseIndex;
  task->user = user;
  task->lastFlushTick = CurrentPumpTick();
  task->pieceIndex = pieceIndex;
  task->begin = begin;
  task->end = end;
  task->fileSize = fileSize;
  InitializeCriticalSectionAndSpinCount(&task->lock, 2000);
  task->doneCallback = done;
  task->progressCallback = progress;
  waitingTasks.push_back(task);
  return task;
}

void DownloadManager::RegisterPiece(DownloadTask* task) {
  std::unique_ptr<std::list<DownloadPiece>>& pieces = filePieces[task->localFile];
  if (!pieces) pieces.reset(new std::list<DownloadPiece>());
  pieces->push_back(DownloadPiece{task->pieceIndex, task->begin, task->end});
}

int32_t DownloadManager::RemovePiece(DownloadTask* task) {
  auto entry = filePieces.find(task->localFile);
  if (entry == filePieces.end() || !entry->second) return 0;
  std::list<DownloadPiece>& pieces = *entry->second;
  for (auto it = pieces.begin(); it != pieces.end(); ++it) {
    if (it->index == task->pieceIndex) {
      pieces.erase(it);
      break;
    }
  }
  return static_cast<int32_t>(pieces.size());
}

bool DownloadManager::IsActiveTask(DownloadTask* task) {
  if (!task) return false;
  base::CriticalSectionGuard guard(&lock);
  for (DownloadTask* active : activeTasks) {
    if (active == task) return true;
  }
  return false;
}

bool DownloadManager::ReadResumeFile(const std::string& localFile, const std::string& md5, int32_t fileSize,
                                     std::list<DownloadPiece>& pieces) {
  pieces.clear();
  std::string text;
  if (!ReadWholeFileA(ResumePath(localFile), text)) return false;
  Json::Value root;
  std::string error;
  if (!ParseJson(text, root, error)) return false;
  // The stored ranges decide which bytes are taken as already on disk, so they are used only
  // when each one is a piece of this file's layout, unfinished, and the data file is there.
  bool trusted = root.isObject() && root["md5"].isString() && root["md5"].asString() == md5 &&
                 root["infoList"].isArray() && FileExists(localFile);
  std::set<int32_t> seen;
  if (trusted) {
    for (const Json::Value& element : root["infoList"]) {
      DownloadPiece piece;
      if (!element.isObject() || !ReadPieceNumber(element, "index", piece.index) ||
          !ReadPieceNumber(element, "begin", piece.begin) || !ReadPieceNumber(element, "end", piece.end)) {
        trusted = false;
        break;
      }
      if (piece.end < piece.begin) continue;
      const bool fits = piece.index >= 0 && piece.index < PieceCount(fileSize) &&
                        piece.end == PieceLastByte(piece.index, fileSize) &&
                        piece.begin >= PieceFirstByte(piece.index) && seen.insert(piece.index).second;
      if (!fits) {
        trusted = false;
        break;
      }
      pieces.push_back(piece);
    }
  }
  if (trusted && !pieces.empty()) return true;
  pieces.clear();
  DeleteIfPresent(localFile);
  DeleteIfPresent(ResumePath(localFile));
  return false;
}

void DownloadManager::WriteResumeFile(const std::string& localFile, const std::string& md5,
                                      const std::list<DownloadPiece>& pieces) {
  WriteResume(localFile, md5, pieces, ResumeWrite::kChecked);
}

void DownloadManager::WriteResume(const std::string& localFile, const std::string& md5,
                                  const std::list<DownloadPiece>& pieces, ResumeWrite how) {
  if (unwrittenResumeFiles_.erase(localFile)) how = ResumeWrite::kFirst;
  Json::Value root(Json::objectValue);
  root["md5"] = md5;
  Json::Value list(Json::arrayValue);
  for (const DownloadPiece& piece : pieces) {
    Json::Value element(Json::objectValue);
    element["index"] = piece.index;
    element["begin"] = piece.begin;
    element["end"] = piece.end;
    list.append(element);
  }
  root["infoList"] = list;
  const std::string path = ResumePath(localFile);
  CreateFolderOf(path);
  // Written beside and moved into place, so an interruption never leaves a cut resume file. It is
  // not forced to the disk: after a power cut a lost or empty resume file only means that the
  // file is fetched again, and a forced write per file and second would slow every download. A
  // first resume file is written in place: cut, it cannot be read, and nothing is lost then.
  const bool replacing = how == ResumeWrite::kChecked && FileExists(path);
  const std::string target = replacing ? path + ".tmp" : path;
  const std::string text = SerializeJson(root);
  HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  const bool complete = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                        written == text.size();
  CloseHandle(file);
  if (!complete) {
    DeleteFileA(target.c_str());
  } else if (replacing && !MoveFileExA(target.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(target.c_str());
  }
}

bool DownloadManager::ResumeFileHasMd5(const std::string& localFile, const std::string& md5) {
  std::string text;
  if (!ReadWholeFileA(ResumePath(localFile), text)) return false;
  Json::Value root;
  std::string error;
  if (!ParseJson(text, root, error) || !root.isObject()) return false;
  return root["md5"].isString() && root["md5"].asString() == md5;
}

int64_t DownloadManager::SpeedLimitFor(DownloadMode forMode) const {
  // A copy under the core's lock: the UI thread may be applying new settings.
  const EnvConfig settings = DoreveziCore::GetInstance().GetEnvConfig();
  const bool limited = forMode == kDownloadModePreDownload ? settings.predlcLimit : settings.downloadLimit;
  const int32_t speed = forMode == kDownloadModePreDownload ? settings.predlcSpeed : settings.downloadSpeed;
  return limited ? int64_t(speed) * kSpeedLimitFactor : 0;
}

bool DownloadManager::StartTask(DownloadTask* task, std::string& error) {
  error.clear();
  try {
    const int64_t limit = SpeedLimitFor(mode);
    CreateFolderOf(task->localFile);
    FinishTask(task, 0, "prepare", false, false);
    task->filePosition = -1;
    task->file =
        CreateFileA(task->localFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (task->file == INVALID_HANDLE_VALUE) {
      char text[300];
      snprintf(text, sizeof(text), "open:(%s) failed,errno:%d", task->localFile.c_str(), int(GetLastError()));
      error = text;
      return false;
    }
    if (idleHandles.empty()) AddPooledHandles();
    if (idleHandles.empty()) throw std::runtime_error("no transfer handle");
    task->transfer = idleHandles.front();
    idleHandles.pop_front();
    std::string url = JoinUrl(activeUrls.at(task->baseIndex), task->urlPath);
    if (DoreveziCore::GetInstance().useWebExtraParam) url += "?t=" + std::to_string(pumpTick);
    const std::string range = std::to_string(task->begin) + "-" + std::to_string(task->end);
    CURL* transfer = task->transfer;
    curl_easy_setopt(transfer, CURLOPT_URL, url.c_str());
    curl_easy_setopt(transfer, CURLOPT_WRITEDATA, task);
    curl_easy_setopt(transfer, CURLOPT_XFERINFODATA, task);
    curl_easy_setopt(transfer, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(transfer, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(transfer, CURLOPT_RANGE, range.c_str());
    curl_easy_setopt(transfer, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(limit > 0 ? limit : 0));
    task->errorBuffer[0] = '\0';
    curl_easy_setopt(transfer, CURLOPT_ERRORBUFFER, task->errorBuffer);
    // Progress is recorded a second into the transfer, not on its first bytes after a wait in
    // the queue: most small files are complete by then and never rewrite their resume file.
    task->lastFlushTick = pumpTick;
    task->requestBegin = task->begin;
    task->replyAccepted = false;
    task->heldForReadAhead = false;
    task->replyError.clear();
    task->diskError.clear();
    if (curl_multi_add_handle(multiHandle.get(), transfer) != CURLM_OK) {
      throw std::runtime_error("curl_multi_add_handle failed");
    }
    return true;
  } catch (const std::exception& exception) {
    FinishTask(task, -1, "start task failed", false, false);
    error = exception.what();
    AppendTrace("start task failed:" + task->urlPath + ":" + error + "\n");
    return false;
  }
}

bool DownloadManager::AcceptReply(DownloadTask* task) {
  long status = 0;
  curl_easy_getinfo(task->transfer, CURLINFO_RESPONSE_CODE, &status);
  if (status == 206) {
    curl_header* header = nullptr;
    int64_t first = -1, last = -1;
    if (curl_easy_header(task->transfer, "Content-Range", 0, CURLH_HEADER, -1, &header) == CURLHE_OK &&
        header && ParseContentRange(header->value, first, last) && first == task->requestBegin) {
      return true;
    }
    task->replyError = "reply range " + std::string(header ? header->value : "(none)") + " is not bytes " +
                       std::to_string(task->requestBegin) + "-" + std::to_string(task->end);
    return false;
  }
  // A whole-file answer lines up with the piece only when the piece starts at the first byte.
  if (status == 200 && task->requestBegin == 0) return true;
  task->replyError =
      status == 200 ? "the server ignored the byte range" : "reply status " + std::to_string(status);
  return false;
}

size_t DownloadManager::OnWriteData(char* data, size_t size, size_t count, void* userData) {
  DownloadManager& manager = GetInstance();
  DownloadTask* task = static_cast<DownloadTask*>(userData);
  if (!manager.running || !task) return 0;
  if (!manager.IsActiveTask(task)) {
    manager.AppendTrace("non work task:" + std::to_string(reinterpret_cast<intptr_t>(task->file)) +
                        ":begin:" + std::to_string(task->begin) + ":end:" + std::to_string(task->end) + "\n");
    return 0;
  }
  // An error page or a reply for other bytes never reaches the file.
  if (!task->replyAccepted) {
    if (!manager.AcceptReply(task)) return 0;
    task->replyAccepted = true;
  }
  // Received bytes are gathered and written in blocks: each write costs far more than copying.
  const int64_t received = int64_t(task->begin) + int64_t(task->pending.size());
  int64_t n = int64_t(size) * int64_t(count);
  if (received + n > int64_t(task->end) + 1) n = int64_t(task->end) + 1 - received;
  if (n <= 0) return 0;
  if (task->pending.capacity() < kWriteBlockBytes) {
    if (!manager.spareBlocks_.empty()) {
      task->pending.swap(manager.spareBlocks_.back());
      manager.spareBlocks_.pop_back();
    }
    task->pending.reserve(kWriteBlockBytes + CURL_MAX_WRITE_SIZE);
  }
  task->pending.append(data, static_cast<size_t>(n));
  manager.receivedBytes_ += n;
  const bool pieceDone = received + n > task->end;
  const bool flushDue = PumpTicksBetween(task->lastFlushTick, manager.pumpTick) >= kFlushPeriodMs;
  if (task->pending.size() >= kWriteBlockBytes || pieceDone || flushDue) {
    if (!manager.WritePending(task)) return 0;
  }
  // The last piece of a file is checked, and its resume file deleted, as soon as it ends: recording
  // its end in the resume file first would only cost file calls.
  if (flushDue || (pieceDone && !manager.IsLastPiece(task))) {
    task->lastFlushTick = manager.pumpTick;
    FlushFileBuffers(task->file);
    manager.SaveTaskProgress(task);
  }
  // After each TLS record libcurl asks the socket whether more data waits (a Wine server round trip)
  // unless the transfer is paused. While records read ahead remain, it is held here and handed
  // back by the pump, which knows they are there.
  if (!pieceDone && !task->heldForReadAhead && HasReadAheadData(task->transfer)) {
    task->heldForReadAhead = true;
    curl_easy_pause(task->transfer, CURLPAUSE_RECV);
  }
  return static_cast<size_t>(n);
}

bool DownloadManager::WritePending(DownloadTask* task, ByteCount count) {
  if (task->pending.empty()) return true;
  const size_t n = task->pending.size();
  auto failure = [&](const char* what) {
    const DWORD error = GetLastError();
    AppendTrace(std::string(what) + task->urlPath + ":" + std::to_string(n) +
                ":begin:" + std::to_string(task->begin) + ":end:" + std::to_string(task->end) +
                ":errno:" + std::to_string(error) + "\n");
    char text[300];
    snprintf(text, sizeof(text), "write:(%s) failed,errno:%d", task->localFile.c_str(), int(error));
    task->diskError = text;
    // Only what reached the file counts; the transfer ends and reports the disk error.
    task->pending.clear();
    SaveTaskProgress(task);
    return false;
  };
  // Consecutive blocks of a piece follow each other: the file is positioned only when needed.
  if (task->filePosition != task->begin) {
    LARGE_INTEGER position;
    position.QuadPart = task->begin;
    task->filePosition = -1;
    if (!SetFilePointerEx(task->file, position, nullptr, FILE_BEGIN)) return failure("recv seek failed:");
    task->filePosition = task->begin;
  }
  DWORD written = 0;
  const BOOL wrote = WriteFile(task->file, task->pending.data(), static_cast<DWORD>(n), &written, nullptr);
  task->filePosition = wrote ? task->filePosition + written : -1;
  if (written > 0) {
    HashWritten(task, task->begin, task->pending.data(), written);
    task->begin += static_cast<int32_t>(written);
    task->pending.erase(0, written);
    if (count == ByteCount::kCounted) AddDoneBytes(written);
  }
  if (!wrote || written != n) return failure("recv write failed:");
  return true;
}

void DownloadManager::SaveTaskProgress(DownloadTask* task) {
  if (task->md5.empty()) return;
  base::CriticalSectionGuard guard(&task->lock);
  auto entry = filePieces.find(task->localFile);
  if (entry == filePieces.end() || !entry->second) return;
  for (DownloadPiece& piece : *entry->second) {
    if (piece.index == task->pieceIndex) {
      piece.begin = task->begin;
      piece.end = task->end;
    }
  }
  WriteResumeFile(task->localFile, task->md5, *entry->second);
}

int DownloadManager::OnTransferProgress(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  DownloadManager& manager = GetInstance();
  DownloadTask* task = static_cast<DownloadTask*>(userData);
  if (!task || !manager.IsActiveTask(task) || !task->progressCallback) return 0;
  curl_off_t speed = 0;
  if (curl_easy_getinfo(task->transfer, CURLINFO_SPEED_DOWNLOAD_T, &speed) != CURLE_OK) return 0;
  manager.lastProgressFile = task->localFile;
  task->progressCallback(task->user, static_cast<double>(speed));
  return 0;
}

void DownloadManager::OnTransferDone(CURLMsg* message) {
  CURL* handle = message->easy_handle;
  const CURLcode result = message->data.result;
  DownloadTask* task = nullptr;
  {
    base::CriticalSectionGuard guard(&lock);
    for (auto it = activeTasks.begin(); it != activeTasks.end(); ++it) {
      if ((*it)->transfer == handle) {
        task = *it;
        activeTasks.erase(it);
        break;
      }
    }
  }
  if (!task) {
    AppendTrace("handle task but not found:" +
                std::to_string(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle))) + "\n");
    return;
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  FinishTask(task, 0, "post", false, false);
  if (!task->diskError.empty()) {
    AppendTrace(task->urlPath + ":" + task->diskError + "\n");
    FinishTask(task, -3, task->diskError, running, true);
    return;
  }
  const bool failed = result != CURLE_OK || (status != 200 && status != 206);
  const bool complete = task->begin > task->end;
  auto retryOrFail = [&](int32_t code, const std::string& text) {
    if (AdvanceTry(task->tries, task->baseIndex)) {
      waitingTasks.push_back(task);
      return;
    }
    if (code == -3) AppendTrace(task->urlPath + ":" + text + "\n");
    FinishTask(task, code, text, running, true);
  };
  if (failed && !complete) {
    std::string text = std::to_string(int(result)) + "," + std::to_string(status);
    if (task->errorBuffer[0]) text += std::string(",") + task->errorBuffer;
    if (!task->replyError.empty()) text += "," + task->replyError;
    retryOrFail(-3, text);
    return;
  }
  const std::string incomplete =
      "incomplete:" + std::to_string(task->begin) + "-" + std::to_string(task->end);
  if (task->md5.empty()) {
    // Without a digest the byte count is the only check: a short transfer is not a file.
    if (!complete) {
      AppendTrace(task->urlPath + ":" + std::to_string(task->begin) + "<=" + std::to_string(task->end) +
                  "\n");
      retryOrFail(-1, incomplete);
      return;
    }
    RemovePiece(task);
    FinishTask(task, 0, "", running, true);
    return;
  }
  switch (CheckTaskFile(task)) {
    case 0:
      FinishTask(task, 0, "waiting", false, true);
      break;
    case 1:
      FinishTask(task, 0, "", running, true);
      break;
    case -2:
      RestartFile(task);
      break;
    default:
      retryOrFail(-1, incomplete);
      break;
  }
}

int32_t DownloadManager::CheckTaskFile(DownloadTask* task) {
  if (task->begin > task->end) {
    if (RemovePiece(task) > 0) return 0;
    std::string actual;
    if (FileMatchesDigest(task, actual)) return 1;
    AppendTrace(task->urlPath + ":" + task->md5 + "!=" + actual + "\n");
    return -2;
  }
  AppendTrace(task->urlPath + ":" + std::to_string(task->begin) + "<=" + std::to_string(task->end) + "\n");
  return -1;
}

bool DownloadManager::IsLastPiece(DownloadTask* task) const {
  auto entry = filePieces.find(task->localFile);
  return entry == filePieces.end() || !entry->second || entry->second->size() <= 1;
}

void DownloadManager::HashWritten(DownloadTask* task, int64_t offset, const char* data, size_t size) {
  if (task->md5.empty()) return;
  FileDigest& digest = fileDigests_[task->localFile];
  // What this piece wrote before the digest got to it is read back first; the file is then
  // positioned at `offset + size`, where the piece goes on.
  if (digest.bytes < offset && digest.bytes >= PieceFirstByte(task->pieceIndex)) {
    LARGE_INTEGER position;
    position.QuadPart = digest.bytes;
    if (!SetFilePointerEx(task->file, position, nullptr, FILE_BEGIN)) {
      task->filePosition = -1;
      return;
    }
    std::string& block = ReadBackBlock();
    while (digest.bytes < offset) {
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(offset - digest.bytes, block.size()));
      DWORD got = 0;
      if (!ReadFile(task->file, &block[0], want, &got, nullptr) || got != want) {
        task->filePosition = -1;
        return;
      }
      digest.context.Update(block.data(), got);
      digest.bytes += got;
    }
    position.QuadPart = offset + static_cast<int64_t>(size);
    task->filePosition = SetFilePointerEx(task->file, position, nullptr, FILE_BEGIN) ? position.QuadPart : -1;
  }
  if (digest.bytes != offset) return;
  digest.context.Update(data, size);
  digest.bytes += static_cast<int64_t>(size);
}

bool DownloadManager::FileMatchesDigest(DownloadTask* task, std::string& actual) {
  actual.clear();
  auto entry = fileDigests_.find(task->localFile);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  // A file of another size (say, the longer file of an earlier version) is hashed as it stands.
  const bool sized = GetFileAttributesExA(task->localFile.c_str(), GetFileExInfoStandard, &attributes) &&
                     ((int64_t(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow) == task->fileSize;
  if (entry == fileDigests_.end() || !sized) {
    fileDigests_.erase(task->localFile);
    int hashed = 0;
    return FileMd5Matches(task->localFile, task->md5, actual, hashed);
  }
  FileDigest digest = entry->second;
  fileDigests_.erase(entry);
  if (digest.bytes < task->fileSize) {
    HANDLE file = CreateFileA(task->localFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER position;
    position.QuadPart = digest.bytes;
    bool read = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
    std::string& block = ReadBackBlock();
    while (read && digest.bytes < task->fileSize) {
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(task->fileSize - digest.bytes, block.size()));
      DWORD got = 0;
      read = ReadFile(file, &block[0], want, &got, nullptr) && got == want;
      if (read) {
        digest.context.Update(block.data(), got);
        digest.bytes += got;
      }
    }
    CloseHandle(file);
    if (!read) return false;
  }
  digest.context.Finalize();
  actual = digest.context.HexDigest();
  return actual == task->md5;
}

std::string& DownloadManager::ReadBackBlock() {
  if (readBackBlock_.size() != kReadBackBytes) readBackBlock_.assign(kReadBackBytes, '\0');
  return readBackBlock_;
}

void DownloadManager::RestartFile(DownloadTask* task) {
  if (++task->tries >= triesPerUrl) {
    task->tries = 0;
    ++task->baseIndex;
  }
  if (task->baseIndex < 0 || static_cast<size_t>(task->baseIndex) >= activeUrls.size()) {
    FinishTask(task, -4, "check md5 error", running, true);
    return;
  }
  DeleteIfPresent(task->localFile);
  DeleteIfPresent(ResumePath(task->localFile));
  DownloadFile(task->urlPath, task->localFile, task->md5, task->fileSize, task->doneCallback,
               task->progressCallback, task->user, task->tries, task->baseIndex);
  AddDoneBytes(-int64_t(task->fileSize));
  FinishTask(task, 0, "replace", false, true);
}

void DownloadManager::FinishTask(DownloadTask* task, int32_t code, const std::string& message, bool notify,
                                 bool destroy) {
  if (task->file != INVALID_HANDLE_VALUE) {
    WritePending(task);
    CloseHandle(task->file);
    task->file = INVALID_HANDLE_VALUE;
  }
  if (task->transfer) {
    curl_multi_remove_handle(multiHandle.get(), task->transfer);
    idleHandles.push_back(task->transfer);
    task->transfer = nullptr;
  }
  if (notify && task->doneCallback) task->doneCallback(task->user, code, task->urlPath, message);
  if (code == 0 && message.empty() && !unwrittenResumeFiles_.erase(task->localFile)) {
    DeleteIfPresent(ResumePath(task->localFile));
  }
  if (destroy) DestroyTask(task);
}

void DownloadManager::DestroyTask(DownloadTask* task) {
  // The write block goes to the next task rather than back to the heap: one allocation per file
  // of a large set adds up.
  if (task->pending.capacity() >= kWriteBlockBytes && spareBlocks_.size() < size_t(kMaxActiveTransfers)) {
    task->pending.clear();
    spareBlocks_.push_back(std::move(task->pending));
  }
  DeleteCriticalSection(&task->lock);
  delete task;
}
