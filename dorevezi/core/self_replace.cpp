#include "dorevezi/core/self_replace.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "base/base_util.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/resource_fonts.h"

namespace {

constexpr size_t kCommandChars = 260;
constexpr wchar_t kLauncherFileName[] = L"dorevezi.exe";
constexpr wchar_t kReplaceHelperFileName[] = L"dorevezi_temp.exe";
constexpr DWORD kReplaceRetryStepMs = 200;

std::atomic<bool> g_replaceHelperStarted{false};

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::wstring(buffer, length);
}

DWORD ParentProcessId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent;
}

ULONGLONG CreationTime(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The launcher of this folder that started this run, when it still runs; null otherwise (a run
// started by hand, or a parent that already ended and whose id may have been reused).
HANDLE OpenOldLauncher() {
  DWORD parentId = ParentProcessId();
  if (parentId == 0) return nullptr;
  HANDLE parent = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId);
  if (!parent) return nullptr;
  wchar_t image[MAX_PATH];
  DWORD length = MAX_PATH;
  bool isLauncher = QueryFullProcessImageNameW(parent, 0, image, &length) &&
                    _wcsicmp(image, FullPath(std::wstring(L".\\") + kLauncherFileName).c_str()) == 0 &&
                    CreationTime(parent) <= CreationTime(GetCurrentProcess());
  if (!isLauncher) {
    CloseHandle(parent);
    return nullptr;
  }
  return parent;
}

// The old launcher must have released its files before they are replaced.
void WaitForOldLauncher() {
  HANDLE launcher = OpenOldLauncher();
  if (!launcher) {
    Sleep(kOldLauncherGraceMs);
    return;
  }
  WaitForSingleObject(launcher, kOldLauncherExitTimeoutMs);
  CloseHandle(launcher);
}

bool IsLockError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_USER_MAPPED_FILE;
}

}  // namespace

bool ReplaceFileWithRetry(const std::wstring& source, const std::wstring& destination, DWORD retryMs) {
  const std::wstring staging = destination + L".replacing";
  if (!CopyFileW(source.c_str(), staging.c_str(), FALSE)) {
    DeleteFileW(staging.c_str());
    return false;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    if (MoveFileExW(staging.c_str(), destination.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    DWORD error = GetLastError();
    if (!IsLockError(error) || GetTickCount() - start >= retryMs) break;
    Sleep(kReplaceRetryStepMs);
  }
  DeleteFileW(staging.c_str());
  return false;
}

void StartReplaceHelper(const std::wstring& runAfter, bool replaceDorevezi) {
  if (g_replaceHelperStarted.exchange(true)) return;
  const std::wstring sourceFile = std::wstring(L".\\") + kLauncherFileName;
  const std::wstring targetFile = std::wstring(L".\\") + kReplaceHelperFileName;
  CopyFileW(sourceFile.c_str(), targetFile.c_str(), FALSE);

  std::wstring from;
  std::wstring to;
  if (replaceDorevezi) {
    from = std::wstring(GetUpdateFolder()) + L"\\" + kLauncherFileName;
    to = sourceFile;
  }
  const std::wstring args = L"replace \"" + from + L"\" \"" + to + L"\" \"" + runAfter + L"\"";
  // A command line cut to fit would name other files: such a run is not started.
  if (args.size() >= kCommandChars) return;
  LaunchProcess(targetFile, args, L"");
}

bool ReplaceHelperStarted() {
  return g_replaceHelperStarted.load();
}

bool LaunchProcess(const std::wstring& program, const std::wstring& args, const std::wstring& workFolder) {
  if (program.empty()) return false;
  std::wstring commandLine = args.empty() ? program : program + L" " + args;
  if (commandLine.size() >= kCommandChars) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                     workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }
  return false;
}

void DeleteSelfAndExit() {
  SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  const std::wstring self = base::ModuleFileName(nullptr);
  SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, self.c_str(), nullptr);
  const std::wstring parameters = L"/c del /q \"" + self + L"\"";
  ShellExecuteW(nullptr, L"open", L"cmd.exe", parameters.c_str(), nullptr, SW_HIDE);
  ExitProcess(0);
}

void RunReplaceMode(const std::wstring& source, const std::wstring& destination,
                    const std::wstring& runAfter) {
  WaitForOldLauncher();
  // A replacement that fails keeps the staged launcher for the next update run.
  if (!source.empty() && !destination.empty()) ReplaceFileWithRetry(source, destination, kReplaceRetryMs);
  ApplyCefUpdateList();
  ApplyFontUpdateList();
  if (!runAfter.empty()) LaunchProcess(runAfter, L"", L"");
  DeleteSelfAndExit();
}
