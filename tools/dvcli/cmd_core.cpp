// The launcher core's reports, settings, links and fonts from the command line:
//   dvcli report <kind> <args...>...   kinds (each followed by its arguments):
//       click <uitype> <action> | detail <id> <speed> <size> <time> | attribution <event> <v1> <v2> <v3>
//       | event <printInfo> <speed> <size> <actionType> <step> <0|1 at once> | settings <autostart> <close>
//       <install KB/s> <pre-install KB/s> | step <pause|done> | result <action id> <event name> | toggle
//     ("step" and "result" go through the download manager with a measured job: 3 GiB in 5 s;
//     "toggle" is the pause button, whose "paused <0|1>" lines the main window receives.)
//   dvcli settings [--mode normal|predownload] key=value,...
//     applies the settings on the UI thread as the settings window does and prints
//     "applied limit=<bytes/s applied to the running transfers> automaticStart=<0|1>".
//   dvcli link [--config <link configuration>] [--language <code>] <name|address>
//     prints "open <url>" for what OpenLink would open, or "refused"; it opens nothing.
//   dvcli fonts install|uninstall|lists
// The report and settings commands end as the ready state does: the queued reports leave one per
// engine tick, then "result 0 queued=0".

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/thread_registry.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/link_config.h"
#include "dorevezi/core/links.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/resource_fonts.h"
#include "dorevezi/core/usage_reports.h"
#include "dorevezi/update/download_manager.h"
#include "tools/dvcli/commands.h"
#include "tools/dvcli/core_actions.h"
#include "tools/dvcli/engine_host.h"
#include "ui/render/text_anti_alias.h"

namespace {

constexpr int64_t kTickMicroseconds = 2000;

size_t QueuedReports() {
  size_t count = 0;
  for (const auto& entry : DownloadManager::GetInstance().queuedPosts) count += entry.second.size();
  return count;
}

// The ready state's share of the reports: one queued report a tick until none is left. The
// composing tasks posted before this one have run by now (tasks run in posting order).
void DrainQueuedReports() {
  if (QueuedReports() == 0) {
    engine_host::PrintLine("result 0 queued=0");
    engine_host::Finish(0);
    return;
  }
  SendQueuedReport();
  base::ThreadRegistry::PostDelayedTask(base::kThreadIdMisc, &DrainQueuedReports,
                                        base::TimeDelta(kTickMicroseconds));
}

void PostDrain() {
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, &DrainQueuedReports);
}

// A measured job for the download manager's step and result reports.
void FakeMeasuredJob() {
  DownloadManager& manager = DownloadManager::GetInstance();
  DoreveziCore::GetInstance().downloadLog.downloadSize = 0;
  manager.currentSpeed = 1 << 20;
  manager.doneBytesAtSpeedPost = int64_t(3) << 30;
  manager.statsStartTick = GetTickCount() - 5000;
  manager.lowestSpeed = 512 << 10;
  manager.highestSpeed = 3 << 20;
  manager.lowestSpeedFile = "TOLV_Data\\data.unity3d";
}

const std::pair<const char*, size_t> kReportKinds[] = {
    {"click", 2}, {"detail", 4}, {"attribution", 4}, {"event", 6},
    {"settings", 4}, {"step", 1}, {"result", 2}, {"toggle", 0},
};

size_t ArgumentCount(const std::string& kind) {
  for (const auto& entry : kReportKinds) {
    if (kind == entry.first) return entry.second;
  }
  return size_t(-1);
}

void MakeReport(const ReportCall& call) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const std::vector<std::string>& a = call.args;
  if (call.kind == "click") {
    ReportUiClick(a[0], a[1]);
  } else if (call.kind == "detail") {
    core.ReportDoreveziDetail(a[0], a[1], a[2], a[3]);
  } else if (call.kind == "attribution") {
    core.ReportAttributionEvent(a[0], a[1], a[2], a[3]);
  } else if (call.kind == "event") {
    core.ReportDoreveziEvent(a[0], a[1], a[2], a[3], a[4], a[5] == "1");
  } else if (call.kind == "settings") {
    core.ReportSettingsChange(a[0], a[1], atoi(a[2].c_str()), atoi(a[3].c_str()));
  } else if (call.kind == "step") {
    FakeMeasuredJob();
    DownloadManager::GetInstance().ReportDownloadStep(a[0]);
  } else if (call.kind == "result") {
    FakeMeasuredJob();
    DownloadManager::GetInstance().ReportDownloadResult(a[0], a[1], false);
  } else if (call.kind == "toggle") {
    core.TogglePauseDownloads();
  }
}

bool ParseBool(const std::string& text) {
  return text == "1" || text == "true";
}

bool SetSetting(EnvConfig& config, const std::string& key, const std::string& value) {
  if (key == "languageType") {
    config.languageType = atoi(value.c_str());
  } else if (key == "gamePath") {
    std::wstring wide(value.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, value.data(), int(value.size()), &wide[0], int(wide.size())));
    config.gamePath = wide;
  } else if (key == "closeToHide") {
    config.closeToHide = ParseBool(value);
  } else if (key == "autoUpdate") {
    config.autoUpdate = ParseBool(value);
  } else if (key == "downloadLimit") {
    config.downloadLimit = ParseBool(value);
  } else if (key == "downloadSpeed") {
    config.downloadSpeed = atoi(value.c_str());
  } else if (key == "predlcLimit") {
    config.predlcLimit = ParseBool(value);
  } else if (key == "predlcSpeed") {
    config.predlcSpeed = atoi(value.c_str());
  } else if (key == "automaticStart") {
    config.automaticStart = ParseBool(value);
  } else {
    return false;
  }
  return true;
}

int FontsUsage() {
  fprintf(stderr, "usage: dvcli fonts install|uninstall|lists\n");
  return 2;
}

struct FaceSearch {
  std::wstring face;
  bool found = false;
};

int CALLBACK OnFontFace(const LOGFONTW* font, const TEXTMETRICW* /*metric*/, DWORD /*type*/, LPARAM search) {
  FaceSearch* wanted = reinterpret_cast<FaceSearch*>(search);
  const ENUMLOGFONTEXW* full = reinterpret_cast<const ENUMLOGFONTEXW*>(font);
  if (wanted->face == font->lfFaceName || wanted->face == full->elfFullName) wanted->found = true;
  return 1;
}

// Whether GDI knows the face (a family, or a font's full name within its family) in this process.
bool FaceKnown(const wchar_t* face) {
  FaceSearch search;
  search.face = face;
  std::wstring family = face;
  HDC screen = GetDC(nullptr);
  for (;;) {
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, family.c_str(), LF_FACESIZE - 1);
    EnumFontFamiliesExW(screen, &wanted, &OnFontFace, reinterpret_cast<LPARAM>(&search), 0);
    const std::wstring::size_type blank = family.rfind(L' ');
    if (search.found || blank == std::wstring::npos) break;
    family.resize(blank);
  }
  ReleaseDC(nullptr, screen);
  return search.found;
}

}  // namespace

bool ParseReportCall(const CommandArgs& args, size_t& i, ReportCall& call) {
  if (i >= args.size()) return false;
  call.kind = engine_host::Utf8(args[i++]);
  call.args.clear();
  const size_t count = ArgumentCount(call.kind);
  if (count == size_t(-1) || i + count > args.size()) return false;
  for (size_t k = 0; k < count; ++k) call.args.push_back(engine_host::Utf8(args[i++]));
  return true;
}

bool ParseSettingChanges(const std::string& list, SettingChanges& changes) {
  std::vector<std::string> parts;
  SplitTextA(list, ",", parts);
  for (const std::string& part : parts) {
    const std::string::size_type at = part.find('=');
    if (at == std::string::npos) return false;
    changes.emplace_back(part.substr(0, at), part.substr(at + 1));
  }
  return true;
}

void RunCoreActions(const std::vector<ReportCall>& calls, const SettingChanges& changes, bool printLimit) {
  for (const ReportCall& call : calls) MakeReport(call);
  if (changes.empty()) {
    PostDrain();
    return;
  }
  // The settings window edits a copy on the UI thread and hands it over there.
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [changes, printLimit] {
    DoreveziCore& core = DoreveziCore::GetInstance();
    EnvConfig edited = core.GetEnvConfig();
    for (const auto& change : changes) {
      if (!SetSetting(edited, change.first, change.second)) {
        engine_host::PrintLine("unknown setting " + change.first);
        engine_host::Finish(2);
        return;
      }
    }
    core.ApplySettings(edited);
    const bool automaticStart = core.GetEnvConfig().automaticStart;
    // After the limit task ApplySettings may have posted to the worker.
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [automaticStart, printLimit] {
      if (printLimit) {
        engine_host::PrintLine("applied limit=" + std::to_string(DownloadManager::GetInstance().appliedSpeedLimit) +
                               " automaticStart=" + (automaticStart ? "1" : "0"));
      }
      PostDrain();
    });
  });
}

int RunReportCommand(const CommandArgs& args) {
  std::vector<ReportCall> calls;
  for (size_t i = 0; i < args.size();) {
    ReportCall call;
    if (!ParseReportCall(args, i, call)) {
      fprintf(stderr, "usage: dvcli report <kind> <args...>... (kinds: click detail attribution event settings "
                      "step result toggle)\n");
      return 2;
    }
    calls.push_back(call);
  }
  if (calls.empty()) return 2;
  return engine_host::Run([calls] { RunCoreActions(calls, {}, false); });
}

int RunSettingsCommand(const CommandArgs& args) {
  DownloadMode mode = kDownloadModeNormal;
  std::string list;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--mode" && i + 1 < args.size()) {
      mode = args[++i] == L"predownload" ? kDownloadModePreDownload : kDownloadModeNormal;
    } else {
      list = engine_host::Utf8(args[i]);
    }
  }
  SettingChanges changes;
  if (!ParseSettingChanges(list, changes)) {
    fprintf(stderr, "usage: dvcli settings [--mode normal|predownload] key=value,...\n");
    return 2;
  }
  return engine_host::Run([changes, mode] {
    DownloadManager::GetInstance().mode = mode;
    RunCoreActions({}, changes, true);
  });
}

int RunLinkCommand(const CommandArgs& args) {
  std::wstring configPath;
  std::string language = "zh_CN";
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--config" && i + 1 < args.size()) {
      configPath = args[++i];
    } else if (args[i] == L"--language" && i + 1 < args.size()) {
      language = engine_host::Utf8(args[++i]);
    } else {
      text = engine_host::Utf8(args[i]);
    }
  }
  if (text.empty()) {
    fprintf(stderr, "usage: dvcli link [--config <link configuration>] [--language <code>] <name|address>\n");
    return 2;
  }
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!configPath.empty()) {
    std::string content;
    LinkConfiguration config;
    if (!ReadWholeFile(configPath, content) || !ParseLinkConfiguration(content, language, config)) {
      engine_host::PrintLine("config refused");
      return 1;
    }
    core.links = config.links;
  }
  const bool byName = core.links.count(text) != 0;
  std::string url;
  if (!ResolveLinkTarget(text, byName, url)) {
    engine_host::PrintLine("refused");
    return 1;
  }
  engine_host::PrintLine("open " + url);
  return 0;
}

int RunFontsCommand(const CommandArgs& args) {
  if (args.size() != 1) return FontsUsage();
  if (args[0] == L"install") {
    const int result = InstallResourceFonts();
    engine_host::PrintLine("install " + std::to_string(result) + " antialias=" + (g_textAntiAlias ? "1" : "0"));
    for (const ResourceFont& font : kResourceFonts) {
      std::string face;
      const std::wstring name = font.face;
      face = engine_host::Utf8(name);
      engine_host::PrintLine("face " + face + " " + (FaceKnown(font.face) ? "found" : "missing"));
    }
    return result == 1 ? 0 : 1;
  }
  if (args[0] == L"uninstall") {
    UninstallResourceFonts();
    engine_host::PrintLine("uninstalled");
    return 0;
  }
  if (args[0] == L"lists") {
    ApplyCefUpdateList();
    ApplyFontUpdateList();
    engine_host::PrintLine(std::string("lists applied pending_cef=") + (HasPendingCefUpdate() ? "1" : "0"));
    return 0;
  }
  return FontsUsage();
}
