#include "dorevezi/core/dorevezi_core.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "base/base_util.h"
#include "base/thread_registry.h"
#include "dorevezi/core/command_line.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/resource_fonts.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/update/state.h"
#include "ui/resources/ui_runtime.h"

namespace {

// How long the worker waits for one game window to answer.
constexpr UINT kGameWindowSendTimeoutMs = 2000;
// The game client's executable; a window of its process is one of the game's windows.
constexpr wchar_t kGameExecutableName[] = L"TOLV.exe";

PrepareStateFactory g_prepareStateFactory = nullptr;
StateChangeHook g_stateChangeHook = nullptr;
PreDownloadStateFactory g_preDownloadStateFactory = nullptr;

// The download manager starts and stops with the worker.
void InitDownloadManager() { DownloadManager::GetInstance().Init(); }
void StopDownloadManager() { DownloadManager::GetInstance().Shutdown(); }

bool IsGameProcessWindow(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == 0) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return false;
  wchar_t image[MAX_PATH];
  DWORD length = MAX_PATH;
  bool isGame = false;
  if (QueryFullProcessImageNameW(process, 0, image, &length)) {
    const wchar_t* name = image;
    for (const wchar_t* p = image; *p; ++p) {
      if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    isGame = _wcsicmp(name, kGameExecutableName) == 0;
  }
  CloseHandle(process);
  return isGame;
}

bool CarriesGameProperty(HWND window) {
  return GetPropW(window, kGameWindowProperty) == window;
}

// Messages of the game link go only to live windows of the game: those that carry its property
// or belong to its process. A handle reused by another program's window gets nothing.
bool IsGameWindow(HWND window) {
  return IsWindow(window) && (CarriesGameProperty(window) || IsGameProcessWindow(window));
}

// The first top-level window of the game's fallback class that belongs to the game's process.
HWND FindGameClassWindow() {
  for (HWND window = FindWindowExW(nullptr, nullptr, kGameWindowClass, nullptr); window;
       window = FindWindowExW(nullptr, window, kGameWindowClass, nullptr)) {
    if (IsGameProcessWindow(window)) return window;
  }
  return nullptr;
}

// A hung game window must not stop the worker: each send gives up after a bounded wait.
void SendToGameWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kGameWindowSendTimeoutMs, &result);
}

}  // namespace

void SetStateFactories(PrepareStateFactory prepare, PreDownloadStateFactory preDownload) {
  g_prepareStateFactory = prepare;
  g_preDownloadStateFactory = preDownload;
}

void SetStateChangeHook(StateChangeHook hook) {
  g_stateChangeHook = hook;
}

State* CreatePrepareState(FlowMode flow) {
  return g_prepareStateFactory ? g_prepareStateFactory(flow) : nullptr;
}

State* CreatePreDownloadState() {
  return g_preDownloadStateFactory ? g_preDownloadStateFactory() : nullptr;
}

DoreveziCore& DoreveziCore::GetInstance() {
  static DoreveziCore core;
  return core;
}

DoreveziCore::DoreveziCore() {
  InitializeCriticalSection(&gameWindowsLock);
  InitializeCriticalSection(&textsLock);
}

DoreveziCore::~DoreveziCore() {
  DeleteCriticalSection(&textsLock);
  DeleteCriticalSection(&gameWindowsLock);
}

void DoreveziCore::Initialize() {
  if (!IsFolder(GetSaveFolder())) CreateFolderPath(GetSaveFolder());
  firstRun = false;
  askCloseOption = false;
  if (!LoadExtraConfig()) installPackageType.clear();
  if (!LoadEnvConfig()) {
    firstRun = true;
    askCloseOption = true;
    envConfig.languageType = LanguageForLocale(GetUserDefaultLCID());
    const std::wstring ownFolder = base::OwnModuleDirectory();
    HANDLE game =
        CreateFileW((ownFolder + L"TOLV.exe").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (game != INVALID_HANDLE_VALUE) {
      CloseHandle(game);
      SetGamePath(NormalizePath(ownFolder, false));
    } else {
      SetGamePath(GetDefaultInstallFolder());
    }
    SaveEnvConfig();
  }
  if (!LoadDownloadLog()) {
    downloadLog = DownloadLog();
    SaveDownloadLog();
  }
  LoadChannelId();
  if (GetGamePath().empty()) SetGamePath(GetDefaultInstallFolder());
  if (g_hasLanguageArgument) {
    std::string code;
    for (const wchar_t* p = g_languageArgument; *p; ++p) code += static_cast<char>(*p < 0x80 ? *p : '?');
    Language language;
    if (FindLanguageByCode(code.c_str(), language)) envConfig.languageType = language;
  }
  ui::UiRuntime::SetChannel(L"CN");
  // This build always runs in Simplified Chinese; only the saved file keeps the chosen index.
  envConfig.languageType = kLanguageZhCn;
  envConfig.languageCode = kLanguageCodes[kLanguageZhCn];
  LoadGateConfig();
  InstallResourceFonts();
  alternateFileNames[L"TOLV_Data/Resources/unity_default_resources"] =
      L"TOLV_Data/Resources/unity default resources";
  alternateFileNames[L"TOLV_Data/Plugins/x86_64/VuplexWebViewChromium/Vuplex_WebView.vuplex"] =
      L"TOLV_Data/Plugins/x86_64/VuplexWebViewChromium/Vuplex WebView.vuplex";
}

void DoreveziCore::OnMiscThreadStart() {
  InitDownloadManager();
  doreveziReplaced = false;
  cefReplaced = false;
  fontsReplaced = false;
  updateNoticeArmed = true;
  resourcesChange = 0;
  languageChanged = false;
  enterGameRequest = false;
  for (const char* key : kVersionMapKeys) ResetVersionMap(key);
  preDownloadFolders.clear();
  ListSubfolders(GetPreDownloadFolderA(), preDownloadFolders);
  LoadDoreveziVersion();
  LoadGameVersion();
}

void DoreveziCore::OnMiscThreadExit() {
  StopDownloadManager();
  if (State* state = currentState) {
    state->OnExit(nullptr);
    currentState = nullptr;
    PublishCurrentState();
    delete state;
  }
  if (State* state = preDownloadState) {
    preDownloadState = nullptr;
    publishedPreDownloadStep = kNoStateId;
    delete state;
  }
  for (const char* key : kVersionMapKeys) versionMaps.erase(key);
}

void DoreveziCore::SetMainWindow(HWND window) {
  if (window) {
    mainWindow = window;
    SetPropW(window, kDoreveziInstanceName, window);
    return;
  }
  HWND previous = mainWindow.exchange(nullptr);
  if (previous) RemovePropW(previous, kDoreveziInstanceName);
}

void DoreveziCore::NotifyMainWindow(UINT message, WPARAM wParam, LPARAM lParam) {
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [this, message, wParam, lParam] {
    HWND window = mainWindow;
    if (window) SendMessageW(window, message, wParam, lParam);
  });
}

void DoreveziCore::NotifyGameWindows(UINT message, WPARAM wParam, LPARAM lParam) {
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [this, message, wParam, lParam] {
    bool empty;
    {
      base::CriticalSectionGuard lock(&gameWindowsLock);
      empty = gameWindows.empty();
    }
    if (empty) RefreshGameWindows();
    // Sent from a copy: the UI thread may add windows meanwhile, and a slow window must not
    // hold the lock.
    std::vector<HWND> targets = GetGameWindows();
    if (targets.empty()) {
      if (HWND window = FindGameClassWindow()) SendToGameWindow(window, message, wParam, lParam);
      return;
    }
    for (HWND window : targets) {
      if (IsGameWindow(window)) SendToGameWindow(window, message, wParam, lParam);
    }
  });
}

void DoreveziCore::RefreshGameWindows() {
  std::list<HWND> found;
  for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window && IsWindow(window);
       window = GetWindow(window, GW_HWNDNEXT)) {
    if (CarriesGameProperty(window)) found.push_back(window);
  }
  base::CriticalSectionGuard lock(&gameWindowsLock);
  gameWindows = std::move(found);
}

void DoreveziCore::AddGameWindow(HWND window) {
  base::CriticalSectionGuard lock(&gameWindowsLock);
  gameWindows.remove_if([](HWND listed) { return !IsWindow(listed); });
  if (IsWindow(window) && std::find(gameWindows.begin(), gameWindows.end(), window) == gameWindows.end()) {
    gameWindows.push_back(window);
  }
}

std::vector<HWND> DoreveziCore::GetGameWindows() {
  base::CriticalSectionGuard lock(&gameWindowsLock);
  return std::vector<HWND>(gameWindows.begin(), gameWindows.end());
}

void DoreveziCore::ChangeState(State* offered) {
  State* old = currentState;
  const int32_t oldId = old ? old->GetStateId() : kNoStateId;
  const int32_t offeredId = offered ? offered->GetStateId() : kNoStateId;
  if (oldId == offeredId) {
    if (!old || !offered) return;
    if ((old->flowMode == kFlowDorevezi) == (offered->flowMode == kFlowDorevezi)) {
      delete offered;
      return;
    }
  }
  if (old) old->OnExit(offered);
  currentState = offered;
  PublishCurrentState();
  if (g_stateChangeHook) g_stateChangeHook(offered);
  if (offered) offered->OnEnter(old);
  delete old;
}

void DoreveziCore::PublishCurrentState() {
  State* state = currentState;
  publishedStateId = state ? state->GetStateId() : kNoStateId;
  publishedStateFlow = state ? state->flowMode : kNoStateId;
}

void DoreveziCore::StartDoreveziFlow() {
  enterGameRequest = false;
  base::ThreadRegistry::PostTask(base::kThreadIdMisc,
                                 [this] { ChangeState(CreatePrepareState(kFlowDorevezi)); });
}

void DoreveziCore::StartGameFlow(int enterGame, bool honourConfig) {
  enterGameRequest = enterGame != 0 && !(honourConfig && gateConfig.disableAutoEnterGame);
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [this] { ChangeState(CreatePrepareState(kFlowGame)); });
}

void DoreveziCore::StartPreDownload() {
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [this] {
    if (preDownloadState) return;
    State* state = CreatePreDownloadState();
    if (!state) return;
    preDownloadState = state;
    publishedPreDownloadStep = 0;
    state->OnEnter(nullptr);
  });
}

void DoreveziCore::StopPreDownload() {
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [this] {
    State* state = preDownloadState;
    if (!state) return;
    state->OnExit(nullptr);
    preDownloadState = nullptr;
    publishedPreDownloadStep = kNoStateId;
    delete state;
  });
}

// ---------------------------------------------------------------------------------------------
// Save files

bool DoreveziCore::LoadEnvConfig() {
  EnvConfig loaded = envConfig;
  if (!::LoadEnvConfig(SaveFilePath(kEnvConfigFileName), loaded)) return false;
  base::CriticalSectionGuard lock(&textsLock);
  envConfig = loaded;
  return true;
}

void DoreveziCore::SaveEnvConfig() {
  EnvConfig copy;
  {
    base::CriticalSectionGuard lock(&textsLock);
    copy = envConfig;
  }
  ::SaveEnvConfig(SaveFilePath(kEnvConfigFileName), copy);
}

bool DoreveziCore::LoadDownloadLog() {
  return ::LoadDownloadLog(SaveFilePath(kDownloadLogFileName), downloadLog);
}

void DoreveziCore::SaveDownloadLog() {
  ::SaveDownloadLog(SaveFilePath(kDownloadLogFileName), downloadLog);
}

void DoreveziCore::LoadChannelId() {
  channelId.clear();
  ::LoadChannelId(GetSaveFolder(), GetGamePath(), channelId);
}

bool DoreveziCore::LoadExtraConfig() {
  return ::LoadExtraConfig(SaveFilePath(kExtraConfigFileName), installPackageType);
}

void DoreveziCore::LoadGateConfig() {
  ::LoadGateConfig(SaveFilePath(kGateConfigFileName), gateConfig);
}

// ---------------------------------------------------------------------------------------------
// Version maps and texts

VersionMap& DoreveziCore::ResetVersionMap(const std::string& key) {
  return ::ResetVersionMap(versionMaps, key);
}

void DoreveziCore::LoadDoreveziVersion() {
  std::string version;
  ReadMapFileVersion(L"dorevezi_version_map.txt", version, "1.0.0");
  base::CriticalSectionGuard lock(&textsLock);
  doreveziVersion = version;
}

void DoreveziCore::LoadGameVersion() {
  std::string local;
  ReadMapFileVersion(NormalizePath(GetGamePath(), true) + L"version_map.txt", local, "");
  std::string display;
  if (!local.empty()) FormatDisplayVersion(local, display);
  base::CriticalSectionGuard lock(&textsLock);
  localGameVersion = local;
  remoteGameVersion = local;
  displayVersion = display;
}

VersionTexts DoreveziCore::GetVersionTexts() {
  base::CriticalSectionGuard lock(&textsLock);
  return VersionTexts{doreveziVersion, localGameVersion, remoteGameVersion, displayVersion};
}

std::wstring DoreveziCore::GetGamePath() {
  base::CriticalSectionGuard lock(&textsLock);
  return envConfig.gamePath;
}

void DoreveziCore::SetGamePath(const std::wstring& path) {
  base::CriticalSectionGuard lock(&textsLock);
  envConfig.gamePath = path;
}

EnvConfig DoreveziCore::GetEnvConfig() {
  base::CriticalSectionGuard lock(&textsLock);
  return envConfig;
}

bool DoreveziCore::IsGameUpdateAvailable() {
  base::CriticalSectionGuard lock(&textsLock);
  return !remoteGameVersion.empty() && !localGameVersion.empty() && remoteGameVersion != localGameVersion;
}

bool DoreveziCore::LoadLocalGameVersionMap() {
  std::string error;
  return LoadVersionMapFile(NormalizePath(GetGamePath(), true) + L"version_map.txt",
                            versionMaps[kLocalGameVersion], error);
}

void DoreveziCore::SetRemoteGameVersion(const std::string& version) {
  base::CriticalSectionGuard lock(&textsLock);
  remoteGameVersion = version;
}

void DoreveziCore::SetDownloadGameVersion(const std::string& version) {
  base::CriticalSectionGuard lock(&textsLock);
  downloadGameVersion = version;
}

std::string DoreveziCore::GetActivityUrl() {
  base::CriticalSectionGuard lock(&textsLock);
  return activityUrl;
}

void DoreveziCore::SetActivityUrl(const std::string& url) {
  base::CriticalSectionGuard lock(&textsLock);
  activityUrl = url;
}
