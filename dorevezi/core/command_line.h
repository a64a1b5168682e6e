#pragma once

// The launcher's command-line modes. One executable is the launcher (no arguments, or one of the
// two setting switches), its own self-updater ("replace") and a build tool that writes version
// lists ("make_version", "make_dependence_version").

#include <cstddef>
#include <string>
#include <vector>

constexpr wchar_t kCmdReplace[] = L"replace";
constexpr wchar_t kCmdMakeVersion[] = L"make_version";
constexpr wchar_t kCmdMakeDependenceVersion[] = L"make_dependence_version";
constexpr wchar_t kCmdSetLanguage[] = L"set_language";
constexpr wchar_t kCmdSetPlatform[] = L"set_platform";

// Each stored value holds at most 31 characters and the terminator; a longer value is cut.
constexpr size_t kArgumentBufferChars = 32;

// Set only while the command line is read, read later during start-up.
extern wchar_t g_languageArgument[kArgumentBufferChars];
extern bool g_hasLanguageArgument;
extern wchar_t g_platformArgument[kArgumentBufferChars];
extern bool g_hasPlatformArgument;
extern wchar_t g_textRenderingArgument[kArgumentBufferChars];
extern bool g_hasTextRenderingArgument;

enum class LaunchMode {
  kNormal,                 // the launcher itself
  kReplace,                // self-updater: source, destination, program to run
  kMakeVersion,            // version list of the launcher's files
  kMakeDependenceVersion,  // version list of the "dependence" folder
};

struct LaunchRequest {
  LaunchMode mode = LaunchMode::kNormal;
  std::wstring source;
  std::wstring destination;
  std::wstring runAfter;
  std::wstring version;
};

// Copies a non-empty value into the buffer, cut to its capacity; an empty value stores nothing.
// True when something was stored.
bool StoreArgument(const std::wstring& value, wchar_t (&buffer)[kArgumentBufferChars]);

// Reads the arguments (the program path first) and stores the values of the setting switches.
// Anything but the modes' exact words with their exact counts is the normal start.
LaunchRequest DispatchArguments(const std::vector<std::wstring>& arguments);

// The process's own arguments (CommandLineToArgvW); empty when the command line cannot be split.
std::vector<std::wstring> ProcessArguments();
