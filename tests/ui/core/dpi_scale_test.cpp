#include "ui/core/dpi_scale.h"

#include <gtest/gtest.h>

namespace {

// Sets the process-wide scale for one test and puts the previous one back.
class ScopedDpi {
 public:
  ScopedDpi(bool adapt, int scale)
      : adapt_(ui::DpiScale::Instance().IsAdapting()), scale_(ui::DpiScale::Instance().GetScale()) {
    ui::DpiScale::Instance().SetAdapt(adapt);
    ui::DpiScale::Instance().SetScale(scale);
  }
  ~ScopedDpi() {
    ui::DpiScale::Instance().SetAdapt(adapt_);
    ui::DpiScale::Instance().SetScale(scale_);
  }

 private:
  bool adapt_;
  int scale_;
};

TEST(DpiScale, StartsAt100WithoutAdapting) {
  EXPECT_EQ(ui::DpiScale::Instance().GetScale(), 100);
  EXPECT_FALSE(ui::DpiScale::Instance().IsAdapting());
}

TEST(DpiScale, ScalesOnlyWhileAdaptingAndNot100) {
  const struct {
    bool adapt;
    int scale;
    int value14;
    int minus3;
    ui::Rect small;  // from (1, 1, 2, 2)
    ui::Rect large;  // from (10, 20, 110, 70)
  } cases[] = {
      {false, 150, 14, -3, {1, 1, 2, 2}, {10, 20, 110, 70}},
      {true, 100, 14, -3, {1, 1, 2, 2}, {10, 20, 110, 70}},
      // The width 1 scales to 2 on its own; scaling the right edge would give 3.
      {true, 150, 21, -5, {2, 2, 4, 4}, {15, 30, 165, 105}},
      // MulDiv rounds to the nearest: 17.5 -> 18, 12.5 -> 13, 62.5 -> 63.
      {true, 125, 18, -4, {1, 1, 2, 2}, {13, 25, 138, 88}},
      {true, 200, 28, -6, {2, 2, 4, 4}, {20, 40, 220, 140}},
  };
  for (const auto& c : cases) {
    ScopedDpi dpi(c.adapt, c.scale);
    EXPECT_EQ(ui::DpiScale::Instance().ScaleValue(14), c.value14) << c.scale;
    EXPECT_EQ(ui::DpiScale::Instance().ScaleValue(-3), c.minus3) << c.scale;
    ui::Rect small{1, 1, 2, 2};
    ui::DpiScale::Instance().ScaleRect(small);
    EXPECT_EQ(small.left, c.small.left) << c.scale;
    EXPECT_EQ(small.top, c.small.top) << c.scale;
    EXPECT_EQ(small.right, c.small.right) << c.scale;
    EXPECT_EQ(small.bottom, c.small.bottom) << c.scale;
    ui::Rect large{10, 20, 110, 70};
    ui::DpiScale::Instance().ScaleRect(large);
    EXPECT_EQ(large.left, c.large.left) << c.scale;
    EXPECT_EQ(large.top, c.large.top) << c.scale;
    EXPECT_EQ(large.right, c.large.right) << c.scale;
    EXPECT_EQ(large.bottom, c.large.bottom) << c.scale;
  }
}

// The prefix runs Windows 10, which a program without a compatibility manifest sees as 6.2.
TEST(WindowsVersion, AtLeastVistaAndWindows8) {
  EXPECT_TRUE(ui::IsWindowsVersionAtLeast6(0));
  EXPECT_TRUE(ui::IsWindowsVersionAtLeast6(1));
  EXPECT_TRUE(ui::IsWindowsVersionAtLeast6(2));
}

}  // namespace
