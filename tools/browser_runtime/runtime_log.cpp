#include "tools/browser_runtime/runtime_log.h"

#include <windows.h>

#include <cstdio>

namespace runtime {

namespace {
SRWLOCK g_lock = SRWLOCK_INIT;
std::wstring g_path;
}  // namespace

void SetLogFile(const std::wstring& path) {
  AcquireSRWLockExclusive(&g_lock);
  g_path = path;
  ReleaseSRWLockExclusive(&g_lock);
}

void Log(const char* level, const std::wstring& text) {
  AcquireSRWLockExclusive(&g_lock);
  if (!g_path.empty()) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char head[96];
    snprintf(head, sizeof(head), "[%lu:%lu:%02u%02u/%02u%02u%02u.%03u:%s] ", GetCurrentProcessId(),
             GetCurrentThreadId(), now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
             now.wMilliseconds, level);
    std::string line = head;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string body(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &body[0], bytes, nullptr, nullptr);
    line += body + "\r\n";
    // Opened for each line: render processes write to the same file.
    HANDLE file = CreateFileW(g_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(file);
    }
  }
  ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace runtime
