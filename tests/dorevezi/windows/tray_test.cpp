// The tray icon over a plain owner window that routes to it as the main window does, with the
// shell calls recorded: the icon record, the real pop-up menu opened by a right press and chosen
// by real clicks, menu commands, the double click, balloons asked for by another process, and
// removal.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dorevezi/core/messages.h"
#include "dorevezi/core/shell_functions.h"
#include "dorevezi/windows/notify_tray.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/resources/language_table.h"
#include "ui/core/window_test_support.h"

namespace {

constexpr DWORD kDeadlineMs = 60000;
const wchar_t kOpenText[] = L"打开启动器";
const wchar_t kExitText[] = L"退出";

// --- Recorded shell calls

struct ShellCall {
  enum Kind { kNotify, kFlash, kSound } kind;
  DWORD message = 0;
  NOTIFYICONDATAW record = {};
  FLASHWINFO flash = {};
  std::wstring sound;
  HMODULE soundModule = nullptr;
  DWORD soundFlags = 0;
};

std::vector<ShellCall> g_calls;
BOOL g_notifyAnswer = TRUE;
std::wstring g_orderLog;  // the file the balloon sender appends to as well

void AppendOrder(const std::string& line) {
  if (g_orderLog.empty()) return;
  HANDLE file = CreateFileW(g_orderLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAW data) {
  ShellCall call{ShellCall::kNotify};
  call.message = message;
  call.record = *data;
  g_calls.push_back(call);
  AppendOrder("notify " + std::to_string(message));
  return g_notifyAnswer;
}

BOOL WINAPI RecordFlash(PFLASHWINFO info) {
  ShellCall call{ShellCall::kFlash};
  call.flash = *info;
  g_calls.push_back(call);
  AppendOrder("flash");
  return TRUE;
}

BOOL WINAPI RecordSound(LPCWSTR path, HMODULE module, DWORD flags) {
  ShellCall call{ShellCall::kSound};
  call.sound = path ? path : L"<null>";
  call.soundModule = module;
  call.soundFlags = flags;
  g_calls.push_back(call);
  AppendOrder("sound");
  return TRUE;
}

HINSTANCE WINAPI RecordExecute(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) {
  ADD_FAILURE() << "the tray opens nothing";
  return nullptr;
}

std::vector<const ShellCall*> CallsOf(ShellCall::Kind kind) {
  std::vector<const ShellCall*> found;
  for (const ShellCall& call : g_calls)
    if (call.kind == kind) found.push_back(&call);
  return found;
}

// --- The owner: a plain window that routes to the tray as the main window does

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> g_seen;          // tray messages, WM_NULL and the menu loop's end
std::vector<WORD> g_passedToBase;  // WM_COMMAND ids the tray did not take

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* tray = static_cast<NotifyTray*>(GetPropW(hwnd, kNotifyTrayProperty));
  switch (message) {
    case WM_NULL:
    case WM_EXITMENULOOP:
    case kMsgShowMainWindow:
    case kMsgExitDorevezi:
      g_seen.push_back(Seen{message, wParam, lParam});
      return 0;
    case WM_COPYDATA:
      if (tray) tray->ShowBalloon(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return 0;
    case WM_COMMAND:
      if (tray && tray->MenuCommand(wParam)) return 0;
      g_passedToBase.push_back(LOWORD(wParam));
      break;
    case kMsgTrayIcon:
      return tray ? tray->TrayCallback(lParam) : 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateOwner() {
  static const bool registered = [] {
    WNDCLASSEXW windowClass = {sizeof(windowClass)};
    windowClass.lpfnWndProc = &OwnerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"DvTrayOwnerTest";
    return RegisterClassExW(&windowClass) != 0;
  }();
  if (!registered) return nullptr;
  HWND owner = CreateWindowExW(0, L"DvTrayOwnerTest", L"Tray owner", WS_OVERLAPPEDWINDOW, 100, 100, 300, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(owner, SW_SHOW);
  SetForegroundWindow(owner);
  return owner;
}

std::wstring MenuText(HMENU menu, int position) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
  return text;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.shellNotifyIcon = &RecordNotify;
    table_.flashWindowEx = &RecordFlash;
    table_.playSound = &RecordSound;
    table_.shellExecute = &RecordExecute;
    previous_ = ReplaceShellFunctions(&table_);
    ui::LanguageTable::Instance()->ParseLines({std::wstring(L"STRING_NOTIFYTRAY_OPEN = ") + kOpenText,
                                               std::wstring(L"STRING_NOTIFYTRAY_EXIT = ") + kExitText});
    g_calls.clear();
    g_seen.clear();
    g_passedToBase.clear();
    g_notifyAnswer = TRUE;
    g_orderLog.clear();
    owner_ = CreateOwner();
    ASSERT_NE(owner_, nullptr);
  }

  void TearDown() override {
    tray_.reset();
    if (owner_) DestroyWindow(owner_);
    ReplaceShellFunctions(previous_);
    ui::LanguageTable::Instance()->Clear();
  }

  void MakeTray() {
    tray_.reset(new NotifyTray(owner_));
    ui_test::PumpFor(50);
  }

  std::vector<Seen> SeenOf(UINT message) const {
    std::vector<Seen> found;
    for (const Seen& seen : g_seen)
      if (seen.message == message) found.push_back(seen);
    return found;
  }

  ShellFunctions table_;
  const ShellFunctions* previous_ = nullptr;
  HWND owner_ = nullptr;
  std::unique_ptr<NotifyTray> tray_;
};

// --- Creation and removal

TEST_F(TrayTest, CreationAddsTheIconThenSetsVersion4WhateverTheShellAnswers) {
  const HICON icon =
      static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(107), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
  ASSERT_NE(icon, nullptr) << "the test's own icon group 107";
  for (BOOL answer : {TRUE, FALSE}) {
    SCOPED_TRACE(answer ? "shell accepts" : "shell refuses");
    g_calls.clear();
    g_notifyAnswer = answer;
    MakeTray();
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(g_calls[1].message, static_cast<DWORD>(NIM_SETVERSION));
    for (const ShellCall& call : g_calls) {
      const NOTIFYICONDATAW& record = call.record;
      EXPECT_EQ(record.cbSize, sizeof(NOTIFYICONDATAW));
      EXPECT_EQ(record.hWnd, owner_);
      EXPECT_EQ(record.uID, 0u);
      EXPECT_EQ(record.uFlags, 0x17u);
      EXPECT_EQ(record.uCallbackMessage, 2025u);
      EXPECT_EQ(record.szTip[0], L'\0');
      EXPECT_EQ(record.hIcon, icon);
    }
    EXPECT_EQ(g_calls[0].record.uVersion, 0u);
    EXPECT_EQ(g_calls[1].record.uVersion, 4u);
    EXPECT_EQ(GetPropW(owner_, kNotifyTrayProperty), tray_.get());

    // The menu bar holds the pop-up as "PopMenu"; the pop-up "open" then "exit".
    HMENU bar = tray_->menuBar();
    ASSERT_TRUE(IsMenu(bar));
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    EXPECT_EQ(GetSubMenu(bar, 0), tray_->popupMenu());
    EXPECT_EQ(MenuText(bar, 0), L"PopMenu");
    HMENU popup = tray_->popupMenu();
    ASSERT_EQ(GetMenuItemCount(popup), 2);
    EXPECT_EQ(GetMenuItemID(popup, 0), 2026u);
    EXPECT_EQ(MenuText(popup, 0), kOpenText);
    EXPECT_EQ(GetMenuItemID(popup, 1), 2028u);
    EXPECT_EQ(MenuText(popup, 1), kExitText);
    tray_.reset();
  }
}

TEST_F(TrayTest, RemovalDeletesTheIconAndTheMenus) {
  MakeTray();
  HMENU bar = tray_->menuBar();
  HMENU popup = tray_->popupMenu();
  g_calls.clear();
  tray_.reset();
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(g_calls[0].record.hWnd, owner_);
  EXPECT_EQ(g_calls[0].record.uID, 0u);
  EXPECT_FALSE(IsMenu(bar));
  EXPECT_FALSE(IsMenu(popup));
  EXPECT_EQ(GetPropW(owner_, kNotifyTrayProperty), nullptr);
}

// --- Callback and menu commands

TEST_F(TrayTest, DoubleClickShowsTheWindowAndReRunsTheLauncherFlow) {
  MakeTray();
  struct Case {
    UINT event;
    bool shows;
  };
  const Case cases[] = {{WM_LBUTTONDBLCLK, true},
                        {WM_MOUSEMOVE, false},
                        {WM_LBUTTONUP, false},
                        {WM_RBUTTONUP, false},
                        {WM_CONTEXTMENU, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    g_seen.clear();
    // Version 4 puts the icon id in the high word.
    EXPECT_EQ(SendMessageW(owner_, kMsgTrayIcon, MAKEWPARAM(10, 20), MAKELPARAM(c.event, 0)), 0);
    const std::vector<Seen> shows = SeenOf(kMsgShowMainWindow);
    ASSERT_EQ(shows.size(), c.shows ? 1u : 0u);
    if (c.shows) {
      EXPECT_EQ(shows[0].wParam, 2u);
      EXPECT_EQ(shows[0].lParam, 0);
    }
  }
}

TEST_F(TrayTest, MenuCommandsReachTheOwnerAndUnknownIdsTheBase) {
  MakeTray();
  struct Case {
    WPARAM wParam;
    UINT reaches;  // 0: the base
  };
  const Case cases[] = {{2028, kMsgExitDorevezi},
                        {2026, kMsgShowMainWindow},
                        {MAKEWPARAM(2026, 1), kMsgShowMainWindow},
                        {2027, 0},
                        {3000, 0},
                        {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wParam);
    g_seen.clear();
    g_passedToBase.clear();
    EXPECT_EQ(SendMessageW(owner_, WM_COMMAND, c.wParam, 0), 0);
    if (c.reaches) {
      ASSERT_EQ(g_seen.size(), 1u);
      EXPECT_EQ(g_seen[0].message, c.reaches);
      EXPECT_EQ(g_seen[0].wParam, 0u);
      EXPECT_EQ(g_seen[0].lParam, 0);
      EXPECT_TRUE(g_passedToBase.empty());
    } else {
      EXPECT_TRUE(g_seen.empty());
      EXPECT_EQ(g_passedToBase, std::vector<WORD>{LOWORD(c.wParam)});
    }
  }

  // Without menus every id is the base's, and an item that cannot be appended stays unknown.
  tray_->Clear();
  EXPECT_EQ(tray_->popupMenu(), nullptr);
  EXPECT_EQ(tray_->menuBar(), nullptr);
  tray_->AddMenuItem(3000, L"never appended");
  g_seen.clear();
  g_passedToBase.clear();
  SendMessageW(owner_, WM_COMMAND, 2026, 0);
  SendMessageW(owner_, WM_COMMAND, 3000, 0);
  EXPECT_TRUE(g_seen.empty());
  EXPECT_EQ(g_passedToBase, (std::vector<WORD>{2026, 3000}));
  // And a right press opens nothing.
  EXPECT_EQ(SendMessageW(owner_, kMsgTrayIcon, 0, WM_RBUTTONDOWN), 0);
  EXPECT_TRUE(SeenOf(WM_NULL).empty());
}

// What the watcher thread saw of the open menu.
struct OpenMenu {
  bool found = false;
  RECT window = {};
  std::vector<UINT> ids;
  std::vector<std::wstring> texts;
  std::vector<RECT> items;
  bool inked = false;
  std::string screenshot;
};

// Waits for the menu window, reads it, screenshots it once its texts have ink, then clicks item
// `choose` with real input.
void WatchMenu(OpenMenu& seen, int choose, const std::string& screenshotName) {
  HWND window = nullptr;
  ui_test::PumpUntil(
      [&] {
        window = FindWindowW(L"#32768", nullptr);
        return window && IsWindowVisible(window);
      },
      kDeadlineMs);
  if (!window || !IsWindowVisible(window)) return;
  seen.found = true;
  GetWindowRect(window, &seen.window);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0));
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    seen.ids.push_back(GetMenuItemID(menu, i));
    seen.texts.push_back(MenuText(menu, i));
    RECT item = {};
    GetMenuItemRect(nullptr, menu, i, &item);
    seen.items.push_back(item);
  }
  // Painted when every item shows pixels of the menu's text colour.
  const COLORREF ink = GetSysColor(COLOR_MENUTEXT);
  const uint32_t inkArgb = 0xFF000000u | (GetRValue(ink) << 16) | (GetGValue(ink) << 8) | GetBValue(ink);
  auto inked = [&] {
    for (const RECT& item : seen.items) {
      const window_test::Capture capture = window_test::CaptureScreen(item);
      bool any = false;
      for (uint32_t pixel : capture.pixels) any = any || window_test::RgbNear(pixel, inkArgb, 40);
      if (!any) return false;
    }
    return !seen.items.empty();
  };
  seen.inked = ui_test::PumpUntil(inked, kDeadlineMs);
  if (!screenshotName.empty()) {
    RECT around = seen.window;
    InflateRect(&around, 8, 8);
    seen.screenshot = window_test::SaveCapture(window_test::CaptureScreen(around), screenshotName);
  }
  if (choose < 0 || choose >= static_cast<int>(seen.items.size())) return;
  const RECT& item = seen.items[choose];
  window_test::MoveMouseTo((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  window_test::MouseButton(MOUSEEVENTF_LEFTDOWN);
  window_test::MouseButton(MOUSEEVENTF_LEFTUP);
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

TEST_F(TrayTest, RightPressOpensTheMenuAtTheCursorAndItsItemsReachTheOwner) {
  // The screenshots come from tray_dpi_run.sh, whose prefix copy has a font for the Chinese items.
  const char* expected = getenv("DV_EXPECTED_DPI");
  if (expected) {
    ASSERT_EQ(ScreenDpi(), atoi(expected));
  }
  MakeTray();
  struct Case {
    int choose;
    UINT reaches;
    const char* screenshot;
  };
  const Case cases[] = {{1, kMsgExitDorevezi, expected ? "tray_menu" : nullptr},
                        {0, kMsgShowMainWindow, nullptr}};
  const POINT cursor = {640, 700};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.choose);
    g_seen.clear();
    window_test::MoveMouseTo(cursor.x, cursor.y);
    OpenMenu seen;
    const std::string name =
        c.screenshot ? std::string(c.screenshot) + "_" + std::to_string(ScreenDpi()) + "dpi" : "";
    std::thread watcher(WatchMenu, std::ref(seen), c.choose, name);
    // The shell's callback: the menu runs its own loop inside it.
    PostMessageW(owner_, kMsgTrayIcon, 0, WM_RBUTTONDOWN);
    const bool reached = ui_test::PumpUntil([&] { return !SeenOf(c.reaches).empty(); }, kDeadlineMs);
    watcher.join();

    ASSERT_TRUE(seen.found) << "no menu window";
    ASSERT_EQ(seen.ids, (std::vector<UINT>{2026, 2028}));
    EXPECT_EQ(seen.texts, (std::vector<std::wstring>{kOpenText, kExitText}));
    EXPECT_LE(seen.items[0].bottom, seen.items[1].top) << "open above exit";
    // Bottom-aligned at the cursor.
    EXPECT_EQ(seen.window.left, cursor.x);
    EXPECT_EQ(seen.window.bottom, cursor.y);
    EXPECT_TRUE(seen.inked) << "menu texts without ink";
    if (c.screenshot) {
      EXPECT_FALSE(seen.screenshot.empty());
      std::printf("screenshot: %s\n", seen.screenshot.c_str());
    }

    ASSERT_TRUE(reached) << "the chosen item never reached the owner";
    // The menu's loop ended, then WM_NULL, then the command reached the owner as its message.
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_EXITMENULOOP));
    EXPECT_EQ(g_seen[1].message, static_cast<UINT>(WM_NULL));
    EXPECT_EQ(g_seen[2].message, c.reaches);
    EXPECT_EQ(g_seen[2].wParam, 0u);
    EXPECT_EQ(g_seen[2].lParam, 0);
    EXPECT_EQ(GetForegroundWindow(), owner_);
  }
}

// --- Balloons from another process

std::wstring TempFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream file(std::string(path.begin(), path.end()));
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::wstring SenderPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path, length);
  return self.substr(0, self.find_last_of(L"\\/") + 1) + L"tray_balloon_sender.exe";
}

// Runs the sender and handles this thread's messages (the owner's) until it has ended.
bool RunSender(HWND owner, const std::wstring& name, HWND flash, const std::wstring& sound, DWORD* exitCode) {
  std::wstring command = L"\"" + SenderPath() + L"\" " + std::to_wstring(reinterpret_cast<uintptr_t>(owner)) +
                         L" " + name + L" \"" + g_orderLog + L"\" " +
                         std::to_wstring(reinterpret_cast<uintptr_t>(flash)) + L" \"" + sound + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  const bool ended = ui_test::PumpUntil(
      [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, kDeadlineMs);
  if (!ended) TerminateProcess(process.hProcess, 1);
  GetExitCodeProcess(process.hProcess, exitCode);
  CloseHandle(process.hProcess);
  return ended;
}

std::wstring Letters(wchar_t first, size_t count) {
  std::wstring text;
  for (size_t i = 0; i < count; ++i) text += static_cast<wchar_t>(first + i % 26);
  return text;
}

TEST_F(TrayTest, BalloonRequestsFromAnotherProcess) {
  MakeTray();
  HWND flash = CreateOwner();
  const std::wstring sound = L"C:\\sounds\\notice.wav";
  struct Case {
    const wchar_t* name;
    bool shown;
    std::wstring title;
    std::wstring text;
    std::wstring sound;  // empty: none played
  };
  const Case cases[] = {
      {L"dwdata1", false, L"", L"", L""},
      {L"cb0", false, L"", L"", L""},
      {L"cb2695", false, L"", L"", L""},
      {L"cb2696", true, L"标题 cb2696", L"正文 cb2696", sound},
      {L"cb4096", true, L"标题 cb4096", L"正文 cb4096", sound},
      // Each field read only to its end; the texts clipped to the record's 63 and 255.
      {L"unterminated", true, Letters(L'A', 63), Letters(L'a', 255), Letters(L'A', 1024)},
      {L"empty", true, L"", L"", L""},
  };
  g_orderLog = TempFile(L"dv_tray_order.log");
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    DeleteFileW(g_orderLog.c_str());
    g_calls.clear();
    DWORD exitCode = 99;
    ASSERT_TRUE(RunSender(owner_, c.name, flash, sound, &exitCode));
    EXPECT_EQ(exitCode, 0u);

    const std::string name = Narrow(c.name);
    std::vector<std::string> expectedOrder;
    if (c.shown) {
      expectedOrder.push_back("notify 1");
      expectedOrder.push_back("flash");
      if (!c.sound.empty()) expectedOrder.push_back("sound");
    }
    // Everything, the sound included, before the sender's SendMessage returned.
    expectedOrder.push_back("returned " + name + " 0");
    EXPECT_EQ(ReadLines(g_orderLog), expectedOrder);
    if (!c.shown) continue;

    const std::vector<const ShellCall*> notices = CallsOf(ShellCall::kNotify);
    ASSERT_EQ(notices.size(), 1u);
    const NOTIFYICONDATAW& record = notices[0]->record;
    EXPECT_EQ(notices[0]->message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(record.hWnd, owner_);
    EXPECT_EQ(record.uID, 0u);
    EXPECT_EQ(record.uFlags, static_cast<UINT>(NIF_INFO));
    EXPECT_EQ(record.dwInfoFlags, static_cast<DWORD>(NIIF_RESPECT_QUIET_TIME));
    EXPECT_EQ(std::wstring(record.szInfoTitle), c.title);
    EXPECT_EQ(std::wstring(record.szInfo), c.text);

    const std::vector<const ShellCall*> flashes = CallsOf(ShellCall::kFlash);
    ASSERT_EQ(flashes.size(), 1u);
    EXPECT_EQ(flashes[0]->flash.cbSize, sizeof(FLASHWINFO));
    EXPECT_EQ(flashes[0]->flash.hwnd, flash);
    EXPECT_EQ(flashes[0]->flash.dwFlags, 14u);
    EXPECT_EQ(flashes[0]->flash.uCount, 5u);
    EXPECT_EQ(flashes[0]->flash.dwTimeout, 0u);

    const std::vector<const ShellCall*> sounds = CallsOf(ShellCall::kSound);
    ASSERT_EQ(sounds.size(), c.sound.empty() ? 0u : 1u);
    if (!c.sound.empty()) {
      EXPECT_EQ(sounds[0]->sound, c.sound);
      EXPECT_EQ(sounds[0]->soundModule, nullptr);
      EXPECT_EQ(sounds[0]->soundFlags, 0x00220000u);
    }
    // The icon's own flags are back.
    EXPECT_EQ(tray_->record()->uFlags, 0x17u);
    EXPECT_EQ(tray_->record()->dwInfoFlags, 0u);
  }

  // A balloon the shell refuses neither flashes nor sounds.
  DeleteFileW(g_orderLog.c_str());
  g_calls.clear();
  g_notifyAnswer = FALSE;
  DWORD exitCode = 99;
  ASSERT_TRUE(RunSender(owner_, L"cb2696", flash, sound, &exitCode));
  EXPECT_EQ(ReadLines(g_orderLog), (std::vector<std::string>{"notify 1", "returned cb2696 0"}));
  EXPECT_EQ(tray_->record()->uFlags, 0x17u);
  DestroyWindow(flash);
  DeleteFileW(g_orderLog.c_str());
}

TEST_F(TrayTest, BalloonRequestsWithoutABlockAreRefused) {
  MakeTray();
  g_calls.clear();
  TrayBalloonRequest request = {};
  wcscpy(request.title, L"t");
  COPYDATASTRUCT data = {};
  data.cbData = sizeof(request);
  data.lpData = nullptr;
  tray_->ShowBalloon(&data);
  tray_->ShowBalloon(nullptr);
  data.lpData = &request;
  data.dwData = 2;
  tray_->ShowBalloon(&data);
  EXPECT_TRUE(CallsOf(ShellCall::kNotify).empty());
  // The same block with dwData 0 is shown.
  data.dwData = 0;
  tray_->ShowBalloon(&data);
  EXPECT_EQ(CallsOf(ShellCall::kNotify).size(), 1u);
}

}  // namespace
