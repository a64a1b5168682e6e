// Markup attributes of a control: every key with good and bad values, attribute texts, and
// classes from the global and the window's tables.

#include <gtest/gtest.h>

#include <functional>

#include "ui/core/control_test_support.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::R;
using ui_test::Same;
using ui_test::ScopedDpi;
using ui_test::TestWindow;

namespace {

struct AttributeCase {
  const wchar_t* key;
  const wchar_t* value;
  std::function<bool(Control&)> check;
};

// Each case runs on a fresh control at 150 % after the optional preparation.
void RunCases(const std::vector<AttributeCase>& cases, const std::function<void(Control&)>& prepare = nullptr) {
  for (const AttributeCase& c : cases) {
    ScopedDpi dpi(150);
    Control control;
    if (prepare) prepare(control);
    control.ApplyAttribute(c.key, c.value);
    EXPECT_TRUE(c.check(control)) << "key \"" << std::string(c.key, c.key + wcslen(c.key)) << "\" value \""
                                  << std::string(c.value, c.value + wcslen(c.value)) << "\"";
  }
}

TEST(ControlAttributeTest, EveryKey) {
  RunCases({
      {L"halign", L"center", [](Control& c) { return c.GetHorizontalAlignment() == 1; }},
      {L"halign", L"right", [](Control& c) { return c.GetHorizontalAlignment() == 2; }},
      {L"halign", L"bottom", [](Control& c) { return c.GetHorizontalAlignment() == 0; }},
      {L"valign", L"bottom", [](Control& c) { return c.GetVerticalAlignment() == 2; }},
      {L"valign", L"Center", [](Control& c) { return c.GetVerticalAlignment() == 0; }},
      {L"margin", L"30", [](Control& c) { return Same(c.GetMargin(), R(45, 0, 0, 0)); }},
      {L"margin", L"0,-4", [](Control& c) { return Same(c.GetMargin(), R(0, -6, 0, 0)); }},
      {L"margin", L"2 4 6 8 10", [](Control& c) { return Same(c.GetMargin(), R(3, 6, 9, 12)); }},
      {L"margin", L"", [](Control& c) { return Same(c.GetMargin(), R(0, 0, 0, 0)); }},
      {L"bkcolor", L" \twhite", [](Control& c) { return c.GetBkColor() == L"white"; }},
      {L"bkcolor1", L"black", [](Control& c) { return c.GetBkColor() == L"black"; }},
      {L"bordersize", L"2", [](Control& c) { return c.GetBorderSize() == 3 && Same(c.GetSideBorders(), R(0, 0, 0, 0)); }},
      {L"bordersize", L"0,2", [](Control& c) { return c.GetBorderSize() == 0 && Same(c.GetSideBorders(), R(0, 3, 0, 0)); }},
      {L"borderround", L"4,6", [](Control& c) { return c.GetBorderRound().cx == 6 && c.GetBorderRound().cy == 9; }},
      {L"width", L"auto", [](Control& c) { return c.GetFixedWidth() == kSizeAuto; }},
      {L"width", L"stretch", [](Control& c) { return c.GetFixedWidth() == kSizeStretch; }},
      {L"width", L"10", [](Control& c) { return c.GetFixedWidth() == 15; }},
      {L"width", L"0", [](Control& c) { return c.GetFixedWidth() == 0; }},
      {L"width", L"-5", [](Control& c) { return c.GetFixedWidth() == kSizeStretch; }},
      {L"width", L"12px", [](Control& c) { return c.GetFixedWidth() == 18; }},
      {L"height", L"auto", [](Control& c) { return c.GetFixedHeight() == kSizeAuto; }},
      {L"height", L" 7", [](Control& c) { return c.GetFixedHeight() == 11; }},
      {L"maxwidth", L"-5", [](Control& c) { return c.GetMaxWidth() == -5; }},
      {L"maxwidth", L"auto", [](Control& c) { return c.GetMaxWidth() == kSizeAuto; }},
      {L"maxheight", L"100", [](Control& c) { return c.GetMaxHeight() == 150; }},
      {L"minwidth", L"10", [](Control& c) { return c.GetMinWidth() == 15; }},
      {L"minwidth", L"-1", [](Control& c) { return c.GetMinWidth() == -1; }},
      {L"minheight", L"4", [](Control& c) { return c.GetMinHeight() == 6; }},
      {L"state", L"hot", [](Control& c) { return c.GetState() == kStateHot && c.GetHoverBlend() == 255; }},
      {L"state", L"disabled", [](Control& c) { return c.GetState() == kStateDisabled && c.IsEnabled(); }},
      {L"state", L"pushed", [](Control& c) { return c.GetState() == kStatePushed; }},
      {L"state", L"Hot", [](Control& c) { return c.GetState() == kStateNormal; }},
      {L"cursortype", L"hand", [](Control& c) { return c.GetCursorType() == kCursorHand; }},
      {L"cursortype", L"ibeam", [](Control& c) { return c.GetCursorType() == kCursorIBeam; }},
      {L"cursortype", L"wait", [](Control& c) { return c.GetCursorType() == kCursorArrow; }},
      {L"renderoffset", L"2,-4", [](Control& c) { return c.GetRenderOffset().x == 3 && c.GetRenderOffset().y == -6; }},
      {L"normalcolor", L"white", [](Control& c) { return c.GetStateColor(kStateNormal) == L"white"; }},
      {L"hotcolor", L"red",
       [](Control& c) { return c.GetStateColor(kStateHot) == L"red" && c.GetAnimator().GetPlayer(kEffectHot); }},
      {L"pushedcolor", L"blue", [](Control& c) { return c.GetStateColor(kStatePushed) == L"blue"; }},
      {L"disabledcolor", L"gray", [](Control& c) { return c.GetStateColor(kStateDisabled) == L"gray"; }},
      {L"bordercolor", L"line", [](Control& c) { return c.GetBorderColor() == L"line"; }},
      {L"leftbordersize", L"2", [](Control& c) { return Same(c.GetSideBorders(), R(3, 0, 0, 0)); }},
      {L"topbordersize", L"2", [](Control& c) { return Same(c.GetSideBorders(), R(0, 3, 0, 0)); }},
      {L"rightbordersize", L"2", [](Control& c) { return Same(c.GetSideBorders(), R(0, 0, 3, 0)); }},
      {L"bottombordersize", L"2", [](Control& c) { return Same(c.GetSideBorders(), R(0, 0, 0, 3)); }},
      {L"bkimage", L"file='a.png' playcount='0'",
       [](Control& c) { return c.GetBkImage().spec.file == L"a.png" && !c.IsBkAnimationAllowed(); }},
      {L"bkimage", L"b.png", [](Control& c) { return c.GetBkImage().spec.file == L"b.png" && c.IsBkAnimationAllowed(); }},
      {L"bkimageadaptlanguage", L"true", [](Control& c) { return c.IsBkImageLanguageVariant(); }},
      {L"name", L"btn_ok", [](Control& c) { return c.GetName() == L"btn_ok"; }},
      {L"tooltiptext", L"a<n>b", [](Control& c) { return c.GetToolTipText() == L"a\r\nb"; }},
      {L"tooltiptextid", L"STRING_TIP", [](Control& c) { return c.GetToolTipTextId() == L"STRING_TIP"; }},
      {L"dataid", L"42", [](Control& c) { return c.GetDataId() == L"42"; }},
      {L"enabled", L"True", [](Control& c) { return !c.IsEnabled(); }},
      {L"enabled", L"true", [](Control& c) { return c.IsEnabled(); }},
      {L"mouse", L"1", [](Control& c) { return !c.IsMouseEnabled(); }},
      {L"keyboard", L"", [](Control& c) { return !c.IsKeyboardEnabled(); }},
      {L"visible", L"false", [](Control& c) { return !c.IsVisible(); }},
      {L"fadevisible", L"false", [](Control& c) { return !c.IsVisible(); }},
      {L"menu", L"true", [](Control& c) { return c.IsMenuEnabled(); }},
      {L"float", L"true", [](Control& c) { return c.IsFloat(); }},
      {L"cache", L"true", [](Control& c) { return c.IsCached(); }},
      {L"nofocus", L"false", [](Control& c) { return c.HasNoFocus(); }},
      {L"alpha", L"300", [](Control& c) { return c.GetAlpha() == 300; }},
      {L"normalimage", L"n.png",
       [](Control& c) { return c.GetStateImages().FindSet(kImageKindBackground)->GetImage(kStateNormal).spec.file == L"n.png"; }},
      {L"hotimage", L"file='h.png' fade='100'",
       [](Control& c) {
         const ControlImage& image = c.GetStateImages().FindSet(kImageKindBackground)->GetImage(kStateHot);
         return image.spec.file == L"h.png" && image.spec.fade == 100 && c.GetAnimator().GetPlayer(kEffectHot) &&
                c.HasHotLook();
       }},
      {L"pushedimage", L"p.png",
       [](Control& c) { return c.GetStateImages().FindSet(kImageKindBackground)->GetImage(kStatePushed).spec.file == L"p.png"; }},
      {L"disabledimage", L"d.png",
       [](Control& c) { return c.GetStateImages().FindSet(kImageKindBackground)->GetImage(kStateDisabled).spec.file == L"d.png"; }},
      {L"forenormalimage", L"fn.png",
       [](Control& c) { return c.GetStateImages().FindSet(kImageKindForeground)->GetImage(kStateNormal).spec.file == L"fn.png"; }},
      {L"forehotimage", L"fh.png",
       [](Control& c) {
         return c.GetStateImages().FindSet(kImageKindForeground)->GetImage(kStateHot).spec.file == L"fh.png" &&
                c.GetAnimator().GetPlayer(kEffectHot);
       }},
      {L"forepushedimage", L"fp.png",
       [](Control& c) { return c.GetStateImages().FindSet(kImageKindForeground)->GetImage(kStatePushed).spec.file == L"fp.png"; }},
      {L"foredisabledimage", L"fd.png",
       [](Control& c) { return c.GetStateImages().FindSet(kImageKindForeground)->GetImage(kStateDisabled).spec.file == L"fd.png"; }},
      {L"fadealpha", L"true", [](Control& c) { return c.GetAnimator().GetPlayer(kEffectAlpha) && c.GetAlpha() == 0; }},
      {L"fadehot", L"true", [](Control& c) { return c.GetAnimator().GetPlayer(kEffectHot) != nullptr; }},
      {L"fadewidth", L"true", [](Control& c) { return c.GetAnimator().GetPlayer(kEffectWidth) != nullptr; }},
      {L"fadeheight", L"true", [](Control& c) { return c.GetAnimator().GetPlayer(kEffectHeight) != nullptr; }},
      {L"fadeinoutxfromleft", L"true", [](Control& c) { return c.GetAnimator().GetPlayer(kEffectSlideFromLeft) != nullptr; }},
      {L"fadeinoutxfromright", L"true",
       [](Control& c) { return c.GetAnimator().GetPlayer(kEffectSlideFromRight)->startValue == -100; }},
      {L"fadeinoutyfromtop", L"true", [](Control& c) { return c.GetAnimator().GetPlayer(kEffectSlideFromTop)->startValue == 100; }},
      {L"fadeinoutyfrombottom", L"true",
       [](Control& c) { return c.GetAnimator().GetPlayer(kEffectSlideFromBottom) != nullptr; }},
      {L"receivepointer", L"false", [](Control& c) { return !c.ReceivesPointer(); }},
      {L"channel", L"AppStore", [](Control& c) { return c.IsVisible() && c.GetChannelFilter() == L"AppStore"; }},
      {L"channel", L"CN", [](Control& c) { return !c.IsVisible(); }},
      // Unknown and differently cased keys are ignored.
      {L"Width", L"10", [](Control& c) { return c.GetFixedWidth() == kSizeStretch; }},
      {L"nosuchkey", L"x", [](Control& c) { return c.GetName().empty(); }},
  });
}

TEST(ControlAttributeTest, LaterKeysWinAndSizesRequestLayoutOnlyOnChange) {
  // Later keys win: "fadehot" after "hotimage" switches the hot fade off again.
  Control control;
  control.ApplyAttributeString(L"hotimage=\"h.png\" fadehot=\"false\"");
  EXPECT_EQ(control.GetAnimator().GetPlayer(kEffectHot), nullptr);
  // A list "bordersize" keeps the uniform size; a plain one clears the sides.
  control.ApplyAttribute(L"bordersize", L"2");
  control.ApplyAttribute(L"bordersize", L"0,1");
  EXPECT_EQ(control.GetBorderSize(), 2);
  EXPECT_TRUE(Same(control.GetSideBorders(), R(0, 1, 0, 0)));
  control.ApplyAttribute(L"bordersize", L"1");
  EXPECT_TRUE(Same(control.GetSideBorders(), R(0, 0, 0, 0)));

  TestWindow window;
  Box* root = new Box();
  Control* child = new Control();
  root->AddChild(child);
  window.AttachRoot(root);
  child->ApplyAttribute(L"width", L"auto");
  root->SetArrangePending(false);
  child->ApplyAttribute(L"width", L"auto");  // unchanged: no layout request
  EXPECT_FALSE(root->IsArrangePending());
  child->ApplyAttribute(L"width", L"30");
  EXPECT_TRUE(root->IsArrangePending());
}

TEST(ControlAttributeTest, AttributeStrings) {
  struct Case {
    const wchar_t* text;
    int32_t width;
    int32_t height;
    std::wstring image;
  } cases[] = {
      {L"width=\"10\" height=\"20\"", 10, 20, L""},
      {L"width='10' height='20'", 10, 20, L""},
      // Two spaces: the second pair's name starts with a space and matches nothing.
      {L"width=\"10\"  height=\"20\"", 10, kSizeStretch, L""},
      // No closing quote: nothing applied.
      {L"width=\"10", kSizeStretch, kSizeStretch, L""},
      // No quote after "=": parsing stops there; earlier pairs stay.
      {L"width=\"10\" height=20", 10, kSizeStretch, L""},
      {L"width", kSizeStretch, kSizeStretch, L""},
      {L"width=", kSizeStretch, kSizeStretch, L""},
      {L"", kSizeStretch, kSizeStretch, L""},
      // No space after a pair ends the text.
      {L"width=\"10\"height=\"20\"", 10, kSizeStretch, L""},
      {L"width=\"10\" ", 10, kSizeStretch, L""},
      // The other quote is an ordinary character inside a value.
      {L"normalimage=\"file='a.png' corner='1,1,1,1'\" width=\"5\"", 5, kSizeStretch, L"a.png"},
  };
  for (const Case& c : cases) {
    Control control;
    control.ApplyAttributeString(c.text);
    EXPECT_EQ(control.GetFixedWidth(), c.width) << std::wstring(c.text).size();
    EXPECT_EQ(control.GetFixedHeight(), c.height) << std::wstring(c.text).size();
    ControlImage* image = control.GetStateImages().FindFirstImage(kImageKindBackground);
    EXPECT_EQ(image ? image->spec.file : std::wstring(), c.image);
  }
}

class ControlClassTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const wchar_t* name : {L"g1", L"shared", L"empty", L"self", L"ping", L"pong"}) {
      UiRuntime::SetClassAttributes(name, L"");
    }
  }
};

TEST_F(ControlClassTest, GlobalFirstThenWindowInMarkupOrder) {
  UiRuntime::SetClassAttributes(L"shared", L"width=\"11\"");
  UiRuntime::SetClassAttributes(L"empty", L"");
  TestWindow window;
  window.SetClassAttributes(L"shared", L"width=\"22\"");
  window.SetClassAttributes(L"empty", L"height=\"33\"");
  window.SetClassAttributes(L"own", L"dataid=\"w\"");
  Control* control = new Control();
  window.AttachRoot(control);
  control->ApplyAttribute(L"class", L"shared  empty own unknown");
  EXPECT_EQ(control->GetFixedWidth(), 11);
  EXPECT_EQ(control->GetFixedHeight(), 33);
  EXPECT_EQ(control->GetDataId(), L"w");

  // Attributes after "class" override it, those before it are overridden.
  control->ApplyAttributeString(L"width=\"5\" class=\"shared\" height=\"6\"");
  EXPECT_EQ(control->GetFixedWidth(), 11);
  EXPECT_EQ(control->GetFixedHeight(), 6);

  // Without a window only the global table counts.
  Control loose;
  loose.ApplyClasses(L"empty own");
  EXPECT_EQ(loose.GetFixedHeight(), kSizeStretch);
  EXPECT_TRUE(loose.GetDataId().empty());
}

TEST_F(ControlClassTest, SelfIncludingClassesEnd) {
  UiRuntime::SetClassAttributes(L"self", L"width=\"7\" class=\"self\" height=\"8\"");
  UiRuntime::SetClassAttributes(L"ping", L"class=\"pong\" dataid=\"ping\"");
  UiRuntime::SetClassAttributes(L"pong", L"minwidth=\"3\" class=\"ping\"");
  Control control;
  control.ApplyAttribute(L"class", L"self");
  EXPECT_EQ(control.GetFixedWidth(), 7);
  EXPECT_EQ(control.GetFixedHeight(), 8);
  control.ApplyAttribute(L"class", L"ping");
  EXPECT_EQ(control.GetMinWidth(), 3);
  EXPECT_EQ(control.GetDataId(), L"ping");
  // The guard is per application: the same class applies again later.
  control.ApplyAttribute(L"width", L"1");
  control.ApplyAttribute(L"class", L"self");
  EXPECT_EQ(control.GetFixedWidth(), 7);
}

}  // namespace
