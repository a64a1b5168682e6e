#include "dorevezi/core/sys_info.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dorevezi/core/json_util.h"

namespace {

// Registry texts are read into buffers of this many bytes.
constexpr DWORD kRegistryBufferBytes = 260;

const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
const wchar_t kProcessorKey[] = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0\\";

std::wstring AbsolutePath(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  std::unique_ptr<wchar_t, decltype(&free)> full(_wfullpath(nullptr, path.c_str(), 0), &free);
  return full ? std::wstring(full.get()) : std::wstring();
}

std::string AbsolutePathA(const std::string& path) {
  if (path.empty()) return std::string();
  std::unique_ptr<char, decltype(&free)> full(_fullpath(nullptr, path.c_str(), 0), &free);
  return full ? std::string(full.get()) : std::string();
}

// A registry string as stored: `size` bytes, cut at the first zero, never read beyond them.
std::wstring WideRegistryText(const BYTE* buffer, DWORD size) {
  size_t units = size / sizeof(wchar_t);
  std::wstring text(reinterpret_cast<const wchar_t*>(buffer), units);
  std::wstring::size_type zero = text.find(L'\0');
  if (zero != std::wstring::npos) text.resize(zero);
  return text;
}

std::string NarrowRegistryText(const BYTE* buffer, DWORD size) {
  std::string text(reinterpret_cast<const char*>(buffer), size);
  std::string::size_type zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace

int FormatDuration(int seconds, wchar_t* buffer, int bufferChars) {
  if (!buffer || bufferChars <= 0) return -1;
  int hours = 0;
  if (seconds >= 3600) {
    hours = seconds / 3600;
    seconds %= 3600;
  }
  int minutes = 0;
  if (seconds >= 60) {
    minutes = seconds / 60;
    seconds %= 60;
  }
  int written = _snwprintf(buffer, bufferChars, L"%02d:%02d:%02d", hours, minutes, seconds);
  if (written < 0 || written >= bufferChars) {
    buffer[bufferChars - 1] = L'\0';
    return -1;
  }
  return written;
}

bool GetDiskSpaceA(const std::string& path, uint64_t& totalBytes, uint64_t& availableBytes) {
  std::string full = AbsolutePathA(path);
  std::string::size_type colon = full.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  ULARGE_INTEGER available, total;
  if (!GetDiskFreeSpaceExA(full.substr(0, colon + 1).c_str(), &available, &total, nullptr)) return false;
  totalBytes = total.QuadPart;
  availableBytes = available.QuadPart;
  return true;
}

bool GetDiskSpace(const std::wstring& path, uint64_t& totalBytes, uint64_t& availableBytes) {
  std::wstring full = AbsolutePath(path);
  std::wstring::size_type colon = full.find(L':');
  if (colon == std::wstring::npos || colon == 0) return false;
  ULARGE_INTEGER available, total;
  if (!GetDiskFreeSpaceExW(full.substr(0, colon + 1).c_str(), &available, &total, nullptr)) return false;
  totalBytes = total.QuadPart;
  availableBytes = available.QuadPart;
  return true;
}

std::wstring GetDrivePrefix(const std::wstring& path) {
  std::wstring full = AbsolutePath(path);
  std::wstring::size_type colon = full.find(L':');
  if (colon == std::wstring::npos || colon == 0) return std::wstring();
  return full.substr(0, colon);
}

int SetMachineRegistryString(const std::wstring& key, const std::wstring& fallbackKey,
                             const std::wstring& valueName, const std::wstring& value) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS ||
      (!fallbackKey.empty() &&
       RegOpenKeyExW(HKEY_LOCAL_MACHINE, fallbackKey.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS)) {
    // Read whole, whatever its length: a long path already stored is not written again.
    DWORD type = REG_NONE;
    DWORD size = 0;
    bool same = false;
    if (RegQueryValueExW(opened, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
      std::vector<BYTE> buffer(size);
      same = RegQueryValueExW(opened, valueName.c_str(), nullptr, &type, buffer.data(), &size) ==
                 ERROR_SUCCESS &&
             type == REG_SZ && WideRegistryText(buffer.data(), size) == value;
    }
    RegCloseKey(opened);
    if (same) return 0;
  }
  opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS &&
      (fallbackKey.empty() ||
       RegOpenKeyExW(HKEY_LOCAL_MACHINE, fallbackKey.c_str(), 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS)) {
    return -1;
  }
  DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  LONG result = RegSetValueExW(opened, valueName.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(opened);
  return result == ERROR_SUCCESS ? 1 : -1;
}

std::string ReadMachineRegistryString(const std::wstring& key, const std::string& valueName) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) !=
      ERROR_SUCCESS) {
    return std::string();
  }
  BYTE buffer[kRegistryBufferBytes] = {};
  DWORD size = sizeof(buffer);
  std::string text;
  if (RegQueryValueExA(opened, valueName.c_str(), nullptr, nullptr, buffer, &size) == ERROR_SUCCESS) {
    text = NarrowRegistryText(buffer, size < sizeof(buffer) ? size : sizeof(buffer));
  }
  RegCloseKey(opened);
  return text;
}

std::string ReadMachineRegistryNumber(const std::wstring& key, const std::string& valueName) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &opened) !=
      ERROR_SUCCESS) {
    return "0";
  }
  DWORD number = 0;
  DWORD size = sizeof(number);
  LONG result =
      RegQueryValueExA(opened, valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  RegCloseKey(opened);
  return result == ERROR_SUCCESS ? std::to_string(number) : std::string("0");
}

std::string GetOsVersionText() {
  return ReadMachineRegistryNumber(kCurrentVersionKey, "CurrentMajorVersionNumber") + "." +
         ReadMachineRegistryNumber(kCurrentVersionKey, "CurrentMinorVersionNumber") + "." +
         ReadMachineRegistryString(kCurrentVersionKey, "CurrentBuild");
}

std::string GetCpuName() {
  return ReadMachineRegistryString(kProcessorKey, "ProcessorNameString");
}

bool GetUtcDateTimeTexts(std::string& date, std::string& time) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char buffer[260];
  snprintf(buffer, sizeof(buffer), "%4d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
  date = buffer;
  snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
  time = buffer;
  return true;
}

bool ParseDecimalInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return false;
  }
  value = static_cast<int>(number);
  return true;
}

bool ParseVersionTriple(const std::string& version, int& first, int& second, int& third) {
  first = second = third = 0;
  std::vector<std::string> parts;
  if (SplitTextA(version, "_", parts) != 3) return false;
  int a = 0, b = 0, c = 0;
  if (!ParseDecimalInt(parts[0], a) || !ParseDecimalInt(parts[1], b) || !ParseDecimalInt(parts[2], c)) {
    return false;
  }
  first = a;
  second = c;
  third = b;
  return true;
}

char* ReadHandleToBuffer(HANDLE file, uint64_t byteCount, uint64_t* bytesRead) {
  char* buffer = nullptr;
  if (byteCount < SIZE_MAX) buffer = static_cast<char*>(malloc(static_cast<size_t>(byteCount) + 1));
  bool complete = buffer != nullptr;
  uint64_t done = 0;
  while (complete && done < byteCount) {
    uint64_t left = byteCount - done;
    DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file, buffer + done, chunk, &got, nullptr) || got == 0) complete = false;
    done += got;
  }
  CloseHandle(file);
  if (!complete) {
    free(buffer);
    return nullptr;
  }
  if (bytesRead) *bytesRead = byteCount;
  return buffer;
}
