#include "dorevezi/core/version_map.h"

#include "dorevezi/core/sys_info.h"

#include <climits>
#include <cstdio>
#include <exception>
#include <vector>

#include "dorevezi/core/json_util.h"
#include "dorevezi/core/paths.h"

VersionMap& ResetVersionMap(VersionMapTable& table, const std::string& key) {
  VersionMap& map = table[key];
  map.clear();
  return map;
}
bool LoadVersionMapFile(const std::wstring& path, VersionMap& map, std::string& error) {
  map.clear();
  std::string content;
  if (!ReadWholeFile(path, content)) {
    error = "the version list cannot be read";
    return false;
  }
  return ParseVersionMap(content, map, error);
}
void DiffVersionMaps(VersionMap& local, const VersionMap& remote, VersionMap& toFetch,
                     std::list<std::string>& localOnly) {
  toFetch.clear();
  if (local.empty()) {
    toFetch = remote;
  } else {
    for (const auto& remoteEntry : remote) {
      auto found = local.find(remoteEntry.first);
      if (found == local.end()) {
        toFetch.insert(remoteEntry);
        continue;
      }
      if (found->second.md5 != remoteEntry.second.md5) toFetch.insert(remoteEntry);
      local.erase(found);
    }
    for (const auto& localEntry : local) localOnly.push_back(localEntry.first);
  }
  toFetch.erase(kVersionEntryName);
}

std::string GetMapVersion(const VersionMap& map) {
  auto found = map.find(kVersionEntryName);
  return found == map.end() ? std::string() : found->second.md5;
}
void ReadMapFileVersion(const std::wstring& path, std::string& version, const std::string& defaultVersion) {
  version = defaultVersion;
  std::string content;
  if (!ReadWholeFile(path, content)) return;
  GetListVersion(content, version);
}

void FormatDisplayVersion(const std::string& internal, std::string& display) {
  std::vector<std::string> parts;
  int a = 0;
  if (SplitTextA(internal, "_", parts) != 3 || !ParseDecimalInt(parts[0], a)) {
    display = internal;
    return;
  }
  std::string text;
  if (a >= 1000000) {
    text += std::to_string(a / 1000000) + ".";
    a %= 1000000;
  }
  if (a >= 10000) {
    text += std::to_string(a / 10000) + ".";
    a %= 10000;
  } else {
    text += "0.";
  }
  if (a >= 100) {
    text += std::to_string(a / 100) + ".";
    a %= 100;
  } else {
    text += "0.";
  }
  text += std::to_string(a);
  text += "." + parts[2] + "." + parts[1];
  display = text;
}

bool ReadApplyList(const std::string& path, ApplyList& out) {
  std::string content;
  if (!ReadWholeFileA(path, content)) return false;
  Json::Value parsed;
  std::string error;
  if (!ParseJson(content, parsed, error) || !parsed.isObject()) return false;
  const Json::Value& root = parsed;
  const Json::Value& version = root["version"];
  if (!version.isString()) return false;
  out.version = version.asString();
  const Json::Value& files = root["fileList"];
  if (!files.isArray()) return false;
  std::list<std::string> fileList;
  std::string text;
  for (const Json::Value& file : files) {
    if (!JsonValueToText(file, text)) return false;
    fileList.push_back(text);
  }
  out.fileList.swap(fileList);
  return true;
}

bool WriteApplyList(const std::string& path, const ApplyList& list) {
  if (list.version.empty() || list.fileList.empty()) return true;
  Json::Value root(Json::objectValue);
  root["version"] = list.version;
  Json::Value& files = root["fileList"] = Json::Value(Json::arrayValue);
  for (const std::string& file : list.fileList) files.append(Json::Value(file));
  return WriteJsonFile(path, root);
}
