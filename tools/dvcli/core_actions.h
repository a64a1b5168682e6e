#pragma once

// The report and settings actions of "dvcli report", "dvcli settings" and "dvcli flow --report
// --settings" (cmd_core.cpp).

#include <string>
#include <utility>
#include <vector>

#include "tools/dvcli/commands.h"

struct ReportCall {
  std::string kind;
  std::vector<std::string> args;
};
using SettingChanges = std::vector<std::pair<std::string, std::string>>;

// One "<kind> <args...>" from args[i] on; advances i. False for an unknown kind or missing arguments.
bool ParseReportCall(const CommandArgs& args, size_t& i, ReportCall& call);
// "key=value,..."; false when a part has no "=".
bool ParseSettingChanges(const std::string& list, SettingChanges& changes);
// On the worker: makes the reports, applies the settings on the UI thread (printing the applied limit
// when asked), then lets the queued reports leave one per engine tick as the ready state does, and
// ends dvcli with "result 0 queued=0".
void RunCoreActions(const std::vector<ReportCall>& calls, const SettingChanges& changes, bool printLimit);
