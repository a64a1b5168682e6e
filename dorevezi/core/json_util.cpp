#include "dorevezi/core/json_util.h"

#include <exception>
#include <memory>

#include "dorevezi/core/paths.h"

bool ParseJson(const std::string& text, Json::Value& root, std::string& error) {
  if (text.empty()) return false;
  try {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value parsed;
    error.clear();
    bool ok = reader->parse(text.data(), text.data() + text.size(), &parsed, &error);
    if (!ok || !error.empty()) return false;
    root.swap(parsed);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

std::string SerializeJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "\t";
  return Json::writeString(builder, value);
}

bool WriteJsonFile(const std::string& path, const Json::Value& value) {
  return WriteWholeFileA(path, SerializeJson(value));
}

bool FindJsonMember(const Json::Value& object, const std::string& key, Json::Value& value) {
  if (!object.isObject()) return false;
  for (auto it = object.begin(); it != object.end(); ++it) {
    const Json::Value& member = *it;
    if (it.name() == key && !member.isNull()) {
      value = member;
      return true;
    }
    if (member.isArray()) {
      for (const Json::Value& element : member) {
        if (FindJsonMember(element, key, value)) return true;
      }
    }
  }
  return false;
}

bool JsonValueToText(const Json::Value& value, std::string& text) {
  if (value.isArray() || value.isObject()) return false;
  try {
    text = value.asString();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool GetJsonStringList(const Json::Value& root, const std::string& key, std::vector<std::string>& list) {
  list.clear();
  Json::Value found;
  if (!FindJsonMember(root, key, found)) return false;
  std::string text;
  if (found.isArray()) {
    for (const Json::Value& element : found) {
      if (JsonValueToText(element, text)) list.push_back(text);
    }
  } else if (JsonValueToText(found, text)) {
    list.push_back(text);
  }
  return !list.empty();
}

namespace {

template <typename StringT>
int SplitAtSeparator(const StringT& text, const StringT& separator, std::vector<StringT>& parts) {
  parts.clear();
  if (text.empty() || separator.empty()) return 0;
  typename StringT::size_type from = 0;
  for (;;) {
    typename StringT::size_type at = text.find(separator, from);
    if (at == StringT::npos) {
      parts.push_back(text.substr(from));
      break;
    }
    parts.push_back(text.substr(from, at - from));
    from = at + separator.size();
    if (from == text.size()) break;  // a trailing separator adds no empty last part
  }
  return static_cast<int>(parts.size());
}

}  // namespace

int SplitTextA(const std::string& text, const std::string& separator, std::vector<std::string>& parts) {
  return SplitAtSeparator(text, separator, parts);
}

int SplitText(const std::wstring& text, const std::wstring& separator, std::vector<std::wstring>& parts) {
  return SplitAtSeparator(text, separator, parts);
}

bool WriteStringListFile(const std::string& path, const std::list<std::string>& list) {
  Json::Value array(Json::arrayValue);
  for (const std::string& entry : list) array.append(Json::Value(entry));
  return WriteJsonFile(path, array);
}

bool ReadStringListFile(const std::string& path, std::list<std::string>& list) {
  std::string content;
  if (!ReadWholeFileA(path, content)) return false;
  Json::Value root;
  std::string error;
  if (!ParseJson(content, root, error) || !root.isArray()) return false;
  std::list<std::string> entries;
  std::string text;
  for (const Json::Value& element : root) {
    if (!JsonValueToText(element, text)) return false;
    entries.push_back(text);
  }
  list.splice(list.end(), entries);
  return true;
}
