#pragma once

// Version maps (lists of files with their MD5 and size, plus the version they belong to),
// their comparison, version texts, and the apply list that lets an interrupted game update
// resume.
//
// JSON forms, both read by the same parser:
//   list form: {"version": text, "list": {path: {"md5": text, "size": integer}, ...}}
//   flat form: {path: {"md5": text, "size": integer}, ..., "version": {"md5": version, ...}}
// The keys come from the network and later become file paths, so a map is accepted only when
// every key is a safe relative path (see IsSafeRelativePath) and every entry is well formed.

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>

struct VersionMapEntry {
  std::string md5;   // 32 lower-case hexadecimal digits in every file the launcher makes
  int32_t size = 0;  // bytes
};

// Relative path ("/" separated) to entry, in byte order of the path. The entry "version", when
// present, carries the map's version text in its md5 field.
using VersionMap = std::map<std::string, VersionMapEntry>;
// The core's table of named maps.
using VersionMapTable = std::map<std::string, VersionMap>;

// The twelve named maps, in the order they are reset when the worker thread starts.
constexpr char kDoreveziPatchVersion[] = "_dorevezi_patch_version_";
constexpr char kLocalDoreveziVersion[] = "_local_dorevezi_version_";
constexpr char kRemoteDoreveziVersion[] = "_remote_dorevezi_version_";
constexpr char kUpdateDoreveziVersion[] = "_update_dorevezi_version_";
constexpr char kGamePatchVersion[] = "_game_patch_version_";
constexpr char kLocalGameVersion[] = "_local_game_version_";
constexpr char kRemoteGameVersion[] = "_remote_game_version_";
constexpr char kUpdateGameVersion[] = "_update_game_version_";
constexpr char kPreDownloadPatchVersion[] = "_predownload_patch_version_";
constexpr char kLocalPreDownloadVersion[] = "_local_predownload_version_";
constexpr char kRemotePreDownloadVersion[] = "_remote_predownload_version_";
constexpr char kUpdatePreDownloadVersion[] = "_update_predownload_version_";
constexpr const char* kVersionMapKeys[] = {
    kDoreveziPatchVersion,    kLocalDoreveziVersion,    kRemoteDoreveziVersion,    kUpdateDoreveziVersion,
    kGamePatchVersion,        kLocalGameVersion,        kRemoteGameVersion,        kUpdateGameVersion,
    kPreDownloadPatchVersion, kLocalPreDownloadVersion, kRemotePreDownloadVersion, kUpdatePreDownloadVersion,
};

// The name of the version entry of a flat map and of the version member of both forms.
constexpr char kVersionEntryName[] = "version";

// Replaces the map under `key` by an empty one (creating it) and returns it.
VersionMap& ResetVersionMap(VersionMapTable& table, const std::string& key);

// Whether a key of a version list may be used as a path below a folder: not empty, not
// absolute, no drive or ":", no empty, "." or ".." segment (neither with "/" nor with "\"),
// no control character or character Windows refuses in names, no segment ending in a dot or
// blank, and no reserved device name (CON, NUL, COM1, ...).
bool IsSafeRelativePath(const std::string& key);

// Empties the map and reads the file into it. False (map empty, `error` set where the parser
// gave a message) when the file cannot be read or is not an acceptable version list.
bool LoadVersionMapFile(const std::wstring& path, VersionMap& map, std::string& error);
// Parses a version list. False, with the map untouched, for an empty text, invalid JSON or a
// rejected list (`error` says why).
bool ParseVersionMap(const std::string& text, VersionMap& map, std::string& error);
// Fills the map from a parsed document: the members of "list" when it is present and not null,
// else the document's own members. Each entry must be an object (or null, an empty entry)
// whose "md5" converts to text and whose "size" is within 0..INT32_MAX; absent members give an
// empty md5 and size 0. False, with the map untouched, when the document, an entry or a key is
// not acceptable (the reason in `error` when given).
bool VersionMapFromJson(const Json::Value& root, VersionMap& map, std::string* error = nullptr);

// True when the bytes are not empty and parse as JSON without an error text.
bool IsJsonText(const char* bytes, size_t length, std::string& error);

// Compares the local map with the remote one. toFetch := the remote entries whose path is
// missing locally or whose md5 differs byte for byte (sizes are not compared; the entry
// "version" never); the local map is consumed: the paths the remote map does not list remain
// in it and are appended, in path order, to `localOnly`. With an empty local map every remote
// entry is fetched.
void DiffVersionMaps(VersionMap& local, const VersionMap& remote, VersionMap& toFetch,
                     std::list<std::string>& localOnly);

// The md5 field of the entry "version", or empty.
std::string GetMapVersion(const VersionMap& map);
// The version of a list text in either form: the first non-null member "version" as text, or
// its member "md5" when it is an object. False (version untouched) when there is none.
bool GetListVersion(const std::string& text, std::string& version);
// The version of a map file: `version` := `defaultVersion`, then the first non-null member
// "version" (FindJsonMember) as text, or its member "md5" when it is an object.
void ReadMapFileVersion(const std::wstring& path, std::string& version, const std::string& defaultVersion);

// "A_B_C" shown as the groups of A (millions, ten-thousands, hundreds, the rest), then C and
// B: 10077_3_5 gives 1.0.77.5.3. A text that is not three parts or whose A is not a decimal
// number within 32 bits is shown unchanged.
void FormatDisplayVersion(const std::string& internal, std::string& display);

// The apply list of a game update: the version being applied and the paths already applied.
struct ApplyList {
  std::string version;
  std::list<std::string> fileList;
};

// Reads {"version": text, "fileList": [text, ...]}. False when the file cannot be read or
// parsed or is not an object, when "version" is not text (out untouched) or when "fileList"
// is not an array of texts (out's version already replaced, its list untouched).
bool ReadApplyList(const std::string& path, ApplyList& out);
// Writes the file only when the version and the list are both non-empty (otherwise an earlier
// file remains). False only when a write was made and failed.
bool WriteApplyList(const std::string& path, const ApplyList& list);
