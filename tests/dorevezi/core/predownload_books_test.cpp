// Pre-download bookkeeping: the version comparison, the folder a version names, the two gate
// replies, and the completeness test and purge on real folders.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/base_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/predownload_books.h"
#include "tests/dorevezi/core/core_test_util.h"
#include "tests/test_support/temp_dir.h"

namespace {

struct CompareCase {
  const char* candidate;
  const char* local;
  const char* remote;
  int expected;
};

TEST(PreDownloadBooks, ComparisonTable) {
  const CompareCase cases[] = {
      {"10078_0_0", "10077_0_0", "10077_0_0", 1},
      {"10078_0_0", "10077_0_0", "", 1},
      {"10078_0_0", "10077_0_0", "10078_0_0", 1},
      {"10078_0_0", "10077_0_0", "10079_0_0", -7},
      {"10078_0_0", "10077_0_0", "10077_5_0", -5},
      {"10077_0_0", "10077_0_0", "", -6},
      {"10077_0_0", "10077_0_0", "10077_0_0", -6},
      // The third number ranks above the second.
      {"10077_9_0", "10077_0_1", "", -6},
      {"10077_0_2", "10077_9_1", "", 1},
      {"", "10077_0_0", "x", 0},
      {"10078_0_0", "", "x", -1},
      {"10078_0", "10077_0_0", "", -2},
      {"10078_a_0", "10077_0_0", "", -2},
      {"10078_0_99999999999", "10077_0_0", "", -2},
      {"10078_0_0", "10077__0", "", -3},
      {"10078_0_0", "10077_0_0", "1_2", -4},
      {"10078_0_0", "10077_0_0", "x_1_2", -4},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(ComparePreDownloadVersion(c.candidate, c.local, c.remote), c.expected)
        << c.candidate << " / " << c.local << " / " << c.remote;
  }
}

TEST(PreDownloadBooks, OnlyVersionsNameFolders) {
  EXPECT_EQ(PreDownloadFolderOf("10078_0_0"), ".\\update\\predownload\\10078_0_0\\");
  for (const char* bad : {"..\\..\\x_1_2", "1_2_x", "", "1_2", "1_2_3_4", "../1_2_3", "1_2_3\\..", " 1_2_3"}) {
    EXPECT_EQ(PreDownloadFolderOf(bad), "") << bad;
  }
}

TEST(PreDownloadBooks, GateAddresses) {
  std::vector<std::string> dlc, pre;
  std::string error;
  // A single text is a list of one; "Others" supplies the pre-download servers.
  ASSERT_TRUE(ParseGateAddresses(R"({"DlcAddr":"https://a/","Others":"{\"PreDlcAddr\":[\"https://p1/\",\"https://p2/\"]}"})",
                                 dlc, pre, error, true));
  EXPECT_EQ(dlc, std::vector<std::string>({"https://a/"}));
  EXPECT_EQ(pre, std::vector<std::string>({"https://p1/", "https://p2/"}));
  // Without the request, the pre-download list is left as it was.
  ASSERT_TRUE(ParseGateAddresses(R"({"DlcAddr":["https://b/"]})", dlc, pre, error, false));
  EXPECT_EQ(pre.size(), 2u);
  // "Others" that is not JSON, or not text: still true, no pre-download servers.
  pre = {"stale"};
  EXPECT_TRUE(ParseGateAddresses(R"({"DlcAddr":["https://a/"],"Others":"{not json"})", dlc, pre, error, true));
  EXPECT_TRUE(pre.empty());
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(ParseGateAddresses(R"({"DlcAddr":["https://a/"],"Others":{"PreDlcAddr":"x"}})", dlc, pre, error, true));
  EXPECT_TRUE(pre.empty());
  // A "PreDlcAddr" holding an object is unreadable, not an exception.
  EXPECT_TRUE(ParseGateAddresses(R"({"DlcAddr":"a","Others":"{\"PreDlcAddr\":[{\"x\":1}]}"})", dlc, pre, error, true));
  EXPECT_TRUE(pre.empty());

  struct Bad {
    const char* reply;
    const char* error;  // nullptr: any non-empty message
  } bad[] = {
      {R"({"DlcAddr":[]})", "Get DlcAddr failed"},
      {R"({"Others":"{}"})", "Get DlcAddr failed"},
      {R"({"DlcAddr":[{"u":"x"}]})", nullptr},
      {R"({"DlcAddr":{"u":"x"}})", nullptr},
      {R"({"DlcAddr":[["x"]]})", nullptr},
      {"not json", nullptr},
      {"", nullptr},
  };
  for (const Bad& b : bad) {
    error.clear();
    EXPECT_FALSE(ParseGateAddresses(b.reply, dlc, pre, error, true)) << b.reply;
    EXPECT_TRUE(dlc.empty()) << b.reply;
    if (b.error) {
      EXPECT_EQ(error, b.error) << b.reply;
    } else {
      EXPECT_FALSE(error.empty()) << b.reply;
    }
  }
}

TEST(PreDownloadBooks, PreDownloadQueryReply) {
  std::vector<std::string> addresses;
  std::string error;
  // Only the first text of "info" is read.
  ASSERT_TRUE(ParsePreDownloadAddresses(
      R"({"info":["{\"CN_pc_addr\":[\"https://p/\"]}","{\"CN_pc_addr\":[\"https://q/\"]}"]})", addresses, error));
  EXPECT_EQ(addresses, std::vector<std::string>({"https://p/"}));
  ASSERT_TRUE(ParsePreDownloadAddresses(R"({"info":"{\"CN_pc_addr\":\"https://one/\"}"})", addresses, error));
  EXPECT_EQ(addresses, std::vector<std::string>({"https://one/"}));
  for (const char* reply : {R"({"info":[]})", R"({})", "[", R"({"info":["not json"]})",
                            R"({"info":["{\"CN_pc_addr\":[]}"]})", R"({"info":[{"CN_pc_addr":["x"]}]})",
                            R"({"info":["{\"CN_pc_addr\":[{\"a\":1}]}"]})", R"({"info":["{\"CN_pc_addr\":{}}"]})"}) {
    addresses = {"stale"};
    EXPECT_FALSE(ParsePreDownloadAddresses(reply, addresses, error)) << reply;
    EXPECT_TRUE(addresses.empty()) << reply;
  }
}

class PreDownloadFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.preDownloadFolders.clear();
    SetLocal("");
    core.SetPreDownloadVersion("");
  }
  void TearDown() override { SetUp(); }

  static void SetLocal(const std::string& version) {
    DoreveziCore& core = DoreveziCore::GetInstance();
    base::CriticalSectionGuard lock(&core.textsLock);
    core.localGameVersion = version;
  }
  std::wstring Root() const { return temp_.Path() + L"\\update\\predownload\\"; }
  void MakeFolder(const std::string& name, const std::string& file = "a.bin") {
    const std::wstring folder = Root() + std::wstring(name.begin(), name.end());
    CreateFolderPath(folder);
    core_test::WriteBytes(folder + L"\\" + std::wstring(file.begin(), file.end()), "x");
  }

  test_support::TempDir temp_;
  core_test::ScopedCurrentDirectory here_{temp_.Path()};
};

TEST_F(PreDownloadFolders, PurgeTable) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  EXPECT_EQ(core.PurgeOldPreDownloads(), 0);
  for (const char* name : {"10077_1_5", "10077_1_6", "10077_3_4", "10078_0_0", "temp"}) MakeFolder(name);
  core.preDownloadFolders = {"10077_1_5", "10077_1_6", "10077_3_4", "10078_0_0", "temp"};
  EXPECT_EQ(core.PurgeOldPreDownloads(), -1);
  SetLocal("10077_2");
  EXPECT_EQ(core.PurgeOldPreDownloads(), -2);
  SetLocal("10077_x_5");
  EXPECT_EQ(core.PurgeOldPreDownloads(), -2);
  SetLocal("10077_2_5");
  EXPECT_EQ(core.PurgeOldPreDownloads(), 2);
  EXPECT_EQ(core.preDownloadFolders, std::list<std::string>({"10077_1_6", "10078_0_0"}));
  // "temp" is dropped from the list but stays on disk.
  EXPECT_EQ(core_test::ListFolder(temp_.Path() + L"\\update\\predownload"),
            std::vector<std::wstring>({L"10077_1_6", L"10078_0_0", L"temp"}));
}

TEST_F(PreDownloadFolders, CompleteAndUnfinished) {
  DoreveziCore& core = DoreveziCore::GetInstance();
  EXPECT_EQ(core.CheckPreDownloadComplete(), -1);
  EXPECT_FALSE(core.HasUnfinishedPreDownload());
  core.SetPreDownloadVersion("10078_0_0");
  MakeFolder("10078_0_0", "tmp_predownload_version_map.txt");
  EXPECT_TRUE(core.HasUnfinishedPreDownload());
  // Not listed: not complete, whatever is on disk.
  EXPECT_EQ(core.CheckPreDownloadComplete(), 1);
  core.preDownloadFolders = {"10078_0_0"};
  const std::wstring list = Root() + L"10078_0_0\\predownload_version_map.txt";
  struct ListCase {
    const char* text;
    int expected;
  } cases[] = {
      {R"({"a.bin":{"md5":"0cc175b9c0f1b6a831c399e269772661","size":1},"version":{"md5":"10078_0_0","size":0}})", 0},
      {R"({"version":"10078_0_0","list":{"a.bin":{"md5":"0cc175b9c0f1b6a831c399e269772661","size":1}}})", 0},
      {R"({"version":"10077_0_1","list":{}})", 1},
      {R"({"version":{"md5":"10078_0_0"},"../x":{"md5":"","size":0}})", 1},
      {"{", 1},
  };
  for (const ListCase& c : cases) {
    core_test::WriteBytes(list, c.text);
    EXPECT_EQ(core.CheckPreDownloadComplete(), c.expected) << c.text;
  }
  DeleteFileW(list.c_str());
  EXPECT_EQ(core.CheckPreDownloadComplete(), 1);
  // The map of the complete list is filled, in both forms.
  core_test::WriteBytes(list, cases[1].text);
  ASSERT_EQ(core.CheckPreDownloadComplete(), 0);
  EXPECT_EQ(core.versionMaps[kLocalPreDownloadVersion].count("a.bin"), 1u);
  // A version that names no folder is never complete nor unfinished.
  core.SetPreDownloadVersion("..\\..\\x_1_2");
  core.preDownloadFolders = {"..\\..\\x_1_2"};
  EXPECT_EQ(core.CheckPreDownloadComplete(), 1);
  EXPECT_FALSE(core.HasUnfinishedPreDownload());
}

}  // namespace
