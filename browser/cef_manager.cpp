#include "browser/cef_manager.h"

#include <windows.h>

#include "base/base_util.h"

namespace components {

namespace {

constexpr DWORD kPathBufferChars = 4096;

}  // namespace

CefManager& CefManager::Instance() {
  static CefManager manager;
  return manager;
}

bool CefManager::PrepareCefEnvironment() {
  const std::wstring cefFolder = base::OwnModuleDirectory() + L"cef";
  DWORD attributes = GetFileAttributesW(cefFolder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  // A long PATH is kept whole, not cut to a fixed buffer.
  std::wstring oldPath(kPathBufferChars, L'\0');
  DWORD length = GetEnvironmentVariableW(L"PATH", &oldPath[0], kPathBufferChars);
  if (length >= kPathBufferChars) {
    oldPath.assign(length, L'\0');
    length = GetEnvironmentVariableW(L"PATH", &oldPath[0], length);
  }
  oldPath.resize(length < oldPath.size() ? length : 0);
  const std::wstring path = cefFolder + L";" + oldPath;
  SetEnvironmentVariableW(L"PATH", path.c_str());
  SetEnvironmentVariableW(L"ComSpec", (cefFolder + L"\\dummy_cmd.exe").c_str());
  return true;
}

bool CefManager::Initialize(const std::wstring& dataFolder, BrowserSettings& settings) {
  base::CreateDirectoryTree(dataFolder.c_str());
  settings.cachePath = dataFolder + L"CefLocalStorage";
  settings.logFile = dataFolder + L"cef.log";
  // No browser runtime is linked in.
  initialized_ = false;
  return initialized_;
}

void CefManager::ShutdownRuntime() {}

}  // namespace components
