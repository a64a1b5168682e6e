#pragma once

// The process-wide controller of the embedded browser runtime: it prepares the process for the
// runtime found in the folder "cef" beside the executable and starts and stops that runtime.

#include <string>

namespace components {

// The runtime's start settings, filled by Initialize.
struct BrowserSettings {
  std::wstring cachePath;
  std::wstring logFile;
};

class CefManager {
 public:
  static CefManager& Instance();

  // True when the folder "cef" exists beside the executable, after putting that folder in front
  // of the process's PATH and naming its "dummy_cmd.exe" as ComSpec; false, changing nothing,
  // otherwise.
  bool PrepareCefEnvironment();
  // Fills the settings (cache folder "CefLocalStorage" and log file "cef.log" in `dataFolder`,
  // which is created when missing) and starts the runtime. The result becomes the initialised
  // flag. No runtime is built into this program, so the start fails.
  bool Initialize(const std::wstring& dataFolder, BrowserSettings& settings);
  // Stops the runtime when one was started.
  void ShutdownRuntime();

  bool IsInitialized() const { return initialized_; }
  void SetInitialized(bool initialized) { initialized_ = initialized; }
  bool IsOffScreenRendering() const { return offScreenRendering_; }

 private:
  CefManager() = default;
  CefManager(const CefManager&) = delete;
  CefManager& operator=(const CefManager&) = delete;

  bool initialized_ = false;
  bool offScreenRendering_ = true;
  int liveBrowsers_ = 0;
};

}  // namespace components
