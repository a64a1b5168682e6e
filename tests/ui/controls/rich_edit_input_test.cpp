// Pieces of the rich edit's input that stand on their own: the digits-only paste against the
// real clipboard and Wine's text services, and the text-services timers on the real timer
// service.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "text_host_test_owner.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/controls/rich_edit_clipboard.h"
#include "ui/controls/text_services_timers.h"

namespace {

using controls_test::TestOwner;
using ui::DigitsPaste;

// Puts a block of `bytes` into the clipboard under `format`; the clipboard is emptied first
// when `empty` is set.
void PutBlock(UINT format, const void* data, size_t bytes, bool empty) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  if (empty) EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(block), data, bytes);
  GlobalUnlock(block);
  EXPECT_NE(SetClipboardData(format, block), nullptr);
  CloseClipboard();
}

std::string ReadBlock(UINT format) {
  std::string out;
  if (!OpenClipboard(nullptr)) return out;
  if (HANDLE block = GetClipboardData(format)) {
    const char* data = static_cast<const char*>(GlobalLock(block));
    if (data) out.assign(data, GlobalSize(block));
    GlobalUnlock(block);
  }
  CloseClipboard();
  return out;
}

TEST(DigitsPaste, InsertsTheDigitsAndLeavesTheClipboardAsItWas) {
  const UINT custom = RegisterClipboardFormatW(L"DoreveziTestFormat");
  const wchar_t text[] = L"12ab34";
  PutBlock(CF_UNICODETEXT, text, sizeof(text), true);
  const char extra[] = "kept";
  PutBlock(custom, extra, sizeof(extra), false);

  std::wstring digits;
  ASSERT_EQ(ui::PrepareDigitsPaste(&digits), DigitsPaste::kInsert);
  EXPECT_EQ(digits, L"1234");
  TestOwner owner;
  ASSERT_TRUE(owner.Create(ui::kEditStyleNumberOrNoScroll, L"5"));
  owner.Send(EM_SETSEL, 1, 1);
  owner.Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(digits.c_str()));
  EXPECT_EQ(owner.Text(), L"51234");
  owner.host->Release();

  // Every format the user had is still there, unchanged.
  std::wstring after;
  ASSERT_TRUE(ui::ReadClipboardText(&after));
  EXPECT_EQ(after, L"12ab34");
  EXPECT_EQ(ReadBlock(custom).substr(0, 5), std::string("kept", 5));
}

TEST(DigitsPaste, DecidesFromTheClipboardText) {
  struct Case {
    const wchar_t* unicode;  // null: ANSI text below, or none
    const char* ansi;
    DigitsPaste expected;
    const wchar_t* digits;
  } cases[] = {
      {L"abc", nullptr, DigitsPaste::kDrop, L""},
      {L"", nullptr, DigitsPaste::kForwardKey, L""},
      {L"\x0661\x0662 7-8", nullptr, DigitsPaste::kInsert, L"78"},
      {nullptr, "5x6", DigitsPaste::kInsert, L"56"},
      {nullptr, nullptr, DigitsPaste::kForwardKey, L""},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    if (c.unicode) PutBlock(CF_UNICODETEXT, c.unicode, (wcslen(c.unicode) + 1) * sizeof(wchar_t), true);
    if (c.ansi) PutBlock(CF_TEXT, c.ansi, strlen(c.ansi) + 1, true);
    std::wstring digits = L"stale";
    EXPECT_EQ(ui::PrepareDigitsPaste(&digits), c.expected) << (c.unicode ? c.unicode : L"(ansi or none)");
    EXPECT_EQ(digits, c.digits);
  }
}

TEST(DigitsPaste, ReadsNeverPastTheBlock) {
  // Unicode text without its terminating zero.
  const wchar_t unterminated[] = {L'4', L'2', L'x', L'9'};
  PutBlock(CF_UNICODETEXT, unterminated, sizeof(unterminated), true);
  std::wstring text;
  ASSERT_TRUE(ui::ReadClipboardText(&text));
  // The reader stops at the block's end: what it gives is a beginning of the four units
  // (the system may put a zero in place of the last).
  ASSERT_GE(text.size(), 2u);
  ASSERT_LE(text.size(), 4u);
  EXPECT_EQ(std::wstring(L"42x9").compare(0, text.size(), text), 0) << text;
  std::wstring digits;
  EXPECT_EQ(ui::PrepareDigitsPaste(&digits), DigitsPaste::kInsert);
  EXPECT_EQ(digits.substr(0, 2), L"42");
}

TEST(DigitsPaste, PutClipboardTextReplacesEverything) {
  const UINT custom = RegisterClipboardFormatW(L"DoreveziTestFormat");
  const char extra[] = "gone";
  PutBlock(custom, extra, sizeof(extra), true);
  ASSERT_TRUE(ui::PutClipboardText(L"\x4E2D\x6587 1"));
  std::wstring text;
  ASSERT_TRUE(ui::ReadClipboardText(&text));
  EXPECT_EQ(text, L"\x4E2D\x6587 1");
  EXPECT_FALSE(IsClipboardFormatAvailable(custom));
}

TEST(TextServicesTimers, DeliverTheirIdUntilStopped) {
  std::vector<UINT> delivered;
  ui::TextServicesTimers timers([&delivered](UINT id) { delivered.push_back(id); });
  timers.Start(7, 30);
  ASSERT_TRUE(ui_test::PumpUntil([&] { return delivered.size() >= 3; }, 5000));
  for (UINT id : delivered) EXPECT_EQ(id, 7u);
  timers.Stop(7);
  timers.Stop(99);  // unknown: nothing
  EXPECT_FALSE(timers.IsRunning(7));
  const size_t stopped = delivered.size();
  ui_test::PumpFor(200);
  EXPECT_EQ(delivered.size(), stopped);
}

TEST(TextServicesTimers, RestartingAnIdReplacesItsTimer) {
  std::vector<UINT> delivered;
  ui::TextServicesTimers timers([&delivered](UINT id) { delivered.push_back(id); });
  timers.Start(3, 20);
  timers.Start(3, 5000);
  EXPECT_EQ(timers.RunningCount(), 1u);
  ui_test::PumpFor(300);
  EXPECT_TRUE(delivered.empty()) << "the 20 ms timer died with the restart";
  timers.Start(4, 20);
  ASSERT_TRUE(ui_test::PumpUntil([&] { return !delivered.empty(); }, 5000));
  EXPECT_EQ(delivered.front(), 4u);
}

TEST(TextServicesTimers, NoTimerOutlivesItsOwner) {
  int delivered = 0;
  {
    ui::TextServicesTimers timers([&delivered](UINT) { ++delivered; });
    timers.Start(1, 20);
    timers.Start(2, 25);
  }
  ui_test::PumpFor(300);
  EXPECT_EQ(delivered, 0);
}

}  // namespace
