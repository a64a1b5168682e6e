// The pieces of the download, apply and ready states that need no server: which game versions take
// the platform arguments, the instance slots, the update folder's own names, the content check and
// the placing of files over held and free destinations.
#include <gtest/gtest.h>

#include <windows.h>

#include <list>
#include <string>
#include <vector>

#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/update/apply_states.h"
#include "dorevezi/update/download_manager.h"
#include "tests/test_support/temp_dir.h"

namespace {

void Write(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Read(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD got = 0;
  ReadFile(file, buffer, sizeof(buffer), &got, nullptr);
  CloseHandle(file);
  return std::string(buffer, got);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(GameProcess, PlatformSuffixByInstalledVersion) {
  const struct {
    const char* version;
    bool suffix;
  } cases[] = {
      {"", true},
      {"10077_0_0", true},
      {"10077_3_5", true},
      {"20000_1_1", true},
      {"10076_9_9", false},
      {"1.2.3", false},
      {"10077_0", false},
      {"x10077_0_0", false},
      {"10077_0_0_1", false},
      {"99999999999_0_0", false},
      // Three parts only when each is a number, as every version comparison reads them.
      {"10077_0_", false},
      {"10077__0", false},
      {"10077_x_0", false},
      {"10077_0_-1", false},
      {"10077_0_99999999999", false},
  };
  for (const auto& c : cases) EXPECT_EQ(GameTakesPlatformSuffix(c.version), c.suffix) << c.version;
}

TEST(GameProcess, SlotsFollowTheInstanceMutex) {
  std::list<int> free;
  EXPECT_EQ(CollectFreeGameSlots(free), 0);
  EXPECT_EQ(free, std::list<int>{0});
  EXPECT_FALSE(IsGameRunning());
  HANDLE held = CreateMutexW(nullptr, FALSE, kGameInstanceMutex);
  free.clear();
  EXPECT_EQ(CollectFreeGameSlots(free), 1);
  EXPECT_TRUE(free.empty());
  EXPECT_TRUE(IsGameRunning());
  CloseHandle(held);
}

TEST(GameProcess, StartFailuresAreReported) {
  test_support::TempDir dir;
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.SetGamePath(dir.Path());
  // No client in the folder: the start fails and says so; any slot but 0 starts nothing.
  EXPECT_FALSE(core.LaunchGame("0123", 0));
  EXPECT_FALSE(core.LaunchGame("0123", 1));
  EXPECT_FALSE(core.GameExeExists(L""));
  EXPECT_FALSE(core.HasInterruptedGameUpdate());
  Write(dir.Path() + L"\\tmp_version_map.txt", "{}");
  EXPECT_TRUE(core.HasInterruptedGameUpdate());
}

TEST(UpdateFolder, OwnNamesAreReserved) {
  for (const char* key : {"apply_list.txt", "APPLY_LIST.TXT", "cef_update.txt", "font_update.txt",
                          "tmp_resources.zip", "apply_list.txt.cfg", "predownload", "predownload/10078_0_0/a"}) {
    EXPECT_TRUE(IsReservedUpdateKey(key)) << key;
  }
  for (const char* key : {"dorevezi.exe", "sub/apply_list.txt", "predownloads/a", "resources.zip", "cef/x.pak"}) {
    EXPECT_FALSE(IsReservedUpdateKey(key)) << key;
  }
}

TEST(UpdateFolder, ContentCheckBySizeThenMd5) {
  test_support::TempDir dir;
  const std::wstring file = dir.Path() + L"\\a.bin";
  Write(file, "abc");
  const std::string abc = "900150983cd24fb0d6963f7d28e17f72";
  EXPECT_TRUE(FileHasContent(file, abc, 3));
  EXPECT_FALSE(FileHasContent(file, abc, 4));
  EXPECT_FALSE(FileHasContent(file, "00000000000000000000000000000000", 3));
  EXPECT_FALSE(FileHasContent(dir.Path() + L"\\missing", abc, 3));
  EXPECT_FALSE(FileHasContent(dir.Path(), abc, 0));
}

TEST(UpdateFolder, PlaceFileLeavesOldOrNew) {
  test_support::TempDir dir;
  const std::wstring source = dir.Path() + L"\\new";
  const std::wstring target = dir.Path() + L"\\target";
  Write(source, "new");
  Write(target, "old");
  // Copy kept: both hold the new bytes.
  ASSERT_TRUE(PlaceFile(source, target, true));
  EXPECT_EQ(Read(target), "new");
  EXPECT_EQ(Read(source), "new");
  // Held open without delete sharing: refused, the old file untouched, the source kept, no sibling left.
  Write(target, "old");
  HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(PlaceFile(source, target, false));
  CloseHandle(held);
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(Read(source), "new");
  EXPECT_FALSE(Exists(target + L".replacing"));
  // Released: moved, the source gone, and the half copy a killed run left beside it goes too.
  Write(target + L".replacing", "half");
  ASSERT_TRUE(PlaceFile(source, target, false));
  EXPECT_EQ(Read(target), "new");
  EXPECT_FALSE(Exists(source));
  EXPECT_FALSE(Exists(target + L".replacing"));
}

std::string Narrow(const std::wstring& wide) {
  return std::string(wide.begin(), wide.end());
}

// A resume file as the download manager writes it: the target's MD5 and the pieces.
std::string ResumeText(const std::string& md5) {
  return "{\"md5\":\"" + md5 + "\",\"pieces\":[]}";
}

TEST(PreDownloadTakeOver, EverySituationOfTheTable) {
  const std::string good = "the pre-downloaded patch";
  const std::string goodMd5 = "417eb6ef28dbd93ed09690365dbf53b9";
  const std::string otherMd5 = "00000000000000000000000000000001";
  const char* kMissing = "<missing>";
  const struct {
    const char* name;
    const char* source;        // S; nullptr: none
    bool sourcePartial;        // S.cfg beside it (naming the expected MD5)
    const char* destination;   // D; nullptr: none
    const char* destResume;    // D.cfg: nullptr none, "same" or "other" MD5
    bool answer;
    const char* destAfter;     // D afterwards
    const char* destResumeAfter;  // nullptr: none; "source": the moved S.cfg; "same": D.cfg kept
    bool sourceLeft;
  } cases[] = {
      {"nothing pre-downloaded", nullptr, false, nullptr, nullptr, false, kMissing, nullptr, false},
      {"complete, nothing staged", "good", false, nullptr, "other", true, "good", nullptr, false},
      {"complete but damaged, nothing staged", "damaged", false, nullptr, nullptr, false, kMissing, nullptr, false},
      {"partial, nothing staged", "part", true, nullptr, nullptr, false, "part", "source", false},
      {"complete over a partial of this file", "good", false, "half", "same", true, "good", nullptr, false},
      {"partial beside a partial of this file", "part", true, "half", "same", false, "half", "same", true},
      {"complete over a partial of another file", "good", false, "half", "other", true, "good", nullptr, false},
      {"partial over a partial of another file", "part", true, "half", "other", false, "part", "source", false},
      {"staged file without resume file", "good", false, "staged", nullptr, false, "staged", nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::TempDir dir;
    const std::wstring preDownload = dir.Path() + L"\\predownload\\10078_0_0";
    const std::wstring update = dir.Path() + L"\\update";
    CreateDirectoryW((dir.Path() + L"\\predownload").c_str(), nullptr);
    CreateDirectoryW(preDownload.c_str(), nullptr);
    CreateDirectoryW((preDownload + L"\\data").c_str(), nullptr);
    CreateDirectoryW(update.c_str(), nullptr);
    const std::wstring source = preDownload + L"\\data\\a.bin.patch";
    const std::wstring destination = update + L"\\data\\a.bin.patch";
    const std::string sourceResume = ResumeText(goodMd5) + " ";
    if (c.source) {
      const std::string text = c.source;
      Write(source, text == "good" ? good : text == "damaged" ? good + "!" : text);
      if (c.sourcePartial) Write(source + L".cfg", sourceResume);
    }
    if (c.destination) {
      CreateDirectoryW((update + L"\\data").c_str(), nullptr);
      Write(destination, c.destination);
    }
    if (c.destResume) {
      CreateDirectoryW((update + L"\\data").c_str(), nullptr);
      Write(destination + L".cfg", ResumeText(std::string(c.destResume) == "same" ? goodMd5 : otherMd5));
    }
    EXPECT_EQ(TakePreDownloadedFile(Narrow(preDownload), Narrow(update), "data/a.bin.patch", goodMd5), c.answer);
    const std::string expected = std::string(c.destAfter) == "good" ? good : c.destAfter;
    EXPECT_EQ(Read(destination), expected);
    if (!c.destResumeAfter) {
      EXPECT_FALSE(Exists(destination + L".cfg"));
    } else if (std::string(c.destResumeAfter) == "source") {
      EXPECT_EQ(Read(destination + L".cfg"), sourceResume);
    } else {
      EXPECT_EQ(Read(destination + L".cfg"), ResumeText(goodMd5));
    }
    EXPECT_EQ(Exists(source), c.sourceLeft);
  }
}

TEST(ReadyState, CheckLeavesARunningPreDownloadsServersAlone) {
  test_support::TempDir game;
  Write(game.Path() + L"\\version_map.txt", "{\"version\":{\"md5\":\"10077_0_1\",\"size\":0}}");
  DoreveziCore& core = DoreveziCore::GetInstance();
  DownloadManager& manager = DownloadManager::GetInstance();
  core.SetGamePath(game.Path());
  core.LoadGameVersion();
  // Periods of two and one minutes: the machine has been up for longer than that.
  core.gateConfig.updateInterval = 1;
  // Nothing listens there: the chain's first request fails, and the gate's query ends it.
  const std::vector<std::string> gate = {"https://127.0.0.1:1/"};
  const std::vector<std::string> preDownload = {"https://127.0.0.1:2/predl/"};
  manager.gateUrls = gate;
  for (bool beside : {false, true}) {
    SCOPED_TRACE(beside ? "a pre-download runs beside" : "no pre-download");
    manager.activeUrls = manager.cdnUrls = preDownload;
    EnterGameState other;
    core.preDownloadState = beside ? &other : nullptr;
    EnterGameState ready;
    ready.OnEnter(nullptr);
    ready.OnTick();
    EXPECT_EQ(ready.chainStep, 0);
    EXPECT_EQ(manager.activeUrls, beside ? preDownload : gate);
    EXPECT_EQ(manager.cdnUrls, preDownload);
    core.preDownloadState = nullptr;
  }
  core.gateConfig.updateInterval = 0;
  manager.gateUrls.clear();
  manager.activeUrls.clear();
  manager.cdnUrls.clear();
}

}  // namespace
