#pragma once

// The commands of dvcli. Each takes the arguments after its own name and returns the process's
// exit code: 0 success, 1 failure, 2 bad usage.

#include <string>
#include <vector>

using CommandArgs = std::vector<std::wstring>;

// patch --mode memory|stream <old> <new> <patch>
int RunPatchCommand(const CommandArgs& args);

// The download manager (cmd_net.cpp, cmd_download.cpp).
int RunProbeCommand(const CommandArgs& args);
int RunMemoryCommand(const CommandArgs& args);
int RunRequestCommand(const CommandArgs& args);
int RunPostCommand(const CommandArgs& args);
int RunAttributionCommand(const CommandArgs& args);
int RunDownloadCommand(const CommandArgs& args);

// flow launcher|install|update|play|repair [--game <folder>] [--answer yes|no]... [--decide]
int RunFlowCommand(const CommandArgs& args);
// The launcher core's usage reports, settings, links and fonts (cmd_core.cpp).
int RunReportCommand(const CommandArgs& args);
int RunSettingsCommand(const CommandArgs& args);
int RunLinkCommand(const CommandArgs& args);
int RunFontsCommand(const CommandArgs& args);

// hold <file> [<seconds>]: keeps a file open without delete sharing (cmd_hold.cpp)
int RunHoldCommand(const CommandArgs& args);

// notify <window class> <message> [<wParam> [<lParam>]]: posts a message to a window (cmd_hold.cpp)
int RunNotifyCommand(const CommandArgs& args);
