#include "ui/core/dpi_scale.h"

#include <windows.h>

namespace ui {

DpiScale& DpiScale::Instance() {
  static DpiScale instance;
  return instance;
}

int32_t DpiScale::ScaleValue(int32_t value) const {
  if (!adapt_ || scale_ == 100) return value;
  return MulDiv(value, scale_, 100);
}

void DpiScale::ScaleRect(Rect& rect) const {
  if (!adapt_ || scale_ == 100) return;
  const int32_t width = ScaleValue(rect.right - rect.left);
  const int32_t height = ScaleValue(rect.bottom - rect.top);
  rect.left = ScaleValue(rect.left);
  rect.top = ScaleValue(rect.top);
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
}

bool IsWindowsVersionAtLeast6(uint16_t minor) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = 6;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = 0;
  DWORDLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

}  // namespace ui
