#pragma once

// A bar that fills a colour and/or an image over the part of the control that stands for a
// value between a minimum and a maximum: from the left, or from the bottom when vertical. It
// is a label, so it can also show a text (centred on one line by default). UI thread only.

#include <cstdint>
#include <string>

#include "ui/controls/label.h"
#include "ui/resources/image.h"

namespace ui {

class Progress : public LabelTemplate<Control> {
 public:
  Progress();
  ~Progress() override = default;

  // The filled part, relative to the control's top-left corner.
  virtual Rect ProgressFillRect();

  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  void DropImageCaches() override;
  // The fill in place of the state images: colour first, then the image.
  void PaintStateImages(IRenderContext* context) override;

  bool IsHorizontal() const { return horizontal_; }
  bool IsStretchForeground() const { return stretchForeground_; }
  int32_t GetMaximum() const { return maximum_; }
  int32_t GetMinimum() const { return minimum_; }
  void SetMaximum(int32_t maximum) { maximum_ = maximum; }
  void SetMinimum(int32_t minimum) { minimum_ = minimum; }
  double GetValue() const { return value_; }
  // Stores the value; the caller invalidates (pages write it often and repaint once).
  void SetValue(double value) { value_ = value; }
  const std::wstring& GetProgressColor() const { return progressColor_; }
  ControlImage& GetProgressImage() { return progressImage_; }
  const std::wstring& GetProgressModifier() const { return progressModifier_; }

 protected:
  // maximum - minimum, never below 1, so no formula divides by zero or flips its sign.
  double Range() const { return maximum_ - minimum_ < 1 ? 1.0 : static_cast<double>(maximum_) - minimum_; }
  // Repairs a range of minimum >= maximum and clamps the value into it; stored back.
  void Normalize();

  bool horizontal_ = true;
  bool stretchForeground_ = true;
  int32_t maximum_ = 100;
  int32_t minimum_ = 0;
  double value_ = 0;
  ControlImage progressImage_;
  std::wstring progressColor_;
  std::wstring progressModifier_;
};

// Leading characters up to code 32 dropped, as colour names are written in markup.
std::wstring SkipLeadingBlanks(const std::wstring& text);

}  // namespace ui
