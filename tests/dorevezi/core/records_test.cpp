// Save files and their records.
#include <gtest/gtest.h>

#include <functional>

#include "core_test_util.h"
#include "dorevezi/core/save_files.h"
#include "test_support/temp_dir.h"

namespace {

using core_test::ReadBytes;
using core_test::SourceFile;
using core_test::WriteBytes;

TEST(SaveFiles, PathsLieInTheSaveFolder) {
  EXPECT_EQ(SaveFilePath(kEnvConfigFileName), L".\\save\\EnvConfig.json");
  EXPECT_EQ(SaveFilePath(kDownloadLogFileName), L".\\save\\Log.json");
  EXPECT_EQ(SaveFilePath(kChannelIdFileName), L".\\save\\gid.txt");
  EXPECT_EQ(SaveFilePath(kExtraConfigFileName), L".\\save\\extra_config.txt");
  EXPECT_EQ(SaveFilePath(kGateConfigFileName), L".\\save\\setting.json");
}

// The records a first run writes: the language from the locale (3082 selects 9), the default
// install folder, every other field at its default.
TEST(SaveFiles, FirstRunRecordsMatchTheGoldenFilesByteForByte) {
  test_support::TempDir temp;
  core_test::ScopedCurrentDirectory cwd(temp.Path());
  ASSERT_TRUE(CreateDirectoryW(L"save", nullptr));
  EnvConfig config;
  config.languageType = 9;
  config.gamePath = L"C:\\Dorevezi\\Varnholt Game";
  ASSERT_TRUE(SaveEnvConfig(SaveFilePath(kEnvConfigFileName), config));
  ASSERT_TRUE(SaveDownloadLog(SaveFilePath(kDownloadLogFileName), DownloadLog()));
  EXPECT_EQ(ReadBytes(temp.Path() + L"\\save\\EnvConfig.json"),
            ReadBytes(SourceFile(L"tests/dorevezi/core/golden/EnvConfig.json")));
  EXPECT_EQ(ReadBytes(temp.Path() + L"\\save\\Log.json"),
            ReadBytes(SourceFile(L"tests/dorevezi/core/golden/Log.json")));
  EXPECT_EQ(core_test::ListFolder(temp.Path() + L"\\save"),
            (std::vector<std::wstring>{L"EnvConfig.json", L"Log.json"}));

  EnvConfig loaded;
  loaded.closeToHide = true;
  ASSERT_TRUE(LoadEnvConfig(SaveFilePath(kEnvConfigFileName), loaded));
  EXPECT_EQ(loaded.languageType, 9);
  EXPECT_EQ(loaded.gamePath, config.gamePath);
  EXPECT_FALSE(loaded.closeToHide);
  DownloadLog log;
  log.firstInstall = false;
  log.downloadSize = 5;
  ASSERT_TRUE(LoadDownloadLog(SaveFilePath(kDownloadLogFileName), log));
  EXPECT_TRUE(log.firstInstall);
  EXPECT_EQ(log.downloadSize, 0u);
}

TEST(SaveFiles, RecordsRoundTripIncludingWideAndLargeValues) {
  test_support::TempDir temp;
  const std::wstring envPath = temp.Path() + L"\\EnvConfig.json";
  EnvConfig config;
  config.languageType = 17;
  config.gamePath = L"D:\\\u6e38\u620f\\Varnholt Game";
  config.closeToHide = true;
  config.autoUpdate = false;
  config.downloadLimit = true;
  config.downloadSpeed = 512;
  config.predlcLimit = true;
  config.predlcSpeed = 0;
  config.automaticStart = true;
  ASSERT_TRUE(SaveEnvConfig(envPath, config));
  EXPECT_NE(ReadBytes(envPath).find("\"gamePath\" : \"D:\\\\\\u6e38\\u620f\\\\Varnholt Game\""),
            std::string::npos)
      << ReadBytes(envPath);
  EnvConfig loaded;
  ASSERT_TRUE(LoadEnvConfig(envPath, loaded));
  EXPECT_EQ(loaded.languageType, 17);
  EXPECT_EQ(loaded.gamePath, config.gamePath);
  EXPECT_TRUE(loaded.closeToHide && !loaded.autoUpdate && loaded.downloadLimit && loaded.predlcLimit &&
              loaded.automaticStart);
  EXPECT_EQ(loaded.downloadSpeed, 512);
  EXPECT_EQ(loaded.predlcSpeed, 0);
  EXPECT_EQ(loaded.languageCode, "en");  // not stored

  const std::wstring logPath = temp.Path() + L"\\Log.json";
  DownloadLog log;
  log.firstInstall = false;
  log.downloadSize = 18446744073709551615ull;
  log.downloadSpeed = 123456789012ull;
  log.downloadTime = 7;
  log.downloadVersion = "10077_3_5";
  ASSERT_TRUE(SaveDownloadLog(logPath, log));
  DownloadLog loadedLog;
  ASSERT_TRUE(LoadDownloadLog(logPath, loadedLog));
  EXPECT_FALSE(loadedLog.firstInstall);
  EXPECT_EQ(loadedLog.downloadSize, log.downloadSize);
  EXPECT_EQ(loadedLog.downloadSpeed, log.downloadSpeed);
  EXPECT_EQ(loadedLog.downloadTime, 7u);
  EXPECT_EQ(loadedLog.downloadVersion, "10077_3_5");
}

// Each member is read only when its value has the member's type; otherwise the field keeps
// what it held.
TEST(SaveFiles, MembersOfTheWrongTypeAreIgnoredOneByOne) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\record.json";
  struct Case {
    const char* json;
    const char* expected;  // the field afterwards, as text
    std::function<std::string(const EnvConfig&, const DownloadLog&)> field;
  };
  auto language = [](const EnvConfig& c, const DownloadLog&) { return std::to_string(c.languageType); };
  auto speed = [](const EnvConfig& c, const DownloadLog&) { return std::to_string(c.downloadSpeed); };
  auto closeToHide = [](const EnvConfig& c, const DownloadLog&) {
    return std::string(c.closeToHide ? "1" : "0");
  };
  auto gamePath = [](const EnvConfig& c, const DownloadLog&) { return core_test::Narrow(c.gamePath); };
  auto size = [](const EnvConfig&, const DownloadLog& l) { return std::to_string(l.downloadSize); };
  auto first = [](const EnvConfig&, const DownloadLog& l) { return std::string(l.firstInstall ? "1" : "0"); };
  auto version = [](const EnvConfig&, const DownloadLog& l) { return l.downloadVersion; };
  // Start values: language 5, speed 77, closeToHide 0, gamePath "old", size 42, first 1,
  // version "v0".
  const Case cases[] = {
      {"{\"languageType\": 2.0}", "2", language},
      {"{\"languageType\": \"2\"}", "5", language},
      {"{\"languageType\": 2.5}", "5", language},
      {"{\"languageType\": 4294967296}", "5", language},
      {"{\"languageType\": -3}", "-3", language},
      {"{\"languageType\": null}", "5", language},
      {"{\"downloadSpeed\": 1e3}", "1000", speed},
      {"{\"downloadSpeed\": true}", "77", speed},
      {"{\"closeToHide\": 1}", "0", closeToHide},
      {"{\"closeToHide\": true}", "1", closeToHide},
      {"{\"closeToHide\": \"true\"}", "0", closeToHide},
      {"{\"gamePath\": 5}", "old", gamePath},
      {"{\"gamePath\": [\"x\"]}", "old", gamePath},
      {"{\"gamePath\": \"\"}", "", gamePath},
      {"{\"downloadSize\": -5}", "42", size},
      {"{\"downloadSize\": \"5\"}", "42", size},
      {"{\"downloadSize\": 18446744073709551615}", "18446744073709551615", size},
      {"{\"downloadSize\": 2.5}", "42", size},
      {"{\"firstInstall\": 0}", "1", first},
      {"{\"firstInstall\": false}", "0", first},
      {"{\"downloadVersion\": 3}", "v0", version},
      {"{\"downloadVersion\": \"10100_0_0\"}", "10100_0_0", version},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteBytes(path, c.json));
    EnvConfig config;
    config.languageType = 5;
    config.downloadSpeed = 77;
    config.gamePath = L"old";
    DownloadLog log;
    log.downloadSize = 42;
    log.downloadVersion = "v0";
    EXPECT_TRUE(LoadEnvConfig(path, config)) << c.json;
    EXPECT_TRUE(LoadDownloadLog(path, log)) << c.json;
    EXPECT_EQ(c.field(config, log), c.expected) << c.json;
  }
}

TEST(SaveFiles, CorruptOrTruncatedFilesKeepTheRecordAndNeverCrash) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\EnvConfig.json";
  const std::string cases[] = {
      "",
      "{\"languageType\": 3, \"gamePath\": \"C:\\\\x",
      "{\"languageType\": 3",
      "[1, 2]",
      "42",
      "\"text\"",
      "null",
      std::string("\x00\x01\xff\xfe", 4),
      std::string(3000, '{'),
      std::string(3000, '['),
  };
  for (const std::string& content : cases) {
    ASSERT_TRUE(WriteBytes(path, content));
    EnvConfig config;
    config.languageType = 4;
    EXPECT_FALSE(LoadEnvConfig(path, config)) << content.substr(0, 30);
    EXPECT_EQ(config.languageType, 4);
    EXPECT_EQ(config.downloadSpeed, 4096);
    EXPECT_TRUE(config.gamePath.empty());
    DownloadLog log;
    log.downloadTime = 3;
    EXPECT_FALSE(LoadDownloadLog(path, log));
    EXPECT_EQ(log.downloadTime, 3u);
    GateConfig gate;
    EXPECT_FALSE(LoadGateConfig(path, gate));
    std::string type = "kept";
    EXPECT_FALSE(LoadExtraConfig(path, type));
    EXPECT_EQ(type, "kept");
  }
  EnvConfig config;
  EXPECT_FALSE(LoadEnvConfig(temp.Path() + L"\\missing.json", config));
}

TEST(SaveFiles, AFailedSaveIsReportedAndKeepsTheLastGoodFile) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\EnvConfig.json";
  EnvConfig config;
  config.languageType = 3;
  ASSERT_TRUE(SaveEnvConfig(path, config));
  const std::string good = ReadBytes(path);

  HANDLE holder =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  config.languageType = 8;
  EXPECT_FALSE(SaveEnvConfig(path, config));
  EXPECT_FALSE(SaveDownloadLog(path, DownloadLog()));
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(path), good);
  EXPECT_FALSE(SaveEnvConfig(temp.Path() + L"\\missing\\EnvConfig.json", config));
  EXPECT_EQ(core_test::ListFolder(temp.Path()), std::vector<std::wstring>{L"EnvConfig.json"});
}

TEST(ChannelId, TheLauncherCopyWinsAndBytesStayAsTheyAre) {
  test_support::TempDir temp;
  const std::wstring save = temp.Path() + L"\\save";
  const std::wstring game = temp.Path() + L"\\game";
  ASSERT_TRUE(CreateDirectoryW(save.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(game.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((game + L"\\save").c_str(), nullptr));
  std::string id = "stale";

  EXPECT_FALSE(LoadChannelId(save, game, id));
  EXPECT_EQ(id, "");

  ASSERT_TRUE(WriteBytes(game + L"\\save\\gid.txt", "game-copy"));
  EXPECT_TRUE(LoadChannelId(save, game + L"\\", id));
  EXPECT_EQ(id, "game-copy");

  ASSERT_TRUE(WriteBytes(save + L"\\gid.txt", "42\r\n"));
  EXPECT_TRUE(LoadChannelId(save, game, id));
  EXPECT_EQ(id, "42\r\n");

  // No game folder: only the launcher's copy counts.
  ASSERT_TRUE(DeleteFileW((save + L"\\gid.txt").c_str()));
  EXPECT_FALSE(LoadChannelId(save, L"", id));
  EXPECT_EQ(id, "");
}

TEST(ExtraConfig, TakesTheInstallPackageTypeWhenItIsText) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\extra_config.txt";
  std::string type = "kept";
  ASSERT_TRUE(WriteBytes(path, "{\"install_package_type\": \"full\"}"));
  EXPECT_TRUE(LoadExtraConfig(path, type));
  EXPECT_EQ(type, "full");
  ASSERT_TRUE(WriteBytes(path, "{\"install_package_type\": 3}"));
  EXPECT_TRUE(LoadExtraConfig(path, type));
  EXPECT_EQ(type, "full");
  ASSERT_TRUE(WriteBytes(path, "{}"));
  EXPECT_TRUE(LoadExtraConfig(path, type));
  EXPECT_FALSE(LoadExtraConfig(temp.Path() + L"\\missing.txt", type));
}

TEST(GateConfig, ConvertsMembersTheLibraryWayAndSkipsTheRest) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\setting.json";
  ASSERT_TRUE(WriteBytes(path,
                         "{\"GateKey\": 123, \"GateURLs\": \"https://gate\", \"QaGate\": 1,"
                         " \"DlcURLs\": [\"https://a\", 2, [\"nested\"], true], \"ActivityURL\": \"x\","
                         " \"RefreshInterval\": 12.9, \"UpdateInterval\": 100, \"TrackURL\": null,"
                         " \"DisableAutoEnterGame\": true, \"Unknown\": {}}"));
  GateConfig gate;
  gate.trackUrl = "kept";
  ASSERT_TRUE(LoadGateConfig(path, gate));
  EXPECT_EQ(gate.gateKey, "123");
  EXPECT_EQ(gate.gateUrls, std::vector<std::string>{"https://gate"});
  EXPECT_TRUE(gate.qaGate);
  EXPECT_EQ(gate.dlcUrls, (std::vector<std::string>{"https://a", "2", "true"}));
  EXPECT_EQ(gate.activityUrl, "x");
  EXPECT_EQ(gate.refreshInterval, 12);
  EXPECT_EQ(gate.updateInterval, 100);
  EXPECT_EQ(gate.trackUrl, "kept");
  EXPECT_TRUE(gate.disableAutoEnterGame);

  // Values that cannot be converted leave their fields as they were.
  ASSERT_TRUE(
      WriteBytes(path,
                 "{\"GateKey\": {\"a\": 1}, \"GateURLs\": [], \"QaGate\": \"yes\", \"DlcURLs\": {\"a\": 1},"
                 " \"RefreshInterval\": \"5\", \"UpdateInterval\": 1e20, \"TrackURL\": [\"t\"],"
                 " \"DisableAutoEnterGame\": [true]}"));
  GateConfig before;
  before.gateKey = "key";
  before.gateUrls = {"old"};
  before.dlcUrls = {"cdn"};
  before.refreshInterval = 7;
  before.updateInterval = 8;
  before.trackUrl = "track";
  GateConfig after = before;
  ASSERT_TRUE(LoadGateConfig(path, after));
  EXPECT_EQ(after.gateKey, "key");
  EXPECT_TRUE(after.gateUrls.empty());  // an empty array is an empty list: the built-in one is used
  EXPECT_FALSE(after.qaGate);
  EXPECT_EQ(after.dlcUrls, std::vector<std::string>{"cdn"});
  EXPECT_EQ(after.refreshInterval, 7);
  EXPECT_EQ(after.updateInterval, 8);
  EXPECT_EQ(after.trackUrl, "track");
  EXPECT_FALSE(after.disableAutoEnterGame);
}

}  // namespace
