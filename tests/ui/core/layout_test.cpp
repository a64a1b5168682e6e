// Every child's rectangle after the free, vertical, horizontal and tile layouts arrange a box
// built in code, and what auto-sized boxes measure.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/core/control_test_support.h"

using namespace ui;
using ui_test::R;

namespace {

enum BoxKind { kFree, kVertical, kHorizontal, kTile };

Box* MakeBox(BoxKind kind) {
  switch (kind) {
    case kVertical: return new VBox();
    case kHorizontal: return new HBox();
    case kTile: return new TileBox();
    default: return new Box();
  }
}

std::string Show(const Rect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

struct LayoutCase {
  const char* title;
  BoxKind kind;
  const wchar_t* boxAttributes;
  Rect bounds;
  std::vector<const wchar_t*> children;  // attribute lists
  std::vector<Rect> expected;            // one per child; hidden children keep (0,0,0,0)
};

TEST(LayoutTest, ChildRectangles) {
  const LayoutCase cases[] = {
      {"three stretching children share 100 pixels as 34/33/33", kVertical, L"", R(0, 0, 50, 100),
       {L"", L"", L""},
       {R(0, 0, 50, 34), R(0, 34, 50, 67), R(0, 67, 50, 100)}},
      {"fixed and stretch with margins, child margin, one-number padding, hidden and floating children", kVertical,
       L"padding=\"6\" childmargin=\"5\"", R(10, 10, 110, 210),
       {L"height=\"40\" margin=\"2,3,4,5\"", L"", L"height=\"30\" visible=\"false\"",
        L"float=\"true\" width=\"20\" height=\"20\" halign=\"right\" valign=\"bottom\""},
       {R(18, 13, 106, 53), R(16, 63, 110, 210), R(0, 0, 0, 0), R(90, 190, 110, 210)}},
      {"fixed children over the height squeeze a stretching child to its minimum", kVertical, L"", R(0, 0, 60, 100),
       {L"height=\"80\"", L"height=\"50\"", L"minheight=\"7\""},
       {R(0, 0, 60, 80), R(0, 80, 60, 130), R(0, 130, 60, 137)}},
      {"a centred child of width 50 with margins 3,0,1,0 in 101 pixels starts at left + 26", kVertical, L"",
       R(100, 0, 201, 40),
       {L"width=\"50\" height=\"10\" halign=\"center\" margin=\"3,0,1,0\"",
        L"width=\"20\" height=\"10\" halign=\"right\" margin=\"0,0,5,0\""},
       {R(126, 0, 176, 10), R(176, 10, 196, 20)}},
      {"limits: maximum size, no maximum width, maximum height -1", kVertical, L"", R(0, 0, 100, 100),
       {L"maxheight=\"20\" maxwidth=\"30\"", L"height=\"10\" maxwidth=\"-1\"", L"height=\"10\" maxheight=\"-1\""},
       {R(0, 0, 30, 20), R(0, 20, 100, 30), R(0, 30, 100, 30)}},
      {"horizontal stretch share and vertical alignment", kHorizontal, L"padding=\"0,2\"", R(0, 0, 100, 42),
       {L"", L"height=\"10\" valign=\"bottom\"", L"height=\"10\" valign=\"center\" margin=\"0,4,0,0\""},
       {R(0, 2, 34, 42), R(34, 32, 67, 42), R(67, 19, 100, 29)}},
      {"horizontal fixed widths with child margin", kHorizontal, L"childmargin=\"4\"", R(0, 0, 100, 20),
       {L"width=\"30\"", L"", L"width=\"10\" margin=\"2,0,0,0\""},
       {R(0, 0, 30, 20), R(34, 0, 84, 20), R(90, 0, 100, 20)}},
      {"tile cells 217/217/216 for item width 200 in 650; a second row", kTile, L"itemsize=\"200\"",
       R(0, 0, 650, 300),
       {L"height=\"50\"", L"height=\"50\"", L"height=\"50\"", L"height=\"50\""},
       {R(0, 0, 217, 50), R(217, 0, 434, 50), R(434, 0, 650, 50), R(0, 50, 217, 100)}},
      {"tile child margin and centred fixed children", kTile, L"columns=\"2\" childmargin=\"10\"", R(0, 0, 100, 200),
       {L"width=\"20\" height=\"20\"", L"height=\"30\"", L"width=\"20\" height=\"10\""},
       {R(15, 5, 35, 25), R(55, 0, 95, 30), R(15, 40, 35, 50)}},
      {"free layout: alignments, margins, stretch and a hidden child", kFree, L"", R(0, 0, 100, 50),
       {L"width=\"40\" height=\"20\" halign=\"center\" valign=\"bottom\"", L"margin=\"5,5,5,5\"",
        L"width=\"10\" height=\"10\" visible=\"false\""},
       {R(30, 30, 70, 50), R(5, 5, 95, 45), R(0, 0, 0, 0)}},
  };
  for (const LayoutCase& c : cases) {
    Box* box = MakeBox(c.kind);
    box->ApplyAttributeString(c.boxAttributes);
    std::vector<Control*> children;
    for (const wchar_t* attributes : c.children) {
      Control* child = new Control();
      child->ApplyAttributeString(attributes);
      box->AddChild(child);
      children.push_back(child);
    }
    box->SetBounds(c.bounds);
    ASSERT_EQ(children.size(), c.expected.size()) << c.title;
    for (size_t i = 0; i < children.size(); ++i) {
      EXPECT_EQ(Show(children[i]->GetBounds()), Show(c.expected[i])) << c.title << ", child " << i;
    }
    delete box;
  }
}

TEST(LayoutTest, AutoSizedBoxesMeasureTheirChildren) {
  // A vertical box of auto height inside a vertical box: its children, the child margin and
  // the two-number padding ("0,2": top 2, the rest 0) make its height.
  VBox outer;
  auto* inner = new VBox();
  inner->ApplyAttributeString(L"height=\"auto\" padding=\"0,2\" childmargin=\"4\"");
  auto* first = new Control();
  first->ApplyAttributeString(L"height=\"30\"");
  auto* second = new Control();
  second->ApplyAttributeString(L"height=\"20\" margin=\"0,0,0,3\"");
  inner->AddChild(first);
  inner->AddChild(second);
  auto* rest = new Control();
  outer.AddChild(inner);
  outer.AddChild(rest);
  outer.SetBounds(R(0, 0, 100, 200));
  EXPECT_EQ(Show(inner->GetBounds()), Show(R(0, 0, 100, 59)));
  EXPECT_EQ(Show(first->GetBounds()), Show(R(0, 2, 100, 32)));
  EXPECT_EQ(Show(second->GetBounds()), Show(R(0, 36, 100, 56)));
  EXPECT_EQ(Show(rest->GetBounds()), Show(R(0, 59, 100, 200)));

  // A free box of auto size: the widest and tallest child with margins, plus padding; with
  // no visible child -9999 plus the padding.
  Box free;
  free.ApplyAttributeString(L"width=\"auto\" height=\"auto\" padding=\"1,2,3,4\"");
  auto* a = new Control();
  a->ApplyAttributeString(L"width=\"40\" height=\"10\" margin=\"5,0,5,0\"");
  auto* b = new Control();
  b->ApplyAttributeString(L"width=\"20\" height=\"30\"");
  free.AddChild(a);
  free.AddChild(b);
  Size size = free.Measure(Size{500, 500});
  EXPECT_EQ(size.cx, 50 + 4);
  EXPECT_EQ(size.cy, 30 + 6);
  a->SetVisible(false);
  b->SetVisible(false);
  free.SetMeasurePending(true);
  size = free.Measure(Size{500, 500});
  EXPECT_EQ(size.cx, -9999 + 4);
  EXPECT_EQ(size.cy, -9999 + 6);

  // An empty vertical box with a child margin covers nothing.
  VLayout empty;
  empty.SetChildMargin(10);
  const Size covered = empty.ArrangeChildren({}, R(0, 0, 100, 100));
  EXPECT_EQ(covered.cx, 0);
  EXPECT_EQ(covered.cy, 0);
}

// Reports a text as wide as its fixed width allows, else 500 wide.
class WrappingText : public Control {
 public:
  Size MeasureText(Size /*available*/, bool* /*pending*/) override {
    ++measures;
    return Size{fixedWidth_ == kSizeAuto ? 500 : fixedWidth_, 20};
  }
  int measures = 0;
};

TEST(LayoutTest, AutoWidthWrapsAtTheAvailableWidth) {
  Box box;
  auto* text = new WrappingText();
  text->ApplyAttributeString(L"width=\"auto\" height=\"auto\" maxwidth=\"-1\" margin=\"10,0,10,0\"");
  box.AddChild(text);
  box.SetBounds(R(0, 0, 120, 50));
  EXPECT_EQ(Show(text->GetBounds()), Show(R(10, 0, 110, 20)));
  EXPECT_EQ(text->GetFixedWidth(), kSizeAuto);
  EXPECT_TRUE(text->IsMeasurePending());

  // With a maximum width the text is not wrapped but limited.
  Box limited;
  auto* capped = new WrappingText();
  capped->ApplyAttributeString(L"width=\"auto\" height=\"auto\" maxwidth=\"300\"");
  limited.AddChild(capped);
  limited.SetBounds(R(0, 0, 120, 50));
  EXPECT_EQ(capped->GetBounds().Width(), 300);
}

TEST(LayoutTest, AttributesWithFewerNumbersAndIgnoredValues) {
  struct Case {
    const wchar_t* name;
    const wchar_t* value;
    Rect padding;
  } paddings[] = {
      {L"padding", L"6", R(6, 0, 0, 0)},
      {L"padding", L"0,2", R(0, 2, 0, 0)},
      {L"padding", L"18,19,12", R(18, 19, 12, 0)},
      {L"padding", L"1,2,3,4", R(1, 2, 3, 4)},
      {L"padding", L"", R(0, 0, 0, 0)},
  };
  for (const Case& c : paddings) {
    Box box;
    box.ApplyAttribute(c.name, c.value);
    EXPECT_EQ(Show(box.GetLayout()->GetPadding()), Show(c.padding)) << std::string(c.value, c.value + wcslen(c.value));
  }

  TileBox tile;
  auto* layout = static_cast<TileLayout*>(tile.GetLayout());
  tile.ApplyAttribute(L"columns", L"0");
  tile.ApplyAttribute(L"columns", L"-3");
  EXPECT_EQ(layout->GetColumns(), 1);
  tile.ApplyAttribute(L"columns", L"4");
  EXPECT_EQ(layout->GetColumns(), 4);
  tile.ApplyAttribute(L"itemsize", L"0,2");
  EXPECT_EQ(layout->GetItemSize().cx, 0);
  EXPECT_EQ(layout->GetItemSize().cy, 2);
  // The layout consumes its names: none of them reaches the control.
  tile.ApplyAttribute(L"childmargin", L"7");
  EXPECT_EQ(layout->GetChildMargin(), 7);

  // Scaled for DPI as they are read.
  ui_test::ScopedDpi dpi(150);
  Box scaled;
  scaled.ApplyAttribute(L"padding", L"2,2,2,2");
  scaled.ApplyAttribute(L"childmargin", L"10");
  EXPECT_EQ(Show(scaled.GetLayout()->GetPadding()), Show(R(3, 3, 3, 3)));
  EXPECT_EQ(scaled.GetLayout()->GetChildMargin(), 15);
}

}  // namespace
