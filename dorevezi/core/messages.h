#pragma once

// Window messages between the engine, the main window and the game client. The numbers
// 2525-2532 are part of the interface with the game client and must not change.

#include <windows.h>

#include "ui/core/ui_messages.h"

// To the main window.
constexpr UINT kMsgTrayIcon = 2025;
constexpr UINT kMsgShowMainWindow = 2026;
constexpr UINT kMsgHideToTray = 2027;
constexpr UINT kMsgExitDorevezi = 2028;
constexpr UINT kMsgClearHoverRegion = 2125;
constexpr UINT kMsgRefreshTexts = 2126;
// wParam: step in the low and total in the high 16 bits; lParam: percent.
constexpr UINT kMsgCheckProgress = 2127;
// wParam: seconds remaining; lParam: bytes per second.
constexpr UINT kMsgDownloadSpeed = 2128;
// wParam: total bytes; lParam: bytes done.
constexpr UINT kMsgDownloadProgress = 2129;
// lParam: 1 paused, 0 running.
constexpr UINT kMsgDownloadPaused = 2130;
constexpr UINT kMsgRebuildAll = 2225;
constexpr UINT kMsgRebuildContent = 2226;
constexpr UINT kMsgGameVersionChanged = 2325;
constexpr UINT kMsgPreDownloadStatus = 2326;
constexpr UINT kMsgUiTick = 2425;
// kMsgBecameTopWindow (3025) comes from the UI framework (ui/core/ui_messages.h).

// Game-client link.
constexpr UINT kMsgGameRegisterWindow = 2525;         // game -> launcher; lParam: a game window
constexpr UINT kMsgGameQueryPreDownloadState = 2526;  // game -> launcher; answered with 2527
constexpr UINT kMsgPreDownloadState = 2527;           // launcher -> game; lParam: state below
constexpr UINT kMsgGameQueryPreDownloadSize = 2528;   // game -> launcher; answered with 2529
constexpr UINT kMsgPreDownloadSize = 2529;            // launcher -> game; wParam total, lParam done
constexpr UINT kMsgGameQueryPreDownloadSpeed = 2530;  // game -> launcher; answered with 2531
constexpr UINT kMsgPreDownloadSpeed = 2531;           // launcher -> game; wParam seconds left, lParam B/s
constexpr UINT kMsgGameLinkEcho = 2532;               // both ways, (0, 0)

// lParam of kMsgPreDownloadState.
enum PreDownloadLinkState : LPARAM {
  kPreDownloadLinkNone = 0,
  kPreDownloadLinkAvailable = 1,
  kPreDownloadLinkPausedOrBlocked = 2,
  kPreDownloadLinkDownloading = 3,
  kPreDownloadLinkFinished = 4,
};

// wParam of kMsgPreDownloadStatus: the page of the main window's pre-download tab.
enum PreDownloadPage : WPARAM {
  kPreDlcPageNone = 0,
  kPreDlcPageBefore = 1,
  kPreDlcPageDownload = 2,
  kPreDlcPageFinish = 3,
};

// Named objects of the launcher and of the game client.
constexpr wchar_t kDoreveziInstanceName[] = L"_ZUN_DOREVEZI_CN";  // semaphore and window property
constexpr wchar_t kMainWindowClass[] = L"Dorevezi";
constexpr wchar_t kGameWindowProperty[] = L"_ZUN_GAME_CN";
constexpr wchar_t kGameWindowClass[] = L"UnityWndClass";
constexpr wchar_t kGameInstanceMutex[] = L"_Tolv_Instance_";
