#include "base/base_util.h"

namespace base {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsUncPath(const wchar_t* path) { return IsSeparator(path[0]) && IsSeparator(path[1]); }

}  // namespace

std::wstring ModuleFileName(HMODULE module) {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

std::wstring OwnModuleDirectory() {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(reinterpret_cast<const void*>(&OwnModuleDirectory), &info, sizeof(info));
  std::wstring dir;
  if (!ExtractDirectory(ModuleFileName(static_cast<HMODULE>(info.AllocationBase)), dir)) dir = L".\\";
  return dir;
}

bool ExtractDirectory(const std::wstring& path, std::wstring& dir) {
  if (path.size() < 2) return false;
  for (size_t i = path.size() - 1; i >= 1; --i) {
    if (IsSeparator(path[i])) {
      dir = path.substr(0, i + 1);
      return true;
    }
  }
  return false;
}

bool SplitPathComponents(const wchar_t* path, std::list<std::wstring>& parts) {
  parts.clear();
  if (!path) return false;
  const wchar_t* p = path;
  if (IsUncPath(p)) {
    // A network path's leading pair is one token, so rejoining the parts gives it back.
    parts.push_back(L"\\\\");
    while (IsSeparator(*p)) ++p;
  }
  while (*p) {
    const wchar_t* start = p;
    while (*p && !IsSeparator(*p)) ++p;
    std::wstring part(start, p);
    if (IsSeparator(*p)) {
      part += L'\\';
      while (IsSeparator(*p)) ++p;
    }
    parts.push_back(part);
  }
  return true;
}

bool CreateDirectoryTree(const wchar_t* path) {
  if (!path) return false;
  if (IsDirectory(path)) return true;
  std::list<std::wstring> parts;
  if (!SplitPathComponents(path, parts) || parts.empty()) return false;
  // \\server\ and \\server\share\ can't be created; the walk starts below the share.
  size_t fixedParts = IsUncPath(path) ? 3 : 0;
  std::wstring prefix;
  size_t index = 0;
  for (const std::wstring& part : parts) {
    prefix += part;
    if (++index < fixedParts) continue;
    if (IsDirectory(prefix)) continue;
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (!IsDirectory(prefix)) return false;
  }
  return true;
}

}  // namespace base
