#include "tools/dvcli/engine_host.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/update/download_manager.h"

namespace engine_host {
namespace {

constexpr int64_t kPumpIntervalMicroseconds = 2000;
constexpr wchar_t kWindowClass[] = L"DvcliEngineMessages";

std::atomic<int> g_exitCode{0};
std::mutex g_printLock;

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kMsgDownloadProgress:
      PrintLine("progress " + std::to_string(int64_t(wParam)) + " " + std::to_string(int64_t(lParam)));
      return 0;
    case kMsgDownloadSpeed:
      PrintLine("speed " + std::to_string(int64_t(wParam)) + " " + std::to_string(int64_t(lParam)));
      return 0;
    case kMsgCheckProgress:
      PrintLine("check " + std::to_string(int64_t(lParam)));
      return 0;
    case kMsgRefreshTexts:
      PrintLine("refresh");
      return 0;
    case kMsgPreDownloadStatus: {
      std::string line = "predl " + std::to_string(int64_t(wParam)) + " " + std::to_string(int64_t(lParam));
      // The page before the download shows the size the check counted.
      if (wParam == kPreDlcPageBefore) {
        line += " size=" + std::to_string(DoreveziCore::GetInstance().GetPreDownloadSize());
      }
      PrintLine(line);
      return 0;
    }
    case kMsgGameVersionChanged:
      PrintLine("game-version-changed");
      return 0;
    case kMsgDownloadPaused:
      PrintLine("paused " + std::to_string(int64_t(lParam)));
      return 0;
    case kMsgHideToTray:
      PrintLine("window hide");
      return 0;
    case kMsgShowMainWindow:
      PrintLine("window show");
      return 0;
    case kMsgExitDorevezi:
      PrintLine("window exit");
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

class EngineThread : public base::FrameworkThread {
 public:
  EngineThread() : base::FrameworkThread("MiscThread") {}
  ~EngineThread() override { Stop(); }

 protected:
  void OnThreadStart() override {
    base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdMisc);
    DownloadManager::GetInstance().Init();
    base::ThreadRegistry::PostRecurringTask(base::kThreadIdMisc,
                                            MakeWeakCallback([] { DownloadManager::GetInstance().Tick(); }),
                                            base::TimeDelta(kPumpIntervalMicroseconds), base::kRepeatForever);
  }
  void OnThreadExit() override {
    DownloadManager::GetInstance().Shutdown();
    base::ThreadRegistry::UnregisterCurrentThread();
  }
};

class UiThread : public base::FrameworkThread {
 public:
  explicit UiThread(std::function<void()> start)
      : base::FrameworkThread("MainThread"), start_(std::move(start)) {}

 protected:
  void OnThreadStart() override {
    base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdUi);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &MessageWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    window_ = CreateWindowW(kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                            nullptr);
    DoreveziCore::GetInstance().mainWindow = window_;
    engine_ = new EngineThread();
    engine_->LaunchWithLoopType(base::kMessageLoopDefault);
    if (!base::ThreadRegistry::PostTask(base::kThreadIdMisc, start_)) Finish(1);
  }
  void OnThreadExit() override {
    DownloadManager::GetInstance().running = false;
    delete engine_;
    engine_ = nullptr;
    DoreveziCore::GetInstance().mainWindow = nullptr;
    if (window_) DestroyWindow(window_);
    base::ThreadRegistry::UnregisterCurrentThread();
  }

 private:
  std::function<void()> start_;
  EngineThread* engine_ = nullptr;
  HWND window_ = nullptr;
};

UiThread* g_uiThread = nullptr;

}  // namespace

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> guard(g_printLock);
  fwrite(line.data(), 1, line.size(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

namespace {

std::string Convert(UINT codePage, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length =
      WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string converted(length, '\0');
  WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &converted[0], length, nullptr, nullptr);
  return converted;
}

}  // namespace

std::string Narrow(const std::wstring& text) {
  return Convert(CP_ACP, text);
}

std::string Utf8(const std::wstring& text) {
  return Convert(CP_UTF8, text);
}

int Run(std::function<void()> start) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.LoadGateConfig();
  core.LoadEnvConfig();
  UiThread thread(std::move(start));
  g_uiThread = &thread;
  thread.RunInPlace(base::kMessageLoopUi);
  g_uiThread = nullptr;
  return g_exitCode;
}

void Finish(int exitCode) {
  g_exitCode = exitCode;
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [] {
    if (g_uiThread) g_uiThread->RequestQuit();
  });
}

}  // namespace engine_host
