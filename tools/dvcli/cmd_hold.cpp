// dvcli hold and notify: stand-ins for other programs acting on the launcher's files and windows.
//
// dvcli hold <file> [<seconds>]: keeps the file open for reading without delete or write sharing, as
// another program (a running game, a virus scanner) may, until killed or the time is up (default 600).

#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/dvcli/commands.h"

int RunHoldCommand(const CommandArgs& args) {
  if (args.empty() || args.size() > 2) return 2;
  const DWORD seconds = args.size() == 2 ? static_cast<DWORD>(std::stoul(args[1])) : 600;
  HANDLE file = CreateFileW(args[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printf("hold failed %lu\n", GetLastError());
    return 1;
  }
  printf("held\n");
  fflush(stdout);
  Sleep(seconds * 1000);
  CloseHandle(file);
  return 0;
}

// dvcli notify <window class> <message> [<wParam> [<lParam>]]: posts the message to the top-level
// window of that class, as a user's action or another program would.
int RunNotifyCommand(const CommandArgs& args) {
  if (args.size() < 2 || args.size() > 4) return 2;
  HWND window = FindWindowW(args[0].c_str(), nullptr);
  if (!window) {
    printf("no window\n");
    return 1;
  }
  const UINT message = static_cast<UINT>(std::stoul(args[1]));
  const WPARAM wParam = args.size() > 2 ? static_cast<WPARAM>(std::stoull(args[2])) : 0;
  const LPARAM lParam = args.size() > 3 ? static_cast<LPARAM>(std::stoll(args[3])) : 0;
  return PostMessageW(window, message, wParam, lParam) ? 0 : 1;
}
