#pragma once

// The channel between the browser process and one render process: two message pipes (one a
// direction, so that a pending read never blocks a write) and a shared frame buffer a size.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "browser/cef/cef_runtime_abi.h"

namespace runtime {

enum FrameMessageKind : uint32_t {
  kPaintRequest = 1,  // browser -> renderer: paint a frame of width x height into buffer `sequence`
  kFrameReady = 2,    // renderer -> browser: that buffer holds the frame
  kProcessMessage = 3,  // either way: `width` bytes of an encoded process message follow
  kLoadDocument = 4,    // browser -> renderer: `width` bytes of a fetched main document of load `sequence` follow
  kMouseButton = 5,     // browser -> renderer: at (width, height); sequence = button | up << 4
  kMouseMove = 6,       // browser -> renderer: at (width, height); sequence = 1 when the mouse left
  kNavigate = 7,        // renderer -> browser: `width` bytes follow: a followed link's URL, 0, target
  kCursor = 8,          // renderer -> browser: the pointer's shape is `width` (a cursor type)
  kTitle = 9,           // renderer -> browser: `width` bytes of the page's title follow
  kAddress = 10,        // renderer -> browser: `width` bytes of the new address follow (no load)
  kResourceRequest = 11,   // renderer -> browser: fetch the `width` bytes of URL that follow, as `sequence`
  kResourceResponse = 12,  // browser -> renderer: `width` bytes of fetch `sequence`'s encoded answer follow
  kMouseWheel = 13,        // browser -> renderer: wheel deltas (width, height) at the last mouse position
  kKey = 14,               // browser -> renderer: key event type `width`, key code `height`, character `sequence`
  kFocus = 15,             // browser -> renderer: the view has (width 1) or lost (0) the focus
  kLoadDone = 16,          // renderer -> browser: the page of load `sequence` is complete, resources and all
  kConsole = 17,           // renderer -> browser: `width` bytes of the page's console output follow
  kContextMenu = 18,       // renderer -> browser: `width` bytes follow: "X Y link", 0, the page's URL
  kDialog = 19,            // renderer -> browser: `width` bytes follow: type digit, page URL, 0, message, 0, default
  kDialogAnswer = 20,      // browser -> renderer: `width` bytes follow: "1" or "0", then the prompt's text
};

// Whether `width` bytes follow a message of this kind.
inline bool HasPayload(uint32_t kind) {
  return kind == kProcessMessage || kind == kLoadDocument || kind == kNavigate || kind == kTitle || kind == kAddress ||
         kind == kResourceRequest || kind == kResourceResponse || kind == kConsole ||
         kind == kContextMenu || kind == kDialog || kind == kDialogAnswer;
}

// The largest process message carried.
constexpr int32_t kMaxProcessMessageBytes = 64 << 20;

struct FrameMessage {
  uint32_t kind;
  int32_t width;
  int32_t height;
  uint32_t sequence;
};

// "<base>-down" (to the renderer) and "<base>-up" (to the browser).
std::wstring ChannelBase(DWORD browserPid, int browserId);
std::wstring PipeName(const std::wstring& base, const wchar_t* direction);
std::wstring FrameBufferName(const std::wstring& base, uint32_t sequence);

bool WriteMessage(HANDLE pipe, const FrameMessage& message);
bool ReadMessage(HANDLE pipe, FrameMessage* message);

// A process message: its header, then its bytes, as one unit (the caller holds the write lock).
bool WriteProcessMessage(HANDLE pipe, const void* data, size_t size);
bool WritePayload(HANDLE pipe, FrameMessageKind kind, const void* data, size_t size, uint32_t sequence = 0);
bool ReadPayload(HANDLE pipe, int32_t size, std::vector<char>* payload);

// A main document or a resource for the render process: its address, status, header lines and
// body; a failed fetch as its (negative) error code and error text in place of status and headers.
std::vector<char> EncodeDocument(const std::string& url, int status, const std::string& headers, const std::string& body);
bool DecodeDocument(const std::vector<char>& payload, std::string* url, int* status, std::string* headers, std::string* body);

// The render process of browser `browserId`: lays out and paints the pages the browser process
// loads, answers paint requests and hands process messages to the application, until the
// browser process closes the channel.
int RunRenderer(const std::wstring& base, int browserId, cef_runtime_app* app);

}  // namespace runtime
