#pragma once

// A list of many equally tall items shown through a small, fixed pool of element controls:
// the elements are placed where the items in view are and refilled with those items as the
// view scrolls. The items come from a provider the program supplies. While every item has an
// element of its own the list is a plain vertical list; once the items outnumber the pool the
// layout reports the full content height, so the scroll bar covers every item.
// "VirtualListBox" in markup. UI thread only.

#include "ui/controls/list_box.h"

namespace ui {

// Supplied by the program.
class IListItemProvider {
 public:
  virtual ~IListItemProvider() = default;
  // A new element control; the list owns it once added.
  virtual Control* CreateItem() = 0;
  // Shows item index in the element.
  virtual void FillItem(Control* element, int index) = 0;
  virtual int ItemCount() = 0;
};

class VirtualListBox : public ListBox {
 public:
  VirtualListBox();

  // Plain stores, not owned.
  virtual void SetItemProvider(IListItemProvider* provider) { provider_ = provider; }
  // Pixels, unscaled; below 1 nothing is placed.
  virtual void SetItemHeight(int height) { itemHeight_ = height; }
  // Creates and fills up to poolSize elements, one per item.
  virtual void InitItems(int poolSize);
  // After the item set changed: fewer items drop elements from the front, more add them up
  // to the pool; then the elements are refilled.
  virtual void RefreshItems();
  // Hooks for derived lists, given VK_UP or VK_DOWN; empty here.
  virtual void HandleArrowKeyDown(int /*virtualKey*/) {}
  virtual void HandleArrowKeyUp(int /*virtualKey*/) {}

  void SetBounds(const Rect& bounds) override;
  // Home and End scroll (they select nothing); Up and Down go to the hooks.
  void ProcessEvent(EventArgs* args) override;
  // Back to the unplaced state at offset 0.
  void RemoveAllChildren() override;
  void SetScrollOffset(Size offset) override;

  // Places the pool over the items in view: all of it (all, or the first time), else only when
  // the view has left the elements placed.
  void RecycleItems(bool all);

  // The provider's count, 0 without a provider.
  int ItemCount() const;
  // True while the items outnumber the elements.
  bool IsVirtual() const { return static_cast<int>(children_.size()) < ItemCount(); }
  IListItemProvider* GetItemProvider() const { return provider_; }
  int GetItemHeight() const { return itemHeight_; }
  int GetPoolSize() const { return poolSize_; }

 private:
  // Invalidates the list's view and, while it lives, lets the window skip invalidations inside it.
  class CoverView {
   public:
    explicit CoverView(VirtualListBox* list);
    ~CoverView();
    CoverView(const CoverView&) = delete;
    CoverView& operator=(const CoverView&) = delete;

   private:
    Window* window_;
    Rect previous_;
  };

  // Places element at item n over the full width of the bounds, and fills it when n is an item.
  void PlaceElement(Control* element, int item, const Rect& bounds, int itemCount);

  IListItemProvider* provider_ = nullptr;  // not owned
  int32_t itemHeight_ = 0;
  int32_t poolSize_ = 0;
  int32_t previousOffsetY_ = 0;
  bool firstPlacementDone_ = false;
};

class VirtualLayout : public VLayout {
 public:
  // While the items outnumber the elements: the full content size, and the list places the
  // pool itself. Otherwise a plain vertical arrangement.
  Size ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) override;
};

}  // namespace ui
