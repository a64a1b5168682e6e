#include "dorevezi/windows/control_query.h"

#include "ui/core/control.h"
#include "ui/core/window.h"

UINT ControlQueryMessage() {
  static const UINT message = RegisterWindowMessageW(kControlQueryName);
  return message;
}

LRESULT AnswerControlQuery(ui::Window& window, WPARAM atom) {
  // Atom names are at most 255 characters.
  wchar_t name[256] = {};
  if (!GlobalGetAtomNameW(static_cast<ATOM>(atom), name, 256)) return 0;
  return DescribeControl(window, window.FindControlByName(name));
}

LRESULT DescribeControl(ui::Window& window, ui::Control* control) {
  if (!control || !window.GetHwnd()) return 0;
  // Where it is drawn: its bounds moved by the scrolling of the boxes around it.
  const ui::Rect bounds = control->GetBounds(true);
  const ui::Point scroll = control->GetAncestorScrollOffset();
  POINT corners[2] = {{bounds.left - scroll.x, bounds.top - scroll.y},
                      {bounds.right - scroll.x, bounds.bottom - scroll.y}};
  MapWindowPoints(window.GetHwnd(), nullptr, corners, 2);
  const RECT rect = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  return static_cast<LRESULT>(PackControlQuery(rect, control->IsVisible(), control->IsEnabled()));
}

ControlQueryAnswer QueryControl(HWND window, const std::wstring& name) {
  const ATOM atom = GlobalAddAtomW(name.c_str());
  if (!atom) return ControlQueryAnswer();
  const LRESULT result = SendMessageW(window, ControlQueryMessage(), atom, 0);
  GlobalDeleteAtom(atom);
  return DecodeControlQuery(result);
}
