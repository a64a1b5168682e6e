#include "ui/core/string_util.h"

#include <windows.h>

#include <cwchar>
#include <memory>

namespace ui {

namespace {

constexpr size_t kStackFormatChars = 1024;
constexpr size_t kMaxFormatChars = 0x2000000;

// The runtime's legacy bounded formatter: "%s" is a wide string and a text that
// does not fit gives -1. msvcrt also returns the full count (with no terminator)
// when the text fills the buffer exactly; that is "did not fit" too.
int FormatInto(wchar_t* buffer, size_t size, const wchar_t* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int written = _vsnwprintf(buffer, size, format, copy);
  va_end(copy);
  if (written >= 0 && static_cast<size_t>(written) >= size) return -1;
  return written;
}

template <typename StringT>
int ReplaceAll(const StringT& find, const StringT& replacement, StringT& target) {
  if (find.empty()) return 0;
  int count = 0;
  StringT result;
  typename StringT::size_type from = 0;
  for (;;) {
    typename StringT::size_type at = target.find(find, from);
    if (at == StringT::npos) break;
    if (count == 0) result.reserve(target.size());
    result.append(target, from, at - from);
    result.append(replacement);
    from = at + find.size();
    ++count;
  }
  if (count == 0) return 0;
  result.append(target, from, StringT::npos);
  target.swap(result);
  return count;
}

}  // namespace

void AppendFormatV(const wchar_t* format, va_list args, std::wstring& target) {
  wchar_t stackBuffer[kStackFormatChars];
  int written = FormatInto(stackBuffer, kStackFormatChars, format, args);
  if (written >= 0) {
    target.append(stackBuffer, written);
    return;
  }
  if (written != -1) return;
  for (size_t size = kStackFormatChars * 2; size <= kMaxFormatChars; size *= 2) {
    std::unique_ptr<wchar_t[]> heapBuffer(new (std::nothrow) wchar_t[size]);
    if (!heapBuffer) return;
    written = FormatInto(heapBuffer.get(), size, format, args);
    if (written >= 0) {
      target.append(heapBuffer.get(), written);
      return;
    }
    if (written != -1) return;
  }
}

std::wstring FormatString(const wchar_t* format, ...) {
  std::wstring result;
  va_list args;
  va_start(args, format);
  AppendFormatV(format, args, result);
  va_end(args);
  return result;
}

bool Utf8ToWide(const char* text, std::wstring& out) {
  int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (needed < 1) return false;
  std::wstring converted(needed, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &converted[0], needed);
  converted.resize(needed - 1);
  out.swap(converted);
  return true;
}

bool WideToUtf8(const wchar_t* text, std::string& out) {
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed < 1) return false;
  std::string converted(needed, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &converted[0], needed, nullptr, nullptr);
  converted.resize(needed - 1);
  out.swap(converted);
  return true;
}

bool MultiByteToWide(const std::string& text, std::wstring& out, unsigned int codePage) {
  out.clear();
  if (text.empty()) return true;
  int needed = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (needed <= 0) return true;
  out.resize(needed);
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], needed);
  return true;
}

bool WideToMultiByte(const std::wstring& text, std::string& out, unsigned int codePage) {
  out.clear();
  if (text.empty()) return true;
  int needed = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  if (needed <= 0) return true;
  out.resize(needed);
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], needed, nullptr,
                      nullptr);
  return true;
}

std::wstring& TrimTrailingBlanks(std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == L' ' || text[end - 1] < 30)) --end;
  text.resize(end);
  return text;
}

std::list<std::wstring> SplitString(const std::wstring& text, const std::wstring& delimiters) {
  std::list<std::wstring> tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t begin = text.find_first_not_of(delimiters, pos);
    if (begin == std::wstring::npos) break;
    size_t end = text.find_first_of(delimiters, begin);
    if (end == std::wstring::npos) end = text.size();
    tokens.push_back(text.substr(begin, end - begin));
    pos = end;
  }
  return tokens;
}

int ReplaceAllNarrow(const std::string& find, const std::string& replacement, std::string& target) {
  return ReplaceAll(find, replacement, target);
}

int ReplaceAllWide(const std::wstring& find, const std::wstring& replacement, std::wstring& target) {
  return ReplaceAll(find, replacement, target);
}

std::wstring NormalizePath(const std::wstring& path) {
  std::wstring result = path;
  ReplaceAllWide(L"/", L"\\", result);
  ReplaceAllWide(L"\\\\", L"\\", result);
  return result;
}

int ParseNumberList(const std::wstring& text, int32_t* values, int count) {
  for (int i = 0; i < count; ++i) values[i] = 0;
  const wchar_t* cursor = text.c_str();
  const wchar_t* const end = cursor + text.size();
  int read = 0;
  while (read < count && cursor < end) {
    wchar_t* stop = nullptr;
    values[read++] = static_cast<int32_t>(wcstol(cursor, &stop, 10));
    // One separator after each number, but never beyond the text.
    if (stop >= end) break;
    cursor = stop + 1;
  }
  return read;
}

Rect ParseRectNumbers(const std::wstring& text) {
  int32_t values[4];
  ParseNumberList(text, values, 4);
  Rect rect;
  rect.left = values[0];
  rect.top = values[1];
  rect.right = values[2];
  rect.bottom = values[3];
  return rect;
}

bool RunEventHandlers(const EventHandlerList& handlers, EventArgs* args) {
  for (const EventHandler& handler : handlers) {
    if (!handler(args)) return false;
  }
  return true;
}

}  // namespace ui
