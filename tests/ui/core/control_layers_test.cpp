// A control's own layers painted into real off-screen surfaces: the translucent and cached
// paths, colours and images per state, borders, image placement and the animated background.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/animation/ui_test_pump.h"
#include "ui/core/control_test_support.h"
#include "ui/render/render_test_support.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/ui_runtime.h"
#include "ui/resources/zip_archive.h"

using namespace ui;
using render_test::PixelAt;
using render_test::RgbNear;
using ui_test::R;
using ui_test::TestWindow;

namespace {

constexpr ArgbColor kWhite = 0xFFFFFFFFu;
constexpr ArgbColor kRed = 0xFFFF0000u;
constexpr ArgbColor kBlue = 0xFF0000FFu;
constexpr ArgbColor kGreen = 0xFF00FF00u;

// Counts its own repaints, names its layers and lets a test set its state.
class CountingControl : public Control {
 public:
  void PaintSelf(IRenderContext* context, const Rect& dirty) override {
    ++selfPaints;
    Control::PaintSelf(context, dirty);
  }
  void PaintBkColor(IRenderContext* c) override { layers += "C"; Control::PaintBkColor(c); }
  void PaintBkImage(IRenderContext* c) override { layers += "I"; Control::PaintBkImage(c); }
  void PaintStateColor(IRenderContext* c) override { layers += "S"; Control::PaintStateColor(c); }
  void PaintStateImages(IRenderContext* c) override { layers += "M"; Control::PaintStateImages(c); }
  void PaintText(IRenderContext* c) override { layers += "T"; Control::PaintText(c); }
  void PaintBorder(IRenderContext* c) override { layers += "B"; Control::PaintBorder(c); }
  bool HasSurface() const { return renderCache_ != nullptr; }
  void SetStateForTest(ControlState state) { state_ = state; }
  void SetHoverBlendQuietly(int blend) { hoverBlend_ = blend; }
  // An animated image asks for a repaint at each new frame: noted with the time it came.
  void Invalidate() override {
    const int frame = GetBkImage().frameIndex;
    if (recordFrames && (frames.empty() || frames.back().first != frame)) frames.push_back({frame, GetTickCount64()});
    Control::Invalidate();
  }

  int selfPaints = 0;
  std::string layers;
  bool recordFrames = false;
  std::vector<std::pair<int, ULONGLONG>> frames;
};

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A zip archive of stored (uncompressed) entries.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string zip, directory;
  for (const auto& entry : entries) {
    const uint32_t crc = test_images::Crc32(entry.second);
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    Put32(zip, 0x04034b50);
    Put16(zip, 20), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0), Put16(zip, 0x21);
    Put32(zip, crc), Put32(zip, uint32_t(entry.second.size())), Put32(zip, uint32_t(entry.second.size()));
    Put16(zip, uint32_t(entry.first.size())), Put16(zip, 0);
    zip += entry.first + entry.second;
    Put32(directory, 0x02014b50);
    Put16(directory, 20), Put16(directory, 20), Put16(directory, 0), Put16(directory, 0), Put16(directory, 0);
    Put16(directory, 0x21);
    Put32(directory, crc), Put32(directory, uint32_t(entry.second.size())),
        Put32(directory, uint32_t(entry.second.size()));
    Put16(directory, uint32_t(entry.first.size())), Put16(directory, 0), Put16(directory, 0), Put16(directory, 0),
        Put16(directory, 0);
    Put32(directory, 0), Put32(directory, offset);
    directory += entry.first;
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(zip.size());
  zip += directory;
  Put32(zip, 0x06054b50);
  Put16(zip, 0), Put16(zip, 0), Put16(zip, uint32_t(entries.size())), Put16(zip, uint32_t(entries.size()));
  Put32(zip, uint32_t(directory.size())), Put32(zip, directoryOffset), Put16(zip, 0);
  return zip;
}

class ControlLayersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
    UiRuntime::SetColor(L"t.red", kRed);
    UiRuntime::SetColor(L"t.blue", kBlue);
    UiRuntime::SetColor(L"t.green", kGreen);
    UiRuntime::SetColor(L"t.halfred", 0x80FF0000u);
  }
  void TearDown() override { UiRuntime::Uninitialize(); }

  // A file of one colour in the temporary folder.
  std::wstring WritePng(const std::wstring& name, int width, int height, uint32_t argb) {
    const std::wstring path = dir_.Path() + L"\\" + name;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, argb);
    EXPECT_TRUE(test_images::WriteBytes(path, test_images::MakeRgbaPng(width, height, pixels)));
    return path;
  }
  // A control of that size in a window, with a white surface behind it.
  CountingControl* Place(const Rect& bounds) {
    auto* control = new CountingControl();
    window_.AttachRoot(control);
    control->SetBounds(bounds);
    context_ = render_test::NewContext(120, 60);
    render_test::Paint(*context_, kWhite);
    return control;
  }

  test_support::TempDir dir_;
  TestWindow window_;
  std::unique_ptr<RenderContext_GdiPlus> context_;
};

TEST_F(ControlLayersTest, TranslucentControlBlendsAtHalfStrengthAndKeepsNoSurface) {
  CountingControl* control = Place(R(0, 0, 100, 40));
  control->ApplyAttribute(L"bkcolor", L"t.red");
  control->ApplyAttribute(L"bkimage", L"file='" + WritePng(L"blue.png", 4, 4, kBlue) + L"' dest='50,0,100,40'");
  control->SetAlpha(128);
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_EQ(control->layers, "CISMTB");
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 20, 20), 0xFFFF7F7Fu, 3));  // red over white at half
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 80, 20), 0xFF7F7FFFu, 3));  // blue over white at half
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 110, 20), kWhite));
  EXPECT_FALSE(control->HasSurface());
}

TEST_F(ControlLayersTest, CachedControlRepaintsItsSurfaceOnlyAfterInvalidate) {
  CountingControl* control = Place(R(10, 10, 60, 40));
  control->ApplyAttribute(L"cache", L"true");
  control->ApplyAttribute(L"bkcolor", L"t.red");
  for (int i = 0; i < 3; ++i) control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_EQ(control->selfPaints, 1);
  EXPECT_TRUE(control->HasSurface());
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 30, 30), kRed));

  control->ApplyAttribute(L"bkcolor", L"t.blue");  // invalidates
  control->Paint(context_.get(), R(0, 0, 120, 60));
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_EQ(control->selfPaints, 2);
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 30, 30), kBlue));

  // A new size repaints as well; the surface lands at the control's place.
  control->SetBounds(R(20, 10, 80, 40));
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_EQ(control->selfPaints, 3);
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 75, 30), kBlue));
}

TEST_F(ControlLayersTest, TranslucentColourFillsTheBoundsAndOpaqueOnlyTheDirtyPart) {
  CountingControl* control = Place(R(0, 0, 100, 30));
  control->ApplyAttribute(L"bkcolor", L"t.halfred");
  control->Paint(context_.get(), R(0, 0, 50, 30));
  EXPECT_FALSE(RgbNear(PixelAt(*context_, 75, 15), kWhite));

  render_test::Paint(*context_, kWhite);
  control->ApplyAttribute(L"bkcolor", L"t.red");
  control->Paint(context_.get(), R(0, 0, 50, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 25, 15), kRed));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 75, 15), kWhite));

  // An unknown colour paints nothing.
  render_test::Paint(*context_, kWhite);
  control->ApplyAttribute(L"bkcolor", L"t.none");
  control->Paint(context_.get(), R(0, 0, 100, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 25, 15), kWhite));
}

TEST_F(ControlLayersTest, StateColoursFallBackAndBlendWithTheHover) {
  struct Case {
    const wchar_t* normal;
    const wchar_t* hot;
    const wchar_t* pushed;
    const wchar_t* disabled;
    ControlState state;
    ArgbColor expected;
  } cases[] = {
      {L"t.red", nullptr, L"t.blue", nullptr, kStateHot, kRed},        // hot without colour: normal
      {L"t.red", L"t.green", nullptr, nullptr, kStatePushed, kGreen},  // pushed without colour: hot
      {L"t.red", nullptr, nullptr, nullptr, kStateDisabled, kRed},     // disabled without colour: normal
      {L"t.red", nullptr, nullptr, L"t.blue", kStateDisabled, kBlue},
      {L"t.red", L"t.green", L"t.blue", nullptr, kStatePushed, kBlue},
  };
  for (const Case& c : cases) {
    CountingControl* control = Place(R(0, 0, 100, 30));
    if (c.normal) control->ApplyAttribute(L"normalcolor", c.normal);
    if (c.hot) control->ApplyAttribute(L"hotcolor", c.hot);
    if (c.pushed) control->ApplyAttribute(L"pushedcolor", c.pushed);
    if (c.disabled) control->ApplyAttribute(L"disabledcolor", c.disabled);
    control->SetStateForTest(c.state);
    control->Paint(context_.get(), R(0, 0, 100, 30));
    EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), c.expected)) << static_cast<int>(c.state);
  }

  // With the hot fade, a hot control halfway through its fade shows both colours mixed.
  CountingControl* control = Place(R(0, 0, 100, 30));
  control->ApplyAttribute(L"normalcolor", L"t.red");
  control->ApplyAttribute(L"hotcolor", L"t.blue");
  control->SetStateForTest(kStateHot);
  control->SetHoverBlendQuietly(128);
  control->Paint(context_.get(), R(0, 0, 100, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), 0xFF7F0080u, 3));
}

TEST_F(ControlLayersTest, LosingTheFocusDuringTheHoverFadeLeavesTheNormalColour) {
  CountingControl* control = Place(R(0, 0, 100, 30));
  control->ApplyAttribute(L"normalcolor", L"t.red");
  control->ApplyAttribute(L"hotcolor", L"t.blue");
  ASSERT_NE(control->GetAnimator().GetPlayer(kEffectHot), nullptr);
  EventArgs enter;
  enter.type = kEventMouseEnter;
  enter.sender = control;
  control->DispatchEvent(&enter);
  ASSERT_EQ(control->GetState(), kStateHot);
  // The focus leaves while the fade towards the hot colour still runs; the mouse leaves later.
  EventArgs kill;
  kill.type = kEventRawKillFocus;
  kill.sender = control;
  control->DispatchEvent(&kill);
  ui_test::PumpFor(600);
  EventArgs leave;
  leave.type = kEventMouseLeave;
  leave.sender = control;
  control->DispatchEvent(&leave);
  EXPECT_EQ(control->GetState(), kStateNormal);
  EXPECT_EQ(control->GetHoverBlend(), 0);
  control->Paint(context_.get(), R(0, 0, 100, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), kRed));
}

TEST_F(ControlLayersTest, StateImagesBlendOneFileAndPushedFallsBackToAFullHotImage) {
  const std::wstring blue = WritePng(L"blue.png", 4, 4, kBlue);
  const std::wstring red = WritePng(L"red.png", 4, 4, kRed);

  // Same file for normal and hot: one draw whose fade moves from 0 to 255 with the blend.
  CountingControl* control = Place(R(0, 0, 100, 30));
  control->ApplyAttribute(L"normalimage", L"file='" + blue + L"' fade='0'");
  control->ApplyAttribute(L"hotimage", L"file='" + blue + L"' fade='255'");
  ASSERT_NE(control->GetAnimator().GetPlayer(kEffectHot), nullptr);
  struct Blend {
    int blend;
    ArgbColor expected;
  } blends[] = {{0, kWhite}, {128, 0xFF7F7FFFu}, {255, kBlue}};
  for (const Blend& b : blends) {
    render_test::Paint(*context_, kWhite);
    control->SetHoverBlendQuietly(b.blend);
    control->Paint(context_.get(), R(0, 0, 100, 30));
    EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), b.expected, 3)) << b.blend;
  }

  // Two files: the normal image, then the hot one at the blend's share.
  control = Place(R(0, 0, 100, 30));
  control->ApplyAttribute(L"normalimage", red);
  control->ApplyAttribute(L"hotimage", blue);
  control->SetHoverBlendQuietly(255);
  control->Paint(context_.get(), R(0, 0, 100, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), kBlue));

  // Pushed without a pushed image: the hot image at full strength, from then on.
  control = Place(R(0, 0, 100, 30));
  control->ApplyAttribute(L"normalimage", red);
  control->ApplyAttribute(L"hotimage", L"file='" + blue + L"' fade='100'");
  control->GetAnimator().EnableHotFade(false);
  control->SetStateForTest(kStatePushed);
  control->Paint(context_.get(), R(0, 0, 100, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), kBlue));
  EXPECT_EQ(control->GetStateImages().FindSet(kImageKindBackground)->GetImage(kStateHot).spec.fade, 255);

  // Disabled without an image shows the normal one.
  control->SetStateForTest(kStateDisabled);
  control->Paint(context_.get(), R(0, 0, 100, 30));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 15), kRed));
}

TEST_F(ControlLayersTest, BordersStrokeTheirLines) {
  struct Case {
    const wchar_t* key;
    const wchar_t* value;
    std::vector<std::pair<int, int>> stroked;
    std::vector<std::pair<int, int>> clear;
  } cases[] = {
      {L"bordersize", L"1", {{0, 0}, {99, 0}, {0, 29}, {99, 29}, {50, 0}, {50, 29}}, {{1, 1}, {98, 28}, {50, 15}}},
      {L"bordersize", L"2", {{0, 0}, {1, 1}, {98, 28}, {99, 29}, {50, 0}}, {{2, 2}, {97, 27}, {50, 15}}},
      {L"leftbordersize", L"1", {{0, 0}, {0, 15}, {0, 29}}, {{1, 15}, {50, 0}, {99, 15}, {50, 29}}},
      {L"bottombordersize", L"2", {{0, 28}, {50, 29}, {98, 29}}, {{50, 27}, {0, 0}, {99, 15}}},
  };
  for (const Case& c : cases) {
    CountingControl* control = Place(R(0, 0, 100, 30));
    control->ApplyAttribute(L"bordercolor", L"t.red");
    control->ApplyAttribute(c.key, c.value);
    control->Paint(context_.get(), R(0, 0, 120, 60));
    for (auto p : c.stroked)
      EXPECT_TRUE(RgbNear(PixelAt(*context_, p.first, p.second), kRed)) << c.key << c.value << " " << p.first << "," << p.second;
    for (auto p : c.clear)
      EXPECT_TRUE(RgbNear(PixelAt(*context_, p.first, p.second), kWhite)) << c.key << c.value << " " << p.first << "," << p.second;
  }
}

TEST_F(ControlLayersTest, ImagesLandAtTheirDestAndMissingFilesAreNotRetried) {
  // Images of the drawn size, so that no smoothing softens the edges.
  const std::wstring blue = WritePng(L"blue.png", 24, 24, kBlue);
  const std::wstring wide = WritePng(L"wide.png", 100, 40, kBlue);
  CountingControl* control = Place(R(10, 10, 110, 50));
  control->ApplyAttribute(L"bkimage", L"file='" + blue + L"' dest='0,0,24,24'");
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 10, 10), kBlue));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 33, 33), kBlue));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 34, 34), kWhite));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 9, 9), kWhite));

  // Without dest the image fills the bounds.
  control->ApplyAttribute(L"bkimage", wide);
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 10, 10), kBlue));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 109, 49), kBlue));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 110, 50), kWhite));

  // A missing file: nothing drawn, the descriptor forgotten; the file appearing later is not
  // picked up until the image is set again.
  render_test::Paint(*context_, kWhite);
  const std::wstring late = dir_.Path() + L"\\late.png";
  control->ApplyAttribute(L"bkimage", late);
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_TRUE(control->GetBkImage().spec.file.empty());
  WritePng(L"late.png", 4, 4, kRed);
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 30), kWhite));
  control->ApplyAttribute(L"bkimage", late);
  control->Paint(context_.get(), R(0, 0, 120, 60));
  EXPECT_TRUE(RgbNear(PixelAt(*context_, 50, 30), kRed));
}

TEST_F(ControlLayersTest, LanguageVariantComesFromTheArchiveWhenItIsThere) {
  auto png = [](uint32_t argb) { return test_images::MakeRgbaPng(8, 8, std::vector<uint32_t>(64, argb)); };
  const std::string plain = "resources/themes/default/img_logo.png";
  const std::string variant = "resources/themes/default/img_logo_zh_CN.png";
  struct Case {
    std::vector<std::pair<std::string, std::string>> entries;
    ArgbColor expected;
  } cases[] = {
      {{{plain, png(kRed)}, {variant, png(kBlue)}}, kBlue},
      {{{plain, png(kRed)}}, kRed},
  };
  for (const Case& c : cases) {
    const std::string zip = StoredZip(c.entries);
    UiRuntime::SetResourceZip(OpenZipArchive(zip.data(), unsigned(zip.size()), kZipSourceMemory, ""));
    ASSERT_NE(UiRuntime::GetResourceZip(), nullptr);
    {
      TestWindow window;
      auto* control = new CountingControl();
      window.AttachRoot(control);
      control->SetBounds(R(0, 0, 8, 8));
      control->ApplyAttribute(L"bkimageadaptlanguage", L"true");
      control->ApplyAttribute(L"bkimage", L"img_logo.png");
      auto context = render_test::NewContext(8, 8);
      render_test::Paint(*context, kWhite);
      control->Paint(context.get(), R(0, 0, 8, 8));
      EXPECT_TRUE(RgbNear(PixelAt(*context, 4, 4), c.expected)) << c.entries.size();
    }
    UiRuntime::CloseResourceZip();
  }
}

TEST(AnimationStepTest, ShortDelaysAreSlowedDown) {
  const uint32_t cases[][2] = {{0, 100}, {2, 100}, {3, 50}, {4, 50}, {5, 50}, {10, 100}, {12, 120}};
  for (const auto& c : cases) EXPECT_EQ(AnimationStepMs(c[0]), c[1]) << c[0];
}

TEST_F(ControlLayersTest, AnimatedBackgroundStepsPlaysItsCountAndStops) {
  const std::wstring gif = dir_.Path() + L"\\anim.gif";
  ASSERT_TRUE(test_images::WriteBytes(gif, test_images::MakeAnimatedGif({0, 5, 10})));
  CountingControl* control = Place(R(0, 0, 20, 20));
  int finished = 0;
  control->AddImageEventHandler(1, [&](EventArgs* args) {
    EXPECT_EQ(args->sender, control);
    ++finished;
    return true;
  });
  control->ApplyAttribute(L"bkimage", L"file='" + gif + L"' playcount='2'");
  control->recordFrames = true;
  control->Paint(context_.get(), R(0, 0, 20, 20));  // starts the animation
  ASSERT_TRUE(control->GetBkImage().playing);

  // Frame changes: when each frame began showing.
  ASSERT_TRUE(ui_test::PumpUntil([&] { return !control->GetBkImage().playing; }, 30000));
  control->recordFrames = false;
  const std::vector<std::pair<int, ULONGLONG>>& shown = control->frames;
  ASSERT_EQ(shown.size(), 6u);  // 0 1 2 0 1 2
  const ULONGLONG expectedMs[] = {100, 50, 100, 100, 50};
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    const long long took = static_cast<long long>(shown[i + 1].second - shown[i].second);
    // Each frame shows at least its delay (the tick count's 16 ms grain aside); a loaded
    // machine may show it longer.
    EXPECT_GE(took, static_cast<long long>(expectedMs[i]) - 20) << "frame " << shown[i].first;
  }
  EXPECT_EQ(control->GetBkImage().frameIndex, 2);
  EXPECT_EQ(finished, 1);

  // Later paints do not start it again.
  control->Paint(context_.get(), R(0, 0, 20, 20));
  ui_test::PumpFor(250);
  EXPECT_FALSE(control->GetBkImage().playing);
  EXPECT_EQ(control->GetBkImage().frameIndex, 2);
  EXPECT_EQ(finished, 1);

  // Stopping at a frame past the last keeps the index inside the bitmap.
  control->StopAnimatedImageAt(7);
  EXPECT_EQ(control->GetBkImage().frameIndex, 2);
  control->StopAnimatedImageAt(1);
  control->StopAnimatedImageAt(-1);
  EXPECT_EQ(control->GetBkImage().frameIndex, 1);
  control->StopAnimatedImageAt(65535);
  EXPECT_EQ(control->GetBkImage().frameIndex, 2);

  // "playcount" 0 shows the first frame and never plays; hiding stops a playing one.
  control->ApplyAttribute(L"bkimage", L"file='" + gif + L"' playcount='0'");
  control->Paint(context_.get(), R(0, 0, 20, 20));
  ui_test::PumpFor(150);
  EXPECT_FALSE(control->GetBkImage().playing);
  EXPECT_EQ(control->GetBkImage().frameIndex, 0);
  control->ApplyAttribute(L"bkimage", gif);
  control->Paint(context_.get(), R(0, 0, 20, 20));
  ASSERT_TRUE(control->GetBkImage().playing);
  control->SetVisible(false);
  EXPECT_FALSE(control->GetBkImage().playing);
  const int frame = control->GetBkImage().frameIndex;
  ui_test::PumpFor(250);
  EXPECT_EQ(control->GetBkImage().frameIndex, frame);
}

}  // namespace
