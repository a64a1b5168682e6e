#pragma once

// The launcher's notification-area icon over the main window: brings the window back on a double
// click, offers "open" and "exit" in a menu on a right press, and shows balloons that other
// processes ask for through WM_COPYDATA. The main window creates it once its skin is loaded,
// routes the tray callback, its menu commands and the balloon requests to it, and deletes it when
// it closes. UI thread only.

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

// The window property of the owner that holds the tray object's address.
constexpr wchar_t kNotifyTrayProperty[] = L"NotifyTrayData";

// A balloon request, the payload of WM_COPYDATA with dwData 0: UTF-16 fields, each meant to end
// in a NUL inside its array, and the window to flash.
struct TrayBalloonRequest {
  wchar_t title[64];
  wchar_t text[256];
  wchar_t soundPath[1024];  // empty: no sound
  HWND flashWindow;
};
static_assert(sizeof(TrayBalloonRequest) == 2696, "the request's layout is shared with other programs");
static_assert(offsetof(TrayBalloonRequest, flashWindow) == 2688,
              "the request's layout is shared with other programs");

class NotifyTray {
 public:
  // Stores itself as the owner's "NotifyTrayData", adds the icon (whatever the shell answers) and
  // builds the menu.
  explicit NotifyTray(HWND owner);
  // Removes the menu and the icon.
  ~NotifyTray();
  NotifyTray(const NotifyTray&) = delete;
  NotifyTray& operator=(const NotifyTray&) = delete;

  // Appends an item to the pop-up menu; the id is known to MenuCommand only when that worked (an
  // id already known keeps its first text).
  void AddMenuItem(uint32_t id, const std::wstring& text);
  // Forgets the items and destroys both menus.
  void Clear();

  // The owner's kMsgTrayIcon, with its lParam; the answer is 0.
  LRESULT TrayCallback(LPARAM lParam);
  // The owner's WM_COMMAND: true when the id is a menu item, which has then been sent to the owner
  // as the message of that number (answer 0); false: the command is the window base's.
  bool MenuCommand(WPARAM wParam);
  // The owner's WM_COPYDATA: a valid balloon request shows the balloon and, when the shell took
  // it, flashes the request's window and plays its sound before returning.
  void ShowBalloon(const COPYDATASTRUCT* data);

  const NOTIFYICONDATAW* record() const { return record_.get(); }
  HMENU popupMenu() const { return popupMenu_; }
  HMENU menuBar() const { return menuBar_; }

 private:
  void BuildMenus();

  std::unique_ptr<NOTIFYICONDATAW> record_;
  HWND owner_ = nullptr;
  HMENU menuBar_ = nullptr;
  HMENU popupMenu_ = nullptr;
  std::map<uint32_t, std::wstring> items_;
};
