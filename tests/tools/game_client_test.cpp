// The game-client stand-in, started as the launcher starts the game: it logs what it was given, exits
// on its own without a launcher, and with a launcher window present registers, asks its four questions,
// logs the answers, holds its mutex and ends on WM_CLOSE.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "test_support/temp_dir.h"

#include "dorevezi/core/messages.h"

namespace {

constexpr UINT kMsgAnswerLater = WM_APP + 7;

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// DV_BINARY_DIR is a Unix path; Wine shows the root as drive Z:.
std::wstring StandinPath() {
  const char* binary = std::getenv("DV_BINARY_DIR");
  if (!binary) return std::wstring();
  std::wstring path = L"Z:" + Widen(binary) + L"/bin/TOLV.exe";
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);
  return out;
}

// Unique names for the objects the stand-in uses, so that tests running at the same time in the same
// Wine session never see each other's game or launcher.
struct Names {
  std::wstring suffix =
      L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
  std::wstring mutex = L"DvTestTolvMutex" + suffix;
  std::wstring gameClass = L"DvTestUnityWndClass" + suffix;
  std::wstring gameProperty = L"DvTestGameProp" + suffix;
  std::wstring launcherClass = L"DvTestDorevezi" + suffix;
  std::wstring launcherProperty = L"DvTestLauncherProp" + suffix;
};

class GameStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = StandinPath();
    ASSERT_FALSE(exe_.empty()) << "DV_BINARY_DIR is not set";
    ASSERT_NE(GetFileAttributesW(exe_.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(exe_);
    log_ = dir_.Path() + L"\\game.log";
    SetEnvironmentVariableW(L"DV_TOLV_LOG", log_.c_str());
    SetEnvironmentVariableW(L"DV_TOLV_MUTEX", names_.mutex.c_str());
    SetEnvironmentVariableW(L"DV_TOLV_WINDOW_CLASS", names_.gameClass.c_str());
    SetEnvironmentVariableW(L"DV_TOLV_WINDOW_PROPERTY", names_.gameProperty.c_str());
    SetEnvironmentVariableW(L"DV_TOLV_LAUNCHER_CLASS", names_.launcherClass.c_str());
    SetEnvironmentVariableW(L"DV_TOLV_LAUNCHER_PROPERTY", names_.launcherProperty.c_str());
    SetEnvironmentVariableW(L"DV_TOLV_POLL_MS", L"0");
  }
  void TearDown() override {
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 9);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
  }

  // Started as the launcher starts the game: unquoted program path, working folder the game folder.
  void Start(const std::wstring& arguments) {
    std::wstring command = exe_ + L" " + arguments;
    STARTUPINFOW startup = {sizeof(startup)};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.Path().c_str(),
                               &startup, &process_))
        << GetLastError();
  }

  DWORD WaitExit(DWORD timeoutMs) {
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  test_support::TempDir dir_;
  Names names_;
  std::wstring exe_;
  std::wstring log_;
  PROCESS_INFORMATION process_ = {};
};

TEST_F(GameStandin, LogsItsCommandLineAndExitsWithoutALauncher) {
  SetEnvironmentVariableW(L"DV_TOLV_WAIT_MS", L"600");
  Start(L"0123456789abcdef0123456789abcdef win 0|1");
  EXPECT_EQ(WaitExit(60000), 0u);
  std::string log = ReadFile(log_);
  EXPECT_NE(log.find("cmdline: " + Narrow(exe_) + " 0123456789abcdef0123456789abcdef win 0|1"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("argc: 4"), std::string::npos) << log;
  EXPECT_NE(log.find("argv[1]: 0123456789abcdef0123456789abcdef"), std::string::npos) << log;
  EXPECT_NE(log.find("argv[2]: win"), std::string::npos) << log;
  EXPECT_NE(log.find("argv[3]: 0|1"), std::string::npos) << log;
  EXPECT_NE(log.find("cwd: " + Narrow(dir_.Path())), std::string::npos) << log;
  EXPECT_NE(log.find("launcher: not found after 600 ms"), std::string::npos) << log;
  EXPECT_NE(log.find("exit: reason=no-launcher code=0"), std::string::npos) << log;
}

TEST_F(GameStandin, SecondInstanceExitsAtOnce) {
  HANDLE held = CreateMutexW(nullptr, FALSE, names_.mutex.c_str());
  ASSERT_NE(held, nullptr);
  Start(L"empty");
  EXPECT_EQ(WaitExit(60000), 3u);
  CloseHandle(held);
  EXPECT_NE(ReadFile(log_).find("mutex: already held"), std::string::npos);
}

// A window standing in for the launcher's main window: it records what the game sends and answers the
// queries later, from outside the game's own call, as the launcher's worker thread does.
struct FakeLauncher {
  HWND window = nullptr;
  HWND game = nullptr;
  bool registeredWithProperty = false;
  std::wstring registeredClass;
  int queries = 0;
  int echoes = 0;
};
FakeLauncher* g_fake = nullptr;
std::wstring g_gameProperty;

LRESULT CALLBACK FakeLauncherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kMsgGameRegisterWindow: {
      g_fake->game = reinterpret_cast<HWND>(lParam);
      g_fake->registeredWithProperty = GetPropW(g_fake->game, g_gameProperty.c_str()) == g_fake->game;
      wchar_t name[256] = {};
      GetClassNameW(g_fake->game, name, 256);
      g_fake->registeredClass = name;
      return 0;
    }
    case kMsgGameQueryPreDownloadState:
    case kMsgGameQueryPreDownloadSize:
    case kMsgGameQueryPreDownloadSpeed:
    case kMsgGameLinkEcho:
      PostMessageW(window, kMsgAnswerLater, message, 0);
      return 0;
    case kMsgAnswerLater:
      if (wParam == kMsgGameQueryPreDownloadState) SendMessageW(g_fake->game, kMsgPreDownloadState, 0, 3);
      if (wParam == kMsgGameQueryPreDownloadSize) SendMessageW(g_fake->game, kMsgPreDownloadSize, 1000, 250);
      if (wParam == kMsgGameQueryPreDownloadSpeed) SendMessageW(g_fake->game, kMsgPreDownloadSpeed, 42, 1024);
      if (wParam == kMsgGameLinkEcho) {
        SendMessageW(g_fake->game, kMsgGameLinkEcho, 0, 0);
        ++g_fake->echoes;
      } else {
        ++g_fake->queries;
      }
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(GameStandin, RegistersAsksAndLogsTheAnswers) {
  FakeLauncher fake;
  g_fake = &fake;
  g_gameProperty = names_.gameProperty;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = FakeLauncherProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = names_.launcherClass.c_str();
  ASSERT_TRUE(RegisterClassW(&windowClass));
  // Hidden, as the launcher is when it has started the game; found by its property.
  fake.window = CreateWindowExW(0, names_.launcherClass.c_str(), L"Dorevezi", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(fake.window, nullptr);
  SetPropW(fake.window, names_.launcherProperty.c_str(), fake.window);
  SetEnvironmentVariableW(L"DV_TOLV_WAIT_MS", L"10000");

  Start(L"abc win 0|1");
  DWORD start = GetTickCount();
  while ((fake.queries < 3 || fake.echoes < 1) && GetTickCount() - start < 60000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  ASSERT_EQ(fake.queries, 3);
  ASSERT_EQ(fake.echoes, 1);
  EXPECT_TRUE(fake.registeredWithProperty);
  EXPECT_EQ(fake.registeredClass, names_.gameClass);

  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, names_.mutex.c_str());
  EXPECT_NE(mutex, nullptr) << "the running game holds its instance mutex";
  if (mutex) CloseHandle(mutex);

  PostMessageW(fake.game, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitExit(60000), 0u);
  std::string log = ReadFile(log_);
  EXPECT_NE(log.find("launcher: found hwnd="), std::string::npos) << log;
  EXPECT_NE(log.find(" by property"), std::string::npos) << log;
  EXPECT_NE(log.find("recv: 2527 wParam=0 lParam=3"), std::string::npos) << log;
  EXPECT_NE(log.find("recv: 2529 wParam=1000 lParam=250"), std::string::npos) << log;
  EXPECT_NE(log.find("recv: 2531 wParam=42 lParam=1024"), std::string::npos) << log;
  EXPECT_NE(log.find("recv: 2532 wParam=0 lParam=0"), std::string::npos) << log;
  EXPECT_NE(log.find("exit: reason=closed code=0"), std::string::npos) << log;
  DestroyWindow(fake.window);
  g_fake = nullptr;
}

}  // namespace
