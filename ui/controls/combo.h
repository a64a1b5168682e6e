#pragma once

// The drop-down selector ("Combo"). Its items live in an inner list box that is not one of
// its children: closed, the combo paints the selected item's text over its own background;
// activated, it opens a borderless pop-up window ("ComboWnd") below or above itself, moves
// the list into it, and closes it again when an item is chosen or the pop-up loses the
// focus. The combo owns its items: removed ones, and all of them at its end, are deleted.
// UI thread only.

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/controls/list_box.h"
#include "ui/core/box.h"
#include "ui/core/window.h"

namespace ui {

class CComboWnd;

class Combo : public Box {
 public:
  Combo();
  // Ends an open pop-up first (it must not keep pointing at the list), then deletes the list
  // with its items.
  ~Combo() override;

  // Opens the pop-up (a click ends here) and raises kEventClick; nothing while one is open.
  void PerformAction() override;
  // Closes an open pop-up.
  void EndAction() override;
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;
  // The closed look: the selected item's text.
  void PaintText(IRenderContext* context) override;
  // Items go to and come from the inner list.
  size_t GetChildCount() const override;
  bool AddChild(Control* item) override;
  bool RemoveChild(Control* item) override;
  bool RemoveChildAt(size_t index) override;
  void RemoveAllChildren() override;

  // The list's kEventSelect: closes an open pop-up, takes the list's selection and, with the
  // pop-up open, raises kEventSelect (index, -1) on the combo. Always true.
  bool OnListItemSelected(EventArgs* args);

  ListBox* GetListBox() const { return list_; }
  int GetSelectedIndex() const { return selectedIndex_; }
  CComboWnd* GetPopup() const { return popup_; }
  int32_t GetDropWidth() const { return dropWidth_; }
  int32_t GetDropHeight() const { return dropHeight_; }
  const std::wstring& GetDropBoxAttributes() const { return dropBoxAttributes_; }
  bool PopsUpAbove() const { return popupTop_; }

 private:
  friend class CComboWnd;

  CComboWnd* popup_ = nullptr;  // deletes itself when its window is destroyed
  ListBox* list_;               // owned
  int32_t selectedIndex_ = -1;
  int32_t dropWidth_ = 0;       // 0 or less: the combo's width
  int32_t dropHeight_ = 150;    // the pop-up's greatest height
  std::wstring dropBoxAttributes_;
  bool popupTop_ = false;
};

// The combo's drop-down window. It deletes itself when its native window is destroyed, and
// whichever way it ends it gives the list back first.
class CComboWnd : public Window {
 public:
  CComboWnd() = default;

  std::wstring RegisteredClassName() const override { return L"ComboWnd"; }
  void OnWindowDestroyed(HWND hwnd) override;
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Places the pop-up under the combo (above it near the work area's bottom or with
  // "popuptop"), as high as the items up to the drop height, and shows it. False when the
  // native window cannot be made (the object is then the caller's to delete).
  bool OpenBelow(Combo* combo);
  // The combo is going: the list is given back, and the window closes now, or, while it is
  // handling a message of its own, as soon as that is done.
  void CloseForDeletedCombo();

  Combo* GetCombo() const { return combo_; }
  bool IsClosing() const { return closing_; }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Takes the list out of the root box and clears its window and parent.
  void DetachList();

  Combo* combo_ = nullptr;  // not owned
  bool closing_ = false;
  int messageDepth_ = 0;    // messages of this window being handled right now
};

}  // namespace ui
