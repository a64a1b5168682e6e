#pragma once

// The runtime's process-wide state, shared by the files that implement ui::UiRuntime.

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/resources/runtime_links.h"
#include "ui/resources/ui_runtime.h"

namespace Gdiplus {
class GpFontFamily;
}

namespace ui {

struct RuntimeState {
  RuntimeState();
  ~RuntimeState();

  RenderFactory_GdiPlus* renderFactory = nullptr;
  std::wstring resourceRoot;
  SRWLOCK languageLock = SRWLOCK_INIT;
  std::wstring language;
  std::wstring channel;
  std::wstring defaultTextColor;
  std::wstring defaultDisabledTextColor;
  // System regular, bold, italic, then button regular, bold, italic.
  std::wstring faces[6];
  bool faceUsable[6] = {};
  std::wstring defaultFontId;
  std::map<std::wstring, FontRecord*> fonts;
  std::map<std::wstring, ArgbColor> colors;
  std::map<std::wstring, std::wstring> classes;
  std::map<std::wstring, std::weak_ptr<ImageInfo>, ImageCacheKeyLess> images;
  CustomControlFactory customControlFactory;
  std::vector<Window*> windows;
  ZipArchive* resourceZip = nullptr;
  unsigned lastZipError = 0;
  HDC memoryDC = nullptr;
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GpFontFamily* sansSerif = nullptr;
};

RuntimeState& GetRuntimeState();

}  // namespace ui
