#pragma once

// How a box measures and arranges its children. Layout itself is the free layout: every
// child is placed on its own by its alignment and margins. VLayout and HLayout stack the
// children; TileLayout puts them in a grid of equal cells.
//
// Sizes are window client pixels; markup values are DPI-scaled when read. UI thread only.

#include <string>
#include <vector>

#include "ui/core/geometry.h"

namespace ui {

class Box;
class Control;

class Layout {
 public:
  Layout() = default;
  virtual ~Layout() = default;
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

  // "padding" and "childmargin"; false for any other name.
  virtual bool ApplyAttribute(const std::wstring& name, const std::wstring& value);
  // Gives every visible child its bounds inside rect; the size the children cover.
  virtual Size ArrangeChildren(const std::vector<Control*>& children, const Rect& rect);
  // The size the box needs for its children, padding included.
  virtual Size MeasureChildren(const std::vector<Control*>& children, Size available);
  virtual Rect GetPadding() const { return padding_; }
  // Stores the padding (DPI-scaled when asked) and asks the owner for a layout.
  virtual void SetPadding(const Rect& padding, bool scaleDpi);
  virtual int32_t GetChildMargin() const { return childMargin_; }
  // DPI-scaled, then the owner is asked for a layout.
  virtual void SetChildMargin(int32_t margin);

  // Places one child inside rect by its margins and alignments; the size it got.
  static Size PlaceFloatingChild(Control* child, const Rect& rect);

  void SetOwner(Box* owner) { owner_ = owner; }
  Box* GetOwner() const { return owner_; }

 protected:
  Rect padding_;
  int32_t childMargin_ = 0;
  Box* owner_ = nullptr;
};

class VLayout : public Layout {
 public:
  Size ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) override;
  Size MeasureChildren(const std::vector<Control*>& children, Size available) override;
};

class HLayout : public Layout {
 public:
  Size ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) override;
  Size MeasureChildren(const std::vector<Control*>& children, Size available) override;
};

class TileLayout : public Layout {
 public:
  // Also "itemsize" and "columns"; each of the four names is consumed even when ignored.
  bool ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  Size ArrangeChildren(const std::vector<Control*>& children, const Rect& rect) override;
  Size MeasureChildren(const std::vector<Control*>& children, Size available) override;

  int32_t GetColumns() const { return columns_; }
  Size GetItemSize() const { return itemSize_; }

 private:
  int32_t columns_ = 1;
  Size itemSize_;  // a width of 1 or more derives the columns
};

}  // namespace ui
