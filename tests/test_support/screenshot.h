#pragma once

// Where tests put their screenshots, and the PNG encoder they write them with.

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/render/gdiplus_api.h"

namespace test_support {

// The PNG encoder's class id, from the installed encoders.
inline bool PngEncoder(CLSID* clsid) {
  UINT count = 0, size = 0;
  Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &size);
  std::vector<BYTE> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (!size || Gdiplus::DllExports::GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(codecs[i].MimeType) == L"image/png") {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// The full path of a screenshot file: in the build's "screenshots" folder (ctest names the build
// folder, a Unix path reached through Wine's Z: drive), else in the temporary folder. The folder
// is made when missing.
inline std::wstring ScreenshotPath(const std::wstring& fileName) {
  std::wstring folder;
  if (const char* binary = std::getenv("DV_BINARY_DIR")) {
    const std::string unixPath(binary);
    folder = L"Z:" + std::wstring(unixPath.begin(), unixPath.end()) + L"/screenshots";
  } else {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"dorevezi-screenshots";
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW((folder + L"/" + fileName).c_str(), MAX_PATH, full, nullptr);
  return full;
}

}  // namespace test_support
