#pragma once

// A progress bar with a draggable thumb. Dragging the thumb, releasing the button over the
// bar and turning the wheel change the value and report kEventValueChange. UI thread only.

#include <cstdint>
#include <string>

#include "ui/controls/progress.h"
#include "ui/resources/state_images.h"

namespace ui {

class Slider : public Progress {
 public:
  Slider();
  ~Slider() override = default;

  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DropImageCaches() override;
  void ProcessEvent(EventArgs* args) override;
  // The bar inside the padding, then the thumb of the current state.
  void PaintStateImages(IRenderContext* context) override;
  // The fill ends under the centre of the thumb.
  Rect ProgressFillRect() override;

  // The thumb in window coordinates.
  Rect ThumbRect() const;
  // The thumb image of a state takes the descriptor text.
  void SetThumbImage(ControlState state, const std::wstring& descriptor);
  // The value a press or drag at (x, y) stands for, in the coordinates of the bounds (a point
  // of the window plus the scroll offset of the ancestors); not clamped. A track no longer
  // than the thumb gives the minimum.
  double ValueAtPoint(Point point) const;

  int32_t GetStep() const { return step_; }
  Size GetThumbSize() const { return thumbSize_; }
  Rect GetProgressBarPadding() const { return barPadding_; }
  StateImageSet& GetThumbImages() { return thumbImages_; }
  const std::wstring& GetThumbModifier() const { return thumbModifier_; }
  void SetThumbHot(int32_t hot) { thumbHot_ = hot; }

 private:
  // A window point in the coordinates of the bounds, which scrolling ancestors shift.
  Point ContentPoint(Point point) const;
  // The value changed by the user: repaint and tell the handlers.
  void ReportValueChange();

  int32_t step_ = 1;
  Size thumbSize_{10, 10};
  StateImageSet thumbImages_;
  Rect barPadding_;
  int32_t thumbHot_ = 0;
  std::wstring thumbModifier_;
};

}  // namespace ui
