// The direct paint path of a control tree into a real GDI+ render context, and how controls
// find their image files.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/core/control_test_support.h"
#include "ui/core/kept_memory.h"
#include "ui/render/render_test_support.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using render_test::PixelAt;
using render_test::RgbNear;
using ui_test::R;
using ui_test::TestWindow;

namespace {

constexpr ArgbColor kBlue = 0xFF0000FFu;
constexpr ArgbColor kRed = 0xFFFF0000u;

// Fills its bounds (or a wider rectangle) in its background layer and notes every layer.
class FilledControl : public Box {
 public:
  explicit FilledControl(ArgbColor color, std::vector<std::string>* layers = nullptr)
      : color_(color), layers_(layers) {}
  void PaintBkColor(IRenderContext* context) override {
    Note("bkcolor");
    context->FillRectArgb(fillWide ? R(0, 0, 200, 200) : bounds_, color_, 255);
  }
  void PaintBkImage(IRenderContext*) override { Note("bkimage"); }
  void PaintStateColor(IRenderContext*) override { Note("statecolor"); }
  void PaintStateImages(IRenderContext*) override { Note("stateimages"); }
  void PaintText(IRenderContext*) override { Note("text"); }
  void PaintBorder(IRenderContext*) override { Note("border"); }

  bool fillWide = false;

 private:
  void Note(const char* layer) {
    if (layers_) layers_->push_back(layer);
  }
  ArgbColor color_;
  std::vector<std::string>* layers_;
};

class ControlPaintTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override {
    UiRuntime::SetLanguage(L"zh_CN");
    UiRuntime::Uninitialize();
  }
};

TEST_F(ControlPaintTest, DirectPathClipsShiftsAndPaintsLayersInOrder) {
  std::vector<std::string> layers;
  TestWindow window;
  auto* root = new FilledControl(kBlue);
  auto* child = new FilledControl(kRed, &layers);
  root->AddChild(child);
  window.AttachRoot(root);
  root->SetBounds(R(0, 0, 100, 100));
  child->SetBounds(R(20, 20, 60, 60));
  auto context = render_test::NewContext(100, 100);

  root->Paint(context.get(), R(0, 0, 100, 100));
  EXPECT_EQ(layers, (std::vector<std::string>{"bkcolor", "bkimage", "statecolor", "stateimages", "text", "border"}));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 10, 10), kBlue));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 30, 30), kRed));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 70, 70), kBlue));

  // A fill beyond the bounds is clipped to them; without "clip" it is not.
  child->fillWide = true;
  root->Paint(context.get(), R(0, 0, 100, 100));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 70, 70), kBlue));
  child->ApplyAttribute(L"borderround", L"4,4");  // rounded: still clipped
  root->Paint(context.get(), R(0, 0, 100, 100));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 70, 70), kBlue));
  child->SetBorderRound(Size{0, 0});

  // A render offset of -10 shows the control 10 px further right, still clipped to its place.
  child->fillWide = false;
  child->SetRenderOffsetX(-10);
  root->Paint(context.get(), R(0, 0, 100, 100));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 25, 30), kBlue));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 35, 30), kRed));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 65, 30), kBlue));
  // The origin is given back: the next control paints at its own place.
  EXPECT_EQ(context->WindowOrigin().x, 0);

  // Alpha 0, a dirty rectangle that misses the control and a hidden control paint nothing.
  layers.clear();
  child->SetAlpha(0);
  root->Paint(context.get(), R(0, 0, 100, 100));
  child->SetAlpha(255);
  root->Paint(context.get(), R(70, 70, 100, 100));
  child->SetVisible(false);
  root->Paint(context.get(), R(0, 0, 100, 100));
  EXPECT_TRUE(layers.empty());
}

// The clip flag has no markup key: a derived control switches it off.
class UnclippedControl : public FilledControl {
 public:
  explicit UnclippedControl(ArgbColor color) : FilledControl(color) { clip_ = false; }
};

TEST_F(ControlPaintTest, UnclippedControlPaintsBeyondItsBounds) {
  TestWindow window;
  auto* root = new FilledControl(kBlue);
  auto* loose = new UnclippedControl(kRed);
  loose->fillWide = true;
  root->AddChild(loose);
  window.AttachRoot(root);
  root->SetBounds(R(0, 0, 100, 100));
  loose->SetBounds(R(80, 80, 90, 90));
  auto context = render_test::NewContext(100, 100);
  root->Paint(context.get(), R(0, 0, 100, 100));
  EXPECT_TRUE(RgbNear(PixelAt(*context, 10, 10), kRed));
}

TEST_F(ControlPaintTest, ImageFilesBelowTheRootAndTheWindowsFolderWithLanguageVariants) {
  test_support::TempDir dir;
  CreateDirectoryW((dir.Path() + L"\\main").c_str(), nullptr);
  auto write = [&](const wchar_t* name, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFF808080u);
    ASSERT_TRUE(test_images::WriteBytes(dir.Path() + L"\\main\\" + name, test_images::MakeRgbaPng(width, height, pixels)));
  };
  write(L"img_logo.png", 40, 20);
  write(L"img_logo_zh_CN.png", 24, 12);
  write(L"plain.png", 8, 6);
  UiRuntime::SetResourceRoot(dir.Path() + L"\\");

  struct Case {
    const wchar_t* language;
    const wchar_t* image;
    bool variant;
    Size expected;
  } cases[] = {
      {L"zh_CN", L"img_logo.png", true, {24, 12}},
      {L"zh_CN", L"img_logo.png", false, {40, 20}},
      {L"en_US", L"img_logo.png", true, {40, 20}},  // no such variant file: the plain one
      {L"", L"img_logo.png", true, {24, 12}},       // no language: zh_CN
      {L"zh_CN", L"plain.png", true, {8, 6}},
      {L"zh_CN", L"main//img_logo.png", false, {0, 0}},  // relative to main\ already
  };
  for (const Case& c : cases) {
    UiRuntime::SetLanguage(c.language);
    TestWindow window;
    window.SetResourceSubfolder(L"main");
    Control* control = new Control();
    window.AttachRoot(control);
    control->ApplyAttribute(L"width", L"auto");
    control->ApplyAttribute(L"height", L"auto");
    control->ApplyAttribute(L"bkimageadaptlanguage", c.variant ? L"true" : L"false");
    control->ApplyAttribute(L"bkimage", c.image);
    const Size size = control->Measure(Size{500, 500});
    EXPECT_EQ(size.cx, c.expected.cx) << c.language << " " << c.variant;
    EXPECT_EQ(size.cy, c.expected.cy) << c.language << " " << c.variant;
  }

  // An absolute path is taken as it is; doubled separators are made single.
  Control loose;
  loose.ApplyAttribute(L"width", L"auto");
  loose.ApplyAttribute(L"bkimage", dir.Path() + L"\\\\main/plain.png");
  EXPECT_EQ(loose.Measure(Size{500, 500}).cx, 8);
}

TEST_F(ControlPaintTest, HidingStopsAnAnimatedBackground) {
  test_support::TempDir dir;
  const std::wstring gif = dir.Path() + L"\\anim.gif";
  ASSERT_TRUE(test_images::WriteBytes(gif, test_images::MakeAnimatedGif({10, 10, 10})));
  Control control;
  control.ApplyAttribute(L"bkimage", gif);
  control.ResolveImage(control.GetBkImage());
  ASSERT_TRUE(control.GetBkImage().image);
  ASSERT_GT(control.GetBkImage().image->FrameCount(), 1u);
  control.GetBkImage().playing = true;
  control.SetVisible(false);
  EXPECT_FALSE(control.GetBkImage().playing);

  // Setting the image again starts over: no bitmap, animation allowed unless "playcount" 0.
  control.ApplyAttribute(L"bkimage", L"file='" + gif + L"' playcount='0'");
  EXPECT_FALSE(control.GetBkImage().image);
  EXPECT_FALSE(control.IsBkAnimationAllowed());

  // Released images come back from the cache only while it still holds them.
  control.ResolveImage(control.GetBkImage());
  std::shared_ptr<ImageInfo> held = control.GetBkImage().image;
  control.ReleaseImages();
  EXPECT_FALSE(control.GetBkImage().image);
  control.ReacquireImages();
  EXPECT_EQ(control.GetBkImage().image, held);
  control.ReleaseImages();
  held.reset();
  control.ReacquireImages();
  EXPECT_FALSE(control.GetBkImage().image);
  control.DropImageCaches();
}

TEST_F(ControlPaintTest, ReloadGivesBackTheImagesOfEveryWindowsTree) {
  test_support::TempDir dir;
  const std::wstring path = dir.Path() + L"\\bg.png";
  ASSERT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(2, 2, std::vector<uint32_t>(4, ~0u))));
  TestWindow window;
  Box* root = new Box();
  Control* child = new Control();
  root->AddChild(child);
  window.AttachRoot(root);
  child->ApplyAttribute(L"bkimage", path);
  child->ApplyAttribute(L"normalimage", path);
  child->ResolveImage(child->GetBkImage());
  ControlImage& normal = child->GetStateImages().FindSet(kImageKindBackground)->GetImage(kStateNormal);
  child->ResolveImage(normal);
  ASSERT_TRUE(child->GetBkImage().image && normal.image);
  UiRuntime::AddWindow(&window);
  UiRuntime::ReloadResources(L"", nullptr);
  UiRuntime::RemoveWindow(&window);
  EXPECT_FALSE(child->GetBkImage().image);
  EXPECT_FALSE(normal.image);
  EXPECT_EQ(child->GetBkImage().spec.file, path);  // the descriptors stay
}

TEST_F(ControlPaintTest, AnAnimationFinishHandlerMayDeleteItsControl) {
  test_support::TempDir dir;
  const std::wstring gif = dir.Path() + L"\\twice.gif";
  ASSERT_TRUE(test_images::WriteBytes(gif, test_images::MakeAnimatedGif({10, 10})));
  ui_test::KeptMemoryCheck check;
  TestWindow window;
  Box* root = new Box();
  root->SetDefersChildDeletion(false);
  window.AttachRoot(root);
  auto* control = new ui_test::Kept<Control>();
  root->AddChild(control);
  control->ApplyAttribute(L"bkimage", L"file='" + gif + L"' playcount='1'");
  control->ResolveImage(control->GetBkImage());
  ASSERT_TRUE(control->GetBkImage().image);
  int finished = 0;
  control->AddImageEventHandler(1, [&](EventArgs*) {
    ++finished;
    root->RemoveChild(control);
    return true;
  });
  control->AdvanceAnimatedImage();  // starts on frame 0
  ASSERT_TRUE(control->GetBkImage().playing);
  control->AdvanceAnimatedImage();  // frame 1
  ASSERT_EQ(finished, 0);
  control->AdvanceAnimatedImage();  // back to frame 0: the one loop is done
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(ui_test::KeptDeletions(), 1);
  EXPECT_TRUE(ui_test::FreedMemoryUntouched());
}

}  // namespace
