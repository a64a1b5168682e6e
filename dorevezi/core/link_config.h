#pragma once

// The channel's link configuration, a JSON file inside the skin: title texts, the table of named
// links, the jump-link buttons and overrides of language strings. Every language-dependent section
// is read under the launcher's language code, else under "en".

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dorevezi/core/dorevezi_core.h"

struct LinkConfiguration {
  std::map<std::string, std::wstring> titles;  // "title_main", "title_sub"
  std::map<std::string, std::string> links;    // name -> URL
  std::vector<JumpLink> jumpLinks;             // in the order read, "FAQ" last
  std::vector<std::pair<std::wstring, std::wstring>> overrides;  // language key -> text
};

// Reads the configuration text. False, with `config` untouched, when the text does not parse, its
// top level is not an object, or the language's "Titles" member is not an object.
bool ParseLinkConfiguration(const std::string& text, const std::string& languageCode, LinkConfiguration& config);
