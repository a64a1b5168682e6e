// The touch keyboard through its stand-in "TabTip.exe", placed under "microsoft shared\ink" in a
// folder that "CommonProgramW6432" names. Wine has no invocation object, so every show that is
// needed starts the program; the stand-in logs each start beside itself.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "screen_capture.h"
#include "test_support/temp_dir.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/controls/on_screen_keyboard.h"

namespace {

using ui::OnScreenKeyboardManager;

std::wstring StandinPath() {
  const char* binary = std::getenv("DV_BINARY_DIR");
  if (!binary) return std::wstring();
  std::wstring path = L"Z:";
  for (const char* c = binary; *c; ++c) path += static_cast<wchar_t>(*c == '/' ? '\\' : *c);
  return path + L"\\bin\\touchkeyboard\\TabTip.exe";
}

int CountStarts(const std::wstring& log) {
  std::ifstream in(log.c_str());
  int starts = 0;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("start ", 0) == 0) ++starts;
  return starts;
}

class TouchKeyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FindWindowW(L"IPTip_Main_Window", nullptr), nullptr) << "a keyboard window is left from elsewhere";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring ink = common_.Path() + L"\\microsoft shared\\ink";
    ASSERT_TRUE(CreateDirectoryW((common_.Path() + L"\\microsoft shared").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(ink.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(StandinPath().c_str(), (ink + L"\\TabTip.exe").c_str(), FALSE)) << "no stand-in built";
    log_ = ink + L"\\TabTip.log";
    SetEnvironmentVariableW(L"CommonProgramW6432", common_.Path().c_str());
  }

  void TearDown() override {
    // Stops the keyboard this test started, by its own process id.
    if (HWND window = FindWindowW(L"IPTip_Main_Window", nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
      }
    }
    // Lets every application still pending run out before the next test.
    ui_test::PumpFor(100);
    SetEnvironmentVariableW(L"CommonProgramW6432", nullptr);
    CoUninitialize();
  }

  // Waits for the keyboard window's process to end after a close.
  static bool WaitGone(DWORD timeoutMs) {
    HWND window = FindWindowW(L"IPTip_Main_Window", nullptr);
    if (!window) return true;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    const bool gone = ui_test::PumpUntil([] { return FindWindowW(L"IPTip_Main_Window", nullptr) == nullptr; },
                                         timeoutMs);
    if (process) {
      WaitForSingleObject(process, timeoutMs);
      CloseHandle(process);
    }
    return gone;
  }

  test_support::TempDir common_;
  std::wstring log_;
};

TEST(TouchKeyboardPath, FollowsCommonProgramW6432) {
  const wchar_t kDefault[] = L"C:\\\\Program Files\\Common Files\\microsoft shared\\ink\\TabTip.exe";
  struct Case {
    const wchar_t* value;  // null: the variable is missing
    std::wstring expected;
  } cases[] = {
      {L"C:\\Program Files\\Common Files", L"C:\\Program Files\\Common Files\\microsoft shared\\ink\\TabTip.exe"},
      {L"D:\\x", L"D:\\x\\microsoft shared\\ink\\TabTip.exe"},
      {L"", kDefault},
      {nullptr, kDefault},
  };
  for (const Case& c : cases) {
    SetEnvironmentVariableW(L"CommonProgramW6432", c.value);
    EXPECT_EQ(OnScreenKeyboardManager::TouchKeyboardProgramPath(), c.expected) << (c.value ? c.value : L"(missing)");
  }
  SetEnvironmentVariableW(L"CommonProgramW6432", nullptr);
}

TEST_F(TouchKeyboard, ShowStartsTheProgramOnceAndHideClosesIt) {
  OnScreenKeyboardManager& manager = OnScreenKeyboardManager::Instance();
  manager.RequestKeyboard(true);
  EXPECT_TRUE(manager.IsWantedVisible());
  ASSERT_TRUE(ui_test::PumpUntil([] { return OnScreenKeyboardManager::IsKeyboardShown(); }, 15000));
  EXPECT_EQ(CountStarts(log_), 1);

  // The window lies along the bottom of the screen.
  RECT placed = {};
  GetWindowRect(FindWindowW(L"IPTip_Main_Window", nullptr), &placed);
  EXPECT_EQ(placed.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(placed.right - placed.left, GetSystemMetrics(SM_CXSCREEN));
  // And the screen shows it there: the stand-in paints its face dark grey.
  const bool painted = ui_test::PumpUntil(
      [&placed] {
        const controls_test::ScreenImage image = controls_test::CaptureScreen(placed);
        return image.At(4, 4) == 0x303038u;
      },
      5000);
  EXPECT_TRUE(painted);
  RECT bottom = {0, placed.top - 40, placed.right, placed.bottom};
  EXPECT_FALSE(controls_test::SaveScreenshot(controls_test::CaptureScreen(bottom), L"touch_keyboard.png").empty());

  // Shown already: a second wish to show starts nothing.
  manager.RequestKeyboard(true);
  ui_test::PumpFor(500);
  EXPECT_EQ(CountStarts(log_), 1);

  manager.RequestKeyboard(false);
  EXPECT_TRUE(WaitGone(10000));
  EXPECT_FALSE(OnScreenKeyboardManager::IsKeyboardShown());
  EXPECT_EQ(CountStarts(log_), 1);
}

TEST_F(TouchKeyboard, ShowThenHideWithinTheDelayStartsNothing) {
  OnScreenKeyboardManager& manager = OnScreenKeyboardManager::Instance();
  manager.RequestKeyboard(true);
  manager.RequestKeyboard(false);
  ui_test::PumpFor(1500);
  EXPECT_EQ(CountStarts(log_), 0);
  EXPECT_EQ(FindWindowW(L"IPTip_Main_Window", nullptr), nullptr);

  // Hiding a hidden keyboard does nothing either.
  manager.RequestKeyboard(false);
  ui_test::PumpFor(300);
  EXPECT_EQ(CountStarts(log_), 0);
}

TEST_F(TouchKeyboard, AHiddenKeyboardWindowIsShownAgainByASecondStart) {
  OnScreenKeyboardManager& manager = OnScreenKeyboardManager::Instance();
  manager.RequestKeyboard(true);
  ASSERT_TRUE(ui_test::PumpUntil([] { return OnScreenKeyboardManager::IsKeyboardShown(); }, 15000));
  HWND window = FindWindowW(L"IPTip_Main_Window", nullptr);
  // Hidden by other means than a close: the window stays and counts as hidden.
  ShowWindow(window, SW_HIDE);
  ASSERT_FALSE(OnScreenKeyboardManager::IsKeyboardShown());
  manager.RequestKeyboard(true);
  ASSERT_TRUE(ui_test::PumpUntil([] { return OnScreenKeyboardManager::IsKeyboardShown(); }, 15000));
  EXPECT_EQ(FindWindowW(L"IPTip_Main_Window", nullptr), window);
  EXPECT_TRUE(ui_test::PumpUntil([this] { return CountStarts(log_) == 2; }, 5000));

  // A disabled window counts as hidden too.
  EnableWindow(window, FALSE);
  EXPECT_FALSE(OnScreenKeyboardManager::IsKeyboardShown());
  EnableWindow(window, TRUE);
}

}  // namespace
