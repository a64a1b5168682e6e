// JSON helpers, list files, and system information, registry and small converters.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cctype>

#include "core_test_util.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/sys_info.h"
#include "test_support/temp_dir.h"

namespace {

using core_test::ReadBytes;
using core_test::WriteBytes;

Json::Value Parse(const std::string& text) {
  Json::Value root;
  std::string error;
  EXPECT_TRUE(ParseJson(text, root, error)) << text << ": " << error;
  return root;
}

TEST(ParseJson, RefusesBrokenTextWithAMessageAndNeverThrows) {
  Json::Value root = Parse("{\"a\": 1}");
  EXPECT_EQ(root["a"].asInt(), 1);
  for (const std::string& bad : {std::string("{\"a\": 1"), std::string("nonsense"), std::string("{\"a\" 1}"),
                                 std::string(5000, '['), std::string("\xef\xbb\xbf{\"a\": ")}) {
    Json::Value kept = Parse("[7]");
    std::string error;
    EXPECT_FALSE(ParseJson(bad, kept, error)) << bad.substr(0, 20);
    EXPECT_FALSE(error.empty()) << bad.substr(0, 20);
    EXPECT_EQ(kept, Parse("[7]"));
  }
  std::string error;
  EXPECT_FALSE(ParseJson("", root, error));
}

TEST(WriteJsonFile, UsesTabsSortedMembersAndAsciiEscapes) {
  test_support::TempDir temp;
  const std::string path = temp.PathA() + "\\out.json";
  Json::Value value = Parse("{\"b\": 1, \"a\": [1, \"x/y\"], \"c\": \"\xe6\xb8\xb8\", \"d\": {}}");
  ASSERT_TRUE(WriteJsonFile(path, value));
  EXPECT_EQ(
      ReadBytes(temp.Path() + L"\\out.json"),
      "{\n\t\"a\" : \n\t[\n\t\t1,\n\t\t\"x/y\"\n\t],\n\t\"b\" : 1,\n\t\"c\" : \"\\u6e38\",\n\t\"d\" : {}\n}");
  EXPECT_FALSE(WriteJsonFile(temp.PathA() + "\\missing\\out.json", value));
}

TEST(FindJsonMember, SearchesArraysButNotNestedObjects) {
  Json::Value found;
  // The member named like the key holds null: the search goes on into the array.
  EXPECT_TRUE(FindJsonMember(Parse("{\"key\": null, \"list\": [1, {\"key\": \"inner\"}]}"), "key", found));
  EXPECT_EQ(found.asString(), "inner");
  EXPECT_FALSE(FindJsonMember(Parse("{\"obj\": {\"key\": 1}}"), "key", found));
  EXPECT_TRUE(FindJsonMember(Parse("{\"key\": [1, 2]}"), "key", found));
  EXPECT_TRUE(found.isArray());
  EXPECT_FALSE(FindJsonMember(Parse("[{\"key\": 1}]"), "key", found));
  EXPECT_FALSE(FindJsonMember(Parse("{\"a\": [[{\"key\": 1}]]}"), "key", found));
  // Members in byte order: "a" is searched before "key".
  EXPECT_TRUE(FindJsonMember(Parse("{\"key\": 2, \"a\": [{\"key\": 1}]}"), "key", found));
  EXPECT_EQ(found.asInt(), 1);
}

TEST(GetJsonStringList, TakesArraysOrSingleValuesAsTexts) {
  std::vector<std::string> list{"stale"};
  EXPECT_TRUE(GetJsonStringList(Parse("{\"urls\": \"https://one\"}"), "urls", list));
  EXPECT_EQ(list, std::vector<std::string>{"https://one"});
  EXPECT_TRUE(GetJsonStringList(Parse("{\"urls\": [5, true, \"t\", [1], {\"a\": 1}, null]}"), "urls", list));
  EXPECT_EQ(list, (std::vector<std::string>{"5", "true", "t", ""}));
  EXPECT_FALSE(GetJsonStringList(Parse("{\"urls\": []}"), "urls", list));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(GetJsonStringList(Parse("{\"urls\": {\"a\": 1}}"), "urls", list));
  EXPECT_FALSE(GetJsonStringList(Parse("{}"), "urls", list));
}

TEST(SplitText, CutsAtWholeSeparators) {
  using Parts = std::vector<std::string>;
  struct Case {
    std::string text, separator;
    Parts parts;
  } cases[] = {
      {"1_2_3", "_", {"1", "2", "3"}},
      {"a__b", "_", {"a", "", "b"}},
      {"a_", "_", {"a"}},
      {"_a", "_", {"", "a"}},
      {"abc", "_", {"abc"}},
      {"", "_", {}},
      {"abc", "", {}},
      {"a::b::", "::", {"a", "b"}},
      {"a:::b", "::", {"a", ":b"}},
  };
  for (const Case& c : cases) {
    Parts parts{"stale"};
    EXPECT_EQ(SplitTextA(c.text, c.separator, parts), static_cast<int>(c.parts.size())) << c.text;
    EXPECT_EQ(parts, c.parts) << c.text;
  }
  std::vector<std::wstring> wide;
  EXPECT_EQ(SplitText(L"x,,y", L",", wide), 3);
  EXPECT_EQ(wide, (std::vector<std::wstring>{L"x", L"", L"y"}));
}

TEST(StringListFile, RoundTripsInOrderAndRefusesOtherDocuments) {
  test_support::TempDir temp;
  const std::string path = temp.PathA() + "\\cef_update.txt";
  ASSERT_TRUE(WriteStringListFile(path, {"cef/sub/libcef.dll", "LomaN.ttf"}));
  EXPECT_EQ(ReadBytes(temp.Path() + L"\\cef_update.txt"), "[\n\t\"cef/sub/libcef.dll\",\n\t\"LomaN.ttf\"\n]");
  std::list<std::string> list{"kept"};
  EXPECT_TRUE(ReadStringListFile(path, list));
  EXPECT_EQ(list, (std::list<std::string>{"kept", "cef/sub/libcef.dll", "LomaN.ttf"}));

  for (const char* content : {"{\"a\": \"b\"}", "[\"a\", [\"b\"]]", "[\"a\"", ""}) {
    ASSERT_TRUE(WriteBytes(temp.Path() + L"\\other.txt", content));
    std::list<std::string> untouched{"x"};
    EXPECT_FALSE(ReadStringListFile(temp.PathA() + "\\other.txt", untouched)) << content;
    EXPECT_EQ(untouched, std::list<std::string>{"x"});
  }
  std::list<std::string> untouched;
  EXPECT_FALSE(ReadStringListFile(temp.PathA() + "\\missing.txt", untouched));
  EXPECT_FALSE(WriteStringListFile(temp.PathA() + "\\missing\\x.txt", {"a"}));
}

TEST(FormatDuration, SplitsHoursMinutesAndSeconds) {
  struct Case {
    int seconds;
    const wchar_t* text;
  } cases[] = {
      {59, L"00:00:59"}, {3600, L"01:00:00"}, {3661, L"01:01:01"}, {360000, L"100:00:00"}, {0, L"00:00:00"}};
  for (const Case& c : cases) {
    wchar_t buffer[32];
    EXPECT_EQ(FormatDuration(c.seconds, buffer, 32), static_cast<int>(wcslen(c.text)));
    EXPECT_STREQ(buffer, c.text);
  }
  wchar_t small[8];
  EXPECT_EQ(FormatDuration(59, small, 8), -1);
  EXPECT_EQ(small[7], L'\0');
}

TEST(Disk, SpaceAndDriveOfAbsoluteAndRelativePaths) {
  uint64_t total = 0, available = 0;
  EXPECT_TRUE(GetDiskSpace(L"some\\relative\\path", total, available));
  EXPECT_GT(total, 0u);
  EXPECT_LE(available, total);
  EXPECT_TRUE(GetDiskSpaceA("C:\\windows", total, available));
  EXPECT_FALSE(GetDiskSpace(L"\\\\server\\share\\dir", total, available));
  EXPECT_EQ(GetDrivePrefix(L"E:\\Games"), L"E");
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  EXPECT_EQ(GetDrivePrefix(L"relative"), std::wstring(1, current[0]));
  EXPECT_EQ(GetDrivePrefix(L"\\\\server\\share"), L"");
}

class MachineRegistry : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kKey = L"SOFTWARE\\DoreveziCoreTest";
  void SetUp() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kKey) + L"\\Present").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey); }
  static std::wstring Key(const wchar_t* sub) { return std::wstring(kKey) + L"\\" + sub; }
  static void SetRaw(const char* name, DWORD type, const std::string& bytes) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, Key(L"Present").c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
  }
};

TEST_F(MachineRegistry, WritesOnlyChangedStringsAndFallsBack) {
  EXPECT_EQ(SetMachineRegistryString(Key(L"Present"), L"", L"Run", L"C:\\x\\dorevezi.exe"), 1);
  EXPECT_EQ(SetMachineRegistryString(Key(L"Present"), L"", L"Run", L"C:\\x\\dorevezi.exe"), 0);
  EXPECT_EQ(SetMachineRegistryString(Key(L"Present"), L"", L"Run", L"C:\\y\\dorevezi.exe"), 1);
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "Run"), "C:\\y\\dorevezi.exe");
  // The first key is missing: the fallback key receives the value.
  EXPECT_EQ(SetMachineRegistryString(Key(L"Missing"), Key(L"Present"), L"Other", L"v"), 1);
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "Other"), "v");
  EXPECT_EQ(SetMachineRegistryString(Key(L"Missing"), L"", L"Other", L"v"), -1);
  EXPECT_EQ(SetMachineRegistryString(Key(L"Missing"), Key(L"AlsoMissing"), L"Other", L"v"), -1);
}

// A launcher path longer than 260 characters already stored: compared whole and not written
// again. The key lets this process read but not set values, so a write attempt would fail (-1).
TEST_F(MachineRegistry, LongValueAlreadyStoredIsNotWrittenAgain) {
  const std::wstring longPath = L"C:\\" + std::wstring(300, L'd') + L"\\dorevezi.exe";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Key(L"ReadOnly").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"Run", 0, REG_SZ, reinterpret_cast<const BYTE*>(longPath.c_str()),
                           static_cast<DWORD>((longPath.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR readOnly = nullptr;
  // Everyone: read, delete and change the permissions (for the clean-up), nothing else.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;0x70019;;;WD)", SDDL_REVISION_1,
                                                                   &readOnly, nullptr));
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
  LocalFree(readOnly);
  RegCloseKey(key);
  // The restriction holds: a different text cannot be written.
  EXPECT_EQ(SetMachineRegistryString(Key(L"ReadOnly"), L"", L"Run", longPath + L"x"), -1);
  EXPECT_EQ(SetMachineRegistryString(Key(L"ReadOnly"), L"", L"Run", longPath), 0);
  // Also as the fallback key, after a first key that does not open.
  EXPECT_EQ(SetMachineRegistryString(Key(L"Missing"), Key(L"ReadOnly"), L"Run", longPath), 0);
  // A stored text that only begins like the new one, or the new one cut short, still differs.
  EXPECT_EQ(SetMachineRegistryString(Key(L"ReadOnly"), L"", L"Run", longPath.substr(0, 200)), -1);
  // And where writing is allowed, the long text is written once.
  EXPECT_EQ(SetMachineRegistryString(Key(L"Present"), L"", L"Long", longPath), 1);
  EXPECT_EQ(SetMachineRegistryString(Key(L"Present"), L"", L"Long", longPath), 0);
}

TEST_F(MachineRegistry, ReadsStayWithinWhatTheRegistryReturned) {
  SetRaw("Unterminated", REG_BINARY, std::string(260, 'x'));
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "Unterminated"), std::string(260, 'x'));
  SetRaw("Short", REG_BINARY, "ab");
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "Short"), "ab");
  SetRaw("Zeroed", REG_SZ, std::string("cut\0rest", 8));
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "Zeroed"), "cut");
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "Absent"), "");
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Missing"), "Absent"), "");
  SetRaw("TooLong", REG_SZ, std::string(400, 'y'));
  EXPECT_EQ(ReadMachineRegistryString(Key(L"Present"), "TooLong"), "");

  SetRaw("Number", REG_DWORD, std::string("\xff\xff\xff\xff", 4));
  EXPECT_EQ(ReadMachineRegistryNumber(Key(L"Present"), "Number"), "4294967295");
  EXPECT_EQ(ReadMachineRegistryNumber(Key(L"Present"), "Absent"), "0");
  EXPECT_EQ(ReadMachineRegistryNumber(Key(L"Missing"), "Number"), "0");
}

TEST(SystemTexts, OsVersionProcessorAndUtcTime) {
  // Missing numbers read as 0 (Wine's registry may lack the major and minor values).
  const std::string os = GetOsVersionText();
  unsigned major = 0, minor = 0, build = 0;
  char end = 0;
  EXPECT_EQ(sscanf(os.c_str(), "%u.%u.%u%c", &major, &minor, &build, &end), 3) << os;
  EXPECT_GT(build, 0u) << os;
  // The processor name is the registry's text up to its terminating zero (Wine fills it in).
  const std::string cpu = GetCpuName();
  char stored[256] = {};
  DWORD storedSize = sizeof(stored);
  ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                         "ProcessorNameString", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, stored,
                         &storedSize),
            ERROR_SUCCESS);
  EXPECT_FALSE(cpu.empty());
  EXPECT_EQ(cpu, std::string(stored));

  SYSTEMTIME before;
  GetSystemTime(&before);
  std::string date = "old", time = "old";
  EXPECT_TRUE(GetUtcDateTimeTexts(date, time));
  ASSERT_EQ(date.size(), 10u);
  ASSERT_EQ(time.size(), 8u);
  char expectedDate[16];
  snprintf(expectedDate, sizeof(expectedDate), "%4d-%02d-%02d", before.wYear, before.wMonth, before.wDay);
  EXPECT_EQ(date, expectedDate);
  EXPECT_EQ(time[2], ':');
  EXPECT_EQ(time[5], ':');
  EXPECT_EQ(std::stoi(time.substr(0, 2)), before.wHour);
}

TEST(ParseVersionTriple, AcceptsOnlyThreeDecimalParts) {
  struct Case {
    const char* text;
    bool ok;
    int first, second, third;
  } cases[] = {
      {"1_2_3", true, 1, 3, 2},
      {"10077_3_5", true, 10077, 5, 3},
      {"2147483647_0_0", true, 2147483647, 0, 0},
      {"1_2", false, 0, 0, 0},
      {"1_2_3_4", false, 0, 0, 0},
      {" 7_8x_9", false, 0, 0, 0},
      {"a_1_2", false, 0, 0, 0},
      {"1__2", false, 0, 0, 0},
      {"-1_2_3", false, 0, 0, 0},
      {"+1_2_3", false, 0, 0, 0},
      {"2147483648_0_0", false, 0, 0, 0},
      {"99999999999999999999_1_2", false, 0, 0, 0},
      {"1_2_..", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    int first = 9, second = 9, third = 9;
    EXPECT_EQ(ParseVersionTriple(c.text, first, second, third), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(first, c.first) << c.text;
    EXPECT_EQ(second, c.second) << c.text;
    EXPECT_EQ(third, c.third) << c.text;
  }
}

TEST(ReadHandleToBuffer, ReadsTheFirstBytesOrNothing) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\old.bin";
  ASSERT_TRUE(WriteBytes(path, "0123456789"));
  auto open = [&] {
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  uint64_t read = 0;
  char* buffer = ReadHandleToBuffer(open(), 10, &read);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_EQ(read, 10u);
  free(buffer);
  buffer = ReadHandleToBuffer(open(), 4, nullptr);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  free(buffer);
  // Asking for more than the file holds fails; the handle is closed either way, so the
  // file can be opened without sharing at once.
  read = 99;
  EXPECT_EQ(ReadHandleToBuffer(open(), 11, &read), nullptr);
  EXPECT_EQ(read, 99u);
  HANDLE again = open();
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

}  // namespace
