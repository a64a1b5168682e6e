#pragma once

// Small file helpers for the core's tests: raw file bytes, folder listings and a scoped
// current directory (the core resolves its fixed folders against it).

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace core_test {

inline std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c);
  return narrow;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// Sorted names of the entries of a folder (without "." and "..").
inline std::vector<std::wstring> ListFolder(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// A file of the source tree (DV_SOURCE_DIR is a Unix path; Wine shows it on drive Z:).
inline std::wstring SourceFile(const std::wstring& relative) {
  const wchar_t* root = _wgetenv(L"DV_SOURCE_DIR");
  std::wstring path = root ? root : L".";
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  path += L"/" + relative;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::wstring& folder) {
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    previous_ = previous;
    SetCurrentDirectoryW(folder.c_str());
  }
  ~ScopedCurrentDirectory() { SetCurrentDirectoryW(previous_.c_str()); }
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::wstring previous_;
};

}  // namespace core_test
