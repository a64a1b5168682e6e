#pragma once

// A scroll bar: a range and a position, laid out as up to two arrow buttons, a thumb and a
// rail grip, painted from four-state image sets. Presses, thumb drags and held buttons
// scroll its owner (a ScrollableBox) or, without one, its own position. A held press repeats
// every 50 ms from the sixth tick of the repeat timer. With auto-hide on, the owner shows
// the bar while the pointer is over it. UI thread only.

#include <cstdint>

#include "base/weak_callback.h"
#include "ui/core/control.h"
#include "ui/resources/state_images.h"

namespace ui {

class ScrollableBox;

class ScrollBar : public Control {
 public:
  // 16 wide and floating; a window that loses the focus during a press ends it.
  ScrollBar();
  ~ScrollBar() override;

  // Re-lays the buttons and the thumb.
  void SetBounds(const Rect& bounds) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void RequestFocus() override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void PaintSelf(IRenderContext* context, const Rect& dirty) override;
  void DropImageCaches() override;
  void ProcessEvent(EventArgs* args) override;
  bool OnMouseEnter(EventArgs* args) override;
  bool OnMouseLeave(EventArgs* args) override;
  bool OnButtonUp(EventArgs* args) override;

  // Negative ranges become 0; the position is lowered into the range; range 0 hides the bar
  // and a positive one shows a bar that does not hide itself.
  void SetScrollRange(int64_t range);
  int64_t GetScrollRange() const { return range_; }
  // Clamped to 0 .. range; the thumb moves.
  void SetScrollPos(int64_t position);
  int64_t GetScrollPos() const { return position_; }
  ScrollableBox* GetOwner() const { return owner_; }
  void SetOwner(ScrollableBox* owner) { owner_ = owner; }
  bool IsHorizontal() const { return horizontal_; }
  // A bar without a thickness along its new direction gets 16.
  void SetHorizontal(bool horizontal);
  bool IsAutoHide() const { return autoHide_; }
  void SetAutoHide(bool autoHide) { autoHide_ = autoHide; }
  int32_t GetLineSize() const { return lineSize_; }
  int32_t GetThumbMinLength() const { return thumbMinLength_; }
  bool IsButton1Shown() const { return showButton1_; }
  bool IsButton2Shown() const { return showButton2_; }

  Rect GetButton1Rect() const { return button1Rect_; }
  Rect GetButton2Rect() const { return button2Rect_; }
  // Zero when the bar is too short for a thumb.
  Rect GetThumbRect() const { return thumbRect_; }
  ControlState GetButton1State() const { return button1State_; }
  ControlState GetButton2State() const { return button2State_; }
  ControlState GetThumbState() const { return thumbState_; }
  int64_t GetDragOffset() const { return dragOffset_; }
  int32_t GetRepeatTicks() const { return repeatTicks_; }

  // The image of a state (0..3) in one of the five sets; the bar repaints.
  void SetBkStateImage(ControlState state, const std::wstring& description);
  void SetButton1StateImage(ControlState state, const std::wstring& description);
  void SetButton2StateImage(ControlState state, const std::wstring& description);
  void SetThumbStateImage(ControlState state, const std::wstring& description);
  void SetRailStateImage(ControlState state, const std::wstring& description);

  // One step of the 50 ms repeat timer of a press.
  void OnRepeatTimer();

 private:
  // Length along the bar and thickness across it.
  int32_t Length() const { return horizontal_ ? bounds_.Width() : bounds_.Height(); }
  int32_t Thickness() const { return horizontal_ ? fixedHeight_ : fixedWidth_; }
  int32_t Along(Point point) const { return horizontal_ ? point.x : point.y; }
  int32_t ThumbStart() const { return horizontal_ ? thumbRect_.left : thumbRect_.top; }
  int32_t ThumbEnd() const { return horizontal_ ? thumbRect_.right : thumbRect_.bottom; }
  bool HasThumb() const;
  // The steps of the buttons and the rail, on the owner or on the own position.
  void StepBack();
  void StepForward();
  void PageBack();
  void PageForward();
  // Moves the view to the position the thumb drag points at.
  void ApplyThumbDrag();
  void Press(EventArgs* args);
  // The image modifier that puts a picture on a part (window coordinates) of the bar.
  std::wstring PartModifier(const Rect& part) const;
  void SetStateImage(StateImageSet& set, ControlState state, const std::wstring& description);

  bool horizontal_ = false;
  bool showButton1_ = true;
  bool showButton2_ = true;
  bool autoHide_ = true;
  int64_t range_ = 100;
  int64_t position_ = 0;
  int32_t lineSize_ = 8;
  int32_t thumbMinLength_ = 30;
  int64_t positionAtPress_ = 0;
  int64_t dragOffset_ = 0;
  int32_t repeatTicks_ = 0;
  ScrollableBox* owner_ = nullptr;
  Point pressPoint_;
  Rect button1Rect_;
  Rect button2Rect_;
  Rect thumbRect_;
  ControlState button1State_ = kStateNormal;
  ControlState button2State_ = kStateNormal;
  ControlState thumbState_ = kStateNormal;
  StateImageSet bkImages_;
  StateImageSet button1Images_;
  StateImageSet button2Images_;
  StateImageSet thumbImages_;
  StateImageSet railImages_;
  base::WeakCallbackFlag repeatFlag_;
};

}  // namespace ui
