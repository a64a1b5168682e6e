#pragma once

// A control that owns an ordered list of child controls and a layout that measures and
// arranges them. It passes window attachment, visibility, enabling and image management down
// to its children, runs the bubbled handlers of the events its descendants raise, finds the
// control under a point (children first), paints its children in order, and deletes removed
// children, after the current message when it has a window, so that a control may be
// removed from inside its own handler.

#include <memory>
#include <vector>

#include "ui/core/control.h"
#include "ui/core/layout.h"

namespace ui {

class Box : public Control {
 public:
  // Takes the layout (the free layout when null) and becomes its owner.
  explicit Box(Layout* layout = nullptr);
  // Deletes the children at once, then the layout.
  ~Box() override;

  // Children first, then the box itself: children are initialised before their box.
  void AttachTo(Window* window, Box* parent, bool initialize) override;
  // Auto directions from the layout's measure of the children, cached until needed again.
  Size Measure(Size available) override;
  // Stores the bounds and arranges the children inside the padding, even when unchanged.
  void SetBounds(const Rect& bounds) override;
  void SetVisibleByParent(bool visible) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  bool IsTabStop() const override { return false; }
  Control* LocateControl(FindCallback callback, void* data, FindFlags flags, Point scrollOffset = Point()) override;
  // Own handlers (for its own events), bubbled handlers (for every event), then the default
  // processing, which passes the event on to the parent.
  void DispatchEvent(EventArgs* args) override;
  // The layout's names, "mousechild", then the control's names.
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintChildren(IRenderContext* context, const Rect& dirty) override;
  void ReacquireImages() override;
  void ReleaseImages() override;
  void DropImageCaches() override;

  // The first visible, enabled selectable element from start in the direction; a backward
  // search that finds none searches forward from 0. -1 when none.
  virtual int FindSelectableIndex(int start, bool forward) const;
  virtual Control* GetChildAt(size_t index) const { return index < children_.size() ? children_[index] : nullptr; }
  // -1 when not a child.
  virtual int GetChildIndex(const Control* child) const;
  // False when index is not below the count or control is not a child.
  virtual bool MoveChildTo(Control* child, size_t index);
  virtual size_t GetChildCount() const { return children_.size(); }
  // Attaches the child (with this box's window, if any), registers its tree's names and
  // appends it; a hidden box hides it by parent. False for null.
  virtual bool AddChild(Control* child);
  // As AddChild, before the child at index; false for null or an index above the count.
  virtual bool InsertChildAt(Control* child, size_t index);
  // Deletes an owned child (after the current message when deferring with a window); false
  // when control is not a child.
  virtual bool RemoveChild(Control* child);
  virtual bool RemoveChildAt(size_t index);
  virtual void RemoveAllChildren();
  virtual bool OwnsChildren() const { return ownsChildren_; }
  virtual void SetOwnsChildren(bool owns) { ownsChildren_ = owns; }
  virtual bool DefersChildDeletion() const { return defersDeletion_; }
  virtual void SetDefersChildDeletion(bool defers) { defersDeletion_ = defers; }
  virtual bool IsMouseChildEnabled() const { return mouseChild_; }
  virtual void SetMouseChildEnabled(bool enabled) { mouseChild_ = enabled; }
  virtual Layout* GetLayout() const { return layout_; }
  // Stores the new layout and deletes the old one; the caller sets the new one's owner.
  virtual void ReplaceLayout(Layout* layout);
  // The bounds less the layout's padding.
  virtual Rect GetContentRect() const;

  // Each position holding a or b gets the other; no relayout.
  void SwapChildren(Control* a, Control* b);
  // Handlers that see every event of the box and of its descendants.
  void AddBubbledEventHandler(EventType type, EventHandler handler);
  void AddMarkupBubbledEventHandler(EventType type, EventHandler handler);

 protected:
  // Deletes or queues a child that has left the list, as the ownership flags say.
  void DisposeChild(Control* child);

  EventHandlerMap markupBubbledHandlers_;
  Layout* layout_;  // owned
  bool ownsChildren_ = true;
  bool defersDeletion_ = true;
  bool mouseChild_ = true;
  std::vector<Control*> children_;  // in painting and stacking order
  EventHandlerMap codeBubbledHandlers_;
};

class VBox : public Box {
 public:
  VBox() : Box(new VLayout()) {}
};

class HBox : public Box {
 public:
  HBox() : Box(new HLayout()) {}
};

class TileBox : public Box {
 public:
  TileBox() : Box(new TileLayout()) {}
};

}  // namespace ui
