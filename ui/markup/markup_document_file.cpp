// Reading a markup file: the Windows half of the markup reader (file access and the UTF-8
// conversion); the parse itself is in markup_document.cpp.

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <string>

#include "ui/markup/markup_document.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

// A relative path names a file below the skin's resource path.
std::wstring ResolveMarkupPath(const wchar_t* path) {
  return PathIsRelativeW(path) ? UiRuntime::GetResourceRoot() + path : std::wstring(path);
}

struct FileCloser {
  HANDLE file;
  ~FileCloser() { CloseHandle(file); }
};

}  // namespace

bool MarkupDocument::LoadFromFile(const wchar_t* path) {
  Release();
  const std::wstring fullPath = ResolveMarkupPath(path != nullptr ? path : L"");
  HANDLE file = CreateFileW(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(L"Error opening file", nullptr);
  FileCloser closer{file};

  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return Fail(L"Could not read file", nullptr);
  if (size.QuadPart == 0) return Fail(L"File is empty", nullptr);
  if (size.QuadPart > kMaxMarkupFileBytes) return Fail(L"File too large", nullptr);

  const DWORD byteCount = static_cast<DWORD>(size.QuadPart);
  char* bytes = static_cast<char*>(std::malloc(byteCount));
  if (bytes == nullptr) return Fail(L"Out of memory", nullptr);
  DWORD read = 0;
  if (!ReadFile(file, bytes, byteCount, &read, nullptr) || read < byteCount) {
    std::free(bytes);
    return Fail(L"Could not read file", nullptr);
  }

  const char* utf8 = bytes;
  int utf8Length = static_cast<int>(byteCount);
  if (byteCount > 2 && static_cast<unsigned char>(bytes[0]) == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBB &&
      static_cast<unsigned char>(bytes[2]) == 0xBF) {
    utf8 += 3;
    utf8Length -= 3;
  }
  const int wideLength = utf8Length > 0 ? MultiByteToWideChar(CP_UTF8, 0, utf8, utf8Length, nullptr, 0) : 0;
  wchar_t* text = static_cast<wchar_t*>(std::malloc((size_t(wideLength) + 1) * sizeof(wchar_t)));
  if (text == nullptr) {
    std::free(bytes);
    return Fail(L"Out of memory", nullptr);
  }
  if (wideLength > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, utf8Length, text, wideLength);
  text[wideLength] = 0;
  std::free(bytes);
  return AdoptAndParse(text, size_t(wideLength));
}

}  // namespace ui
