#include "dorevezi/core/save_files.h"

#include <windows.h>

#include <exception>

#include "dorevezi/core/json_util.h"
#include "dorevezi/core/paths.h"
#include "ui/core/string_util.h"

namespace {

// Reads a save file that must hold a JSON object.
bool ReadJsonObjectFile(const std::wstring& path, Json::Value& root) {
  std::string content;
  if (!ReadWholeFile(path, content)) return false;
  std::string error;
  return ParseJson(content, root, error) && root.isObject();
}

bool WriteJsonObjectFile(const std::wstring& path, const Json::Value& root) {
  return WriteWholeFile(path, SerializeJson(root));
}

void ReadInt32(const Json::Value& root, const char* name, int32_t& field) {
  const Json::Value& value = root[name];
  if (value.isInt()) field = value.asInt();
}

void ReadUInt64(const Json::Value& root, const char* name, uint64_t& field) {
  const Json::Value& value = root[name];
  if (value.isUInt64()) field = value.asUInt64();
}

void ReadBool(const Json::Value& root, const char* name, bool& field) {
  const Json::Value& value = root[name];
  if (value.isBool()) field = value.asBool();
}

// Applies one present, non-null member of the gate override; a value the JSON library cannot
// convert to the field's kind leaves the field as it was.
template <typename Apply>
void ReadConvertible(const Json::Value& root, const char* name, Apply apply) {
  const Json::Value& value = root[name];
  if (value.isNull()) return;
  try {
    apply(value);
  } catch (const std::exception&) {
  }
}

void ReadText(const Json::Value& root, const char* name, std::string& field) {
  ReadConvertible(root, name, [&](const Json::Value& value) { JsonValueToText(value, field); });
}

void ReadTextList(const Json::Value& root, const char* name, std::vector<std::string>& field) {
  ReadConvertible(root, name, [&](const Json::Value& value) {
    std::vector<std::string> list;
    std::string text;
    if (value.isArray()) {
      for (const Json::Value& element : value) {
        if (JsonValueToText(element, text)) list.push_back(text);
      }
    } else if (JsonValueToText(value, text)) {
      list.push_back(text);
    } else {
      return;
    }
    field.swap(list);
  });
}

void ReadFlag(const Json::Value& root, const char* name, bool& field) {
  ReadConvertible(root, name, [&](const Json::Value& value) { field = value.asBool(); });
}

void ReadNumber(const Json::Value& root, const char* name, int32_t& field) {
  ReadConvertible(root, name, [&](const Json::Value& value) { field = value.asInt(); });
}

// Probes the file the way the launcher always has (open for reading, sharing read and
// write), then reads it whole.
bool ReadIfOpens(const std::wstring& path, std::string& content) {
  HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return false;
  CloseHandle(probe);
  return ReadWholeFile(path, content);
}

}  // namespace

std::wstring SaveFilePath(const wchar_t* fileName) {
  return NormalizePath(GetSaveFolder(), true) + fileName;
}

bool LoadEnvConfig(const std::wstring& path, EnvConfig& config) {
  Json::Value root;
  if (!ReadJsonObjectFile(path, root)) return false;
  ReadInt32(root, "languageType", config.languageType);
  const Json::Value& gamePath = static_cast<const Json::Value&>(root)["gamePath"];
  if (gamePath.isString()) ui::MultiByteToWide(gamePath.asString(), config.gamePath, CP_UTF8);
  ReadBool(root, "closeToHide", config.closeToHide);
  ReadBool(root, "downloadLimit", config.downloadLimit);
  ReadInt32(root, "downloadSpeed", config.downloadSpeed);
  ReadBool(root, "predlcLimit", config.predlcLimit);
  ReadInt32(root, "predlcSpeed", config.predlcSpeed);
  ReadBool(root, "automaticStart", config.automaticStart);
  ReadBool(root, "autoUpdate", config.autoUpdate);
  return true;
}

bool SaveEnvConfig(const std::wstring& path, const EnvConfig& config) {
  std::string gamePath;
  ui::WideToMultiByte(config.gamePath, gamePath, CP_UTF8);
  Json::Value root(Json::objectValue);
  root["languageType"] = config.languageType;
  root["gamePath"] = gamePath;
  root["closeToHide"] = config.closeToHide;
  root["downloadLimit"] = config.downloadLimit;
  root["downloadSpeed"] = config.downloadSpeed;
  root["predlcLimit"] = config.predlcLimit;
  root["predlcSpeed"] = config.predlcSpeed;
  root["automaticStart"] = config.automaticStart;
  root["autoUpdate"] = config.autoUpdate;
  return WriteJsonObjectFile(path, root);
}

bool LoadDownloadLog(const std::wstring& path, DownloadLog& log) {
  Json::Value root;
  if (!ReadJsonObjectFile(path, root)) return false;
  ReadBool(root, "firstInstall", log.firstInstall);
  ReadUInt64(root, "downloadSize", log.downloadSize);
  ReadUInt64(root, "downloadSpeed", log.downloadSpeed);
  ReadUInt64(root, "downloadTime", log.downloadTime);
  const Json::Value& version = static_cast<const Json::Value&>(root)["downloadVersion"];
  if (version.isString()) log.downloadVersion = version.asString();
  return true;
}

bool SaveDownloadLog(const std::wstring& path, const DownloadLog& log) {
  Json::Value root(Json::objectValue);
  root["firstInstall"] = log.firstInstall;
  root["downloadSize"] = Json::Value(static_cast<Json::UInt64>(log.downloadSize));
  root["downloadSpeed"] = Json::Value(static_cast<Json::UInt64>(log.downloadSpeed));
  root["downloadTime"] = Json::Value(static_cast<Json::UInt64>(log.downloadTime));
  root["downloadVersion"] = log.downloadVersion;
  return WriteJsonObjectFile(path, root);
}

bool LoadChannelId(const std::wstring& saveFolder, const std::wstring& gameFolder, std::string& channelId) {
  channelId.clear();
  if (ReadIfOpens(NormalizePath(saveFolder, true) + kChannelIdFileName, channelId)) return true;
  // Without a game folder the second location would be the drive's root.
  if (gameFolder.empty()) return false;
  return ReadIfOpens(NormalizePath(gameFolder, true) + L"save\\" + kChannelIdFileName, channelId);
}

bool LoadExtraConfig(const std::wstring& path, std::string& installPackageType) {
  Json::Value root;
  if (!ReadJsonObjectFile(path, root)) return false;
  const Json::Value& type = static_cast<const Json::Value&>(root)["install_package_type"];
  if (type.isString()) installPackageType = type.asString();
  return true;
}

bool LoadGateConfig(const std::wstring& path, GateConfig& config) {
  Json::Value root;
  if (!ReadJsonObjectFile(path, root)) return false;
  ReadText(root, "GateKey", config.gateKey);
  ReadTextList(root, "GateURLs", config.gateUrls);
  ReadFlag(root, "QaGate", config.qaGate);
  ReadTextList(root, "DlcURLs", config.dlcUrls);
  ReadText(root, "ActivityURL", config.activityUrl);
  ReadNumber(root, "RefreshInterval", config.refreshInterval);
  ReadNumber(root, "UpdateInterval", config.updateInterval);
  ReadText(root, "TrackURL", config.trackUrl);
  ReadText(root, "CAFile", config.caFile);
  ReadFlag(root, "DisableAutoEnterGame", config.disableAutoEnterGame);
  return true;
}
