#pragma once

// A box whose children may be taller or wider than itself. Its vertical and horizontal
// scroll bars' positions form the scroll offset; children keep their unscrolled bounds and
// the offset is applied when they are painted, hit-tested and invalidated. It scrolls by
// keys, wheel, touch or pen drag, pages and lines (lines glide through an animation
// player), can hold the view at the end while content grows, slide appended content in, and
// releases the images of children far outside the view. UI thread only.

#include <vector>

#include "ui/animation/animation_player.h"
#include "ui/core/box.h"

namespace ui {

class ScrollBar;

class ScrollableBox : public Box {
 public:
  explicit ScrollableBox(Layout* layout = nullptr);
  // Stops the players, deletes the horizontal and the vertical bar, then the children.
  ~ScrollableBox() override;

  // The bars first, with the box as their parent.
  void AttachTo(Window* window, Box* parent, bool initialize) override;
  // Arranges, updates the bars and keeps a view held at the end there.
  void SetBounds(const Rect& bounds) override;
  void SetMouseEnabled(bool enabled) override;
  // The bars first, then the children at the point plus the scroll offset.
  Control* LocateControl(FindCallback callback, void* data, FindFlags flags, Point scrollOffset = Point()) override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // Children clipped to the content and shifted by the offset, then the bars.
  void PaintChildren(IRenderContext* context, const Rect& dirty) override;
  void DropImageCaches() override;
  void ProcessEvent(EventArgs* args) override;
  bool OnMouseEnter(EventArgs* args) override;
  bool OnMouseLeave(EventArgs* args) override;

  // (horizontal, vertical); a component is 0 for a missing bar or one without range.
  virtual Size GetScrollOffset() const;
  virtual Size GetScrollRange() const;
  // The one place where scrolling happens: clamps, moves the bars, releases or re-takes
  // children's images, repaints and raises kEventScrollChange.
  virtual void SetScrollOffset(Size offset);
  virtual void SetScrollOffsetY(int y);
  virtual void EndScrollAnimationY();
  virtual void SetScrollOffsetX(int x);
  virtual void EndScrollAnimationX();
  // Step -1 is the scroll unit; animated steps add up while the glide runs.
  virtual void LineUp(int step, bool animate);
  virtual void LineDown(int step, bool animate);
  virtual void LineLeft(int step, bool animate);
  virtual void LineRight(int step, bool animate);
  virtual void PageUp();
  virtual void PageDown();
  virtual void ScrollToTop();
  virtual void ScrollToBottom(bool arrangeFirst, bool animate);
  virtual void PageLeft();
  virtual void PageRight();
  virtual void ScrollToLeftEnd();
  virtual void ScrollToRightEnd();
  virtual void ScrollUpBy(int pixels);
  virtual void ScrollDownBy(int pixels);
  // Creates (hidden, range 0, styled by "vscrollbar"/"hscrollbar") or deletes the bars.
  virtual void EnableScrollBars(bool vertical, bool horizontal);
  virtual ScrollBar* GetVerticalScrollBar() const { return verticalBar_; }
  virtual ScrollBar* GetHorizontalScrollBar() const { return horizontalBar_; }
  virtual void UpdateVerticalScrollBar(const Rect& rect, int contentHeight);
  virtual void UpdateHorizontalScrollBar(const Rect& rect, int contentWidth);
  // Stores a flag that nothing reads.
  virtual void SetReservedFlag(bool flag) { reservedFlag_ = flag; }
  virtual void SetWheelEnabled(bool enabled) { wheelEnabled_ = enabled; }
  // Arranges the children (less the space of non-floating bars); the content size.
  virtual Size ArrangeContent(const Rect& rect);

  void ArrangeAndUpdateBars(const Rect& rect);
  // Releases the images of children far outside the view and re-takes the others'.
  void UpdateChildImages(bool forward);
  // Draws the content `start` pixels lower and lets it glide up into place.
  void SlideContentIn(int start);

  bool IsWheelEnabled() const { return wheelEnabled_; }
  bool IsHoldEnd() const { return holdEnd_; }
  bool AreBarsFloating() const { return barsFloat_; }
  int32_t GetVerticalScrollUnit() const { return verticalUnit_; }
  int32_t GetHorizontalScrollUnit() const { return horizontalUnit_; }
  Rect GetScrollBarPadding() const { return barPadding_; }
  AnimationPlayer& GetLineScrollPlayer() { return lineScroll_; }
  AnimationPlayer& GetSlideInPlayer() { return slideIn_; }

  // Set by a user of the box before a line glide to keep kEventScrollChange quiet until the
  // glide ends.
  bool scrollChangeSuppressed = false;
  // Where each child starts along the scrolling direction, rebuilt after every arrange.
  std::vector<int32_t> childStartOffsets;

  // How far beyond the view, above and below, children keep their images.
  static constexpr int32_t kImageKeepDistance = 730;

 private:
  // Deletes a bar; null stays null.
  void DeleteBar(ScrollBar*& bar);
  // Plays the line-scroll player from start to end on one axis.
  void GlideLine(int start, int end, bool vertical);
  // Sets a bar's position clamped and re-places it; false when it did not change.
  static bool MoveBar(ScrollBar* bar, int64_t position);

  ScrollBar* verticalBar_ = nullptr;    // owned
  ScrollBar* horizontalBar_ = nullptr;  // owned
  int32_t verticalUnit_ = 30;
  int32_t horizontalUnit_ = 30;
  bool rearranging_ = false;
  bool holdEnd_ = false;
  bool barsFloat_ = true;
  Rect barPadding_;
  Point dragPoint_{-1, -1};
  AnimationPlayer lineScroll_;
  AnimationPlayer slideIn_;
  bool wheelEnabled_ = true;
  bool reservedFlag_ = false;
};

}  // namespace ui
