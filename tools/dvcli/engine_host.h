#pragma once

// Runs the download manager as the launcher does: on a worker thread registered as the engine's
// thread (kThreadIdMisc), initialised there and pumped every 2 ms, while the calling thread is the
// UI thread (kThreadIdUi) with a message-only main window that prints the engine's progress, speed
// and pause messages as lines ("progress <total> <done>", "speed <seconds left> <bytes/s>",
// "paused <0|1>"). The operator files "save\setting.json" and "save\EnvConfig.json" of the
// current folder are read first, as the launcher reads them in its own folder.

#include <functional>
#include <string>

namespace engine_host {

// Runs `start` on the worker once the manager is initialised; returns the code given to Finish
// after the worker has shut the manager down.
int Run(std::function<void()> start);
// From any thread: ends Run with `exitCode`.
void Finish(int exitCode);
// Prints one line and flushes it (stdout may be a pipe read line by line).
void PrintLine(const std::string& line);

// 8-bit (ANSI code page) form of a command-line argument, as the engine takes paths.
std::string Narrow(const std::wstring& text);
// UTF-8 form of a command-line argument, as the engine takes network texts (bodies, form values).
std::string Utf8(const std::wstring& text);

}  // namespace engine_host
