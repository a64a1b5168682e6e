#include <gtest/gtest.h>

#include <memory>

#include "render_test_support.h"
#include "ui/render/gdi_clip.h"
#include "ui/render/gdiplus_tools.h"
#include "ui/render/render_factory_gdiplus.h"

namespace {

using render_test::NewContext;
using render_test::PixelAt;
using render_test::RgbNear;

ui::RenderFactory_GdiPlus g_factory;

TEST(Pen, PropertiesRoundTripAndClonesAreIndependent) {
  std::unique_ptr<ui::IPen> pen(g_factory.NewPen(0xFFFF0000, 3));
  EXPECT_EQ(pen->Width(), 3);
  pen->SetWidth(5);
  EXPECT_EQ(pen->Width(), 5);
  pen->SetColor(0xFF00FF00);
  EXPECT_EQ(pen->Color(), 0xFF00FF00u);
  struct Case {
    void (ui::IPen::*set)(int);
    int (ui::IPen::*get)();
    int value;
  } cases[] = {
      {&ui::IPen::SetStartCap, &ui::IPen::StartCap, 2},   // LineCapRound
      {&ui::IPen::SetEndCap, &ui::IPen::EndCap, 3},       // LineCapTriangle
      {&ui::IPen::SetDashCap, &ui::IPen::DashCap, 2},     // DashCapRound
      {&ui::IPen::SetLineJoin, &ui::IPen::LineJoin, 2},   // LineJoinRound
      {&ui::IPen::SetDashStyle, &ui::IPen::DashStyle, 1}, // DashStyleDash
  };
  for (const Case& c : cases) {
    EXPECT_EQ(((*pen).*c.get)(), 0) << "GDI+ defaults";
    ((*pen).*c.set)(c.value);
    EXPECT_EQ(((*pen).*c.get)(), c.value);
  }
  std::unique_ptr<ui::IPen> clone(pen->Clone());
  clone->SetWidth(9);
  clone->SetColor(0xFF0000FF);
  EXPECT_EQ(pen->Width(), 5);
  EXPECT_EQ(pen->Color(), 0xFF00FF00u);
  EXPECT_EQ(clone->Width(), 9);
  EXPECT_EQ(clone->LineJoin(), 2) << "the clone starts as a copy";
}

TEST(Brush, CloneKeepsColourAndPaints) {
  std::unique_ptr<ui::IBrush> brush(g_factory.NewSolidBrush(0xFF0000FF));
  std::unique_ptr<ui::IBrush> clone(brush->Clone());
  brush.reset();
  EXPECT_EQ(clone->Color(), 0xFF0000FFu);
  std::unique_ptr<ui::IPath> path(g_factory.NewPath());
  path->AddRectangle(ui::Rect{0, 0, 4, 4});
  auto context = NewContext(4, 4);
  context->FillPath(path.get(), clone.get());
  EXPECT_TRUE(RgbNear(PixelAt(*context, 2, 2), 0xFF0000FF));
}

TEST(Path, BoundsHitTestsAndTransforms) {
  std::unique_ptr<ui::IPath> path(g_factory.NewPath());
  path->AddRectangle(ui::Rect{10, 10, 20, 30});
  const ui::Rect bare = path->Bounds(nullptr);
  EXPECT_EQ(bare.left, 10);
  EXPECT_EQ(bare.top, 10);
  EXPECT_EQ(bare.right, 20);
  EXPECT_EQ(bare.bottom, 30);
  std::unique_ptr<ui::IPen> pen(g_factory.NewPen(0xFF000000, 4));
  const ui::Rect widened = path->Bounds(pen.get());
  EXPECT_LT(widened.left, 10);
  EXPECT_LT(widened.top, 10);
  EXPECT_GT(widened.right, 20);
  EXPECT_GT(widened.bottom, 30);
  EXPECT_TRUE(path->ContainsPoint(15, 20));
  EXPECT_FALSE(path->ContainsPoint(25, 20));
  EXPECT_TRUE(path->OutlineContainsPoint(10, 20, pen.get()));
  EXPECT_FALSE(path->OutlineContainsPoint(15, 20, pen.get()));

  std::unique_ptr<ui::IPath> clone(path->Clone());
  path->Reset();
  EXPECT_TRUE(clone->ContainsPoint(15, 20)) << "a clone keeps its figures";
  EXPECT_FALSE(path->ContainsPoint(15, 20));

  // (20, 10) turned 90 degrees about (10, 10) lands on (10, 20).
  std::unique_ptr<ui::IMatrix> matrix(g_factory.NewMatrix());
  matrix->RotateAbout(90, ui::Point{10, 10});
  path->AddRectangle(ui::Rect{20, 10, 22, 12});
  path->Transform(matrix.get());
  path->Transform(nullptr);
  const ui::Rect turned = path->Bounds(nullptr);
  EXPECT_EQ(turned.left, 8);
  EXPECT_EQ(turned.top, 20);
  EXPECT_EQ(turned.right, 10);
  EXPECT_EQ(turned.bottom, 22);

  std::unique_ptr<ui::IMatrix> moveAndScale(g_factory.NewMatrix());
  moveAndScale->Translate(100, 0);
  moveAndScale->Scale(2, 3);  // prepended: scaled first, then moved
  std::unique_ptr<ui::IPath> unit(g_factory.NewPath());
  unit->AddRectangleEdges(1, 1, 2, 2);
  unit->Transform(moveAndScale.get());
  const ui::Rect moved = unit->Bounds(nullptr);
  EXPECT_EQ(moved.left, 102);
  EXPECT_EQ(moved.top, 3);
  EXPECT_EQ(moved.right, 104);
  EXPECT_EQ(moved.bottom, 6);
}

TEST(Path, PointListsWithoutPointsAddNothing) {
  const ui::Point points[] = {{1, 1}, {30, 1}, {30, 30}};
  using Adder = void (ui::IPath::*)(const ui::Point*, int);
  for (Adder add : {&ui::IPath::AddLines, &ui::IPath::AddCurve, &ui::IPath::AddPolygon}) {
    for (auto [list, count] : {std::pair<const ui::Point*, int>{nullptr, 3}, {points, 0}, {points, -2}}) {
      ui::Path_Gdiplus path;
      path.AddRectangle(ui::Rect{5, 5, 6, 6});
      (path.*add)(list, count);
      EXPECT_EQ(path.LastStatus(), 2) << "InvalidParameter";
      const ui::Rect bounds = path.Bounds(nullptr);
      EXPECT_EQ(bounds.right, 6) << "nothing added";
    }
    ui::Path_Gdiplus path;
    (path.*add)(points, 3);
    EXPECT_EQ(path.LastStatus(), 0);
    EXPECT_GE(path.Bounds(nullptr).right, 30);
  }
}

TEST(GdiClip, ClipsInLogicalCoordinatesAndStacks) {
  auto context = NewContext(120, 50);
  HDC dc = context->DrawingDC();
  SetWindowOrgEx(dc, 100, 0, nullptr);
  ui::GdiClip clip;
  auto fill = [&] {
    context->ZeroPixels();
    context->FillRectArgb(ui::Rect{0, 0, 400, 400}, 0xFFFFFFFF, 255);
  };
  clip.SelectRectClip(dc, ui::Rect{100, 0, 200, 50});
  fill();
  EXPECT_EQ(PixelAt(*context, 99, 10) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(PixelAt(*context, 100, 10), 0u) << "device column 100 lies outside";
  clip.SelectRectClip(dc, ui::Rect{150, 0, 160, 50});
  fill();
  EXPECT_EQ(PixelAt(*context, 49, 10), 0u);
  EXPECT_EQ(PixelAt(*context, 50, 10) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(PixelAt(*context, 60, 10), 0u);
  clip.RestoreClip(dc);
  fill();
  EXPECT_EQ(PixelAt(*context, 20, 10) & 0xFFFFFF, 0xFFFFFFu) << "the first clip is back";
  EXPECT_EQ(PixelAt(*context, 110, 10), 0u);
  clip.RestoreClip(dc);
  clip.SelectRectClip(nullptr, ui::Rect{0, 0, 1, 1});
  clip.RestoreClip(nullptr);
}

}  // namespace
