// The runtime's resource reads through the skin archive: both spellings of an entry, the image
// cache under the archive's spelling, the language file from the archive, and the disk
// fallback when no archive is open.

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "test_support/temp_dir.h"
#include "ui/resources/image.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"
#include "ui/resources/zip_archive.h"
#include "ui/resources/zip_test_support.h"

namespace {

using ui::UiRuntime;

std::string BlockBytes(HGLOBAL block) {
  const char* bytes = static_cast<const char*>(GlobalLock(block));
  std::string copy(bytes, GlobalSize(block));
  GlobalUnlock(block);
  return copy;
}

class ResourceZipTest : public ::testing::Test {
 protected:
  void SetUp() override { skin_ = ziptest::SkinArchive(); }
  void TearDown() override { UiRuntime::Uninitialize(); }

  // The fixture archive as the resource zip, read in place from memory.
  void OpenSkin() {
    UiRuntime::CloseResourceZip();
    UiRuntime::SetResourceZip(ui::OpenZipArchive(skin_.data(), unsigned(skin_.size()), ui::kZipSourceMemory, ""));
    ASSERT_NE(UiRuntime::GetResourceZip(), nullptr);
  }

  void Start(const wchar_t* language = L"zh_CN") {
    UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", language);
  }

  std::string skin_;
};

TEST_F(ResourceZipTest, FindsEntriesOnlyWhileAnArchiveIsOpen) {
  Start();
  int index = 7;
  ui::ZipEntry entry;
  EXPECT_EQ(ui::FindResourceZipEntry(L"resources/lang/zh_CN.ini", &index, &entry), ui::kZipBadArguments);
  EXPECT_EQ(UiRuntime::ReadZipEntry(L"resources\\lang\\zh_CN.ini"), nullptr);
  OpenSkin();
  EXPECT_EQ(ui::FindResourceZipEntry(L"RESOURCES/LANG/ZH_CN.INI", &index, &entry), ui::kZipOk);
  EXPECT_EQ(entry.index, index);
  EXPECT_EQ(entry.uncompressedSize, sizeof ziptest::kZhCnIni - 1);
  EXPECT_EQ(ui::FindResourceZipEntry(L"resources/lang/xx.ini", &index, nullptr), ui::kZipNotFound);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(UiRuntime::ReadZipEntry(L"resources\\lang\\xx.ini"), nullptr);
  EXPECT_EQ(UiRuntime::GetLastZipError(), ui::kZipNotFound);
  UiRuntime::CloseResourceZip();
  EXPECT_EQ(UiRuntime::GetResourceZip(), nullptr);
  EXPECT_EQ(UiRuntime::GetLastZipError(), 0u);
}

TEST_F(ResourceZipTest, BothSpellingsReadOneBlockOfExactlyTheEntrysSize) {
  Start();
  OpenSkin();
  const wchar_t* spellings[] = {L"resources\\themes\\default\\main\\..\\public\\bk_shadow.png",
                                L"resources/themes/default/public/bk_shadow.png"};
  std::string first;
  for (const wchar_t* path : spellings) {
    HGLOBAL block = UiRuntime::ReadZipEntry(path);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 276u);
    const std::string bytes = BlockBytes(block);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    if (first.empty()) first = bytes;
    EXPECT_EQ(bytes, first);
    GlobalFree(block);
  }
  // A damaged entry gives no block at all.
  std::string damaged = skin_;
  const ziptest::DirectoryRecord r = ziptest::Record(damaged, "resources/themes/default/public/bk_shadow.png");
  damaged[r.data + 40] ^= 0x01;
  UiRuntime::CloseResourceZip();
  UiRuntime::SetResourceZip(ui::OpenZipArchive(damaged.data(), unsigned(damaged.size()), ui::kZipSourceMemory, ""));
  EXPECT_EQ(UiRuntime::ReadZipEntry(spellings[1]), nullptr);
  EXPECT_NE(UiRuntime::GetLastZipError(), ui::kZipOk);
  UiRuntime::CloseResourceZip();
}

TEST_F(ResourceZipTest, CachedImageIsFoundUnderEitherSpellingUntilReleased) {
  Start();
  OpenSkin();
  std::shared_ptr<ui::ImageInfo> image = UiRuntime::GetOrLoadImage(L"resources/themes/default/public/bk_shadow.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 6);
  EXPECT_EQ(image->height, 4);
  EXPECT_EQ(UiRuntime::FindCachedImage(L"resources\\themes\\default\\public\\bk_shadow.png").get(), image.get());
  EXPECT_EQ(UiRuntime::FindCachedImage(L"resources/themes/default/main/../public/bk_shadow.png").get(), image.get());
  image.reset();
  EXPECT_EQ(UiRuntime::FindCachedImage(L"resources\\themes\\default\\public\\bk_shadow.png"), nullptr);
}

TEST_F(ResourceZipTest, LanguageFileComesFromTheArchiveWholeAndNothingBeyondIt) {
  OpenSkin();
  Start(L"zh_CN");
  ui::LanguageTable* table = ui::LanguageTable::Instance();
  EXPECT_EQ(table->Lookup(L"STRING_TITLE"), L"Dorevezi");
  // The entry's last line has no newline: it ends exactly at the entry's end.
  EXPECT_EQ(table->Lookup(L"STRING_LAST"), L"the end");
  UiRuntime::SetLanguage(L"en");
  UiRuntime::ReloadResources(L"", nullptr);
  EXPECT_EQ(table->Lookup(L"STRING_TITLE"), L"Dorevezi (en)");
  EXPECT_EQ(table->Lookup(L"STRING_LAST"), L"");
}

TEST_F(ResourceZipTest, ResourceFilesComeFromTheArchiveOrElseFromDisk) {
  test_support::TempDir dir;
  const std::wstring onDisk = dir.Path() + L"\\common_config.json";
  ASSERT_TRUE(ziptest::WriteAll(onDisk, "{\"from\": \"disk\"}"));
  Start();
  std::string out;
  // No archive: the file system.
  ASSERT_TRUE(UiRuntime::ReadResourceFile(onDisk, out));
  EXPECT_EQ(out, "{\"from\": \"disk\"}");
  EXPECT_FALSE(UiRuntime::ReadResourceFile(dir.Path() + L"\\missing.json", out));

  OpenSkin();
  // Relative to the resource root "resources\themes\default\".
  ASSERT_TRUE(UiRuntime::ReadResourceFile(L"..\\..\\lang\\zh_CN.ini", out));
  EXPECT_EQ(out, ziptest::kZhCnIni);
  ASSERT_TRUE(UiRuntime::ReadResourceFile(L"main/skin.xml", out));
  EXPECT_EQ(out.substr(0, 5), "<?xml");
  // Not in the archive: the file system again.
  ASSERT_TRUE(UiRuntime::ReadResourceFile(onDisk, out));
  EXPECT_EQ(out, "{\"from\": \"disk\"}");
}

}  // namespace
