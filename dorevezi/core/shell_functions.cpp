#include "dorevezi/core/shell_functions.h"

#include <mmsystem.h>

namespace {

const ShellFunctions& SystemFunctions() {
  static const ShellFunctions functions = [] {
    ShellFunctions system;
    system.shellNotifyIcon = &Shell_NotifyIconW;
    system.flashWindowEx = &FlashWindowEx;
    system.playSound = &PlaySoundW;
    system.shellExecute = &ShellExecuteW;
    return system;
  }();
  return functions;
}

const ShellFunctions* g_replacement = nullptr;

}  // namespace

const ShellFunctions& GetShellFunctions() {
  return g_replacement ? *g_replacement : SystemFunctions();
}

const ShellFunctions* ReplaceShellFunctions(const ShellFunctions* functions) {
  const ShellFunctions* previous = g_replacement;
  g_replacement = functions;
  return previous;
}
