#pragma once

// Readers of the gate service's reply to "get/urls": the launcher's options (inside the text of
// "Others") and the game's content servers with an optional inline version list ("CDN"). They
// only read; the prepare state applies what they found. Every list goes through the version-map
// reader, which refuses unsafe paths.

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dorevezi/core/version_map.h"

struct DoreveziGateReply {
  bool hasPatchOption = false;
  int32_t patchOption = 0;
  bool hasUseWebExtraParam = false;
  bool useWebExtraParam = false;
  bool hasDeleteLogTxt = false;
  bool deleteLogTxt = false;
  bool hasPreDlcCheck = false;
  bool preDlcCheck = false;
  bool hasTransToGame = false;
  Json::Value transToGame;
  // "DlcAddr" present: the launcher's content servers, the activity address and the force flag.
  bool hasDlcAddr = false;
  std::vector<std::string> cdnUrls;
  bool hasActivityAddr = false;
  std::string activityAddr;
  bool forceUpdateDorevezi = false;
};

// False when the body is not JSON or has no readable "Others" (`error` says why); the options
// read so far are set either way. True means "Others" was read; `hasDlcAddr` says the rest.
bool ReadDoreveziGateReply(const char* body, size_t size, DoreveziGateReply& reply, std::string& error);

struct GameGateReply {
  std::vector<std::string> cdnUrls;
  // A valid inline list: its text unchanged, the map and its version (either form).
  bool hasInlineList = false;
  std::string inlineText;
  VersionMap inlineMap;
  std::string inlineVersion;
};

// False with the error text of the game flow: "Parse Failed:" and the reader's message, or
// "Invalid DlcAddr". An inline "CDN" that is not a valid list is left out silently.
bool ReadGameGateReply(const char* body, size_t size, GameGateReply& reply, std::string& errorText);

// The content servers of "DlcAddr" as found by FindJsonMember: each element of an array as
// text, any other value as its one element.
std::vector<std::string> ReadDlcAddr(const Json::Value& value);
