// Version maps, version texts, the apply list and the version-list tool.
#include <gtest/gtest.h>

#include "core_test_util.h"
#include "dorevezi/core/version_map.h"
#include "dorevezi/core/version_tool.h"
#include "test_support/temp_dir.h"

namespace {

using core_test::ReadBytes;
using core_test::SourceFile;
using core_test::WriteBytes;

VersionMap MapOf(std::initializer_list<std::pair<const char*, const char*>> entries) {
  VersionMap map;
  for (const auto& entry : entries) map[entry.first] = VersionMapEntry{entry.second, 1};
  return map;
}

VersionMap Parsed(const std::string& text) {
  VersionMap map;
  std::string error;
  EXPECT_TRUE(ParseVersionMap(text, map, error)) << text << ": " << error;
  return map;
}

TEST(DiffVersionMaps, FetchesMissingAndChangedFilesAndConsumesTheLocalMap) {
  VersionMap local = MapOf({{"a", "one"}, {"b", "two"}, {"version", "x"}});
  const VersionMap remote = MapOf({{"a", "one"}, {"c", "three"}, {"version", "y"}});
  VersionMap toFetch = MapOf({{"stale", "s"}});
  std::list<std::string> localOnly{"earlier"};
  DiffVersionMaps(local, remote, toFetch, localOnly);
  EXPECT_EQ(toFetch.size(), 1u);
  EXPECT_EQ(toFetch.count("c"), 1u);
  EXPECT_EQ(localOnly, (std::list<std::string>{"earlier", "b"}));
  EXPECT_EQ(local.size(), 1u);
  EXPECT_EQ(local.count("b"), 1u);
}

TEST(DiffVersionMaps, ComparesDigestsByteForByteAndIgnoresSizes) {
  VersionMap local{{"same", {"0cc175b9c0f1b6a831c399e269772661", 1}},
                   {"upper", {"0cc175b9c0f1b6a831c399e269772661", 1}}};
  VersionMap remote{{"same", {"0cc175b9c0f1b6a831c399e269772661", 999}},
                    {"upper", {"0CC175B9C0F1B6A831C399E269772661", 1}}};
  VersionMap toFetch;
  std::list<std::string> localOnly;
  DiffVersionMaps(local, remote, toFetch, localOnly);
  EXPECT_EQ(toFetch.size(), 1u);
  EXPECT_EQ(toFetch.count("upper"), 1u);
  EXPECT_TRUE(localOnly.empty());

  // Nothing installed: everything but the version entry is fetched, with the remote sizes.
  VersionMap empty;
  DiffVersionMaps(empty, Parsed("{\"a\": {\"md5\": \"m\", \"size\": 5}, \"version\": {\"md5\": \"1_0_0\"}}"),
                  toFetch, localOnly);
  ASSERT_EQ(toFetch.size(), 1u);
  EXPECT_EQ(toFetch["a"].size, 5);
  EXPECT_TRUE(localOnly.empty());
}

TEST(VersionMaps, BothFormsAndTheirVersions) {
  test_support::TempDir temp;
  const std::string listForm =
      "{\"version\": \"1.2.3\", \"list\": {\"cef/a.pak\": {\"md5\": \"d41d8cd98f00b204e9800998ecf8427e\", "
      "\"size\": 0},"
      " \"dorevezi.exe\": {\"md5\": \"900150983cd24fb0d6963f7d28e17f72\", \"size\": 3}}}";
  const std::string flatForm =
      "{\"TOLV.exe\": {\"md5\": \"m1\", \"size\": 10}, \"version\": {\"md5\": \"10077_3_5\", \"size\": 0}}";
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\list.txt", listForm));
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\flat.txt", flatForm));

  VersionMap map = MapOf({{"stale", "s"}});
  std::string error;
  ASSERT_TRUE(LoadVersionMapFile(temp.Path() + L"\\list.txt", map, error)) << error;
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map["dorevezi.exe"].md5, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(map["dorevezi.exe"].size, 3);
  EXPECT_EQ(GetMapVersion(map), "");
  std::string version;
  ReadMapFileVersion(temp.Path() + L"\\list.txt", version, "1.0.0");
  EXPECT_EQ(version, "1.2.3");

  ASSERT_TRUE(LoadVersionMapFile(temp.Path() + L"\\flat.txt", map, error)) << error;
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(GetMapVersion(map), "10077_3_5");
  ReadMapFileVersion(temp.Path() + L"\\flat.txt", version, "");
  EXPECT_EQ(version, "10077_3_5");

  // Missing file or version: the default.
  ReadMapFileVersion(temp.Path() + L"\\missing.txt", version, "1.0.0");
  EXPECT_EQ(version, "1.0.0");
  for (const char* noVersion :
       {"{\"a\": {\"md5\": \"m\"}}", "{\"version\": 3}", "{\"version\": {\"md5\": [1]}}", "not json"}) {
    ASSERT_TRUE(WriteBytes(temp.Path() + L"\\odd.txt", noVersion));
    ReadMapFileVersion(temp.Path() + L"\\odd.txt", version, "dflt");
    EXPECT_EQ(version, "dflt") << noVersion;
  }
  EXPECT_FALSE(LoadVersionMapFile(temp.Path() + L"\\missing.txt", map, error));
  EXPECT_TRUE(map.empty());
}

TEST(VersionMaps, NullListFlatEntriesAndMissingMembers) {
  VersionMap map = Parsed("{\"list\": null, \"a\": {\"md5\": \"x\", \"size\": 1}}");
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map["a"].md5, "x");
  EXPECT_EQ(map["list"].md5, "");
  map = Parsed(
      "{\"nosize\": {\"md5\": \"m\"}, \"nomd5\": {\"size\": 4}, \"real\": {\"md5\": 12, \"size\": 7.0}}");
  EXPECT_EQ(map["nosize"].size, 0);
  EXPECT_EQ(map["nomd5"].md5, "");
  EXPECT_EQ(map["nomd5"].size, 4);
  EXPECT_EQ(map["real"].md5, "12");
  EXPECT_EQ(map["real"].size, 7);
  EXPECT_EQ(Parsed("{\"big\": {\"size\": 2147483647}}")["big"].size, 2147483647);
}

TEST(VersionMaps, MalformedListsAreRejectedWholeAndLeaveTheMap) {
  const char* cases[] = {
      "",
      "[1, 2]",
      "\"text\"",
      "{\"a\": {\"md5\": \"m\"",
      "{\"list\": [1]}",
      "{\"list\": \"x\"}",
      "{\"version\": \"1_2_3\", \"a\": {\"md5\": \"m\"}}",
      "{\"a\": [\"m\", 1]}",
      "{\"a\": 5}",
      "{\"a\": {\"md5\": {\"x\": 1}}}",
      "{\"a\": {\"md5\": [\"m\"]}}",
      "{\"a\": {\"size\": -1}}",
      "{\"a\": {\"size\": 2147483648}}",
      "{\"a\": {\"size\": 1e12}}",
      "{\"a\": {\"size\": -0.5}}",
      "{\"a\": {\"size\": \"12\"}}",
      "{\"a\": {\"size\": [1]}}",
  };
  for (const char* text : cases) {
    VersionMap map = MapOf({{"kept", "k"}});
    std::string error;
    EXPECT_FALSE(ParseVersionMap(text, map, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(map.size(), 1u) << text;
    EXPECT_EQ(map.count("kept"), 1u) << text;
  }
}

TEST(VersionMaps, KeysThatAreNotSafeRelativePathsRejectTheWholeList) {
  const std::string unsafe[] = {
      "../x",
      "C:/x",
      "a//b",
      "\\x",
      "CON",
      std::string("a\x01"
                  "b"),
      "/x",
      "a/../b",
      "a\\..\\b",
      "..",
      ".",
      "a/./b",
      "x:y",
      "a/",
      "",
      "nul.txt",
      "dir/COM1",
      "Lpt9.log",
      "aux ",
      "a/b.",
      "a/b ",
      "\\\\srv\\s",
      "a<b",
      "a*b",
      "a?b",
      "a|b",
      "a\"b",
      std::string("a\x7f"),
      std::string("a\0b", 3),
      "con/x",
      "COM\xc2\xb9",
      "CONOUT$",
  };
  for (const std::string& key : unsafe) {
    EXPECT_FALSE(IsSafeRelativePath(key)) << key;
    Json::Value root(Json::objectValue);
    root["list"][key]["md5"] = "d41d8cd98f00b204e9800998ecf8427e";
    root["list"]["good/file"]["md5"] = "d41d8cd98f00b204e9800998ecf8427e";
    VersionMap map = MapOf({{"kept", "k"}});
    std::string error;
    EXPECT_FALSE(VersionMapFromJson(root, map, &error)) << key;
    EXPECT_NE(error.find("unsafe path"), std::string::npos) << error;
    EXPECT_EQ(map.count("kept"), 1u);
  }
  for (const char* key :
       {"cef/sub/file", "version", "TOLV_Data/Resources/unity default resources", "CONFIG.txt", "COM10",
        "a.b/c", ".hidden", "...x", "dir\\file", "\xe6\xb8\xb8/\xe6\x88\x8f.bin"}) {
    EXPECT_TRUE(IsSafeRelativePath(key)) << key;
  }
  // Through the text parser too: the message names the key.
  VersionMap map;
  std::string error;
  EXPECT_FALSE(
      ParseVersionMap("{\"list\": {\"../../evil.dll\": {\"md5\": \"m\", \"size\": 1}}}", map, error));
  EXPECT_NE(error.find("../../evil.dll"), std::string::npos) << error;
  EXPECT_TRUE(map.empty());
}

TEST(VersionMaps, IsJsonTextAndResetVersionMap) {
  std::string error;
  EXPECT_TRUE(IsJsonText("{\"a\": 1}", 8, error));
  EXPECT_FALSE(IsJsonText("{\"a\": 1}", 0, error));
  EXPECT_FALSE(IsJsonText("<html>", 6, error));
  EXPECT_FALSE(error.empty());

  VersionMapTable table;
  for (const char* key : kVersionMapKeys) ResetVersionMap(table, key);
  EXPECT_EQ(table.size(), 12u);
  table[kLocalGameVersion]["a"].md5 = "x";
  VersionMap& reset = ResetVersionMap(table, kLocalGameVersion);
  EXPECT_TRUE(reset.empty());
  EXPECT_EQ(&reset, &table[kLocalGameVersion]);
  EXPECT_STREQ(kVersionMapKeys[0], "_dorevezi_patch_version_");
  EXPECT_STREQ(kVersionMapKeys[11], "_update_predownload_version_");
}

TEST(FormatDisplayVersion, GroupsTheFirstPartAndSwapsTheOthers) {
  struct Case {
    const char* internal;
    const char* display;
  } cases[] = {
      {"10077_3_5", "1.0.77.5.3"},
      {"1_2_3", "0.0.1.3.2"},
      {"10100_0_0", "1.1.0.0.0"},
      {"2000105_1_0", "2.0.1.5.0.1"},
      {"1.2", "1.2"},
      {"", ""},
      {"x_1_2", "x_1_2"},
      {"99999999999_1_2", "99999999999_1_2"},
      {"1_2_3_4", "1_2_3_4"},
  };
  for (const Case& c : cases) {
    std::string display = "stale";
    FormatDisplayVersion(c.internal, display);
    EXPECT_EQ(display, c.display) << c.internal;
  }
}

TEST(ApplyList, RoundTripsAndIsNeverWrittenEmpty) {
  test_support::TempDir temp;
  const std::string path = temp.PathA() + "\\apply_list.txt";
  ApplyList list{"10077_3_5", {"TOLV_Data/a.bin", "TOLV.exe"}};
  ASSERT_TRUE(WriteApplyList(path, list));
  EXPECT_EQ(ReadBytes(temp.Path() + L"\\apply_list.txt"),
            "{\n\t\"fileList\" : \n\t[\n\t\t\"TOLV_Data/a.bin\",\n\t\t\"TOLV.exe\"\n\t],\n\t\"version\" : "
            "\"10077_3_5\"\n}");
  ApplyList read;
  ASSERT_TRUE(ReadApplyList(path, read));
  EXPECT_EQ(read.version, "10077_3_5");
  EXPECT_EQ(read.fileList, list.fileList);

  // An empty list or version writes nothing: the earlier file remains.
  EXPECT_TRUE(WriteApplyList(path, ApplyList{"10100_0_0", {}}));
  EXPECT_TRUE(WriteApplyList(path, ApplyList{"", {"x"}}));
  ASSERT_TRUE(ReadApplyList(path, read));
  EXPECT_EQ(read.version, "10077_3_5");
  EXPECT_FALSE(WriteApplyList(temp.PathA() + "\\missing\\apply_list.txt", list));

  const std::wstring odd = temp.Path() + L"\\odd.txt";
  const std::string oddA = temp.PathA() + "\\odd.txt";
  ApplyList out{"old", {"kept"}};
  ASSERT_TRUE(WriteBytes(odd, "{\"version\": 5, \"fileList\": []}"));
  EXPECT_FALSE(ReadApplyList(oddA, out));
  EXPECT_EQ(out.version, "old");
  ASSERT_TRUE(WriteBytes(odd, "{\"version\": \"new\", \"fileList\": \"x\"}"));
  EXPECT_FALSE(ReadApplyList(oddA, out));
  EXPECT_EQ(out.version, "new");
  EXPECT_EQ(out.fileList, std::list<std::string>{"kept"});
  ASSERT_TRUE(WriteBytes(odd, "{\"version\": \"v\", \"fileList\": [\"a\", {\"b\": 1}]}"));
  EXPECT_FALSE(ReadApplyList(oddA, out));
  EXPECT_EQ(out.fileList, std::list<std::string>{"kept"});
  ASSERT_TRUE(WriteBytes(odd, "[\"version\"]"));
  EXPECT_FALSE(ReadApplyList(oddA, out));
  EXPECT_FALSE(ReadApplyList(temp.PathA() + "\\missing.txt", out));
}

// The launcher's folder as the tool finds it: the executable, the skin archive, three of the
// four fonts and a browser runtime with a sub-folder. Digests from md5sum of the same bytes.
class VersionTool : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring root = temp_.Path();
    ASSERT_TRUE(CreateDirectoryW((root + L"\\cef").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((root + L"\\cef\\sub").c_str(), nullptr));
    std::string pattern;
    for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) pattern += static_cast<char>((i * 7 + 3) % 251);
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"dorevezi.exe", "abc"},
        {L"resources.zip", ""},
        {L"SourceHanSansCNRegular.ttf", "font-regular"},
        {L"SourceHanSansCNBold.ttf", "font-bold"},
        {L"LomaN.ttf", "loma-normal"},
        {L"cef\\sub\\file", "cef-sub-file"},
        {L"cef\\sub\\big.bin", pattern},
        {L"cef\\top.pak", "cef-top"},
        {L"unlisted.txt", "not part of the launcher"},
    };
    for (const auto& file : files) ASSERT_TRUE(WriteBytes(root + L"\\" + file.first, file.second));
  }
  std::string Output() const { return ReadBytes(temp_.Path() + L"\\dorevezi_version_map.txt"); }

  test_support::TempDir temp_;
};

TEST_F(VersionTool, WritesTheLauncherListWithMd5sumDigests) {
  core_test::ScopedCurrentDirectory cwd(temp_.Path());
  ASSERT_TRUE(MakeDoreveziVersionMap(L"1.2.3"));
  const std::string first = Output();
  EXPECT_EQ(first, ReadBytes(SourceFile(L"tests/dorevezi/core/golden/dorevezi_version_map.txt")));

  // Byte-identical on a second run; the written list reads back as a version map.
  ASSERT_TRUE(MakeDoreveziVersionMap(L"1.2.3"));
  EXPECT_EQ(Output(), first);
  VersionMap map;
  std::string error;
  ASSERT_TRUE(ParseVersionMap(first, map, error)) << error;
  EXPECT_EQ(map.size(), 8u);
  EXPECT_EQ(map["cef/sub/big.bin"].size, 3 * 1024 * 1024 + 17);
  EXPECT_EQ(map.count("LomaB.ttf"), 0u);
  std::string version;
  ReadMapFileVersion(L"dorevezi_version_map.txt", version, "");
  EXPECT_EQ(version, "1.2.3");
}

TEST_F(VersionTool, EmptyAndNonAsciiVersions) {
  core_test::ScopedCurrentDirectory cwd(temp_.Path());
  ASSERT_TRUE(MakeDoreveziVersionMap(L""));
  EXPECT_NE(Output().find("\t\"version\" : \"1.0.0\"\n}"), std::string::npos);
  ASSERT_TRUE(MakeDoreveziVersionMap(L"2.0-\u00e9"));
  EXPECT_NE(Output().find("\t\"version\" : \"2.0-\\u00e9\"\n}"), std::string::npos);
}

TEST_F(VersionTool, WritesTheDependenceList) {
  core_test::ScopedCurrentDirectory cwd(temp_.Path());
  ASSERT_TRUE(CreateDirectoryW(L"dependence", nullptr));
  ASSERT_TRUE(CreateDirectoryW(L"dependence\\b", nullptr));
  ASSERT_TRUE(WriteBytes(L"dependence\\b\\dep.bin", "dep-b"));
  ASSERT_TRUE(MakeDependenceVersionMap(L"7"));
  EXPECT_EQ(
      ReadBytes(temp_.Path() + L"\\dependence_version_map.txt"),
      "{\n\t\"list\" : \n\t{\n\t\t\"dependence/b/dep.bin\" : \n\t\t{\n\t\t\t\"md5\" : "
      "\"f10c60e3f03fe77210b56f2493102787\",\n\t\t\t\"size\" : 5\n\t\t}\n\t},\n\t\"version\" : \"7\"\n}");
}

TEST_F(VersionTool, AFailedWriteIsReportedAndKeepsTheEarlierList) {
  core_test::ScopedCurrentDirectory cwd(temp_.Path());
  ASSERT_TRUE(WriteBytes(L"dorevezi_version_map.txt", "earlier"));
  HANDLE holder = CreateFileW(L"dorevezi_version_map.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(MakeDoreveziVersionMap(L"1.2.3"));
  CloseHandle(holder);
  EXPECT_EQ(Output(), "earlier");
}

}  // namespace
