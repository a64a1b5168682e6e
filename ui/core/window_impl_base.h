#pragma once

// The base of every launcher window: a frameless window that builds its control tree from a
// skin file when it is created, wraps it in the shadow box, wires the caption buttons and
// answers the non-client messages itself (dragging, resizing, maximised placement, the round
// region). Each message it knows goes to one virtual handler; a handler is called with
// handled true and clears it to let the controls and the default procedure have the message.
// The window object deletes itself once its native window is destroyed. UI thread only.

#include <windows.h>

#include <string>

#include "ui/core/window.h"

namespace ui {

class WindowImplBase : public Window, public IUIMessageFilter {
 public:
  WindowImplBase() = default;

  std::wstring RegisteredClassName() const override = 0;
  UINT RegisteredClassStyle() const override { return CS_DBLCLKS; }
  // Touch input unregistered, the window-close handlers run, the root forgotten, and the
  // object deleted.
  void OnWindowDestroyed(HWND hwnd) override;
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT FilterMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  virtual void OnSkinLoaded() {}
  // The creation style without the caption bits.
  virtual LONG_PTR FramelessWindowStyle(LONG_PTR currentStyle) const;
  virtual std::wstring ReservedNameHook() const { return std::wstring(); }
  // Makes the window's own controls for element names the framework does not know.
  virtual Control* CreateCustomControl(const std::wstring& elementName);

  virtual LRESULT HandleClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleNcActivate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleWindowPosChanging(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleNcLButtonDblClk(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleGetMinMaxInfo(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleMouseWheel(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleMouseHover(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleDpiChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleChar(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleSetFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleLButtonDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleLButtonUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT HandleMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  // A minimised window is restored; otherwise a hidden one is shown and brought to the front.
  void RestoreAndActivate();
  void SetCaptionText(const std::wstring& text);
  // The window's folder under the theme, and the skin file in it.
  virtual std::wstring SkinSubfolder() const = 0;
  virtual std::wstring SkinXmlFileName() const = 0;

  // The WM_CREATE work: 0, or -1 when the skin cannot be built (creation then fails).
  LRESULT HandleCreate();
  // The click handler of "closebtn", "minbtn", "maxbtn" and "restorebtn". Always true.
  bool HandleCaptionButtonClick(EventArgs* args);

 protected:
  // Deleted only by OnWindowDestroyed.
  ~WindowImplBase() override = default;

  // The default handling of a handler: the controls, then the previous procedure.
  static LRESULT NotHandled(bool& handled) {
    handled = false;
    return 0;
  }
  // Controls first, then the previous window procedure.
  LRESULT PassOn(UINT message, WPARAM wParam, LPARAM lParam);
};

// Whether a control under the caption keeps its clicks instead of dragging the window.
bool KeepsCaptionClicks(Control* control);

}  // namespace ui
