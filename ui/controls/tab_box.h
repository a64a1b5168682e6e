#pragma once

// A box that shows one of its children, the current page, at a time. A switch either shows
// the new page and hides the old one, or ("fadeswitch") slides the old page out and the new
// one in horizontally; pages left out stay laid out but transparent and mouse-blind.
// UI thread only.

#include <cstddef>
#include <string>

#include "ui/core/box.h"

namespace ui {

class TabBox : public Box {
 public:
  explicit TabBox(Layout* layout = nullptr);

  // "selectedid" (stored without switching) and "fadeswitch"; the rest as a box.
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // The page shows when it is current (or the first visible page while none is); else hidden.
  bool AddChild(Control* page) override;
  bool InsertChildAt(Control* page, size_t index) override;
  // The current index follows its page; removing the current page makes page 0 current.
  bool RemoveChild(Control* page) override;
  bool RemoveChildAt(size_t index) override;
  void RemoveAllChildren() override;

  // False for an index out of range; true (and nothing else) for the current one.
  bool SwitchTo(int index);
  // The end of a page's slide-out: transparent and mouse-blind. The page that is current by
  // then, or an index past the end, is left alone.
  void FinishSlideOut(size_t index);

  int GetCurrentIndex() const { return currentIndex_; }
  bool IsFadeSwitch() const { return fadeSwitch_; }
  void SetFadeSwitch(bool fade) { fadeSwitch_ = fade; }

  // The speed-up of a switch's slides, in pixels per ms².
  static constexpr double kSlideAcceleration = 0.015;

 private:
  void ShowPage(Control* page);
  void HidePage(Control* page);

  int currentIndex_ = -1;
  bool fadeSwitch_ = false;
};

}  // namespace ui
