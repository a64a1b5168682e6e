#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/core/geometry.h"

namespace ui {

class Control;

// Event numbers; the skin markup's event names map onto the same values.
enum EventType : int32_t {
  kEventRawDoubleClick = 0,
  kEventRawMenu = 1,
  kEventRawSetFocus = 2,
  kEventRawKillFocus = 3,
  kEventUnknown = 4,
  kEventAll = 6,
  kEventKeyDown = 8,
  kEventKeyUp = 9,
  kEventChar = 10,
  kEventSysKey = 11,
  kEventMouseMove = 14,
  kEventMouseEnter = 15,
  kEventMouseLeave = 16,
  kEventMouseHover = 17,
  kEventButtonDown = 18,
  kEventButtonUp = 19,
  kEventRButtonDown = 20,
  kEventRButtonUp = 21,
  kEventDoubleClick = 22,
  kEventMenu = 23,
  kEventScrollWheel = 24,
  kEventTouchDown = 27,
  kEventTouchMove = 28,
  kEventTouchUp = 29,
  kEventPointerDown = 32,
  kEventPointerUpdate = 33,
  kEventPointerUp = 34,
  kEventSetFocus = 36,
  kEventKillFocus = 37,
  kEventWindowResized = 38,
  kEventWindowClose = 39,
  kEventSetCursor = 40,
  kEventClick = 41,
  kEventSelect = 42,
  kEventUnselect = 43,
  kEventTextChange = 44,
  kEventReturn = 45,
  kEventTab = 46,
  kEventTextRangeClick = 47,
  kEventImeStartComposition = 48,
  kEventImeEndComposition = 49,
  kEventScrollChange = 50,
  kEventValueChange = 51,
  kEventResized = 52,
};

// Events from the mouse, kEventMouseMove to kEventScrollWheel.
inline bool IsMouseEvent(EventType type) { return type >= kEventMouseMove && type <= kEventScrollWheel; }

// The record every handler receives.
struct EventArgs {
  EventType type = kEventUnknown;
  Control* sender = nullptr;
  uint32_t timestamp = 0;
  Point mousePoint;
  wchar_t keyChar = 0;
  uint64_t wParam = 0;
  uint64_t lParam = 0;
  float pressure = 0.0f;
};

// A handler returns false to stop the handlers and the default handling after it.
using EventHandler = std::function<bool(EventArgs*)>;
using EventHandlerList = std::vector<EventHandler>;

}  // namespace ui
