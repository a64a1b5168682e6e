#pragma once

// A control that owns an ordered list of child controls and a layout. It passes window
// attachment, visibility, enabling and image management down to its children, searches them
// (LocateControl) and paints them in order. Children keep the bounds they are given here;
// measuring and arranging them is the layouts' business.

#include <memory>
#include <vector>

#include "ui/core/control.h"
#include "ui/core/layout.h"

namespace ui {

class Box : public Control {
 public:
  // Takes the layout (a plain one when null).
  explicit Box(Layout* layout = nullptr);
  // Deletes the children at once, then the layout.
  ~Box() override;

  // Children first, then the box itself.
  void AttachTo(Window* window, Box* parent, bool initialize) override;
  void SetVisibleByParent(bool visible) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  bool IsTabStop() const override { return false; }
  Control* LocateControl(FindCallback callback, void* data, FindFlags flags, Point scrollOffset = Point()) override;
  void PaintChildren(IRenderContext* context, const Rect& dirty) override;
  void ReacquireImages() override;
  void ReleaseImages() override;
  void DropImageCaches() override;

  virtual Control* GetChildAt(size_t index) const { return index < children_.size() ? children_[index] : nullptr; }
  virtual size_t GetChildCount() const { return children_.size(); }
  // Attaches the child (with this box's window, if any), registers its tree's names and
  // appends it; a hidden box hides it by parent. False for null.
  virtual bool AddChild(Control* child);
  virtual Layout* GetLayout() const { return layout_.get(); }
  // The bounds less the layout's padding.
  virtual Rect GetContentRect() const;
  // Markup handlers that also see the events of the box's descendants; in the order added.
  void AddMarkupBubbledEventHandler(EventType type, EventHandler handler);

 protected:
  EventHandlerMap markupBubbledHandlers_;
  std::unique_ptr<Layout> layout_;
  std::vector<Control*> children_;  // owned, in painting order
};

}  // namespace ui
