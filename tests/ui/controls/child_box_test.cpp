// The child box: a fragment file built into the box when a window takes the tree, once, and
// files that contain themselves, directly or through others, ending with an empty box.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "test_support/temp_dir.h"
#include "ui/controls/child_box.h"
#include "ui/core/window_test_support.h"
#include "ui/markup/markup_builder.h"
#include "ui/markup/skin_test_support.h"

namespace {

class ChildBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedRoot_ = ui::UiRuntime::GetResourceRoot();
    ui::UiRuntime::SetResourceRoot(dir_.Path() + L"\\");
  }
  void TearDown() override { ui::UiRuntime::SetResourceRoot(savedRoot_); }

  void Write(const std::wstring& name, const std::string& markup) {
    ASSERT_TRUE(skintest::WriteFileBytes(dir_.Path() + L"\\" + name, markup));
  }
  // Builds the markup for a window and gives the window the tree, as a skin-driven window does.
  ui::Control* Attach(const wchar_t* markup) {
    ui::MarkupBuilder builder;
    ui::Control* root = builder.Build(markup, nullptr, &window_, nullptr, nullptr);
    EXPECT_NE(root, nullptr);
    window_.AttachRoot(root);
    return root;
  }
  ui::ChildBox* Find(const wchar_t* name) { return dynamic_cast<ui::ChildBox*>(window_.FindControlByName(name)); }
  // How many child boxes deep the chain under box goes, each holding its fragment.
  static int Depth(ui::Box* box) {
    int depth = 0;
    while (box && box->GetChildCount() == 1) {
      auto* fragment = dynamic_cast<ui::Box*>(box->GetChildAt(0));
      box = nullptr;
      ++depth;
      for (size_t i = 0; fragment && i < fragment->GetChildCount(); ++i) {
        if (auto* inner = dynamic_cast<ui::ChildBox*>(fragment->GetChildAt(i))) box = inner;
      }
    }
    return depth;
  }

  test_support::TempDir dir_;
  std::wstring savedRoot_;
  ui::Window window_;
};

TEST_F(ChildBoxTest, FragmentIsBuiltOnceWhenTheWindowTakesTheTree) {
  Write(L"cb_fragment.xml", "<Window><VBox name=\"frag\"><Label name=\"inner\" text=\"x\"/></VBox></Window>");
  Attach(L"<Window><VBox><ChildBox name=\"child\" xmlfile=\"cb_fragment.xml\"/></VBox></Window>");
  ui::ChildBox* child = Find(L"child");
  ASSERT_NE(child, nullptr);
  // Built while the window's markup was built and initialised again by AttachRoot: one copy.
  ASSERT_EQ(child->GetChildCount(), 1u);
  EXPECT_EQ(child->GetChildAt(0)->GetName(), L"frag");
  EXPECT_NE(window_.FindControlByName(L"inner"), nullptr);
  EXPECT_EQ(dynamic_cast<ui::Box*>(child->GetChildAt(0))->GetChildAt(0)->GetOwnerWindow(), &window_);
}

TEST_F(ChildBoxTest, FilesThatContainThemselvesEndInAnEmptyBox) {
  Write(L"cb_self.xml", "<Window><VBox><ChildBox name=\"again\" xmlfile=\"cb_self.xml\"/></VBox></Window>");
  Write(L"cb_ping.xml", "<Window><VBox><ChildBox xmlfile=\"CB_PONG.xml\"/></VBox></Window>");
  Write(L"cb_pong.xml", "<Window><VBox><ChildBox xmlfile=\"cb_ping.xml\"/></VBox></Window>");
  Attach(
      L"<Window><VBox><ChildBox name=\"self\" xmlfile=\"cb_self.xml\"/><ChildBox name=\"ping\" "
      L"xmlfile=\"cb_ping.xml\"/><ChildBox name=\"missing\" xmlfile=\"cb_none.xml\"><Box/></ChildBox>"
      L"<ChildBox name=\"none\"><Box/></ChildBox></VBox></Window>");
  // The outer box holds the file; the copy inside it, already being built above, stays empty.
  EXPECT_EQ(Depth(Find(L"self")), 1);
  // Through another file (named in other case): ping holds pong, pong's ping is empty.
  EXPECT_EQ(Depth(Find(L"ping")), 2);
  // A file that cannot be built empties the box; no file leaves its markup children.
  EXPECT_EQ(Find(L"missing")->GetChildCount(), 0u);
  EXPECT_EQ(Find(L"none")->GetChildCount(), 1u);
}

}  // namespace
