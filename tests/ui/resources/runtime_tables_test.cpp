// Cache-key order, archive entry names and resource reads without an archive.

#include <windows.h>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/ui_runtime.h"

namespace ui {
namespace {

TEST(ImageCacheKeyTest, LengthFirstThenFromTheLastCharacter) {
  const ImageCacheKeyLess less;
  const struct {
    const wchar_t* a;
    const wchar_t* b;
    bool aBeforeB;
    bool bBeforeA;
  } cases[] = {
      {L"ab", L"ba", false, true},  // distinct: the last characters decide
      {L"zz", L"abc", true, false},
      {L"xa", L"ab", true, false},
      {L"ab", L"ab", false, false},
      {L"", L"a", true, false},
      {L"a\xFFFF", L"b\x0001", false, true},  // characters compare unsigned
  };
  for (const auto& c : cases) {
    EXPECT_EQ(less(c.a, c.b), c.aBeforeB) << c.a << L" " << c.b;
    EXPECT_EQ(less(c.b, c.a), c.bBeforeA) << c.a << L" " << c.b;
  }
}

TEST(ZipEntryNameTest, SeparatorsAndStepsAreFolded) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {L"resources\\themes\\default\\main\\..\\public\\bk_shadow.png",
       L"resources/themes/default/public/bk_shadow.png"},
      {L"resources/themes/default/public/bk_shadow.png", L"resources/themes/default/public/bk_shadow.png"},
      {L"a//b", L"a/b"},
      {L"a///b", L"a/b"},
      {L"a\\\\b", L"a/b"},
      {L"/a/b", L"a/b"},
      {L"./a/./b", L"a/b"},
      {L"a/b/../../c", L"c"},
      {L"../a", L"a"},  // nothing lies above the archive's root
      {L"..\\..\\a\\b", L"a/b"},
      {L"a/../../b", L"b"},
      {L"a/..", L"a/.."},  // a last segment stays as it is
      {L"a/.", L"a/."},
      {L"a/", L"a/"},
      {L"", L""},
      {L"..", L".."},
  };
  for (const auto& c : cases) EXPECT_EQ(UiRuntime::ToZipEntryName(c.path), c.name) << c.path;
}

TEST(ResourceReadTest, WithoutAnArchiveFilesComeFromDisk) {
  test_support::TempDir dir;
  const std::string bytes("KEY = \xE4\xB8\xAD\r\n\0tail", 15);
  ASSERT_TRUE(test_images::WriteBytes(dir.Path() + L"\\config.json", bytes));
  UiRuntime::SetResourceRoot(dir.Path());
  EXPECT_EQ(UiRuntime::GetResourceZip(), nullptr);
  EXPECT_EQ(UiRuntime::ReadZipEntry(L"config.json"), nullptr);

  std::string out = "stale";
  ASSERT_TRUE(UiRuntime::ReadResourceFile(L"config.json", out));  // below the resource root
  EXPECT_EQ(out, bytes);
  out.clear();
  ASSERT_TRUE(UiRuntime::ReadResourceFile(dir.Path() + L"/config.json", out));  // absolute
  EXPECT_EQ(out, bytes);
  EXPECT_FALSE(UiRuntime::ReadResourceFile(L"missing.json", out));
  UiRuntime::SetResourceRoot(L"");
}

// The usage reports read the language on the worker while a switch writes it on the UI thread.
struct LanguageReader {
  HANDLE reading = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  volatile LONG stop = 0;
  long reads = 0;
  long torn = 0;
};

DWORD WINAPI ReadLanguages(void* argument) {
  auto* reader = static_cast<LanguageReader*>(argument);
  const std::wstring shortName = L"zh_CN";
  const std::wstring longName(300, L'x');  // far beyond any small-string buffer
  while (!reader->stop) {
    const std::wstring seen = UiRuntime::GetLanguage();
    if (seen != shortName && seen != longName) ++reader->torn;
    if (++reader->reads == 1) SetEvent(reader->reading);
  }
  return 0;
}

TEST(LanguageTest, AWorkerSeesOnlyWholeTexts) {
  LanguageReader reader;
  HANDLE worker = CreateThread(nullptr, 0, &ReadLanguages, &reader, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  // The switches start once the worker reads.
  ASSERT_EQ(WaitForSingleObject(reader.reading, 10000), WAIT_OBJECT_0);
  const std::wstring longName(300, L'x');
  for (int i = 0; i < 10000; ++i) UiRuntime::SetLanguage(i % 2 ? L"zh_CN" : longName);
  InterlockedExchange(&reader.stop, 1);
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
  CloseHandle(reader.reading);
  EXPECT_EQ(reader.torn, 0);
  EXPECT_EQ(UiRuntime::GetLanguage(), L"zh_CN");
}

}  // namespace
}  // namespace ui
