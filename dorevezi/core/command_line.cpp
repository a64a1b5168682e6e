#include "dorevezi/core/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

wchar_t g_languageArgument[kArgumentBufferChars] = {};
bool g_hasLanguageArgument = false;
wchar_t g_platformArgument[kArgumentBufferChars] = {};
bool g_hasPlatformArgument = false;
wchar_t g_textRenderingArgument[kArgumentBufferChars] = {};
bool g_hasTextRenderingArgument = false;

bool StoreArgument(const std::wstring& value, wchar_t (&buffer)[kArgumentBufferChars]) {
  if (value.empty()) return false;
  size_t length = value.size() < kArgumentBufferChars - 1 ? value.size() : kArgumentBufferChars - 1;
  wmemcpy(buffer, value.data(), length);
  buffer[length] = L'\0';
  return true;
}

LaunchRequest DispatchArguments(const std::vector<std::wstring>& arguments) {
  LaunchRequest request;
  const size_t count = arguments.size();
  if (count < 3) return request;
  const std::wstring& word = arguments[1];
  if (count == 5 && word == kCmdReplace) {
    request.mode = LaunchMode::kReplace;
    request.source = arguments[2];
    request.destination = arguments[3];
    request.runAfter = arguments[4];
  } else if (count == 3 && word == kCmdMakeVersion) {
    request.mode = LaunchMode::kMakeVersion;
    request.version = arguments[2];
  } else if (count == 3 && word == kCmdMakeDependenceVersion) {
    request.mode = LaunchMode::kMakeDependenceVersion;
    request.version = arguments[2];
  } else if ((count == 3 || count == 4) && word == kCmdSetLanguage) {
    if (StoreArgument(arguments[2], g_languageArgument)) g_hasLanguageArgument = true;
    if (count == 4 && StoreArgument(arguments[3], g_textRenderingArgument)) g_hasTextRenderingArgument = true;
  } else if (count == 3 && word == kCmdSetPlatform) {
    if (StoreArgument(arguments[2], g_platformArgument)) g_hasPlatformArgument = true;
  }
  return request;
}

std::vector<std::wstring> ProcessArguments() {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!list) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(list[i]);
  LocalFree(list);
  return arguments;
}
