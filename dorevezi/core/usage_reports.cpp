#include "dorevezi/core/usage_reports.h"

#include <windows.h>

#include <json/json.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "base/base_util.h"
#include "base/thread_registry.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/network_identity.h"
#include "dorevezi/core/predownload_books.h"
#include "dorevezi/core/sys_info.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/http_requests.h"
#include "ui/core/string_util.h"
#include "ui/resources/ui_runtime.h"

namespace {

const wchar_t kCryptographyKey[] = L"SOFTWARE\\Microsoft\\Cryptography\\";
const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string FormatThreeDecimals(float value) {
  char text[64];
  snprintf(text, sizeof(text), "%.3f", value);
  return text;
}

// One line, members in byte order of their names, non-ASCII as raw UTF-8.
std::string WriteRecord(const Json::Value& record) {
  Json::StreamWriterBuilder builder;
  builder["emitUTF8"] = true;
  builder["indentation"] = "";
  return Json::writeString(builder, record);
}

std::string WideToUtf8Text(const std::wstring& text) {
  std::string out;
  ui::WideToMultiByte(text, out, CP_UTF8);
  return out;
}

bool SystemCountryCode(std::string& code) {
  wchar_t buffer[260] = {};
  if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SISO3166CTRYNAME, buffer, 260) <= 0) return false;
  code = WideToUtf8Text(buffer);
  return true;
}

void PostToWorker(std::function<void()> task) {
  // Without a worker the request is dropped.
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, std::move(task));
}

}  // namespace

std::string FormatReportSpeed(int64_t bytesPerSecond) {
  return FormatThreeDecimals(static_cast<float>(bytesPerSecond) * (1.0f / 1048576.0f));
}

std::string BuildUiClickRecord(const ReportValues& values, const std::string& uitype, const std::string& action) {
  Json::Value record(Json::objectValue);
  record["log_type"] = kLogTypeUiClick;
  record["game_id"] = kReportGameId;
  record["install_package_type"] = values.installPackageType;
  record["pc_id"] = values.deviceId;
  record["uitype"] = uitype;
  record["action"] = LowerAscii(action);
  record["event_date"] = values.date;
  record["event_time"] = values.date + " " + values.time;
  return WriteRecord(record);
}

std::string BuildDoreveziDetailRecord(const ReportValues& values, const std::string& actionId,
                                      const std::string& speed, const std::string& size,
                                      const std::string& downloadTime) {
  Json::Value record(Json::objectValue);
  record["log_type"] = kLogTypeDoreveziDetail;
  record["game_id"] = kReportGameId;
  record["idfa"] = values.machineGuid;
  record["machine_guid"] = values.machineGuid;
  record["install_package_type"] = values.installPackageType;
  record["channel"] = values.channelId;
  record["game_version"] = values.localGameVersion;
  record["download_game_version"] = values.remoteGameVersion;
  record["language"] = values.languageCode;
  record["cpu"] = values.cpuName;
  record["system_type"] = "win";
  record["system_ver"] = values.osVersion;
  record["action_id"] = actionId;
  record["pkg"] = kReportPackageId;
  record["ip"] = values.publicIp;
  if (values.hasCountry) record["country"] = values.country;
  if (actionId == "15" || actionId == "17" || actionId == "22") {
    record["speed"] = speed;
    record["size"] = size;
    record["download_time"] = downloadTime;
    record["lowest_speed"] = FormatReportSpeed(values.lowestSpeed);
    record["highest_speed"] = FormatReportSpeed(values.highestSpeed);
    record["lowest_speed_location"] = values.lowestSpeedFile;
  }
  record["event_date"] = values.date;
  record["event_time"] = values.date + " " + values.time;
  return WriteRecord(record);
}

std::string BuildAttributionQuery(const ReportValues& values, const std::string& eventName,
                                  const std::string& value1, const std::string& value2,
                                  const std::string& value3) {
  std::vector<std::pair<std::string, std::string>> fields = {
      {"activity_kind", "pc_starter"},
      {"install_package_type", values.installPackageType},
      {"uuid", values.machineGuid},
      {"gid", values.channelId},
      {"app_version", values.localGameVersion},
      {"app_id", kReportPackageId},
      {"app_name", kReportPackageId},
      {"package_name", kReportPackageId},
      {"created_at", std::to_string(static_cast<int32_t>(values.unixSeconds))},
      {"store", "pc"},
      {"game_id", "_ZUN_GAME_CN"},
      {"ip_address", values.publicIp},
      {"language", values.languageCode},
      {"os_version", values.osVersion},
      {"event_name", eventName},
  };
  if (eventName == "click_launch_pause_game" || eventName == "download_game_finish" ||
      eventName == "update_game_finish") {
    fields.emplace_back("event_value1", value1);
    fields.emplace_back("event_value2", value2);
    fields.emplace_back("event_value3", value3);
  }
  fields.emplace_back("cpu_type", values.cpuName);
  // Every name and value is escaped, so a CPU name with blanks or a value holding "&" or "="
  // cannot change the form.
  return BuildFormQuery(fields);
}

std::string BuildDoreveziEventRecord(const ReportValues& values, const std::string& printInfo,
                                     const std::string& speed, const std::string& size,
                                     const std::string& actionType, const std::string& step) {
  Json::Value record(Json::objectValue);
  record["log_type"] = kLogTypeDorevezi;
  record["game_id"] = kReportGameId;
  record["machine_guid"] = values.machineGuid;
  record["pc_id"] = values.deviceId;
  record["install_package_type"] = values.installPackageType;
  record["action_type"] = LowerAscii(actionType);
  record["step"] = LowerAscii(step);
  record["event_date"] = values.date;
  record["event_time"] = values.date + " " + values.time;
  record["language"] = values.languageCode;
  record["install_game_path"] = values.gamePath;
  record["install_dorevezi_path"] = values.launcherFolder;
  record["speed"] = speed;
  record["limit_speed"] = std::to_string(values.downloadSpeedSetting);
  record["size"] = size;
  record["ip"] = values.publicIp;
  record["system_language"] = values.uiLanguage;
  record["system"] = values.productName;
  record["lowest_speed"] = FormatReportSpeed(values.lowestSpeed);
  record["highest_speed"] = FormatReportSpeed(values.highestSpeed);
  record["lowest_speed_location"] = values.lowestSpeedFile;
  record["game_version"] = values.localGameVersion;
  record["download_game_version"] = values.downloadGameVersion;
  record["left_capacity"] = values.leftCapacity;
  std::string info = printInfo;
  if (LowerAscii(step) == "pre_install") {
    bool starting = false;
    if (info == "rungame") {
      info.clear();
      starting = true;
    }
    std::string play = "-1";
    if (!values.preDownloadVersion.empty() && values.preDownloadComparison == 1) {
      play = starting || values.gameRunning ? "1" : "0";
    }
    record["if_install_play"] = play;
  }
  record["print_info"] = info;
  return WriteRecord(record);
}

std::string BuildSettingsRecord(const ReportValues& values, const std::string& ifAutostart,
                                const std::string& closeSet, int installSpeedLimit, int preInstallSpeedLimit) {
  Json::Value record(Json::objectValue);
  record["log_type"] = kLogTypeStarterSetting;
  record["game_id"] = kReportGameId;
  record["pc_id"] = values.deviceId;
  record["language"] = values.languageCode;
  record["machine_guid"] = values.machineGuid;
  record["install_package_type"] = values.installPackageType;
  if (!ifAutostart.empty()) record["if_autostart"] = ifAutostart;
  if (!closeSet.empty()) record["close_set"] = closeSet;
  record["install_speed_limit"] = std::to_string(installSpeedLimit);
  record["pre_install_speed_limit"] = std::to_string(preInstallSpeedLimit);
  record["event_date"] = values.date;
  record["event_time"] = values.date + " " + values.time;
  return WriteRecord(record);
}

ReportValues GatherReportValues() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  DownloadManager& manager = DownloadManager::GetInstance();
  ReportValues values;
  const EnvConfig settings = core.GetEnvConfig();
  const VersionTexts versions = core.GetVersionTexts();
  values.deviceId = GetDeviceId();
  values.machineGuid = ReadMachineRegistryString(kCryptographyKey, "MachineGuid");
  values.installPackageType = core.installPackageType;
  values.channelId = core.channelId;
  values.languageCode = settings.languageCode;
  values.publicIp = core.publicIp;
  values.localGameVersion = versions.localGameVersion;
  values.remoteGameVersion = versions.remoteGameVersion;
  values.downloadGameVersion = core.downloadGameVersion;
  values.preDownloadVersion = core.GetPreDownloadVersion();
  GetUtcDateTimeTexts(values.date, values.time);
  values.unixSeconds = static_cast<int64_t>(std::time(nullptr));
  values.cpuName = GetCpuName();
  values.osVersion = GetOsVersionText();
  values.hasCountry = SystemCountryCode(values.country);
  values.gamePath = WideToUtf8Text(settings.gamePath);
  values.launcherFolder = WideToUtf8Text(base::OwnModuleDirectory());
  values.uiLanguage = WideToUtf8Text(ui::UiRuntime::GetLanguage());
  values.productName = ReadMachineRegistryString(kCurrentVersionKey, "ProductName");
  values.downloadSpeedSetting = settings.downloadSpeed;
  values.lowestSpeed = manager.lowestSpeed;
  values.highestSpeed = manager.highestSpeed;
  values.lowestSpeedFile = manager.lowestSpeedFile;
  uint64_t total = 0;
  uint64_t available = 0;
  if (GetDiskSpace(settings.gamePath, total, available)) {
    values.leftCapacity = FormatThreeDecimals(static_cast<float>(available) * (1.0f / 1073741824.0f));
  }
  values.gameRunning = IsGameRunning();
  if (!values.preDownloadVersion.empty()) {
    values.preDownloadComparison = ComparePreDownloadVersion(
        values.preDownloadVersion, values.localGameVersion, values.remoteGameVersion);
  }
  return values;
}

void SendUiClickReport(const std::string& uitype, const std::string& action) {
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.PostJson(BuildUiClickRecord(GatherReportValues(), uitype, action), manager.trackUrl, false);
}

void SendDoreveziDetailReport(const std::string& actionId, const std::string& speed, const std::string& size,
                              const std::string& downloadTime) {
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.SendJsonNow(BuildDoreveziDetailRecord(GatherReportValues(), actionId, speed, size, downloadTime),
                      manager.trackUrl);
}

void SendAttributionReport(const std::string& eventName, const std::string& value1, const std::string& value2,
                           const std::string& value3) {
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.PostJson(BuildAttributionQuery(GatherReportValues(), eventName, value1, value2, value3),
                   manager.GetAttributionUrl(), true);
}

void SendDoreveziEventReport(const std::string& printInfo, const std::string& speed, const std::string& size,
                             const std::string& actionType, const std::string& step, bool immediately) {
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.PostJson(BuildDoreveziEventRecord(GatherReportValues(), printInfo, speed, size, actionType, step),
                   manager.trackUrl, immediately);
}

void SendSettingsReport(const std::string& ifAutostart, const std::string& closeSet, int installSpeedLimit,
                        int preInstallSpeedLimit) {
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.PostJson(
      BuildSettingsRecord(GatherReportValues(), ifAutostart, closeSet, installSpeedLimit, preInstallSpeedLimit),
      manager.trackUrl, false);
}

void SendQueuedReport() {
  DownloadManager::GetInstance().SendNextQueuedPost();
}

void ReportUiClick(const std::string& uitype, const std::string& action) {
  PostToWorker([uitype, action] { SendUiClickReport(uitype, action); });
}

void DoreveziCore::ReportDoreveziDetail(std::string actionId, std::string speed, std::string size,
                                        std::string downloadTime) {
  PostToWorker([actionId, speed, size, downloadTime] {
    SendDoreveziDetailReport(actionId, speed, size, downloadTime);
  });
}

void DoreveziCore::ReportAttributionEvent(std::string eventName, std::string value1, std::string value2,
                                          std::string value3) {
  PostToWorker([eventName, value1, value2, value3] { SendAttributionReport(eventName, value1, value2, value3); });
}

void DoreveziCore::ReportDoreveziEvent(const std::string& printInfo, const std::string& speed,
                                       const std::string& size, const std::string& actionType,
                                       const std::string& step, bool immediately) {
  PostToWorker([printInfo, speed, size, actionType, step, immediately] {
    SendDoreveziEventReport(printInfo, speed, size, actionType, step, immediately);
  });
}

void DoreveziCore::ReportSettingsChange(const std::string& ifAutostart, const std::string& closeSet,
                                        int installSpeedLimit, int preInstallSpeedLimit) {
  PostToWorker([ifAutostart, closeSet, installSpeedLimit, preInstallSpeedLimit] {
    SendSettingsReport(ifAutostart, closeSet, installSpeedLimit, preInstallSpeedLimit);
  });
}
