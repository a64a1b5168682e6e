// dvcli: runs one part of the update engine from the command line, for tests, benchmarks and
// hands-on checks. Usage: dvcli <command> [arguments...]

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "tools/dvcli/commands.h"

namespace {

struct Command {
  const wchar_t* name;
  int (*run)(const CommandArgs& args);
  const char* usage;
};

const Command kCommands[] = {
    {L"patch", RunPatchCommand, "patch --mode memory|stream <old> <new> <patch>"},
    {L"probe", RunProbeCommand, "probe [--gate] [--body TEXT] <base>... <path>"},
    {L"memory", RunMemoryCommand, "memory [--gate] [--body TEXT] <base>... <path>"},
    {L"request", RunRequestCommand, "request [--body TEXT] <url>"},
    {L"post", RunPostCommand, "post [--queue] <track|attribution|url> <body> [<target> <body>]..."},
    {L"attribution", RunAttributionCommand, "attribution <name=value>..."},
    {L"download", RunDownloadCommand,
     "download --cdn <base>... --list <version list> --out <folder> [--limit KB/s] [--web-extra] [--control]"},
    {L"flow", RunFlowCommand,
     "flow launcher|install|update|play|repair [--game <folder>] [--answer yes|no]... [--decide] "
     "[--report <kind> <args...>]... [--settings key=value,...]"},
    {L"report", RunReportCommand, "report <kind> <args...>... (click detail attribution event settings step result)"},
    {L"settings", RunSettingsCommand, "settings [--mode normal|predownload] key=value,..."},
    {L"link", RunLinkCommand, "link [--config <link configuration>] [--language <code>] <name|address>"},
    {L"fonts", RunFontsCommand, "fonts install|uninstall|lists"},
    {L"hold", RunHoldCommand, "hold <file> [<seconds>]"},
    {L"notify", RunNotifyCommand, "notify <window class> <message> [<wParam> [<lParam>]]"},
};

int PrintUsage() {
  fprintf(stderr, "usage: dvcli <command> [arguments...]\ncommands:\n");
  for (const Command& command : kCommands) fprintf(stderr, "  %s\n", command.usage);
  return 2;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 2;
  CommandArgs args(argv + (argc > 0 ? 1 : 0), argv + argc);
  LocalFree(argv);
  if (args.empty()) return PrintUsage();
  for (const Command& command : kCommands) {
    if (args.front() == command.name) {
      args.erase(args.begin());
      const int code = command.run(args);
      fflush(stdout);
      return code;
    }
  }
  fprintf(stderr, "dvcli: unknown command\n");
  return PrintUsage();
}
