// The tree view and its nodes: the tree refuses box children (so the builder frees markup
// children), a node is visible only below expanded, visible ancestors, attaching reaches the
// child nodes and the root node, and the expand toggle acts only on nodes of a tree.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ui/controls/tree_view.h"
#include "ui/core/control_test_support.h"
#include "ui/markup/markup_builder.h"
#include "ui/resources/ui_runtime.h"

using namespace ui;
using ui_test::TestWindow;

namespace {

int g_destroyed = 0;

class CountedControl : public Control {
 public:
  ~CountedControl() override { ++g_destroyed; }
};

class TreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiRuntime::Initialize(L"resources\\", nullptr, false, L"themes\\default", L"zh_CN");
    g_destroyed = 0;
  }
  void TearDown() override {
    window_.reset();
    UiRuntime::Uninitialize();
  }
  static bool Toggle(TreeNode* handlerOwner, Control* sender) {
    EventArgs args;
    args.type = kEventClick;
    args.sender = sender;
    return handlerOwner->ToggleExpandedOnEvent(&args);
  }

  std::unique_ptr<TestWindow> window_ = std::make_unique<TestWindow>();
};

TEST_F(TreeViewTest, MarkupChildrenOfATreeAreFreedNotAdded) {
  const wchar_t markup[] =
      L"<Window><TreeView indent=\"12\" scrollselect=\"true\"><Counted/><TreeNode/><Counted/></TreeView></Window>";
  MarkupBuilder builder;
  const CustomControlFactory factory = [](const std::wstring& name) -> Control* {
    return name == L"Counted" ? new CountedControl() : nullptr;
  };
  std::unique_ptr<Control> built(builder.Build(markup, factory, nullptr, nullptr, nullptr));
  auto* tree = dynamic_cast<TreeView*>(built.get());
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->GetChildCount(), 0u);
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_EQ(tree->GetIndent(), 12);
  EXPECT_TRUE(tree->IsScrollSelect());
  EXPECT_NE(dynamic_cast<VLayout*>(tree->GetLayout()), nullptr);
  ASSERT_NE(tree->GetRootNode(), nullptr);
  EXPECT_EQ(tree->GetRootNode()->GetTree(), tree);

  // In code the same: adding is refused, removing has nothing to do.
  CountedControl offered;
  EXPECT_FALSE(tree->AddChild(&offered));
  EXPECT_FALSE(tree->InsertChildAt(&offered, 0));
  EXPECT_FALSE(tree->InsertElementAt(&offered, 0));
  EXPECT_TRUE(tree->RemoveChild(&offered));
  EXPECT_TRUE(tree->RemoveChildAt(0));
  tree->RemoveAllChildren();
  EXPECT_EQ(tree->GetChildCount(), 0u);
  std::unique_ptr<Control> node(MarkupBuilder::CreateBuiltinControl(L"TreeNode"));
  EXPECT_NE(dynamic_cast<TreeNode*>(node.get()), nullptr);
}

TEST_F(TreeViewTest, NodeBelowACollapsedNodeIsNotVisibleUntilExpanded) {
  TreeView tree;
  TreeNode* root = tree.GetRootNode();
  auto* a = new TreeNode();
  auto* b = new TreeNode();
  ASSERT_TRUE(root->AddChildNode(a));
  ASSERT_TRUE(a->AddChildNode(b));
  EXPECT_EQ(b->GetTree(), &tree);
  EXPECT_EQ(b->GetParentNode(), a);
  EXPECT_TRUE(b->IsVisible());

  a->SetExpanded(false);
  EXPECT_TRUE(b->IsOwnVisible());
  EXPECT_FALSE(b->IsVisible());
  EXPECT_TRUE(a->IsVisible());
  a->SetExpanded(true);
  EXPECT_TRUE(b->IsVisible());

  // Further up: a collapsed root hides both; a hidden node hides what is below it.
  root->SetExpanded(false);
  EXPECT_FALSE(a->IsVisible());
  EXPECT_FALSE(b->IsVisible());
  root->SetExpanded(true);
  a->SetVisible(false);
  EXPECT_FALSE(b->IsVisible());
  a->SetVisible(true);

  // A node's own box children follow its flags, not its ancestors' expansion.
  auto* label = new Control();
  b->AddChild(label);
  a->SetExpanded(false);
  b->SetVisibleByParent(true);
  EXPECT_TRUE(label->IsVisibleByParent());
  b->SetVisibleByParent(false);
  EXPECT_FALSE(label->IsVisibleByParent());

  // A node takes no second parent, not itself and not an ancestor of its own.
  EXPECT_FALSE(root->AddChildNode(b));
  EXPECT_FALSE(b->AddChildNode(b));
  TreeNode loose;
  EXPECT_FALSE(b->AddChildNode(nullptr));
  auto* c = new TreeNode();
  ASSERT_TRUE(loose.AddChildNode(c));
  EXPECT_FALSE(c->AddChildNode(&loose));
}

TEST_F(TreeViewTest, ToggleActsOnlyOnNodesOfATree) {
  auto* holder = new Box();
  window_->AttachRoot(holder);
  auto* tree = new TreeView();
  holder->AddChild(tree);
  TreeNode* root = tree->GetRootNode();
  auto* a = new TreeNode();
  root->AddChildNode(a);

  tree->SetArrangePending(false);
  EXPECT_TRUE(Toggle(a, a));
  EXPECT_FALSE(a->IsExpanded());
  EXPECT_TRUE(tree->IsArrangePending());
  EXPECT_TRUE(Toggle(a, a));
  EXPECT_TRUE(a->IsExpanded());
  // The sender is the node that flips, whoever holds the handler.
  EXPECT_TRUE(Toggle(root, a));
  EXPECT_FALSE(a->IsExpanded());
  EXPECT_TRUE(root->IsExpanded());

  // Another sender, no sender, or a node without a tree: nothing changes.
  Control other;
  TreeNode treeless;
  EXPECT_TRUE(Toggle(a, &other));
  EXPECT_TRUE(Toggle(a, nullptr));
  EXPECT_TRUE(a->ToggleExpandedOnEvent(nullptr));
  EXPECT_TRUE(Toggle(a, &treeless));
  EXPECT_TRUE(treeless.IsExpanded());
  EXPECT_FALSE(a->IsExpanded());

  // As a handler: a node's click flips it.
  a->AddEventHandler(kEventClick, [a](EventArgs* args) { return a->ToggleExpandedOnEvent(args); });
  a->RaiseEvent(kEventClick);
  EXPECT_TRUE(a->IsExpanded());
}

TEST_F(TreeViewTest, AttachingReachesChildNodesAndTheRootNode) {
  auto* holder = new Box();
  auto* tree = new TreeView();
  holder->AddChild(tree);
  TreeNode* root = tree->GetRootNode();
  auto* a = new TreeNode();
  a->ApplyAttribute(L"group", L"nodes");
  root->AddChildNode(a);
  auto* b = new TreeNode();
  a->AddChildNode(b);

  window_->AttachRoot(holder);
  // The root node hangs on the tree's parent; a child node on its parent node.
  EXPECT_EQ(root->GetOwnerWindow(), window_.get());
  EXPECT_EQ(root->GetParent(), holder);
  EXPECT_EQ(tree->GetParent(), holder);
  // The root node is attached only itself (its child nodes are not reached through it).
  EXPECT_EQ(a->GetOwnerWindow(), nullptr);
  a->AttachTo(window_.get(), holder, true);
  EXPECT_EQ(b->GetOwnerWindow(), window_.get());
  EXPECT_EQ(b->GetParent(), a);
  ASSERT_NE(window_->GetOptionGroup(L"nodes"), nullptr);
  EXPECT_EQ(window_->GetOptionGroup(L"nodes")->size(), 1u);
}

}  // namespace
