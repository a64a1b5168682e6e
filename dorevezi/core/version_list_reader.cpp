// The reader of version lists: both JSON forms, every key checked as a safe relative path. It
// needs nothing of Windows, so it is also built natively and fuzzed.

#include <climits>
#include <cstdio>
#include <exception>

#include "dorevezi/core/json_util.h"
#include "dorevezi/core/version_map.h"

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

bool IsForbiddenCharacter(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case ':':
    case '<':
    case '>':
    case '"':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens the device whatever extension follows a reserved name, and ignores blanks
// before that extension: "nul.txt" and "CON " are devices too.
bool IsReservedDeviceName(const std::string& segment) {
  std::string stem = segment.substr(0, segment.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = UpperAscii(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  std::string prefix = stem.substr(0, 3);
  if (prefix != "COM" && prefix != "LPT") return false;
  std::string number = stem.substr(3);
  if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
  // The superscript digits one, two and three (UTF-8) name the same ports.
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

bool IsSafeSegment(const std::string& segment) {
  if (segment.empty()) return false;
  // Covers "." and "..", and names Windows would silently shorten into another one.
  if (segment.back() == '.' || segment.back() == ' ') return false;
  return !IsReservedDeviceName(segment);
}

// A key as it may be shown in an error text: control and non-ASCII bytes escaped.
std::string PrintableKey(const std::string& key) {
  std::string text = "\"";
  for (unsigned char c : key) {
    if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
      char escaped[8];
      snprintf(escaped, sizeof(escaped), "\\x%02x", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text + "\"";
}

bool ReadEntrySize(const Json::Value& value, int32_t& size) {
  switch (value.type()) {
    case Json::nullValue:
      size = 0;
      return true;
    case Json::intValue: {
      Json::Int64 number = value.asInt64();
      if (number < 0 || number > INT32_MAX) return false;
      size = static_cast<int32_t>(number);
      return true;
    }
    case Json::uintValue: {
      Json::UInt64 number = value.asUInt64();
      if (number > INT32_MAX) return false;
      size = static_cast<int32_t>(number);
      return true;
    }
    case Json::realValue: {
      double number = value.asDouble();
      if (!(number >= 0.0 && number < 2147483648.0)) return false;
      size = static_cast<int32_t>(number);
      return true;
    }
    case Json::booleanValue:
      size = value.asBool() ? 1 : 0;
      return true;
    default:
      return false;
  }
}

}  // namespace
bool IsSafeRelativePath(const std::string& key) {
  if (key.empty() || IsSeparator(key.front())) return false;
  for (unsigned char c : key) {
    if (IsForbiddenCharacter(c)) return false;
  }
  std::string::size_type start = 0;
  for (;;) {
    std::string::size_type end = key.find_first_of("/\\", start);
    std::string segment = key.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!IsSafeSegment(segment)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

bool VersionMapFromJson(const Json::Value& root, VersionMap& map, std::string* error) {
  auto reject = [error](const std::string& reason) {
    if (error) *error = reason;
    return false;
  };
  if (!root.isObject()) return reject("the version list is not a JSON object");
  const Json::Value& list = root["list"];
  const Json::Value* entries = &root;
  if (!list.isNull()) {
    if (!list.isObject()) return reject("the member \"list\" of the version list is not an object");
    entries = &list;
  }
  VersionMap parsed;
  for (auto it = entries->begin(); it != entries->end(); ++it) {
    const std::string key = it.name();
    const Json::Value& entry = *it;
    if (!IsSafeRelativePath(key)) return reject("unsafe path in the version list: " + PrintableKey(key));
    VersionMapEntry& target = parsed[key];
    if (entry.isNull()) continue;
    if (!entry.isObject())
      return reject("the entry " + PrintableKey(key) + " of the version list is not an object");
    if (!JsonValueToText(entry["md5"], target.md5)) {
      return reject("the entry " + PrintableKey(key) + " has an md5 that is not text");
    }
    if (!ReadEntrySize(entry["size"], target.size)) {
      return reject("the entry " + PrintableKey(key) + " has a size outside 0.." + std::to_string(INT32_MAX));
    }
  }
  map.swap(parsed);
  return true;
}

bool ParseVersionMap(const std::string& text, VersionMap& map, std::string& error) {
  if (text.empty()) {
    error = "the version list is empty";
    return false;
  }
  Json::Value root;
  if (!ParseJson(text, root, error)) return false;
  return VersionMapFromJson(root, map, &error);
}

bool IsJsonText(const char* bytes, size_t length, std::string& error) {
  if (!bytes || length == 0) return false;
  Json::Value root;
  return ParseJson(std::string(bytes, length), root, error);
}

bool GetListVersion(const std::string& text, std::string& version) {
  Json::Value root;
  std::string error;
  if (!ParseJson(text, root, error)) return false;
  Json::Value found;
  if (!FindJsonMember(root, kVersionEntryName, found)) return false;
  if (found.isString()) {
    version = found.asString();
    return true;
  }
  // A version entry whose md5 is an array or object names no version.
  return found.isObject() && JsonValueToText(static_cast<const Json::Value&>(found)["md5"], version);
}
