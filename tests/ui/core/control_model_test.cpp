// The control data model: measuring, bounds, visibility, enabling, the channel filter and the
// small properties, with real images decoded by GDI+ and a real native window.

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"
#include "ui/core/control_test_support.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::ProbeControl;
using ui_test::R;
using ui_test::Same;
using ui_test::ScopedDpi;
using ui_test::TestWindow;

namespace {

class ControlModelTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override {
    UiRuntime::SetChannel(L"AppStore");
    UiRuntime::Uninitialize();
  }

  // A 40 x 20 PNG in the test folder.
  std::wstring Image40x20() {
    const std::wstring path = dir_.Path() + L"\\pic.png";
    std::vector<uint32_t> pixels(40 * 20, 0xFF336699u);
    EXPECT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(40, 20, pixels)));
    return path;
  }

  test_support::TempDir dir_;
};

TEST_F(ControlModelTest, MeasureTable) {
  const std::wstring image = Image40x20();
  struct Case {
    int scale;
    const wchar_t* width;
    const wchar_t* height;
    std::wstring bkimage;  // empty: none
    Size text;
    Size expected;
    int textMeasures;  // MeasureText calls of the first Measure
  };
  const Case cases[] = {
      // Fixed sizes pass through, stretch as -1, without measuring text.
      {100, L"120", L"stretch", L"", {50, 10}, {120, -1}, 0},
      // Image and text: the larger of the two per auto dimension; scaled images at 150 %.
      {100, L"auto", L"auto", image, {50, 10}, {50, 20}, 1},
      {150, L"auto", L"auto", image, {50, 10}, {60, 30}, 1},
      // Only the auto dimension follows the content.
      {150, L"auto", L"25", image, {50, 10}, {60, 38}, 1},
      // No image: the text decides.
      {100, L"auto", L"auto", L"", {50, 10}, {50, 10}, 1},
      // A complete source rectangle fixes the size, scaled, without loading or text.
      {100, L"auto", L"auto", L"file='" + image + L"' source='0,0,24,24'", {50, 10}, {24, 24}, 0},
      {150, L"auto", L"auto", L"file='" + image + L"' source='0,0,24,24'", {50, 10}, {36, 36}, 0},
      // A negative source width leaves the width auto; the height is taken.
      {100, L"auto", L"auto", L"file='" + image + L"' source='10,0,5,20'", {50, 10}, {kSizeAuto, 20}, 0},
      // A missing file measures as no image.
      {100, L"auto", L"auto", dir_.Path() + L"\\missing.png", {7, 9}, {7, 9}, 1},
  };
  for (const Case& c : cases) {
    ScopedDpi dpi(c.scale);
    ProbeControl control;
    control.textSize = c.text;
    control.ApplyAttribute(L"width", c.width);
    control.ApplyAttribute(L"height", c.height);
    if (!c.bkimage.empty()) control.ApplyAttribute(L"bkimage", c.bkimage);
    const Size first = control.Measure(Size{1000, 1000});
    EXPECT_EQ(first.cx, c.expected.cx) << c.scale << " " << c.bkimage;
    EXPECT_EQ(first.cy, c.expected.cy) << c.scale << " " << c.bkimage;
    EXPECT_EQ(control.textMeasures, c.textMeasures) << c.bkimage;
    // Measured again without a change: the same, from the cache or the fixed size.
    const Size second = control.Measure(Size{1000, 1000});
    EXPECT_EQ(second.cx, first.cx);
    EXPECT_EQ(second.cy, first.cy);
    EXPECT_EQ(control.textMeasures, c.textMeasures) << "measured again: " << c.bkimage;
  }
}

TEST_F(ControlModelTest, SourceRectangleAsksTheAutoSizedAncestorsForLayout) {
  const std::wstring image = Image40x20();
  TestWindow window;
  Box* root = new Box();
  Box* autoBox = new Box();
  autoBox->ApplyAttribute(L"width", L"auto");
  Control* child = new Control();
  child->ApplyAttribute(L"width", L"auto");
  child->ApplyAttribute(L"bkimage", L"file='" + image + L"' source='0,0,24,24'");
  autoBox->AddChild(child);
  root->AddChild(autoBox);
  window.AttachRoot(root);
  root->SetArrangePending(false);
  autoBox->SetMeasurePending(false);
  window.SetArrangePending(false);

  const Size size = child->Measure(Size{500, 500});
  EXPECT_EQ(size.cx, 24);
  EXPECT_EQ(child->GetFixedWidth(), 24);
  EXPECT_TRUE(autoBox->IsMeasurePending());
  EXPECT_TRUE(root->IsArrangePending());
  EXPECT_TRUE(window.IsArrangePending());
}

TEST_F(ControlModelTest, SetBoundsRaisesOneResizeAndNormalises) {
  TestWindow window;
  ProbeControl* control = new ProbeControl();
  window.AttachRoot(control);
  int resized = 0;
  control->AddEventHandler(kEventResized, [&](EventArgs* args) {
    ++resized;
    EXPECT_EQ(args->sender, control);
    // Setting other bounds from the handler raises no second event.
    if (resized == 1) control->SetBounds(R(0, 0, 30, 30));
    return true;
  });
  control->SetBounds(R(10, 10, 50, 40));
  EXPECT_EQ(resized, 1);
  EXPECT_TRUE(Same(control->GetBounds(), R(0, 0, 30, 30)));
  EXPECT_FALSE(control->IsArrangePending());

  // The same rectangle: no event, only the arrange mark is cleared.
  control->SetArrangePending(true);
  control->SetBounds(R(0, 0, 30, 30));
  EXPECT_EQ(resized, 1);
  EXPECT_FALSE(control->IsArrangePending());

  // Right left of left and bottom above top: an empty rectangle at the left and top edges.
  control->SetBounds(R(20, 25, 5, 10));
  EXPECT_TRUE(Same(control->GetBounds(), R(20, 25, 20, 25)));
  EXPECT_EQ(resized, 2);
}

TEST_F(ControlModelTest, ResizeHandlerDeletingItsControlEndsSetBounds) {
  TestWindow window;
  Control* control = new Control();
  control->AttachTo(&window, nullptr, false);
  window.SetFocusedControl(control);
  bool ran = false;
  control->AddEventHandler(kEventResized, [&](EventArgs*) {
    ran = true;
    delete control;
    return true;
  });
  control->SetBounds(R(0, 0, 10, 10));
  EXPECT_TRUE(ran);
  // The window forgot the dead control.
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
}

TEST_F(ControlModelTest, WithoutNativeWindowNothingIsPostedToTheThread) {
  ui_test::DrainThreadMessages(WM_PAINT);
  ui_test::DrainThreadMessages(kMsgDeleteDeferred);
  TestWindow window;
  Box* oldRoot = new Box();
  window.AttachRoot(oldRoot);
  oldRoot->SetBounds(R(0, 0, 40, 40));
  oldRoot->Invalidate();
  window.AttachRoot(new Box());  // the old root is queued for deferred deletion
  EXPECT_EQ(ui_test::DrainThreadMessages(WM_PAINT), 0);
  EXPECT_EQ(ui_test::DrainThreadMessages(kMsgDeleteDeferred), 0);
  EXPECT_EQ(window.DeferredDeletionCount(), 1u);
  window.DeleteDeferredControls();
  EXPECT_EQ(window.DeferredDeletionCount(), 0u);
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(ControlModelTest, SetBoundsInvalidatesOldAndNewAreaWithinTheParent) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"DvControlModelTest";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  UpdateWindow(hwnd);
  ValidateRect(hwnd, nullptr);

  TestWindow window;
  window.SetHwnd(hwnd);
  window.SetLayered(false);
  Box* root = new Box();
  window.AttachRoot(root);
  root->SetBounds(R(0, 0, 100, 100));
  Control* child = new Control();
  root->AddChild(child);
  child->SetBounds(R(10, 10, 20, 20));
  ValidateRect(hwnd, nullptr);

  // Moving to (50, 50)-(150, 150): the union is cut at the parent's right and bottom edges.
  child->SetBounds(R(50, 50, 150, 150));
  RECT update;
  ASSERT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
  EXPECT_EQ(update.left, 10);
  EXPECT_EQ(update.top, 10);
  EXPECT_EQ(update.right, 100);
  EXPECT_EQ(update.bottom, 100);

  // Only a layered window also gets WM_PAINT posted.
  MSG msg;
  while (PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_POSTMESSAGE)) {
  }
  child->Invalidate();
  EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_POSTMESSAGE));
  window.SetLayered(true);
  child->Invalidate();
  EXPECT_TRUE(PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_POSTMESSAGE));

  window.SetHwnd(nullptr);
  DestroyWindow(hwnd);
}

TEST_F(ControlModelTest, VisibilityEnablingAndFocus) {
  TestWindow window;
  Box* root = new Box();
  window.AttachRoot(root);
  ProbeControl* control = new ProbeControl();
  root->AddChild(control);

  window.SetFocusedControl(control);
  ASSERT_EQ(window.GetFocusedControl(), control);
  EXPECT_TRUE(control->IsFocused());
  control->SetVisible(false);
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
  EXPECT_FALSE(control->IsFocused());
  control->SetVisible(true);

  // A hidden parent hides by parent; the own flag stays; showing the parent shows it again.
  root->SetVisible(false);
  EXPECT_TRUE(control->IsOwnVisible());
  EXPECT_FALSE(control->IsVisible());
  root->SetVisible(true);
  EXPECT_TRUE(control->IsVisible());
  Control* late = new Control();
  root->SetVisible(false);
  root->AddChild(late);
  EXPECT_FALSE(late->IsVisibleByParent());
  root->SetVisible(true);
  EXPECT_TRUE(late->IsVisibleByParent());

  // Disabling goes down the tree; enabling returns to normal with no hover blend.
  control->ApplyAttribute(L"state", L"hot");
  EXPECT_EQ(control->GetHoverBlend(), 255);
  root->SetEnabled(false);
  EXPECT_EQ(control->GetState(), kStateDisabled);
  root->SetEnabled(true);
  EXPECT_EQ(control->GetState(), kStateNormal);
  EXPECT_EQ(control->GetHoverBlend(), 0);

  // A disabled or hidden control does not take the focus; "nofocus" refuses it.
  control->SetEnabled(false);
  control->RequestFocus();
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
  control->SetEnabled(true);
  control->ApplyAttribute(L"nofocus", L"false");
  control->RequestFocus();
  EXPECT_EQ(window.GetFocusedControl(), nullptr);
}

TEST_F(ControlModelTest, ChannelFilter) {
  UiRuntime::SetChannel(L"CN");
  struct Case {
    const wchar_t* channels;
    bool visible;
  } cases[] = {{L"VN", false}, {L"CN VN", true}, {L"VN  CN", true}, {L"", false}, {L"cn", false}};
  for (const Case& c : cases) {
    Control control;
    control.ApplyAttribute(L"channel", c.channels);
    EXPECT_EQ(control.IsVisible(), c.visible) << c.channels;
    EXPECT_EQ(control.GetChannelFilter(), c.channels);
  }
  // The filter never shows a hidden control again.
  Control hidden;
  hidden.SetVisible(false);
  hidden.SetChannelFilter(L"CN");
  EXPECT_FALSE(hidden.IsVisible());
}

class CountedObject : public UserObject {
 public:
  explicit CountedObject(int* deaths) : deaths_(deaths) {}
  ~CountedObject() override { ++*deaths_; }

 private:
  int* deaths_;
};

TEST_F(ControlModelTest, PropertiesTooltipDataAndUserObject) {
  ScopedDpi dpi(150);
  Control control;
  control.SetToolTipText(L"one<n>two");
  EXPECT_EQ(control.GetToolTipText(), L"one\r\ntwo");
  control.SetToolTipTextUtf8("\xE4\xB8\xAD<n>x");
  EXPECT_EQ(control.GetToolTipText(), L"\x4E2D\r\nx");
  EXPECT_EQ(control.GetToolTipTextUtf8(), "\xE4\xB8\xAD\r\nx");
  control.SetToolTipTextUtf8("");
  EXPECT_EQ(control.GetToolTipText(), L"");
  control.SetToolTipMaxWidth(200);
  EXPECT_EQ(control.GetToolTipMaxWidth(), 300);
  control.SetDataIdUtf8("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(control.GetDataId(), L"\xE9t\xE9");
  EXPECT_EQ(control.GetDataIdUtf8(), "\xC3\xA9t\xC3\xA9");
  control.SetBorderRound(Size{-2, 4});
  EXPECT_EQ(control.GetBorderRound().cx, -3);
  EXPECT_EQ(control.GetBorderRound().cy, 6);

  int deaths = 0;
  auto* first = new CountedObject(&deaths);
  control.SetUserObject(first);
  control.SetUserObject(first);  // the object already held: kept, not deleted
  EXPECT_EQ(deaths, 0);
  EXPECT_EQ(control.GetUserObject(), first);
  control.SetUserObject(new CountedObject(&deaths));
  EXPECT_EQ(deaths, 1);
  {
    Control owner;
    owner.SetUserObject(new CountedObject(&deaths));
  }
  EXPECT_EQ(deaths, 2);
}

TEST_F(ControlModelTest, TooltipIdReadsTheLanguageTableWhileTheTextIsEmpty) {
  ASSERT_TRUE(LanguageTable::Instance()->ParseLines({L"STRING_TIP = Start\\nthe game"}));
  Control control;
  control.ApplyAttribute(L"tooltiptextid", L"STRING_TIP");
  EXPECT_EQ(control.GetToolTipText(), L"Start\nthe game");
  control.ApplyAttribute(L"tooltiptextid", L"STRING_NONE");
  EXPECT_EQ(control.GetToolTipText(), L"");
  control.ApplyAttribute(L"tooltiptextid", L"STRING_TIP");
  control.ApplyAttribute(L"tooltiptext", L"literal");
  EXPECT_EQ(control.GetToolTipText(), L"literal");
  LanguageTable::Instance()->Clear();
}

TEST_F(ControlModelTest, MarginAndDeclaredSizes) {
  ScopedDpi dpi(150);
  Control control;
  control.SetMargin(R(10, 20, 11, 31), true);
  EXPECT_TRUE(Same(control.GetMargin(), R(15, 30, 17, 47)));
  control.SetDeclaredWidth(-3, true, true);
  EXPECT_EQ(control.GetFixedWidth(), kSizeStretch);
  control.SetDeclaredWidth(-2, true, true);
  EXPECT_EQ(control.GetFixedWidth(), kSizeAuto);
  control.SetDeclaredWidth(10, false, true);
  EXPECT_EQ(control.GetFixedWidth(), 15);
  control.SetDeclaredHeight(10, false);
  EXPECT_EQ(control.GetFixedHeight(), 10);
}

}  // namespace
