#pragma once

// The process-wide table of the current language's texts ("STRING_" keys), loaded from the
// skin's "lang\<code>.ini", with per-key overrides from the channel's link configuration.
// Loads run on the UI thread while look-ups also come from the worker thread: the maps are
// guarded by one lock, look-ups return copies, and a load swaps in a complete table at once.

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace ui {

class LanguageTable {
 public:
  static LanguageTable* Instance();

  // Replaces the content with the file's entries; false only when the file cannot be opened
  // (the table is then empty).
  bool LoadFile(const std::wstring& path);
  // The same over a movable global memory block holding the file's bytes; reads no further
  // than the block's size. The block stays the caller's. Always true.
  bool LoadFromMemory(HGLOBAL block);
  // Enters "KEY = TEXT" lines (split at "="; exactly two pieces; a key holding ";" is a
  // comment). False when the list is empty.
  bool ParseLines(const std::vector<std::wstring>& lines);
  void Clear();
  // Replaces the text of a key, but only of one the language file defines.
  void SetOverride(const std::wstring& key, const std::wstring& text);

  // The text for display ("\r" and "\n" pairs become line breaks); empty for an unknown key.
  std::wstring Lookup(const std::wstring& key) const;
  std::string LookupUtf8(const std::string& keyUtf8) const;

 private:
  using TextMap = std::map<std::wstring, std::wstring>;

  static void EnterLines(const std::vector<std::wstring>& lines, TextMap& texts);
  // Installs freshly loaded texts and drops the overrides.
  void ReplaceTexts(TextMap texts);
  // The stored text with its override applied; false for an empty or unknown key.
  bool FindText(const std::wstring& key, std::wstring& text) const;

  mutable std::mutex lock_;
  TextMap texts_;
  TextMap overrides_;
};

// The text of `key` with its first "%ls" or "%s" replaced by `argument`: the one placeholder a
// language text may hold. Nothing else is read as a format: "%d", "%n" and any later placeholder
// stay as written. Cut to 259 characters, as the 260-character buffers these texts are shown
// from.
std::wstring FillLanguageText(const std::wstring& key, const std::wstring& argument);

// One line of a language file: UTF-8 to UTF-16 with spaces and code units below 30 removed at
// both ends.
std::wstring PrepareLanguageLine(const char* bytes, size_t length);

}  // namespace ui
