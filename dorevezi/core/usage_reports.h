#pragma once

// Usage reports: four kinds of one-line JSON record for the tracking endpoint (a UI click, a
// launcher detail record, a launcher event record, a settings record) and a form-encoded
// attribution event for the attribution endpoint.
//
// Any thread may ask for a report (ReportUiClick and the DoreveziCore::Report* calls): the request
// copies its arguments and posts the composition to the worker thread, which reads every other
// value at that moment and hands the result to the download manager, queued or at once. No report
// ever changes what the launcher does; a request made while no worker is registered is dropped.

#include <cstdint>
#include <string>

constexpr char kLogTypeUiClick[] = "qzrolepcstarteruiclick";
constexpr char kLogTypeDoreveziDetail[] = "qzrolepclauncherdetail";
constexpr char kLogTypeDorevezi[] = "qzrolepclauncher";
constexpr char kLogTypeStarterSetting[] = "qzrolepcstartersetting";
constexpr char kReportGameId[] = "10043";
constexpr char kReportPackageId[] = "com.quorilgames.zun.pc.cn";

// Action ids of the detail record (there is no 19); each goes out with its attribution event.
enum DoreveziAction : int32_t {
  kActionStartOpen = 13,
  kActionDownloadGame = 14,
  kActionPauseGame = 15,
  kActionContinueDownload = 16,
  kActionDownloadFinish = 17,
  kActionPlayGame = 18,
  kActionUpdateGame = 20,
  kActionUpdateDorevezi = 21,
  kActionUpdateFinish = 22,
  kActionApplyUpdateSuccess = 23,
};

// Everything a record draws on besides its own arguments, read on the worker when it is composed.
struct ReportValues {
  std::string deviceId;
  std::string machineGuid;
  std::string installPackageType;
  std::string channelId;
  std::string languageCode;
  std::string publicIp;
  std::string localGameVersion;
  std::string remoteGameVersion;
  std::string downloadGameVersion;
  std::string preDownloadVersion;
  std::string date;  // UTC "%4d-%02d-%02d"
  std::string time;  // UTC "%02d:%02d:%02d"
  int64_t unixSeconds = 0;
  std::string cpuName;
  std::string osVersion;
  std::string country;  // ISO 3166 code of the system locale
  bool hasCountry = false;
  std::string gamePath;        // UTF-8
  std::string launcherFolder;  // UTF-8, with its trailing separator
  std::string uiLanguage;      // UTF-8
  std::string productName;
  int32_t downloadSpeedSetting = 0;  // KB/s
  int64_t lowestSpeed = 0;           // bytes/s
  int64_t highestSpeed = 0;          // bytes/s
  std::string lowestSpeedFile;
  std::string leftCapacity;  // GB "%.3f", empty when the drive cannot be asked
  bool gameRunning = false;
  // ComparePreDownloadVersion(pre-download, local, remote); anything but 1 means "-1".
  int32_t preDownloadComparison = 0;
};

// The record texts, given the values (pure; the tests compose with them).
std::string BuildUiClickRecord(const ReportValues& values, const std::string& uitype, const std::string& action);
std::string BuildDoreveziDetailRecord(const ReportValues& values, const std::string& actionId,
                                      const std::string& speed, const std::string& size,
                                      const std::string& downloadTime);
std::string BuildAttributionQuery(const ReportValues& values, const std::string& eventName,
                                  const std::string& value1, const std::string& value2,
                                  const std::string& value3);
std::string BuildDoreveziEventRecord(const ReportValues& values, const std::string& printInfo,
                                     const std::string& speed, const std::string& size,
                                     const std::string& actionType, const std::string& step);
std::string BuildSettingsRecord(const ReportValues& values, const std::string& ifAutostart,
                                const std::string& closeSet, int installSpeedLimit, int preInstallSpeedLimit);
// A speed in bytes per second as MB/s "%.3f", the way the records write it.
std::string FormatReportSpeed(int64_t bytesPerSecond);

// Worker thread: reads the values of this moment from the core, the download manager and the
// system.
ReportValues GatherReportValues();

// From any thread: a UI click record, queued.
void ReportUiClick(const std::string& uitype, const std::string& action);

// Worker thread: compose and hand over (the requests post these).
void SendUiClickReport(const std::string& uitype, const std::string& action);
void SendDoreveziDetailReport(const std::string& actionId, const std::string& speed, const std::string& size,
                              const std::string& downloadTime);
void SendAttributionReport(const std::string& eventName, const std::string& value1, const std::string& value2,
                           const std::string& value3);
void SendDoreveziEventReport(const std::string& printInfo, const std::string& speed, const std::string& size,
                             const std::string& actionType, const std::string& step, bool immediately);
void SendSettingsReport(const std::string& ifAutostart, const std::string& closeSet, int installSpeedLimit,
                        int preInstallSpeedLimit);

// Worker thread, once per tick of the ready state while it is idle (no background pre-download
// chain runs): one queued report leaves.
void SendQueuedReport();
