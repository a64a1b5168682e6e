#pragma once

// JSON reading and writing with jsoncpp, member look-up in server replies, text splitting,
// and the list files of the self-update (".\update\cef_update.txt", ".\update\font_update.txt":
// a JSON array of relative paths). No state; any thread may call them.

#include <json/json.h>

#include <list>
#include <string>
#include <vector>

// jsoncpp's reader with its default settings. False for an empty text, a parse error or a
// document the reader refuses to finish (for instance nested too deep); `error` then holds
// the reader's message.
bool ParseJson(const std::string& text, Json::Value& root, std::string& error);

// The launcher's JSON file style: jsoncpp's stream writer with its defaults and one tab of
// indentation (members in byte order of their names, non-ASCII as \u escapes, no final
// line break).
std::string SerializeJson(const Json::Value& value);
// Serialises and replaces the file (WriteWholeFileA); false when the write failed.
bool WriteJsonFile(const std::string& path, const Json::Value& value);

// Finds the first non-null member named `key`: the object's own members in name order, and
// inside them the objects held by array members (objects held by object members are not
// searched). False when `object` is not an object or nothing matches.
bool FindJsonMember(const Json::Value& object, const std::string& key, Json::Value& value);

// jsoncpp's as-string conversion without its exception: false for arrays and objects.
bool JsonValueToText(const Json::Value& value, std::string& text);

// The member found by FindJsonMember as a list of texts: each element of an array (elements
// that are arrays or objects are skipped), or the single value. True when the list is not
// empty.
bool GetJsonStringList(const Json::Value& root, const std::string& key, std::vector<std::string>& list);

// Cuts at every whole, non-overlapping occurrence of `separator`; empty parts are kept except
// a last one after a trailing separator. Returns the number of parts (0 when the text or the
// separator is empty).
int SplitTextA(const std::string& text, const std::string& separator, std::vector<std::string>& parts);
int SplitText(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& parts);

// Writes the list as a JSON array of texts; false when the write failed.
bool WriteStringListFile(const std::string& path, const std::list<std::string>& list);
// Appends the texts of the file's array to `list`. False, with `list` untouched, when the
// file cannot be read, does not parse, is not an array or holds an array or object element.
bool ReadStringListFile(const std::string& path, std::list<std::string>& list);
