#pragma once

// The launcher's one shared state object: settings and records from the save folder, language,
// the main window and the game client's windows, the update states, the version maps and
// versions, the link configuration and the options the gate service sent.
//
// Threads: the UI thread initialises the object before the worker thread exists. Afterwards the
// worker owns the states, the version maps and the versions; the UI thread owns the main-window
// handle, the settings record and the language-change flag. What one thread writes and the other
// reads is either atomic, published as a value (the current state's id and flow, the
// pre-download step), or guarded by the core's locks (the game-window list, the shared texts).

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "dorevezi/core/save_files.h"
#include "dorevezi/core/version_map.h"

class State;

enum FlowMode : int32_t {
  kFlowDorevezi = 0,  // the launcher's own files
  kFlowGame = 1,      // the game's files
};

// Link buttons of the channel's link configuration.
struct JumpLink {
  std::string normalImage;
  std::string hotImage;
  std::string tooltips;  // a language key
  std::string name;
};

struct ScrollPageInfo {
  std::string image;
  std::string link;
};

struct NewsEntry {
  std::string title;
  std::string date;
  std::string tooltip;
  std::string link;
};

struct NewsTabInfo {
  std::string name;
  std::vector<NewsEntry> entries;
};

// The version texts as one consistent copy.
struct VersionTexts {
  std::string doreveziVersion;
  std::string localGameVersion;
  std::string remoteGameVersion;
  std::string displayVersion;
};

// Creates the first state of a flow and the pre-download state. The update engine installs its
// constructors here; while none are installed no state is created and the engine tick idles.
using PrepareStateFactory = State* (*)(FlowMode flow);
using PreDownloadStateFactory = State* (*)();
void SetStateFactories(PrepareStateFactory prepare, PreDownloadStateFactory preDownload);
State* CreatePrepareState(FlowMode flow);
State* CreatePreDownloadState();

// Called by DoreveziCore::ChangeState on the worker thread once `next` is current, before it is
// entered (null when the engine was left without a state). Tools print the flow with it.
using StateChangeHook = void (*)(const State* next);
void SetStateChangeHook(StateChangeHook hook);

// Published value of a missing state.
constexpr int32_t kNoStateId = -1;

// Free slots of the game client appended in slot order; returns the number of taken slots.
int CollectFreeGameSlots(std::list<int>& freeSlots);
bool IsGameRunning();
// Whether the client of this installed game version takes the platform and slot arguments: none
// installed yet, or a version ParseVersionTriple reads whose first part is 10077 or more.
bool GameTakesPlatformSuffix(const std::string& version);

class DoreveziCore {
 public:
  static DoreveziCore& GetInstance();

  // UI thread, first step of its start: save folder, settings, records, language, gate override.
  void Initialize();
  // Worker thread, from its start and exit hooks.
  void OnMiscThreadStart();
  void OnMiscThreadExit();

  // Stores the main window and marks it with the single-instance property; null removes the
  // mark from the stored window and forgets it.
  void SetMainWindow(HWND window);
  // From any thread: sends the message to the main window on the UI thread.
  void NotifyMainWindow(UINT message, WPARAM wParam, LPARAM lParam);
  // From any thread: sends the message to the game client's windows on the worker thread.
  void NotifyGameWindows(UINT message, WPARAM wParam, LPARAM lParam);
  // Rebuilds the game-window list from the top-level windows that carry the game's property.
  void RefreshGameWindows();
  // A game window announced itself: drops listed handles that are no longer windows, then
  // appends `window` when it is a window and not yet listed.
  void AddGameWindow(HWND window);
  std::vector<HWND> GetGameWindows();

  // Worker thread only. Takes ownership of `offered` (may be null).
  void ChangeState(State* offered);
  // From any thread: start a flow or the pre-download on the worker thread.
  void StartDoreveziFlow();
  void StartGameFlow(int enterGame, bool honourConfig);
  void StartPreDownload();
  void StopPreDownload();

  // Engine values published for the UI thread, readable from any thread.
  int32_t GetCurrentStateId() const { return publishedStateId.load(); }
  int32_t GetCurrentFlow() const { return publishedStateFlow.load(); }
  // kNoStateId while there is no pre-download state.
  int32_t GetPreDownloadStep() const { return publishedPreDownloadStep.load(); }
  // The pre-download state reports its step here as it advances.
  void PublishPreDownloadStep(int32_t step) { publishedPreDownloadStep = step; }

  // From any thread: questions to the user, posted to the UI thread (core_dialogs.h). The
  // first sets messageBoxOpen and messageBoxShown, on which the main window relies; the
  // second sets neither. Keys win over literal texts.
  void ShowMessageBox(HWND owner, const std::wstring& titleKey, const std::wstring& contentKey,
                      const std::wstring& noKey, const std::wstring& yesKey, std::function<void(int)> onResult,
                      bool swapButtonLooks);
  void ShowMessageBoxTexts(HWND owner, const std::wstring& titleKey, const std::wstring& titleText,
                           const std::wstring& contentKey, const std::wstring& contentText,
                           const std::wstring& noKey, const std::wstring& yesKey, const std::wstring& noText,
                           const std::wstring& yesText, std::function<void(int)> onResult, bool swapButtonLooks);
  void ShowOptionsBox(const std::wstring& contentKey, const std::wstring& groupName,
                      const std::vector<std::wstring>& optionKeys, int unused, const std::wstring& buttonKey,
                      std::function<void(int)> onResult);

  // Free space of the game drive and the launcher drive (disk_space.h). False when a drive is
  // short: a box then asks, and its answer goes to the callable.
  bool ConfirmUpdateDiskSpace(std::function<void(int)> onContinue);
  bool CheckInstallDiskSpace(std::function<void(int)> onResult);

  // The game client (game_process.cpp). LaunchGame starts slot 0 only and returns whether the
  // client process started; the others look at the game folder of the settings.
  bool LaunchGame(const std::string& firstArgument, int slot);
  bool GameExeExists(const std::wstring& folder);
  bool HasInterruptedGameUpdate();
  bool BringGameWindowToFront();
  // Deletes the space-named copies and the game's list on the worker, just before the game flow
  // starts there, so no flow is writing the game folder meanwhile.
  void RepairGame();

  // Save files of the save folder.
  bool LoadEnvConfig();
  void SaveEnvConfig();
  bool LoadDownloadLog();
  void SaveDownloadLog();
  void LoadChannelId();
  bool LoadExtraConfig();
  void LoadGateConfig();

  // Version maps and texts.
  VersionMap& ResetVersionMap(const std::string& key);
  void LoadDoreveziVersion();
  void LoadGameVersion();
  VersionTexts GetVersionTexts();
  // Both game versions known and different (byte comparison).
  bool IsGameUpdateAvailable();
  // "version_map.txt" of the game folder into the local game map.
  bool LoadLocalGameVersionMap();
  // Under the texts lock.
  void SetRemoteGameVersion(const std::string& version);
  void SetDownloadGameVersion(const std::string& version);
  // The gate's activity page, set by the worker and read by the windows, under the texts lock.
  std::string GetActivityUrl();
  void SetActivityUrl(const std::string& url);
  // The game folder of the settings, read under the texts lock.
  std::wstring GetGamePath();
  void SetGamePath(const std::wstring& path);
  // A copy of the settings record taken under the texts lock (the worker reads the speeds, the
  // language code and the game folder while the UI thread may be applying new settings).
  EnvConfig GetEnvConfig();

  // Pre-download bookkeeping (predownload_books.h). The version is read and written under the
  // texts lock: the UI thread asks HasUnfinishedPreDownload while the worker rewrites it.
  std::string GetPreDownloadVersion();
  void SetPreDownloadVersion(const std::string& version);
  // The bytes the pre-download still has to fetch, the same way.
  uint64_t GetPreDownloadSize();
  void SetPreDownloadSize(uint64_t size);
  // -1 no version announced, 0 its folder holds the complete list of that version, 1 otherwise.
  int CheckPreDownloadComplete();
  bool HasUnfinishedPreDownload();
  // Deletes the folders the installed game has reached; 0 no folders, -1 no local version, -2 an
  // unreadable one, else the number of folders left.
  int PurgeOldPreDownloads();

  // UI thread: takes the edited settings over, field by field, with one save and one report.
  void ApplySettings(const EnvConfig& edited);

  // Usage reports, from any thread; composed on the worker thread (usage_reports.h).
  void ReportDoreveziDetail(std::string actionId, std::string speed, std::string size, std::string downloadTime);
  void ReportAttributionEvent(std::string eventName, std::string value1, std::string value2, std::string value3);
  void ReportDoreveziEvent(const std::string& printInfo, const std::string& speed, const std::string& size,
                           const std::string& actionType, const std::string& step, bool immediately);
  void ReportSettingsChange(const std::string& ifAutostart, const std::string& closeSet, int installSpeedLimit,
                            int preInstallSpeedLimit);

  // Skin and link configuration (skin_package.h), on the UI thread. LoadCommonConfig: false when
  // no configuration was read, the previous titles and links then stay. ReloadResources is called
  // on the worker and runs `done` there once the skin is reloaded. SwitchUiLanguage: false when the
  // UI language already is the core's, and nothing is reloaded.
  bool LoadCommonConfig();
  void ReloadResources(std::function<void()> done);
  bool SwitchUiLanguage();

  // Pauses all downloads, or continues them when paused, on the worker thread.
  void TogglePauseDownloads();
  // Opens a link of the link table (`byName`) or an address in the system browser; only http and
  // https addresses are opened.
  void OpenLink(const std::string& text, bool byName = true);

  GateConfig gateConfig;
  EnvConfig envConfig;
  DownloadLog downloadLog;
  std::string channelId;
  std::string installPackageType;
  std::atomic<HWND> mainWindow{nullptr};
  std::list<HWND> gameWindows;  // guarded by gameWindowsLock
  State* currentState = nullptr;
  State* preDownloadState = nullptr;
  VersionMapTable versionMaps;
  std::map<std::wstring, std::wstring> alternateFileNames;
  bool engineStarted = false;
  bool firstRun = false;
  bool askCloseOption = false;
  // Taken by the restart answers on the UI thread while the worker may set it.
  std::atomic<bool> doreveziReplaced{false};
  bool updateNoticeArmed = true;
  bool cefReplaced = false;
  bool fontsReplaced = false;
  bool forceUpdateDorevezi = false;
  std::atomic<int32_t> resourcesChange{0};  // set by the update states, cleared by the skin reload
  std::atomic<bool> languageChanged{false};
  std::atomic<bool> enterGameRequest{false};
  // Version texts: guarded by textsLock.
  std::string doreveziVersion = "1.0.0";
  std::string localGameVersion;
  std::string downloadGameVersion;
  std::string displayVersion;
  std::string remoteGameVersion;
  std::list<std::string> preDownloadFolders;
  std::string preDownloadVersion;
  uint64_t preDownloadSize = 0;  // guarded by textsLock
  std::atomic<bool> preDownloadRequested{false};
  std::atomic<bool> preDownloadPaused{false};
  bool preDownloadCheck = false;
  std::map<std::string, std::wstring> titles;
  std::map<std::string, std::string> links;
  std::vector<JumpLink> jumpLinks;
  std::vector<ScrollPageInfo> scrollPages;
  std::vector<NewsTabInfo> newsTabs;
  std::string activityUrl;  // guarded by textsLock
  int32_t patchOption = 2;
  bool useWebExtraParam = false;
  std::string publicIp;
  std::atomic<bool> errorBoxShowing{false};
  std::atomic<bool> messageBoxOpen{false};
  std::atomic<bool> messageBoxShown{false};
  bool deleteLogTxt = false;

  // Diagnostics: runs of the engine tick since start.
  std::atomic<uint64_t> engineTicks{0};

  // Guards gameWindows.
  CRITICAL_SECTION gameWindowsLock;
  // Guards the texts both threads touch: the version texts, envConfig, the activity page and the
  // pre-download size.
  CRITICAL_SECTION textsLock;

 private:
  DoreveziCore();
  ~DoreveziCore();
  DoreveziCore(const DoreveziCore&) = delete;
  DoreveziCore& operator=(const DoreveziCore&) = delete;

  void PublishCurrentState();

  std::atomic<int32_t> publishedStateId{kNoStateId};
  std::atomic<int32_t> publishedStateFlow{kNoStateId};
  std::atomic<int32_t> publishedPreDownloadStep{kNoStateId};
};
