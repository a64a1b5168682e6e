// Pictures of the boxes as the player sees them, at the system's DPI (96, or 144 when run by
// dialog_dpi_run.sh in a prefix copy), each with its Chinese text checked for ink.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "dialog_test_support.h"
#include "dorevezi/core/core_dialogs.h"
#include "dorevezi/core/dorevezi_core.h"
#include "ui/core/dpi_scale.h"

namespace dialog_test {
namespace {

int Luminance(uint32_t rgb) {
  return (((rgb >> 16) & 0xFF) * 3 + ((rgb >> 8) & 0xFF) * 6 + (rgb & 0xFF)) / 10;
}

class DialogScreenshots : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    const char* expected = std::getenv("DV_EXPECTED_DPI");
    dpi_ = expected ? std::atoi(expected) : 96;
    ASSERT_EQ(Ui().Run([] { return ui::DpiScale::Instance().GetScale(); }), MulDiv(dpi_, 100, 96));
  }

  // Saves the box's window and checks that the label's text left ink: pixels far from the
  // label's background, lighter or darker.
  void ShootAndCheckInk(HWND box, const std::string& name, const wchar_t* textLabel) {
    // The mouse stays off the box; the picture waits for its fade-in, which WaitForBox did.
    RECT window = {};
    GetWindowRect(box, &window);
    const std::string path = dialog_test::SaveCapture(CaptureScreen(window), name + "_" + std::to_string(dpi_));
    EXPECT_FALSE(path.empty());
    std::cout << "screenshot: " << path << " " << window.left << "," << window.top << "," << window.right
              << "," << window.bottom << std::endl;

    const ControlQueryAnswer label = Query(box, textLabel);
    ASSERT_TRUE(label.found && label.visible);
    const Capture text = CaptureScreen(label.rect);
    const int background = Luminance(text.At(1, 1));
    int ink = 0;
    for (uint32_t pixel : text.pixels) {
      if (std::abs(Luminance(pixel) - background) > 80) ++ink;
    }
    EXPECT_GT(ink, 20 * dpi_ / 96) << "no ink in " << std::string(textLabel, textLabel + wcslen(textLabel));
  }

  int dpi_ = 96;
};

TEST_F(DialogScreenshots, MessageBoxes) {
  struct Case {
    const char* name;
    const wchar_t* noKey;
    bool swap;
  };
  const Case cases[] = {
      {"msgbox_one_button", L"", false},
      {"msgbox_two_buttons", L"STRING_CANCEL", false},
      {"msgbox_swapped", L"STRING_CANCEL", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DoreveziCore::GetInstance().ShowMessageBox(nullptr, L"STRING_ERROR_NOTICE",
                                               L"STRING_CLOSE_CONFIRM_FOR_DOWNLOAD", c.noKey,
                                               L"STRING_CONFIRM", Recorder(), c.swap);
    HWND box = WaitForBox(L"MsgBox");
    ASSERT_NE(box, nullptr);
    ShootAndCheckInk(box, c.name, L"content");
    PressKey(VK_ESCAPE);
    ASSERT_TRUE(WaitUntilClosed(box));
  }
}

TEST_F(DialogScreenshots, ChineseTitleContentAndDetail) {
  MessageBoxRequest request;
  request.title.key = L"STRING_ERROR_NOTICE";
  request.content.key = L"STRING_ERROR_UPDATE";
  request.detail.literal = L"10060\n无法连接到服务器（连接超时）";
  request.noKey = L"STRING_CANCEL";
  request.yesKey = L"STRING_ERROR_RETRY";
  request.onResult = Recorder();
  PostMessageBoxRequest(nullptr, std::move(request));
  HWND box = WaitForBox(L"MsgBox");
  ASSERT_NE(box, nullptr);
  ShootAndCheckInk(box, "msgbox_chinese", L"detail");
  const Capture title = CaptureScreen(Query(box, L"title").rect);
  int ink = 0;
  const int background = Luminance(title.At(1, 1));
  for (uint32_t pixel : title.pixels) ink += std::abs(Luminance(pixel) - background) > 80;
  EXPECT_GT(ink, 10);
}

TEST_F(DialogScreenshots, OptionsBox) {
  DoreveziCore::GetInstance().ShowOptionsBox(L"STRING_SHUT_OPTION_NOTICE", L"shutdown_options",
                                             {L"STRING_SHUT_OPTION_TRAYICON", L"STRING_SHUT_OPTION_EXIT"}, 0,
                                             L"STRING_CONFIRM", Recorder());
  HWND box = WaitForBox(L"OptionsBox");
  ASSERT_NE(box, nullptr);
  ShootAndCheckInk(box, "optionsbox", L"option_vlist");
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitUntilClosed(box));
}

}  // namespace
}  // namespace dialog_test
