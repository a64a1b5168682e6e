#include "dorevezi/core/predownload_books.h"

#include <windows.h>

#include <algorithm>
#include <tuple>

#include "base/base_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/sys_info.h"
#include "dorevezi/core/version_map.h"

namespace {

// The member `key` as texts: an array's elements or the single value. False when it is missing
// (`present` false) or when any element is not text (an array or object).
bool ReadTextList(const Json::Value& root, const std::string& key, std::vector<std::string>& list, bool& present) {
  list.clear();
  Json::Value found;
  present = FindJsonMember(root, key, found);
  if (!present) return false;
  std::string text;
  if (found.isArray()) {
    for (const Json::Value& element : found) {
      if (!JsonValueToText(element, text)) {
        list.clear();
        return false;
      }
      list.push_back(text);
    }
    return true;
  }
  if (!JsonValueToText(found, text)) return false;
  list.push_back(text);
  return true;
}

}  // namespace

bool CompareGameVersions(const std::string& left, const std::string& right, int& order) {
  int l[3], r[3];
  // ParseVersionTriple gives A, C, B: the order in which versions rank.
  if (!ParseVersionTriple(left, l[0], l[1], l[2]) || !ParseVersionTriple(right, r[0], r[1], r[2])) return false;
  const auto a = std::tie(l[0], l[1], l[2]);
  const auto b = std::tie(r[0], r[1], r[2]);
  order = a < b ? -1 : (b < a ? 1 : 0);
  return true;
}

int ComparePreDownloadVersion(const std::string& candidate, const std::string& local, const std::string& remote) {
  int a, b, c;
  if (candidate.empty()) return kPreDownloadNoneAnnounced;
  if (local.empty()) return kPreDownloadNoLocalVersion;
  if (!ParseVersionTriple(candidate, a, b, c)) return kPreDownloadBadCandidate;
  if (!ParseVersionTriple(local, a, b, c)) return kPreDownloadBadLocal;
  if (!remote.empty() && !ParseVersionTriple(remote, a, b, c)) return kPreDownloadBadRemote;
  int order = 0;
  if (!remote.empty()) {
    int remoteToLocal = 0;
    CompareGameVersions(remote, local, remoteToLocal);
    if (remoteToLocal != 0) {
      CompareGameVersions(candidate, remote, order);
      if (order < 0) return kPreDownloadOlderThanUpdate;
      if (order > 0) return kPreDownloadNewerThanUpdate;
    }
  }
  CompareGameVersions(candidate, local, order);
  return order > 0 ? kPreDownloadUsable : kPreDownloadNotNewer;
}

std::string PreDownloadFolderOf(const std::string& version) {
  int a, b, c;
  if (!ParseVersionTriple(version, a, b, c)) return std::string();
  return NormalizePathA(GetPreDownloadFolderA(), true) + version + "\\";
}

bool ParseGateAddresses(const std::string& reply, std::vector<std::string>& dlcAddr,
                        std::vector<std::string>& preDlcAddr, std::string& error, bool withPreDownload) {
  dlcAddr.clear();
  if (withPreDownload) preDlcAddr.clear();
  Json::Value root;
  if (!ParseJson(reply, root, error)) {
    if (error.empty()) error = "the reply is empty";
    return false;
  }
  bool present = false;
  if (!ReadTextList(root, "DlcAddr", dlcAddr, present) && present) {
    error = "DlcAddr is not a list of texts";
    return false;
  }
  if (dlcAddr.empty()) {
    error = "Get DlcAddr failed";
    return false;
  }
  if (!withPreDownload) return true;
  Json::Value others;
  std::string othersText;
  if (!FindJsonMember(root, "Others", others)) return true;
  if (!JsonValueToText(others, othersText)) {
    error = "Others is not text";
    return true;
  }
  Json::Value options;
  std::string othersError;
  if (!ParseJson(othersText, options, othersError)) {
    error = othersError;
    return true;
  }
  if (!ReadTextList(options, "PreDlcAddr", preDlcAddr, present) && present) error = "PreDlcAddr is not a list of texts";
  return true;
}

bool ParsePreDownloadAddresses(const std::string& reply, std::vector<std::string>& addresses, std::string& error) {
  addresses.clear();
  Json::Value root;
  if (!ParseJson(reply, root, error)) return false;
  std::vector<std::string> info;
  bool present = false;
  if (!ReadTextList(root, "info", info, present) || info.empty()) {
    error = present ? "info is not a list of texts" : "no info";
    return false;
  }
  Json::Value first;
  if (!ParseJson(info.front(), first, error)) return false;
  if (!ReadTextList(first, "CN_pc_addr", addresses, present)) {
    error = present ? "CN_pc_addr is not a list of texts" : "no CN_pc_addr";
    return false;
  }
  return !addresses.empty();
}

// ---------------------------------------------------------------------------------------------
// The core's side: the pre-download version and folders.

std::string DoreveziCore::GetPreDownloadVersion() {
  base::CriticalSectionGuard lock(&textsLock);
  return preDownloadVersion;
}

void DoreveziCore::SetPreDownloadVersion(const std::string& version) {
  base::CriticalSectionGuard lock(&textsLock);
  preDownloadVersion = version;
}

uint64_t DoreveziCore::GetPreDownloadSize() {
  base::CriticalSectionGuard lock(&textsLock);
  return preDownloadSize;
}

void DoreveziCore::SetPreDownloadSize(uint64_t size) {
  base::CriticalSectionGuard lock(&textsLock);
  preDownloadSize = size;
}

int DoreveziCore::CheckPreDownloadComplete() {
  const std::string version = GetPreDownloadVersion();
  if (version.empty()) return -1;
  if (std::find(preDownloadFolders.begin(), preDownloadFolders.end(), version) == preDownloadFolders.end()) return 1;
  VersionMap& map = ResetVersionMap(kLocalPreDownloadVersion);
  const std::string folder = PreDownloadFolderOf(version);
  if (folder.empty()) return 1;
  std::string text;
  std::string error;
  std::string listed;
  if (!ReadWholeFileA(folder + kCompletePreDownloadList, text) || !ParseVersionMap(text, map, error)) return 1;
  return GetListVersion(text, listed) && listed == version ? 0 : 1;
}

bool DoreveziCore::HasUnfinishedPreDownload() {
  const std::string folder = PreDownloadFolderOf(GetPreDownloadVersion());
  if (folder.empty()) return false;
  HANDLE file = CreateFileA((folder + kUnfinishedPreDownloadList).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

int DoreveziCore::PurgeOldPreDownloads() {
  if (preDownloadFolders.empty()) return 0;
  const std::string local = GetVersionTexts().localGameVersion;
  if (local.empty()) return -1;
  int a, b, c;
  if (!ParseVersionTriple(local, a, b, c)) return -2;
  std::list<std::string> kept;
  for (const std::string& name : preDownloadFolders) {
    int order = 0;
    // A name that is no version is neither deleted nor kept.
    if (!CompareGameVersions(name, local, order)) continue;
    if (order > 0) {
      kept.push_back(name);
    } else {
      DeleteFolderTree(PreDownloadFolderOf(name));
    }
  }
  preDownloadFolders.swap(kept);
  return static_cast<int>(preDownloadFolders.size());
}
