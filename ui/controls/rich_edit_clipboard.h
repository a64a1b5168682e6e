#pragma once

// Clipboard text for the rich edit's digits-only paste: the edit reads the text, keeps its
// digits and inserts them itself, leaving the user's clipboard as it was.

#include <string>

namespace ui {

// Replaces the clipboard by `text` as Unicode text. False when the clipboard can't be opened.
bool PutClipboardText(const std::wstring& text);

// The clipboard's text: Unicode text, else ANSI text converted from the ANSI code page. Reads
// up to the terminating zero and never past the block. False (and `text` empty) when the
// clipboard can't be opened or holds no text.
bool ReadClipboardText(std::wstring* text);

// The characters '0' to '9' of `text`, in order.
std::wstring KeepDigits(const std::wstring& text);

// What Ctrl+V does in a digits-only edit, decided from the clipboard without changing it.
enum class DigitsPaste {
  kForwardKey,  // no clipboard text: the key goes on to the text services
  kInsert,      // the edit inserts `digits` in place of the selection (EM_REPLACESEL)
  kDrop,        // text without digits: nothing happens
};
DigitsPaste PrepareDigitsPaste(std::wstring* digits);

}  // namespace ui
