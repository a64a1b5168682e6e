#pragma once

// The launcher's main window, built from the skin folder "main": the one receiver of the engine's,
// the core's, the tray's, a second instance's and the game client's window messages, the owner of
// the title, poster, news, web-view and link areas and of the tray icon, and the close flow that
// ends the process. UI thread only; the object owns itself once created and dies with its native
// window.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "dorevezi/windows/notify_tray.h"
#include "ui/controls/button.h"
#include "ui/controls/label.h"
#include "ui/core/window_impl_base.h"

namespace ui {
class Box;
class HBox;
class ListBox;
class TabBox;
}  // namespace ui


// Registered window message that asks the main window for its tick counters: wParam 0 the UI
// ticks it received, 1 the engine ticks run on the worker thread.
constexpr wchar_t kTickCountsQueryName[] = L"DoreveziTickCountsQuery";

// The main window's style: caption, system menu, sizing frame and minimise box (no maximise box);
// the window base strips the caption bits after creation.
constexpr DWORD kMainWindowStyle = 0x00CE0000;

// Whether the update engine is busy, from the core's published values: any launcher-flow state,
// or a game-flow state from prepare to apply (ids 1-6). No state, or game-flow ids 7 and 8, idle.
bool IsEngineBusy();

// The web view's page (UTF-8): the gate override's "ActivityURL" when set, else the gate's
// activity address with "&lang=" and the language code ("en" when none); empty when neither.
std::string ActivityPageAddress();

class MainForm : public ui::WindowImplBase {
 public:
  MainForm() = default;
  // Run when the native window is destroyed, or by the creator when no window was made.
  ~MainForm() override;

  std::wstring RegisteredClassName() const override;
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnSkinLoaded() override;
  ui::Control* CreateCustomControl(const std::wstring& className) override;
  LRESULT HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  std::wstring SkinSubfolder() const override { return L"main"; }
  std::wstring SkinXmlFileName() const override { return L"skin.xml"; }

  // The root's bubbled click handler: the settings button (the settings window comes later).
  // Always true.
  bool OnRootClick(ui::EventArgs* args);
  // The close button and SC_CLOSE: asks first while the engine is busy or a pre-download exists,
  // unless the window just hides to the tray.
  void BeginCloseFlow();
  // Hides to the tray or exits as the settings say; the first close of a first run offers the
  // choice between the two once.
  void CloseOrHide();
  // kMsgBecameTopWindow: a language changed meanwhile is switched to now.
  void OnBecameTopWindow();

  // Titles (text_title_main, text_title_sub, wnd_title, text_version).
  void BindTitles();
  void RefreshTitles();

  // The poster strip: pages, dots and arrows, advanced every 2 s from the worker thread.
  void BuildScrollPages();
  void TickScrollPages();
  void AdvanceScrollPage();
  void ClearScrollPages();
  void RefreshScrollPages();
  void SelectScrollPage(int index, bool animate);
  bool OnScrollDotEvent(ui::EventArgs* args);

  // News tabs: labels over pages of at most four entries.
  void BuildTabs();
  void ClearTabs();
  void RefreshTabs();
  void SelectTab(int index);
  bool OnTabLabelEvent(ui::EventArgs* args);

  // The web-page area over the key art.
  void BuildWebView();
  void LoadWebViewUrl();
  void OnWebViewLoadEnd(int httpStatusCode);
  // A page's pop-up or new window: opened by the shell, never inside the launcher. Any thread.
  bool OnWebLinkClicked(const std::wstring& url);

  // The community link bar.
  void RefreshJumpLinks();
  bool OnJumpLinkClick(ui::EventArgs* args);

  // The game button's and the pre-download tab's parts (built out later).
  void BuildGameButton();
  void RefreshGameButton();
  void BuildPreDlcTab();

  // The poster hold counter: -1 advances on the next tick, 3..0 stand still.
  int32_t posterHoldCount() const { return posterHold_.load(); }
  int32_t currentPosterIndex() const { return currentPoster_; }

 private:
  LRESULT OnShowMainWindow(WPARAM wParam, LPARAM lParam);
  void OnHideToTray();
  void OnCloseChoice(int index);

  ui::ButtonTemplate<ui::Control>* closeButton_ = nullptr;
  ui::LabelTemplate<ui::Control>* windowTitle_ = nullptr;
  ui::LabelTemplate<ui::Control>* versionText_ = nullptr;
  ui::LabelTemplate<ui::Control>* mainTitle_ = nullptr;
  ui::LabelTemplate<ui::Control>* subTitle_ = nullptr;
  ui::ListBox* scrollPages_ = nullptr;
  ui::ListBox* scrollDots_ = nullptr;
  int32_t currentPoster_ = -1;
  // Written on the UI thread, decremented by the worker's tick.
  std::atomic<int32_t> posterHold_{-1};
  ui::ButtonTemplate<ui::Control>* leftArrow_ = nullptr;
  ui::ButtonTemplate<ui::Control>* rightArrow_ = nullptr;
  ui::ListBox* tabLabels_ = nullptr;
  ui::TabBox* tabPages_ = nullptr;
  ui::TabBox* assetTab_ = nullptr;
  ui::ButtonTemplate<ui::Control>* gameButton_ = nullptr;
  std::wstring savedGameButtonTextId_;
  ui::Box* posterFrame_ = nullptr;
  // The browser controls come with the embedded browser; until then any control named so.
  ui::Control* webView_ = nullptr;
  ui::Control* devToolsView_ = nullptr;
  ui::TabBox* preDlcTab_ = nullptr;
  ui::HBox* jumpLinks_ = nullptr;
  std::unique_ptr<NotifyTray> tray_;
  uint64_t uiTicks_ = 0;
};
