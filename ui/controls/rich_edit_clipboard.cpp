#include "ui/controls/rich_edit_clipboard.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace ui {

bool PutClipboardText(const std::wstring& text) {
  if (!OpenClipboard(nullptr)) return false;
  if (EmptyClipboard()) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
      if (void* target = GlobalLock(block)) {
        std::memcpy(target, text.c_str(), bytes);
        GlobalUnlock(block);
        // The clipboard owns the block once it accepts it.
        if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
      } else {
        GlobalFree(block);
      }
    }
  }
  CloseClipboard();
  return true;
}

bool ReadClipboardText(std::wstring* text) {
  text->clear();
  if (!OpenClipboard(nullptr)) return false;
  bool found = false;
  if (HANDLE block = IsClipboardFormatAvailable(CF_UNICODETEXT) ? GetClipboardData(CF_UNICODETEXT) : nullptr) {
    if (const wchar_t* data = static_cast<const wchar_t*>(GlobalLock(block))) {
      const size_t units = GlobalSize(block) / sizeof(wchar_t);
      size_t length = 0;
      while (length < units && data[length] != 0) ++length;
      text->assign(data, length);
      GlobalUnlock(block);
      found = true;
    }
  } else if (HANDLE ansi = IsClipboardFormatAvailable(CF_TEXT) ? GetClipboardData(CF_TEXT) : nullptr) {
    if (const char* data = static_cast<const char*>(GlobalLock(ansi))) {
      const size_t bytes = GlobalSize(ansi);
      size_t length = 0;
      while (length < bytes && data[length] != 0) ++length;
      if (length > 0) {
        const int units = MultiByteToWideChar(CP_ACP, 0, data, static_cast<int>(length), nullptr, 0);
        if (units > 0) {
          text->resize(static_cast<size_t>(units));
          MultiByteToWideChar(CP_ACP, 0, data, static_cast<int>(length), &(*text)[0], units);
        }
      }
      GlobalUnlock(ansi);
      found = true;
    }
  }
  CloseClipboard();
  return found;
}

std::wstring KeepDigits(const std::wstring& text) {
  std::wstring digits;
  for (wchar_t c : text)
    if (c >= L'0' && c <= L'9') digits += c;
  return digits;
}

DigitsPaste PrepareDigitsPaste(std::wstring* digits) {
  digits->clear();
  std::wstring text;
  if (!ReadClipboardText(&text) || text.empty()) return DigitsPaste::kForwardKey;
  *digits = KeepDigits(text);
  return digits->empty() ? DigitsPaste::kDrop : DigitsPaste::kInsert;
}

}  // namespace ui
