// The launcher's own skin as the program reads it: the archive compiled into this test as into the
// launcher (resource "RESOURCES" 129) opens through the launcher's skin choice, "global.xml" gives
// the shared fonts, colours and classes, every window file builds into a real window over a
// framework owner with its named controls in place, every image the markup names is in the
// archive and fits its nine-grid corners, the channel's link file reads in both languages with its
// pictures in the archive, and the program's icon group 107 is in the executable. Screenshots of
// the boxes and of the main window go to the build's "screenshots" folder.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "dorevezi/core/link_config.h"
#include "dorevezi/core/skin_package.h"
#include "dorevezi/windows/main_components.h"
#include "test_support/temp_dir.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/controls/button.h"
#include "ui/controls/label.h"
#include "ui/controls/screen_capture.h"
#include "ui/controls/tab_box.h"
#include "ui/core/box.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/core/window_impl_base.h"
#include "ui/markup/markup_builder.h"
#include "ui/resources/image.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"
#include "ui/resources/zip_archive.h"

namespace {

using ui::UiRuntime;

constexpr wchar_t kThemeEntry[] = L"resources/themes/default/";
constexpr DWORD kLongWaitMs = 30000;

std::string Narrow(const std::wstring& text) {
  std::string out;
  ui::WideToUtf8(text.c_str(), out);
  return out;
}

// The archive's entry names, as stored.
std::vector<std::wstring> ArchiveEntries() {
  std::vector<std::wstring> names;
  ui::ZipArchive* archive = UiRuntime::GetResourceZip();
  if (!archive || !archive->reader) return names;
  ui::ZipEntry entry = {};
  if (archive->reader->GetEntry(-1, &entry) != ui::kZipOk) return names;
  const int count = entry.index;
  for (int i = 0; i < count; ++i) {
    if (archive->reader->GetEntry(i, &entry) == ui::kZipOk) names.push_back(entry.name);
  }
  return names;
}

// The window files: every markup file below the theme but "global.xml", as (folder, file).
std::vector<std::pair<std::wstring, std::wstring>> WindowFiles() {
  std::vector<std::pair<std::wstring, std::wstring>> files;
  const std::wstring theme = kThemeEntry;
  for (const std::wstring& name : ArchiveEntries()) {
    if (name.compare(0, theme.size(), theme) != 0) continue;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, L".xml") != 0) continue;
    const std::wstring relative = name.substr(theme.size());
    const size_t slash = relative.rfind(L'/');
    if (slash == std::wstring::npos) continue;  // global.xml and its like
    files.emplace_back(relative.substr(0, slash), relative.substr(slash + 1));
  }
  return files;
}

std::string ReadEntry(const std::wstring& path) {
  HGLOBAL block = UiRuntime::ReadZipEntry(path);
  if (!block) return std::string();
  const SIZE_T size = GlobalSize(block);
  std::string text(static_cast<const char*>(GlobalLock(block)), size);
  GlobalUnlock(block);
  GlobalFree(block);
  return text;
}

// The image descriptors of a markup text: attribute values that name a file.
std::vector<std::wstring> ImageDescriptors(const std::string& markup) {
  std::wstring text;
  ui::MultiByteToWide(markup, text, CP_UTF8);
  std::vector<std::wstring> found;
  static const std::wregex kDescriptor(L"\"([^\"]*file='[^\"]*)\"");
  for (std::wsregex_iterator it(text.begin(), text.end(), kDescriptor), end; it != end; ++it) {
    found.push_back((*it)[1].str());
  }
  return found;
}

// An owner like the main window: a framework window with a plain painted root.
class OwnerWindow : public ui::Window {
 public:
  std::wstring RegisteredClassName() const override { return L"DvSkinOwner"; }
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CREATE) {
      AttachNativeWindow(hwnd_);
      auto* root = new ui::Box(new ui::Layout());
      root->ApplyAttribute(L"bkcolor", L"owner.bk");
      auto* band = new ui::Box(new ui::Layout());
      band->ApplyAttribute(L"bkcolor", L"accent");
      band->ApplyAttribute(L"height", L"120");
      band->ApplyAttribute(L"valign", L"top");
      root->AddChild(band);
      AttachRoot(root);
    }
    return ui::Window::RouteMessage(message, wParam, lParam);
  }
};

// The channel's link file read for a language; false when it is missing or does not parse.
bool ReadLinkConfiguration(const std::string& language, LinkConfiguration& config) {
  std::string text;
  return UiRuntime::ReadResourceFile(kChannelLinkConfigName, text) && ParseLinkConfiguration(text, language, config);
}

// The web view stands in the markup as the main window makes it without a browser runtime.
class SkinWindow : public ui::WindowImplBase {
 public:
  SkinWindow(const std::wstring& folder, const std::wstring& file) : folder_(folder), file_(file) {}
  std::wstring RegisteredClassName() const override { return L"DvSkinContentWindow"; }
  std::wstring SkinSubfolder() const override { return folder_; }
  std::wstring SkinXmlFileName() const override { return file_; }
  ui::Control* CreateCustomControl(const std::wstring& className) override {
    return className == L"CefControl" ? new MainComponents::CefDummyControl() : nullptr;
  }

 private:
  std::wstring folder_;
  std::wstring file_;
};

struct Destroyer {
  void operator()(ui::Window* window) const {
    if (window->GetHwnd() && IsWindow(window->GetHwnd())) {
      DestroyWindow(window->GetHwnd());  // a skin window deletes itself here
    } else {
      delete window;
    }
  }
};

class SkinContentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Beside the executable there is no "resources.zip": the launcher takes its compiled-in skin.
    dir_ = new test_support::TempDir();
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    previousDir_ = new std::wstring(previous);
    SetCurrentDirectoryW(dir_->Path().c_str());
    LoadResourcePackage();
    UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
    UiRuntime::SetColor(L"owner.bk", 0xFF3A5878u);
  }
  static void TearDownTestSuite() {
    UiRuntime::Uninitialize();
    SetCurrentDirectoryW(previousDir_->c_str());
    delete previousDir_;
    delete dir_;
  }

  void TearDown() override {
    for (SkinWindow* window : opened_) {
      if (IsWindow(window->GetHwnd())) DestroyWindow(window->GetHwnd());
    }
    opened_.clear();
    owner_.reset();
    ui_test::PumpFor(50);
  }

  ui::Window* Owner() {
    if (!owner_) {
      auto* owner = new OwnerWindow();
      owner->GetShadow().attached = false;
      EXPECT_NE(owner->CreateNativeWindow(nullptr, L"Owner", WS_POPUP, 0, false, ui::Rect{60, 40, 1020, 640}),
                nullptr);
      owner_.reset(owner);
      owner->ShowNativeWindow(true, true);
      ui_test::PumpFor(100);
    }
    return owner_.get();
  }

  // Creates and shows a skin window over the owner as the launcher's boxes do; null when the
  // skin does not build.
  SkinWindow* Open(const std::wstring& folder, const std::wstring& file) {
    // A skin that does not build would stop the window's creation at a message box; built alone
    // first, its failure is only a failed test.
    ui::MarkupBuilder probe;
    ui::Control* built = probe.Build((folder + L"\\" + file).c_str(), nullptr, nullptr, nullptr, nullptr);
    if (!built) return nullptr;
    delete built;
    auto* window = new SkinWindow(folder, file);
    if (!window->CreateNativeWindow(Owner()->GetHwnd(), L"Skin", 0x00CE0000, 0, true, ui::Rect{})) {
      delete window;
      return nullptr;
    }
    opened_.push_back(window);
    window->CenterOnOwner();
    window->ShowNativeWindow(true, true);
    EXPECT_TRUE(ui_test::PumpUntil(
        [window] {
          const ui::Rect bounds = window->GetRoot()->GetBounds();
          return bounds.Width() > 0 && !window->IsFirstLayoutPending();
        },
        kLongWaitMs));
    return window;
  }

  static ui::Rect Bounds(ui::Window* window, const wchar_t* name) {
    ui::Control* control = window->FindControlByName(name);
    return control ? control->GetBounds() : ui::Rect{};
  }

  // Arranges a window's pending layout now.
  static void Relayout(ui::Window* window) {
    InvalidateRect(window->GetHwnd(), nullptr, FALSE);
    UpdateWindow(window->GetHwnd());
  }

  static void Screenshot(ui::Window* window, const wchar_t* name) {
    ui_test::PumpUntil([window] { return window->GetWindowAlpha() == 255; }, kLongWaitMs);
    ui_test::PumpFor(300);
    RECT rect;
    GetWindowRect(window->GetHwnd(), &rect);
    EXPECT_FALSE(controls_test::SaveScreenshot(controls_test::CaptureScreen(rect), name).empty());
  }

  static test_support::TempDir* dir_;
  static std::wstring* previousDir_;
  std::unique_ptr<ui::Window, Destroyer> owner_;
  std::vector<SkinWindow*> opened_;
};

test_support::TempDir* SkinContentTest::dir_ = nullptr;
std::wstring* SkinContentTest::previousDir_ = nullptr;

}  // namespace

TEST_F(SkinContentTest, CompiledInArchiveHoldsTheSkinUnderItsRootAndTheme) {
  ASSERT_NE(UiRuntime::GetResourceZip(), nullptr);
  const std::vector<std::wstring> names = ArchiveEntries();
  for (const wchar_t* expected :
       {L"resources/themes/default/global.xml", L"resources/themes/default/msgbox/skin.xml",
        L"resources/themes/default/optionsbox/skin.xml", L"resources/themes/default/public/bk_shadow.png"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << Narrow(expected);
  }
  // What the framework reads goes through the resource path's "\" spelling.
  EXPECT_FALSE(ReadEntry(L"resources\\themes\\default\\global.xml").empty());
}

TEST_F(SkinContentTest, GlobalMarkupGivesTheSharedFontsColoursAndClasses) {
  for (const wchar_t* font : {L"title", L"body", L"small", L"button"}) {
    EXPECT_NE(UiRuntime::FindFont(font), nullptr) << Narrow(font);
  }
  EXPECT_EQ(UiRuntime::GetDefaultFontId(), L"body");
  EXPECT_EQ(UiRuntime::GetDefaultTextColor(), L"textdefaultcolor");
  EXPECT_EQ(UiRuntime::GetDefaultDisabledTextColor(), L"textdefaultdisablecolor");
  for (const wchar_t* color : {L"textdefaultcolor", L"textdefaultdisablecolor", L"white", L"textmain",
                               L"textsub", L"accent", L"blue", L"red", L"graya2"}) {
    EXPECT_EQ(UiRuntime::GetColor(color) >> 24, 0xFFu) << Narrow(color);
  }
  for (const wchar_t* name :
       {L"btn_close", L"btn_radio", L"checkbox", L"progress", L"vscrollbar", L"hscrollbar", L"edit"}) {
    EXPECT_FALSE(UiRuntime::GetClassAttributes(name).empty()) << Narrow(name);
  }
  // The two button looks give all four states an image and a text colour.
  for (const wchar_t* name : {L"btn_blue", L"btn_grey"}) {
    ui::ButtonTemplate<ui::Control> button;
    button.ApplyClasses(name);
    for (int state = ui::kStateNormal; state <= ui::kStateDisabled; ++state) {
      const auto s = static_cast<ui::ControlState>(state);
      EXPECT_FALSE(button.GetStateTextColor(s).empty()) << Narrow(name) << " " << state;
      ui::StateImageSet* images = button.GetStateImages().FindSet(ui::kImageKindBackground);
      ASSERT_NE(images, nullptr);
      EXPECT_FALSE(images->GetImage(s).spec.file.empty()) << Narrow(name) << " " << state;
    }
  }
}

TEST_F(SkinContentTest, EveryWindowFileBuildsWithItsNamedControls) {
  enum Kind { kLabel, kButton, kVBox, kHBox, kTabBox, kWebView };
  const std::map<std::wstring, std::vector<std::pair<const wchar_t*, Kind>>> expected = {
      {L"msgbox",
       {{L"title", kLabel},
        {L"content", kLabel},
        {L"detail", kLabel},
        {L"btn_yes", kButton},
        {L"btn_no", kButton},
        {L"btn_close", kButton}}},
      {L"optionsbox",
       {{L"content", kLabel}, {L"option_vlist", kVBox}, {L"btn_ok", kButton}, {L"btn_close", kButton}}},
      {L"main",
       {{L"wnd_title", kLabel},
        {L"text_version", kLabel},
        {L"btn_settings", kButton},
        {L"minbtn", kButton},
        {L"btn_close", kButton},
        {L"webview", kWebView},
        {L"text_title_main", kLabel},
        {L"text_title_sub", kLabel},
        {L"jump_links", kHBox},
        {L"tab_assets", kTabBox},
        {L"tab_predlc", kTabBox},
        {L"btn_game", kButton}}},
  };
  const auto files = WindowFiles();
  std::set<std::wstring> folders;
  for (const auto& file : files) {
    SCOPED_TRACE(Narrow(file.first + L"/" + file.second));
    folders.insert(file.first);
    SkinWindow* window = Open(file.first, file.second);
    ASSERT_NE(window, nullptr);
    auto it = expected.find(file.first);
    if (it == expected.end()) continue;
    for (const auto& control : it->second) {
      SCOPED_TRACE(Narrow(control.first));
      ui::Control* found = window->FindControlByName(control.first);
      ASSERT_NE(found, nullptr);
      if (control.second == kLabel) {
        EXPECT_NE(dynamic_cast<ui::LabelTemplate<ui::Control>*>(found), nullptr);
      } else if (control.second == kButton) {
        EXPECT_NE(dynamic_cast<ui::ButtonTemplate<ui::Control>*>(found), nullptr);
      } else if (control.second == kVBox) {
        EXPECT_NE(dynamic_cast<ui::VBox*>(found), nullptr);
      } else if (control.second == kHBox) {
        EXPECT_NE(dynamic_cast<ui::HBox*>(found), nullptr);
      } else if (control.second == kTabBox) {
        EXPECT_NE(dynamic_cast<ui::TabBox*>(found), nullptr);
      } else if (control.second == kWebView) {
        EXPECT_NE(dynamic_cast<MainComponents::CefDummyControl*>(found), nullptr);
      }
      EXPECT_TRUE(found->IsVisible());
    }
  }
  for (const auto& entry : expected) EXPECT_EQ(folders.count(entry.first), 1u) << Narrow(entry.first);
}

TEST_F(SkinContentTest, BoxesCoverTheirOwnerWithTheCardInTheMiddle) {
  for (const wchar_t* folder : {L"msgbox", L"optionsbox"}) {
    SCOPED_TRACE(Narrow(folder));
    SkinWindow* window = Open(folder, L"skin.xml");
    ASSERT_NE(window, nullptr);
    RECT box, owner;
    GetWindowRect(window->GetHwnd(), &box);
    GetWindowRect(Owner()->GetHwnd(), &owner);
    EXPECT_EQ(box.left, owner.left);
    EXPECT_EQ(box.top, owner.top);
    EXPECT_EQ(box.right, owner.right);
    EXPECT_EQ(box.bottom, owner.bottom);
    const ui::Rect card = Bounds(window, L"card");
    EXPECT_NEAR((card.left + card.right) / 2, (owner.right - owner.left) / 2, 1);
    EXPECT_NEAR((card.top + card.bottom) / 2, (owner.bottom - owner.top) / 2, 1);
    const ui::Rect close = Bounds(window, L"btn_close");
    EXPECT_GT(close.left, (card.left + card.right) / 2);
    EXPECT_LT(close.bottom, card.top + 60);
    EXPECT_LE(close.right, card.right);
  }
}

TEST_F(SkinContentTest, HidingEitherMessageBoxButtonKeepsTheOtherAtTheRightEdge) {
  SkinWindow* window = Open(L"msgbox", L"skin.xml");
  ASSERT_NE(window, nullptr);
  ui::Control* yes = window->FindControlByName(L"btn_yes");
  ui::Control* no = window->FindControlByName(L"btn_no");
  ASSERT_NE(yes, nullptr);
  ASSERT_NE(no, nullptr);
  static_cast<ui::ButtonTemplate<ui::Control>*>(yes)->SetText(L"Yes");
  static_cast<ui::ButtonTemplate<ui::Control>*>(no)->SetText(L"No");
  Relayout(window);
  const int edge = yes->GetBounds().right;
  EXPECT_LT(no->GetBounds().right, yes->GetBounds().left);
  EXPECT_GT(no->GetBounds().Width(), 0);

  no->SetVisible(false);
  Relayout(window);
  EXPECT_EQ(yes->GetBounds().right, edge);

  no->SetVisible(true);
  yes->SetVisible(false);
  Relayout(window);
  EXPECT_EQ(no->GetBounds().right, edge);
}

TEST_F(SkinContentTest, EveryImageTheMarkupNamesIsInTheArchiveAndFitsItsCorners) {
  // Images are named relative to a window's folder; global.xml's classes serve every window.
  std::vector<std::pair<std::wstring, std::wstring>> uses;  // (folder, descriptor)
  for (const std::wstring& descriptor :
       ImageDescriptors(ReadEntry(L"resources\\themes\\default\\global.xml"))) {
    uses.emplace_back(L"msgbox", descriptor);
  }
  for (const auto& file : WindowFiles()) {
    for (const std::wstring& descriptor :
         ImageDescriptors(ReadEntry(L"resources\\themes\\default\\" + file.first + L"\\" + file.second))) {
      uses.emplace_back(file.first, descriptor);
    }
  }
  // The shadow every window gets unless its skin names another.
  uses.emplace_back(L"msgbox", ui::WindowShadow().image);
  // The main window's link buttons take their pictures from the channel's link file.
  for (const char* language : {"zh_CN", "en"}) {
    LinkConfiguration config;
    ASSERT_TRUE(ReadLinkConfiguration(language, config));
    for (const JumpLink& link : config.jumpLinks) {
      for (const std::string& image : {link.normalImage, link.hotImage}) {
        std::wstring wide;
        ui::MultiByteToWide(image, wide, CP_UTF8);
        uses.emplace_back(L"main", wide);
      }
    }
  }
  EXPECT_GT(uses.size(), 30u);
  for (const auto& use : uses) {
    SCOPED_TRACE(Narrow(use.first + L": " + use.second));
    // As a control takes it: a bare file name, or a descriptor with file='...'.
    ui::ImageSpec spec;
    spec.file = use.second;
    spec.Parse(use.second);
    ASSERT_FALSE(spec.file.empty());
    const std::wstring path = ui::NormalizePath(UiRuntime::GetResourceRoot() + use.first + L"\\" + spec.file);
    HGLOBAL block = UiRuntime::ReadZipEntry(path);
    ASSERT_NE(block, nullptr) << Narrow(path);
    GlobalFree(block);
    std::shared_ptr<ui::ImageInfo> image = UiRuntime::GetOrLoadImage(path);
    ASSERT_NE(image, nullptr);
    // A stretched middle of at least one pixel in each direction.
    EXPECT_LT(spec.corner.left + spec.corner.right, image->width);
    EXPECT_LT(spec.corner.top + spec.corner.bottom, image->height);
    // Everything is shaped by its transparency, but the key art, an opaque picture.
    if (spec.file.find(L"main_key_art") == std::wstring::npos) EXPECT_TRUE(image->hasAlpha);
  }
}

TEST_F(SkinContentTest, MainWindowStacksTitleBarKeyArtAndBottomBarWithoutPostersOrNews) {
  SkinWindow* window = Open(L"main", L"skin.xml");
  ASSERT_NE(window, nullptr);
  ui::DpiScale& dpi = ui::DpiScale::Instance();
  const ui::Rect titleBar = Bounds(window, L"title_bar");
  const ui::Rect art = Bounds(window, L"key_art");
  const ui::Rect bottom = Bounds(window, L"bottom_bar");
  EXPECT_EQ(titleBar.Width(), dpi.ScaleValue(1000));
  EXPECT_EQ(bottom.bottom - titleBar.top, dpi.ScaleValue(600));
  EXPECT_EQ(art.top, titleBar.bottom);
  EXPECT_EQ(bottom.top, art.bottom);
  EXPECT_GT(art.Height(), dpi.ScaleValue(400));

  // The web view covers the art; the titles and the link bar stand over it.
  const ui::Rect web = Bounds(window, L"webview");
  EXPECT_EQ(web.left, art.left);
  EXPECT_EQ(web.top, art.top);
  EXPECT_EQ(web.right, art.right);
  EXPECT_EQ(web.bottom, art.bottom);
  for (const wchar_t* name : {L"text_title_main", L"text_title_sub", L"jump_links"}) {
    SCOPED_TRACE(Narrow(name));
    const ui::Rect r = Bounds(window, name);
    EXPECT_GE(r.left, art.left);
    EXPECT_GE(r.top, art.top);
    EXPECT_LE(r.right, art.right);
    EXPECT_LE(r.bottom, art.bottom);
  }
  EXPECT_LT(Bounds(window, L"text_title_main").bottom, Bounds(window, L"text_title_sub").bottom);
  EXPECT_GT(Bounds(window, L"jump_links").right, (art.left + art.right) / 2);

  // The title bar's buttons from left to right, the game button at the bottom bar's right.
  ui::Rect previous = Bounds(window, L"wnd_title");
  for (const wchar_t* name : {L"btn_settings", L"minbtn", L"btn_close"}) {
    SCOPED_TRACE(Narrow(name));
    const ui::Rect r = Bounds(window, name);
    EXPECT_GT(r.left, previous.right);
    EXPECT_GE(r.top, titleBar.top);
    EXPECT_LE(r.bottom, titleBar.bottom);
    previous = r;
  }
  const ui::Rect game = Bounds(window, L"btn_game");
  EXPECT_GT(game.left, (bottom.left + bottom.right) / 2);
  EXPECT_GE(game.top, bottom.top);
  EXPECT_LE(game.bottom, bottom.bottom);

  auto* button = dynamic_cast<ui::ButtonTemplate<ui::Control>*>(window->FindControlByName(L"btn_game"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->GetText(), ui::LanguageTable::Instance()->Lookup(L"STRING_START_GAME"));
  ui::StateImageSet* images = button->GetStateImages().FindSet(ui::kImageKindBackground);
  ASSERT_NE(images, nullptr);
  for (int state = ui::kStateNormal; state <= ui::kStateDisabled; ++state) {
    EXPECT_FALSE(images->GetImage(static_cast<ui::ControlState>(state)).spec.file.empty()) << state;
    EXPECT_FALSE(button->GetStateTextColor(static_cast<ui::ControlState>(state)).empty()) << state;
  }

  // The shipped window has no poster strip and no news: those stay for a skin that brings them.
  for (const wchar_t* name : {L"scroll_pages", L"dot_list", L"btn_scroll_left", L"btn_scroll_right", L"tab_labels",
                              L"tab_pages", L"poster_frame", L"webview_debug"}) {
    EXPECT_EQ(window->FindControlByName(name), nullptr) << Narrow(name);
  }
}

TEST_F(SkinContentTest, ChannelLinkFileGivesTitlesLinksAndLinkButtonsInBothLanguages) {
  std::map<std::string, LinkConfiguration> read;
  for (const char* language : {"zh_CN", "en"}) {
    SCOPED_TRACE(language);
    LinkConfiguration& config = read[language];
    ASSERT_TRUE(ReadLinkConfiguration(language, config));
    for (const char* key : {"title_main", "title_sub"}) EXPECT_FALSE(config.titles[key].empty()) << key;
    for (const char* name : {"Service", "Privacy", "FAQ"}) EXPECT_EQ(config.links.count(name), 1u) << name;
    // Addresses only on the reserved example domains, over HTTPS.
    static const std::regex kReserved("https://([a-z0-9-]+\\.)*example\\.(com|org|net)([/?].*)?");
    for (const auto& link : config.links) EXPECT_TRUE(std::regex_match(link.second, kReserved)) << link.first;

    ASSERT_GE(config.jumpLinks.size(), 2u);
    EXPECT_EQ(config.jumpLinks.back().name, "FAQ");
    std::set<std::string> names;
    for (const JumpLink& link : config.jumpLinks) {
      SCOPED_TRACE(link.name);
      names.insert(link.name);
      EXPECT_EQ(config.links.count(link.name), 1u);
      EXPECT_TRUE(link.name == "FAQ" || link.name.compare(0, 6, "Forum_") == 0);
      EXPECT_NE(link.normalImage, link.hotImage);
      std::wstring key;
      ui::MultiByteToWide(link.tooltips, key, CP_UTF8);
      ASSERT_FALSE(key.empty());
      EXPECT_NE(ui::LanguageTable::Instance()->Lookup(key), key);
    }
    EXPECT_EQ(names.size(), config.jumpLinks.size());
  }
  // Each language has its own titles, not the English fallback.
  EXPECT_NE(read["zh_CN"].titles["title_main"], read["en"].titles["title_main"]);
  EXPECT_NE(read["zh_CN"].titles["title_sub"], read["en"].titles["title_sub"]);
}

TEST_F(SkinContentTest, ExecutableCarriesIconGroup107InTheUsualSizes) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(107), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(self, group)));
  ASSERT_NE(directory, nullptr);
  const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const BYTE width = directory[6 + 14 * i];
    sizes.push_back(width == 0 ? 256 : width);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));
  // The tray and the window load it at the system's icon sizes.
  for (int size : {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CXICON), 48, 256}) {
    HICON icon = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(107), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_F(SkinContentTest, ScreenshotsOfTheBoxes) {
  using Label = ui::LabelTemplate<ui::Control>;
  auto text = [](ui::Window* window, const wchar_t* name, const std::wstring& value) {
    if (auto* label = dynamic_cast<Label*>(window->FindControlByName(name))) label->SetText(value);
  };
  SkinWindow* box = Open(L"msgbox", L"skin.xml");
  ASSERT_NE(box, nullptr);
  text(box, L"title", L"\u53d1\u73b0\u65b0\u7248\u672c");  // a new version
  text(box, L"content",
       L"\u65b0\u7248\u672c\u5df2\u7ecf\u51c6\u5907\u5c31\u7eea\u3002\u73b0\u5728\u66f4\u65b0\u5417\uff1f"
       L"\u66f4\u65b0\u671f\u95f4\u65e0\u6cd5\u542f\u52a8\u6e38\u620f\u3002 The launcher restarts when the "
       L"update "
       L"is done.");
  text(box, L"detail", L"1.0.2 \u2192 1.0.3 \u00b7 235.4 MB");
  text(box, L"btn_no", L"\u7a0d\u540e");
  text(box, L"btn_yes", L"\u7acb\u5373\u66f4\u65b0");
  Relayout(box);
  Screenshot(box, L"skin_msgbox.png");
  box->FindControlByName(L"btn_no")->SetVisible(false);
  text(box, L"detail", L"");
  Relayout(box);
  Screenshot(box, L"skin_msgbox_one_button.png");
  DestroyWindow(box->GetHwnd());
  ui_test::PumpFor(50);

  SkinWindow* options = Open(L"optionsbox", L"skin.xml");
  ASSERT_NE(options, nullptr);
  text(options, L"content", L"\u5173\u95ed\u4e3b\u9762\u677f\u65f6\uff1a");  // when closing the main window
  text(options, L"btn_ok", L"\u786e\u5b9a");
  auto* list = dynamic_cast<ui::VBox*>(options->FindControlByName(L"option_vlist"));
  ASSERT_NE(list, nullptr);
  const wchar_t* choices[] = {L"\u6700\u5c0f\u5316\u5230\u7cfb\u7edf\u6258\u76d8",
                              L"\u9000\u51fa\u542f\u52a8\u5668"};
  for (size_t i = 0; i < 2; ++i) {
    // As the options box adds them.
    auto* option = new ui::OptionTemplate<ui::Control>();
    option->ApplyClasses(L"btn_radio");
    option->SetGroupName(L"shutdown_options");
    option->SetText(choices[i]);
    list->InsertChildAt(option, i);
    option->SetSelected(i == 0, false);
  }
  Relayout(options);
  Screenshot(options, L"skin_optionsbox.png");
}

TEST_F(SkinContentTest, ScreenshotOfTheMainWindow) {
  SkinWindow* window = Open(L"main", L"skin.xml");
  ASSERT_NE(window, nullptr);
  // Filled as the window fills itself: titles from the link file, the version, one button per link.
  LinkConfiguration config;
  ASSERT_TRUE(ReadLinkConfiguration("zh_CN", config));
  using Label = ui::LabelTemplate<ui::Control>;
  auto text = [window](const wchar_t* name, const std::wstring& value) {
    if (auto* label = dynamic_cast<Label*>(window->FindControlByName(name))) label->SetText(value);
  };
  text(L"text_title_main", config.titles["title_main"]);
  text(L"text_title_sub", config.titles["title_sub"]);
  text(L"text_version", L"1.0.3");
  auto* bar = dynamic_cast<ui::HBox*>(window->FindControlByName(L"jump_links"));
  ASSERT_NE(bar, nullptr);
  for (const JumpLink& link : config.jumpLinks) {
    auto* button = new ui::ButtonTemplate<ui::Control>();
    button->ApplyAttribute(L"width", L"auto");
    button->ApplyAttribute(L"height", L"auto");
    std::wstring normal, hot;
    ui::MultiByteToWide(link.normalImage, normal, CP_UTF8);
    ui::MultiByteToWide(link.hotImage, hot, CP_UTF8);
    button->ApplyAttribute(L"normalimage", normal);
    button->ApplyAttribute(L"hotimage", hot);
    bar->AddChild(button);
  }
  Relayout(window);
  // Each button takes its picture's size.
  for (size_t i = 0; i < config.jumpLinks.size(); ++i) {
    ASSERT_NE(bar->GetChildAt(i), nullptr);
    EXPECT_GT(bar->GetChildAt(i)->GetBounds().Width(), 0) << i;
  }
  Screenshot(window, L"skin_main.png");
}
