// The command-line modes, the language table and the self-updater's file replacement.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "browser/cef_manager.h"
#include "core_test_util.h"
#include "dorevezi/core/command_line.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/self_replace.h"
#include "entry_test_util.h"
#include "test_support/temp_dir.h"

namespace {

void ClearArguments() {
  g_languageArgument[0] = g_platformArgument[0] = g_textRenderingArgument[0] = L'\0';
  g_hasLanguageArgument = g_hasPlatformArgument = g_hasTextRenderingArgument = false;
}

struct DispatchCase {
  std::vector<std::wstring> arguments;
  LaunchMode mode;
  const wchar_t* language;  // null: not given
  const wchar_t* textRendering;
  const wchar_t* platform;
};

TEST(CommandLineTest, DispatchesOnExactWordAndCount) {
  const std::wstring exe = L"dorevezi.exe";
  const DispatchCase cases[] = {
      {{exe}, LaunchMode::kNormal, nullptr, nullptr, nullptr},
      {{exe, L"replace", L"a", L"b", L"c"}, LaunchMode::kReplace, nullptr, nullptr, nullptr},
      {{exe, L"replace", L"", L"", L""}, LaunchMode::kReplace, nullptr, nullptr, nullptr},
      {{exe, L"Replace", L"a", L"b", L"c"}, LaunchMode::kNormal, nullptr, nullptr, nullptr},
      {{exe, L"replace", L"a"}, LaunchMode::kNormal, nullptr, nullptr, nullptr},
      {{exe, L"make_version", L"1.2.3"}, LaunchMode::kMakeVersion, nullptr, nullptr, nullptr},
      {{exe, L"make_dependence_version", L""}, LaunchMode::kMakeDependenceVersion, nullptr, nullptr, nullptr},
      {{exe, L"make_version", L"1", L"2"}, LaunchMode::kNormal, nullptr, nullptr, nullptr},
      {{exe, L"set_language", L"ja", L"taa"}, LaunchMode::kNormal, L"ja", L"taa", nullptr},
      {{exe, L"set_language", L"ko"}, LaunchMode::kNormal, L"ko", nullptr, nullptr},
      {{exe, L"set_language", L""}, LaunchMode::kNormal, nullptr, nullptr, nullptr},
      {{exe, L"set_language", L"", L"taa"}, LaunchMode::kNormal, nullptr, L"taa", nullptr},
      {{exe, L"set_platform", L"mac"}, LaunchMode::kNormal, nullptr, nullptr, L"mac"},
      {{exe, L"set_platform", L"mac", L"x"}, LaunchMode::kNormal, nullptr, nullptr, nullptr},
  };
  for (const DispatchCase& c : cases) {
    ClearArguments();
    std::wstring line;
    for (const std::wstring& a : c.arguments) line += L"[" + a + L"]";
    SCOPED_TRACE(core_test::Narrow(line));
    LaunchRequest request = DispatchArguments(c.arguments);
    EXPECT_EQ(request.mode, c.mode);
    EXPECT_EQ(g_hasLanguageArgument, c.language != nullptr);
    if (c.language) {
      EXPECT_STREQ(g_languageArgument, c.language);
    }
    EXPECT_EQ(g_hasTextRenderingArgument, c.textRendering != nullptr);
    if (c.textRendering) {
      EXPECT_STREQ(g_textRenderingArgument, c.textRendering);
    }
    EXPECT_EQ(g_hasPlatformArgument, c.platform != nullptr);
    if (c.platform) {
      EXPECT_STREQ(g_platformArgument, c.platform);
    }
  }
  ClearArguments();
}

TEST(CommandLineTest, ReplaceAndToolModesCarryTheirArguments) {
  LaunchRequest replace =
      DispatchArguments({L"x", L"replace", L".\\update\\dorevezi.exe", L".\\dorevezi.exe", L""});
  EXPECT_EQ(replace.source, L".\\update\\dorevezi.exe");
  EXPECT_EQ(replace.destination, L".\\dorevezi.exe");
  EXPECT_EQ(replace.runAfter, L"");
  EXPECT_EQ(DispatchArguments({L"x", L"make_version", L"1.2.3"}).version, L"1.2.3");
}

TEST(CommandLineTest, LongValuesAreCutToTheirBuffers) {
  ClearArguments();
  const std::wstring platform(40, L'p');
  const std::wstring language = std::wstring(31, L'l') + L"XYZ";
  const std::wstring rendering(100, L'r');
  DispatchArguments({L"x", L"set_platform", platform});
  DispatchArguments({L"x", L"set_language", language, rendering});
  EXPECT_TRUE(g_hasPlatformArgument);
  EXPECT_EQ(std::wstring(g_platformArgument), platform.substr(0, 31));
  EXPECT_EQ(std::wstring(g_languageArgument), std::wstring(31, L'l'));
  EXPECT_EQ(std::wstring(g_textRenderingArgument), rendering.substr(0, 31));
  // Exactly 31 characters fit whole.
  wchar_t buffer[kArgumentBufferChars];
  ASSERT_TRUE(StoreArgument(std::wstring(31, L'a'), buffer));
  EXPECT_EQ(std::wstring(buffer), std::wstring(31, L'a'));
  ClearArguments();
}

TEST(LanguageTableTest, LocalesAndCodesSelectTheirRows) {
  EXPECT_EQ(LanguageForLocale(3082), kLanguageEs);
  EXPECT_EQ(LanguageForLocale(2052), kLanguageZhCn);
  EXPECT_EQ(LanguageForLocale(197636), kLanguageZhTw);
  EXPECT_EQ(LanguageForLocale(66567), kLanguageDe);
  EXPECT_EQ(LanguageForLocale(2110), kLanguageMs);
  EXPECT_EQ(LanguageForLocale(1033), kLanguageEn);
  EXPECT_EQ(LanguageForLocale(0), kLanguageEn);
  Language language = kLanguageEn;
  EXPECT_TRUE(FindLanguageByCode("pt_BR", language));
  EXPECT_EQ(language, kLanguagePtBr);
  EXPECT_FALSE(FindLanguageByCode("pt_br", language));
  EXPECT_STREQ(kLanguageCodes[kLanguageMs], "ms");
  EXPECT_STREQ(kLanguageNameKeys[kLanguageEs], "STRING_LANG_SPAISH");
}

TEST(ReplaceFileTest, ReplacesTheDestinationWhole) {
  test_support::TempDir dir;
  const std::wstring source = dir.Path() + L"\\staged.exe";
  const std::wstring destination = dir.Path() + L"\\dorevezi.exe";
  ASSERT_TRUE(core_test::WriteBytes(source, "new launcher"));
  ASSERT_TRUE(core_test::WriteBytes(destination, "old launcher, longer than the new one"));
  EXPECT_TRUE(ReplaceFileWithRetry(source, destination, 1000));
  EXPECT_EQ(core_test::ReadBytes(destination), "new launcher");
  EXPECT_EQ(core_test::ReadBytes(source), "new launcher");
  EXPECT_EQ(core_test::ListFolder(dir.Path()), (std::vector<std::wstring>{L"dorevezi.exe", L"staged.exe"}));
}

TEST(ReplaceFileTest, LockedDestinationIsRetriedThenLeftAlone) {
  test_support::TempDir dir;
  const std::wstring source = dir.Path() + L"\\staged.exe";
  const std::wstring destination = dir.Path() + L"\\dorevezi.exe";
  ASSERT_TRUE(core_test::WriteBytes(source, "new launcher"));
  ASSERT_TRUE(core_test::WriteBytes(destination, "old launcher"));

  // Locked for the whole retry period: the replacement fails and nothing is lost.
  HANDLE lock =
      CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  DWORD start = GetTickCount();
  EXPECT_FALSE(ReplaceFileWithRetry(source, destination, 600));
  EXPECT_GE(GetTickCount() - start, 500u);
  CloseHandle(lock);
  EXPECT_EQ(core_test::ReadBytes(destination), "old launcher");
  EXPECT_EQ(core_test::ReadBytes(source), "new launcher");
  EXPECT_EQ(core_test::ListFolder(dir.Path()), (std::vector<std::wstring>{L"dorevezi.exe", L"staged.exe"}));

  // Released during the retry period: the replacement goes through.
  lock = CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  HANDLE releaser = CreateThread(
      nullptr, 0,
      [](void* handle) -> DWORD {
        Sleep(400);
        CloseHandle(static_cast<HANDLE>(handle));
        return 0;
      },
      lock, 0, nullptr);
  // A retry period far above the release's time.
  EXPECT_TRUE(ReplaceFileWithRetry(source, destination, 60000));
  WaitForSingleObject(releaser, INFINITE);
  CloseHandle(releaser);
  EXPECT_EQ(core_test::ReadBytes(destination), "new launcher");
}

TEST(ReplaceFileTest, MissingSourceChangesNothing) {
  test_support::TempDir dir;
  const std::wstring destination = dir.Path() + L"\\dorevezi.exe";
  ASSERT_TRUE(core_test::WriteBytes(destination, "old launcher"));
  EXPECT_FALSE(ReplaceFileWithRetry(dir.Path() + L"\\missing.exe", destination, 5000));
  EXPECT_EQ(core_test::ReadBytes(destination), "old launcher");
  EXPECT_EQ(core_test::ListFolder(dir.Path()), (std::vector<std::wstring>{L"dorevezi.exe"}));
}

// The launcher starts one replace run per process, whoever asks first: a second one would apply
// the same update lists at the same time. The launcher copy here records how it was started.
TEST(ReplaceHelperTest, StartsOneCopyWithTheQuotedArguments) {
  test_support::TempDir dir;
  core_test::ScopedCurrentDirectory cwd(dir.Path());
  ASSERT_TRUE(CopyFileW((entry_test::OwnFolder() + L"replace_peer.exe").c_str(), L"dorevezi.exe", FALSE));
  EXPECT_FALSE(ReplaceHelperStarted());
  StartReplaceHelper(L".\\dorevezi.exe", true);
  StartReplaceHelper(L"", false);
  EXPECT_TRUE(ReplaceHelperStarted());
  const std::wstring runs = dir.Path() + L"\\runs.txt";
  ASSERT_TRUE(entry_test::WaitFor([&] { return entry_test::FileExists(runs); }, 10000));
  Sleep(1000);  // time for a second copy to show up, if one had been started
  EXPECT_EQ(core_test::ReadBytes(runs),
            "replace \".\\update\\dorevezi.exe\" \".\\dorevezi.exe\" \".\\dorevezi.exe\"\n");
  EXPECT_EQ(core_test::ReadBytes(dir.Path() + L"\\dorevezi_temp.exe"), core_test::ReadBytes(L"dorevezi.exe"));
}

TEST(BrowserEnvironmentTest, CefFolderGoesInFrontOfTheWholePath) {
  components::CefManager& cef = components::CefManager::Instance();
  const std::wstring cefFolder = entry_test::OwnFolder() + L"cef";
  RemoveDirectoryW(cefFolder.c_str());
  wchar_t savedPath[32768];
  DWORD savedLength = GetEnvironmentVariableW(L"PATH", savedPath, 32768);
  const std::wstring longPath = L"C:\\windows;" + std::wstring(5000, L'x');
  SetEnvironmentVariableW(L"PATH", longPath.c_str());
  EXPECT_FALSE(cef.PrepareCefEnvironment());

  ASSERT_TRUE(CreateDirectoryW(cefFolder.c_str(), nullptr));
  EXPECT_TRUE(cef.PrepareCefEnvironment());
  std::wstring path(8000, L'\0');
  path.resize(GetEnvironmentVariableW(L"PATH", &path[0], 8000));
  EXPECT_TRUE(path == cefFolder + L";" + longPath);
  wchar_t comSpec[MAX_PATH];
  GetEnvironmentVariableW(L"ComSpec", comSpec, MAX_PATH);
  EXPECT_EQ(std::wstring(comSpec), cefFolder + L"\\dummy_cmd.exe");
  RemoveDirectoryW(cefFolder.c_str());

  CefSettings settings;
  test_support::TempDir dir;
  EXPECT_FALSE(cef.Initialize(dir.Path() + L"\\cef_temp\\", settings));
  EXPECT_FALSE(cef.IsCefInitialized());
  EXPECT_EQ(settings.cache_path.ToWString(), dir.Path() + L"\\cef_temp\\CefLocalStorage");
  if (savedLength > 0 && savedLength < 32768) SetEnvironmentVariableW(L"PATH", savedPath);
}

}  // namespace
