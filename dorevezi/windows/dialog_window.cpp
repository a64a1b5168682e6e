#include "dorevezi/windows/dialog_window.h"

#include "ui/controls/label.h"
#include "ui/core/window.h"

void SetLabelText(ui::Control* control, const std::wstring& text, bool isKey) {
  auto* label = dynamic_cast<ui::LabelTemplate<ui::Control>*>(control);
  if (!label) return;
  if (isKey) {
    label->SetTextId(text);
  } else {
    label->SetText(text);
  }
}

void ShowOverOwner(ui::Window& dialog) {
  if (HWND owner = GetWindow(dialog.GetHwnd(), GW_OWNER)) EnableWindow(owner, FALSE);
  dialog.CenterOnOwner();
  dialog.ShowNativeWindow(true, true);
}

void GiveBackOwner(HWND dialog) {
  HWND owner = dialog ? GetWindow(dialog, GW_OWNER) : nullptr;
  if (!owner) return;
  EnableWindow(owner, TRUE);
  SetFocus(owner);
}
