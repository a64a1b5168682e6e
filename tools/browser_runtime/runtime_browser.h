#pragma once

// A browser as the runtime keeps it, in the browser process and (its own side) in the render
// process.

#include <windows.h>

#include <atomic>
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

#include "browser/cef/cef_runtime_abi.h"

struct cef_runtime_browser {
  std::atomic<int> refs{1};  // the runtime's own, given back when the browser has closed
  int id = 0;
  cef_runtime_client* client = nullptr;
  HANDLE renderProcess = nullptr;
  HANDLE wait = nullptr;
  bool closed = false;
  // The frame channel to the render process (UI thread, but for the reader).
  std::wstring channel;
  HANDLE down = INVALID_HANDLE_VALUE;
  HANDLE up = INVALID_HANDLE_VALUE;
  HANDLE reader = nullptr;
  bool connected = false;
  // Set by the caller's thread as it asks, so no frame reaches the client once WasHidden returns.
  std::atomic<bool> hidden{false};
  uint32_t sequence = 0;
  HANDLE frameBuffer = nullptr;
  int frameWidth = 0, frameHeight = 0;
  // Writes to the channel, and `connected` with the messages waiting for it, under this lock:
  // process messages are sent from any thread.
  CRITICAL_SECTION writeLock;
  std::vector<std::vector<char>> pendingMessages;
  // The main document to show once the render process is there (the latest load's only).
  std::vector<char> pendingDocument;
  unsigned pendingDocumentSerial = 0;
  // A load whose document the render process shows: it ends once the page has its resources.
  unsigned pendingEndSerial = 0;
  int pendingEndStatus = 0;
  // Counts render processes, so that answers meant for an ended one reach no later one.
  unsigned renderGeneration = 0;
  // The load in progress: a newer one makes the results of older ones stale.
  unsigned loadSerial = 0;
  // The render process's own view of its browser: it writes `up` only.
  bool inRenderer = false;

  cef_runtime_browser() { InitializeCriticalSection(&writeLock); }
  ~cef_runtime_browser() { DeleteCriticalSection(&writeLock); }
};

// The program's later answer to a resource load.
struct cef_runtime_request_callback {
  std::atomic<int> refs{1};
  std::atomic<bool> answered{false};
  std::function<void(bool)> answer;
};
