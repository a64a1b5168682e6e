#include "dorevezi/core/version_tool.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <fstream>

#include <json/json.h>

#include "dorevezi/core/json_util.h"
#include "dorevezi/core/md5.h"
#include "dorevezi/core/paths.h"
#include "ui/core/string_util.h"

namespace {

constexpr char kCurrentFolderPrefix[] = ".\\";
constexpr char kDefaultVersion[] = "1.0.0";

// The launcher's own files, in the order they are listed.
const char* const kLauncherFiles[] = {
    "dorevezi.exe", "resources.zip", "SourceHanSansCNRegular.ttf", "SourceHanSansCNBold.ttf",
    "LomaN.ttf",    "LomaB.ttf",
};

std::string VersionText(const std::wstring& version) {
  if (version.empty()) return kDefaultVersion;
  std::string text;
  ui::WideToMultiByte(version, text, CP_UTF8);
  return text;
}

std::string KeyOfPath(const std::string& path) {
  std::string key = path.compare(0, 2, kCurrentFolderPrefix) == 0 ? path.substr(2) : path;
  for (char& c : key) {
    if (c == '\\') c = '/';
  }
  return key;
}

void AddFilesBelow(const char* folder, std::list<std::string>& paths) {
  ListFilesRecursive(std::string(kCurrentFolderPrefix) + folder, paths, {});
}

}  // namespace

bool WriteVersionMapOfFiles(const std::list<std::string>& paths, const std::wstring& version,
                            const std::string& outputPath) {
  Json::Value list(Json::objectValue);
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) continue;
    std::string digest;
    int64_t size = 0;
    if (!ComputeMd5(in, digest, size) || size > INT32_MAX) continue;
    Json::Value entry(Json::objectValue);
    entry["md5"] = digest;
    entry["size"] = static_cast<Json::Int>(size);
    list[KeyOfPath(path)] = entry;
  }
  Json::Value root(Json::objectValue);
  root["version"] = VersionText(version);
  root["list"] = list;
  return WriteJsonFile(outputPath, root);
}

bool MakeDoreveziVersionMap(const std::wstring& version) {
  std::list<std::string> paths;
  for (const char* file : kLauncherFiles) paths.push_back(std::string(kCurrentFolderPrefix) + file);
  AddFilesBelow("cef", paths);
  return WriteVersionMapOfFiles(paths, version, std::string(kCurrentFolderPrefix) + kDoreveziVersionMapFile);
}

bool MakeDependenceVersionMap(const std::wstring& version) {
  std::list<std::string> paths;
  AddFilesBelow("dependence", paths);
  return WriteVersionMapOfFiles(paths, version,
                                std::string(kCurrentFolderPrefix) + kDependenceVersionMapFile);
}
