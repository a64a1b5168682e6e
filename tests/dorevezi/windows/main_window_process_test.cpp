// dorevezi.exe's main window as a player meets it: the caption buttons clicked with real input,
// the first close of a first run offering the close choice with the real options box, and the
// choice kept in save\EnvConfig.json.
#include <gtest/gtest.h>

#include <string>

#include "core_test_util.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/windows/control_query.h"
#include "entry_test_util.h"
#include "test_support/temp_dir.h"

namespace {

using entry_test::ChildProcess;
using entry_test::WaitFor;

constexpr DWORD kDeadlineMs = 30000;

// A launcher folder of its own, holding a copy of the launcher and no settings file.
class LauncherFolder {
 public:
  LauncherFolder() { CopyFileW(entry_test::BinaryPath(L"bin/dorevezi.exe").c_str(), Exe().c_str(), FALSE); }
  std::wstring Exe() const { return dir_.Path() + L"\\dorevezi.exe"; }
  std::wstring File(const std::wstring& name) const { return dir_.Path() + L"\\" + name; }
  bool Start(ChildProcess& process) const { return process.Start(L"\"" + Exe() + L"\"", dir_.Path()); }

 private:
  test_support::TempDir dir_;
};

// The visible top-level window of that class belonging to the process.
HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
  for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window;
       window = FindWindowExW(nullptr, window, className, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// The launcher's answer about one of its controls (the process test links no UI framework).
ControlQueryAnswer AskControl(HWND window, const std::wstring& name) {
  static const UINT query = RegisterWindowMessageW(kControlQueryName);
  const ATOM atom = GlobalAddAtomW(name.c_str());
  if (!atom) return ControlQueryAnswer();
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, query, atom, 0, SMTO_ABORTIFHUNG, 5000, &result);
  GlobalDeleteAtom(atom);
  return DecodeControlQuery(static_cast<LRESULT>(result));
}

// A left click at the control's centre (or `downBy` pixels below its top), once it is laid out
// and shown.
void ClickControl(HWND window, const std::wstring& name, int downBy = -1) {
  ControlQueryAnswer control;
  ASSERT_TRUE(WaitFor(
      [&] {
        control = AskControl(window, name);
        return control.found && control.visible && control.rect.right > control.rect.left;
      },
      kDeadlineMs))
      << "no " << std::string(name.begin(), name.end());
  SetForegroundWindow(window);
  POINT at = control.Centre();
  if (downBy >= 0) at.y = control.rect.top + downBy;
  SetCursorPos(at.x, at.y);
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// "closeToHide" as save\EnvConfig.json holds it: 1 true, 0 false, -1 absent.
int SavedCloseToHide(const LauncherFolder& folder) {
  const std::string text = core_test::ReadBytes(folder.File(L"save\\EnvConfig.json"));
  size_t at = text.find("\"closeToHide\"");
  if (at == std::string::npos) return -1;
  at = text.find_first_not_of(" \t\r\n:", at + 13);
  return at == std::string::npos ? -1 : text.compare(at, 4, "true") == 0 ? 1 : 0;
}

struct Launcher {
  LauncherFolder folder;
  ChildProcess process;
  HWND window = nullptr;

  void Start() {
    ASSERT_TRUE(folder.Start(process));
    ASSERT_TRUE(WaitFor(
        [&] {
          window = entry_test::FindMarkedWindow(process.id(), kDoreveziInstanceName);
          return window && IsWindowVisible(window);
        },
        kDeadlineMs));
  }
  bool Shown() const { return IsWindowVisible(window) && !IsIconic(window); }
};

TEST(MainWindowProcess, MinimiseRestoreAndTheFirstCloseChoiceToHide) {
  Launcher launcher;
  launcher.Start();
  ASSERT_FALSE(entry_test::FileExists(launcher.folder.File(L"save\\EnvConfig.json")) &&
               SavedCloseToHide(launcher.folder) == 1);
  const HWND window = launcher.window;

  ClickControl(window, L"minbtn");
  EXPECT_TRUE(WaitFor([&] { return IsIconic(window) != FALSE; }, kDeadlineMs));
  PostMessageW(window, kMsgShowMainWindow, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return launcher.Shown(); }, kDeadlineMs));

  // First close: the choice, its first option preselected; confirmed, the window hides and the
  // choice is saved.
  ClickControl(window, L"btn_close");
  HWND options = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (options = FindProcessWindow(launcher.process.id(), L"OptionsBox")); },
                      kDeadlineMs));
  ClickControl(options, L"btn_ok");
  EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window) && SavedCloseToHide(launcher.folder) == 1; },
                      kDeadlineMs));

  // Shown again, the next close hides at once: the choice is not offered twice.
  PostMessageW(window, kMsgShowMainWindow, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return launcher.Shown(); }, kDeadlineMs));
  ClickControl(window, L"btn_close");
  EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }, kDeadlineMs));
  EXPECT_EQ(FindProcessWindow(launcher.process.id(), L"OptionsBox"), nullptr);

  // The tray's "exit" ends the launcher unasked.
  PostMessageW(window, WM_COMMAND, kMsgExitDorevezi, 0);
  EXPECT_EQ(launcher.process.WaitExit(kDeadlineMs), 0);
}

TEST(MainWindowProcess, TheFirstCloseChoiceToExit) {
  Launcher launcher;
  launcher.Start();
  ClickControl(launcher.window, L"btn_close");
  HWND options = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (options = FindProcessWindow(launcher.process.id(), L"OptionsBox")); },
                      kDeadlineMs));
  // The second radio of the list: rows of 30 pixels, 2 apart, at the test's 96 DPI.
  ClickControl(options, L"option_vlist", 30 + 2 + 15);
  ClickControl(options, L"btn_ok");
  EXPECT_EQ(launcher.process.WaitExit(kDeadlineMs), 0);
  EXPECT_EQ(SavedCloseToHide(launcher.folder), 0);
}

}  // namespace
