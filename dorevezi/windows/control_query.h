#pragma once

// The control query: a registered window message that every launcher window answers with the
// screen rectangle and state of one of its controls, so that scripts and tests can click a
// control where a player would see it. wParam is a global atom whose name is the control's
// name (exact, as the window registered it); the answer packs:
//   bits 0-14 left, 15-29 top, 30-44 right, 45-59 bottom: signed 15-bit screen coordinates
//   (clamped to -16384..16383), bit 60 visible, bit 61 enabled, bit 62 found.
// 0 means no such control (or no readable atom); the found bit keeps a control at (0,0,0,0),
// hidden and disabled, apart from that.

#include <windows.h>

#include <cstdint>
#include <string>

namespace ui {
class Control;
class Window;
}  // namespace ui

constexpr wchar_t kControlQueryName[] = L"DoreveziControlQuery";

constexpr int kControlQueryFieldBits = 15;
constexpr uint64_t kControlQueryFieldMask = (uint64_t{1} << kControlQueryFieldBits) - 1;
constexpr int kControlQueryVisibleBit = 60;
constexpr int kControlQueryEnabledBit = 61;
constexpr int kControlQueryFoundBit = 62;
constexpr int kControlQueryMin = -(1 << (kControlQueryFieldBits - 1));
constexpr int kControlQueryMax = (1 << (kControlQueryFieldBits - 1)) - 1;

// A decoded answer.
struct ControlQueryAnswer {
  bool found = false;
  bool visible = false;
  bool enabled = false;
  RECT rect = {0, 0, 0, 0};  // screen coordinates

  POINT Centre() const { return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }
};

inline uint64_t PackControlQueryField(long value, int index) {
  if (value < kControlQueryMin) value = kControlQueryMin;
  if (value > kControlQueryMax) value = kControlQueryMax;
  return (static_cast<uint64_t>(value) & kControlQueryFieldMask) << (index * kControlQueryFieldBits);
}

inline long UnpackControlQueryField(uint64_t packed, int index) {
  const long raw = static_cast<long>((packed >> (index * kControlQueryFieldBits)) & kControlQueryFieldMask);
  return raw > kControlQueryMax ? raw - (1L << kControlQueryFieldBits) : raw;
}

inline uint64_t PackControlQuery(const RECT& rect, bool visible, bool enabled) {
  return PackControlQueryField(rect.left, 0) | PackControlQueryField(rect.top, 1) |
         PackControlQueryField(rect.right, 2) | PackControlQueryField(rect.bottom, 3) |
         (uint64_t{visible} << kControlQueryVisibleBit) | (uint64_t{enabled} << kControlQueryEnabledBit) |
         (uint64_t{1} << kControlQueryFoundBit);
}

inline ControlQueryAnswer DecodeControlQuery(LRESULT result) {
  const uint64_t packed = static_cast<uint64_t>(result);
  ControlQueryAnswer answer;
  if (!(packed >> kControlQueryFoundBit & 1)) return answer;
  answer.found = true;
  answer.visible = (packed >> kControlQueryVisibleBit & 1) != 0;
  answer.enabled = (packed >> kControlQueryEnabledBit & 1) != 0;
  answer.rect = RECT{UnpackControlQueryField(packed, 0), UnpackControlQueryField(packed, 1),
                     UnpackControlQueryField(packed, 2), UnpackControlQueryField(packed, 3)};
  return answer;
}

// The registered message number (the same in every process).
UINT ControlQueryMessage();

// The window's answer for the atom in wParam: what RouteMessage returns for the query.
LRESULT AnswerControlQuery(ui::Window& window, WPARAM atom);
// The packed answer for one control of the window, where it is drawn on the screen.
LRESULT DescribeControl(ui::Window& window, ui::Control* control);

// Asks the window (of any process) about the named control; waits for the answer.
ControlQueryAnswer QueryControl(HWND window, const std::wstring& name);
