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
