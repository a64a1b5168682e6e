#pragma once

// The launcher's dialogs as the program runs them: a UI thread of its own (registered as the
// program's UI thread, with the UI framework started on the skin), a skin-driven stand-in for
// the main window set as the core's main window, and the window presenter installed. The test
// thread plays the player: it finds controls with the control query and clicks and types with
// real input, waiting each time until the UI thread has handled it.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "ui/core/window_test_support.h"

#include "base/thread.h"
#include "dorevezi/windows/control_query.h"
#include "dorevezi/windows/dialog_presenter.h"
#include "test_support/temp_dir.h"
#include "ui/core/window_impl_base.h"

namespace dialog_test {

// Runs closures on the UI thread and waits for them.
class UiThread : public base::FrameworkThread {
 public:
  UiThread();
  ~UiThread() override;

  template <typename F>
  auto Run(F&& body) -> decltype(body()) {
    using Result = decltype(body());
    if constexpr (std::is_void_v<Result>) {
      RunAndWait(body);
    } else {
      std::optional<Result> result;
      RunAndWait([&] { result.emplace(body()); });
      return std::move(*result);
    }
  }
  // How many base tasks are running on the UI thread right now (0 between tasks).
  static int TaskDepth();

 protected:
  void OnThreadStart() override;
  void OnThreadExit() override;

 private:
  void RunAndWait(const std::function<void()>& body);

  std::unique_ptr<test_support::TempDir> folder_;
};
UiThread& Ui();

// Polls condition on the UI thread until it holds; false after deadlineMs.
bool WaitOnUi(const std::function<bool()>& condition, DWORD deadlineMs = 30000);
// Runs every task queued on the UI thread before this call (and those they post at once).
void FlushUi();

// The stand-in main window: skin-driven, recording what it is sent.
class OwnerWindow : public ui::WindowImplBase {
 public:
  std::wstring RegisteredClassName() const override { return L"DvDialogTestOwner"; }
  std::wstring SkinSubfolder() const override;
  std::wstring SkinXmlFileName() const override { return L"skin.xml"; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The stand-in stays open: a key that outlives a closed box must not take it down.
  LRESULT HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
    ++closes;
    return 0;
  }

  int refreshTexts = 0;
  int closes = 0;

 private:
  ~OwnerWindow() override = default;
};

// The control of that name in the box's window (UI thread); null when absent.
ui::Control* BoxControl(HWND box, const std::wstring& name);

// What a box's callback saw when it ran (UI thread).
struct Answer {
  int value = -1;
  int taskDepth = -1;  // 1: run as a task of its own
  bool ownerEnabled = false;
  bool ownerFocused = false;
  bool boxAlive = false;  // the box's window still there: the close had only started
};

// The fixture of the dialog tests: owner open, set as main window, presenter installed.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A callback that records into answers_ (any box of the test).
  std::function<void(int)> Recorder();
  // The box of that class once shown and faded in (null after the deadline).
  HWND WaitForBox(const wchar_t* className);
  // True once the box's window is gone and the tasks it posted have run.
  bool WaitUntilClosed(HWND box);
  // The UI-side state of the box (UI thread).
  static ui::Window* BoxWindow(HWND box);

  ControlQueryAnswer Query(HWND box, const std::wstring& name) { return QueryControl(box, name); }
  // Moves the mouse onto the named control and clicks it with real input.
  void ClickControl(HWND box, const std::wstring& name);

  std::vector<Answer> Answers();
  int RefreshTexts();

  OwnerWindow* owner_ = nullptr;  // UI thread's
  HWND ownerHwnd_ = nullptr;

 private:
  std::vector<Answer> answers_;  // UI thread's
};

// Real input from the test thread; each returns once the UI thread has handled it.
void MoveMouseTo(int x, int y);
void MouseButton(DWORD flags);
void Click(POINT point);
void Key(WORD vk, bool up);
void PressKey(WORD vk);
// Alt+F4.
void PressAltF4();

// A screen capture of the part of the rectangle on the screen: pixels 0xFFRRGGBB, row by row.
using window_test::Capture;
Capture CaptureScreen(const RECT& rect);
// Saved as PNG under the build's screenshots folder; the Unix path, empty on failure.
std::string SaveCapture(const Capture& capture, const std::string& name);
// Whether two colours are within tolerance on each channel.
bool RgbNear(uint32_t actual, uint32_t expected, int tolerance);

}  // namespace dialog_test
