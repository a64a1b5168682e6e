// dvcli flow launcher|install|update|play|repair|predownload [--game <folder>] [--answer yes|no]...
//          [--decide] [--report <kind> <args...>]... [--settings key=value,...] [--update-at <bytes>]
//          [--remote <version>] [--ready <seconds>]
// predownload: after the launcher flow rests, sets the pre-download request and starts the
// pre-download beside the resting state, as the pre-download page does; it ends when the
// pre-download state is gone. --update-at starts the game flow (an update, resting at its
// decision) once the pre-download downloads and the manager counts that many bytes done. --remote
// sets the current game version first, as the ready state's check finds it when an update is pending.
// --ready keeps the ready state ticking for that many seconds once the flow rests (and on until a
// pre-download it started has ended), so its periodic work and background pre-download check run;
// without it that check is off. Set "UpdateInterval" in setting.json to make the check period
// independent of the machine's uptime.
// Runs the update engine in the current folder as the launcher does: the launcher flow first,
// then (install, update, play, repair) the game flow; install first checks the disk space as the
// main window does, play asks for the game to start at the end, repair first deletes the game's
// list as the settings page's button does. With --decide the flow rests at the download state, its
// decision printed, and nothing is fetched. Prints, one line each:
//   state <name> <launcher|game> t=<ms>                 at every change of the current state, with
//                                                       the milliseconds since the engine started
//   error\t<code>\t<text>\t<detail>                     the error an exception state carries
//   check <percent>, refresh                            the engine's messages to the main window
//   box\t<title>\t<content>\t<detail>\t<no>\t<yes>\t<answer>   a box, answered from the --answer
//                                                       list in order ("no" once it is used up)
//   fetch <path>, patch <path>                           at rest in the download state: the files
//                                                       to fetch and the patch list's entries
//   versions local=<v> remote=<v> download=<v>          the game versions, at rest
//   apply <path> <patch|move|skip> <md5>                each file put in place (skip: already there)
//   window <message>                                    hide, show: the engine's asks of the main window
//   restart replace=<0|1>                               a restart answer acted (no helper starts here)
//   rest <name> <flow> errorBoxShowing=<0|1>            when the flow rests; dvcli then ends, or,
//                                                       with --report or --settings, makes those
//                                                       reports, applies those settings on the UI
//                                                       thread, lets the queued reports leave one
//                                                       per tick and ends with "result 0 queued=0"
//   predl <page> <lParam> [size=<bytes>]              the pre-download's page messages (page 1:
//                                                       with the size the check counted)
//   game-version-changed                                the ready state's check found a new release
//   ready <seconds>                                     with --ready: the flow rests, the ready
//                                                       state ticks on
//   predl-step <step>                                  each step of the pre-download (-1: gone)
//   predl-request <0|1>                                the request flag at the end
// Line breaks inside texts are printed as "\n".

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <string>

#include "base/base_util.h"
#include "base/thread_registry.h"
#include "base/weak_callback.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/skin_package.h"
#include "dorevezi/update/apply_states.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/predownload_state.h"
#include "dorevezi/update/state.h"
#include "dorevezi/update/update_states.h"
#include "tools/dvcli/commands.h"
#include "tools/dvcli/core_actions.h"
#include "tools/dvcli/engine_host.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"

namespace {

constexpr int64_t kTickMicroseconds = 2000;
// A flow rests once nothing has happened for this long in a resting state.
constexpr DWORD kQuietMs = 700;

enum class Mode { kLauncher, kInstall, kUpdate, kPlay, kRepair, kPreDownload };
enum class Phase { kLauncherFlow, kPreDownload, kGameFlow };

struct FlowJob {
  Mode mode = Mode::kLauncher;
  Phase phase = Phase::kLauncherFlow;
  std::wstring gameFolder;
  std::deque<int> answers;  // UI thread only
  std::atomic<DWORD> lastActivity{0};
  bool started = false;
  bool finished = false;
  std::vector<ReportCall> reports;
  SettingChanges settings;
  bool decideOnly = false;
  int64_t updateAt = -1;
  std::string remoteVersion;  // bytes done by the pre-download before the game flow starts
  int32_t lastPreDownloadStep = kNoStateId;
  bool preDownloadSeen = false;
  int readySeconds = 0;
  bool readyStarted = false;
  DWORD readyUntil = 0;
};

FlowJob g_flow;
LARGE_INTEGER g_startCounter;
// Owns the recurring engine tick.
base::WeakCallbackFlag g_tickOwner;

void Touch() {
  g_flow.lastActivity = GetTickCount();
}

std::string Printable(const std::wstring& text) {
  std::string utf8 = engine_host::Utf8(text);
  std::string out;
  for (char c : utf8) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring out(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], length);
  return out;
}

std::wstring LookUp(const std::wstring& key) {
  return ui::LanguageTable::Instance()->Lookup(key);
}

std::wstring TextOf(const DialogText& text) {
  return text.key.empty() ? text.literal : LookUp(text.key);
}

const char* FlowName(int32_t flow) {
  return flow == kFlowDorevezi ? "launcher" : "game";
}

// Shows every box as a line and answers it from the list, as a user would.
class AnsweringPresenter : public DialogPresenter {
 public:
  void ShowMessageBox(HWND /*owner*/, MessageBoxRequest request) override {
    Touch();
    const bool byKeys = !request.noKey.empty() || !request.yesKey.empty();
    const std::wstring no = byKeys ? LookUp(request.noKey) : request.noText;
    const std::wstring yes = byKeys ? LookUp(request.yesKey) : request.yesText;
    int answer = 0;
    if (!g_flow.answers.empty()) {
      answer = g_flow.answers.front();
      g_flow.answers.pop_front();
    }
    engine_host::PrintLine("box\t" + Printable(TextOf(request.title)) + "\t" + Printable(TextOf(request.content)) +
                           "\t" + Printable(TextOf(request.detail)) + "\t" + Printable(no) + "\t" +
                           Printable(yes) + "\t" + (answer ? "yes" : "no"));
    // The box closes, then its owner gets the answer.
    auto onResult = std::move(request.onResult);
    base::ThreadRegistry::PostTask(base::kThreadIdUi, [onResult, answer] {
      DoreveziCore::GetInstance().messageBoxOpen = false;
      Touch();
      if (onResult) onResult(answer);
    });
  }
  void ShowOptionsBox(HWND /*owner*/, OptionsBoxRequest request) override {
    Touch();
    engine_host::PrintLine("options " + Printable(request.groupName));
    if (request.onResult) request.onResult(0);
  }
};

AnsweringPresenter g_presenter;

void OnRestart(bool replaceLauncher) {
  Touch();
  engine_host::PrintLine(std::string("restart replace=") + (replaceLauncher ? "1" : "0"));
}

void OnFileApplied(const std::string& path, const char* action, const std::string& md5) {
  Touch();
  engine_host::PrintLine("apply " + path + " " + action + " " + md5);
}

void OnStateChanged(const State* next) {
  Touch();
  if (!next) {
    engine_host::PrintLine("state None");
    return;
  }
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const long long ms = (now.QuadPart - g_startCounter.QuadPart) * 1000 / frequency.QuadPart;
  engine_host::PrintLine(std::string("state ") + StateName(next->GetStateId()) + " " + FlowName(next->flowMode) +
                         " t=" + std::to_string(ms));
  if (next->GetStateId() == kStateException) {
    engine_host::PrintLine("error\t" + std::to_string(next->errorCode) + "\t" + Printable(Widen(next->errorText)) +
                           "\t" + Printable(Widen(next->errorDetail)));
  }
}

bool IsResting(const State* state) {
  if (!state) return true;
  switch (state->GetStateId()) {
    case kStateDownloadFiles:
    case kStateApplyUpdate:
      // Working states once built; resting stand-ins with --decide.
      return g_flow.decideOnly;
    case kStateEnterGame:
    case kStateException:
      return true;
    default:
      return false;
  }
}

void StartGameFlow() {
  g_flow.phase = Phase::kGameFlow;
  Touch();
  if (g_flow.mode == Mode::kUpdate || g_flow.mode == Mode::kPlay || g_flow.mode == Mode::kPreDownload) {
    DoreveziCore::GetInstance().StartGameFlow(g_flow.mode == Mode::kPlay ? 1 : 0, false);
    return;
  }
  if (g_flow.mode == Mode::kRepair) {
    DoreveziCore::GetInstance().RepairGame();
    return;
  }
  // The main window checks the space on the UI thread before it starts an install.
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [] {
    Touch();
    if (DoreveziCore::GetInstance().CheckInstallDiskSpace([](int) { Touch(); })) {
      // The install page makes the chosen folder before the flow starts.
      const std::wstring game = DoreveziCore::GetInstance().GetGamePath();
      if (!game.empty() && !IsFolder(game)) CreateFolderPath(game);
      DoreveziCore::GetInstance().StartGameFlow(0, false);
    } else {
      engine_host::PrintLine("install refused");
    }
  });
}

// Prints the pre-download's step changes and starts the game flow at --update-at; true while the
// engine must not end this tick.
bool WatchPreDownload() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const int32_t step = core.GetPreDownloadStep();
  if (step != g_flow.lastPreDownloadStep) {
    g_flow.lastPreDownloadStep = step;
    if (step != kNoStateId) g_flow.preDownloadSeen = true;
    Touch();
    engine_host::PrintLine("predl-step " + std::to_string(step));
  }
  if (g_flow.phase == Phase::kPreDownload && g_flow.updateAt >= 0 && step == kPreDownloadDownloading &&
      DownloadManager::GetInstance().doneBytes >= g_flow.updateAt) {
    g_flow.updateAt = -1;
    StartGameFlow();
    return true;
  }
  return false;
}

void EngineTick() {
  if (g_flow.finished) return;
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!g_flow.started) {
    g_flow.started = true;
    core.ChangeState(CreatePrepareState(kFlowDorevezi));
  }
  if (State* state = core.currentState) state->OnTick();
  if (State* state = core.preDownloadState) state->OnTick();
  if (WatchPreDownload()) return;
  const State* current = core.currentState;
  if (!IsResting(current) || GetTickCount() - g_flow.lastActivity < kQuietMs) return;
  if (g_flow.phase == Phase::kLauncherFlow && g_flow.mode == Mode::kPreDownload) {
    g_flow.phase = Phase::kPreDownload;
    Touch();
    if (!g_flow.remoteVersion.empty()) core.SetRemoteGameVersion(g_flow.remoteVersion);
    core.preDownloadRequested = true;
    core.StartPreDownload();
    return;
  }
  if (g_flow.phase == Phase::kPreDownload) {
    // Ends once the pre-download is gone and all is quiet (a box answered, its stop done).
    if (core.preDownloadState || !g_flow.preDownloadSeen) return;
  } else if (g_flow.phase == Phase::kLauncherFlow && g_flow.mode != Mode::kLauncher) {
    StartGameFlow();
    return;
  }
  if (g_flow.readySeconds > 0) {
    if (!g_flow.readyStarted) {
      g_flow.readyStarted = true;
      g_flow.readyUntil = GetTickCount() + DWORD(g_flow.readySeconds) * 1000;
      engine_host::PrintLine("ready " + std::to_string(g_flow.readySeconds));
      return;
    }
    if (int32_t(GetTickCount() - g_flow.readyUntil) < 0 || core.preDownloadState) return;
  }
  g_flow.finished = true;
  if (current && current->GetStateId() == kStateDownloadFiles) {
    const bool game = current->flowMode == kFlowGame;
    for (const auto& entry : core.versionMaps[game ? kUpdateGameVersion : kUpdateDoreveziVersion]) {
      engine_host::PrintLine("fetch " + entry.first);
    }
    for (const auto& entry : core.versionMaps[game ? kGamePatchVersion : kDoreveziPatchVersion]) {
      engine_host::PrintLine("patch " + entry.first);
    }
  }
  const VersionTexts versions = core.GetVersionTexts();
  std::string download;
  {
    base::CriticalSectionGuard lock(&core.textsLock);
    download = core.downloadGameVersion;
  }
  if (g_flow.mode == Mode::kPreDownload || g_flow.readySeconds > 0) {
    engine_host::PrintLine(std::string("predl-request ") + (core.preDownloadRequested ? "1" : "0"));
  }
  engine_host::PrintLine("versions local=" + versions.localGameVersion + " remote=" + versions.remoteGameVersion +
                         " download=" + download);
  engine_host::PrintLine(std::string("rest ") + (current ? StateName(current->GetStateId()) : "None") + " " +
                         (current ? FlowName(current->flowMode) : "-") +
                         " errorBoxShowing=" + (core.errorBoxShowing ? "1" : "0"));
  if (!g_flow.reports.empty() || !g_flow.settings.empty()) {
    RunCoreActions(g_flow.reports, g_flow.settings, false);
    return;
  }
  engine_host::Finish(0);
}

void Start() {
  QueryPerformanceCounter(&g_startCounter);
  DoreveziCore& core = DoreveziCore::GetInstance();
  if (!g_flow.gameFolder.empty()) core.SetGamePath(g_flow.gameFolder);
  for (const char* key : kVersionMapKeys) core.ResetVersionMap(key);
  core.LoadDoreveziVersion();
  core.LoadGameVersion();
  Touch();
  base::ThreadRegistry::PostRecurringTask(base::kThreadIdMisc, g_tickOwner.MakeWeakCallback(std::function<void()>([] { EngineTick(); })),
                                          base::TimeDelta(kTickMicroseconds), base::kRepeatForever);
}

}  // namespace

int RunFlowCommand(const CommandArgs& args) {
  if (args.empty()) return 2;
  if (args[0] == L"launcher") {
    g_flow.mode = Mode::kLauncher;
  } else if (args[0] == L"install") {
    g_flow.mode = Mode::kInstall;
  } else if (args[0] == L"update") {
    g_flow.mode = Mode::kUpdate;
  } else if (args[0] == L"play") {
    g_flow.mode = Mode::kPlay;
  } else if (args[0] == L"repair") {
    g_flow.mode = Mode::kRepair;
  } else if (args[0] == L"predownload") {
    g_flow.mode = Mode::kPreDownload;
  } else {
    return 2;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"--game" && i + 1 < args.size()) {
      g_flow.gameFolder = args[++i];
    } else if (args[i] == L"--decide") {
      g_flow.decideOnly = true;
    } else if (args[i] == L"--answer" && i + 1 < args.size()) {
      const std::wstring& answer = args[++i];
      if (answer != L"yes" && answer != L"no") return 2;
      g_flow.answers.push_back(answer == L"yes" ? 1 : 0);
    } else if (args[i] == L"--report") {
      ReportCall call;
      size_t next = i + 1;
      if (!ParseReportCall(args, next, call)) return 2;
      g_flow.reports.push_back(call);
      i = next - 1;
    } else if (args[i] == L"--update-at" && i + 1 < args.size()) {
      g_flow.updateAt = _wtoi64(args[++i].c_str());
    } else if (args[i] == L"--ready" && i + 1 < args.size()) {
      g_flow.readySeconds = _wtoi(args[++i].c_str());
      if (g_flow.readySeconds <= 0) return 2;
    } else if (args[i] == L"--remote" && i + 1 < args.size()) {
      g_flow.remoteVersion = engine_host::Narrow(args[++i]);
    } else if (args[i] == L"--settings" && i + 1 < args.size()) {
      if (!ParseSettingChanges(engine_host::Utf8(args[++i]), g_flow.settings)) return 2;
    } else {
      return 2;
    }
  }
  DoreveziCore::GetInstance().Initialize();
  // The skin's texts, read as the launcher reads them: its archive, then the language file of the
  // core's language (this thread becomes the UI thread).
  LoadResourcePackage();
  ui::UiRuntime::SetLanguage(Widen(DoreveziCore::GetInstance().GetEnvConfig().languageCode));
  ui::UiRuntime::ReloadResources(L"", nullptr);
  InstallUpdateStates();
  // The pre-download is watched beside a game flow that rests at its decision.
  if (g_flow.mode == Mode::kPreDownload) g_flow.decideOnly = true;
  if (!g_flow.decideOnly) InstallApplyStates();
  if (g_flow.readySeconds > 0 && g_flow.decideOnly) {
    // The ready state itself, beside the resting stand-ins of the other states.
    SetLaterStateFactory(kStateEnterGame, [](FlowMode) -> State* { return new EnterGameState(); });
  }
  SetPreDownloadChecksEnabled(g_flow.readySeconds > 0);
  SetApplyHook(&OnFileApplied);
  SetRestartAction(&OnRestart);
  SetDialogPresenter(&g_presenter);
  SetStateChangeHook(&OnStateChanged);
  const int code = engine_host::Run(&Start);
  SetStateChangeHook(nullptr);
  SetApplyHook(nullptr);
  SetRestartAction(nullptr);
  SetDialogPresenter(nullptr);
  ui::UiRuntime::CloseResourceZip();
  return code;
}
