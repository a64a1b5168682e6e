#pragma once

// The real main window on the dialog tests' UI thread, with the launcher's own skin: created as
// the program creates it, with the tray's shell calls recorded, the window presenter installed
// and a worker registered as the program's worker to hold the engine's state. The window's close
// ends no loop here: the quit message it posts is taken back and noted.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dialog_test_support.h"
#include "dorevezi/update/state.h"
#include "dorevezi/windows/main_form.h"
#include "dorevezi/core/shell_functions.h"
#include "entry_test_util.h"

namespace dialog_test {

// What the last HandleClose left behind (UI thread's).
struct CloseRecord {
  bool closed = false;
  bool quitPosted = false;   // PostQuitMessage(0) was called
  bool propertyLeft = true;  // "_ZUN_DOREVEZI_CN" still on the window
  HWND mainWindowLeft = nullptr;
  bool iconDeleted = false;  // NIM_DELETE went to the shell
};

class TestMainForm : public MainForm {
 public:
  LRESULT HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
};

// The flows the engine was asked to start (worker's; read after the worker ran).
std::vector<int>& StartedFlows();

class MainFormFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes a recording state of that id and flow current on the worker (kNoStateId: none).
  void SetEngineState(int32_t id, FlowMode flow);
  // How many shell icon calls of that kind were made.
  int ShellCalls(DWORD message);
  CloseRecord LastClose();
  // The box of that class once shown and faded in; null after the deadline.
  HWND WaitForBox(const wchar_t* className);
  void ClickControl(HWND window, const std::wstring& name);

  TestMainForm* form_ = nullptr;  // UI thread's; gone with its window
  HWND hwnd_ = nullptr;
  entry_test::TestWorker worker_;

 private:
  std::vector<std::string> stateLog_;
  const ::ShellFunctions* previousShell_ = nullptr;
};

}  // namespace dialog_test
