// The skin-driven window base on real windows: built from the tests' skin folder at
// WM_CREATE, wrapped in its shadow, hit-tested, sized and closed through real messages.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "ui/animation/ui_test_pump.h"
#include "ui/controls/button.h"
#include "ui/core/box.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/shadow_box.h"
#include "ui/core/window_impl_base.h"
#include "ui/core/window_test_support.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"

namespace {

using ui::UiRuntime;
using window_test::MouseButton;
using window_test::MoveMouseTo;

constexpr int kLeft = 100, kTop = 100;

// DV_SOURCE_DIR is a Unix path; Wine shows it on drive Z:.
std::wstring SkinRoot() {
  const wchar_t* root = _wgetenv(L"DV_SOURCE_DIR");
  std::wstring path = root ? root : L".";
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  path += L"/tests/ui/core/skin_fixtures/";
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// A root whose measured size is known, made by the window's own factory.
class MeasuredRoot : public ui::Box {
 public:
  ui::Size Measure(ui::Size /*available*/) override {
    ++measures;
    return ui::Size{170, 120};
  }
  int measures = 0;
};

// What a window saw, kept outside it: a close may delete the window before the test reads them.
bool g_deleted = false;
std::vector<std::wstring> g_order;
int g_alphaAtClose = -1;

class SkinWindow : public ui::WindowImplBase {
 public:
  explicit SkinWindow(const std::wstring& folder) : folder_(folder) {
    g_deleted = false;
    g_order.clear();
    g_alphaAtClose = -1;
  }
  ~SkinWindow() override { g_deleted = true; }

  std::wstring RegisteredClassName() const override { return L"DvSkinWindowTest"; }
  std::wstring SkinSubfolder() const override { return folder_; }
  std::wstring SkinXmlFileName() const override { return L"skin.xml"; }
  void OnSkinLoaded() override {
    ++skinLoaded;
    // The window's own click handler runs before the base's caption handling.
    if (ui::Control* close = FindControlByName(L"closebtn")) {
      close->AddEventHandler(ui::kEventClick, [](ui::EventArgs*) {
        g_order.push_back(L"own");
        return true;
      });
    }
  }
  ui::Control* CreateCustomControl(const std::wstring& name) override {
    if (name != L"MeasuredRoot") return nullptr;
    measured = new MeasuredRoot();
    return measured;
  }
  LRESULT HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
    ++closes;
    g_order.push_back(L"close");
    g_alphaAtClose = GetWindowAlpha();
    if (keepOpen) return 0;
    return WindowImplBase::HandleClose(message, wParam, lParam, handled);
  }

  int skinLoaded = 0;
  int closes = 0;
  bool keepOpen = false;
  MeasuredRoot* measured = nullptr;

 private:
  std::wstring folder_;
};

class WindowImplBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiRuntime::SetResourceRoot(SkinRoot());
    ui::LanguageTable::Instance()->ParseLines({L"STRING_TITLE = Skin window"});
    ASSERT_NE(UiRuntime::RegisterFont(L"skin.20", L"system", 20, false, false, false, false), nullptr);
    UiRuntime::SetColor(L"skin.white", 0xFFFFFFFFu);
    UiRuntime::SetColor(L"skin.black", 0xFF000000u);
    MoveMouseTo(kLeft + 600, kTop + 500);
  }
  void TearDown() override {
    if (window_ && !g_deleted) DestroyWindow(window_->GetHwnd());
    ui_test::PumpFor(50);
  }

  SkinWindow* Open(const std::wstring& folder) {
    window_ = new SkinWindow(folder);
    HWND hwnd = window_->CreateNativeWindow(nullptr, L"", WS_POPUP | WS_CAPTION, 0, true,
                                            ui::Rect{kLeft, kTop, kLeft + 200, kTop + 100});
    if (!hwnd) {
      window_ = nullptr;
      return nullptr;
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    // Shown and laid out: the first layout starts the fade-in.
    ui_test::PumpUntil([this] { return !window_->IsFirstLayoutPending(); }, 30000);
    ui_test::PumpFor(100);
    return window_;
  }

  // The centre of a control, in window coordinates, once the window has laid it out.
  POINT CentreOf(const wchar_t* name) {
    const ui::Rect b = window_->FindControlByName(name)->GetBounds(true);
    return POINT{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
  }

  void ClickOn(const wchar_t* name) {
    const POINT centre = CentreOf(name);
    ClickAt(centre.x, centre.y);
  }
  // Each input has been handled when its call returns.
  void ClickAt(int x, int y) {
    RECT rect;
    GetWindowRect(window_->GetHwnd(), &rect);
    MoveMouseTo(rect.left + x, rect.top + y);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    MouseButton(MOUSEEVENTF_LEFTUP);
  }

  LRESULT HitAt(int x, int y) {
    RECT rect;
    GetWindowRect(window_->GetHwnd(), &rect);
    return SendMessageW(window_->GetHwnd(), WM_NCHITTEST, 0, MAKELPARAM(rect.left + x, rect.top + y));
  }

  SkinWindow* window_ = nullptr;
};

TEST_F(WindowImplBaseTest, BuildsTheSkinFramelessInsideItsShadow) {
  SkinWindow* window = Open(L"window");
  ASSERT_NE(window, nullptr);
  const ui::DpiScale& dpi = ui::DpiScale::Instance();
  const int pad = dpi.ScaleValue(14);
  EXPECT_EQ(window->skinLoaded, 1);
  EXPECT_EQ(window->GetResourceSubfolder(), L"window\\");
  EXPECT_EQ(GetWindowLongPtrW(window->GetHwnd(), GWL_STYLE) & WS_CAPTION, 0);
  auto* shadow = dynamic_cast<ui::ShadowBox*>(window->GetRoot());
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(window->GetShadow().box, shadow);
  EXPECT_EQ(shadow->GetFixedWidth(), dpi.ScaleValue(400) + 2 * pad);
  EXPECT_EQ(shadow->GetChildAt(0)->GetName(), L"body");
  // The client area is the whole window, shadow included.
  RECT client;
  GetClientRect(window->GetHwnd(), &client);
  EXPECT_EQ(client.right, dpi.ScaleValue(400) + 2 * pad);
  EXPECT_EQ(client.bottom, dpi.ScaleValue(300) + 2 * pad);
  wchar_t title[64] = {};
  GetWindowTextW(window->GetHwnd(), title, 64);
  EXPECT_STREQ(title, L"Skin window");
}

TEST_F(WindowImplBaseTest, ScreenshotShowsShadowChineseCaptionAndButtonImage) {
  SkinWindow* window = Open(L"window");
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(ui::DpiScale::Instance().ScaleValue(14), 14) << "the pixels are laid out at 96 DPI";
  // The fade-in runs to its end.
  ui_test::PumpUntil([window] { return window->GetWindowAlpha() == 255; }, 30000);
  ui_test::PumpFor(200);
  RECT rect;
  GetWindowRect(window->GetHwnd(), &rect);
  const window_test::Capture capture = window_test::CaptureScreen(rect);
  const std::string path = window_test::SaveCapture(capture, "skin_window");
  std::cout << "screenshot: " << path << std::endl;
  using window_test::Channel;
  EXPECT_TRUE(window_test::RgbNear(capture.At(200, 200), 0xFFFFFFFFu));  // the body
  const ui::Rect button = window->FindControlByName(L"closebtn")->GetBounds(true);
  EXPECT_EQ(button.right - button.left, 24);
  EXPECT_TRUE(window_test::RgbNear(capture.At(button.left + 4, button.top + 12), 0xFF1E5AC8u));  // the image
  EXPECT_TRUE(window_test::RgbNear(capture.At(button.left, button.top + 12), 0xFFFFFFFFu));      // its rim
  // The shadow band is neither the body's white nor missing: its grey shows around the body.
  const uint32_t shadow = capture.At(8, 150);
  EXPECT_LT(Channel(shadow, 16), 0xC0);
  // The Chinese title has ink: dark pixels inside its rectangle.
  const ui::Rect title = window->FindControlByName(L"title")->GetBounds(true);
  int ink = 0;
  for (int y = title.top; y < title.bottom; ++y) {
    for (int x = title.left; x < title.right; ++x) {
      if (Channel(capture.At(x, y), 8) < 0x60) ++ink;
    }
  }
  EXPECT_GT(ink, 40);
}

TEST_F(WindowImplBaseTest, HitTestsSizingBandsShadowAndCaption) {
  SkinWindow* window = Open(L"window");
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(ui::DpiScale::Instance().ScaleValue(14), 14) << "the table is laid out at 96 DPI";
  // Inner rectangle (14, 14)-(414, 314); size box 6; caption 40 high.
  const struct {
    int x, y;
    LRESULT hit;
  } cases[] = {
      {5, 5, HTCLIENT},        {5, 16, HTTOP},           {15, 16, HTTOPLEFT},   {200, 16, HTTOP},
      {410, 16, HTTOPRIGHT},   {420, 16, HTTOP},         {5, 150, HTCLIENT},    {16, 150, HTLEFT},
      {411, 150, HTRIGHT},     {420, 150, HTCLIENT},     {200, 320, HTCLIENT},  {200, 312, HTBOTTOM},
      {15, 312, HTBOTTOMLEFT}, {412, 312, HTBOTTOMRIGHT}, {200, 30, HTCAPTION}, {200, 53, HTCAPTION},
      {200, 54, HTCLIENT},     {200, 150, HTCLIENT},
  };
  for (const auto& c : cases) EXPECT_EQ(HitAt(c.x, c.y), c.hit) << c.x << "," << c.y;
  // A label in the caption drags the window; a button there keeps its clicks.
  const POINT title = CentreOf(L"title"), close = CentreOf(L"closebtn"), max = CentreOf(L"maxbtn");
  ASSERT_LT(title.y, 54);
  EXPECT_EQ(HitAt(title.x, title.y), HTCAPTION);
  EXPECT_EQ(HitAt(close.x, close.y), HTCLIENT);
  EXPECT_EQ(HitAt(max.x, max.y), HTCLIENT);

  // Maximised: no sizing borders and no shadow, and the caption still drags.
  ShowWindow(window->GetHwnd(), SW_MAXIMIZE);
  ui_test::PumpFor(100);
  ASSERT_TRUE(IsZoomed(window->GetHwnd()));
  EXPECT_EQ(window->GetShadow().padding.left, 0);
  EXPECT_EQ(HitAt(2, 2), HTCAPTION);
  EXPECT_EQ(HitAt(2, 200), HTCLIENT);
  RECT rect;
  GetWindowRect(window->GetHwnd(), &rect);
  EXPECT_EQ(HitAt(rect.right - rect.left - 2, 200), HTCLIENT);
}

TEST_F(WindowImplBaseTest, CaptionButtonsSwapMaximiseAndClose) {
  SkinWindow* window = Open(L"window");
  ASSERT_NE(window, nullptr);
  HWND hwnd = window->GetHwnd();
  ui::Control* maxButton = window->FindControlByName(L"maxbtn");
  ui::Control* restoreButton = window->FindControlByName(L"restorebtn");
  ASSERT_NE(maxButton, nullptr);
  ASSERT_NE(restoreButton, nullptr);

  // Real clicks: maximise swaps the buttons; the restore button swaps them back.
  ClickOn(L"maxbtn");
  EXPECT_TRUE(IsZoomed(hwnd));
  EXPECT_FALSE(maxButton->IsOwnVisible());
  EXPECT_TRUE(restoreButton->IsOwnVisible());
  // Laid out again at the maximised size before the next click is aimed.
  ASSERT_TRUE(ui_test::PumpUntil([window] { return !window->IsArrangePending(); }, 30000));
  ClickOn(L"restorebtn");
  EXPECT_FALSE(IsZoomed(hwnd));
  EXPECT_TRUE(maxButton->IsOwnVisible());
  EXPECT_FALSE(restoreButton->IsOwnVisible());
  ASSERT_TRUE(ui_test::PumpUntil([window] { return !window->IsArrangePending(); }, 30000));

  // Close: the window's own handler first, then the fade, WM_CLOSE and the object deleted.
  // A loaded machine may finish all of it before the click's call returns: from here on
  // nothing is read from the window.
  ClickOn(L"closebtn");
  EXPECT_TRUE(ui_test::PumpUntil([] { return g_deleted; }, 30000));
  EXPECT_EQ(g_order, (std::vector<std::wstring>{L"own", L"close"}));
  EXPECT_EQ(g_alphaAtClose, 0) << "faded out before the close";
  EXPECT_FALSE(IsWindow(hwnd));
  window_ = nullptr;
}

TEST_F(WindowImplBaseTest, SystemMessages) {
  SkinWindow* window = Open(L"window");
  ASSERT_NE(window, nullptr);
  HWND hwnd = window->GetHwnd();
  const ui::DpiScale& dpi = ui::DpiScale::Instance();
  const int pad = dpi.ScaleValue(14);

  // SC_CLOSE becomes WM_CLOSE, which the window's handler sees.
  window->keepOpen = true;
  SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(window->closes, 1);
  EXPECT_TRUE(IsWindow(hwnd));

  // A double click on the caption is swallowed.
  SendMessageW(hwnd, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
  ui_test::PumpFor(50);
  EXPECT_FALSE(IsZoomed(hwnd));

  // Track sizes from "mininfo" and "maxinfo", shadow padding included.
  MINMAXINFO info = {};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, dpi.ScaleValue(300) + 2 * pad);
  EXPECT_EQ(info.ptMinTrackSize.y, dpi.ScaleValue(200) + 2 * pad);
  EXPECT_EQ(info.ptMaxTrackSize.x, dpi.ScaleValue(800) + 2 * pad);
  EXPECT_EQ(info.ptMaxTrackSize.y, dpi.ScaleValue(600) + 2 * pad);
  EXPECT_GT(info.ptMaxSize.x, 0);

  // WM_SIZE gives the round region: the corner pixel is cut, the centre kept.
  SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(428, 328));
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(hwnd, region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 0, 0));
  EXPECT_TRUE(PtInRegion(region, 200, 150));
  EXPECT_TRUE(PtInRegion(region, 200, 0));
  DeleteObject(region);

  // WM_DPICHANGED: the process scale and the shadow padding follow; the window keeps its size.
  ui::DpiScale& scale = ui::DpiScale::Instance();
  const int savedScale = scale.GetScale();
  const bool savedAdapt = scale.IsAdapting();
  scale.SetAdapt(true);
  RECT before;
  GetWindowRect(hwnd, &before);
  RECT suggested = {0, 0, 642, 492};
  SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(scale.GetScale(), 150);
  EXPECT_EQ(window->GetShadow().padding.left, 21);
  EXPECT_EQ(window->GetShadow().savedPadding.right, 21);
  EXPECT_EQ(window->GetShadow().box->GetLayout()->GetPadding().top, 21);
  RECT after;
  GetWindowRect(hwnd, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  scale.SetScale(savedScale);
  scale.SetAdapt(savedAdapt);

  // Restored and brought back from minimised.
  ShowWindow(hwnd, SW_MINIMIZE);
  ui_test::PumpFor(50);
  window->RestoreAndActivate();
  ui_test::PumpFor(50);
  EXPECT_FALSE(IsIconic(hwnd));
  ShowWindow(hwnd, SW_HIDE);
  window->RestoreAndActivate();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  window->SetCaptionText(L"renamed");
  wchar_t title[32] = {};
  GetWindowTextW(hwnd, title, 32);
  EXPECT_STREQ(title, L"renamed");
}

TEST_F(WindowImplBaseTest, AutoSizedRootIsMeasuredOnceAndMovedToTheOrigin) {
  SkinWindow* window = new SkinWindow(L"autowin");
  window_ = window;
  HWND hwnd = window->CreateNativeWindow(nullptr, L"", WS_POPUP, 0, true, ui::Rect{100, 100, 300, 200});
  ASSERT_NE(hwnd, nullptr);
  ASSERT_NE(window->measured, nullptr);
  EXPECT_EQ(window->GetRoot(), window->measured);  // no shadow to wrap it in
  EXPECT_EQ(window->measured->measures, 1);
  RECT rect;
  GetWindowRect(hwnd, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, 170);  // measured, above the minimum width
  EXPECT_EQ(rect.bottom - rect.top, 100);  // measured 120, lowered to the maximum height
}

// Reads every static text of the first message box titled "Dorevezi", then dismisses it.
std::wstring DismissMessageBox(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    HWND box = FindWindowW(L"#32770", L"Dorevezi");
    if (box) {
      std::wstring texts;
      EnumChildWindows(
          box,
          [](HWND child, LPARAM data) -> BOOL {
            wchar_t text[512] = {};
            GetWindowTextW(child, text, 512);
            *reinterpret_cast<std::wstring*>(data) += std::wstring(text) + L"|";
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&texts));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return texts;
    }
    Sleep(20);
  }
  return L"(no message box)";
}

TEST_F(WindowImplBaseTest, ASkinThatCannotBeBuiltShowsTheBoxAndCreatesNothing) {
  std::wstring texts;
  std::thread reader([&texts] { texts = DismissMessageBox(10000); });
  auto* window = new SkinWindow(L"broken");
  HWND hwnd = window->CreateNativeWindow(nullptr, L"", WS_POPUP, 0, true, ui::Rect{100, 100, 300, 200});
  reader.join();
  EXPECT_EQ(hwnd, nullptr);
  EXPECT_NE(texts.find(L"Failed to load xml file broken\\skin.xml|"), std::wstring::npos) << texts;
  // The native window never came to be, and the object went with it.
  EXPECT_TRUE(g_deleted);
  EXPECT_EQ(FindWindowW(L"DvSkinWindowTest", nullptr), nullptr);
}

TEST_F(WindowImplBaseTest, ARichEditInTheCaptionKeepsItsClicks) {
  SkinWindow* window = Open(L"captionedit");
  ASSERT_NE(window, nullptr);
  const POINT title = CentreOf(L"title"), search = CentreOf(L"search"), gap = CentreOf(L"gap");
  ASSERT_LT(search.y, 54);
  EXPECT_EQ(HitAt(title.x, title.y), HTCAPTION);
  // Checked before the click: a click on the caption would start the system's move loop.
  ASSERT_EQ(HitAt(search.x, search.y), HTCLIENT);
  EXPECT_EQ(HitAt(gap.x, gap.y), HTCAPTION);
  // A real click there reaches the edit: it takes the focus instead of the window moving.
  RECT before;
  GetWindowRect(window->GetHwnd(), &before);
  ClickOn(L"search");
  ui::Control* edit = window->FindControlByName(L"search");
  EXPECT_TRUE(ui_test::PumpUntil([&] { return window->GetFocusedControl() == edit; }, 3000));
  RECT after;
  GetWindowRect(window->GetHwnd(), &after);
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
}

}  // namespace
