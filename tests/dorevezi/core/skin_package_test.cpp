// The skin archive the launcher chooses (a "resources.zip" through its copy, else the archive
// compiled into this test as into the launcher), the link configuration it reads from the skin,
// and the language switch that has nothing to do.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "dorevezi/core/core_test_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/skin_package.h"
#include "test_support/temp_dir.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"

namespace {

using core_test::ReadBytes;
using core_test::WriteBytes;

// The skin packed beside this test's build (DV_BINARY_DIR is a Unix path; Wine shows it on Z:).
std::string FileSkin() {
  const wchar_t* root = _wgetenv(L"DV_BINARY_DIR");
  std::wstring path = std::wstring(L"Z:") + (root ? root : L"") + L"/tests/dorevezi/core/file_skin.zip";
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return ReadBytes(path);
}

std::string TitleOfOpenSkin() {
  std::string text;
  if (!ui::UiRuntime::ReadResourceFile(kChannelLinkConfigName, text)) return "<none>";
  if (text.find("compiled-in skin") != std::string::npos) return "compiled";
  if (text.find("resources.zip") != std::string::npos) return "file";
  return "<other>";
}

class SkinTest : public ::testing::Test {
 protected:
  SkinTest() : cwd_(dir_.Path()) {
    ui::UiRuntime::SetResourceRoot(L"resources\\");
    CreateDirectoryW(L"update", nullptr);
  }
  ~SkinTest() override { ui::UiRuntime::CloseResourceZip(); }

  test_support::TempDir dir_;
  core_test::ScopedCurrentDirectory cwd_;
};

}  // namespace

TEST_F(SkinTest, ChoosesTheFileThroughItsCopyElseTheCompiledInSkin) {
  LoadResourcePackage();
  EXPECT_EQ(TitleOfOpenSkin(), "compiled");

  ASSERT_TRUE(WriteBytes(L"resources.zip", FileSkin()));
  LoadResourcePackage();
  EXPECT_EQ(TitleOfOpenSkin(), "file");
  EXPECT_EQ(ReadBytes(L"update\\tmp_resources.zip"), FileSkin());
  // The launcher reads the copy: an update may replace "resources.zip" meanwhile.
  EXPECT_TRUE(DeleteFileW(L"resources.zip"));
  EXPECT_EQ(TitleOfOpenSkin(), "file");

  // A file that is no archive, or no update folder to copy it into: the compiled-in skin.
  ASSERT_TRUE(WriteBytes(L"resources.zip", "not a zip archive"));
  LoadResourcePackage();
  EXPECT_EQ(TitleOfOpenSkin(), "compiled");
  ASSERT_TRUE(WriteBytes(L"resources.zip", FileSkin()));
  ui::UiRuntime::CloseResourceZip();
  DeleteFileW(L"update\\tmp_resources.zip");
  ASSERT_TRUE(RemoveDirectoryW(L"update"));
  LoadResourcePackage();
  EXPECT_EQ(TitleOfOpenSkin(), "compiled");
}

TEST_F(SkinTest, LinkConfigurationComesFromTheChannelFileOnly) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.envConfig.languageCode = "zh_CN";
  ASSERT_TRUE(WriteBytes(L"resources.zip", FileSkin()));
  LoadResourcePackage();
  ui::LanguageTable::Instance()->ParseLines({L"STRING_START_GAME = Start", L"STRING_OTHER = Other"});
  core.links["Privacy"] = "from before";
  ASSERT_TRUE(core.LoadCommonConfig());
  EXPECT_EQ(core.titles[std::string("title_main")], L"resources.zip");
  EXPECT_EQ(core.titles[std::string("title_sub")], L"\u542f\u52a8\u5668");
  EXPECT_EQ(core.links.count("Privacy"), 0u);
  EXPECT_EQ(core.links["Forum_Discord"], "https://discord.example/");
  ASSERT_EQ(core.jumpLinks.size(), 1u);
  EXPECT_EQ(ui::LanguageTable::Instance()->Lookup(L"STRING_START_GAME"), L"Play now");
  EXPECT_EQ(ui::LanguageTable::Instance()->Lookup(L"STRING_OTHER"), L"Other");

  // Without a readable configuration the previous texts stay.
  ui::UiRuntime::CloseResourceZip();
  core.titles[std::string("title_main")] = L"kept";
  EXPECT_FALSE(core.LoadCommonConfig());
  EXPECT_EQ(core.titles[std::string("title_main")], L"kept");
}

TEST_F(SkinTest, SwitchingToTheActiveLanguageReloadsNothing) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.envConfig.languageCode = "zh_CN";
  ui::UiRuntime::SetLanguage(L"zh_CN");
  core.titles[std::string("title_main")] = L"untouched";
  EXPECT_FALSE(core.SwitchUiLanguage());
  EXPECT_EQ(core.titles[std::string("title_main")], L"untouched");
}

TEST_F(SkinTest, SwitchingLanguageReloadsTheLanguageFileThenTheConfiguration) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  ASSERT_TRUE(WriteBytes(L"resources.zip", FileSkin()));
  LoadResourcePackage();
  ui::UiRuntime::SetLanguage(L"zh_CN");
  core.envConfig.languageCode = "en";
  EXPECT_TRUE(core.SwitchUiLanguage());
  EXPECT_EQ(ui::UiRuntime::GetLanguage(), L"en");
  EXPECT_EQ(core.titles[std::string("title_main")], L"english");
  // The override outlives the reload of the language file, which came first.
  EXPECT_EQ(ui::LanguageTable::Instance()->Lookup(L"STRING_START_GAME"), L"Play now");
  EXPECT_EQ(ui::LanguageTable::Instance()->Lookup(L"STRING_OTHER"), L"Other");
  core.envConfig.languageCode = "zh_CN";
}
