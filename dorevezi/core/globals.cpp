#include "dorevezi/core/globals.h"

std::atomic<bool> g_exitRequested{false};
