// Image descriptors, state tables, and images decoded by real GDI+ from real files through
// the runtime's image cache.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"
#include "ui/core/dpi_scale.h"
#include "ui/resources/image.h"
#include "ui/resources/image_fixtures.h"
#include "ui/resources/state_images.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

// Found by argument lookup from the assertions.
bool operator==(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

// Sets the process-wide scale for one test and puts the previous one back.
class ScopedDpi {
 public:
  ScopedDpi(bool adapt, int scale)
      : adapt_(DpiScale::Instance().IsAdapting()), scale_(DpiScale::Instance().GetScale()) {
    DpiScale::Instance().SetAdapt(adapt);
    DpiScale::Instance().SetScale(scale);
  }
  ~ScopedDpi() {
    DpiScale::Instance().SetAdapt(adapt_);
    DpiScale::Instance().SetScale(scale_);
  }

 private:
  bool adapt_;
  int scale_;
};

TEST(ImageSpecTest, ParsesDescriptors) {
  ScopedDpi dpi(true, 150);
  const Rect unset{-1, -1, -1, -1};
  const struct {
    const wchar_t* text;
    std::wstring file;
    Rect dest;
    Rect source;
    Rect corner;
    int fade;
  } cases[] = {
      {L"file='a.png'", L"a.png", unset, unset, {}, 255},
      {L"res='b.png' fade='80'", L"b.png", unset, unset, {}, 80},
      {L"file = 'a.png'", L"a.png", unset, unset, {}, 255},
      {L"fade='300'", L"", unset, unset, {}, 44},
      {L"file='a.png' fade=''", L"a.png", unset, unset, {}, 255},
      {L"file='a.png'\tcorner='1,1,1,1'", L"a.png", unset, unset, {}, 255},
      {L"file='a.png' source='1,2", L"a.png", unset, unset, {}, 255},  // open quote
      {L"file='a.png'x corner='1,1,1,1'", L"a.png", unset, unset, {}, 255},
      {L"file='a.png' ", L"a.png", unset, unset, {}, 255},
      {L"foo='bar' file='c.png'", L"c.png", unset, unset, {}, 255},
      {L"dest='0,0,24,24'", L"", {0, 0, 36, 36}, unset, {}, 255},
      {L"destscale='false' dest='0,0,24,24'", L"", {0, 0, 24, 24}, unset, {}, 255},
      {L"dest='0,0,24,24' destscale='false'", L"", {0, 0, 36, 36}, unset, {}, 255},
      {L"destscale='' dest='0,0,24,24'", L"", {0, 0, 36, 36}, unset, {}, 255},
      // Missing numbers are 0; a number list never reads into the next pair.
      {L"source='' corner='x'", L"", unset, unset, {0, 0, 0, 0}, 255},
      {L"source='7' corner='1,2,3,4,5'", L"", unset, {7, 0, 0, 0}, {1, 2, 3, 4}, 255},
      {L"source='1,2,3' fade='9'", L"", unset, {1, 2, 3, 0}, {}, 9},
      {L"corner='1,,3,4' source='-5,+6,7,8'", L"", unset, {-5, 6, 7, 8}, {1, 0, 3, 4}, 255},
      {L"destscale='false' dest='12'", L"", {12, 0, 0, 0}, unset, {}, 255},
  };
  for (const auto& c : cases) {
    ImageSpec spec;
    spec.Parse(c.text);
    EXPECT_EQ(spec.file, c.file) << c.text;
    EXPECT_EQ(spec.dest, c.dest) << c.text;
    EXPECT_EQ(spec.source, c.source) << c.text;
    EXPECT_EQ(spec.corner, c.corner) << c.text;
    EXPECT_EQ(spec.fade, c.fade) << c.text;
  }
}

TEST(ImageSpecTest, FlagsAndReset) {
  ImageSpec spec;
  spec.Parse(L"xtiled='true' ytiled='True' playcount='3'");
  EXPECT_TRUE(spec.xtiled);
  EXPECT_FALSE(spec.ytiled);
  EXPECT_EQ(spec.playcount, 3);
  spec.Reset();
  EXPECT_FALSE(spec.xtiled);
  EXPECT_EQ(spec.playcount, -1);
  EXPECT_EQ(spec.fade, 255);
  EXPECT_EQ(spec.dest, (Rect{-1, -1, -1, -1}));
}

TEST(ImageKindTableTest, SetImageTakesBareNamesAndFindsTheFirstFile) {
  ScopedDpi dpi(false, 100);
  ImageKindTable table;
  EXPECT_EQ(table.FindFirstImage(kImageKindBackground), nullptr);
  table.SetImage(kImageKindBackground, kStateHot, L"a.png corner='5,5,5,5'");
  ControlImage* first = table.FindFirstImage(kImageKindBackground);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, &table.FindSet(kImageKindBackground)->GetImage(kStateHot));
  EXPECT_EQ(first->spec.file, L"a.png corner='5,5,5,5'");
  EXPECT_EQ(first->spec.corner, (Rect{0, 0, 0, 0}));
  EXPECT_EQ(table.FindSet(kImageKindBackground)->Images().size(), 4u);

  table.SetImage(kImageKindBackground, kStateNormal, L"file='b.png' dest='1,2,3,4'");
  first = table.FindFirstImage(kImageKindBackground);
  EXPECT_EQ(first->spec.file, L"b.png");
  EXPECT_EQ(first->spec.description, L"file='b.png' dest='1,2,3,4'");
  EXPECT_EQ(first->spec.dest, (Rect{1, 2, 3, 4}));

  // Setting again starts from a reset descriptor and lets the decoded image go.
  first->image = std::make_shared<ImageInfo>();
  first->frameIndex = 2;
  table.SetImage(kImageKindBackground, kStateNormal, L"c.png");
  EXPECT_EQ(first->image, nullptr);
  EXPECT_EQ(first->frameIndex, 0);
  EXPECT_EQ(first->spec.dest, (Rect{-1, -1, -1, -1}));
  EXPECT_EQ(table.FindFirstImage(kImageKindForeground), nullptr);
}

TEST(FrameDelayTest, DelaysAreBoundedByTheProperty) {
  const uint32_t values[] = {7, 8, 9, 10};
  const struct {
    ULONG length;
    bool present;
    size_t frames;
    std::vector<uint32_t> expected;
  } cases[] = {
      {16, true, 3, {7, 8, 9}},
      {8, true, 3, {7, 8, 0}},   // shorter than the frames: the rest have no delay
      {11, true, 3, {7, 8, 0}},  // a partial value is not read
      {0, true, 2, {0, 0}},
      {16, false, 2, {0, 0}},    // no value at all
  };
  for (const auto& c : cases) {
    Gdiplus::PropertyItem item = {};
    item.id = 0x5100;
    item.type = 4;
    item.length = c.length;
    item.value = c.present ? const_cast<uint32_t*>(values) : nullptr;
    EXPECT_EQ(ReadFrameDelays(item, c.frames), c.expected) << c.length;
  }
}

class ImageLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN"); }
  void TearDown() override { UiRuntime::Uninitialize(); }

  std::wstring Write(const wchar_t* name, const std::string& bytes) {
    const std::wstring path = dir_.Path() + L"\\" + name;
    EXPECT_TRUE(test_images::WriteBytes(path, bytes));
    return path;
  }

  test_support::TempDir dir_;
};

TEST_F(ImageLoadTest, AnimatedGifHasEveryFrameAndItsDelay) {
  const std::wstring path = Write(L"anim.gif", test_images::MakeAnimatedGif({0, 5, 10}));
  std::shared_ptr<ImageInfo> image = UiRuntime::GetOrLoadImage(path);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->FrameCount(), 3u);
  ASSERT_EQ(image->frameGdipBitmaps.size(), 3u);
  EXPECT_EQ(image->frameDelays, (std::vector<uint32_t>{0, 5, 10}));
  EXPECT_EQ(image->FrameDelay(7), 0u);
  EXPECT_EQ(image->width, 1);
  EXPECT_EQ(image->height, 1);
  EXPECT_FALSE(image->hasAlpha);
  EXPECT_TRUE(image->cached);
  for (HBITMAP frame : image->frameBitmaps) {
    BITMAP info = {};
    ASSERT_NE(GetObjectW(frame, sizeof(info), &info), 0);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_NE(info.bmBits, nullptr);  // a DIB section
  }
}

// An indexed image has alpha when its palette says so.
TEST_F(ImageLoadTest, TransparentGifHasAlpha) {
  const std::wstring path = Write(L"clear.gif", test_images::MakeAnimatedGif({3, 3}, true));
  std::shared_ptr<ImageInfo> image = UiRuntime::GetOrLoadImage(path);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->FrameCount(), 2u);
  EXPECT_TRUE(image->hasAlpha);
}

TEST_F(ImageLoadTest, AlphaIsTakenFromThePixels) {
  std::vector<uint32_t> pixels(4 * 3, 0xFF336699u);
  const std::wstring opaque = Write(L"opaque.png", test_images::MakeRgbaPng(4, 3, pixels));
  pixels[5] = 0x00336699u;
  const std::wstring holed = Write(L"holed.png", test_images::MakeRgbaPng(4, 3, pixels));
  pixels[5] = 0x80336699u;
  const std::wstring translucent = Write(L"translucent.png", test_images::MakeRgbaPng(4, 3, pixels));

  std::shared_ptr<ImageInfo> image = UiRuntime::GetOrLoadImage(opaque);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 3);
  EXPECT_EQ(image->FrameCount(), 1u);
  EXPECT_TRUE(image->frameDelays.empty());
  EXPECT_FALSE(image->hasAlpha);
  ASSERT_NE(UiRuntime::GetOrLoadImage(holed), nullptr);
  EXPECT_TRUE(UiRuntime::GetOrLoadImage(holed)->hasAlpha);
  ASSERT_NE(UiRuntime::GetOrLoadImage(translucent), nullptr);
  EXPECT_TRUE(UiRuntime::GetOrLoadImage(translucent)->hasAlpha);
}

TEST_F(ImageLoadTest, UndecodableFilesGiveNothingAndAreNotCached) {
  const std::string png = test_images::MakeRgbaPng(8, 8, std::vector<uint32_t>(64, 0xFF000000u));
  const std::string gif = test_images::MakeAnimatedGif({0, 5, 10});
  const std::wstring files[] = {
      Write(L"truncated.png", png.substr(0, png.size() / 2)),
      Write(L"header-only.png", png.substr(0, 16)),
      Write(L"text.png", "this is not an image\r\n"),
      Write(L"empty.png", ""),
      Write(L"truncated.gif", gif.substr(0, 20)),
      dir_.Path() + L"\\missing.png",
  };
  for (const std::wstring& path : files) {
    EXPECT_EQ(UiRuntime::GetOrLoadImage(path), nullptr) << path.c_str();
    EXPECT_EQ(UiRuntime::FindCachedImage(path), nullptr) << path.c_str();
  }
  EXPECT_EQ(LoadImageInfo(nullptr, L"x"), nullptr);
}

TEST_F(ImageLoadTest, OnePathHeldTwiceIsOneImageDecodedAnewOnceReleased) {
  const std::wstring path = Write(L"shared.png", test_images::MakeRgbaPng(2, 2, std::vector<uint32_t>(4, ~0u)));
  std::shared_ptr<ImageInfo> first = UiRuntime::GetOrLoadImage(path);
  ASSERT_NE(first, nullptr);
  // Another spelling of the same path is the same key.
  std::wstring otherSpelling = path;
  for (wchar_t& c : otherSpelling) {
    if (c == L'\\') c = L'/';
  }
  std::shared_ptr<ImageInfo> second = UiRuntime::GetOrLoadImage(otherSpelling);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(UiRuntime::FindCachedImage(otherSpelling).get(), first.get());
  EXPECT_EQ(first->cachePath, UiRuntime::ImageCacheKey(path));

  first.reset();
  EXPECT_NE(UiRuntime::FindCachedImage(path), nullptr);
  second.reset();
  EXPECT_EQ(UiRuntime::FindCachedImage(path), nullptr);

  // The file changed meanwhile: the next load decodes it, not a remembered image.
  Write(L"shared.png", test_images::MakeRgbaPng(3, 5, std::vector<uint32_t>(15, ~0u)));
  std::shared_ptr<ImageInfo> reloaded = UiRuntime::GetOrLoadImage(path);
  ASSERT_NE(reloaded, nullptr);
  EXPECT_EQ(reloaded->width, 3);
  EXPECT_EQ(reloaded->height, 5);
}

TEST_F(ImageLoadTest, ReleasingAControlImageLetsTheCacheEntryGo) {
  const std::wstring path = Write(L"held.png", test_images::MakeRgbaPng(1, 1, {~0u}));
  ImageKindTable table;
  table.SetImage(kImageKindForeground, kStateNormal, path);
  ControlImage* image = table.FindFirstImage(kImageKindForeground);
  image->image = UiRuntime::GetOrLoadImage(image->spec.file);
  ASSERT_NE(image->image, nullptr);
  image->playing = true;
  table.ReleaseImages();
  EXPECT_EQ(image->image, nullptr);
  EXPECT_FALSE(image->playing);
  EXPECT_EQ(image->spec.file, path);
  EXPECT_EQ(UiRuntime::FindCachedImage(path), nullptr);
}

}  // namespace
}  // namespace ui
