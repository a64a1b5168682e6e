// The game client seen from the launcher: starting it, whether it is installed or running, raising
// its window, and the repair that forces a full check.

#include <windows.h>

#include <list>
#include <string>
#include <vector>

#include "base/thread_registry.h"
#include "dorevezi/core/command_line.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/sys_info.h"
#include "dorevezi/update/state.h"
#include "ui/core/string_util.h"

namespace {

constexpr int kGameSlotCount = 1;
// Versions from this release on take the platform and slot arguments.
constexpr int kFirstVersionWithPlatform = 10077;

bool SlotTaken(int /*slot*/) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kGameInstanceMutex);
  const DWORD error = GetLastError();
  if (mutex) CloseHandle(mutex);
  return error == ERROR_ALREADY_EXISTS;
}

bool CanOpenForReading(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

// A version that is not three numbers, as every version comparison reads it, gives no suffix.
bool GameTakesPlatformSuffix(const std::string& version) {
  if (version.empty()) return true;
  int first = 0, second = 0, third = 0;
  return ParseVersionTriple(version, first, second, third) && first >= kFirstVersionWithPlatform;
}

int CollectFreeGameSlots(std::list<int>& freeSlots) {
  for (int slot = 0; slot < kGameSlotCount; ++slot) {
    if (!SlotTaken(slot)) freeSlots.push_back(slot);
  }
  return kGameSlotCount - static_cast<int>(freeSlots.size());
}

bool IsGameRunning() {
  for (int slot = 0; slot < kGameSlotCount; ++slot) {
    if (SlotTaken(slot)) return true;
  }
  return false;
}

bool DoreveziCore::LaunchGame(const std::string& firstArgument, int slot) {
  if (slot != 0) return false;
  const std::wstring game = NormalizePath(GetGamePath(), true);
  const std::wstring program = game + L"TOLV.exe";
  if (deleteLogTxt) {
    const std::wstring log = game + L"save\\log.txt";
    if (CanOpenForReading(log)) DeleteFileW(log.c_str());
  }
  // Quoted: the default game folder has a space, which would split the program path.
  std::wstring command = L"\"" + program + L"\" ";
  if (firstArgument.empty()) {
    command += L"empty";
  } else {
    std::wstring wide;
    ui::MultiByteToWide(firstArgument, wide, CP_UTF8);
    command += wide;
  }
  if (GameTakesPlatformSuffix(GetVersionTexts().localGameVersion)) {
    const std::wstring platform = g_hasPlatformArgument && g_platformArgument[0] ? g_platformArgument : L"win";
    command += L" " + platform + L" " + std::to_wstring(slot) + L"|" + std::to_wstring(kGameSlotCount);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> commandLine(command.begin(), command.end());
  commandLine.push_back(L'\0');
  const std::wstring folder = NormalizePath(game, false);
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ReportDoreveziEvent("rungame", "", "", "", "pre_install", false);
  return true;
}

bool DoreveziCore::GameExeExists(const std::wstring& folder) {
  const std::wstring root = NormalizePath(folder.empty() ? GetGamePath() : folder, true);
  return CanOpenForReading(root + L"TOLV.exe");
}

bool DoreveziCore::HasInterruptedGameUpdate() {
  return CanOpenForReading(NormalizePath(GetGamePath(), true) + L"tmp_version_map.txt");
}

bool DoreveziCore::BringGameWindowToFront() {
  std::vector<HWND> windows = GetGameWindows();
  if (windows.empty()) {
    RefreshGameWindows();
    windows = GetGameWindows();
  }
  HWND target = nullptr;
  if (!windows.empty()) {
    for (HWND window : windows) {
      if (IsWindow(window)) {
        target = window;
        break;
      }
    }
    if (!target) return false;
  } else {
    target = FindWindowW(kGameWindowClass, nullptr);
    if (!target) return false;
  }
  const DWORD own = GetCurrentThreadId();
  const DWORD other = GetWindowThreadProcessId(target, nullptr);
  AttachThreadInput(own, other, TRUE);
  ShowWindow(target, SW_SHOWNORMAL);
  SetForegroundWindow(target);
  AttachThreadInput(own, other, FALSE);
  return true;
}

void DoreveziCore::RepairGame() {
  enterGameRequest = false;
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [this] {
    // Here, on the worker, no flow is writing the game folder: the new flow starts right after.
    const std::wstring game = NormalizePath(GetGamePath(), true);
    for (const auto& pair : alternateFileNames) {
      const std::wstring copy = game + NormalizePath(pair.second, false);
      if (CanOpenForReading(copy)) DeleteFileW(copy.c_str());
    }
    const std::wstring list = game + L"version_map.txt";
    if (CanOpenForReading(list)) DeleteFileW(list.c_str());
    ChangeState(CreatePrepareState(kFlowGame));
  });
}
