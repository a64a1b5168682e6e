#pragma once

// Paths of the running module, folder trees, and scoped owners of locks and handles.

#include <windows.h>

#include <list>
#include <string>

namespace base {

// GetModuleFileNameW into a buffer of MAX_PATH characters (a longer path comes back cut).
std::wstring ModuleFileName(HMODULE module);
// Folder of the module holding this code, always ending with a separator (".\" when unknown).
std::wstring OwnModuleDirectory();
// The folder part of `path` with its trailing separator; false when `path` has none after
// its first character.
bool ExtractDirectory(const std::wstring& path, std::wstring& dir);
// Cuts a path at every run of separators; each part but the last ends with one '\'.
// A UNC path (\\server\share\...) keeps its double backslash as its first part.
bool SplitPathComponents(const wchar_t* path, std::list<std::wstring>& parts);
// Creates every missing folder of `path`; true when all of them are folders afterwards.
bool CreateDirectoryTree(const wchar_t* path);

// Holds a critical section entered for its lifetime.
class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CRITICAL_SECTION* section) : section_(section) {
    if (section_) EnterCriticalSection(section_);
  }
  ~CriticalSectionGuard() {
    if (section_) LeaveCriticalSection(section_);
  }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CRITICAL_SECTION* section_;
};

// Owns a Win32 handle whose empty value is EmptyValue(), closing it when done.
template <HANDLE (*EmptyValue)()>
class ScopedHandle {
 public:
  ScopedHandle() : handle_(EmptyValue()) {}
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool IsValid() const { return handle_ != EmptyValue(); }
  // Closes the held handle and takes `handle` instead.
  void Reset(HANDLE handle = EmptyValue()) {
    Close();
    handle_ = handle;
  }
  // Gives up ownership without closing.
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = EmptyValue();
    return handle;
  }

 private:
  void Close() {
    if (handle_ != EmptyValue()) CloseHandle(handle_);
    handle_ = EmptyValue();
  }
  HANDLE handle_;
};

inline HANDLE NullHandleValue() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Events and threads: empty is null.
using OwnedHandle = ScopedHandle<NullHandleValue>;
// Files and completion ports: empty is INVALID_HANDLE_VALUE.
using OwnedFileHandle = ScopedHandle<InvalidHandleValue>;

}  // namespace base
