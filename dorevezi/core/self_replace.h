#pragma once

// The launcher cannot overwrite its own running executable, so it replaces itself through a copy
// of itself: "dorevezi.exe" is copied to "dorevezi_temp.exe", which runs in "replace" mode,
// waits for the old launcher to end, puts the staged launcher in place, applies the pending
// browser-runtime and font updates, optionally starts a program, then deletes itself.

#include <windows.h>

#include <string>

// Copies .\dorevezi.exe to .\dorevezi_temp.exe and starts the copy in "replace" mode, with
// .\update\dorevezi.exe and .\dorevezi.exe as source and destination when `replaceDorevezi` is
// set (otherwise two empty texts) and `runAfter` as the program to start when done. Returns at
// once. Only one replace run is started per process: later calls do nothing.
void StartReplaceHelper(const std::wstring& runAfter, bool replaceDorevezi);
// Whether this process has started its replace run.
bool ReplaceHelperStarted();

// Starts `program` with `args` (the command line "program args", unquoted, at most 259
// characters) in `workFolder`, or in the launcher's current folder when it is empty. Nothing
// waits for the program; an empty program starts nothing. Returns whether the process started.
bool LaunchProcess(const std::wstring& program, const std::wstring& args, const std::wstring& workFolder);

// Ends the process with code 0 and has a hidden command interpreter delete its executable.
[[noreturn]] void DeleteSelfAndExit();

// The replace mode itself; never returns.
[[noreturn]] void RunReplaceMode(const std::wstring& source, const std::wstring& destination,
                                 const std::wstring& runAfter);

// How long the replace run waits for the launcher that started it to end.
constexpr DWORD kOldLauncherExitTimeoutMs = 30000;
// Without that launcher to wait for, the old fixed pause.
constexpr DWORD kOldLauncherGraceMs = 4000;
// How long a staged launcher is retried while its destination stays locked.
constexpr DWORD kReplaceRetryMs = 10000;

// Puts `source` in place of `destination` without ever leaving a partly written destination: the
// bytes go to a sibling file first, which then replaces the destination. While the destination
// is locked the replacement is retried for up to `retryMs`. The source is never removed. False,
// with the destination untouched, when the copy or the replacement failed.
bool ReplaceFileWithRetry(const std::wstring& source, const std::wstring& destination, DWORD retryMs);
