#pragma once

// Process-wide switches shared by the windows and the update engine.

#include <atomic>

// Set by the main window when the user exits the launcher, cleared when the apply-update state
// starts. The streaming patch applier stops at its next check once it is set. Written on the UI
// thread and read on the worker thread, hence atomic.
extern std::atomic<bool> g_exitRequested;
