#pragma once

// A fresh folder under the system's temporary folder, removed with everything in it
// when the owner goes out of scope.

#include <windows.h>

#include <atomic>
#include <string>

namespace test_support {

class TempDir {
 public:
  TempDir() {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, base);
    std::wstring root(base, length);
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    for (;;) {
      path_ = root + L"\\dvtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount());
      if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Without a trailing separator.
  const std::wstring& Path() const { return path_; }
  std::string PathA() const {
    std::string narrow;
    for (wchar_t c : path_) narrow += static_cast<char>(c);
    return narrow;
  }

  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = dir + L"\\" + name;
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(child);
        } else {
          DeleteFileW(child.c_str());
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(dir.c_str());
  }

 private:
  std::wstring path_;
};

}  // namespace test_support
