#include "ui/resources/runtime_links.h"

#include "ui/core/control.h"
#include "ui/core/window.h"

// Windows and controls answer for themselves.
namespace ui {

HWND WindowHandleOf(Window* window) { return window ? window->GetHwnd() : nullptr; }

Control* WindowRootOf(Window* window) { return window ? window->GetRoot() : nullptr; }

void DropControlImageCaches(Control* root) {
  if (root) root->DropImageCaches();
}

void InvalidateControl(Control* root) {
  if (root) root->Invalidate();
}

}  // namespace ui
