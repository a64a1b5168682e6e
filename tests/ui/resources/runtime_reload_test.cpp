// The language switch's reload of the runtime's tables and image cache, and the window list.

#include <windows.h>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"
#include "ui/core/window.h"
#include "ui/resources/image.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/ui_runtime.h"

namespace ui {
namespace {

class RuntimeReloadTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override { UiRuntime::Uninitialize(); }
};

TEST_F(RuntimeReloadTest, TablesAndImageCacheStartOverAndTheRootFollowsOnlyAGivenOne) {
  test_support::TempDir dir;
  const std::wstring path = dir.Path() + L"\\kept.png";
  ASSERT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(2, 2, std::vector<uint32_t>(4, ~0u))));
  ASSERT_NE(UiRuntime::RegisterFont(L"system_12", L"Tahoma", 12, false, false, false, true), nullptr);
  UiRuntime::SetColor(L"white", 0xFFFFFFFFu);
  UiRuntime::SetClassAttributes(L"btn", L"width=\"1\"");
  std::shared_ptr<ImageInfo> held = UiRuntime::GetOrLoadImage(path);
  ASSERT_NE(held, nullptr);

  int done = 0;
  UiRuntime::ReloadResources(L"", [&] { ++done; });
  EXPECT_EQ(done, 1);
  EXPECT_EQ(UiRuntime::FindFont(L"system_12"), nullptr);
  EXPECT_EQ(UiRuntime::GetDefaultFontId(), L"system_12");
  EXPECT_EQ(UiRuntime::GetColor(L"white"), 0u);
  EXPECT_EQ(UiRuntime::GetClassAttributes(L"btn"), L"");
  EXPECT_EQ(UiRuntime::GetResourceRoot(), L"resources\\themes\\default\\");
  // The cache forgot the image its holder still has; a new load decodes it again.
  EXPECT_EQ(UiRuntime::FindCachedImage(path), nullptr);
  std::shared_ptr<ImageInfo> fresh = UiRuntime::GetOrLoadImage(path);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh.get(), held.get());
  // The old image going away leaves the new entry under the same key alone.
  held.reset();
  EXPECT_EQ(UiRuntime::FindCachedImage(path).get(), fresh.get());

  UiRuntime::ReloadResources(L"skins\\other", nullptr);
  EXPECT_EQ(UiRuntime::GetResourceRoot(), L"skins\\other\\");
}

TEST(WindowListTest, WindowsAreListedInOrderAndForgottenOnShutDown) {
  Window first;
  Window second;
  Window* a = &first;
  Window* b = &second;
  UiRuntime::AddWindow(a);
  UiRuntime::AddWindow(b);
  EXPECT_EQ(UiRuntime::GetWindows(), (std::vector<Window*>{a, b}));
  EXPECT_EQ(UiRuntime::FindWindowByHandle(nullptr), nullptr);
  // Windows still being built have no root: a reload passes them by.
  UiRuntime::ReloadResources(L"", nullptr);
  UiRuntime::RemoveWindow(a);
  EXPECT_EQ(UiRuntime::GetWindows(), (std::vector<Window*>{b}));
  UiRuntime::Uninitialize();
  EXPECT_TRUE(UiRuntime::GetWindows().empty());
}

}  // namespace
}  // namespace ui
