#pragma once

// The texts of the current language, looked up by key ("STRING_..."). Until the skin's language
// table exists, the table holds the launcher's Simplified Chinese texts for the keys the update
// engine and its boxes use. Any thread may look up; a reload replaces the table whole, so a
// lookup on the worker thread never sees a half-built table.

#include <map>
#include <string>

// The text of `key`, or empty when the table has none (callers show an empty text then).
std::wstring LookupLanguageText(const std::string& key);
// The same text as UTF-8.
std::string LookupLanguageTextUtf8(const std::string& key);
// Replaces the whole table (a language switch).
void ReplaceLanguageTexts(std::map<std::string, std::wstring> texts);
// Puts back the built-in Simplified Chinese texts.
void ResetLanguageTexts();
