#pragma once

// A vertical list meant to show a hierarchy of nodes: each node is a list element that knows
// its parent node, its child nodes and whether it is expanded, and is visible only while every
// ancestor node is expanded and visible. The tree owns one root node from its construction
// and takes no children through the box operations: markup children of a "TreeView" are
// refused (and so freed by the builder). UI thread only.

#include <string>
#include <vector>

#include "ui/controls/list_box.h"

namespace ui {

class TreeView;

class TreeNode : public ListContainerElement {
 public:
  TreeNode() = default;
  // Deletes the child nodes it holds.
  ~TreeNode() override;

  // Child nodes first (with this node as their parent), then the box; a node with a group
  // name joins its window's option group when initialised.
  void AttachTo(Window* window, Box* parent, bool initialize) override;
  // Own flags, and every ancestor node expanded and visible.
  bool IsVisible() const override;
  // The box children follow the node's own flags, not the expansion of its ancestors.
  void SetVisibleByParent(bool visible) override;

  // An event handler: the sender, when it is a node of a tree, flips its expansion and asks
  // its tree for a layout; any other sender changes nothing. Always true (the event goes on).
  virtual bool ToggleExpandedOnEvent(EventArgs* args);

  // Appends a node below this one (owned from now on), of this node's tree; false for null,
  // this node itself or a node that already has a parent node.
  bool AddChildNode(TreeNode* node);

  bool IsExpanded() const { return expanded_; }
  void SetExpanded(bool expanded) { expanded_ = expanded; }
  TreeView* GetTree() const { return tree_; }
  void SetTree(TreeView* tree) { tree_ = tree; }
  TreeNode* GetParentNode() const { return parentNode_; }
  const std::vector<TreeNode*>& GetChildNodes() const { return childNodes_; }

 protected:
  void SetTreeOfSubtree(TreeView* tree);

  bool expanded_ = true;
  TreeView* tree_ = nullptr;        // not owned
  TreeNode* parentNode_ = nullptr;  // not owned
  std::vector<TreeNode*> childNodes_;  // owned
};

class TreeView : public ListBox {
 public:
  TreeView();
  // The root node goes before the list.
  ~TreeView() override;

  // The bars, the box, then the root node (with the tree's parent).
  void AttachTo(Window* window, Box* parent, bool initialize) override;
  // "indent" (an integer, unscaled), then the list's names.
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;

  // Refused: the caller keeps (and frees) what it offered.
  bool AddChild(Control* child) override;
  bool InsertChildAt(Control* child, size_t index) override;
  // Nothing to remove: they change nothing.
  bool RemoveChild(Control* child) override;
  bool RemoveChildAt(size_t index) override;
  void RemoveAllChildren() override;

  TreeNode* GetRootNode() const { return rootNode_; }
  int32_t GetIndent() const { return indent_; }

 private:
  int32_t indent_ = 0;
  TreeNode* rootNode_;  // owned
};

}  // namespace ui
