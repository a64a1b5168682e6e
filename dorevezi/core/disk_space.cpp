#include "dorevezi/core/disk_space.h"

#include <windows.h>

#include <cstdio>
#include <utility>

#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/sys_info.h"
#include "ui/core/string_util.h"
#include "ui/resources/language_table.h"

std::wstring RequiredSpaceText() {
  wchar_t text[32];
  swprintf(text, 32, L"%5.2fG", static_cast<double>(kRequiredFreeBytes >> 30));
  return text;
}

std::wstring LauncherExecutablePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length < MAX_PATH ? length : 0);
}

bool CheckDriveSpace(const std::wstring& path, const std::wstring& text, const std::wstring& noKey,
                     const std::wstring& yesKey, std::function<void(int)> onResult) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  uint64_t total = 0;
  uint64_t available = 0;
  if (!GetDiskSpace(path, total, available)) {
    core.ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE", L"STRING_ERROR_INVALID_DISKSPACE", L"",
                        L"STRING_CONFIRM", [](int) {}, false);
    return true;
  }
  if (available < kRequiredFreeBytes) {
    core.ShowMessageBoxTexts(nullptr, L"STRING_ERROR_NOTICE", L"", L"", text, noKey, yesKey, L"", L"",
                             std::move(onResult), false);
    return false;
  }
  return true;
}

bool DoreveziCore::ConfirmUpdateDiskSpace(std::function<void(int)> onContinue) {
  const std::wstring need = RequiredSpaceText();
  const std::wstring gamePath = GetGamePath();
  const std::wstring launcherPath = LauncherExecutablePath();
  // A text the table lacks stays empty: nothing to substitute.
  std::wstring gameText = ui::LanguageTable::Instance()->Lookup(L"STRING_ERROR_NEED_DISKSPACE_R");
  std::wstring launcherText = gameText;
  if (!gameText.empty()) {
    ui::ReplaceAllWide(L"{p2}", need, gameText);
    ui::ReplaceAllWide(L"{p1}", GetDrivePrefix(gamePath), gameText);
    ui::ReplaceAllWide(L"{p2}", need, launcherText);
    ui::ReplaceAllWide(L"{p1}", GetDrivePrefix(launcherPath), launcherText);
  }
  if (!CheckDriveSpace(gamePath, gameText, L"STRING_CANCEL", L"STRING_DOWNLOAD_CONTINUE", onContinue)) {
    return false;
  }
  return CheckDriveSpace(launcherPath, launcherText, L"STRING_CANCEL", L"STRING_DOWNLOAD_CONTINUE",
                         std::move(onContinue));
}

bool DoreveziCore::CheckInstallDiskSpace(std::function<void(int)> onResult) {
  const std::wstring text = ui::FillLanguageText(L"STRING_ERROR_NEED_DISKSPACE", RequiredSpaceText());
  if (!CheckDriveSpace(GetGamePath(), text, L"", L"STRING_CONFIRM", onResult)) return false;
  return CheckDriveSpace(LauncherExecutablePath(), text, L"", L"STRING_CONFIRM", std::move(onResult));
}
