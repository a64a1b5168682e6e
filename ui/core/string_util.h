#pragma once

// Text helpers shared by the UI framework, the launcher core and the update engine.
// They keep no state and may be called from any thread.

#include <cstdarg>
#include <list>
#include <string>

#include "ui/core/events.h"

namespace ui {

// printf-style formatting into a new wide string ("%s" takes a wide string).
std::wstring FormatString(const wchar_t* format, ...);
// Appends the formatted text to `target`; nothing is appended when formatting fails.
void AppendFormatV(const wchar_t* format, va_list args, std::wstring& target);

// Zero-terminated conversions: false when the system conversion yields nothing.
bool Utf8ToWide(const char* text, std::wstring& out);
bool WideToUtf8(const wchar_t* text, std::string& out);
// Whole-length conversions with a code page (0 is the system's ANSI code page); always true.
bool MultiByteToWide(const std::string& text, std::wstring& out, unsigned int codePage);
bool WideToMultiByte(const std::wstring& text, std::string& out, unsigned int codePage);

// Removes trailing spaces and control characters below 30.
std::wstring& TrimTrailingBlanks(std::wstring& text);
// Cuts at any of the delimiter characters; never yields an empty token.
std::list<std::wstring> SplitString(const std::wstring& text, const std::wstring& delimiters);
// Replaces every non-overlapping occurrence, left to right; returns the count.
int ReplaceAllNarrow(const std::string& find, const std::string& replacement, std::string& target);
int ReplaceAllWide(const std::wstring& find, const std::wstring& replacement, std::wstring& target);
// Resource path form: "/" becomes "\" and every pair of backslashes becomes one.
std::wstring NormalizePath(const std::wstring& path);

// Reads up to `count` decimal integers, each followed by one separator character ("l,t,r,b"),
// never past the text's end; values not present are 0. Returns how many were read.
int ParseNumberList(const std::wstring& text, int32_t* values, int count);
// The four numbers left, top, right, bottom.
Rect ParseRectNumbers(const std::wstring& text);

// Runs the handlers in order; false as soon as one returns false.
bool RunEventHandlers(const EventHandlerList& handlers, EventArgs* args);

}  // namespace ui
