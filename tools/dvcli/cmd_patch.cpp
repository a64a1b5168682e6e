// dvcli patch --mode memory|stream <old> <new> <patch>
// Applies one patch file with the chosen applier (wide-path forms) and prints
// "result=<r> error=<e> elapsed_ms=<t>"; the in-memory applier has no error code and prints 0.

#include <windows.h>

#include <cstdio>

#include "dorevezi/update/patch_applier.h"
#include "tools/dvcli/commands.h"

int RunPatchCommand(const CommandArgs& args) {
  if (args.size() != 5 || args[0] != L"--mode" || (args[1] != L"memory" && args[1] != L"stream")) {
    fprintf(stderr, "usage: dvcli patch --mode memory|stream <old> <new> <patch>\n");
    return 2;
  }
  const bool streamed = args[1] == L"stream";
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  int error = 0;
  const int result = streamed ? PatchFileStreamedW(args[2], args[3], args[4], &error)
                              : PatchFileInMemoryW(args[2], args[3], args[4]);
  QueryPerformanceCounter(&end);
  // The in-memory applier's diagnostics have no trailing newline.
  if (!streamed && result != 0) printf("\n");
  printf("result=%d error=%d elapsed_ms=%.1f\n", result, error,
         double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
  return result == 0 ? 0 : 1;
}
