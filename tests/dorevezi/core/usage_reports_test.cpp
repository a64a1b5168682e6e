// The usage records, the attribution form, the link configuration and the addresses links may open.

#include <gtest/gtest.h>
#include <json/json.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/base_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/link_config.h"
#include "dorevezi/core/links.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/predownload_books.h"
#include "dorevezi/core/usage_reports.h"
#include "dorevezi/update/download_manager.h"

namespace {

ReportValues Values() {
  ReportValues v;
  v.deviceId = "HOST-7421866";
  v.machineGuid = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";
  v.installPackageType = "full";
  v.channelId = "1001";
  v.languageCode = "zh_CN";
  v.publicIp = "203.0.113.9";
  v.localGameVersion = "10077_0_1";
  v.remoteGameVersion = "10077_0_2";
  v.downloadGameVersion = "10077_0_2";
  v.date = "2026-12-11";
  v.time = "02:03:04";
  v.unixSeconds = 1796954584;
  v.cpuName = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
  v.osVersion = "10.0.19045";
  v.country = "CN";
  v.hasCountry = true;
  v.gamePath = "C:\\Games\\Varnholt Game";
  v.launcherFolder = "C:\\Dorevezi\\";
  v.productName = "Windows 10 Pro";
  v.downloadSpeedSetting = 4096;
  v.lowestSpeed = kLowestSpeedReset;
  v.highestSpeed = 3 << 20;
  v.leftCapacity = "12.500";
  return v;
}

Json::Value Parse(const std::string& text) {
  Json::Value root;
  std::string error;
  EXPECT_TRUE(ParseJson(text, root, error)) << text;
  return root;
}

std::vector<std::string> Names(const Json::Value& record) {
  return record.getMemberNames();
}

// Percent-decoding of one form part.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> FormFields(const std::string& query) {
  std::vector<std::pair<std::string, std::string>> fields;
  std::vector<std::string> parts;
  SplitTextA(query, "&", parts);
  for (const std::string& part : parts) {
    const std::string::size_type at = part.find('=');
    EXPECT_NE(at, std::string::npos) << part;
    fields.emplace_back(Unescape(part.substr(0, at)), Unescape(part.substr(at + 1)));
  }
  return fields;
}

}  // namespace

TEST(UsageRecords, UiClickIsOneSortedLineWithTheActionLowerCased) {
  const std::string text = BuildUiClickRecord(Values(), "Click_Button", "InStall");
  EXPECT_EQ(text,
            "{\"action\":\"install\",\"event_date\":\"2026-12-11\",\"event_time\":\"2026-12-11 02:03:04\","
            "\"game_id\":\"10043\",\"install_package_type\":\"full\",\"log_type\":\"qzrolepcstarteruiclick\","
            "\"pc_id\":\"HOST-7421866\",\"uitype\":\"Click_Button\"}");
}

TEST(UsageRecords, DetailCarriesTheJobMembersOnlyForPauseAndFinishes) {
  const std::vector<std::string> without = {
      "action_id", "channel", "country", "cpu", "download_game_version", "event_date", "event_time", "game_id",
      "game_version", "idfa", "install_package_type", "ip", "language", "log_type", "machine_guid", "pkg", "system_type",
      "system_ver"};
  for (const char* id : {"15", "17", "22"}) {
    const Json::Value record = Parse(BuildDoreveziDetailRecord(Values(), id, "1.500", "2.000", "37"));
    EXPECT_EQ(Names(record).size(), without.size() + 6) << id;
    EXPECT_EQ(record["speed"].asString(), "1.500");
    EXPECT_EQ(record["download_time"].asString(), "37");
    EXPECT_EQ(record["lowest_speed"].asString(), "95367.430");
    EXPECT_EQ(record["highest_speed"].asString(), "3.000");
  }
  for (const char* id : {"16", "150", "5", "23", "13"}) {
    const Json::Value record = Parse(BuildDoreveziDetailRecord(Values(), id, "1.500", "2.000", "37"));
    EXPECT_EQ(Names(record), without) << id;
    EXPECT_EQ(record["action_id"].asString(), id);
  }
  const Json::Value record = Parse(BuildDoreveziDetailRecord(Values(), "13", "0", "0", "0"));
  EXPECT_EQ(record["idfa"], record["machine_guid"]);
  EXPECT_EQ(record["pkg"].asString(), "com.quorilgames.zun.pc.cn");
  EXPECT_EQ(record["download_game_version"].asString(), "10077_0_2");
  ReportValues noCountry = Values();
  noCountry.hasCountry = false;
  EXPECT_FALSE(Parse(BuildDoreveziDetailRecord(noCountry, "13", "0", "0", "0")).isMember("country"));
}

TEST(UsageRecords, AttributionFormKeepsEveryValueIntactAndOrdered) {
  ReportValues values = Values();
  values.channelId = "a&b=c d";
  values.cpuName = "CPU @ 3 GHz & more=yes";
  const auto fields = FormFields(BuildAttributionQuery(values, "update_game_finish", "1.5&x", "2=2", "3 3"));
  std::vector<std::string> names;
  for (const auto& field : fields) names.push_back(field.first);
  EXPECT_EQ(names, (std::vector<std::string>{"activity_kind", "install_package_type", "uuid", "gid", "app_version",
                                             "app_id", "app_name", "package_name", "created_at", "store", "game_id",
                                             "ip_address", "language", "os_version", "event_name", "event_value1",
                                             "event_value2", "event_value3", "cpu_type"}));
  const std::map<std::string, std::string> byName(fields.begin(), fields.end());
  EXPECT_EQ(byName.at("gid"), "a&b=c d");
  EXPECT_EQ(byName.at("cpu_type"), "CPU @ 3 GHz & more=yes");
  EXPECT_EQ(byName.at("event_value1"), "1.5&x");
  EXPECT_EQ(byName.at("event_value2"), "2=2");
  EXPECT_EQ(byName.at("event_value3"), "3 3");
  EXPECT_EQ(byName.at("game_id"), "_ZUN_GAME_CN");
  EXPECT_EQ(byName.at("created_at"), "1796954584");
  EXPECT_EQ(byName.at("activity_kind"), "pc_starter");

  // The event values go only with a pause and the two finishes.
  for (const char* name : {"apply_update_game_success", "click_launch_start_open", "click_launch_play_game"}) {
    for (const auto& field : FormFields(BuildAttributionQuery(Values(), name, "1", "2", "3"))) {
      EXPECT_NE(field.first.substr(0, 11), "event_value") << name;
    }
  }
  for (const char* name : {"click_launch_pause_game", "download_game_finish"}) {
    EXPECT_EQ(FormFields(BuildAttributionQuery(Values(), name, "1", "2", "3")).size(), 19u) << name;
  }
}

TEST(UsageRecords, EventRecordWritesRawUtf8AndDecidesIfInstallPlay) {
  ReportValues values = Values();
  values.gamePath = "D:\\\xe6\xb8\xb8\xe6\x88\x8f \xe5\xae\x89\xe8\xa3\x85";  // D:\游戏 安装
  const std::string text = BuildDoreveziEventRecord(values, "", "", "", "DONE", "");
  EXPECT_NE(text.find("\"install_game_path\":\"D:\\\\\xe6\xb8\xb8\xe6\x88\x8f \xe5\xae\x89\xe8\xa3\x85\""),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("\\u"), std::string::npos);
  const Json::Value record = Parse(text);
  EXPECT_EQ(record["action_type"].asString(), "done");
  EXPECT_EQ(record["limit_speed"].asString(), "4096");
  EXPECT_EQ(record["left_capacity"].asString(), "12.500");
  EXPECT_EQ(record["download_game_version"].asString(), "10077_0_2");
  EXPECT_FALSE(record.isMember("if_install_play"));

  struct Case {
    const char* step;
    const char* printInfo;
    const char* preDownload;
    int comparison;
    bool running;
    const char* play;  // null: no member
    const char* info;
  };
  const Case cases[] = {
      {"play", "rungame", "10077_0_3", 1, false, nullptr, "rungame"},
      {"pre_install", "rungame", "", 1, true, "-1", ""},
      {"pre_install", "", "", 1, true, "-1", ""},
      {"PRE_INSTALL", "rungame", "10077_0_3", 1, false, "1", ""},
      {"pre_install", "", "10077_0_3", 1, true, "1", ""},
      {"pre_install", "", "10077_0_3", 1, false, "0", ""},
      {"pre_install", "RunGame", "10077_0_3", 1, false, "0", "RunGame"},
      {"pre_install", "rungame", "10077_0_3", -6, true, "-1", ""},
  };
  for (const Case& c : cases) {
    ReportValues v = Values();
    v.preDownloadVersion = c.preDownload;
    v.preDownloadComparison = c.comparison;
    v.gameRunning = c.running;
    const Json::Value r = Parse(BuildDoreveziEventRecord(v, c.printInfo, "", "", "", c.step));
    EXPECT_EQ(r.isMember("if_install_play"), c.play != nullptr) << c.step << " " << c.printInfo;
    if (c.play) {
      EXPECT_EQ(r["if_install_play"].asString(), c.play) << c.step << " " << c.preDownload;
    }
    EXPECT_EQ(r["print_info"].asString(), c.info);
    EXPECT_EQ(r["step"].asString(), c.step[0] == 'P' ? "pre_install" : c.step);
  }
}

TEST(UsageRecords, SettingsRecordLeavesOutUnchangedTexts) {
  const Json::Value onlySpeed = Parse(BuildSettingsRecord(Values(), "", "", 2048, 0));
  EXPECT_FALSE(onlySpeed.isMember("if_autostart"));
  EXPECT_FALSE(onlySpeed.isMember("close_set"));
  EXPECT_EQ(onlySpeed["install_speed_limit"].asString(), "2048");
  EXPECT_EQ(onlySpeed["pre_install_speed_limit"].asString(), "0");
  EXPECT_EQ(onlySpeed["log_type"].asString(), "qzrolepcstartersetting");
  const Json::Value both = Parse(BuildSettingsRecord(Values(), "1", "2", 0, 0));
  EXPECT_EQ(both["if_autostart"].asString(), "1");
  EXPECT_EQ(both["close_set"].asString(), "2");
  EXPECT_EQ(Names(both).size(), 12u);
}

// The values a record is composed from come from the core's own checks: the game-client probe and
// the pre-download order, with nothing installed beforehand.
TEST(UsageRecords, GatheredValuesUseTheCoresGameCheckAndPreDownloadOrder) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  const VersionTexts kept = core.GetVersionTexts();
  const std::string keptPreDownload = core.GetPreDownloadVersion();
  {
    base::CriticalSectionGuard lock(&core.textsLock);
    core.localGameVersion = "10077_0_1";
    core.remoteGameVersion = "10077_0_1";
  }
  const struct {
    const char* candidate;
    int comparison;
    const char* play;
  } cases[] = {
      {"10077_0_2", kPreDownloadUsable, "0"},
      {"10077_5_1", kPreDownloadUsable, "0"},  // the third part ranks above the second
      {"10077_9_0", kPreDownloadNotNewer, "-1"},
      {"10077_0_", kPreDownloadBadCandidate, "-1"},
  };
  for (const auto& c : cases) {
    core.SetPreDownloadVersion(c.candidate);
    const ReportValues values = GatherReportValues();
    EXPECT_EQ(values.preDownloadComparison, c.comparison) << c.candidate;
    EXPECT_FALSE(values.gameRunning);
    const Json::Value record = Parse(BuildDoreveziEventRecord(values, "", "", "", "", "pre_install"));
    EXPECT_EQ(record["if_install_play"].asString(), c.play) << c.candidate;
  }
  // The client holds its instance mutex: the record says the game plays.
  core.SetPreDownloadVersion("10077_0_2");
  HANDLE client = CreateMutexW(nullptr, FALSE, kGameInstanceMutex);
  ASSERT_NE(client, nullptr);
  const ReportValues running = GatherReportValues();
  CloseHandle(client);
  EXPECT_TRUE(running.gameRunning);
  EXPECT_EQ(
      Parse(BuildDoreveziEventRecord(running, "", "", "", "", "pre_install"))["if_install_play"].asString(),
      "1");
  EXPECT_FALSE(GatherReportValues().gameRunning);

  core.SetPreDownloadVersion(keptPreDownload);
  base::CriticalSectionGuard lock(&core.textsLock);
  core.localGameVersion = kept.localGameVersion;
  core.remoteGameVersion = kept.remoteGameVersion;
}

TEST(UsageRecords, SpeedsInMegabytesPerSecond) {
  EXPECT_EQ(FormatReportSpeed(kLowestSpeedReset), "95367.430");
  EXPECT_EQ(FormatReportSpeed(0), "0.000");
}

// --- Link configuration

namespace {

const char kConfig[] = R"({
  "OverwriteStrings": [{"key": "STRING_A", "value": "\u65b0"}, {"key": "STRING_B", "value": 7}, "x"],
  "Titles": {"en": {"title_main": "Main", "title_sub": "Sub"}},
  "Privacy": {"zh_CN": "https://example.com/privacy-cn", "en": "https://example.com/privacy"},
  "Service": {"en": "https://example.com/service"},
  "Forum": {"en": [
    {"name": "Discord", "url": "https://discord.example/1", "NormalImage": "d.png", "HotImage": "d_h.png",
     "Tooltips": "STRING_DISCORD"},
    {"name": "NoImage", "url": "https://x.example/", "HotImage": "n_h.png"},
    {"name": "Discord", "url": "https://discord.example/2", "NormalImage": "d2.png", "HotImage": "d2_h.png"},
    {"name": "Bare", "NormalImage": "b.png", "HotImage": "b_h.png"}
  ]},
  "FAQ": {"NormalImage": "faq.png", "HotImage": "faq_h.png", "en": {"url": "https://faq.example/", "Tooltips": "T"}}
})";

}  // namespace

TEST(LinkConfiguration, ReadsTheLanguageOrEnglishSections) {
  LinkConfiguration config;
  ASSERT_TRUE(ParseLinkConfiguration(kConfig, "zh_CN", config));
  EXPECT_EQ(config.titles.at("title_main"), L"Main");
  EXPECT_EQ(config.titles.at("title_sub"), L"Sub");
  EXPECT_EQ(config.links.at("Privacy"), "https://example.com/privacy-cn");
  EXPECT_EQ(config.links.at("Service"), "https://example.com/service");
  ASSERT_EQ(config.overrides.size(), 1u);
  EXPECT_EQ(config.overrides[0].first, L"STRING_A");
  EXPECT_EQ(config.overrides[0].second, L"\u65b0");
  // Two buttons for the two "Discord" elements, one link holding the second URL; no button for the
  // element without a normal image; a missing url is not the previous element's.
  std::vector<std::string> names;
  for (const JumpLink& link : config.jumpLinks) names.push_back(link.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Forum_Discord", "Forum_Discord", "Forum_Bare", "FAQ"}));
  EXPECT_EQ(config.links.at("Forum_Discord"), "https://discord.example/2");
  EXPECT_EQ(config.links.count("Forum_NoImage"), 0u);
  EXPECT_EQ(config.links.at("Forum_Bare"), "");
  EXPECT_EQ(config.jumpLinks[0].tooltips, "STRING_DISCORD");
  EXPECT_EQ(config.jumpLinks[1].tooltips, "");
  EXPECT_EQ(config.jumpLinks.back().normalImage, "faq.png");
  EXPECT_EQ(config.jumpLinks.back().tooltips, "T");
  EXPECT_EQ(config.links.at("FAQ"), "https://faq.example/");
}

TEST(LinkConfiguration, RefusesWhatItCannotReadAndKeepsThePrevious) {
  LinkConfiguration config;
  config.links["Privacy"] = "kept";
  for (const char* text : {"", "[1, 2]", "\"text\"", "{\"Titles\": {\"en\": \"not an object\"}}", "{\"a\": ",
                           "{\"Titles\": {\"zh_CN\": 5, \"en\": {}}}"}) {
    EXPECT_FALSE(ParseLinkConfiguration(text, "zh_CN", config)) << text;
    EXPECT_EQ(config.links.at("Privacy"), "kept");
  }
  ASSERT_TRUE(ParseLinkConfiguration("{\"FAQ\": {\"NormalImage\": \"a\", \"en\": {\"url\": \"u\"}}}", "zh_CN", config));
  EXPECT_TRUE(config.links.empty());
  EXPECT_TRUE(config.jumpLinks.empty());
}

TEST(Links, OnlyWebAddressesOpen) {
  const std::pair<const char*, bool> cases[] = {
      {"https://example.com/forum?a=1", true},
      {"http://example.com", true},
      {"HTTPS://EXAMPLE.COM/", true},
      {"https://", false},
      {"https:///etc", false},
      {"file:///C:/Windows/System32/cmd.exe", false},
      {"C:\\Windows\\System32\\cmd.exe", false},
      {"cmd.exe", false},
      {"javascript:alert(1)", false},
      {"ftp://example.com/", false},
      {"https://example.com/\r\nx", false},
      {" https://example.com/", false},
      {"", false},
      // What would end the address's argument in the browser's command, or reach a command processor.
      {"https://example.com/\" --user-data-dir=C:\\x", false},
      {"https://example.com/a b", false},
      {"https://example.com/?q=<x>", false},
      {"https://example.com/?q=a>b", false},
      {"https://example.com/^&calc", false},
      {"https://example.com/a|b", false},
      {"https://example.com/\t", false},
      {"https://example.com/?q=a%20b&r=%22", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOpenableWebAddress(c.first), c.second) << c.first;
}
