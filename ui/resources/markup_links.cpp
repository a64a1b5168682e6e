#include "ui/resources/runtime_links.h"

// The markup builder and the window and control classes are not part of the framework yet:
// the global markup builds nothing and a listed window has neither handle nor root.
namespace ui {

void BuildGlobalMarkup(const std::wstring& /*path*/) {}

HWND WindowHandleOf(Window* /*window*/) { return nullptr; }

Control* WindowRootOf(Window* /*window*/) { return nullptr; }

void DropControlImageCaches(Control* /*root*/) {}

void InvalidateControl(Control* /*root*/) {}

}  // namespace ui
