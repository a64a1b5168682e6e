// The language table: the same bytes through the file and the memory loader, overrides, the
// empty table, look-ups from a second thread while the table is reloaded, and texts filled with
// their one argument.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "test_support/temp_dir.h"
#include "ui/resources/language_table.h"

namespace {

using ui::LanguageTable;

// A movable global block holding exactly these bytes (no terminator), as the archive reader
// returns it.
HGLOBAL BlockOf(const std::string& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  void* data = GlobalLock(block);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

const char kLanguageFile[] =
    "\xEF\xBB\xBFSTRING_BOM = behind the mark\r\n"
    "; comment line\n"
    "STRING_PLAIN=VALUE\n"
    "  STRING_PADDED  =  padded value  \r\n"
    "\tSTRING_TABS\t=\tTabbed\t\n"
    "STRING_EMPTY = \n"
    "STRING_TWO = a = b\n"
    "==STRING_EQUALS==text\n"
    ";STRING_COMMENTED = c\n"
    "STRING_SEMI;COLON = c\n"
    "STRING_TEXT_SEMI = a;b\n"
    "STRING_REPEATED = first\n"
    "STRING_REPEATED = second\r\n"
    "STRING_BREAKS = one\\ntwo\\r\\nthree\n"
    "STRING_UTF8 = \xE7\xAA\x97\xE5\x8F\xA3 %ls\n"
    "no equals sign here\n"
    "\n"
    "   \n"
    "STRING_LAST = no final newline";

struct Expected {
  const wchar_t* key;
  const wchar_t* text;
};

const Expected kExpected[] = {
    {L"STRING_BOM", L""},
    {L"\xFEFFSTRING_BOM", L"behind the mark"},
    {L"STRING_PLAIN", L"VALUE"},
    {L"STRING_PADDED", L"padded value"},
    {L"STRING_TABS", L"Tabbed"},
    {L"STRING_EMPTY", L""},
    {L"STRING_TWO", L""},
    {L"STRING_EQUALS", L"text"},
    {L";STRING_COMMENTED", L""},
    {L"STRING_COMMENTED", L""},
    {L"STRING_SEMI;COLON", L""},
    {L"STRING_TEXT_SEMI", L"a;b"},
    {L"STRING_REPEATED", L"second"},
    {L"STRING_BREAKS", L"one\ntwo\r\nthree"},
    {L"STRING_UTF8", L"\x7A97\x53E3 %ls"},
    {L"STRING_LAST", L"no final newline"},
    {L"", L""},
    {L"STRING_MISSING", L""},
};

void ExpectTable(const char* loader) {
  LanguageTable* table = LanguageTable::Instance();
  for (const Expected& e : kExpected) {
    EXPECT_EQ(table->Lookup(e.key), e.text) << loader << ": " << std::string(e.key, e.key + wcslen(e.key));
  }
  EXPECT_EQ(table->LookupUtf8("STRING_UTF8"), "\xE7\xAA\x97\xE5\x8F\xA3 %ls");
  EXPECT_EQ(table->LookupUtf8("STRING_BREAKS"), "one\ntwo\r\nthree");
  EXPECT_EQ(table->LookupUtf8("STRING_MISSING"), "");
  EXPECT_EQ(table->LookupUtf8(""), "");
}

TEST(LanguageTable, FileAndMemoryLoadersAgreeOnOneTable) {
  test_support::TempDir dir;
  const std::wstring path = dir.Path() + L"\\zh_CN.ini";
  WriteBytes(path, kLanguageFile);
  LanguageTable* table = LanguageTable::Instance();

  ASSERT_TRUE(table->LoadFile(path));
  ExpectTable("LoadFile");

  table->Clear();
  HGLOBAL block = BlockOf(kLanguageFile);
  ASSERT_TRUE(table->LoadFromMemory(block));
  ExpectTable("LoadFromMemory");
  // The block stays the caller's and is unlocked again.
  EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
  GlobalFree(block);
}

TEST(LanguageTable, MemoryLoaderEndsLinesAtNulAndReadsNoFurtherThanTheBlock) {
  LanguageTable* table = LanguageTable::Instance();
  const char raw[] = "STRING_A = one\0STRING_B = two\0\0STRING_C = three";
  const std::string bytes(raw, sizeof(raw) - 1);
  HGLOBAL block = BlockOf(bytes);
  ASSERT_TRUE(table->LoadFromMemory(block));
  GlobalFree(block);
  EXPECT_EQ(table->Lookup(L"STRING_A"), L"one");
  EXPECT_EQ(table->Lookup(L"STRING_B"), L"two");
  EXPECT_EQ(table->Lookup(L"STRING_C"), L"three");
  // A null block and an empty one leave an empty table.
  EXPECT_TRUE(table->LoadFromMemory(nullptr));
  EXPECT_EQ(table->Lookup(L"STRING_A"), L"");
}

TEST(LanguageTable, OverridesOnlyReplaceDefinedKeysAndDieWithTheNextLoad) {
  LanguageTable* table = LanguageTable::Instance();
  HGLOBAL block = BlockOf("STRING_TITLE = Title\nSTRING_OTHER = Other\n");
  ASSERT_TRUE(table->LoadFromMemory(block));
  table->SetOverride(L"STRING_TITLE", L"Channel title\\n2");
  table->SetOverride(L"STRING_UNDEFINED", L"never shown");
  EXPECT_EQ(table->Lookup(L"STRING_TITLE"), L"Channel title\n2");
  EXPECT_EQ(table->LookupUtf8("STRING_TITLE"), "Channel title\n2");
  EXPECT_EQ(table->Lookup(L"STRING_OTHER"), L"Other");
  EXPECT_EQ(table->Lookup(L"STRING_UNDEFINED"), L"");
  ASSERT_TRUE(table->LoadFromMemory(block));
  EXPECT_EQ(table->Lookup(L"STRING_TITLE"), L"Title");
  GlobalFree(block);
}

TEST(LanguageTable, UnreadableFileAndEmptyListsLeaveAnEmptyTable) {
  test_support::TempDir dir;
  LanguageTable* table = LanguageTable::Instance();
  HGLOBAL block = BlockOf("STRING_TITLE = Title\n");
  ASSERT_TRUE(table->LoadFromMemory(block));
  GlobalFree(block);
  EXPECT_FALSE(table->LoadFile(dir.Path() + L"\\missing.ini"));
  EXPECT_EQ(table->Lookup(L"STRING_TITLE"), L"");
  EXPECT_FALSE(table->ParseLines({}));
  EXPECT_TRUE(table->ParseLines({L"STRING_X = x", L"junk"}));
  EXPECT_EQ(table->Lookup(L"STRING_X"), L"x");
}

TEST(LanguageTable, LookupsFromAnotherThreadDuringReloadsSeeWholeTables) {
  LanguageTable* table = LanguageTable::Instance();
  std::string first, second;
  for (int i = 0; i < 300; ++i) {
    first += "STRING_" + std::to_string(i) + " = first text number " + std::to_string(i) + "\n";
    second += "STRING_" + std::to_string(i) + " = second\n";
  }
  HGLOBAL blocks[2] = {BlockOf(first), BlockOf(second)};
  ASSERT_TRUE(table->LoadFromMemory(blocks[0]));

  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<long> lookups{0};
  std::thread reader([&] {
    while (!stop) {
      for (int i = 0; i < 300; i += 37) {
        const std::wstring text = table->Lookup(L"STRING_" + std::to_wstring(i));
        if (text != L"first text number " + std::to_wstring(i) && text != L"second") ++torn;
        const std::string utf8 = table->LookupUtf8("STRING_" + std::to_string(i));
        if (utf8.empty()) ++torn;
        ++lookups;
      }
    }
  });
  for (int round = 0; round < 300; ++round) {
    table->LoadFromMemory(blocks[round % 2]);
    table->SetOverride(L"STRING_1", L"second");
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(lookups, 0);
  GlobalFree(blocks[0]);
  GlobalFree(blocks[1]);
}

TEST(LanguageTable, FillReplacesOnlyTheFirstPlaceholder) {
  LanguageTable* table = LanguageTable::Instance();
  table->Clear();
  ASSERT_TRUE(table->ParseLines({
      L"STRING_LS = need %ls free",
      L"STRING_S = version: %s",
      L"STRING_NONE = no placeholder",
      L"STRING_OTHERS = %n%d%5.2f %ls",
      L"STRING_TWO = %s and %ls",
      L"STRING_TWO_LS = %ls/%ls",
      L"STRING_PERCENT = 100% of %ls",
      L"STRING_BREAK = a\\n%ls",
      L"STRING_LONG = " + std::wstring(300, L'a') + L"%ls",
  }));
  struct Case {
    const wchar_t* key;
    const wchar_t* argument;
    std::wstring filled;
  };
  const Case cases[] = {
      {L"STRING_LS", L" 4.00G", L"need  4.00G free"},
      {L"STRING_S", L"1.2.3", L"version: 1.2.3"},
      {L"STRING_NONE", L"X", L"no placeholder"},
      // Other directives are text, never read as a format.
      {L"STRING_OTHERS", L"X", L"%n%d%5.2f X"},
      {L"STRING_TWO", L"X", L"X and %ls"},
      {L"STRING_TWO_LS", L"X", L"X/%ls"},
      // An argument holding a placeholder is not filled again.
      {L"STRING_TWO_LS", L"%ls", L"%ls/%ls"},
      {L"STRING_PERCENT", L"X", L"100% of X"},
      {L"STRING_BREAK", L"X", L"a\nX"},
      {L"STRING_LONG", L"X", std::wstring(259, L'a')},
      {L"STRING_MISSING", L"X", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ui::FillLanguageText(c.key, c.argument), c.filled) << std::string(c.key, c.key + wcslen(c.key));
  }
  table->Clear();
}

}  // namespace
