#include "ui/core/string_util.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(FormatString, FormatsWideStringsAndNumbers) {
  EXPECT_EQ(ui::FormatString(L"%s=%d (%03d) %ls", L"answer", 42, 7, L"wide"), L"answer=42 (007) wide");
  EXPECT_EQ(ui::FormatString(L"%.2f%%", 12.345), L"12.35%");
  EXPECT_EQ(ui::FormatString(L""), L"");
}

// Around the 1024-character stack buffer and the doubling heap buffers no text is lost.
TEST(FormatString, KeepsEveryCharacterAtBufferBoundaries) {
  for (size_t length : {1u, 1023u, 1024u, 1025u, 2047u, 2048u, 2049u, 5000u, 70000u}) {
    std::wstring text(length, L'x');
    text[0] = L'a';
    text[length - 1] = L'z';
    EXPECT_EQ(ui::FormatString(L"%s", text.c_str()), text) << length;
    EXPECT_EQ(ui::FormatString(L"[%s]", text.c_str()), L"[" + text + L"]") << length;
  }
}

TEST(AppendFormatV, AppendsToExistingText) {
  std::wstring target = L"head:";
  auto append = [&target](const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    ui::AppendFormatV(format, args, target);
    va_end(args);
  };
  append(L"%d,%d", 1, 2);
  append(L"%s", std::wstring(3000, L'q').c_str());
  EXPECT_EQ(target, L"head:1,2" + std::wstring(3000, L'q'));
}

TEST(Conversions, RoundTripUtf8AndAnsi) {
  const std::wstring wide = L"gr\u00fc\u00df \u4e2d\u6587 \U0001F600";
  std::string utf8;
  ASSERT_TRUE(ui::WideToUtf8(wide.c_str(), utf8));
  EXPECT_EQ(utf8, "gr\xc3\xbc\xc3\x9f \xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80");
  std::wstring back;
  ASSERT_TRUE(ui::Utf8ToWide(utf8.c_str(), back));
  EXPECT_EQ(back, wide);

  std::wstring empty = L"x";
  EXPECT_TRUE(ui::Utf8ToWide("", empty));
  EXPECT_EQ(empty, L"");

  // Whole-length forms convert embedded zero characters too.
  std::string withZero("a\0b", 3);
  std::wstring wideWithZero;
  EXPECT_TRUE(ui::MultiByteToWide(withZero, wideWithZero, CP_UTF8));
  EXPECT_EQ(wideWithZero, std::wstring(L"a\0b", 3));
  std::string narrow;
  EXPECT_TRUE(ui::WideToMultiByte(wideWithZero, narrow, CP_UTF8));
  EXPECT_EQ(narrow, withZero);
  EXPECT_TRUE(ui::MultiByteToWide("", wideWithZero, 0));
  EXPECT_TRUE(wideWithZero.empty());
  EXPECT_TRUE(ui::WideToMultiByte(L"plain", narrow, 0));
  EXPECT_EQ(narrow, "plain");
}

TEST(TrimTrailingBlanks, RemovesSpacesAndControlCharactersOnlyAtTheEnd) {
  struct Case {
    std::wstring in, out;
  } cases[] = {
      {L"  key \t\r", L"  key"},
      {L"value\x1f", L"value\x1f"},
      {L"value\x1e", L"value\x1e"},
      {L"value\x1d\n", L"value"},
      {L" \t ", L""},
      {L"", L""},
  };
  for (Case& c : cases) {
    std::wstring text = c.in;
    EXPECT_EQ(ui::TrimTrailingBlanks(text), c.out);
  }
}

TEST(SplitString, SkipsEmptyPieces) {
  std::list<std::wstring> expected = {L"a", L"bc", L"d"};
  EXPECT_EQ(ui::SplitString(L",, a,bc ,,d,", L", "), expected);
  EXPECT_TRUE(ui::SplitString(L"", L",").empty());
  EXPECT_TRUE(ui::SplitString(L",,,", L",").empty());
  EXPECT_EQ(ui::SplitString(L"whole", L","), std::list<std::wstring>{L"whole"});
}

TEST(ReplaceAll, ReplacesLeftToRightWithoutRescanning) {
  std::wstring backslashes = L"\\\\\\";
  EXPECT_EQ(ui::ReplaceAllWide(L"\\", L"\\\\", backslashes), 3);
  EXPECT_EQ(backslashes, L"\\\\\\\\\\\\");
  std::wstring four = L"\\\\\\\\";
  EXPECT_EQ(ui::ReplaceAllWide(L"\\\\", L"\\", four), 2);
  EXPECT_EQ(four, L"\\\\");
  std::wstring unchanged = L"abc";
  EXPECT_EQ(ui::ReplaceAllWide(L"", L"x", unchanged), 0);
  EXPECT_EQ(unchanged, L"abc");

  std::string narrow = "aaa";
  EXPECT_EQ(ui::ReplaceAllNarrow("aa", "b", narrow), 1);
  EXPECT_EQ(narrow, "ba");
  narrow = "x.y.z";
  EXPECT_EQ(ui::ReplaceAllNarrow(".", "", narrow), 2);
  EXPECT_EQ(narrow, "xyz");
}

TEST(NormalizePath, UnifiesSeparators) {
  EXPECT_EQ(ui::NormalizePath(L"themes/default//main.xml"), L"themes\\default\\main.xml");
  EXPECT_EQ(ui::NormalizePath(L"a\\\\\\b"), L"a\\\\b");
  EXPECT_EQ(ui::NormalizePath(L"\\\\server\\share"), L"\\server\\share");
}

TEST(RunEventHandlers, StopsAtTheFirstFalse) {
  EXPECT_TRUE(ui::RunEventHandlers({}, nullptr));
  std::wstring calls;
  ui::EventArgs args;
  args.type = ui::kEventClick;
  ui::EventHandlerList handlers = {
      [&](ui::EventArgs* a) { calls += L"1"; return a->type == ui::kEventClick; },
      [&](ui::EventArgs*) { calls += L"2"; return false; },
      [&](ui::EventArgs*) { calls += L"3"; return true; },
  };
  EXPECT_FALSE(ui::RunEventHandlers(handlers, &args));
  EXPECT_EQ(calls, L"12");
}

TEST(ParseNumberList, ReadsWithinTheTextAndZeroesTheRest) {
  const struct {
    std::wstring text;
    int read;
    int32_t values[4];
  } cases[] = {
      {L"", 0, {0, 0, 0, 0}},
      {L"1,2,3,4", 4, {1, 2, 3, 4}},
      {L"1,2", 2, {1, 2, 0, 0}},
      {L"12", 1, {12, 0, 0, 0}},
      {L"1,2,", 2, {1, 2, 0, 0}},
      {L"1,,3", 3, {1, 0, 3, 0}},
      {L"-5, 6;+7 8", 4, {-5, 6, 7, 8}},
      {L"1,2,3,4,5", 4, {1, 2, 3, 4}},
      {L"x", 1, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    int32_t values[4] = {-1, -1, -1, -1};
    EXPECT_EQ(ui::ParseNumberList(c.text, values, 4), c.read) << c.text;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(values[i], c.values[i]) << c.text << L" #" << i;
  }
  const ui::Rect rect = ui::ParseRectNumbers(L"10,20,110");
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);
  EXPECT_EQ(rect.right, 110);
  EXPECT_EQ(rect.bottom, 0);
}

}  // namespace
