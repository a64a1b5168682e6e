// Pictures of the main window as the player sees it at the system's DPI (96, or 144 when run by
// main_form_dpi_run.sh in a prefix copy): idle, asking before an exit during a download, and
// offering the first-use close choice.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "dorevezi/core/dorevezi_core.h"
#include "main_form_test_support.h"
#include "ui/core/dpi_scale.h"

namespace dialog_test {
namespace {

class MainFormScreenshots : public MainFormFixture {
 protected:
  void SetUp() override {
    MainFormFixture::SetUp();
    const char* expected = std::getenv("DV_EXPECTED_DPI");
    dpi_ = expected ? std::atoi(expected) : 96;
    ASSERT_EQ(Ui().Run([] { return ui::DpiScale::Instance().GetScale(); }), MulDiv(dpi_, 100, 96));
  }

  // The main window with whatever box is over it.
  void Shoot(const std::string& name) {
    RECT window = {};
    GetWindowRect(hwnd_, &window);
    // The layered surface reaches the screen after the window's paint: the window's middle (key
    // art, or a box's card) is never black once it has.
    Capture capture;
    bool painted = false;
    for (int attempt = 0; attempt < 600 && !painted; ++attempt) {
      if (attempt) Sleep(50);
      capture = CaptureScreen(window);
      painted = (capture.At(capture.width / 2, capture.height / 2) & 0xFFFFFF) != 0;
    }
    EXPECT_TRUE(painted) << name;
    const std::string path = dialog_test::SaveCapture(capture, name + "_" + std::to_string(dpi_));
    EXPECT_FALSE(path.empty());
    std::cout << "screenshot: " << path << " " << window.left << "," << window.top << "," << window.right
              << "," << window.bottom << std::endl;
  }

  // A box sits inside the main window, scaled with it.
  void ExpectInside(HWND box) {
    RECT outer = {}, inner = {};
    GetWindowRect(hwnd_, &outer);
    GetWindowRect(box, &inner);
    EXPECT_TRUE(inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
                inner.bottom <= outer.bottom);
  }

  int dpi_ = 96;
};

TEST_F(MainFormScreenshots, IdleConfirmationAndFirstUseChoice) {
  // The skin's fixed client size, scaled: the layout follows the DPI.
  const RECT client = Ui().Run([this] {
    RECT rect = {};
    GetClientRect(hwnd_, &rect);
    return rect;
  });
  const ControlQueryAnswer game = QueryControl(hwnd_, L"btn_game");
  ASSERT_TRUE(game.found && game.visible);
  // The skin gives the game button a fixed width of 240.
  EXPECT_EQ(game.rect.right - game.rect.left, MulDiv(240, dpi_, 96));
  EXPECT_GT(client.right, MulDiv(600, dpi_, 96));
  Shoot("main_idle");

  SetEngineState(5, kFlowGame);
  Ui().Run([this] { form_->BeginCloseFlow(); });
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  ExpectInside(box);
  Shoot("main_exit_confirmation");
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitOnUi([box] { return !IsWindow(box); }));

  SetEngineState(kNoStateId, kFlowGame);
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.firstRun = true;
  core.askCloseOption = true;
  Ui().Run([this] { form_->BeginCloseFlow(); });
  HWND options = WaitForBox(L"OptionsBox");
  ASSERT_NE(options, nullptr);
  ExpectInside(options);
  Shoot("main_first_use_choice");
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitOnUi([options] { return !IsWindow(options); }));
}

}  // namespace
}  // namespace dialog_test
