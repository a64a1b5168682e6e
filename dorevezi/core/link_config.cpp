#include "dorevezi/core/link_config.h"

#include <json/json.h>

#include "dorevezi/core/json_util.h"
#include "ui/core/string_util.h"

namespace {

// The section's member of the language, else of "en"; false when it has neither.
bool FindLanguageMember(const Json::Value& section, const std::string& languageCode, Json::Value& member) {
  return FindJsonMember(section, languageCode, member) || FindJsonMember(section, "en", member);
}

// A member that is missing or not text counts as absent (empty).
std::string TextMember(const Json::Value& object, const char* name) {
  if (!object.isObject()) return std::string();
  const Json::Value& value = object[name];
  return value.isString() ? value.asString() : std::string();
}

std::wstring Wide(const std::string& utf8) {
  std::wstring out;
  ui::MultiByteToWide(utf8, out, CP_UTF8);
  return out;
}

}  // namespace

bool ParseLinkConfiguration(const std::string& text, const std::string& languageCode, LinkConfiguration& config) {
  Json::Value root;
  std::string error;
  if (!ParseJson(text, root, error) || !root.isObject()) return false;
  LinkConfiguration read;

  Json::Value section;
  if (FindJsonMember(root, "OverwriteStrings", section) && section.isArray()) {
    for (const Json::Value& element : section) {
      if (!element.isObject() || !element["key"].isString() || !element["value"].isString()) continue;
      read.overrides.emplace_back(Wide(element["key"].asString()), Wide(element["value"].asString()));
    }
  }

  Json::Value member;
  if (FindJsonMember(root, "Titles", section) && FindLanguageMember(section, languageCode, member)) {
    if (!member.isObject()) return false;
    for (const char* key : {"title_main", "title_sub"}) {
      if (member[key].isString()) read.titles[key] = Wide(member[key].asString());
    }
  }

  for (const char* name : {"Privacy", "Service"}) {
    if (FindJsonMember(root, name, section) && FindLanguageMember(section, languageCode, member) &&
        member.isString()) {
      read.links[name] = member.asString();
    }
  }

  if (FindJsonMember(root, "Forum", section) && FindLanguageMember(section, languageCode, member) &&
      member.isArray()) {
    for (const Json::Value& element : member) {
      if (!element.isObject() || !element["name"].isString()) continue;
      JumpLink link;
      link.normalImage = TextMember(element, "NormalImage");
      link.hotImage = TextMember(element, "HotImage");
      link.tooltips = TextMember(element, "Tooltips");
      if (link.normalImage.empty() || link.hotImage.empty()) continue;
      link.name = "Forum_" + element["name"].asString();
      read.links[link.name] = TextMember(element, "url");
      read.jumpLinks.push_back(link);
    }
  }

  if (FindJsonMember(root, "FAQ", section) && section.isObject()) {
    JumpLink link;
    link.normalImage = TextMember(section, "NormalImage");
    link.hotImage = TextMember(section, "HotImage");
    link.name = "FAQ";
    std::string url;
    if (FindLanguageMember(section, languageCode, member)) {
      url = TextMember(member, "url");
      link.tooltips = TextMember(member, "Tooltips");
    }
    if (!link.normalImage.empty() && !link.hotImage.empty()) {
      read.links["FAQ"] = url;
      read.jumpLinks.push_back(link);
    }
  }

  config = std::move(read);
  return true;
}
