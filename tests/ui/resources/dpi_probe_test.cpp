// Run once per LogPixels value by dpi_runs.sh, which names the value in DV_EXPECTED_DPI: the
// runtime's start-up takes the monitor's DPI, and every scaled length follows MulDiv of it.

#include <windows.h>

#include <cstdlib>

#include <gtest/gtest.h>

#include "ui/core/dpi_scale.h"
#include "ui/resources/image.h"
#include "ui/resources/ui_runtime.h"

namespace ui {
namespace {

TEST(DpiAtLogPixels, ScaleFontsAndImagesFollowTheMonitor) {
  const char* expected = std::getenv("DV_EXPECTED_DPI");
  ASSERT_NE(expected, nullptr) << "run through dpi_runs.sh";
  const int dpi = std::atoi(expected);
  const int percent = dpi == 96 ? 100 : dpi == 120 ? 125 : dpi == 144 ? 150 : dpi == 192 ? 200 : -1;
  ASSERT_NE(percent, -1) << dpi;

  UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
  DpiScale& scale = DpiScale::Instance();
  EXPECT_TRUE(scale.IsAdapting());
  EXPECT_EQ(scale.GetScale(), percent);

  Rect rect{10, 20, 110, 70};
  scale.ScaleRect(rect);
  const int left = MulDiv(10, percent, 100);
  const int top = MulDiv(20, percent, 100);
  EXPECT_EQ(rect.left, left);
  EXPECT_EQ(rect.top, top);
  EXPECT_EQ(rect.right, left + MulDiv(100, percent, 100));
  EXPECT_EQ(rect.bottom, top + MulDiv(50, percent, 100));
  EXPECT_EQ(scale.ScaleValue(14), MulDiv(14, percent, 100));

  ASSERT_NE(UiRuntime::RegisterFont(L"size12", L"Tahoma", 12, false, false, false, false), nullptr);
  FontRecord* font = UiRuntime::FindFont(L"size12");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->size, MulDiv(12, percent, 100));
  LOGFONTW logFont = {};
  ASSERT_NE(GetObjectW(font->hFont, sizeof(logFont), &logFont), 0);
  EXPECT_EQ(logFont.lfHeight, -MulDiv(12, percent, 100));

  ImageSpec image;
  image.Parse(L"file='a.png' dest='0,0,24,24'");
  EXPECT_EQ(image.dest.right, MulDiv(24, percent, 100));
  EXPECT_EQ(image.dest.bottom, MulDiv(24, percent, 100));
  image.Parse(L"destscale='false' dest='3,4,24,24'");
  EXPECT_EQ(image.dest.left, 3);
  EXPECT_EQ(image.dest.right, 24);
  UiRuntime::Uninitialize();
}

}  // namespace
}  // namespace ui
