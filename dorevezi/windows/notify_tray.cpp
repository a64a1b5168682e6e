#include "dorevezi/windows/notify_tray.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "dorevezi/core/messages.h"
#include "dorevezi/core/shell_functions.h"
#include "ui/resources/language_table.h"

namespace {

constexpr WORD kTrayIconGroup = 107;
// SND_SYSTEM: the sound follows the system's volume for notices (not in every SDK's headers).
constexpr DWORD kSoundSystem = 0x00200000;

HICON LoadTrayIcon() {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTrayIconGroup),
                                       IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                       LR_SHARED));
}

// A request's field up to its NUL; a field without one is taken whole rather than read past.
template <size_t N>
std::wstring FieldText(const wchar_t (&field)[N]) {
  return std::wstring(field, wcsnlen(field, N));
}

// Copies `text` into a fixed array, clipped so that the NUL still fits.
template <size_t N>
void CopyClipped(const std::wstring& text, wchar_t (&out)[N]) {
  const size_t length = std::min(text.size(), N - 1);
  std::wmemcpy(out, text.data(), length);
  out[length] = L'\0';
}

}  // namespace

NotifyTray::NotifyTray(HWND owner) : record_(new NOTIFYICONDATAW()), owner_(owner) {
  SetPropW(owner_, kNotifyTrayProperty, this);

  NOTIFYICONDATAW& record = *record_;
  record.cbSize = sizeof(NOTIFYICONDATAW);
  record.hWnd = owner_;
  record.uID = 0;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
  record.uCallbackMessage = kMsgTrayIcon;
  record.hIcon = LoadTrayIcon();
  // Without an icon area (no shell running) the launcher still works, so the answers are not kept.
  const ShellFunctions& shell = GetShellFunctions();
  shell.shellNotifyIcon(NIM_ADD, &record);
  record.uVersion = NOTIFYICON_VERSION_4;
  shell.shellNotifyIcon(NIM_SETVERSION, &record);

  BuildMenus();
}

NotifyTray::~NotifyTray() {
  Clear();
  if (record_) {
    GetShellFunctions().shellNotifyIcon(NIM_DELETE, record_.get());
    record_.reset();
  }
  // The property would otherwise point at a freed object.
  if (GetPropW(owner_, kNotifyTrayProperty) == this) RemovePropW(owner_, kNotifyTrayProperty);
  owner_ = nullptr;
}

void NotifyTray::BuildMenus() {
  if (menuBar_ || popupMenu_) Clear();
  menuBar_ = CreateMenu();
  popupMenu_ = CreatePopupMenu();
  const ui::LanguageTable& texts = *ui::LanguageTable::Instance();
  AddMenuItem(kMsgShowMainWindow, texts.Lookup(L"STRING_NOTIFYTRAY_OPEN"));
  AddMenuItem(kMsgExitDorevezi, texts.Lookup(L"STRING_NOTIFYTRAY_EXIT"));
  AppendMenuW(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(popupMenu_), L"PopMenu");
}

void NotifyTray::AddMenuItem(uint32_t id, const std::wstring& text) {
  if (!AppendMenuW(popupMenu_, MF_STRING, id, text.c_str())) return;
  items_.emplace(id, text);
}

void NotifyTray::Clear() {
  items_.clear();
  if (popupMenu_) DestroyMenu(popupMenu_);
  if (menuBar_) DestroyMenu(menuBar_);
  popupMenu_ = nullptr;
  menuBar_ = nullptr;
}

LRESULT NotifyTray::TrayCallback(LPARAM lParam) {
  switch (LOWORD(lParam)) {
    case WM_LBUTTONDBLCLK:
      SendMessageW(owner_, kMsgShowMainWindow, 2, 0);
      break;
    case WM_RBUTTONDOWN:
      if (popupMenu_) {
        POINT cursor = {};
        GetCursorPos(&cursor);
        // The menu only closes on a click elsewhere when its owner is in the foreground, and only
        // after the owner has handled one more message.
        SetForegroundWindow(owner_);
        TrackPopupMenuEx(popupMenu_, TPM_BOTTOMALIGN, cursor.x, cursor.y, owner_, nullptr);
        SendMessageW(owner_, WM_NULL, 0, 0);
      }
      break;
  }
  return 0;
}

bool NotifyTray::MenuCommand(WPARAM wParam) {
  const uint32_t id = LOWORD(wParam);
  if (items_.find(id) == items_.end()) return false;
  SendMessageW(owner_, id, 0, 0);
  return true;
}

void NotifyTray::ShowBalloon(const COPYDATASTRUCT* data) {
  // The block comes from another process: only a whole request is read, never past its size.
  if (!data || data->dwData != 0 || !data->lpData || data->cbData < sizeof(TrayBalloonRequest)) return;
  TrayBalloonRequest request;
  std::memcpy(&request, data->lpData, sizeof(request));
  const std::wstring title = FieldText(request.title);
  const std::wstring text = FieldText(request.text);
  const std::wstring soundPath = FieldText(request.soundPath);
  if (!record_) return;

  NOTIFYICONDATAW& record = *record_;
  CopyClipped(title, record.szInfoTitle);
  CopyClipped(text, record.szInfo);
  const UINT savedFlags = record.uFlags;
  const DWORD savedInfoFlags = record.dwInfoFlags;
  record.uFlags = NIF_INFO;
  record.dwInfoFlags = NIIF_RESPECT_QUIET_TIME;
  const ShellFunctions& shell = GetShellFunctions();
  const BOOL shown = shell.shellNotifyIcon(NIM_MODIFY, &record);
  record.uFlags = savedFlags;
  record.dwInfoFlags = savedInfoFlags;
  if (!shown) return;

  FLASHWINFO flash = {};
  flash.cbSize = sizeof(flash);
  flash.hwnd = request.flashWindow;
  flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
  flash.uCount = 5;
  flash.dwTimeout = 0;
  shell.flashWindowEx(&flash);
  // Synchronous: the sender waits in SendMessage until the sound has ended.
  if (!soundPath.empty()) shell.playSound(soundPath.c_str(), nullptr, SND_FILENAME | kSoundSystem);
}
