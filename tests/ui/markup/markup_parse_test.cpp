// The markup parse on strings. Portable: also built natively under the sanitizers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "markup_parse_cases.h"
#include "ui/markup/markup_document.h"

namespace {

using ui::MarkupDocument;
using ui::MarkupNode;
using markup_cases::kParseCases;
using markup_cases::ParseCase;

TEST(MarkupParse, TableOfResultsMessagesAndLocations) {
  for (const ParseCase& c : kParseCases) {
    MarkupDocument document;
    const bool ok = document.LoadFromString(c.markup);
    EXPECT_EQ(ok, c.ok) << std::wstring(c.markup).size() << " chars: case at " << (&c - kParseCases);
    if (c.ok) {
      EXPECT_EQ(document.GetNodeCount(), c.nodes) << (&c - kParseCases);
      EXPECT_STREQ(document.GetLastErrorMessage(), L"");
    } else {
      EXPECT_STREQ(document.GetLastErrorMessage(), c.message) << (&c - kParseCases);
      EXPECT_STREQ(document.GetLastErrorLocation(), c.location) << (&c - kParseCases);
      // A failed load keeps neither text nor nodes.
      EXPECT_EQ(document.GetText(), nullptr);
      EXPECT_EQ(document.GetNodeCount(), 0u);
      EXPECT_FALSE(document.GetRoot().IsValid());
    }
  }
}

TEST(MarkupParse, BuildsTheTreeWithNodeOneFirst) {
  MarkupDocument document;
  ASSERT_TRUE(document.LoadFromString(
      L"<?xml version=\"1.0\"?>\n<!-- skin -->\n<Window size=\"300,200\">\n"
      L"  <VBox name=\"body\"><Label name=\"a\"/><Label name=\"b\" /></VBox>\n  <Button/>\n</Window>"));
  ASSERT_EQ(document.GetNodeCount(), 6u);
  const ui::MarkupNodeRecord* nodes = document.GetNodes();
  EXPECT_EQ(nodes[0].firstChild, 0u);
  EXPECT_EQ(nodes[1].parent, 0u);
  EXPECT_EQ(nodes[1].firstChild, 2u);
  EXPECT_EQ(nodes[2].firstChild, 3u);
  EXPECT_EQ(nodes[3].nextSibling, 4u);
  EXPECT_EQ(nodes[4].nextSibling, 0u);
  EXPECT_EQ(nodes[4].parent, 2u);
  EXPECT_EQ(nodes[2].nextSibling, 5u);
  EXPECT_EQ(nodes[5].parent, 1u);

  MarkupNode window = document.GetRoot();
  EXPECT_STREQ(window.GetName(), L"Window");
  EXPECT_STREQ(window.GetAttributeName(0), L"size");
  EXPECT_STREQ(window.GetAttributeValue(0), L"300,200");
  MarkupNode body = window.GetFirstChild();
  EXPECT_STREQ(body.GetName(), L"VBox");
  EXPECT_STREQ(body.GetFirstChild().GetNextSibling().GetAttributeValue(0), L"b");
  EXPECT_STREQ(body.GetNextSibling().GetName(), L"Button");
  EXPECT_EQ(body.GetNextSibling().GetAttributeCount(), 0);
  EXPECT_FALSE(body.GetNextSibling().GetNextSibling().IsValid());
  // Content positions: behind ">" of a start tag, at "/" of an empty element.
  const std::wstring text = L"<Label name=\"a\"/>";
  EXPECT_EQ(document.GetText()[nodes[3].contentPosition], L'\0');
  EXPECT_EQ(nodes[3].contentPosition - nodes[3].namePosition, text.size() - 3);
  // Reading out of range gives empty texts and cursors on nothing.
  EXPECT_STREQ(window.GetAttributeName(1), L"");
  EXPECT_STREQ(window.GetAttributeValue(-1), L"");
  EXPECT_STREQ(MarkupNode().GetName(), L"");
  EXPECT_FALSE(MarkupNode().GetFirstChild().IsValid());
}

TEST(MarkupParse, DecodesOnlyTheFiveEntitiesAndKeepsLaterAttributesReadable) {
  MarkupDocument document;
  ASSERT_TRUE(document.LoadFromString(
      L"<a e=\"&amp;&apos;&lt;&gt;&quot;\" v=\"&nbsp;&#65;&AMP;&amp\"y=\"2\" z=\"\" "
      L"w=\"'quoted' &lt;&lt;&lt;\">&lt;text&gt;</a>"));
  MarkupNode a = document.GetRoot();
  ASSERT_EQ(a.GetAttributeCount(), 5);
  EXPECT_STREQ(a.GetAttributeValue(0), L"&'<>\"");
  EXPECT_STREQ(a.GetAttributeValue(1), L"&nbsp;&#65;&AMP;&amp");
  EXPECT_STREQ(a.GetAttributeName(2), L"y");
  EXPECT_STREQ(a.GetAttributeValue(2), L"2");
  EXPECT_STREQ(a.GetAttributeValue(3), L"");
  EXPECT_STREQ(a.GetAttributeName(4), L"w");
  EXPECT_STREQ(a.GetAttributeValue(4), L"'quoted' <<<");
  // The element's text is decoded in place too.
  EXPECT_STREQ(document.GetText() + document.GetNodes()[1].contentPosition, L"<text>");
}

TEST(MarkupParse, CursorShowsTheFirstSixtyFourOfSixtyFiveAttributes) {
  std::wstring markup = L"<a";
  for (int i = 0; i < 65; ++i) markup += L" n" + std::to_wstring(i) + L"=\"v" + std::to_wstring(i) + L"\"";
  markup += L"></a>";
  MarkupDocument document;
  ASSERT_TRUE(document.LoadFromString(markup.c_str()));
  MarkupNode a = document.GetRoot();
  EXPECT_EQ(a.GetAttributeCount(), 64);
  EXPECT_STREQ(a.GetAttributeName(63), L"n63");
  EXPECT_STREQ(a.GetAttributeValue(63), L"v63");
  EXPECT_STREQ(a.GetAttributeName(64), L"");
}

TEST(MarkupParse, AcceptsNonAsciiNamesAndKeepsTheNameOfAnElementLeftOpen) {
  MarkupDocument document;
#ifdef _WIN32
  // Letters by the Windows C runtime's classes (the native build's "C" locale knows only ASCII).
  ASSERT_TRUE(document.LoadFromString(L"<Fenêtre titre=\"窗口\" x:y=\"1\" _z=\"2\">text"));
  MarkupNode root = document.GetRoot();
  EXPECT_STREQ(root.GetName(), L"Fenêtre");
  EXPECT_EQ(root.GetAttributeCount(), 3);
  EXPECT_STREQ(root.GetAttributeValue(0), L"窗口");
  EXPECT_STREQ(root.GetAttributeName(1), L"x:y");
#endif
  // An open element without attributes: its name ends at its ">".
  ASSERT_TRUE(document.LoadFromString(L"<Window><Box>"));
  EXPECT_STREQ(document.GetRoot().GetName(), L"Window");
  EXPECT_STREQ(document.GetRoot().GetFirstChild().GetName(), L"Box");
  EXPECT_EQ(document.GetRoot().GetFirstChild().GetAttributeCount(), 0);
  // The attribute walk of an element left open stops at its ">", not past the text's end.
  ASSERT_TRUE(document.LoadFromString(L"<Window x=\"1\" >"));
  EXPECT_EQ(document.GetRoot().GetAttributeCount(), 1);
  EXPECT_STREQ(document.GetRoot().GetName(), L"Window");
  ASSERT_TRUE(document.LoadFromString(L"<Window x=\"&lt;\">"));
  EXPECT_STREQ(document.GetRoot().GetAttributeValue(0), L"<");
  EXPECT_STREQ(document.GetRoot().GetAttributeName(1), L"");
}

std::wstring Nested(int depth, const wchar_t* innermost) {
  std::wstring markup;
  for (int i = 0; i < depth; ++i) markup += L"<e>";
  markup += innermost;
  for (int i = 0; i < depth; ++i) markup += L"</e>";
  return markup;
}

TEST(MarkupParse, NestingIsLimitedToTwoHundredFiftySixLevels) {
  MarkupDocument document;
  EXPECT_TRUE(document.LoadFromString(Nested(256, L"").c_str()));
  EXPECT_EQ(document.GetNodeCount(), 257u);
  // A comment at the deepest level is no element.
  EXPECT_TRUE(document.LoadFromString(Nested(256, L"<!-- deep -->").c_str()));
  EXPECT_FALSE(document.LoadFromString(Nested(256, L"<f/>").c_str()));
  EXPECT_STREQ(document.GetLastErrorMessage(), L"Elements nested too deeply");
  EXPECT_EQ(std::wstring(document.GetLastErrorLocation()).substr(0, 7), L"f/></e>");
  EXPECT_FALSE(document.LoadFromString(Nested(257, L"").c_str()));
  EXPECT_STREQ(document.GetLastErrorMessage(), L"Elements nested too deeply");
  // Far deeper nesting fails the same way instead of exhausting the stack.
  EXPECT_FALSE(document.LoadFromString(Nested(200000, L"").c_str()));
  EXPECT_STREQ(document.GetLastErrorMessage(), L"Elements nested too deeply");
}

TEST(MarkupParse, LocationIsCutAtFortyNineCharacters) {
  const std::wstring tail(80, L'x');
  MarkupDocument document;
  EXPECT_FALSE(document.LoadFromString((L"<a/>" + tail).c_str()));
  EXPECT_EQ(std::wstring(document.GetLastErrorLocation()), tail.substr(0, 49));
}

TEST(MarkupParse, NodeTableGrowsPastItsFirstCapacities) {
  std::wstring markup = L"<list>";
  for (int i = 0; i < 3000; ++i) markup += L"<item n=\"" + std::to_wstring(i) + L"\"/>";
  markup += L"</list>";
  MarkupDocument document;
  ASSERT_TRUE(document.LoadFromString(markup.c_str()));
  EXPECT_EQ(document.GetNodeCount(), 3002u);
  int count = 0;
  for (MarkupNode item = document.GetRoot().GetFirstChild(); item.IsValid(); item = item.GetNextSibling()) {
    EXPECT_EQ(std::wstring(item.GetAttributeValue(0)), std::to_wstring(count));
    ++count;
  }
  EXPECT_EQ(count, 3000);
}

}  // namespace
