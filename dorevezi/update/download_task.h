#pragma once

// One piece download of a file and the unfinished ranges of a file, as the download manager
// keeps them while a file is fetched in byte ranges. Everything here lives on the worker thread.

#include <windows.h>

#include <curl/curl.h>

#include <cstdint>
#include <string>

// Result of a file download: 0 success, -1 no base address or a piece left incomplete, -2 a
// piece could not be started, -3 the transfer failed, -4 the whole file failed its MD5 check.
using DownloadDoneCallback = void (*)(int32_t user, int32_t code, const std::string& urlPath,
                                      const std::string& message);
// Download speed of one transfer, in bytes per second.
using DownloadProgressCallback = void (*)(int32_t user, double bytesPerSecond);

// Files are fetched in pieces of at most this many bytes.
constexpr int32_t kPieceSize = 33554432;

// One unfinished range of a file: `begin` is the next byte to fetch, `end` the last one.
struct DownloadPiece {
  int32_t index = 0;
  int32_t begin = 0;
  int32_t end = 0;
};

struct DownloadTask {
  std::string urlPath;    // relative to a base address
  std::string localFile;  // 8-bit path, usually relative to the launcher folder
  std::string md5;        // of the whole file; empty: no check and no resume file
  CURL* transfer = nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  int32_t tries = 0;      // failed tries on the current base address
  int32_t baseIndex = 0;  // index into the manager's active base addresses
  int32_t user = 0;
  uint32_t lastFlushTick = 0;  // last flush of the file and rewrite of its resume file
  int32_t pieceIndex = 0;
  int32_t begin = 0;  // advances as bytes are written; the piece is complete once begin > end
  int32_t end = 0;
  int32_t fileSize = 0;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  CRITICAL_SECTION lock;  // guards the piece update together with the resume-file rewrite
  DownloadDoneCallback doneCallback = nullptr;
  DownloadProgressCallback progressCallback = nullptr;

  // The running transfer: the first byte it asked for, whether its reply has been accepted, and
  // why its data was refused (a reply that does not fit the range, or a failed disk write).
  int32_t requestBegin = 0;
  int64_t filePosition = -1;  // where the open file stands, -1 when not known
  // Received bytes not yet written: they follow `begin` and go to the file in blocks.
  std::string pending;
  bool replyAccepted = false;
  // Paused by the write callback while its TLS layer holds records already read (see the pump).
  bool heldForReadAhead = false;
  std::string replyError;
  std::string diskError;
};
