// The download manager's rules that need no server: set-up and addresses, the base-address retry
// rule, the once-a-second progress and speed messages on an injected clock, the trust placed in
// resume files, the downloads that finish without a transfer, the form escaping of attribution
// reports, and the hand-off of a speed-limit change to the worker thread. Transfers against real
// servers are tested by the dvcli scripts beside this file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/thread.h"
#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/update/download_manager.h"
#include "dorevezi/core/core_test_util.h"
#include "test_support/temp_dir.h"

namespace {

struct Message {
  UINT id;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Message> g_messages;
void RecordMessage(UINT id, WPARAM wParam, LPARAM lParam) {
  g_messages.push_back({id, wParam, lParam});
}

struct DoneCall {
  int32_t user;
  int32_t code;
  std::string urlPath;
  std::string message;
};
std::vector<DoneCall> g_done;
void RecordDone(int32_t user, int32_t code, const std::string& urlPath, const std::string& message) {
  g_done.push_back({user, code, urlPath, message});
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
  std::string text;
  ReadWholeFileA(path, text);
  return text;
}

// Each test runs in a fresh launcher folder with a save folder, on a manager set up as the
// worker thread sets it up, and leaves it shut down.
class DownloadManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_.reset(new core_test::ScopedCurrentDirectory(folder_.Path()));
    CreateDirectoryW(L"save", nullptr);
    DoreveziCore::GetInstance().gateConfig = GateConfig();
    DoreveziCore::GetInstance().envConfig = EnvConfig();
    g_messages.clear();
    g_done.clear();
    manager().SetNotifier(&RecordMessage);
    manager().Init();
    manager().CancelAll(kDownloadModeNormal);
  }
  void TearDown() override {
    manager().Shutdown();
    manager().activeUrls.clear();
    manager().SetNotifier(nullptr);
    cwd_.reset();
  }
  static DownloadManager& manager() { return DownloadManager::GetInstance(); }

  test_support::TempDir folder_;
  std::unique_ptr<core_test::ScopedCurrentDirectory> cwd_;
};

TEST_F(DownloadManagerTest, InitBuildsTheBuiltInAddressesAndEmptiesTheTraceLog) {
  manager().Shutdown();
  WriteWholeFileA(".\\save\\dltrace.log", "left from the last run\n");
  manager().Init();
  ASSERT_EQ(manager().gateUrls.size(), 3u);
  EXPECT_EQ(manager().gateUrls[0], manager().gateUrls[1]);
  EXPECT_NE(manager().gateUrls[0], manager().gateUrls[2]);
  for (const std::string& url : manager().gateUrls) {
    EXPECT_EQ(url.compare(0, 8, "https://"), 0) << url;
    EXPECT_EQ(url.back(), '/') << url;
  }
  const std::string& track = manager().trackUrl;
  const std::string::size_type token = track.find("/track/json_track?token=");
  ASSERT_NE(token, std::string::npos) << track;
  const std::string tokenText = track.substr(token + 24);
  EXPECT_EQ(tokenText.size(), 24u);
  EXPECT_EQ(tokenText.find_first_not_of("0123456789abcdef"), std::string::npos);
  const std::string& attribution = manager().GetAttributionUrl();
  EXPECT_EQ(attribution.compare(0, 8, "https://"), 0);
  EXPECT_EQ(attribution.substr(attribution.size() - 10), "/v1/adjust");
  EXPECT_EQ(manager().triesPerUrl, 3);
  EXPECT_TRUE(manager().running);
  EXPECT_EQ(manager().idleHandles.size(), 5u);
  EXPECT_EQ(ReadFile(".\\save\\dltrace.log"), "");
  manager().AppendTrace("one\n");
  manager().AppendTrace("two\n");
  EXPECT_EQ(ReadFile(".\\save\\dltrace.log"), "one\ntwo\n");
}

TEST_F(DownloadManagerTest, OperatorFileReplacesGateTrackingAndContentAddressesAndNamesTheCaFile) {
  manager().Shutdown();
  GateConfig& config = DoreveziCore::GetInstance().gateConfig;
  config.gateUrls = {"https://gate.example/"};
  config.trackUrl = "https://track.example/t";
  config.dlcUrls = {"https://cdn.example/a/", "https://cdn.example/b/"};
  config.caFile = "save\\ca.pem";
  manager().Init();
  EXPECT_EQ(manager().gateUrls, std::vector<std::string>{"https://gate.example/"});
  EXPECT_EQ(manager().trackUrl, "https://track.example/t");
  manager().SetCdnUrls({"https://ignored.example/"});
  EXPECT_EQ(manager().cdnUrls, config.dlcUrls);
  // A relative CA file is taken from the launcher folder.
  EXPECT_EQ(manager().caFile, folder_.PathA() + "\\save\\ca.pem");

  manager().Shutdown();
  config = GateConfig();
  manager().Init();
  EXPECT_EQ(manager().gateUrls.size(), 3u);
  EXPECT_TRUE(manager().caFile.empty());
  manager().SetCdnUrls({"https://given.example/"});
  EXPECT_EQ(manager().cdnUrls, std::vector<std::string>{"https://given.example/"});
}

TEST_F(DownloadManagerTest, WithoutASaveFolderTheTraceLogIsNeitherCreatedNorWritten) {
  manager().Shutdown();
  DeleteFileW(L"save\\dltrace.log");
  ASSERT_TRUE(RemoveDirectoryW(L"save"));
  manager().Init();
  manager().AppendTrace("lost\n");
  EXPECT_FALSE(Exists(".\\save\\dltrace.log"));
  EXPECT_FALSE(Exists(".\\save"));
}

TEST_F(DownloadManagerTest, EveryBaseAddressIsTriedThreeTimesInOrder) {
  manager().activeUrls = {"https://a/", "https://b/"};
  int32_t tries = 0, base = 0;
  std::vector<std::pair<int32_t, int32_t>> seen = {{tries, base}};
  while (manager().AdvanceTry(tries, base)) seen.push_back({tries, base});
  const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(base, 2);
}

TEST(JoinUrlTest, JoinsBaseAndPath) {
  struct Case {
    const char* base;
    const char* path;
    const char* joined;
  } cases[] = {
      {"", "version_map.txt", "version_map.txt"},
      {"https://h/game/", "a/b.bin", "https://h/game/a/b.bin"},
      {"https://h/game", "a/b.bin", "https://h/game/a/b.bin"},
      {"https://h/game/", "/a", "https://h/game//a"},
      {"version_map.txt", "", "version_map.txt/"},
      {"dir/", "", "dir/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DownloadManager::JoinUrl(c.base, c.path), c.joined) << c.base << " + " << c.path;
}

TEST(FormQueryTest, EscapesEveryNameAndValue) {
  EXPECT_EQ(BuildFormQuery({{"cpu_type", "Intel(R) Core i7 @ 3.0GHz"}, {"event", "a&b=c"}, {"empty", ""}}),
            "cpu_type=Intel%28R%29%20Core%20i7%20%40%203.0GHz&event=a%26b%3Dc&empty=");
  EXPECT_EQ(EscapeFormValue("\xe4\xb8\xad-._~"), "%E4%B8%AD-._~");
}

TEST_F(DownloadManagerTest, ProgressIsSentAtMostOnceASecondOnThePumpClock) {
  struct Row {
    const char* name;
    bool paused;
    int64_t total, done, delta;
    uint32_t lastTick, now;
    bool sends;
    int64_t doneAfter, shown;
  } rows[] = {
      {"within the second", false, 1000, 0, 10, 5000, 5999, false, 10, 0},
      {"a second later", false, 1000, 0, 10, 5000, 6000, true, 10, 10},
      {"clamped at zero", false, 1000, 50, -80, 5000, 9000, true, 0, 0},
      {"total reached", false, 100, 90, 10, 5000, 5001, true, 100, 100},
      {"long after the last", false, 1000, 0, 10, 0, 90000, true, 10, 10},
      {"paused", true, 1000, 0, 10, 0, 90000, false, 10, 0},
      {"747 ms across the wrap", false, 1000, 0, 10, 2147483000u, 100, false, 10, 0},
      {"1047 ms across the wrap", false, 1000, 0, 10, 2147483000u, 400, true, 10, 10},
      {"last tick before the wrap", false, 1000, 0, 10, 2147483646u, 999, true, 10, 10},
      {"shown never above the total", false, 100, 100, 50, 0, 5000, true, 150, 100},
      {"total not known yet", false, 0, 0, 300, 0, 5000, false, 300, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_messages.clear();
    manager().paused = row.paused;
    manager().totalBytes = row.total;
    manager().doneBytes = row.done;
    manager().lastProgressPostTick = row.lastTick;
    manager().pumpTick = row.now;
    manager().AddDoneBytes(row.delta);
    EXPECT_EQ(manager().doneBytes, row.doneAfter);
    if (row.sends) {
      ASSERT_EQ(g_messages.size(), 1u);
      EXPECT_EQ(g_messages[0].id, kMsgDownloadProgress);
      EXPECT_EQ(int64_t(g_messages[0].wParam), row.total);
      EXPECT_EQ(int64_t(g_messages[0].lParam), row.shown);
      EXPECT_EQ(manager().lastProgressPostTick, row.now);
    } else {
      EXPECT_TRUE(g_messages.empty());
      EXPECT_EQ(manager().lastProgressPostTick, row.lastTick);
    }
  }
  manager().paused = false;
}

TEST_F(DownloadManagerTest, SpeedKeepsSixtySamplesAndIsSentAtMostOnceASecond) {
  manager().totalBytes = 10000000;
  manager().doneBytes = 1000000;
  manager().lastSpeedPostTick = 0;
  manager().pumpTick = 50000;
  manager().AddSpeedSample(1000.9);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].id, kMsgDownloadSpeed);
  EXPECT_EQ(int64_t(g_messages[0].lParam), 1000);            // whole bytes per second, one transfer
  EXPECT_EQ(int64_t(g_messages[0].wParam), 9000000 / 1000);  // seconds left
  for (int i = 0; i < 70; ++i) manager().AddSpeedSample(3000);
  EXPECT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(manager().speedSamples.size(), 60u);
  // The first computation held fewer than 31 samples: it did not lower the lowest speed.
  EXPECT_EQ(manager().lowestSpeed, kLowestSpeedReset);
  manager().pumpTick = 51000;
  manager().paused = true;
  manager().AddSpeedSample(3000);
  EXPECT_EQ(g_messages.size(), 1u);
  manager().paused = false;
  manager().AddSpeedSample(3000);
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(int64_t(g_messages[1].lParam), 3000);
  EXPECT_EQ(manager().currentSpeed, 3000);
  EXPECT_EQ(manager().highestSpeed, 3000);
  EXPECT_EQ(manager().lowestSpeed, 3000);
}

TEST_F(DownloadManagerTest, ResumeFilesAreTrustedOnlyWhenTheirRangesFitTheFile) {
  const int32_t P = kPieceSize;
  const int32_t size = 2 * P + 10;  // pieces 0..P-1, P..2P-1, 2P..2P+9
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  auto piece = [](int64_t index, int64_t begin, int64_t end) {
    return "{\"index\":" + std::to_string(index) + ",\"begin\":" + std::to_string(begin) +
           ",\"end\":" + std::to_string(end) + "}";
  };
  auto cfg = [&](const std::string& pieces, const std::string& withMd5) {
    return "{\"md5\":\"" + withMd5 + "\",\"infoList\":[" + pieces + "]}";
  };
  const std::string tail = piece(2, 2 * P, 2 * P + 9);
  struct Case {
    const char* name;
    std::string text;
    bool dataFile;
    bool trusted;
    std::vector<int32_t> begins;  // of the pieces taken, when trusted
    bool deleted;                 // both files removed when not trusted
  } cases[] = {
      {"unfinished pieces",
       cfg(piece(1, P + 100, 2 * P - 1) + "," + tail, md5),
       true,
       true,
       {P + 100, 2 * P},
       false},
      {"a finished piece is skipped", cfg(piece(0, P, P - 1) + "," + tail, md5), true, true, {2 * P}, false},
      {"absent members read as 0",
       cfg("{\"end\":" + std::to_string(P - 1) + "}", md5),
       true,
       true,
       {0},
       false},
      {"empty", "", true, false, {}, false},
      {"cut short", cfg(tail, md5).substr(0, 30), true, false, {}, false},
      {"another file's md5", cfg(tail, "ffffffffffffffffffffffffffffffff"), true, false, {}, true},
      {"every piece done",
       cfg(piece(0, P, P - 1) + "," + piece(2, 2 * P + 10, 2 * P + 9), md5),
       true,
       false,
       {},
       true},
      {"huge number",
       cfg("{\"index\":2,\"begin\":100000000000000000000,\"end\":" + std::to_string(2 * P + 9) + "}", md5),
       true,
       false,
       {},
       true},
      {"beyond 32 bits", cfg(piece(2, 4294967296LL, 4294967300LL), md5), true, false, {}, true},
      {"negative begin", cfg(piece(0, -5, P - 1), md5), true, false, {}, true},
      {"range past the size", cfg(piece(2, 2 * P, 2 * P + 100), md5), true, false, {}, true},
      {"begin before its piece", cfg(piece(1, 5, 2 * P - 1), md5), true, false, {}, true},
      {"piece index past the last", cfg(piece(3, 3 * P, 3 * P + 5), md5), true, false, {}, true},
      {"the same piece twice", cfg(tail + "," + tail, md5), true, false, {}, true},
      {"numbers as text", cfg("{\"index\":\"2\",\"begin\":\"0\",\"end\":\"9\"}", md5), true, false, {}, true},
      {"list not an array", "{\"md5\":\"" + md5 + "\",\"infoList\":{}}", true, false, {}, true},
      {"no data file", cfg(tail, md5), false, false, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string data = "file.bin";
    DeleteFileA(data.c_str());
    if (c.dataFile) WriteWholeFileA(data, "partial");
    WriteWholeFileA(data + ".cfg", c.text);
    std::list<DownloadPiece> pieces;
    EXPECT_EQ(manager().ReadResumeFile(data, md5, size, pieces), c.trusted);
    std::vector<int32_t> begins;
    for (const DownloadPiece& p : pieces) begins.push_back(p.begin);
    EXPECT_EQ(begins, c.begins);
    if (!c.trusted) {
      EXPECT_EQ(!Exists(data + ".cfg"), c.deleted);
      if (c.dataFile) {
        EXPECT_EQ(!Exists(data), c.deleted);
      }
    }
  }
}

TEST_F(DownloadManagerTest, FilesThatNeedNoTransferAreReportedAtOnce) {
  const std::string emptyMd5 = "d41d8cd98f00b204e9800998ecf8427e";
  // No base address: refused whatever the size.
  manager().DownloadFile("a.bin", "a.bin", "", 0, &RecordDone, nullptr, 7, 0, 0);
  ASSERT_EQ(g_done.size(), 1u);
  EXPECT_EQ(g_done[0].code, -1);
  EXPECT_EQ(g_done[0].message, "DownloadFile URL is empty");
  EXPECT_EQ(g_done[0].user, 7);

  manager().activeUrls = {"https://cdn.invalid/"};
  struct Case {
    const char* name;
    std::string before;
    const char* md5;
    int32_t code;
  } emptyCases[] = {
      {"empty file over old content", "old content", "", 0},
      {"empty file with its md5", "old", "d41d8cd98f00b204e9800998ecf8427e", 0},
      {"empty file with another md5", "old", "0123456789abcdef0123456789abcdef", -4},
  };
  for (const Case& c : emptyCases) {
    SCOPED_TRACE(c.name);
    g_done.clear();
    CreateDirectoryA("sub", nullptr);
    WriteWholeFileA("sub\\e.bin", c.before);
    manager().DownloadFile("e.bin", "sub\\e.bin", c.md5, 0, &RecordDone, nullptr, 1, 0, 0);
    ASSERT_EQ(g_done.size(), 1u);
    EXPECT_EQ(g_done[0].code, c.code);
    EXPECT_EQ(ReadFile("sub\\e.bin"), "");
  }
  // A missing folder is created for an empty file.
  g_done.clear();
  manager().DownloadFile("n/e.bin", "new\\deep\\e.bin", "", 0, &RecordDone, nullptr, 1, 0, 0);
  ASSERT_EQ(g_done.size(), 1u);
  EXPECT_EQ(g_done[0].code, 0);
  EXPECT_TRUE(Exists("new\\deep\\e.bin"));

  // A complete file with the right MD5 counts as done at once.
  g_done.clear();
  WriteWholeFileA("done.bin", "hello");
  manager().DownloadFile("done.bin", "done.bin", "5d41402abc4b2a76b9719d911017c592", 5, &RecordDone, nullptr,
                         2, 0, 0);
  ASSERT_EQ(g_done.size(), 1u);
  EXPECT_EQ(g_done[0].code, 0);
  EXPECT_EQ(manager().doneBytes, 5);
  EXPECT_TRUE(manager().waitingTasks.empty());
}

TEST_F(DownloadManagerTest, NewFilesAreCutIntoPiecesAndCancelKeepsTheirResumeFiles) {
  manager().activeUrls = {"https://cdn.invalid/"};
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  manager().DownloadFile("two.bin", "two.bin", md5, kPieceSize + 1, &RecordDone, nullptr, 1, 0, 0);
  manager().DownloadFile("one.bin", "one.bin", md5, kPieceSize, &RecordDone, nullptr, 2, 0, 0);
  manager().DownloadFile("plain.bin", "plain.bin", "", 3 * kPieceSize, &RecordDone, nullptr, 3, 0, 0);
  std::vector<std::pair<int32_t, int32_t>> ranges;
  for (DownloadTask* task : manager().waitingTasks) ranges.push_back({task->begin, task->end});
  const std::vector<std::pair<int32_t, int32_t>> expected = {
      {0, kPieceSize - 1}, {kPieceSize, kPieceSize}, {0, kPieceSize - 1}, {0, 3 * kPieceSize - 1}};
  EXPECT_EQ(ranges, expected);
  Json::Value root;
  std::string error;
  ASSERT_TRUE(ParseJson(ReadFile("two.bin.cfg"), root, error)) << error;
  EXPECT_EQ(root["md5"].asString(), md5);
  ASSERT_EQ(root["infoList"].size(), 2u);
  EXPECT_EQ(root["infoList"][1]["begin"].asInt(), kPieceSize);
  EXPECT_FALSE(Exists("plain.bin.cfg"));

  manager().CancelAll(kDownloadModePreDownload);
  EXPECT_TRUE(g_done.empty());
  EXPECT_TRUE(manager().waitingTasks.empty());
  EXPECT_TRUE(manager().filePieces.empty());
  EXPECT_EQ(manager().mode, kDownloadModePreDownload);
  EXPECT_TRUE(Exists("two.bin.cfg"));
  EXPECT_TRUE(Exists("one.bin.cfg"));
}

TEST_F(DownloadManagerTest, CancelWritesARunningTransfersLastBytesSilentlyAndRecordsThem) {
  manager().activeUrls = {"https://cdn.invalid/"};
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  manager().DownloadFile("run.bin", "run.bin", md5, 1000, &RecordDone, nullptr, 1, 0, 0);
  ASSERT_EQ(manager().waitingTasks.size(), 1u);
  // As the pump leaves a transfer: started, with received bytes not written yet, and a progress
  // message due on the clock.
  DownloadTask* task = manager().waitingTasks.front();
  manager().waitingTasks.clear();
  task->file = CreateFileA("run.bin", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(task->file, INVALID_HANDLE_VALUE);
  task->pending = std::string(300, 'x');
  manager().activeTasks.push_back(task);
  manager().totalBytes = 1000;
  manager().lastProgressPostTick = 0;
  manager().pumpTick = 50000;
  g_messages.clear();

  manager().CancelAll(kDownloadModeNormal);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_TRUE(g_done.empty());
  EXPECT_TRUE(manager().activeTasks.empty());
  EXPECT_EQ(manager().doneBytes, 0);
  EXPECT_EQ(ReadFile("run.bin"), std::string(300, 'x'));
  Json::Value root;
  std::string error;
  ASSERT_TRUE(ParseJson(ReadFile("run.bin.cfg"), root, error)) << error;
  ASSERT_EQ(root["infoList"].size(), 1u);
  EXPECT_EQ(root["infoList"][0]["begin"].asInt(), 300);
  EXPECT_EQ(root["infoList"][0]["end"].asInt(), 999);
}

// The engine's worker for the speed-limit test: registered as the engine thread, idle.
class WorkerThread : public base::FrameworkThread {
 public:
  WorkerThread() : base::FrameworkThread("MiscThread") {}
  ~WorkerThread() override { Stop(); }

 protected:
  void OnThreadStart() override { base::ThreadRegistry::RegisterCurrentThread(base::kThreadIdMisc); }
  void OnThreadExit() override { base::ThreadRegistry::UnregisterCurrentThread(); }
};

TEST_F(DownloadManagerTest, ASpeedLimitAskedForOnAnotherThreadIsAppliedOnTheWorker) {
  WorkerThread worker;
  ASSERT_TRUE(worker.LaunchWithLoopType(base::kMessageLoopDefault));
  EnvConfig& settings = DoreveziCore::GetInstance().envConfig;
  settings.downloadLimit = true;
  settings.downloadSpeed = 4096;
  manager().appliedSpeedLimit = -1;
  manager().speedSamples = {1.0, 2.0};

  // While the worker is busy, the caller's thread changes nothing itself.
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE applied = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD appliedOn = 0;
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [release] { WaitForSingleObject(release, 10000); });
  manager().ApplySpeedLimit(kDownloadModeNormal);
  base::ThreadRegistry::PostTask(base::kThreadIdMisc, [applied, &appliedOn] {
    appliedOn = GetCurrentThreadId();
    SetEvent(applied);
  });
  Sleep(50);
  EXPECT_EQ(manager().appliedSpeedLimit, -1);
  EXPECT_EQ(manager().speedSamples.size(), 2u);
  SetEvent(release);
  ASSERT_EQ(WaitForSingleObject(applied, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(manager().appliedSpeedLimit, 4096 * 204);  // 835584 bytes per second per transfer
  EXPECT_TRUE(manager().speedSamples.empty());
  EXPECT_EQ(appliedOn, worker.thread_id());

  // The mode that does not own the set changes nothing, not even the samples; no flag, no limit.
  auto waitForWorker = [applied] {
    ResetEvent(applied);
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [applied] { SetEvent(applied); });
    return WaitForSingleObject(applied, 10000) == WAIT_OBJECT_0;
  };
  manager().speedSamples = {1.0};
  manager().ApplySpeedLimit(kDownloadModePreDownload);
  ASSERT_TRUE(waitForWorker());
  EXPECT_EQ(manager().appliedSpeedLimit, 4096 * 204);
  EXPECT_EQ(manager().speedSamples.size(), 1u);
  settings.downloadLimit = false;
  manager().ApplySpeedLimit(kDownloadModeNormal);
  ASSERT_TRUE(waitForWorker());
  EXPECT_EQ(manager().appliedSpeedLimit, 0);
  CloseHandle(release);
  CloseHandle(applied);
}

}  // namespace
