#include "ui/controls/tree_view.h"

#include <cwchar>

#include "ui/core/window.h"

namespace ui {

TreeNode::~TreeNode() {
  std::vector<TreeNode*> nodes;
  nodes.swap(childNodes_);
  for (TreeNode* node : nodes) delete node;
}

void TreeNode::AttachTo(Window* window, Box* parent, bool initialize) {
  for (TreeNode* node : childNodes_) node->PlaceHolder::AttachTo(window, this, initialize);
  Box::AttachTo(window, parent, initialize);
  if (initialize && !groupName_.empty() && window_) window_->AddOptionToGroup(groupName_, this);
}

bool TreeNode::IsVisible() const {
  if (!visible_ || !visibleByParent_) return false;
  return !parentNode_ || (parentNode_->expanded_ && parentNode_->IsVisible());
}

void TreeNode::SetVisibleByParent(bool visible) {
  Control::SetVisibleByParent(visible);
  const bool own = PlaceHolder::IsVisible();
  for (Control* child : children_) child->SetVisibleByParent(own);
}

bool TreeNode::ToggleExpandedOnEvent(EventArgs* args) {
  // Handlers registered on a box see its descendants' events too: only a node of a tree flips.
  auto* node = args ? dynamic_cast<TreeNode*>(args->sender) : nullptr;
  if (!node || !node->tree_) return true;
  node->expanded_ = !node->expanded_;
  node->tree_->RequestLayout();
  return true;
}

bool TreeNode::AddChildNode(TreeNode* node) {
  if (!node || node == this || node->parentNode_) return false;
  for (const TreeNode* up = this; up; up = up->parentNode_) {
    if (up == node) return false;  // an ancestor below itself would loop
  }
  node->parentNode_ = this;
  node->SetTreeOfSubtree(tree_);
  childNodes_.push_back(node);
  return true;
}

void TreeNode::SetTreeOfSubtree(TreeView* tree) {
  tree_ = tree;
  for (TreeNode* node : childNodes_) node->SetTreeOfSubtree(tree);
}

TreeView::TreeView() : ListBox(new VLayout()), rootNode_(new TreeNode()) { rootNode_->SetTree(this); }

TreeView::~TreeView() {
  TreeNode* root = rootNode_;
  rootNode_ = nullptr;
  delete root;
}

void TreeView::AttachTo(Window* window, Box* parent, bool initialize) {
  ScrollableBox::AttachTo(window, parent, initialize);
  if (parent && rootNode_) rootNode_->PlaceHolder::AttachTo(window, parent, initialize);
}

void TreeView::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"indent") {
    indent_ = static_cast<int32_t>(wcstol(value.c_str(), nullptr, 10));
  } else {
    ListBox::ApplyAttribute(name, value);
  }
}

bool TreeView::AddChild(Control* /*child*/) { return false; }

bool TreeView::InsertChildAt(Control* /*child*/, size_t /*index*/) { return false; }

bool TreeView::RemoveChild(Control* /*child*/) { return true; }

bool TreeView::RemoveChildAt(size_t /*index*/) { return true; }

void TreeView::RemoveAllChildren() {}

}  // namespace ui
