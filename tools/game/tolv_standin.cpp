// Stand-in for the game client "TOLV.exe": holds the instance mutex, shows a window of the game's
// class carrying the game's window property, finds the launcher's main window, registers with it, asks
// its pre-download state, size and speed and echoes, and writes everything it sees to a log.
//
// Without a launcher it gives up after a bounded wait and exits. Environment knobs (all optional):
//   DV_TOLV_LOG          log file (default: "TOLV_standin.log" beside the executable)
//   DV_TOLV_WAIT_MS      how long to look for the launcher before exiting (default 5000)
//   DV_TOLV_POLL_MS      period of repeated queries once registered, 0 for none (default 3000)
//   DV_TOLV_LIFETIME_MS  exit this long after start even when the launcher was found, 0 never (default 0)
//   DV_TOLV_MUTEX, DV_TOLV_WINDOW_CLASS, DV_TOLV_WINDOW_PROPERTY, DV_TOLV_LAUNCHER_CLASS,
//   DV_TOLV_LAUNCHER_PROPERTY   replace the names the game and the launcher use, so that tests running
//                               side by side in one Wine session do not find each other's windows.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "dorevezi/core/messages.h"

namespace {

constexpr UINT_PTR kTimerFindLauncher = 1;
constexpr UINT_PTR kTimerPoll = 2;
constexpr UINT_PTR kTimerLifetime = 3;
constexpr UINT kFindLauncherStepMs = 200;
constexpr UINT kSendTimeoutMs = 5000;

struct Settings {
  std::wstring logPath;
  DWORD waitMs = 5000;
  DWORD pollMs = 3000;
  DWORD lifetimeMs = 0;
  std::wstring mutexName = kGameInstanceMutex;
  std::wstring windowClass = kGameWindowClass;
  std::wstring windowProperty = kGameWindowProperty;
  std::wstring launcherClass = kMainWindowClass;
  std::wstring launcherProperty = kDoreveziInstanceName;
};

Settings g_settings;
HANDLE g_log = INVALID_HANDLE_VALUE;
HWND g_window = nullptr;
HWND g_launcher = nullptr;
DWORD g_startTick = 0;
std::wstring g_exitReason = L"closed";
std::vector<std::wstring> g_screenLines;

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024];
  DWORD length = GetEnvironmentVariableW(name, buffer, 1024);
  return (length > 0 && length < 1024) ? std::wstring(buffer, length) : std::wstring();
}

void EnvNumber(const wchar_t* name, DWORD& value) {
  std::wstring text = Env(name);
  if (!text.empty()) value = static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 10));
}

void EnvText(const wchar_t* name, std::wstring& value) {
  std::wstring text = Env(name);
  if (!text.empty()) value = text;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr,
                      nullptr);
  return out;
}

std::wstring Hex(const void* pointer) {
  wchar_t buffer[32];
  swprintf(buffer, 32, L"0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(pointer)));
  return buffer;
}

// One line per event, written through at once so a test can read the log while the game still runs.
void Log(const std::wstring& line) {
  if (g_log == INVALID_HANDLE_VALUE) return;
  std::string bytes = ToUtf8(line) + "\r\n";
  DWORD written = 0;
  WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Show(const std::wstring& line) {
  Log(line);
  g_screenLines.push_back(line);
  if (g_screenLines.size() > 24) g_screenLines.erase(g_screenLines.begin());
  if (g_window) InvalidateRect(g_window, nullptr, TRUE);
}

void LoadSettings() {
  wchar_t module[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring folder(module, length);
  folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
  g_settings.logPath = folder + L"TOLV_standin.log";
  EnvText(L"DV_TOLV_LOG", g_settings.logPath);
  EnvNumber(L"DV_TOLV_WAIT_MS", g_settings.waitMs);
  EnvNumber(L"DV_TOLV_POLL_MS", g_settings.pollMs);
  EnvNumber(L"DV_TOLV_LIFETIME_MS", g_settings.lifetimeMs);
  EnvText(L"DV_TOLV_MUTEX", g_settings.mutexName);
  EnvText(L"DV_TOLV_WINDOW_CLASS", g_settings.windowClass);
  EnvText(L"DV_TOLV_WINDOW_PROPERTY", g_settings.windowProperty);
  EnvText(L"DV_TOLV_LAUNCHER_CLASS", g_settings.launcherClass);
  EnvText(L"DV_TOLV_LAUNCHER_PROPERTY", g_settings.launcherProperty);
}

// The launcher's main window carries a property holding its own handle; hidden windows count too,
// since the launcher hides to the tray when it starts the game.
HWND FindLauncher(std::wstring& how) {
  for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window && IsWindow(window);
       window = GetWindow(window, GW_HWNDNEXT)) {
    if (GetPropW(window, g_settings.launcherProperty.c_str()) == window) {
      how = L"property";
      return window;
    }
  }
  HWND window = FindWindowW(g_settings.launcherClass.c_str(), nullptr);
  if (window) how = L"class";
  return window;
}

// Only the registration carries a handle; the queries and the echo carry 0 in both parameters.
void Ask(UINT message, const wchar_t* name) {
  DWORD_PTR result = 0;
  LPARAM lParam = message == kMsgGameRegisterWindow ? reinterpret_cast<LPARAM>(g_window) : 0;
  LRESULT sent =
      SendMessageTimeoutW(g_launcher, message, 0, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  Log(L"send: " + std::to_wstring(message) + L" " + name + (sent ? L" ok" : L" failed"));
}

void AskAll() {
  if (!IsWindow(g_launcher)) {
    Show(L"launcher: gone");
    KillTimer(g_window, kTimerPoll);
    return;
  }
  Ask(kMsgGameQueryPreDownloadState, L"query-state");
  Ask(kMsgGameQueryPreDownloadSize, L"query-size");
  Ask(kMsgGameQueryPreDownloadSpeed, L"query-speed");
  Ask(kMsgGameLinkEcho, L"echo");
}

void OnLauncherFound(const std::wstring& how) {
  Show(L"launcher: found hwnd=" + Hex(g_launcher) + L" by " + how);
  Ask(kMsgGameRegisterWindow, L"register");
  AskAll();
  if (g_settings.pollMs > 0) SetTimer(g_window, kTimerPoll, g_settings.pollMs, nullptr);
}

void LogAnswer(UINT message, WPARAM wParam, LPARAM lParam) {
  Show(L"recv: " + std::to_wstring(message) + L" wParam=" + std::to_wstring(static_cast<long long>(wParam)) +
       L" lParam=" + std::to_wstring(static_cast<long long>(lParam)));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kMsgPreDownloadState:
    case kMsgPreDownloadSize:
    case kMsgPreDownloadSpeed:
    case kMsgGameLinkEcho:
      LogAnswer(message, wParam, lParam);
      return 0;
    case WM_TIMER:
      if (wParam == kTimerFindLauncher) {
        std::wstring how;
        g_launcher = FindLauncher(how);
        if (g_launcher) {
          KillTimer(window, kTimerFindLauncher);
          OnLauncherFound(how);
        } else if (GetTickCount() - g_startTick >= g_settings.waitMs) {
          KillTimer(window, kTimerFindLauncher);
          Log(L"launcher: not found after " + std::to_wstring(g_settings.waitMs) + L" ms");
          g_exitReason = L"no-launcher";
          DestroyWindow(window);
        }
      } else if (wParam == kTimerPoll) {
        AskAll();
      } else if (wParam == kTimerLifetime) {
        g_exitReason = L"lifetime";
        DestroyWindow(window);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      area.left += 8;
      area.top += 8;
      std::wstring text = L"TOLV stand-in\n";
      for (const std::wstring& line : g_screenLines) text += line + L"\n";
      DrawTextW(dc, text.c_str(), -1, &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      RemovePropW(window, g_settings.windowProperty.c_str());
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  g_startTick = GetTickCount();
  LoadSettings();
  g_log = CreateFileW(g_settings.logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  Log(L"start: pid=" + std::to_wstring(GetCurrentProcessId()));
  Log(L"cmdline: " + std::wstring(GetCommandLineW()));
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  Log(L"argc: " + std::to_wstring(argc));
  for (int i = 0; argv && i < argc; ++i) Log(L"argv[" + std::to_wstring(i) + L"]: " + argv[i]);
  if (argv) LocalFree(argv);
  wchar_t folder[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  Log(L"cwd: " + std::wstring(folder, length));

  HANDLE mutex = CreateMutexW(nullptr, FALSE, g_settings.mutexName.c_str());
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    Log(L"mutex: already held, another instance runs");
    Log(L"exit: reason=second-instance code=3");
    CloseHandle(mutex);
    CloseHandle(g_log);
    return 3;
  }
  Log(L"mutex: held");

  WNDCLASSEXW windowClass = {sizeof(windowClass)};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = g_settings.windowClass.c_str();
  RegisterClassExW(&windowClass);
  g_window = CreateWindowExW(0, g_settings.windowClass.c_str(), L"TOLV", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 640, 400, nullptr, nullptr, instance, nullptr);
  if (!g_window) {
    Log(L"exit: reason=no-window code=4");
    return 4;
  }
  SetPropW(g_window, g_settings.windowProperty.c_str(), g_window);
  Log(L"window: hwnd=" + Hex(g_window) + L" class=" + g_settings.windowClass);
  ShowWindow(g_window, showCommand);
  UpdateWindow(g_window);

  SetTimer(g_window, kTimerFindLauncher, kFindLauncherStepMs, nullptr);
  PostMessageW(g_window, WM_TIMER, kTimerFindLauncher, 0);
  if (g_settings.lifetimeMs > 0) SetTimer(g_window, kTimerLifetime, g_settings.lifetimeMs, nullptr);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Log(L"exit: reason=" + g_exitReason + L" code=0");
  CloseHandle(mutex);
  CloseHandle(g_log);
  return 0;
}
