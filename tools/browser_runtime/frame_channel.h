#pragma once

// The channel between the browser process and one render process: two message pipes (one a
// direction, so that a pending read never blocks a write) and a shared frame buffer a size.

#include <windows.h>

#include <cstdint>
#include <string>

namespace runtime {

enum FrameMessageKind : uint32_t {
  kPaintRequest = 1,  // browser -> renderer: paint a frame of width x height into buffer `sequence`
  kFrameReady = 2,    // renderer -> browser: that buffer holds the frame
};

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

// The render process: answers paint requests until the browser process closes the channel.
int RunRenderer(const std::wstring& base);

}  // namespace runtime
