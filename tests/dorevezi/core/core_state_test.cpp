// The core state object: start-up, state switches, flows and the pre-download on the worker,
// the game-client link's windows, and the texts both threads read.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core_test_util.h"
#include "dorevezi/core/command_line.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "entry_test_util.h"
#include "test_support/temp_dir.h"
#include "ui/resources/ui_runtime.h"

namespace {

using entry_test::RecordingState;
using entry_test::TestWorker;

std::vector<std::string> g_log;

// Leaves the core without states and with an empty game-window list.
void ResetCore() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.ChangeState(nullptr);
  delete core.preDownloadState;
  core.preDownloadState = nullptr;
  core.gameWindows.clear();
  g_log.clear();
  SetStateFactories(nullptr, nullptr);
}

// ---------------------------------------------------------------------------------------------
// State switches

struct Offer {
  const char* name;  // null: offer no state
  StateId id;
  FlowMode flow;
};

struct ChangeCase {
  const char* what;
  Offer current;
  Offer offered;
  std::vector<std::string> events;
  const char* currentAfter;  // null: no state current
};

RecordingState* Make(const Offer& offer) {
  return offer.name ? new RecordingState(offer.name, offer.id, offer.flow, &g_log) : nullptr;
}

TEST(ChangeStateTest, ExitsEntersAndDeletesInOrder) {
  const ChangeCase cases[] = {
      {"same id, both launcher flow",
       {"old", kStatePrepare, kFlowDorevezi},
       {"new", kStatePrepare, kFlowDorevezi},
       {"new:delete"},
       "old"},
      {"same id, both game flow",
       {"old", kStatePrepare, kFlowGame},
       {"new", kStatePrepare, kFlowGame},
       {"new:delete"},
       "old"},
      {"same id, other flow",
       {"old", kStatePrepare, kFlowDorevezi},
       {"new", kStatePrepare, kFlowGame},
       {"old:exit(new)", "new:enter(old)", "old:delete"},
       "new"},
      {"other id",
       {"old", kStatePrepare, kFlowGame},
       {"new", kStateCheckVersion, kFlowGame},
       {"old:exit(new)", "new:enter(old)", "old:delete"},
       "new"},
      {"null offered",
       {"old", kStateEnterGame, kFlowGame},
       {nullptr, kStateNone, kFlowGame},
       {"old:exit(null)", "old:delete"},
       nullptr},
      {"first state",
       {nullptr, kStateNone, kFlowGame},
       {"new", kStatePrepare, kFlowDorevezi},
       {"new:enter(null)"},
       "new"},
      {"nothing at all", {nullptr, kStateNone, kFlowGame}, {nullptr, kStateNone, kFlowGame}, {}, nullptr},
  };
  DoreveziCore& core = DoreveziCore::GetInstance();
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetCore();
    core.ChangeState(Make(c.current));
    g_log.clear();
    core.ChangeState(Make(c.offered));
    EXPECT_EQ(g_log, c.events);
    if (c.currentAfter) {
      ASSERT_NE(core.currentState, nullptr);
      EXPECT_EQ(static_cast<RecordingState*>(core.currentState)->name(), c.currentAfter);
      EXPECT_EQ(core.GetCurrentStateId(), core.currentState->GetStateId());
      EXPECT_EQ(core.GetCurrentFlow(), core.currentState->flowMode);
    } else {
      EXPECT_EQ(core.currentState, nullptr);
      EXPECT_EQ(core.GetCurrentStateId(), kNoStateId);
      EXPECT_EQ(core.GetCurrentFlow(), kNoStateId);
    }
  }
  ResetCore();
}

TEST(ChangeStateTest, BuildingAStateEndsTheErrorBoxMark) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.errorBoxShowing = true;
  RecordingState state("s", kStateException, kFlowGame, &g_log);
  EXPECT_FALSE(core.errorBoxShowing);
  g_log.clear();
}

// ---------------------------------------------------------------------------------------------
// Flows and the pre-download on the worker thread

int g_statesMade = 0;

State* MakePrepare(FlowMode flow) {
  ++g_statesMade;
  return new RecordingState(flow == kFlowGame ? "game" : "launcher", kStatePrepare, flow, &g_log);
}

State* MakePreDownload() {
  ++g_statesMade;
  return new RecordingState("pre", kStatePreDownload, kFlowGame, &g_log);
}

TEST(FlowTest, FlowsAndPreDownloadRunOnTheWorker) {
  ResetCore();
  DoreveziCore& core = DoreveziCore::GetInstance();
  SetStateFactories(&MakePrepare, &MakePreDownload);
  g_statesMade = 0;
  TestWorker worker;
  ASSERT_TRUE(worker.LaunchWithLoopType(base::kMessageLoopDefault));

  // Asked twice before the worker ran the first request: one pre-download state.
  core.StartPreDownload();
  core.StartPreDownload();
  worker.RunAndWait();
  EXPECT_EQ(g_statesMade, 1);
  EXPECT_EQ(g_log, (std::vector<std::string>{"pre:enter(null)"}));
  EXPECT_EQ(core.GetPreDownloadStep(), 0);

  core.gateConfig.disableAutoEnterGame = true;
  core.StartGameFlow(1, true);
  EXPECT_FALSE(core.enterGameRequest);
  core.StartGameFlow(1, false);
  EXPECT_TRUE(core.enterGameRequest);
  worker.RunAndWait();
  // The second game flow's state has the first one's id and flow: it is dropped.
  EXPECT_EQ(g_log, (std::vector<std::string>{"pre:enter(null)", "game:enter(null)", "game:delete"}));
  EXPECT_EQ(core.GetCurrentStateId(), kStatePrepare);
  EXPECT_EQ(core.GetCurrentFlow(), kFlowGame);

  g_log.clear();
  core.StartDoreveziFlow();
  EXPECT_FALSE(core.enterGameRequest);
  core.StopPreDownload();
  core.StopPreDownload();
  worker.RunAndWait();
  EXPECT_EQ(g_log, (std::vector<std::string>{"game:exit(launcher)", "launcher:enter(game)", "game:delete",
                                             "pre:exit(null)", "pre:delete"}));
  EXPECT_EQ(core.GetCurrentFlow(), kFlowDorevezi);
  EXPECT_EQ(core.GetPreDownloadStep(), kNoStateId);
  EXPECT_EQ(core.preDownloadState, nullptr);

  worker.RunAndWait([] { ResetCore(); });
  core.gateConfig.disableAutoEnterGame = false;
}

TEST(FlowTest, WorkerExitEndsTheStatesAndForgetsTheMaps) {
  test_support::TempDir dir;
  core_test::ScopedCurrentDirectory cwd(dir.Path());
  ResetCore();
  DoreveziCore& core = DoreveziCore::GetInstance();
  ASSERT_TRUE(core_test::WriteBytes(dir.Path() + L"\\dorevezi_version_map.txt",
                                    R"({"version": "2.3.10", "list": {}})"));
  CreateFolderPath(dir.Path() + L"\\update\\predownload\\1_2_3");
  CreateFolderPath(dir.Path() + L"\\update\\predownload\\1_2_4");
  core.SetGamePath(dir.Path() + L"\\game");
  core.doreveziReplaced = true;
  core.OnMiscThreadStart();
  EXPECT_FALSE(core.doreveziReplaced);
  EXPECT_EQ(core.versionMaps.size(), 12u);
  EXPECT_EQ(core.GetVersionTexts().doreveziVersion, "2.3.10");
  EXPECT_EQ(core.GetVersionTexts().localGameVersion, "");
  EXPECT_EQ(core.preDownloadFolders, (std::list<std::string>{"1_2_3", "1_2_4"}));

  core.ChangeState(new RecordingState("current", kStateDownloadFiles, kFlowGame, &g_log));
  core.preDownloadState = new RecordingState("pre", kStatePreDownload, kFlowGame, &g_log);
  g_log.clear();
  core.OnMiscThreadExit();
  // The pre-download state is deleted without its exit.
  EXPECT_EQ(g_log, (std::vector<std::string>{"current:exit(null)", "current:delete", "pre:delete"}));
  EXPECT_EQ(core.currentState, nullptr);
  EXPECT_EQ(core.preDownloadState, nullptr);
  EXPECT_TRUE(core.versionMaps.empty());
  ResetCore();
}

// ---------------------------------------------------------------------------------------------
// Start-up

std::string ReadFile(const std::wstring& path) {
  return core_test::ReadBytes(path);
}

TEST(InitializeTest, FirstRunWritesSettingsAndRecordThenRunsInChinese) {
  test_support::TempDir dir;
  core_test::ScopedCurrentDirectory cwd(dir.Path());
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.envConfig = EnvConfig();
  core.downloadLog = DownloadLog();
  core.Initialize();

  EXPECT_TRUE(core.firstRun);
  EXPECT_TRUE(core.askCloseOption);
  EXPECT_EQ(core.envConfig.languageType, kLanguageZhCn);
  EXPECT_EQ(core.envConfig.languageCode, "zh_CN");
  EXPECT_EQ(ui::UiRuntime::GetChannel(), L"CN");
  EXPECT_EQ(core.GetGamePath(), GetDefaultInstallFolder());
  EXPECT_EQ(core.alternateFileNames.size(), 2u);

  EnvConfig saved;
  ASSERT_TRUE(LoadEnvConfig(dir.Path() + L"\\save\\EnvConfig.json", saved));
  EXPECT_EQ(saved.languageType, LanguageForLocale(GetUserDefaultLCID()));
  EXPECT_EQ(saved.gamePath, GetDefaultInstallFolder());
  DownloadLog log;
  log.firstInstall = false;
  ASSERT_TRUE(LoadDownloadLog(dir.Path() + L"\\save\\Log.json", log));
  EXPECT_TRUE(log.firstInstall);
  EXPECT_EQ(core_test::ListFolder(dir.Path() + L"\\save"),
            (std::vector<std::wstring>{L"EnvConfig.json", L"Log.json"}));
}

TEST(InitializeTest, LanguageArgumentDoesNotRewriteTheSettings) {
  test_support::TempDir dir;
  core_test::ScopedCurrentDirectory cwd(dir.Path());
  CreateFolderPath(dir.Path() + L"\\save");
  const std::string settings = "{\n\t\"gamePath\" : \"\",\n\t\"languageType\" : 6\n}";
  ASSERT_TRUE(core_test::WriteBytes(dir.Path() + L"\\save\\EnvConfig.json", settings));
  ASSERT_TRUE(core_test::WriteBytes(dir.Path() + L"\\save\\gid.txt", "channel-7\n"));
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.envConfig = EnvConfig();
  DispatchArguments({L"x", L"set_language", L"ja"});
  core.Initialize();
  g_languageArgument[0] = L'\0';
  g_hasLanguageArgument = false;

  EXPECT_FALSE(core.firstRun);
  EXPECT_EQ(core.envConfig.languageType, kLanguageZhCn);
  EXPECT_EQ(core.channelId, "channel-7\n");
  // An empty game folder becomes the default one in memory only.
  EXPECT_EQ(core.GetGamePath(), GetDefaultInstallFolder());
  EXPECT_EQ(ReadFile(dir.Path() + L"\\save\\EnvConfig.json"), settings);
}

// ---------------------------------------------------------------------------------------------
// Game-client link

std::map<HWND, std::vector<std::pair<UINT, LPARAM>>> g_received;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= kMsgGameRegisterWindow && message <= kMsgGameLinkEcho) {
    g_received[window].push_back({message, lParam});
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow(const wchar_t* className, bool gameProperty) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = RecordingWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, className, L"test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (gameProperty) SetPropW(window, kGameWindowProperty, window);
  return window;
}

class GameLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCore();
    g_received.clear();
    ASSERT_TRUE(worker_.LaunchWithLoopType(base::kMessageLoopDefault));
  }
  void TearDown() override {
    for (HWND window : windows_) DestroyWindow(window);
    worker_.RunAndWait([] { ResetCore(); });
  }
  HWND Window(const wchar_t* className, bool gameProperty) {
    windows_.push_back(MakeWindow(className, gameProperty));
    return windows_.back();
  }
  void Notify(UINT message, LPARAM lParam) {
    DoreveziCore::GetInstance().NotifyGameWindows(message, 0, lParam);
    worker_.RunAndWait();
  }

  TestWorker worker_;
  std::vector<HWND> windows_;
};

TEST_F(GameLinkTest, RegisteredWindowsComeBeforeThePropertyScan) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  HWND first = Window(L"DvTestGameWindow", true);
  HWND second = Window(L"DvTestGameWindow", true);
  core.AddGameWindow(first);
  core.AddGameWindow(first);
  Notify(kMsgPreDownloadState, 3);
  EXPECT_EQ(g_received[first], (std::vector<std::pair<UINT, LPARAM>>{{kMsgPreDownloadState, 3}}));
  EXPECT_TRUE(g_received[second].empty());

  // None registered: every window that carries the game's property, found by the scan.
  core.gameWindows.clear();
  g_received.clear();
  Notify(kMsgGameLinkEcho, 0);
  EXPECT_EQ(g_received[first].size(), 1u);
  EXPECT_EQ(g_received[second].size(), 1u);
  EXPECT_EQ(core.GetGameWindows().size(), 2u);

  // A window that died is dropped when another registers.
  DestroyWindow(second);
  HWND third = Window(L"DvTestGameWindow", true);
  core.AddGameWindow(third);
  EXPECT_EQ(core.GetGameWindows(), (std::vector<HWND>{first, third}));
}

TEST_F(GameLinkTest, WindowsThatAreNotTheGamesGetNothing) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  HWND stranger = Window(L"DvTestOtherWindow", false);
  core.AddGameWindow(stranger);
  Notify(kMsgGameLinkEcho, 0);
  // A window of the game's class outside the game's process is not the game's either.
  core.gameWindows.clear();
  HWND unity = Window(kGameWindowClass, false);
  Notify(kMsgGameLinkEcho, 0);
  EXPECT_TRUE(g_received[stranger].empty());
  EXPECT_TRUE(g_received[unity].empty());
}

// The game stand-in runs as "TOLV.exe" with a window of the game's class that lacks the game's
// property and looks for no launcher: it is reached only through the class fallback.
TEST_F(GameLinkTest, WithoutGameWindowsTheGameClassWindowIsUsed) {
  test_support::TempDir dir;
  const std::wstring log = dir.Path() + L"\\tolv.log";
  const std::pair<const wchar_t*, std::wstring> environment[] = {
      {L"DV_TOLV_LOG", log},
      {L"DV_TOLV_WAIT_MS", L"20000"},
      {L"DV_TOLV_POLL_MS", L"0"},
      {L"DV_TOLV_MUTEX", L"DvTestTolvMutexFallback"},
      {L"DV_TOLV_WINDOW_PROPERTY", L"DvTestNoGameProperty"},
      {L"DV_TOLV_LAUNCHER_CLASS", L"DvTestNoLauncherClass"},
      {L"DV_TOLV_LAUNCHER_PROPERTY", L"DvTestNoLauncherProperty"},
  };
  for (const auto& variable : environment) SetEnvironmentVariableW(variable.first, variable.second.c_str());
  entry_test::ChildProcess game;
  ASSERT_TRUE(game.Start(L"\"" + entry_test::BinaryPath(L"bin/TOLV.exe") + L"\"", dir.Path()));
  for (const auto& variable : environment) SetEnvironmentVariableW(variable.first, nullptr);

  HWND gameWindow = nullptr;
  ASSERT_TRUE(entry_test::WaitFor(
      [&] {
        gameWindow = FindWindowW(kGameWindowClass, L"TOLV");
        return gameWindow != nullptr;
      },
      15000));
  Window(kGameWindowClass, false);  // an impostor of the same class, in this process
  Notify(kMsgGameLinkEcho, 0);
  EXPECT_TRUE(entry_test::WaitFor(
      [&] { return core_test::ReadBytes(log).find("recv: 2532 wParam=0 lParam=0") != std::string::npos; },
      5000))
      << core_test::ReadBytes(log);
  PostMessageW(gameWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(game.WaitExit(10000), 0);
}

TEST_F(GameLinkTest, AHungGameWindowDoesNotStopTheWorker) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  struct Hung {
    HWND window = nullptr;
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  } hung;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* argument) -> DWORD {
        Hung* hung = static_cast<Hung*>(argument);
        hung->window = MakeWindow(L"DvTestHungWindow", true);
        SetEvent(hung->created);
        WaitForSingleObject(hung->release, INFINITE);  // answers nothing meanwhile
        DestroyWindow(hung->window);
        return 0;
      },
      &hung, 0, nullptr);
  WaitForSingleObject(hung.created, INFINITE);
  HWND healthy = Window(L"DvTestGameWindow", true);
  core.AddGameWindow(hung.window);
  core.AddGameWindow(healthy);

  core.NotifyGameWindows(kMsgPreDownloadSpeed, 0, 7);
  // The worker gets past the hung window, which answers nothing until it is released below.
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [done] { SetEvent(done); });
  EXPECT_TRUE(entry_test::TestWorker::WaitPumping(done, 60000));
  CloseHandle(done);
  EXPECT_EQ(g_received[healthy], (std::vector<std::pair<UINT, LPARAM>>{{kMsgPreDownloadSpeed, 7}}));
  // The worker goes on with other tasks.
  bool ran = false;
  worker_.RunAndWait([&] { ran = true; });
  EXPECT_TRUE(ran);

  SetEvent(hung.release);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(hung.created);
  CloseHandle(hung.release);
}

// ---------------------------------------------------------------------------------------------
// Texts shared by the two threads

TEST(SharedTextsTest, VersionTextsAreReadAsOneConsistentCopy) {
  test_support::TempDir dir;
  const std::wstring folders[] = {dir.Path() + L"\\a", dir.Path() + L"\\b"};
  const char* versions[] = {"10077_3_5", "1_2_3"};
  for (int i = 0; i < 2; ++i) {
    CreateFolderPath(folders[i]);
    ASSERT_TRUE(core_test::WriteBytes(folders[i] + L"\\version_map.txt",
                                      std::string("{\"version\": \"") + versions[i] + "\", \"list\": {}}"));
  }
  DoreveziCore& core = DoreveziCore::GetInstance();
  struct Writer {
    const std::wstring* folders;
    volatile bool stop = false;
  } writer{folders};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* argument) -> DWORD {
        Writer* writer = static_cast<Writer*>(argument);
        for (int i = 0; !writer->stop; ++i) {
          DoreveziCore::GetInstance().SetGamePath(writer->folders[i % 2]);
          DoreveziCore::GetInstance().LoadGameVersion();
        }
        return 0;
      },
      &writer, 0, nullptr);
  const std::map<std::string, std::string> displays = {{"10077_3_5", "1.0.77.5.3"}, {"1_2_3", "0.0.1.3.2"}};
  int seen = 0;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 1000) {
    VersionTexts texts = core.GetVersionTexts();
    if (texts.localGameVersion.empty()) continue;
    ++seen;
    ASSERT_EQ(displays.count(texts.localGameVersion), 1u) << texts.localGameVersion;
    ASSERT_EQ(texts.displayVersion, displays.at(texts.localGameVersion));
    ASSERT_EQ(texts.remoteGameVersion, texts.localGameVersion);
  }
  writer.stop = true;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_GT(seen, 0);
}

}  // namespace
