// Labels: texts and text ids, alignment, measuring and painting into off-screen surfaces.

#include <gtest/gtest.h>

#include <string>

#include "ui/controls/button.h"
#include "ui/core/control_test_support.h"
#include "ui/render/render_test_support.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using render_test::PixelAt;
using render_test::RgbNear;
using ui_test::R;
using ui_test::TestWindow;

namespace {

constexpr ArgbColor kWhite = 0xFFFFFFFFu;
constexpr ArgbColor kRed = 0xFFFF0000u;
constexpr ArgbColor kBlue = 0xFF0000FFu;
const wchar_t kFont[] = L"label.test.16";

class LabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
    ASSERT_NE(UiRuntime::RegisterFont(kFont, L"system", 16, false, false, false, false), nullptr);
    UiRuntime::SetColor(L"t.red", kRed);
    UiRuntime::SetColor(L"t.blue", kBlue);
  }
  void TearDown() override { UiRuntime::Uninitialize(); }

  // The columns holding a red-ish pixel, as [first, last]; (-1, -1) when none.
  static std::pair<int, int> InkColumns(IRenderContext& context, const Rect& area) {
    std::pair<int, int> range{-1, -1};
    for (int x = area.left; x < area.right; ++x)
      for (int y = area.top; y < area.bottom; ++y) {
        const uint32_t p = PixelAt(context, x, y);
        if (((p >> 16) & 0xFF) > 0x80 && (p & 0xFF) < 0x80 && ((p >> 8) & 0xFF) < 0x80) {
          if (range.first < 0) range.first = x;
          range.second = x;
        }
      }
    return range;
  }
  static std::pair<int, int> InkRows(IRenderContext& context, const Rect& area) {
    std::pair<int, int> range{-1, -1};
    for (int y = area.top; y < area.bottom; ++y)
      for (int x = area.left; x < area.right; ++x) {
        const uint32_t p = PixelAt(context, x, y);
        if (((p >> 16) & 0xFF) > 0x80 && (p & 0xFF) < 0x80) {
          if (range.first < 0) range.first = y;
          range.second = y;
        }
      }
    return range;
  }
};

TEST_F(LabelTest, AlignKeywordsAreFoundAsSubstrings) {
  const UINT base = kLabelTextStyle;
  const UINT button = kLabelTextStyle | DT_CENTER | DT_VCENTER;
  struct Case {
    UINT start;
    const wchar_t* value;
    UINT expected;
  } cases[] = {
      {base, L"right top", (base | DT_RIGHT | DT_SINGLELINE)},
      {base, L"center", base | DT_CENTER},
      {button, L"left", button & ~static_cast<UINT>(DT_CENTER | DT_VCENTER | DT_SINGLELINE)},
      {base, L"hcenter,vcenter", base | DT_CENTER | DT_VCENTER},
      {base, L"left,vcenter", base | DT_CENTER | DT_VCENTER},  // "center" is in "vcenter"
      {base, L"bottom", base | DT_BOTTOM},
      {base, L"", base},
  };
  for (const Case& c : cases) EXPECT_EQ(ApplyTextAlignment(c.start, c.value), c.expected) << c.value;

  Button buttonControl;
  buttonControl.ApplyAttribute(L"align", L"left");
  EXPECT_EQ(buttonControl.GetTextStyle() & (DT_CENTER | DT_VCENTER), 0u);
}

TEST_F(LabelTest, TextIdsAndLiteralTexts) {
  ASSERT_TRUE(LanguageTable::Instance()->ParseLines({L"greeting=Hello", L"farewell=Bye"}));
  TestWindow window;
  auto* box = new Box();
  window.AttachRoot(box);
  auto* label = new Label();
  box->AddChild(label);
  label->ApplyAttribute(L"textid", L"greeting");
  EXPECT_EQ(label->GetText(), L"Hello");
  label->ApplyAttribute(L"text", L"Literal");
  EXPECT_EQ(label->GetText(), L"Literal");
  label->SetTextId(L"missing", false);
  EXPECT_EQ(label->GetText(), L"Literal");

  // The same id without clearText changes nothing; with it the literal text goes and the
  // label asks for layout again.
  label->SetTextId(L"greeting", false);
  label->SetMeasurePending(false);
  label->SetTextId(L"greeting", false);
  EXPECT_FALSE(label->IsMeasurePending());
  EXPECT_EQ(label->GetText(), L"Literal");
  label->SetTextId(L"greeting", true);
  EXPECT_TRUE(label->IsMeasurePending());
  EXPECT_EQ(label->GetText(), L"Hello");
  label->SetTextId(L"missing", true);
  EXPECT_EQ(label->GetText(), L"");
  EXPECT_EQ(label->GetTextUtf8(), "");
  label->SetTextUtf8("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(label->GetText(), L"\u00e9t\u00e9");

  // A "Label" fits its text, a "LabelBox" stretches.
  EXPECT_EQ(label->GetFixedWidth(), kSizeAuto);
  LabelBox labelBox;
  EXPECT_EQ(labelBox.GetFixedWidth(), kSizeStretch);
  EXPECT_EQ(labelBox.GetFixedHeight(), kSizeStretch);
}

TEST_F(LabelTest, MeasuresPaddingWrappingAndSpacing) {
  IRenderContext* measure = GetTextMeasuringContext();
  ASSERT_NE(measure, nullptr);
  const std::wstring ten = L"abcdefghij";
  const Rect plain = measure->MeasureText(ten, kFont, kLabelTextStyle, -1);
  ASSERT_GT(plain.Width(), 20);

  Label padded;
  padded.ApplyAttribute(L"font", kFont);
  padded.ApplyAttribute(L"text", ten);
  Size size = padded.Measure(Size{1000, 1000});
  EXPECT_EQ(size.cx, plain.Width());
  EXPECT_EQ(size.cy, plain.Height());
  padded.ApplyAttribute(L"textpadding", L"6,0,6,0");
  padded.SetMeasurePending(true);
  size = padded.Measure(Size{1000, 1000});
  EXPECT_EQ(size.cx, plain.Width() + 12);
  EXPECT_EQ(size.cy, plain.Height());

  // Character spacing s on ten characters adds 10 s; a short gradient list is ignored.
  Label spaced;
  spaced.ApplyAttribute(L"font", kFont);
  spaced.ApplyAttribute(L"text", ten);
  spaced.ApplyAttribute(L"gradient_text", L"t.red,t.blue");
  spaced.ApplyAttribute(L"gradient_outline", L"t.red,t.blue");
  EXPECT_EQ(spaced.GetTextEffect(), nullptr);
  spaced.ApplyAttribute(L"gradient_text", L"t.red,t.blue,1,1,3");
  ASSERT_NE(spaced.GetTextEffect(), nullptr);
  spaced.SetMeasurePending(true);
  EXPECT_EQ(spaced.Measure(Size{1000, 1000}).cx, plain.Width() + 30);
  spaced.ApplyAttribute(L"gradient_outline", L"t.red,t.blue,2");
  EXPECT_EQ(spaced.GetTextEffect()->CharSpacing(), 3);

  // A multi-line label offered 200 wraps at 200 less its padding, and again at each layout.
  std::wstring longText;
  for (int i = 0; i < 12; ++i) longText += L"word ";
  Label wrapped;
  wrapped.ApplyAttribute(L"font", kFont);
  wrapped.ApplyAttribute(L"singleline", L"false");
  wrapped.ApplyAttribute(L"textpadding", L"10,0,10,0");
  wrapped.ApplyAttribute(L"text", longText);
  const Rect at180 = measure->MeasureText(longText, kFont, kLabelTextStyle & ~DT_SINGLELINE, 180);
  size = wrapped.Measure(Size{200, 1000});
  EXPECT_EQ(size.cx, at180.Width() + 20);
  EXPECT_EQ(size.cy, at180.Height());
  EXPECT_LT(size.cx, measure->MeasureText(longText, kFont, kLabelTextStyle, -1).Width());  // wrapped
  EXPECT_TRUE(wrapped.IsMeasurePending());
  const Rect at380 = measure->MeasureText(longText, kFont, kLabelTextStyle & ~DT_SINGLELINE, 380);
  size = wrapped.Measure(Size{400, 1000});
  EXPECT_EQ(size.cy, at380.Height());
  EXPECT_LT(size.cy, at180.Height());

  // An empty text measures nothing.
  Label empty;
  EXPECT_EQ(empty.Measure(Size{100, 100}).cx, 0);
}

TEST_F(LabelTest, PaintsTextInItsColourAndPlace) {
  struct Case {
    const wchar_t* align;
    int expectedLeft;   // -1: not checked
    int expectedRight;  // -1: not checked
    bool vcenter;
  } cases[] = {
      {L"left", 0, -1, false},
      {L"right", -1, 199, false},
      {L"center", -1, -1, false},
      {L"hcenter,vcenter", -1, -1, true},
  };
  for (const Case& c : cases) {
    TestWindow window;
    auto* label = new Label();
    window.AttachRoot(label);
    label->ApplyAttribute(L"font", kFont);
    label->ApplyAttribute(L"normaltextcolor", L"t.red");
    label->ApplyAttribute(L"align", c.align);
    label->ApplyAttribute(L"text", L"MMMM");
    label->SetBounds(R(0, 0, 200, 60));
    auto context = render_test::NewContext(200, 60);
    render_test::Paint(*context, kWhite);
    label->Paint(context.get(), R(0, 0, 200, 60));
    const auto columns = InkColumns(*context, R(0, 0, 200, 60));
    const auto rows = InkRows(*context, R(0, 0, 200, 60));
    ASSERT_GE(columns.first, 0) << c.align;
    if (c.expectedLeft >= 0) {
      EXPECT_LE(columns.first, c.expectedLeft + 3) << c.align;
    }
    if (c.expectedRight >= 0) {
      EXPECT_GE(columns.second, c.expectedRight - 3) << c.align;
    }
    if (std::wstring(c.align).find(L"center") != std::wstring::npos) {
      EXPECT_NEAR((columns.first + columns.second) / 2, 100, 4) << c.align;
    }
    if (c.vcenter) {
      EXPECT_NEAR((rows.first + rows.second) / 2, 30, 5) << c.align;
    } else {
      EXPECT_LT(rows.first, 12) << c.align;
    }
  }

  // Too long for its width: cut with an ellipsis, ink stays inside the bounds.
  TestWindow window;
  auto* label = new Label();
  window.AttachRoot(label);
  label->ApplyAttribute(L"font", kFont);
  label->ApplyAttribute(L"normaltextcolor", L"t.red");
  label->ApplyAttribute(L"text", L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM");
  label->SetBounds(R(0, 0, 80, 30));
  auto context = render_test::NewContext(200, 30);
  render_test::Paint(*context, kWhite);
  label->Paint(context.get(), R(0, 0, 200, 30));
  const auto columns = InkColumns(*context, R(0, 0, 200, 30));
  ASSERT_GE(columns.first, 0);
  EXPECT_LT(columns.second, 80);
}

TEST_F(LabelTest, DisabledSelectedCheckBoxDrawsTheDisabledTextColour) {
  TestWindow window;
  auto* box = new CheckBox();
  window.AttachRoot(box);
  box->ApplyAttribute(L"font", kFont);
  box->ApplyAttribute(L"normaltextcolor", L"t.blue");
  box->ApplyAttribute(L"disabledtextcolor", L"t.red");
  box->ApplyAttribute(L"selectedtextcolor", L"t.blue");
  box->ApplyAttribute(L"text", L"MMMM");
  box->ApplyAttribute(L"selected", L"true");
  box->SetBounds(R(0, 0, 200, 40));
  auto context = render_test::NewContext(200, 40);
  render_test::Paint(*context, kWhite);
  box->Paint(context.get(), R(0, 0, 200, 40));
  EXPECT_LT(InkColumns(*context, R(0, 0, 200, 40)).first, 0);  // blue, not red
  box->SetEnabled(false);
  render_test::Paint(*context, kWhite);
  box->Paint(context.get(), R(0, 0, 200, 40));
  EXPECT_GE(InkColumns(*context, R(0, 0, 200, 40)).first, 0);
}

}  // namespace
