// The launcher's fonts (embedded in this test as in the launcher) installed into a private fonts
// folder and the machine's font registry, their removal, and the deferred update lists.

#include <gtest/gtest.h>

#include <windows.h>

#include <list>
#include <string>

#include "dorevezi/core/command_line.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/md5.h"
#include "dorevezi/core/resource_fonts.h"
#include "dorevezi/core/dorevezi_core.h"
#include "test_support/temp_dir.h"
#include "dorevezi/core/core_test_util.h"
#include "ui/render/text_anti_alias.h"

namespace {

using core_test::ReadBytes;
using core_test::WriteBytes;

std::wstring RegistryFont(const wchar_t* valueName) {
  wchar_t buffer[260] = {};
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kFontRegistryKey, valueName, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return L"<none>";
  }
  return buffer;
}

int CALLBACK OnFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceUsable(const wchar_t* face) {
  LOGFONTW wanted = {};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &wanted, &OnFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

std::list<std::string> ReadList(const char* path) {
  std::list<std::string> names;
  if (!ReadStringListFile(path, names)) names.push_back("<no list>");
  return names;
}

class FontsTest : public ::testing::Test {
 protected:
  FontsTest() : cwd_(dir_.Path()) {
    fonts_ = dir_.Path() + L"\\Fonts";
    CreateDirectoryW(fonts_.c_str(), nullptr);
    CreateDirectoryW(L"save", nullptr);
    CreateDirectoryW(L"update", nullptr);
    SetFontsFolderForTesting(fonts_);
    g_hasTextRenderingArgument = false;
    g_textRenderingArgument[0] = L'\0';
  }
  ~FontsTest() override {
    UninstallResourceFonts();
    SetFontsFolderForTesting(L"");
  }

  std::wstring Font(const wchar_t* name) const { return fonts_ + L"\\" + name; }

  test_support::TempDir dir_;
  core_test::ScopedCurrentDirectory cwd_;
  std::wstring fonts_;
};

}  // namespace

TEST_F(FontsTest, FirstStartWritesRegistersAndMakesTheFacesUsableAtOnce) {
  ASSERT_EQ(InstallResourceFonts(), 1);
  for (const ResourceFont& font : kResourceFonts) {
    const std::string bytes = ReadBytes(Font(font.fileName));
    EXPECT_GT(bytes.size(), 10000u) << core_test::Narrow(font.fileName);
    EXPECT_EQ(RegistryFont(font.registryValueName), font.fileName);
  }
  EXPECT_TRUE(FaceUsable(L"\u601d\u6e90\u9ed1\u4f53 CN Regular"));
  EXPECT_TRUE(FaceUsable(L"\u601d\u6e90\u9ed1\u4f53 CN Bold"));
  EXPECT_TRUE(g_textAntiAlias);
  // Resource 143 is the regular face, 142 the bold one.
  EXPECT_LT(ReadBytes(Font(L"SourceHanSansCNRegular.ttf")).find("SourceHanSansCN-Regular"), std::string::npos);

  UninstallResourceFonts();
  for (const ResourceFont& font : kResourceFonts) {
    EXPECT_EQ(ReadBytes(Font(font.fileName)), "<missing>");
    EXPECT_EQ(RegistryFont(font.registryValueName), L"<none>");
  }
}

TEST_F(FontsTest, FontsTheLauncherDidNotWriteAreLeftAlone) {
  ASSERT_TRUE(WriteBytes(Font(L"LomaN.ttf"), "someone else's Loma"));
  ASSERT_EQ(InstallResourceFonts(), 1);
  EXPECT_EQ(ReadBytes(Font(L"LomaN.ttf")), "someone else's Loma");
  // One of the launcher's own, changed since: no longer the launcher's to remove.
  ASSERT_TRUE(WriteBytes(Font(L"LomaB.ttf"), "edited"));
  UninstallResourceFonts();
  EXPECT_EQ(ReadBytes(Font(L"LomaN.ttf")), "someone else's Loma");
  EXPECT_EQ(ReadBytes(Font(L"LomaB.ttf")), "edited");
  EXPECT_EQ(ReadBytes(Font(L"SourceHanSansCNRegular.ttf")), "<missing>");
  EXPECT_EQ(RegistryFont(L"Loma (TrueType)"), L"LomaN.ttf");
  DeleteFileW(Font(L"LomaN.ttf").c_str());
  DeleteFileW(Font(L"LomaB.ttf").c_str());
}

TEST_F(FontsTest, RenderingArgumentDecidesAntiAliasing) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {nullptr, true}, {L"taa", true}, {L"text_anti_alias", true}, {L"TAA", false}, {L"gdi", false},
  };
  for (const auto& c : cases) {
    g_hasTextRenderingArgument = c.first != nullptr;
    if (c.first) wcscpy(g_textRenderingArgument, c.first);
    g_textAntiAlias = !c.second;
    ASSERT_EQ(InstallResourceFonts(), 1);
    EXPECT_EQ(g_textAntiAlias, c.second) << (c.first ? core_test::Narrow(c.first) : "none");
  }
}

TEST_F(FontsTest, FontListCopiesOwnFontsAndKeepsOnlyTheFailedNames) {
  ASSERT_EQ(InstallResourceFonts(), 1);
  ASSERT_TRUE(WriteBytes(Font(L"SourceHanSansCNBold.ttf"), "foreign bold"));  // replaced by someone
  ASSERT_TRUE(WriteBytes(L"update\\LomaN.ttf", "Loma 1.0.1"));
  ASSERT_TRUE(WriteBytes(L"update\\SourceHanSansCNBold.ttf", "Bold 1.0.1"));
  ASSERT_TRUE(WriteBytes(L"update\\LomaB.ttf", "LomaB 1.0.1"));
  ASSERT_TRUE(WriteBytes(L"outside.ttf", "outside"));
  // The launcher-folder copy of LomaB is held open: its second copy fails.
  ASSERT_TRUE(WriteBytes(L"LomaB.ttf", "old"));
  HANDLE held = CreateFileW(L"LomaB.ttf", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteStringListFile(kFontUpdateListPath, {"LomaN.ttf", "Missing.ttf", "..\\outside.ttf",
                                                        "SourceHanSansCNBold.ttf", "LomaB.ttf"}));
  ApplyFontUpdateList();
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(Font(L"LomaN.ttf")), "Loma 1.0.1");
  EXPECT_EQ(ReadBytes(L"LomaN.ttf"), "Loma 1.0.1");
  EXPECT_EQ(ReadBytes(L"update\\LomaN.ttf"), "<missing>");
  EXPECT_EQ(ReadBytes(Font(L"SourceHanSansCNBold.ttf")), "foreign bold");
  EXPECT_EQ(ReadBytes(L"SourceHanSansCNBold.ttf"), "Bold 1.0.1");
  EXPECT_EQ(ReadBytes(fonts_ + L"\\..\\outside.ttf"), "outside");
  EXPECT_EQ(ReadList(kFontUpdateListPath), (std::list<std::string>{"Missing.ttf", "LomaB.ttf"}));

  // The replace run recorded the new digest: the updated font is still the launcher's to remove,
  // and the next start's retry finishes the kept names.
  ASSERT_TRUE(WriteBytes(L"update\\Missing.ttf", "now here"));
  ApplyFontUpdateList();
  EXPECT_EQ(ReadList(kFontUpdateListPath), std::list<std::string>{"<no list>"});
  EXPECT_EQ(ReadBytes(L"LomaB.ttf"), "LomaB 1.0.1");
  UninstallResourceFonts();
  EXPECT_EQ(ReadBytes(Font(L"LomaN.ttf")), "<missing>");
  EXPECT_EQ(ReadBytes(Font(L"SourceHanSansCNBold.ttf")), "foreign bold");
  DeleteFileW(Font(L"SourceHanSansCNBold.ttf").c_str());
  DeleteFileW(Font(L"Missing.ttf").c_str());
}

TEST_F(FontsTest, CefListKeepsAFileHeldOpenForTheNextExit) {
  CreateDirectoryW(L"update\\cef", nullptr);
  CreateDirectoryW(L"update\\cef\\locales", nullptr);
  CreateDirectoryW(L"cef", nullptr);
  ASSERT_TRUE(WriteBytes(L"update\\cef\\libcef.dll", "cef 1.0.1"));
  ASSERT_TRUE(WriteBytes(L"update\\cef\\locales\\en.pak", "en 1.0.1"));
  ASSERT_TRUE(WriteBytes(L"cef\\libcef.dll", "cef 1.0.0"));
  EXPECT_FALSE(HasPendingCefUpdate());
  ASSERT_TRUE(WriteDeferredUpdateList(kCefUpdateListPath, {"cef/libcef.dll", "cef/locales/en.pak", "../x.dll"}));
  HANDLE held = CreateFileW(L"cef\\libcef.dll", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ApplyCefUpdateList();
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(L"cef\\locales\\en.pak"), "en 1.0.1");
  EXPECT_EQ(ReadBytes(L"update\\cef\\locales\\en.pak"), "<missing>");
  EXPECT_EQ(ReadBytes(L"cef\\libcef.dll"), "cef 1.0.0");
  EXPECT_EQ(ReadList(kCefUpdateListPath), std::list<std::string>{"cef/libcef.dll"});
  EXPECT_TRUE(HasPendingCefUpdate());

  // A later launcher update adds to the kept list instead of dropping it.
  ASSERT_TRUE(WriteBytes(L"update\\cef\\icudtl.dat", "icu 1.0.2"));
  ASSERT_TRUE(WriteDeferredUpdateList(kCefUpdateListPath, {"cef/icudtl.dat", "cef/libcef.dll"}));
  EXPECT_EQ(ReadList(kCefUpdateListPath), (std::list<std::string>{"cef/libcef.dll", "cef/icudtl.dat"}));

  ApplyCefUpdateList();
  EXPECT_EQ(ReadBytes(L"cef\\libcef.dll"), "cef 1.0.1");
  EXPECT_EQ(ReadBytes(L"cef\\icudtl.dat"), "icu 1.0.2");
  EXPECT_EQ(ReadList(kCefUpdateListPath), std::list<std::string>{"<no list>"});
  EXPECT_FALSE(HasPendingCefUpdate());
}

TEST_F(FontsTest, MissingOrMalformedListsChangeNothing) {
  // Null: no list files at all.
  for (const char* text : {static_cast<const char*>(nullptr), "{\"a\": 1}", "[\"x\", [1]]", "[\"x\""}) {
    SCOPED_TRACE(text ? text : "no lists");
    if (text) {
      ASSERT_TRUE(WriteBytes(L"update\\cef_update.txt", text));
      ASSERT_TRUE(WriteBytes(L"update\\font_update.txt", text));
    }
    ASSERT_TRUE(WriteBytes(L"update\\x", "staged"));
    ApplyCefUpdateList();
    ApplyFontUpdateList();
    EXPECT_EQ(ReadBytes(L"update\\cef_update.txt"), text ? text : "<missing>");
    EXPECT_EQ(ReadBytes(L"update\\font_update.txt"), text ? text : "<missing>");
    EXPECT_EQ(ReadBytes(L"update\\x"), "staged");
    EXPECT_EQ(ReadBytes(L"x"), "<missing>");
  }
}
