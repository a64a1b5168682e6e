#pragma once

// The small files of the launcher's save folder and the records they fill: the settings
// "EnvConfig.json" (EnvConfig), the download record "Log.json" (DownloadLog), the channel id
// "gid.txt", the extra configuration "extra_config.txt" and the operator's gate override
// "setting.json" (GateConfig, never written by the launcher). The records are plain values;
// the core object holds them and calls these loaders and savers with the file paths.

#include <cstdint>
#include <string>
#include <vector>

constexpr wchar_t kEnvConfigFileName[] = L"EnvConfig.json";
constexpr wchar_t kDownloadLogFileName[] = L"Log.json";
constexpr wchar_t kChannelIdFileName[] = L"gid.txt";
constexpr wchar_t kExtraConfigFileName[] = L"extra_config.txt";
constexpr wchar_t kGateConfigFileName[] = L"setting.json";

// The settings record.
struct EnvConfig {
  int32_t languageType = 0;  // index into the language table
  std::wstring gamePath;
  bool closeToHide = false;
  bool autoUpdate = true;
  bool downloadLimit = false;
  int32_t downloadSpeed = 4096;  // KB/s
  bool predlcLimit = false;
  int32_t predlcSpeed = 4096;  // KB/s
  bool automaticStart = false;
  std::string languageCode = "en";  // follows from the index; not stored in the file
};

// The download record.
struct DownloadLog {
  bool firstInstall = true;
  uint64_t downloadSize = 0;   // bytes
  uint64_t downloadSpeed = 0;  // bytes per second
  uint64_t downloadTime = 0;   // seconds
  std::string downloadVersion;
};

// The operator's override of built-in addresses and timings.
struct GateConfig {
  std::string gateKey;
  std::vector<std::string> gateUrls;
  bool qaGate = false;
  bool disableAutoEnterGame = false;
  std::vector<std::string> dlcUrls;
  std::string activityUrl;
  int32_t refreshInterval = 0;  // minutes
  int32_t updateInterval = 0;   // minutes
  std::string trackUrl;
  std::string caFile;  // "CAFile": a PEM file of extra trusted CAs (relative: to the launcher folder)
};

// NormalizePath(GetSaveFolder(), with separator) followed by `fileName`: ".\save\<name>".
std::wstring SaveFilePath(const wchar_t* fileName);

// True when the file was read and holds a JSON object; each member of the right type then
// replaces its field, members that are absent or of another type leave theirs. False, with
// no field touched, for a missing, unreadable, empty, unparsable or non-object file.
bool LoadEnvConfig(const std::wstring& path, EnvConfig& config);
// Writes the nine members; false when the write failed (the previous file then remains).
bool SaveEnvConfig(const std::wstring& path, const EnvConfig& config);

bool LoadDownloadLog(const std::wstring& path, DownloadLog& log);
bool SaveDownloadLog(const std::wstring& path, const DownloadLog& log);

// The channel id: the bytes of the first of "<saveFolder>\gid.txt" and
// "<gameFolder>\save\gid.txt" that opens, unchanged. Empty (and false) when neither does.
bool LoadChannelId(const std::wstring& saveFolder, const std::wstring& gameFolder, std::string& channelId);

// True when the file was read and holds a JSON object; its text member
// "install_package_type" then replaces `installPackageType`.
bool LoadExtraConfig(const std::wstring& path, std::string& installPackageType);

// Reads the gate override. Members that are present and not null are converted the JSON
// library's way (numbers and flags to text, numbers to flags, reals truncated); a member that
// cannot be converted is skipped. False, with nothing changed, for a missing, unparsable or
// non-object file.
bool LoadGateConfig(const std::wstring& path, GateConfig& config);
