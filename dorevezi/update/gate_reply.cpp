#include "dorevezi/update/gate_reply.h"

#include <climits>

#include "dorevezi/core/json_util.h"

std::vector<std::string> ReadDlcAddr(const Json::Value& value) {
  std::vector<std::string> urls;
  std::string text;
  if (value.isArray()) {
    for (const Json::Value& element : value) {
      if (JsonValueToText(element, text)) urls.push_back(text);
    }
  } else if (JsonValueToText(value, text)) {
    urls.push_back(text);
  }
  return urls;
}

bool ReadDoreveziGateReply(const char* body, size_t size, DoreveziGateReply& reply, std::string& error) {
  Json::Value root;
  if (!body || !ParseJson(std::string(body, size), root, error)) {
    if (error.empty()) error = "the reply is empty";
    return false;
  }
  Json::Value others;
  std::string othersText;
  if (!FindJsonMember(root, "Others", others) || !JsonValueToText(others, othersText)) {
    error = "the reply has no \"Others\" text";
    return false;
  }
  Json::Value options;
  if (!ParseJson(othersText, options, error)) {
    if (error.empty()) error = "the \"Others\" text is empty";
    return false;
  }
  Json::Value value;
  if (FindJsonMember(options, "PatchOption", value) && value.isInt()) {
    reply.hasPatchOption = true;
    reply.patchOption = value.asInt();
  }
  if (FindJsonMember(options, "UseWebExtraParam", value) && value.isBool()) {
    reply.hasUseWebExtraParam = true;
    reply.useWebExtraParam = value.asBool();
  }
  if (FindJsonMember(options, "DeleteLogTXT", value) && value.isBool()) {
    reply.hasDeleteLogTxt = true;
    reply.deleteLogTxt = value.asBool();
  }
  if (FindJsonMember(options, "PreDlcCheck", value) && value.isBool()) {
    reply.hasPreDlcCheck = true;
    reply.preDlcCheck = value.asBool();
  }
  if (FindJsonMember(options, "TransToGame", value)) {
    reply.hasTransToGame = true;
    reply.transToGame = value;
  }
  if (!FindJsonMember(options, "DlcAddr", value)) return true;
  reply.hasDlcAddr = true;
  reply.cdnUrls = ReadDlcAddr(value);
  if (FindJsonMember(options, "ActivityAddr", value) && value.isString()) {
    reply.hasActivityAddr = true;
    reply.activityAddr = value.asString();
  }
  std::string text;
  if (FindJsonMember(options, "ForceUpdateDorevezi", value) && JsonValueToText(value, text) && !text.empty()) {
    reply.forceUpdateDorevezi = true;
  }
  return true;
}

bool ReadGameGateReply(const char* body, size_t size, GameGateReply& reply, std::string& errorText) {
  Json::Value root;
  std::string error;
  if (!body || !ParseJson(std::string(body, size), root, error)) {
    errorText = "Parse Failed:" + error;
    return false;
  }
  Json::Value dlcAddr;
  if (!FindJsonMember(root, "DlcAddr", dlcAddr)) {
    errorText = "Invalid DlcAddr";
    return false;
  }
  reply.cdnUrls = ReadDlcAddr(dlcAddr);
  Json::Value cdn;
  std::string text;
  if (FindJsonMember(root, "CDN", cdn) && JsonValueToText(cdn, text)) {
    VersionMap map;
    if (ParseVersionMap(text, map, error)) {
      reply.hasInlineList = true;
      reply.inlineText = text;
      reply.inlineMap.swap(map);
      GetListVersion(text, reply.inlineVersion);
    }
  }
  return true;
}
