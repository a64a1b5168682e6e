// The runtime's start values, colour and class tables, and fonts made with real GDI and GDI+.

#include <windows.h>

#include <gtest/gtest.h>

#include "ui/core/dpi_scale.h"
#include "ui/resources/ui_runtime.h"

namespace ui {
namespace {

class RuntimeFontsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiRuntime::SetSystemFaces(L"Tahoma", L"", L"DvNoSuchFace");
    UiRuntime::SetButtonFaces(L"", L"", L"");
    UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
  }
  void TearDown() override { UiRuntime::Uninitialize(); }
};

TEST(RuntimeStartTest, StartValues) {
  EXPECT_EQ(UiRuntime::GetLanguage(), L"zh_CN");
  EXPECT_EQ(UiRuntime::GetChannel(), L"AppStore");
  EXPECT_EQ(UiRuntime::GetDefaultTextColor(), L"textdefaultcolor");
  EXPECT_EQ(UiRuntime::GetDefaultDisabledTextColor(), L"textdefaultdisablecolor");
  // Other tests of this program may have started and stopped the runtime before: without
  // GDI+ and the memory DC no font can be made.
  EXPECT_EQ(UiRuntime::GetMemoryDC(), nullptr);
  EXPECT_EQ(UiRuntime::RegisterFont(L"early", L"Tahoma", 12, false, false, false, false), nullptr);
  EXPECT_EQ(UiRuntime::FindFont(L"early"), nullptr);
}

TEST(RuntimeTablesTest, ColoursAreCaseSensitive) {
  EXPECT_EQ(UiRuntime::GetColor(L"nosuchcolour"), 0u);
  UiRuntime::SetColor(L"white", 0xFFFFFFFFu);
  EXPECT_EQ(UiRuntime::GetColor(L"white"), 0xFFFFFFFFu);
  EXPECT_EQ(UiRuntime::GetColor(L"White"), 0u);
}

TEST(RuntimeTablesTest, ResourceRootGetsOneTrailingSeparator) {
  const struct {
    const wchar_t* given;
    const wchar_t* stored;
  } cases[] = {{L"", L""}, {L"skin", L"skin\\"}, {L"skin\\", L"skin\\"}, {L"skin/", L"skin/"}};
  for (const auto& c : cases) {
    UiRuntime::SetResourceRoot(c.given);
    EXPECT_EQ(UiRuntime::GetResourceRoot(), c.stored) << c.given;
  }
}

TEST_F(RuntimeFontsTest, StartUpSetsRootGdiplusAndFaceTest) {
  EXPECT_EQ(UiRuntime::GetResourceRoot(), L"resources\\themes\\default\\");
  EXPECT_NE(UiRuntime::GetMemoryDC(), nullptr);
  EXPECT_TRUE(DpiScale::Instance().IsAdapting());
  EXPECT_TRUE(UiRuntime::IsConfiguredFaceUsable(0));   // Tahoma ships with Wine
  EXPECT_FALSE(UiRuntime::IsConfiguredFaceUsable(1));  // empty
  EXPECT_FALSE(UiRuntime::IsConfiguredFaceUsable(3));
  EXPECT_FALSE(UiRuntime::IsConfiguredFaceUsable(6));
}

TEST_F(RuntimeFontsTest, RegisterFindAndClear) {
  HFONT plain = UiRuntime::RegisterFont(L"plain", L"Tahoma", 12, false, false, false, false);
  ASSERT_NE(plain, nullptr);
  FontRecord* record = UiRuntime::FindFont(L"plain");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->hFont, plain);
  EXPECT_NE(record->gdipFont, nullptr);
  EXPECT_EQ(record->face, L"Tahoma");
  EXPECT_EQ(record->size, DpiScale::Instance().ScaleValue(12));
  EXPECT_FALSE(record->bold);

  HFONT styled = UiRuntime::RegisterFont(L"styled", L"Tahoma", 14, true, true, true, true);
  ASSERT_NE(styled, nullptr);
  LOGFONTW logFont = {};
  ASSERT_EQ(GetObjectW(styled, sizeof(logFont), &logFont), static_cast<int>(sizeof(logFont)));
  EXPECT_EQ(logFont.lfHeight, -DpiScale::Instance().ScaleValue(14));
  EXPECT_GE(logFont.lfWeight, FW_BOLD);
  EXPECT_TRUE(logFont.lfUnderline);
  EXPECT_TRUE(logFont.lfItalic);
  EXPECT_EQ(UiRuntime::FindFont(L""), UiRuntime::FindFont(L"styled"));
  EXPECT_EQ(UiRuntime::FindFont(L"nosuchfont"), nullptr);

  UiRuntime::ClearFonts();
  EXPECT_EQ(UiRuntime::FindFont(L"plain"), nullptr);
  EXPECT_EQ(UiRuntime::GetDefaultFontId(), L"styled");
}

TEST_F(RuntimeFontsTest, EmptyIdsAreNumberedAndAnIdKeepsItsFirstFont) {
  ASSERT_NE(UiRuntime::RegisterFont(L"a", L"Tahoma", 12, false, false, false, false), nullptr);
  ASSERT_NE(UiRuntime::RegisterFont(L"", L"Tahoma", 13, false, false, false, false), nullptr);
  ASSERT_NE(UiRuntime::RegisterFont(L"", L"Tahoma", 15, false, false, false, false), nullptr);
  ASSERT_NE(UiRuntime::FindFont(L"1"), nullptr);
  ASSERT_NE(UiRuntime::FindFont(L"2"), nullptr);  // the third font of the table
  EXPECT_EQ(UiRuntime::FindFont(L"2")->size, DpiScale::Instance().ScaleValue(15));

  FontRecord* first = UiRuntime::FindFont(L"a");
  HFONT firstFont = first->hFont;
  // The duplicate answers the font already held, so nothing is made that nobody owns.
  EXPECT_EQ(UiRuntime::RegisterFont(L"a", L"Arial", 30, true, false, false, true), firstFont);
  EXPECT_EQ(UiRuntime::FindFont(L"a"), first);
  EXPECT_EQ(first->face, L"Tahoma");
  EXPECT_EQ(first->size, DpiScale::Instance().ScaleValue(12));
  EXPECT_EQ(UiRuntime::GetDefaultFontId(), L"a");
  // The duplicate was not counted: the next empty id is "3".
  ASSERT_NE(UiRuntime::RegisterFont(L"", L"Tahoma", 12, false, false, false, false), nullptr);
  EXPECT_NE(UiRuntime::FindFont(L"3"), nullptr);
}

TEST_F(RuntimeFontsTest, ConfiguredFacesAndTheirFallback) {
  const std::wstring fallback = L"\u5FAE\u8F6F\u96C5\u9ED1";
  const struct {
    const wchar_t* face;
    bool bold;
    bool italic;
    std::wstring expected;
  } cases[] = {
      {L"system", false, false, L"Tahoma"},   // regular, usable
      {L"system", true, false, fallback},     // bold face empty
      {L"system", true, true, fallback},      // bold wins over italic
      {L"button", false, false, fallback},    // nothing configured
      {L"DvNoSuchFace", false, false, L"DvNoSuchFace"},  // any other face is asked for as given
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::wstring id = L"face" + std::to_wstring(n++);
    ASSERT_NE(UiRuntime::RegisterFont(id, c.face, 12, c.bold, false, c.italic, false), nullptr) << id;
    EXPECT_EQ(UiRuntime::FindFont(id)->face, c.expected) << id;
    EXPECT_NE(UiRuntime::FindFont(id)->gdipFont, nullptr) << id;
  }
}

}  // namespace
}  // namespace ui
