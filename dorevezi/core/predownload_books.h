#pragma once

// Bookkeeping of the pre-download of the next game release: the folder of a release under
// "update\predownload", the comparison that decides whether an announced release is usable, and
// the readers of the two gate replies that carry pre-download addresses. The folder tests and the
// purge are DoreveziCore's (CheckPreDownloadComplete, HasUnfinishedPreDownload,
// PurgeOldPreDownloads).

#include <string>
#include <vector>

// In a release's pre-download folder: the list of the release while its files are fetched, and
// under its final name once all are there.
constexpr char kUnfinishedPreDownloadList[] = "tmp_predownload_version_map.txt";
constexpr char kCompletePreDownloadList[] = "predownload_version_map.txt";

// Results of ComparePreDownloadVersion.
enum PreDownloadComparison : int {
  kPreDownloadUsable = 1,
  kPreDownloadNoneAnnounced = 0,
  kPreDownloadNoLocalVersion = -1,
  kPreDownloadBadCandidate = -2,
  kPreDownloadBadLocal = -3,
  kPreDownloadBadRemote = -4,
  kPreDownloadNewerThanUpdate = -5,   // "STRING_ERROR_DLC_FIRST"
  kPreDownloadNotNewer = -6,          // "STRING_ERROR_DLC_LAST"
  kPreDownloadOlderThanUpdate = -7,   // "STRING_ERROR_DLC_OUTDATED"
};

// Orders two game versions "A_B_C" by A, then C, then B: -1, 0 or 1 in `order`. False when either
// is not three decimal parts.
bool CompareGameVersions(const std::string& left, const std::string& right, int& order);

// Whether the candidate pre-download version can be fetched over the installed (`local`) and the
// current (`remote`, may be empty) game version; see PreDownloadComparison.
int ComparePreDownloadVersion(const std::string& candidate, const std::string& local, const std::string& remote);

// ".\update\predownload\<version>\", or empty when the version is not three decimal parts: a
// version text from a server never names any other folder.
std::string PreDownloadFolderOf(const std::string& version);

// The gate's "get/urls" reply: the game's content servers ("DlcAddr", required: false with "Get
// DlcAddr failed" when there are none) and, when asked, the pre-download servers ("PreDlcAddr" in
// the text of "Others"; missing or unreadable leaves the list empty, the reason in `error`).
// A member that is not text is an unreadable member.
bool ParseGateAddresses(const std::string& reply, std::vector<std::string>& dlcAddr,
                        std::vector<std::string>& preDlcAddr, std::string& error, bool withPreDownload);

// The gate's "pre_download" reply: "CN_pc_addr" of the JSON text that is the first element of
// "info". True when that list is not empty.
bool ParsePreDownloadAddresses(const std::string& reply, std::vector<std::string>& addresses, std::string& error);
