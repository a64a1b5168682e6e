// The shadow wrap of a window's root: the box's size and padding, the root's rounded corners,
// and a shadow painted only when a repaint reaches outside the box's interior.

#include <gtest/gtest.h>

#include "ui/core/control_test_support.h"
#include "ui/core/shadow_box.h"
#include "ui/core/window.h"

using namespace ui;
using ui_test::R;

namespace {

struct WrapCase {
  bool attached;
  bool ownImage;  // the skin named its own shadow image
  int32_t width, height;
  int32_t boxWidth, boxHeight;
};

TEST(ShadowBoxTest, WrapRootSizesTheBoxAroundTheRoot) {
  const WrapCase cases[] = {
      {true, false, 400, 300, 428, 328},
      {true, false, kSizeStretch, 300, kSizeStretch, 328},
      {true, false, kSizeAuto, kSizeAuto, kSizeAuto, kSizeAuto},
      {true, true, 400, 300, 428, 328},
      {false, false, 400, 300, 0, 0},
  };
  for (const WrapCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.attached << c.ownImage << " " << c.width << "x" << c.height);
    WindowShadow shadow;
    shadow.padding = R(14, 14, 14, 14);
    shadow.attached = c.attached;
    if (c.ownImage) shadow.roundCorner = false;
    auto* root = new Control();
    root->SetDeclaredWidth(c.width, false, false);
    root->SetDeclaredHeight(c.height, false);
    Control* wrapped = shadow.WrapRoot(root);
    if (!c.attached) {
      EXPECT_EQ(wrapped, root);
      EXPECT_EQ(shadow.box, nullptr);
      delete root;
      continue;
    }
    auto* box = dynamic_cast<ShadowBox*>(wrapped);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(shadow.box, box);
    EXPECT_EQ(box->GetFixedWidth(), c.boxWidth);
    EXPECT_EQ(box->GetFixedHeight(), c.boxHeight);
    EXPECT_EQ(box->GetLayout()->GetPadding().left, 14);
    EXPECT_EQ(box->GetChildCount(), 1u);
    EXPECT_EQ(box->GetChildAt(0), root);
    EXPECT_EQ(root->GetBorderRound().cx, c.ownImage ? 0 : DpiScale::Instance().ScaleValue(3));
    EXPECT_EQ(box->GetBkImage().spec.file, L"../public/bk_shadow.png");
    delete box;
  }
}

class CountingShadowBox : public ShadowBox {
 public:
  void PaintBkColor(IRenderContext*) override { ++paints; }
  int paints = 0;
};

TEST(ShadowBoxTest, PaintsOnlyWhenTheDirtyRectangleLeavesTheInterior) {
  CountingShadowBox box;
  box.GetLayout()->SetPadding(R(14, 14, 14, 14), false);
  box.SetBounds(R(0, 0, 428, 328));
  const struct {
    Rect dirty;
    bool painted;
  } cases[] = {
      {R(20, 20, 100, 100), false},  {R(14, 14, 414, 314), false}, {R(13, 20, 100, 100), true},
      {R(20, 13, 100, 100), true},   {R(20, 20, 415, 100), true},  {R(20, 20, 100, 315), true},
      {R(0, 0, 428, 328), true},
  };
  for (const auto& c : cases) {
    box.paints = 0;
    box.PaintSelf(nullptr, c.dirty);
    EXPECT_EQ(box.paints > 0, c.painted) << c.dirty.left << "," << c.dirty.top << "," << c.dirty.right << ","
                                         << c.dirty.bottom;
  }
}

}  // namespace
