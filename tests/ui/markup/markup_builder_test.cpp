// The skin builder over small skins: global tables, layout files, populating, includes and
// their cycles, classes, markup events, window root attributes on a real native window, and
// the same skin read from disk and from a memory archive set as the resource zip.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/controls/button.h"
#include "ui/controls/rich_edit.h"
#include "ui/controls/scroll_bar.h"
#include "ui/core/box.h"
#include "ui/core/control.h"
#include "ui/core/dpi_scale.h"
#include "ui/core/window.h"
#include "ui/markup/markup_builder.h"
#include "ui/markup/skin_test_support.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"
#include "ui/resources/zip_archive.h"

namespace {

using ui::Box;
using ui::Control;
using ui::MarkupBuilder;
using ui::UiRuntime;

int g_liveProbes = 0;

// Controls the tests' factory makes, so handler maps and deletions can be seen.
class ProbeBox : public Box {
 public:
  ProbeBox() { ++g_liveProbes; }
  ~ProbeBox() override { --g_liveProbes; }
  size_t Handlers(ui::EventType type) const { return CountIn(markupHandlers_, type); }
  size_t Bubbled(ui::EventType type) const { return CountIn(markupBubbledHandlers_, type); }
  static size_t CountIn(const ui::EventHandlerMap& map, ui::EventType type) {
    auto it = map.find(type);
    return it == map.end() ? 0 : it->second.size();
  }
};

class ProbeLeaf : public Control {
 public:
  ProbeLeaf() { ++g_liveProbes; }
  ~ProbeLeaf() override { --g_liveProbes; }
  size_t Handlers(ui::EventType type) const { return ProbeBox::CountIn(markupHandlers_, type); }
};

Control* ProbeFactory(const std::wstring& name) {
  if (name == L"ProbeBox") return new ProbeBox();
  if (name == L"ProbeLeaf") return new ProbeLeaf();
  return nullptr;
}

// A window with a real native window behind it, so the "Window" root attributes apply.
class NativeTestWindow : public ui::Window {
 public:
  explicit NativeTestWindow(HWND owner = nullptr) {
    hwnd_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, owner, nullptr, nullptr, nullptr);
  }
  ~NativeTestWindow() override {
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
  }
};

std::vector<std::wstring> ChildNames(Box* box) {
  std::vector<std::wstring> names;
  for (size_t i = 0; i < box->GetChildCount(); ++i) names.push_back(box->GetChildAt(i)->GetName());
  return names;
}

class MarkupBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    savedDirectory_ = saved;
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.Path().c_str()));
    CreateDirectoryW(L"res", nullptr);
    g_liveProbes = 0;
  }
  void TearDown() override {
    UiRuntime::Uninitialize();
    SetCurrentDirectoryW(savedDirectory_.c_str());
  }

  void Start() { UiRuntime::Initialize(L"res\\", nullptr, false, L"", L"zh_CN"); }
  // A skin file below the resource root ("res\").
  static void Write(const std::wstring& name, const std::string& utf8) {
    ASSERT_TRUE(skintest::WriteFileBytes(L"res\\" + name, utf8));
  }
  // entries: names below the resource root -> bytes, held in memory as the resource zip.
  void OpenZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::pair<std::string, std::string>> named;
    for (const auto& entry : entries) named.emplace_back("res/" + entry.first, entry.second);
    zip_ = skintest::StoredZip(named);
    UiRuntime::CloseResourceZip();
    UiRuntime::SetResourceZip(ui::OpenZipArchive(zip_.data(), unsigned(zip_.size()), ui::kZipSourceMemory, ""));
    ASSERT_NE(UiRuntime::GetResourceZip(), nullptr);
  }

  // Builds source into a fresh probe box and returns it (owned by the caller).
  ProbeBox* BuildInto(const wchar_t* source, ui::Window* window = nullptr) {
    auto* box = new ProbeBox();
    MarkupBuilder builder;
    builder.Build(source, ProbeFactory, window, box, nullptr);
    return box;
  }

  test_support::TempDir dir_;
  std::wstring savedDirectory_;
  std::string zip_;
};

TEST_F(MarkupBuilderTest, GlobalMarkupFillsFontsColoursClassesAndDefaultColourNames) {
  Write(L"global.xml",
        "<Global defaultfontcolor=\"g_text\" disabledfontcolor=\"g_grey\">\n"
        "  <Font id=\"g14\" name=\"Arial\" size=\"14px\" bold=\"True\"/>\n"
        "  <Font id=\"g12\" name=\"Arial\" bold=\"true\" italic=\"true\"/>\n"
        "  <Font id=\"gnoface\" size=\"20\"/>\n"
        "  <TextColor name=\"g_black\" value=\"#ff000000\"/>\n"
        "  <TextColor name=\"g_twice\" value=\"#ff112233\"/>\n"
        "  <TextColor name=\"g_twice\" value=\"#80445566\"/>\n"
        "  <TextColor name=\"g_kept\" value=\"#ff010203\"/>\n"
        "  <TextColor name=\"g_kept\" value=\"\"/>\n"
        "  <TextColor name=\"g_kept\"/>\n"
        "  <TextColor name=\"g_short\" value=\"#12zz34\"/>\n"
        "  <Class name=\"g_pair\" value=\"width=&quot;10,20&quot;\" height=\"30,40\"/>\n"
        "  <Class name=\"g_value\" _value=\"7\" width=\"5\"/>\n"
        "  <Box><Font id=\"gnested\" name=\"Arial\"/><TextColor name=\"g_nested\" value=\"#ff0000ff\"/></Box>\n"
        "</Global>\n");
  Start();
  const ui::FontRecord* g14 = UiRuntime::FindFont(L"g14");
  ASSERT_NE(g14, nullptr);
  EXPECT_EQ(g14->size, ui::DpiScale::Instance().ScaleValue(14));
  EXPECT_FALSE(g14->bold);
  const ui::FontRecord* g12 = UiRuntime::FindFont(L"g12");
  ASSERT_NE(g12, nullptr);
  EXPECT_EQ(g12->size, ui::DpiScale::Instance().ScaleValue(12));
  EXPECT_TRUE(g12->bold);
  EXPECT_TRUE(g12->italic);
  EXPECT_EQ(UiRuntime::FindFont(L"gnoface"), nullptr);
  EXPECT_EQ(UiRuntime::FindFont(L"gnested"), nullptr);

  EXPECT_EQ(UiRuntime::GetColor(L"g_black"), 0xff000000u);
  EXPECT_EQ(UiRuntime::GetColor(L"g_twice"), 0x80445566u);
  EXPECT_EQ(UiRuntime::GetColor(L"g_kept"), 0xff010203u);  // the empty and missing values are skipped
  EXPECT_EQ(UiRuntime::GetColor(L"g_short"), 0x12u);
  EXPECT_EQ(UiRuntime::GetColor(L"g_nested"), 0u);

  EXPECT_EQ(UiRuntime::GetClassAttributes(L"g_pair"), L"width=\"10,20\" height=\"30,40\"");
  EXPECT_EQ(UiRuntime::GetClassAttributes(L"g_value"), L"value=\"7\" width=\"5\"");
  EXPECT_EQ(UiRuntime::GetDefaultTextColor(), L"g_text");
  EXPECT_EQ(UiRuntime::GetDefaultDisabledTextColor(), L"g_grey");
}

TEST_F(MarkupBuilderTest, LayoutRootsPopulatingAndUnknownElements) {
  Start();
  struct Case {
    const wchar_t* markup;
    std::vector<std::wstring> names;  // the probe box's children after the build
  } cases[] = {
      // The root itself never becomes a control.
      {L"<Window size=\"10,10\"><Box name=\"top\"><Control name=\"inner\"/></Box></Window>", {L"top"}},
      // Resource elements are skipped wherever they stand, with their children.
      {L"<Window><Image/><Font name=\"x\"/><Class name=\"c\"><Control name=\"no\"/></Class><Control name=\"a\"/>"
       L"<TextColor/></Window>",
       {L"a"}},
      // Unknown names without a factory that takes them are skipped with their subtree.
      {L"<Window><Unknown><Control name=\"hidden\"/></Unknown><Control name=\"b\"/></Window>", {L"b"}},
      // Any root name will do; its children are built in order.
      {L"<Fragment><Control name=\"1\"/><Box name=\"2\"/><ProbeLeaf name=\"3\"/></Fragment>", {L"1", L"2", L"3"}},
      {L"<Window/>", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.markup);
    ProbeBox* box = BuildInto(c.markup);
    EXPECT_EQ(ChildNames(box), c.names);
    delete box;
  }

  // Returned: the first control added; the root "Window" is never one.
  MarkupBuilder builder;
  ProbeBox parent;
  Control* built = builder.Build(L"<Window><VBox name=\"top\"/><Control name=\"next\"/></Window>", nullptr, nullptr,
                                 &parent, nullptr);
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(built->GetName(), L"top");
  EXPECT_NE(dynamic_cast<ui::VBox*>(built), nullptr);

  // Populating: the first control child's attributes go to the box, its children into it; a
  // second control child of the root is not built.
  Box target;
  MarkupBuilder populate;
  Control* result = populate.Build(
      L"<Window><Class name=\"c\"/><Box name=\"filled\" width=\"120\"><Control name=\"p1\"/><Control name=\"p2\"/>"
      L"</Box><Control name=\"ignored\"/></Window>",
      nullptr, nullptr, nullptr, &target);
  EXPECT_EQ(result, &target);
  EXPECT_EQ(target.GetName(), L"filled");
  EXPECT_EQ(target.GetFixedWidth(), ui::DpiScale::Instance().ScaleValue(120));
  EXPECT_EQ(ChildNames(&target), (std::vector<std::wstring>{L"p1", L"p2"}));

  // Nothing to build, and markup that does not parse.
  MarkupBuilder empty;
  EXPECT_EQ(empty.Build(L"<Window><Class name=\"only\"/></Window>", nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(empty.Build(L"<Window><Box></Window>", nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(empty.Build(L"missing.xml", nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(empty.Build(L"", nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(MarkupBuilderTest, ControlsNotHandedBackAreDeleted) {
  Start();
  // Without a parent only the first top-level control comes back; the others go.
  MarkupBuilder builder;
  Control* first = builder.Build(L"<Window><ProbeLeaf name=\"one\"/><ProbeLeaf/><ProbeBox/></Window>", ProbeFactory,
                                 nullptr, nullptr, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetName(), L"one");
  EXPECT_EQ(g_liveProbes, 1);
  delete first;
  EXPECT_EQ(g_liveProbes, 0);

  // Children under a control that is not a box are deleted, and the rest of that level too.
  MarkupBuilder leafParent;
  Control* leaf = leafParent.Build(L"<Window><ProbeLeaf><ProbeLeaf/><ProbeBox/></ProbeLeaf></Window>", ProbeFactory,
                                   nullptr, nullptr, nullptr);
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(g_liveProbes, 1);
  delete leaf;
}

TEST_F(MarkupBuilderTest, FactoriesRuntimeFirstThenTheBuilders) {
  std::vector<std::wstring> asked;
  UiRuntime::Initialize(
      L"res\\",
      [&asked](const std::wstring& name) -> Control* {
        asked.push_back(L"runtime:" + name);
        return name == L"Shared" ? new ProbeLeaf() : nullptr;
      },
      false, L"", L"zh_CN");
  ProbeBox parent;
  MarkupBuilder builder;
  builder.Build(L"<Window><Shared name=\"s\"/><ProbeBox name=\"p\"/><Nobody/></Window>",
                [&asked](const std::wstring& name) -> Control* {
                  asked.push_back(L"builder:" + name);
                  return ProbeFactory(name);
                },
                nullptr, &parent, nullptr);
  EXPECT_EQ(ChildNames(&parent), (std::vector<std::wstring>{L"s", L"p"}));
  EXPECT_EQ(asked, (std::vector<std::wstring>{L"runtime:Shared", L"runtime:ProbeBox", L"builder:ProbeBox",
                                              L"runtime:Nobody", L"builder:Nobody"}));
}

TEST_F(MarkupBuilderTest, IncludesRepeatAndEndOnCycles) {
  Start();
  Write(L"frag.xml", "<Window><Control name=\"f\"/></Window>");
  Write(L"self.xml", "<Window><Control name=\"self\"/><Include source=\"self.xml\"/></Window>");
  Write(L"a.xml", "<Window><Control name=\"a\"/><Include source=\"sub\\b.xml\"/></Window>");
  Write(L"sub\\b.xml", "<Window><Control name=\"b\"/><Include source=\"./A.XML\"/></Window>");
  // A chain of distinct files longer than the nesting bound.
  for (int i = 0; i < 20; ++i) {
    Write(L"chain" + std::to_wstring(i) + L".xml", "<Window><Control name=\"c" + std::to_string(i) +
                                                       "\"/><Include source=\"chain" + std::to_string(i + 1) +
                                                       ".xml\"/></Window>");
  }
  struct Case {
    const wchar_t* source;
    size_t children;
    std::vector<std::wstring> firstNames;
  } cases[] = {
      {L"<Window><Include source=\"frag.xml\" count=\"3\"/></Window>", 3, {L"f", L"f", L"f"}},
      {L"<Window><Include source=\"frag.xml\"/></Window>", 1, {L"f"}},
      {L"<Window><Include source=\"frag.xml\" count=\"0\"/></Window>", 0, {}},
      {L"<Window><Include source=\"frag.xml\" count=\"-2\"/></Window>", 0, {}},
      {L"<Window><Include count=\"2\"/></Window>", 0, {}},
      {L"<Window><Include/><Include source=\"nowhere.xml\"/><Control name=\"after\"/></Window>", 1, {L"after"}},
      {L"<Window><Include source=\"&lt;Window&gt;&lt;Control name=&quot;t&quot;/&gt;&lt;/Window&gt;\"/></Window>", 1, {L"t"}},
      {L"self.xml", 1, {L"self"}},
      {L"a.xml", 2, {L"a", L"b"}},
      {L"chain0.xml", size_t(ui::kMaxIncludeDepth), {L"c0", L"c1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source);
    ProbeBox* box = BuildInto(c.source);
    ASSERT_EQ(box->GetChildCount(), c.children);
    for (size_t i = 0; i < c.firstNames.size(); ++i) EXPECT_EQ(box->GetChildAt(i)->GetName(), c.firstNames[i]);
    delete box;
  }
  // Cycles end without leaving anything marked as in progress: the same file builds again.
  ProbeBox* again = BuildInto(L"self.xml");
  EXPECT_EQ(again->GetChildCount(), 1u);
  delete again;
}

TEST_F(MarkupBuilderTest, ClassesJoinApplyInOrderAndEndWhenTheyNameThemselves) {
  Start();
  ui::Window window;
  Control* built = nullptr;
  {
    MarkupBuilder builder;
    built = builder.Build(
        L"<Window><Class name=\"wide\" width=\"50\" height=\"20\"/>"
        L"<Class name=\"loop\" class=\"loop\" width=\"31\"/>"
        L"<Class name=\"ping\" class=\"pong\" height=\"7\"/><Class name=\"pong\" class=\"ping\" width=\"8\"/>"
        L"<Box name=\"root\"><Control name=\"ordered\" width=\"5\" class=\"wide\"/>"
        L"<Control name=\"overridden\" class=\"wide\" width=\"5\"/>"
        L"<Control name=\"self\" class=\"loop\"/><Control name=\"cycle\" class=\"ping\"/></Box></Window>",
        nullptr, &window, nullptr, nullptr);
  }
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(window.GetClassAttributes(L"wide"), L"width=\"50\" height=\"20\"");
  window.AttachRoot(built);
  const ui::DpiScale& dpi = ui::DpiScale::Instance();
  EXPECT_EQ(window.FindControlByName(L"ordered")->GetFixedWidth(), dpi.ScaleValue(50));
  EXPECT_EQ(window.FindControlByName(L"overridden")->GetFixedWidth(), dpi.ScaleValue(5));
  EXPECT_EQ(window.FindControlByName(L"self")->GetFixedWidth(), dpi.ScaleValue(31));
  Control* cycle = window.FindControlByName(L"cycle");
  EXPECT_EQ(cycle->GetFixedWidth(), dpi.ScaleValue(8));
  EXPECT_EQ(cycle->GetFixedHeight(), dpi.ScaleValue(7));
}

TEST_F(MarkupBuilderTest, MarkupEventsBindToTheEnclosingControl) {
  Start();
  ui::Window window;
  MarkupBuilder builder;
  Control* built = builder.Build(
      L"<Window><Event type=\"setfocus\" receiver=\"a\"/><BubbledEvent type=\"setfocus\" receiver=\"a\"/>"
      L"<ProbeBox name=\"host\">"
      L"<Event type=\"setfocus  killfocus\" receiver=\"a b\" applyattribute=\"width=&quot;77&quot;\"/>"
      L"<Event type=\"click Click\" receiver=\"a\"/><Event type=\"menu\" receiver=\"\"/>"
      L"<BubbledEvent type=\"mouseenter\" receiver=\"./a\"/>"
      L"<ProbeLeaf name=\"a\"><BubbledEvent type=\"setfocus\" receiver=\"b\"/></ProbeLeaf>"
      L"<Control name=\"b\"/></ProbeBox></Window>",
      ProbeFactory, &window, nullptr, nullptr);
  auto* host = dynamic_cast<ProbeBox*>(built);
  ASSERT_NE(host, nullptr);
  window.AttachRoot(host);
  EXPECT_EQ(host->Handlers(ui::kEventSetFocus), 2u);
  EXPECT_EQ(host->Handlers(ui::kEventKillFocus), 2u);
  EXPECT_EQ(host->Handlers(ui::kEventUnknown), 2u);  // "click" has no markup name
  EXPECT_EQ(host->Handlers(ui::kEventMenu), 0u);
  EXPECT_EQ(host->Bubbled(ui::kEventMouseEnter), 1u);
  EXPECT_EQ(host->Bubbled(ui::kEventSetFocus), 0u);  // the root's own elements bind nothing
  auto* leaf = dynamic_cast<ProbeLeaf*>(window.FindControlByName(L"a"));
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->Handlers(ui::kEventSetFocus), 0u);  // bubbled handlers need a box

  // Raised, the handlers apply the attribute text to both receivers.
  host->RaiseEvent(ui::kEventSetFocus);
  EXPECT_EQ(leaf->GetFixedWidth(), ui::DpiScale::Instance().ScaleValue(77));
  EXPECT_EQ(window.FindControlByName(L"b")->GetFixedWidth(), ui::DpiScale::Instance().ScaleValue(77));

  // A "BubbledEvent" in a label binds nothing: raised on the label, no receiver changes.
  ui::Window labelWindow;
  MarkupBuilder labelBuilder;
  Control* labelRoot = labelBuilder.Build(
      L"<Window><Box><Label name=\"lab\"><BubbledEvent type=\"setfocus\" receiver=\"target\" "
      L"applyattribute=\"width=&quot;66&quot;\"/></Label><Control name=\"target\"/></Box></Window>",
      nullptr, &labelWindow, nullptr, nullptr);
  ASSERT_NE(labelRoot, nullptr);
  labelWindow.AttachRoot(labelRoot);
  labelWindow.FindControlByName(L"lab")->RaiseEvent(ui::kEventSetFocus);
  EXPECT_EQ(labelWindow.FindControlByName(L"target")->GetFixedWidth(), ui::kSizeStretch);

  // Populating a parent: an Event under the root still has no enclosing control.
  ProbeBox* parent = BuildInto(L"<Window><Event type=\"setfocus\" receiver=\"a\"/><Control/></Window>");
  EXPECT_EQ(parent->Handlers(ui::kEventSetFocus), 0u);
  delete parent;
}

TEST_F(MarkupBuilderTest, BuiltinElementsMakeTheirClasses) {
  const struct {
    const wchar_t* element;
    std::function<bool(Control*)> is;
  } cases[] = {
      {L"Control", [](Control* c) { return dynamic_cast<Box*>(c) == nullptr; }},
      {L"Box", [](Control* c) { return dynamic_cast<Box*>(c) && dynamic_cast<Box*>(c)->GetLayout(); }},
      {L"HBox", [](Control* c) { return dynamic_cast<ui::HLayout*>(dynamic_cast<ui::HBox*>(c)->GetLayout()); }},
      {L"VBox", [](Control* c) { return dynamic_cast<ui::VLayout*>(dynamic_cast<ui::VBox*>(c)->GetLayout()); }},
      {L"TileBox",
       [](Control* c) { return dynamic_cast<ui::TileLayout*>(dynamic_cast<ui::TileBox*>(c)->GetLayout()); }},
      {L"ScrollBar", [](Control* c) { return dynamic_cast<ui::ScrollBar*>(c) != nullptr; }},
      {L"RichEdit", [](Control* c) { return dynamic_cast<ui::RichEdit*>(c) != nullptr; }},
      {L"Label", [](Control* c) { return dynamic_cast<ui::LabelTemplate<Control>*>(c) != nullptr; }},
      {L"LabelBox", [](Control* c) { return dynamic_cast<ui::LabelTemplate<Box>*>(c) != nullptr; }},
      {L"Button", [](Control* c) { return dynamic_cast<ui::ButtonTemplate<Control>*>(c) != nullptr; }},
      {L"ButtonBox", [](Control* c) { return dynamic_cast<ui::ButtonTemplate<Box>*>(c) != nullptr; }},
      {L"CheckBox", [](Control* c) { return dynamic_cast<ui::CheckBoxTemplate<Control>*>(c) != nullptr; }},
      {L"CheckBoxBox", [](Control* c) { return dynamic_cast<ui::CheckBoxTemplate<Box>*>(c) != nullptr; }},
      {L"Option", [](Control* c) { return dynamic_cast<ui::OptionTemplate<Control>*>(c) != nullptr; }},
      {L"OptionBox", [](Control* c) { return dynamic_cast<ui::OptionTemplate<Box>*>(c) != nullptr; }},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Control> control(MarkupBuilder::CreateBuiltinControl(c.element));
    ASSERT_NE(control, nullptr) << c.element;
    EXPECT_TRUE(c.is(control.get())) << c.element;
  }
  for (const wchar_t* unknown : {L"control", L"VBox ", L"vbox", L"Window", L"Event", L"Include", L"ScrollableBox", L""}) {
    EXPECT_EQ(MarkupBuilder::CreateBuiltinControl(unknown), nullptr) << unknown;
  }
}

TEST_F(MarkupBuilderTest, EventNames) {
  const struct {
    const wchar_t* name;
    ui::EventType type;
  } cases[] = {
      {L"all", ui::kEventAll},           {L"keydown", ui::kEventKeyDown},     {L"syskey", ui::kEventSysKey},
      {L"mousehover", ui::kEventMouseHover}, {L"rbuttondown", ui::kEventRButtonDown},
      {L"doubleclick", ui::kEventDoubleClick}, {L"windowclose", ui::kEventWindowClose},
      {L"setcursor", ui::kEventSetCursor}, {L"unselect", ui::kEventUnselect}, {L"tab", ui::kEventTab},
      {L"valuechange", ui::kEventValueChange}, {L"click", ui::kEventUnknown}, {L"KeyDown", ui::kEventUnknown},
      {L"", ui::kEventUnknown},          {L"rbuttonup", ui::kEventUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::EventTypeFromName(c.name), c.type) << c.name;
}

TEST_F(MarkupBuilderTest, WindowRootAttributesOnlyWithANativeWindowInDocumentOrder) {
  Start();
  ui::LanguageTable::Instance()->ParseLines({L"STRING_TITLE = Skin title"});
  const ui::DpiScale& dpi = ui::DpiScale::Instance();
  const int pad = dpi.ScaleValue(14);
  const int s = dpi.ScaleValue(100);
  struct Case {
    const wchar_t* attributes;
    ui::Size size, minSize, maxSize;
  } cases[] = {
      {L"size=\"100,100\"", {s + 2 * pad, s + 2 * pad}, {}, {}},
      {L"shadowattached=\"false\" size=\"100,100\"", {s, s}, {}, {}},
      {L"size=\"100,100\" shadowattached=\"false\"", {s + 2 * pad, s + 2 * pad}, {}, {}},
      {L"shadowcorner=\"2,3,4,5\" size=\"100,100\"", {s + dpi.ScaleValue(2) + dpi.ScaleValue(4),
                                                     s + dpi.ScaleValue(3) + dpi.ScaleValue(5)}, {}, {}},
      // Fewer numbers than the attribute takes: the missing ones are 0.
      {L"shadowattached=\"no\" size=\"100\"", {s, 0}, {}, {}},
      {L"shadowattached=\"no\" size=\"\"", {0, 0}, {}, {}},
      {L"mininfo=\"0,0\" maxinfo=\"100,0\"", {}, {0, 0}, {s + 2 * pad, 0}},
      {L"shadowattached=\"false\" mininfo=\"100,100\"", {}, {s, s}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.attributes);
    NativeTestWindow window;
    ASSERT_NE(window.GetHwnd(), nullptr);
    const std::wstring markup = std::wstring(L"<Window ") + c.attributes + L"><Control/></Window>";
    MarkupBuilder builder;
    delete builder.Build(markup.c_str(), nullptr, &window, nullptr, nullptr);
    EXPECT_EQ(window.GetInitialSize().cx, c.size.cx);
    EXPECT_EQ(window.GetInitialSize().cy, c.size.cy);
    EXPECT_EQ(window.GetMinSize().cx, c.minSize.cx);
    EXPECT_EQ(window.GetMinSize().cy, c.minSize.cy);
    EXPECT_EQ(window.GetMaxSize().cx, c.maxSize.cx);
    EXPECT_EQ(window.GetMaxSize().cy, c.maxSize.cy);
    if (c.size.cx > 0 && c.size.cy > 0) {
      // Without a root yet, the native window takes the size at once.
      RECT rect;
      GetWindowRect(window.GetHwnd(), &rect);
      EXPECT_EQ(rect.right - rect.left, c.size.cx);
      EXPECT_EQ(rect.bottom - rect.top, c.size.cy);
    }
  }

  NativeTestWindow window;
  MarkupBuilder builder;
  delete builder.Build(
      L"<Window caption=\"0,0,0,30\" sizebox=\"4,4,6,6\" roundcorner=\"5,5\" textid=\"STRING_TITLE\" "
      L"edging=\"1,1,1,1\" shadowimage=\"file='own.png'\" alphafixcorner=\"2,2,2,2\" unknown=\"1\">"
      L"<Class name=\"wc\" width=\"3\"/><Control/></Window>",
      nullptr, &window, nullptr, nullptr);
  EXPECT_EQ(window.GetCaption().bottom, dpi.ScaleValue(30));
  EXPECT_EQ(window.GetSizeBox().right, 6);
  EXPECT_EQ(window.GetRoundCorner().cx, dpi.ScaleValue(5));
  EXPECT_EQ(window.GetEdging().left, dpi.ScaleValue(1));
  EXPECT_EQ(window.GetAlphaFixRect().left, dpi.ScaleValue(2));
  EXPECT_EQ(window.GetShadow().image, L"file='own.png'");
  EXPECT_FALSE(window.GetShadow().roundCorner);
  EXPECT_EQ(window.GetClassAttributes(L"wc"), L"width=\"3\"");
  wchar_t title[64] = {};
  GetWindowTextW(window.GetHwnd(), title, 64);
  EXPECT_STREQ(title, L"Skin title");

  // A throw-away window without a native window takes the classes but no window attribute.
  ui::Window scratch;
  MarkupBuilder scratchBuilder;
  delete scratchBuilder.Build(
      L"<Window size=\"300,200\" caption=\"0,0,0,30\" shadowattached=\"false\"><Class name=\"sc\" width=\"3\"/>"
      L"<Control/></Window>",
      nullptr, &scratch, nullptr, nullptr);
  EXPECT_EQ(scratch.GetInitialSize().cx, 0);
  EXPECT_EQ(scratch.GetCaption().bottom, 0);
  EXPECT_TRUE(scratch.GetShadow().attached);
  EXPECT_EQ(scratch.GetClassAttributes(L"sc"), L"width=\"3\"");
}

TEST_F(MarkupBuilderTest, SizesTakenFromTheOwnerAndTheWorkArea) {
  Start();
  const int pad = ui::DpiScale::Instance().ScaleValue(14);
  NativeTestWindow owner;
  SetWindowPos(owner.GetHwnd(), nullptr, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  HWND stranger = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
  UiRuntime::AddWindow(&owner);
  const struct {
    HWND owner;
    const wchar_t* attributes;
    ui::Size size;
  } cases[] = {
      // The owner's visible area (its shadow taken off) less the inset, this window's shadow added.
      {owner.GetHwnd(), L"expand=\"0,0\"", {600, 400}},
      {owner.GetHwnd(), L"expand=\"10,20\"", {590, 380}},
      {owner.GetHwnd(), L"shadowattached=\"false\" expand=\"10,20\"", {600 - 2 * pad - 10, 400 - 2 * pad - 20}},
      // Not a framework window, or no owner: nothing changes.
      {stranger, L"expand=\"0,0\"", {0, 0}},
      {nullptr, L"expand=\"0,0\"", {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.attributes);
    NativeTestWindow window(c.owner);
    const std::wstring markup = std::wstring(L"<Window ") + c.attributes + L"><Control/></Window>";
    MarkupBuilder builder;
    delete builder.Build(markup.c_str(), nullptr, &window, nullptr, nullptr);
    EXPECT_EQ(window.GetInitialSize().cx, c.size.cx);
    EXPECT_EQ(window.GetInitialSize().cy, c.size.cy);
  }
  UiRuntime::RemoveWindow(&owner);
  DestroyWindow(stranger);

  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const int workHeight = monitor.rcWork.bottom - monitor.rcWork.top;
  NativeTestWindow half;
  MarkupBuilder halfBuilder;
  delete halfBuilder.Build(L"<Window size=\"300,100\" heightpercent=\"0.5\"><Control/></Window>", nullptr, &half,
                           nullptr, nullptr);
  EXPECT_DOUBLE_EQ(half.GetHeightPercent(), 0.5);
  EXPECT_EQ(half.GetInitialSize().cx, ui::DpiScale::Instance().ScaleValue(300) + 2 * pad);
  EXPECT_EQ(half.GetInitialSize().cy, int(workHeight * 0.5) + 2 * pad);
  // A minimum track height raises it; the width of a window without one is its padding.
  NativeTestWindow raised;
  MarkupBuilder raisedBuilder;
  delete raisedBuilder.Build(L"<Window mininfo=\"0,5000\" heightpercent=\"0.1\"><Control/></Window>", nullptr,
                             &raised, nullptr, nullptr);
  EXPECT_EQ(raised.GetInitialSize().cx, 2 * pad);
  EXPECT_EQ(raised.GetInitialSize().cy, ui::DpiScale::Instance().ScaleValue(5000) + 2 * pad);
}

// The tree's names, sizes and colours, depth first.
void Describe(Control* control, std::wstring& out) {
  const ui::Rect b = control->GetBounds(true);
  out += control->GetName() + L":" + std::to_wstring(control->GetFixedWidth()) + L"x" +
         std::to_wstring(control->GetFixedHeight()) + L":" + control->GetBkColor() + L"@" + std::to_wstring(b.left) +
         L"," + std::to_wstring(b.top) + L"," + std::to_wstring(b.right) + L"," + std::to_wstring(b.bottom) + L";";
  if (auto* box = dynamic_cast<Box*>(control)) {
    out += L"[";
    for (size_t i = 0; i < box->GetChildCount(); ++i) Describe(box->GetChildAt(i), out);
    out += L"]";
  }
}

const char kPanelSkin[] =
    "\xEF\xBB\xBF<Window><Class name=\"cell\" width=\"40\" height=\"10\"/>"
    "<VBox name=\"panel\" width=\"200\" height=\"100\" bkcolor=\"white\">"
    "<Control name=\"c1\" class=\"cell\"/><Control name=\"c2\" class=\"cell\" bkcolor=\"red\"/>"
    "<Include source=\"main\\row.xml\" count=\"2\"/></VBox></Window>";
const char kRowSkin[] =
    "<Window><HBox name=\"row\" height=\"12\"><Control name=\"\xE4\xB8\xAD\" width=\"30\"/><Control/></HBox></Window>";

TEST_F(MarkupBuilderTest, DiskAndMemoryArchiveGiveTheSameTreeAndTheArchiveWins) {
  Start();
  Write(L"main\\panel.xml", kPanelSkin);
  Write(L"main\\row.xml", kRowSkin);
  ui::Window diskWindow;
  MarkupBuilder fromDisk;
  Control* diskTree = fromDisk.Build(L"main\\panel.xml", nullptr, &diskWindow, nullptr, nullptr);
  ASSERT_NE(diskTree, nullptr);
  diskTree->SetBounds(ui::Rect{0, 0, 200, 100});
  std::wstring disk;
  Describe(diskTree, disk);
  EXPECT_NE(disk.find(L"c1:"), std::wstring::npos);
  // Laid out: the rows stack under the cells, each row's first cell 30 wide.
  EXPECT_NE(disk.find(L"row:-1x12:@0,20,200,32;[\x4E2D:30x-1:@0,20,30,32;"), std::wstring::npos) << disk;
  EXPECT_NE(disk.find(L"\x4E2D"), std::wstring::npos);
  delete diskTree;

  // The archive holds the same files, and an other.xml that a disk file of that name shadows
  // in vain; a NUL inside an entry ends its text.
  const char kOther[] = "<Window><Control name=\"zip\"/></Window>\0<broken";
  OpenZip({{"main/panel.xml", kPanelSkin},
           {"main/row.xml", kRowSkin},
           {"main/other.xml", std::string(kOther, sizeof kOther - 1)}});
  Write(L"main\\other.xml", "<Window><Control name=\"disk\"/></Window>");
  ui::Window zipWindow;
  MarkupBuilder fromZip;
  Control* zipTree = fromZip.Build(L"main\\panel.xml", nullptr, &zipWindow, nullptr, nullptr);
  ASSERT_NE(zipTree, nullptr);
  zipTree->SetBounds(ui::Rect{0, 0, 200, 100});
  std::wstring zipped;
  Describe(zipTree, zipped);
  EXPECT_EQ(zipped, disk);
  delete zipTree;

  MarkupBuilder other;
  Control* winner = other.Build(L"main\\other.xml", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(winner, nullptr);
  EXPECT_EQ(winner->GetName(), L"zip");
  delete winner;
  // A file only on disk is still read while the archive is open.
  Write(L"main\\disk_only.xml", "<Window><Control name=\"only\"/></Window>");
  MarkupBuilder diskOnly;
  Control* only = diskOnly.Build(L"main\\disk_only.xml", nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(only, nullptr);
  EXPECT_EQ(only->GetName(), L"only");
  delete only;
}

TEST_F(MarkupBuilderTest, TheBuilderCacheBuildsAsFirstParsed) {
  Start();
  Write(L"cached_item.xml", "<Window><Box name=\"item\"><Control name=\"first\"/></Box></Window>");
  Write(L"cached_fill.xml", "<Window><Box name=\"filled\"><Control name=\"one\"/></Box></Window>");
  Box* before = UiRuntime::BuildBoxCached(L"cached_item.xml", nullptr);
  ASSERT_NE(before, nullptr);
  Box filledBefore;
  UiRuntime::PopulateBoxCached(&filledBefore, L"cached_fill.xml", nullptr);
  // The files change on disk: the cached forms keep what they parsed, the uncached one reads anew.
  Write(L"cached_item.xml", "<Window><Box name=\"changed\"/></Window>");
  Write(L"cached_fill.xml", "<Window><Box name=\"changed\"><Control name=\"two\"/></Box></Window>");
  Box* after = UiRuntime::BuildBoxCached(L"cached_item.xml", nullptr);
  ASSERT_NE(after, nullptr);
  EXPECT_NE(after, before);
  EXPECT_EQ(after->GetName(), L"item");
  EXPECT_EQ(ChildNames(after), (std::vector<std::wstring>{L"first"}));
  Box filledAfter;
  UiRuntime::PopulateBoxCached(&filledAfter, L"cached_fill.xml", nullptr);
  EXPECT_EQ(filledAfter.GetName(), L"filled");
  EXPECT_EQ(ChildNames(&filledAfter), (std::vector<std::wstring>{L"one"}));
  Box uncached;
  UiRuntime::PopulateBox(&uncached, L"cached_fill.xml", nullptr);
  EXPECT_EQ(uncached.GetName(), L"changed");
  EXPECT_EQ(ChildNames(&uncached), (std::vector<std::wstring>{L"two"}));
  delete before;
  delete after;

  // A file that builds no box is neither returned nor cached, and leaks nothing.
  Write(L"cached_leaf.xml", "<Window><ProbeLeaf/></Window>");
  EXPECT_EQ(UiRuntime::BuildBoxCached(L"cached_leaf.xml", ProbeFactory), nullptr);
  EXPECT_EQ(g_liveProbes, 0);
  Write(L"cached_leaf.xml", "<Window><Box name=\"now\"/></Window>");
  Box* now = UiRuntime::BuildBoxCached(L"cached_leaf.xml", nullptr);
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->GetName(), L"now");
  delete now;
  EXPECT_EQ(UiRuntime::BuildBoxCached(L"cached_missing.xml", nullptr), nullptr);
}

}  // namespace
