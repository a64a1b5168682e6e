// Taking over the settings the settings window edited: only what changed, with the side effects
// of each change (language, speed limits, the automatic start in the registry), one save and one
// usage report.

#include <windows.h>

#include <string>

#include "base/base_util.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/sys_info.h"
#include "dorevezi/update/download_manager.h"

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunKeyFallback[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRunValueName[] = L"ZUNDorevezi";

// The launcher's path in quotation marks: the folder may hold blanks, and an unquoted path with
// blanks would let Windows start whatever program sits at its first blank.
std::wstring QuotedExecutablePath() {
  return L"\"" + base::ModuleFileName(nullptr) + L"\"";
}

bool EnableAutomaticStart() {
  return SetMachineRegistryString(kRunKey, kRunKeyFallback, kRunValueName, QuotedExecutablePath()) >= 0;
}

void DisableAutomaticStart() {
  for (const wchar_t* key : {kRunKey, kRunKeyFallback}) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS) continue;
    RegDeleteValueW(opened, kRunValueName);
    RegCloseKey(opened);
    return;
  }
}

}  // namespace

void DoreveziCore::ApplySettings(const EnvConfig& edited) {
  EnvConfig updated = GetEnvConfig();
  bool changed = false;
  bool languageChange = false;
  bool downloadLimitChange = false;
  bool predlcLimitChange = false;
  std::string closeText;
  std::string autostartText;

  if (edited.languageType != updated.languageType) {
    updated.languageType = edited.languageType;
    const bool known = edited.languageType >= 0 && edited.languageType < kLanguageCount;
    updated.languageCode = known ? kLanguageCodes[edited.languageType] : kLanguageCodes[kLanguageEn];
    languageChange = changed = true;
  }
  if (edited.gamePath != updated.gamePath) {
    updated.gamePath = edited.gamePath;
    changed = true;
  }
  if (edited.closeToHide != updated.closeToHide) {
    updated.closeToHide = edited.closeToHide;
    closeText = edited.closeToHide ? "1" : "2";
    changed = true;
  }
  if (edited.downloadSpeed != updated.downloadSpeed || edited.downloadLimit != updated.downloadLimit) {
    updated.downloadSpeed = edited.downloadSpeed;
    updated.downloadLimit = edited.downloadLimit;
    downloadLimitChange = changed = true;
  }
  if (edited.predlcSpeed != updated.predlcSpeed || edited.predlcLimit != updated.predlcLimit) {
    updated.predlcSpeed = edited.predlcSpeed;
    updated.predlcLimit = edited.predlcLimit;
    predlcLimitChange = changed = true;
  }
  if (edited.automaticStart != updated.automaticStart) {
    if (edited.automaticStart) {
      updated.automaticStart = EnableAutomaticStart();
    } else {
      updated.automaticStart = false;
      DisableAutomaticStart();
    }
    autostartText = updated.automaticStart ? "1" : "0";
    changed = true;
  }
  if (edited.autoUpdate != updated.autoUpdate) {
    updated.autoUpdate = edited.autoUpdate;
    changed = true;
  }
  if (!changed) return;

  {
    base::CriticalSectionGuard lock(&textsLock);
    envConfig = updated;
  }
  SaveEnvConfig();
  DownloadManager& manager = DownloadManager::GetInstance();
  if (downloadLimitChange) manager.ApplySpeedLimit(kDownloadModeNormal);
  if (predlcLimitChange) manager.ApplySpeedLimit(kDownloadModePreDownload);
  if (languageChange) languageChanged = true;
  ReportSettingsChange(autostartText, closeText, updated.downloadLimit ? updated.downloadSpeed : 0,
                       updated.predlcLimit ? updated.predlcSpeed : 0);
}
