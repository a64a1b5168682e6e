#include "ui/controls/on_screen_keyboard.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "ui/animation/timer_manager.h"
#include "ui/core/dpi_scale.h"

namespace ui {
namespace {

const wchar_t kKeyboardWindowClass[] = L"IPTip_Main_Window";
const wchar_t kProgramBelowCommonFiles[] = L"\\microsoft shared\\ink\\TabTip.exe";
// The doubled backslash after the drive letter is how the default has always been written;
// the shell reads it as one.
const wchar_t kDefaultProgramPath[] = L"C:\\\\Program Files\\Common Files\\microsoft shared\\ink\\TabTip.exe";

// {4CE576FA-83DC-4F88-951C-9D0782B4E376}
const CLSID kClsidTipInvocation = {0x4CE576FA, 0x83DC, 0x4F88, {0x95, 0x1C, 0x9D, 0x07, 0x82, 0xB4, 0xE3, 0x76}};
// {37C994E7-432B-4834-A2F7-DCE1F13B834B}
const IID kIidTipInvocation = {0x37C994E7, 0x432B, 0x4834, {0xA2, 0xF7, 0xDC, 0xE1, 0xF1, 0x3B, 0x83, 0x4B}};

// The touch keyboard's invocation interface: one method after IUnknown's.
struct ITipInvocation : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Toggle(HWND window) = 0;
};

constexpr UINT kApplyDelayMs = 10;

}  // namespace

OnScreenKeyboardManager& OnScreenKeyboardManager::Instance() {
  static OnScreenKeyboardManager manager;
  return manager;
}

void OnScreenKeyboardManager::RequestKeyboard(bool show) {
  if (windowsCheck_ < 0) windowsCheck_ = IsWindowsVersionAtLeast6(2) ? 1 : 0;
  if (windowsCheck_ == 0) return;
  wantedVisible_ = show;
  TimerManager::Instance()->AddTimer(ObtainWeakFlag(), [this] { ApplyKeyboardState(); }, kApplyDelayMs, 1);
}

bool OnScreenKeyboardManager::IsKeyboardShown() {
  HWND window = FindWindowW(kKeyboardWindowClass, nullptr);
  if (!window) return false;
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  return (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0;
}

void OnScreenKeyboardManager::ApplyKeyboardState() {
  const bool shown = IsKeyboardShown();
  if (shown == wantedVisible_) return;
  if (shown) {
    // Looked up again: the window may have gone since the test.
    if (HWND window = FindWindowW(kKeyboardWindowClass, nullptr)) PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return;
  }
  ITipInvocation* invocation = nullptr;
  const HRESULT created = CoCreateInstance(kClsidTipInvocation, nullptr, CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                           kIidTipInvocation, reinterpret_cast<void**>(&invocation));
  if (SUCCEEDED(created) && invocation) {
    invocation->Toggle(GetDesktopWindow());
    invocation->Release();
    return;
  }
  StartTouchKeyboardProcess();
}

std::wstring OnScreenKeyboardManager::TouchKeyboardProgramPath() {
  std::wstring folder;
  const DWORD size = GetEnvironmentVariableW(L"CommonProgramW6432", nullptr, 0);
  if (size > 0) {
    std::vector<wchar_t> buffer(size);
    const DWORD written = GetEnvironmentVariableW(L"CommonProgramW6432", buffer.data(), size);
    if (written > 0 && written < size) folder.assign(buffer.data(), written);
  }
  if (folder.empty()) return kDefaultProgramPath;
  return folder + kProgramBelowCommonFiles;
}

void OnScreenKeyboardManager::StartTouchKeyboardProcess() {
  const std::wstring path = TouchKeyboardProgramPath();
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
}

}  // namespace ui
