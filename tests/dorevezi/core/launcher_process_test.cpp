// dorevezi.exe as a process: its ticks and clean exit, the single instance, the setting switches,
// the build tool beside a running launcher, the game-client link with the game stand-in, and the
// self-updater.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_test_util.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/windows/main_form.h"
#include "entry_test_util.h"
#include "test_support/temp_dir.h"

namespace {

using entry_test::ChildProcess;
using entry_test::FileExists;
using entry_test::WaitFor;

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kExitTimeoutMs = 15000;

std::wstring LauncherBuild() {
  return entry_test::BinaryPath(L"bin/dorevezi.exe");
}
std::wstring Quoted(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

// A launcher folder of its own, holding a copy of the launcher.
class LauncherFolder {
 public:
  LauncherFolder() { CopyFileW(LauncherBuild().c_str(), Exe().c_str(), FALSE); }
  std::wstring Path() const { return dir_.Path(); }
  std::wstring Exe() const { return dir_.Path() + L"\\dorevezi.exe"; }
  std::wstring File(const std::wstring& name) const { return dir_.Path() + L"\\" + name; }

  bool Start(ChildProcess& process, const std::wstring& arguments = L"") const {
    return process.Start(Quoted(Exe()) + (arguments.empty() ? L"" : L" " + arguments), Path());
  }

 private:
  test_support::TempDir dir_;
};

HWND WaitForMainWindow(const ChildProcess& process) {
  HWND window = nullptr;
  WaitFor(
      [&] {
        window = entry_test::FindMarkedWindow(process.id(), kDoreveziInstanceName);
        return window != nullptr;
      },
      kStartTimeoutMs);
  return window;
}

LRESULT QueryTicks(HWND window, WPARAM which) {
  static const UINT query = RegisterWindowMessageW(kTickCountsQueryName);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, query, which, 0, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

TEST(LauncherProcessTest, RunsBothTicksAndExitsCleanly) {
  LauncherFolder folder;
  ChildProcess launcher;
  ASSERT_TRUE(folder.Start(launcher));
  HWND window = WaitForMainWindow(launcher);
  ASSERT_NE(window, nullptr);
  wchar_t title[64] = L"";
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"Dorevezi");
  // The window is marked before it is shown: a loaded machine may see the gap.
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, kStartTimeoutMs));

  LRESULT uiBefore = QueryTicks(window, 0);
  LRESULT engineBefore = QueryTicks(window, 1);
  DWORD start = GetTickCount();
  LRESULT uiTicks = 0;
  LRESULT engineTicks = 0;
  // Every 500 ms on the UI thread; every 2 ms on the worker, of which a loaded machine may lose
  // some, never most.
  EXPECT_TRUE(WaitFor(
      [&] {
        uiTicks = QueryTicks(window, 0) - uiBefore;
        engineTicks = QueryTicks(window, 1) - engineBefore;
        return uiTicks >= 2 && engineTicks >= 100;
      },
      60000));
  // Never faster than every 500 ms.
  EXPECT_LE(uiTicks, static_cast<LRESULT>((GetTickCount() - start) / 500 + 2));

  PostMessageW(window, kMsgExitDorevezi, 0, 0);
  EXPECT_EQ(launcher.WaitExit(kExitTimeoutMs), 0);
  EXPECT_TRUE(FileExists(folder.File(L"save\\EnvConfig.json")));
  EXPECT_TRUE(FileExists(folder.File(L"save\\Log.json")));
}

TEST(LauncherProcessTest, SecondStartShowsTheHiddenFirstAndToolModesStillRun) {
  LauncherFolder folder;
  ChildProcess first;
  ASSERT_TRUE(folder.Start(first));
  HWND window = WaitForMainWindow(first);
  ASSERT_NE(window, nullptr);
  PostMessageW(window, kMsgHideToTray, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }, 5000));

  ChildProcess second;
  ASSERT_TRUE(folder.Start(second));
  EXPECT_EQ(second.WaitExit(kExitTimeoutMs), 0);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5000));

  // The build tool ignores the running instance and shows no window.
  ChildProcess tool;
  ASSERT_TRUE(folder.Start(tool, L"make_version 1.2.3"));
  EXPECT_EQ(tool.WaitExit(kExitTimeoutMs), 0);
  EXPECT_NE(core_test::ReadBytes(folder.File(L"dorevezi_version_map.txt")).find("1.2.3"), std::string::npos);
  EXPECT_EQ(entry_test::FindMarkedWindow(tool.id(), kDoreveziInstanceName), nullptr);

  PostMessageW(window, kMsgExitDorevezi, 0, 0);
  EXPECT_EQ(first.WaitExit(kExitTimeoutMs), 0);
}

TEST(LauncherProcessTest, OverlongPlatformWordStartsNormally) {
  LauncherFolder folder;
  ChildProcess launcher;
  ASSERT_TRUE(folder.Start(launcher, L"set_platform " + std::wstring(40, L'p')));
  HWND window = WaitForMainWindow(launcher);
  ASSERT_NE(window, nullptr);
  PostMessageW(window, kMsgExitDorevezi, 0, 0);
  EXPECT_EQ(launcher.WaitExit(kExitTimeoutMs), 0);
}

// With the runtime stand-in in "cef" beside it, the launcher starts the runtime with its switches
// (the browser process's only) and shuts it down on exit.
TEST(LauncherProcessTest, StartsTheBrowserRuntimeBesideItAndShutsItDownOnExit) {
  LauncherFolder folder;
  ASSERT_TRUE(CreateDirectoryW(folder.File(L"cef").c_str(), nullptr));
  for (const wchar_t* name : {L"libcef.dll", L"cef_helper.exe", L"dummy_cmd.exe"}) {
    ASSERT_TRUE(CopyFileW(entry_test::BinaryPath(std::wstring(L"bin/cef/") + name).c_str(),
                          folder.File(std::wstring(L"cef\\") + name).c_str(), FALSE));
  }
  ChildProcess launcher;
  ASSERT_TRUE(folder.Start(launcher));
  HWND window = WaitForMainWindow(launcher);
  ASSERT_NE(window, nullptr);
  const std::wstring log = folder.File(L"cef_temp\\cef.log");
  ASSERT_TRUE(WaitFor([&] { return core_test::ReadBytes(log).find("Cookie schemes: http,https") != std::string::npos; }, 5000))
      << core_test::ReadBytes(log);
  std::string text = core_test::ReadBytes(log);
  size_t at = text.find("Browser process command line: ");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string line = text.substr(at, text.find('\n', at) - at);
  EXPECT_NE(line.find("--ppapi-flash-version=20.0.0.228 --ppapi-flash-path=PepperFlash\\pepflashplayer.dll "
                      "--process-per-site --disable-gpu --disable-gpu-compositing --disable-surfaces "
                      "--enable-begin-frame-scheduling"),
            std::string::npos)
      << line;
  EXPECT_NE(text.find("] Initialized"), std::string::npos) << text;
  EXPECT_EQ(text.find("Sub-process"), std::string::npos) << text;

  PostMessageW(window, kMsgExitDorevezi, 0, 0);
  EXPECT_EQ(launcher.WaitExit(kExitTimeoutMs), 0);
  EXPECT_NE(core_test::ReadBytes(log).find("Shut down"), std::string::npos);
}

// The game stand-in finds the launcher by its property, registers and asks its four queries;
// every answer comes back through the worker thread.
TEST(LauncherProcessTest, AnswersTheGameClientsQueries) {
  LauncherFolder folder;
  ChildProcess launcher;
  ASSERT_TRUE(folder.Start(launcher));
  HWND window = WaitForMainWindow(launcher);
  ASSERT_NE(window, nullptr);

  const std::wstring log = folder.File(L"tolv.log");
  SetEnvironmentVariableW(L"DV_TOLV_LOG", log.c_str());
  SetEnvironmentVariableW(L"DV_TOLV_POLL_MS", L"0");
  SetEnvironmentVariableW(L"DV_TOLV_MUTEX", L"DvTestTolvMutexLink");
  ChildProcess game;
  bool started = game.Start(Quoted(entry_test::BinaryPath(L"bin/TOLV.exe")), folder.Path());
  SetEnvironmentVariableW(L"DV_TOLV_LOG", nullptr);
  SetEnvironmentVariableW(L"DV_TOLV_POLL_MS", nullptr);
  SetEnvironmentVariableW(L"DV_TOLV_MUTEX", nullptr);
  ASSERT_TRUE(started);

  const char* answers[] = {"recv: 2527 wParam=0 lParam=0", "recv: 2529 wParam=0 lParam=0",
                           "recv: 2531 wParam=0 lParam=0", "recv: 2532 wParam=0 lParam=0"};
  for (const char* answer : answers) {
    EXPECT_TRUE(WaitFor([&] { return core_test::ReadBytes(log).find(answer) != std::string::npos; }, 15000))
        << answer << "\n"
        << core_test::ReadBytes(log);
  }
  HWND gameWindow = entry_test::FindMarkedWindow(game.id(), L"_ZUN_GAME_CN");
  if (gameWindow) PostMessageW(gameWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(game.WaitExit(kExitTimeoutMs), 0);
  PostMessageW(window, kMsgExitDorevezi, 0, 0);
  EXPECT_EQ(launcher.WaitExit(kExitTimeoutMs), 0);
}

// ---------------------------------------------------------------------------------------------
// Self-updater

std::wstring ReplacePeer() {
  return entry_test::OwnFolder() + L"replace_peer.exe";
}

// The old launcher (a stand-in that keeps its executable locked as a running program does)
// starts the updater and takes longer to end than the updater would retry a locked file; the
// updater waits for it, puts the staged launcher in place, starts it, and removes its own copy.
TEST(SelfUpdaterTest, ReplacesTheLauncherOnceTheOldOneHasEnded) {
  test_support::TempDir dir;
  const std::wstring launcher = dir.Path() + L"\\dorevezi.exe";
  const std::wstring helper = dir.Path() + L"\\dorevezi_temp.exe";
  const std::wstring staged = dir.Path() + L"\\update\\dorevezi.exe";
  ASSERT_TRUE(CopyFileW(ReplacePeer().c_str(), launcher.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(LauncherBuild().c_str(), helper.c_str(), FALSE));
  CreateDirectoryW((dir.Path() + L"\\update").c_str(), nullptr);
  const std::string newBuild = core_test::ReadBytes(ReplacePeer()) + "new launcher build";
  ASSERT_TRUE(core_test::WriteBytes(staged, newBuild));

  ChildProcess oldLauncher;
  ASSERT_TRUE(oldLauncher.Start(Quoted(launcher) +
                                    L" old-launcher 15000 dorevezi_temp.exe replace "
                                    L"\".\\update\\dorevezi.exe\" \".\\dorevezi.exe\" \".\\dorevezi.exe\"",
                                dir.Path()));
  EXPECT_EQ(oldLauncher.WaitExit(25000), 0);
  EXPECT_TRUE(WaitFor([&] { return FileExists(dir.Path() + L"\\started.txt"); }, 20000));
  EXPECT_TRUE(core_test::ReadBytes(launcher) == newBuild);
  EXPECT_TRUE(WaitFor([&] { return !FileExists(helper); }, 15000));
  EXPECT_TRUE(core_test::ReadBytes(staged) == newBuild);
  EXPECT_FALSE(FileExists(launcher + L".replacing"));
}

TEST(SelfUpdaterTest, ALauncherThatStaysLockedKeepsTheStagedFile) {
  test_support::TempDir dir;
  const std::wstring launcher = dir.Path() + L"\\dorevezi.exe";
  const std::wstring helper = dir.Path() + L"\\dorevezi_temp.exe";
  const std::wstring staged = dir.Path() + L"\\update\\dorevezi.exe";
  ASSERT_TRUE(core_test::WriteBytes(launcher, "old launcher"));
  ASSERT_TRUE(CopyFileW(LauncherBuild().c_str(), helper.c_str(), FALSE));
  CreateDirectoryW((dir.Path() + L"\\update").c_str(), nullptr);
  ASSERT_TRUE(core_test::WriteBytes(staged, "new launcher"));

  HANDLE lock =
      CreateFileW(launcher.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  ChildProcess updater;
  ASSERT_TRUE(updater.Start(Quoted(helper) + L" replace \".\\update\\dorevezi.exe\" \".\\dorevezi.exe\" \"\"",
                            dir.Path()));
  EXPECT_EQ(updater.WaitExit(40000), 0);
  CloseHandle(lock);
  EXPECT_EQ(core_test::ReadBytes(launcher), "old launcher");
  EXPECT_EQ(core_test::ReadBytes(staged), "new launcher");
  EXPECT_FALSE(FileExists(launcher + L".replacing"));
  EXPECT_TRUE(WaitFor([&] { return !FileExists(helper); }, 15000));
}

}  // namespace
