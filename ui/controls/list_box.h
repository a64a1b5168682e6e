#pragma once

// A scrolling box that keeps one selected element among its children and selects by click,
// keys, the wheel ("scrollselect") or code, scrolling the selection into view; and the
// element it selects among, a box-based option whose selection always goes through the list
// that owns it. "ListBox", "VListBox", "HListBox", "TileListBox" and "ListContainerElement"
// in markup. UI thread only.

#include <string>

#include "ui/controls/button.h"
#include "ui/core/scrollable_box.h"

namespace ui {

class ListContainerElement;

class ListBox : public ScrollableBox, public IListOwner {
 public:
  // Takes the layout (the free layout when null).
  explicit ListBox(Layout* layout = nullptr);

  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // Selection keys and the selecting wheel; the rest scrolls.
  void ProcessEvent(EventArgs* args) override;
  // A press also stops a gliding scroll at once.
  bool OnButtonDown(EventArgs* args) override;
  bool MoveChildTo(Control* child, size_t index) override;
  bool AddChild(Control* child) override;
  // Every insertion numbers the elements and keeps the selection on its element.
  bool InsertChildAt(Control* child, size_t index) override;
  bool RemoveChild(Control* child) override;
  void RemoveAllChildren() override;

  // Scrolls so that the child's top is the content's top; false when it is not a child, the
  // list does not scroll vertically or the child lies above that top.
  virtual bool ScrollElementToTop(Control* child);
  virtual bool ScrollElementToTopByName(const std::wstring& name);
  // The first visible, non-floating child that reaches down into the view; null when none.
  virtual Control* TopVisibleElement();

  bool InsertElementAt(Control* element, int index);
  // When the selected element goes, the one that takes its place (or the nearest selectable
  // one before it) is selected.
  bool RemoveElementAt(int index);

  // IListOwner.
  int SelectedIndex() const override { return selectedIndex_; }
  bool SelectItemAt(int index, bool takeFocus, bool sendEvent) override;
  void ForwardElementEvent(EventArgs* args) override;
  void EnsureRectVisible(const Rect& rect) override;
  void StopScrollAnimation() override;

  bool IsScrollSelect() const { return scrollSelect_; }
  void SetScrollSelect(bool scrollSelect) { scrollSelect_ = scrollSelect; }

 protected:
  // Gives the list elements from index on their position and this list as owner.
  void NumberElements(size_t from, size_t to);

  bool scrollSelect_ = false;
  int32_t selectedIndex_ = -1;
};

class ListContainerElement : public OptionTemplate<Box> {
 public:
  ListContainerElement();

  bool IsSelectableElement() const override { return true; }
  // Hiding a selected element (at once, without a hide effect) clears the list's selection.
  void SetFadeVisible(bool visible) override;
  void ProcessEvent(EventArgs* args) override;
  // Only selecting does something, and only through the owner: the list decides.
  void SetSelected(bool selected, bool sendEvent) override;

  // Sends kEventDoubleClick to the element's handlers.
  void FireDoubleClick();

  IListOwner* GetOwner() const { return owner_; }
  void SetOwner(IListOwner* owner) { owner_ = owner; }
  int GetIndex() const { return index_; }
  void SetIndex(int index) { index_ = index; }

  // The list's side of a selection change: the template's own selecting (group, event,
  // repaint), and the unselecting that clears the flag and tells the element's handlers.
  void SelectAsOption(bool sendEvent) { OptionTemplate<Box>::SetSelected(true, sendEvent); }
  void DropSelection();

 protected:
  int32_t index_ = -1;
  IListOwner* owner_ = nullptr;  // not owned
};

}  // namespace ui
