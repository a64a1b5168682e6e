// Loading markup files from disk: size limits, the byte-order mark, read failures.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "markup_parse_cases.h"
#include "test_support/temp_dir.h"
#include "ui/markup/markup_document.h"
#include "ui/resources/ui_runtime.h"

namespace {

using ui::MarkupDocument;

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(bytes.empty() || WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  CloseHandle(file);
}

// A valid document of exactly `size` bytes: one element whose attribute fills the rest.
std::string DocumentOfSize(size_t size) {
  const std::string head = "<Window text=\"";
  const std::string tail = "\"/>";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

TEST(MarkupFile, SizeLimitsAndEmptyFile) {
  test_support::TempDir dir;
  const std::wstring path = dir.Path() + L"\\skin.xml";
  struct {
    std::string bytes;
    bool ok;
    const wchar_t* message;
  } cases[] = {
      {"", false, L"File is empty"},
      {DocumentOfSize(4194304), true, L""},
      {DocumentOfSize(4194305), false, L"File too large"},
  };
  for (const auto& c : cases) {
    WriteBytes(path, c.bytes);
    MarkupDocument document;
    EXPECT_EQ(document.LoadFromFile(path.c_str()), c.ok) << c.bytes.size();
    EXPECT_STREQ(document.GetLastErrorMessage(), c.message) << c.bytes.size();
    EXPECT_STREQ(document.GetLastErrorLocation(), L"");
    if (c.ok) {
      EXPECT_EQ(wcslen(document.GetRoot().GetAttributeValue(0)), c.bytes.size() - 17);
    }
  }
}

// The string table again, each case written as a UTF-8 file: the same results, messages and
// locations.
TEST(MarkupFile, TableOfCasesFromFiles) {
  test_support::TempDir dir;
  const std::wstring path = dir.Path() + L"\\case.xml";
  for (const markup_cases::ParseCase& c : markup_cases::kParseCases) {
    if (c.markup[0] == 0) continue;  // an empty file is its own error
    const int length = WideCharToMultiByte(CP_UTF8, 0, c.markup, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, c.markup, -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(size_t(length) - 1);
    WriteBytes(path, utf8);
    MarkupDocument document;
    const int at = int(&c - markup_cases::kParseCases);
    EXPECT_EQ(document.LoadFromFile(path.c_str()), c.ok) << at;
    EXPECT_STREQ(document.GetLastErrorMessage(), c.ok ? L"" : c.message) << at;
    EXPECT_STREQ(document.GetLastErrorLocation(), c.ok ? L"" : c.location) << at;
    if (c.ok) {
      EXPECT_EQ(document.GetNodeCount(), c.nodes) << at;
    }
  }
}

TEST(MarkupFile, SkipsTheByteOrderMarkAndReadsUtf8) {
  test_support::TempDir dir;
  const std::wstring path = dir.Path() + L"\\skin.xml";
  WriteBytes(path, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Window title=\"\xE7\xAA\x97\xE5\x8F\xA3\"/>");
  MarkupDocument document;
  ASSERT_TRUE(document.LoadFromFile(path.c_str()));
  EXPECT_STREQ(document.GetRoot().GetName(), L"Window");
  EXPECT_STREQ(document.GetRoot().GetAttributeValue(0), L"\x7A97\x53E3");
  // A file holding only the mark is an empty document, not an error.
  WriteBytes(path, "\xEF\xBB\xBF");
  EXPECT_TRUE(document.LoadFromFile(path.c_str()));
  EXPECT_EQ(document.GetNodeCount(), 1u);
  // The mark is not skipped in a file of two bytes or less, where it cannot be whole.
  WriteBytes(path, "\xEF\xBB");
  EXPECT_FALSE(document.LoadFromFile(path.c_str()));
  EXPECT_STREQ(document.GetLastErrorMessage(), L"Expected start tag");
}

TEST(MarkupFile, OpenAndParseFailuresLeaveNothingLoaded) {
  test_support::TempDir dir;
  MarkupDocument document;
  ASSERT_TRUE(document.LoadFromString(L"<Window/>"));
  EXPECT_FALSE(document.LoadFromFile((dir.Path() + L"\\missing.xml").c_str()));
  EXPECT_STREQ(document.GetLastErrorMessage(), L"Error opening file");
  EXPECT_EQ(document.GetText(), nullptr);

  const std::wstring path = dir.Path() + L"\\bad.xml";
  WriteBytes(path, "<Window>\n  <Box>\n    <Label>\n");
  EXPECT_FALSE(document.LoadFromFile(path.c_str()));
  EXPECT_STREQ(document.GetLastErrorMessage(), L"Expected end-tag start");
  EXPECT_EQ(document.GetText(), nullptr);
  EXPECT_EQ(document.GetNodeCount(), 0u);
}

TEST(MarkupFile, RelativePathsAreTakenBelowTheResourcePath) {
  test_support::TempDir dir;
  ASSERT_TRUE(CreateDirectoryW((dir.Path() + L"\\main").c_str(), nullptr));
  WriteBytes(dir.Path() + L"\\main\\skin.xml", "<Window name=\"relative\"/>");
  const std::wstring previous = ui::UiRuntime::GetResourceRoot();
  ui::UiRuntime::SetResourceRoot(dir.Path());
  MarkupDocument document;
  EXPECT_TRUE(document.LoadFromFile(L"main\\skin.xml"));
  EXPECT_STREQ(document.GetRoot().GetAttributeValue(0), L"relative");
  // An absolute path is used as given.
  EXPECT_TRUE(document.LoadFromFile((dir.Path() + L"\\main\\skin.xml").c_str()));
  ui::UiRuntime::SetResourceRoot(previous);
}

}  // namespace
