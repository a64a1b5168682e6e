#include "ui/resources/language_table.h"

#include <cstdio>
#include <cstring>
#include <list>

#include "ui/core/string_util.h"

namespace ui {

namespace {

// fgets' buffer: a longer line arrives as several lines.
constexpr int kLineBufferBytes = 4096;

bool IsLanguageBlank(wchar_t c) { return c == L' ' || c < 30; }

std::wstring TrimBlanks(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsLanguageBlank(text[begin])) ++begin;
  while (end > begin && IsLanguageBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

void ReplaceLineBreakPairs(std::wstring& text) {
  ReplaceAllWide(L"\\r", L"\r", text);
  ReplaceAllWide(L"\\n", L"\n", text);
}

void ReplaceLineBreakPairs(std::string& text) {
  ReplaceAllNarrow("\\r", "\r", text);
  ReplaceAllNarrow("\\n", "\n", text);
}

// Filled texts are shown from 260-character buffers, terminator included.
constexpr size_t kMaxFilledChars = 259;

}  // namespace

std::wstring FillLanguageText(const std::wstring& key, const std::wstring& argument) {
  std::wstring text = LanguageTable::Instance()->Lookup(key);
  for (size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at + 1)) {
    const size_t length = text.compare(at, 2, L"%s") == 0 ? 2 : text.compare(at, 3, L"%ls") == 0 ? 3 : 0;
    if (length == 0) continue;
    text.replace(at, length, argument);
    break;
  }
  if (text.size() > kMaxFilledChars) text.resize(kMaxFilledChars);
  return text;
}

std::wstring PrepareLanguageLine(const char* bytes, size_t length) {
  std::wstring wide;
  MultiByteToWide(std::string(bytes, length), wide, CP_UTF8);
  return TrimBlanks(wide);
}

LanguageTable* LanguageTable::Instance() {
  static LanguageTable table;
  return &table;
}

void LanguageTable::Clear() {
  std::lock_guard<std::mutex> hold(lock_);
  texts_.clear();
  overrides_.clear();
}

void LanguageTable::ReplaceTexts(TextMap texts) {
  TextMap oldOverrides;
  {
    std::lock_guard<std::mutex> hold(lock_);
    texts_.swap(texts);
    overrides_.swap(oldOverrides);
  }
  // The old maps (now in `texts` and `oldOverrides`) are freed here, outside the lock.
}

bool LanguageTable::LoadFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rt");
  if (file == nullptr) {
    Clear();
    return false;
  }
  std::vector<std::wstring> lines;
  char buffer[kLineBufferBytes];
  while (std::fgets(buffer, kLineBufferBytes, file) != nullptr) {
    std::wstring line = PrepareLanguageLine(buffer, std::strlen(buffer));
    if (!line.empty()) lines.push_back(std::move(line));
  }
  std::fclose(file);
  TextMap texts;
  EnterLines(lines, texts);
  ReplaceTexts(std::move(texts));
  return true;
}

bool LanguageTable::LoadFromMemory(HGLOBAL block) {
  std::vector<std::wstring> lines;
  const char* bytes = block != nullptr ? static_cast<const char*>(GlobalLock(block)) : nullptr;
  if (bytes != nullptr) {
    const size_t size = GlobalSize(block);
    // Lines end at LF and at NUL; the block's end ends the last one.
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
      if (i < size && bytes[i] != '\n' && bytes[i] != '\0') continue;
      std::wstring line = PrepareLanguageLine(bytes + start, i - start);
      if (!line.empty()) lines.push_back(std::move(line));
      start = i + 1;
    }
    GlobalUnlock(block);
  }
  TextMap texts;
  EnterLines(lines, texts);
  ReplaceTexts(std::move(texts));
  return true;
}

void LanguageTable::EnterLines(const std::vector<std::wstring>& lines, TextMap& texts) {
  for (const std::wstring& line : lines) {
    std::list<std::wstring> pieces = SplitString(line, L"=");
    if (pieces.size() != 2) continue;
    std::wstring key = TrimBlanks(pieces.front());
    if (key.find(L';') != std::wstring::npos) continue;
    texts[key] = TrimBlanks(pieces.back());
  }
}

bool LanguageTable::ParseLines(const std::vector<std::wstring>& lines) {
  if (lines.empty()) return false;
  TextMap entered;
  EnterLines(lines, entered);
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& entry : entered) texts_[entry.first] = std::move(entry.second);
  return true;
}

void LanguageTable::SetOverride(const std::wstring& key, const std::wstring& text) {
  std::lock_guard<std::mutex> hold(lock_);
  overrides_[key] = text;
}

bool LanguageTable::FindText(const std::wstring& key, std::wstring& text) const {
  if (key.empty()) return false;
  std::lock_guard<std::mutex> hold(lock_);
  auto found = texts_.find(key);
  if (found == texts_.end()) return false;
  auto overridden = overrides_.find(key);
  text = overridden != overrides_.end() ? overridden->second : found->second;
  return true;
}

std::wstring LanguageTable::Lookup(const std::wstring& key) const {
  std::wstring text;
  if (!FindText(key, text)) return std::wstring();
  ReplaceLineBreakPairs(text);
  return text;
}

std::string LanguageTable::LookupUtf8(const std::string& keyUtf8) const {
  std::wstring key;
  MultiByteToWide(keyUtf8, key, CP_UTF8);
  std::wstring text;
  if (!FindText(key, text)) return std::string();
  std::string utf8;
  WideToMultiByte(text, utf8, CP_UTF8);
  ReplaceLineBreakPairs(utf8);
  return utf8;
}

}  // namespace ui
