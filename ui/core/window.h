#pragma once

// A window of the framework: the native window it wraps and the control tree it owns, with
// the state its controls share (focus, hover, capture, key-down target, the table of control
// names, option groups, the window's own markup classes, deferred deletions, the shadow
// settings). This file holds the registry half, which needs no native window; creating,
// routing messages into control events and painting join it with the native window class.
// UI thread only.

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/weak_callback.h"
#include "ui/core/control.h"
#include "ui/core/events.h"
#include "ui/core/geometry.h"
#include "ui/core/ui_messages.h"

namespace ui {

class Box;
class IRenderContext;
class ShadowBox;

// Called before the window turns a message into control events.
// The window property through which a superclassed window finds its object.
constexpr wchar_t kWindowProperty[] = L"WndX";

class IUIMessageFilter {
 public:
  virtual ~IUIMessageFilter() = default;
  virtual LRESULT FilterMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

// The shadow drawn around a window's root.
struct WindowShadow {
  WindowShadow();

  bool attached = true;
  bool roundCorner = true;  // cleared when the skin names its own shadow image
  std::wstring image = L"file='../public/bk_shadow.png' corner='30,30,30,30'";
  Rect padding;             // DPI-scaled; 0 while maximized
  Rect basePadding;         // unscaled
  Rect savedPadding;        // the padding restored after a maximize
  ShadowBox* box = nullptr;  // the box that wraps the root, once made

  // Wraps root in a new shadow box (which becomes `box`) while the shadow is attached;
  // otherwise returns root as it is.
  Control* WrapRoot(Control* root);
};

class Window : public virtual base::SupportWeakCallback {
 public:
  Window();
  // Deletes the deferred and the root controls, empties the tables, gives the tooltip window
  // and the paint DC back and leaves the window list, telling the window then last in the
  // list that it is on top.
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // The class the native window is registered under; empty in the base.
  virtual std::wstring RegisteredClassName() const { return std::wstring(); }
  // A class to superclass; empty: register an own class.
  virtual std::wstring ClassToSuperclass() const { return std::wstring(); }
  virtual UINT RegisteredClassStyle() const { return 0; }
  // Registers the class (once per name; superclassing when asked), creates the native window
  // (layered when asked) with this object as its creation parameter and clears the caption
  // bits of its style. Null when the class or the window cannot be made.
  virtual HWND CreateNativeWindow(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, bool layered,
                                  const Rect& rect);
  // Fades the root out and posts WM_CLOSE(code) 300 ms later, unless the window died first.
  virtual void RequestClose(UINT code);
  virtual void ShowNativeWindow(bool show, bool takeFocus);
  // After WM_NCDESTROY: touch input unregistered, window-close handlers run.
  virtual void OnWindowDestroyed(HWND hwnd);
  // The body of the window procedure: control events first, then the previous procedure.
  virtual LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Once per root, after its first arrange: the window fades in.
  virtual void OnFirstLayout();

  // The procedures of an own class and of a superclass ("WndX" property).
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SuperclassWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // At WM_CREATE: paint DC, render context, touch registration, the window list, and
  // kMsgBecameTopWindow sent to the window.
  void AttachNativeWindow(HWND hwnd);
  // Centres the window on its owner (a minimized owner or none: on the work area; without an
  // owner clamped into the work area).
  void CenterOnOwner();
  // The value callback of the fade: window alpha, then a repaint.
  void ApplyWindowAlpha(int alpha);

  // Turns a message into control events. handled false: the previous procedure gets it.
  LRESULT DispatchToControls(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Mouse leave and enter for the control under point; false when it is another window's.
  bool UpdateHover(const Point& point, WPARAM wParam, LPARAM lParam);
  // WM_PAINT: auto size, arrange pass, first layout, the tree painted off screen and pushed.
  void PaintWindow();
  // FindCallback: the candidate whose arrange is pending.
  static Control* ArrangePendingCallback(Control* candidate, void* data);

  IRenderContext* GetRenderContext() const { return renderContext_.get(); }
  bool IsFirstLayoutPending() const { return firstLayoutPending_; }
  HWND GetToolTipWindow() const { return toolTipWindow_; }
  bool IsPointerInputEnabled() const { return pointerInput_; }
  void SetPointerInputEnabled(bool enabled) { pointerInput_ = enabled; }
  Control* GetTouchCapturedControl() const { return touchCaptured_; }
  Control* GetPointerCapturedControl() const { return pointerCaptured_; }

  // Makes root the window's tree: focus, hover and capture are cleared, an old root is kept
  // until kMsgDeleteDeferred, and every name of the new tree is registered. False for null.
  bool AttachRoot(Control* root);
  Control* GetRoot() const { return root_; }
  // Clears every reference of the window to the control and its name's entry (only an entry
  // naming the control itself while deferred deletions run).
  void ForgetControl(Control* control);
  // The control registered under exactly that name; null when absent.
  Control* FindControlByName(const std::wstring& name) const;
  // The top-most visible, mouse-enabled control under the point; null without a root.
  Control* FindControl(Point point) const;
  // Moves the focus, telling the old control (raw kill, kill) and the new one (raw set,
  // set); only a visible, enabled control of this window takes it.
  void SetFocusedControl(Control* control);
  Control* GetFocusedControl() const { return focused_; }
  // Focuses the next (or previous) tab stop, wrapping; forward while an arrange pass is
  // pending only repaints.
  bool MoveTabFocus(bool forward);
  // The control that got the last key-down and gets the next key-up.
  void SetKeyEventTarget(Control* control) { keyDown_ = control; }
  Control* GetKeyEventTarget() const { return keyDown_; }
  Control* GetHoveredControl() const { return hovered_; }
  void SetHoveredControl(Control* control) { hovered_ = control; }
  Control* GetCapturedControl() const { return captured_; }

  // FindCallbacks: the candidate whose name equals the wide C string data exactly; the
  // window's name registration; the candidate containing the Point data.
  static Control* NameMatchCallback(Control* candidate, void* data);
  static Control* RegisterNameCallback(Control* candidate, void* window);
  static Control* HitTestCallback(Control* candidate, void* point);

  // Radio groups: false when the control is already in the group; an emptied group goes.
  bool AddOptionToGroup(const std::wstring& group, Control* control);
  std::vector<Control*>* GetOptionGroup(const std::wstring& group);
  void RemoveOptionFromGroup(const std::wstring& group, Control* control);

  // The window's own markup classes, consulted after the global ones.
  void SetClassAttributes(const std::wstring& name, const std::wstring& attributes);
  std::wstring GetClassAttributes(const std::wstring& name) const;
  // The window's skin folder below the theme; a separator is appended unless present.
  void SetResourceSubfolder(const std::wstring& folder);
  const std::wstring& GetResourceSubfolder() const { return resourceSubfolder_; }

  // Removed controls are deleted after the current message: queued here, then deleted when
  // the window handles kMsgDeleteDeferred. Without a native window nothing is posted.
  void QueueDeferredDeletion(Control* control);
  // The handling of kMsgDeleteDeferred: deletes every queued control, in order.
  void DeleteDeferredControls();
  size_t DeferredDeletionCount() const { return deferredDeletions_.size(); }

  // Window-level handlers; FireWindowCloseEvent runs those of kEventWindowClose, then those
  // of kEventAll. Always true.
  void AddWindowHandler(EventType type, EventHandler handler);
  bool FireWindowCloseEvent();

  // The initial size, scaled when asked and grown by the shadow padding; the window is
  // resized at once only while it has a native window and no root.
  void SetInitialSize(int cx, int cy, bool ignored, bool scaleDpi);
  Size GetInitialSize() const { return initialSize_; }
  Size GetPreviousInitialSize() const { return previousInitialSize_; }

  HWND GetHwnd() const { return hwnd_; }
  HDC GetPaintDC() const { return paintDC_; }
  bool IsLayered() const { return layered_; }
  // While set, a rectangle inside it is not invalidated again: the whole cover has been
  // invalidated already (a list re-placing its elements after invalidating its view).
  void SetInvalidatedCover(const Rect& cover) { invalidatedCover_ = cover; }
  Rect GetInvalidatedCover() const { return invalidatedCover_; }
  bool IsInsideInvalidatedCover(const Rect& rect) const {
    const Rect& c = invalidatedCover_;
    return c.right > c.left && c.bottom > c.top && rect.left >= c.left && rect.top >= c.top &&
           rect.right <= c.right && rect.bottom <= c.bottom;
  }
  void SetLayered(bool layered) { layered_ = layered; }
  Point GetLastMousePoint() const { return lastMousePoint_; }
  void SetLastMousePoint(Point point) { lastMousePoint_ = point; }
  bool IsMouseCaptured() const { return mouseCaptured_; }
  void SetMouseCaptured(bool captured) { mouseCaptured_ = captured; }
  bool IsArrangePending() const { return arrangePending_; }
  void SetArrangePending(bool pending) { arrangePending_ = pending; }
  WindowShadow& GetShadow() { return shadow_; }
  const WindowShadow& GetShadow() const { return shadow_; }
  int GetWindowAlpha() const { return windowAlpha_; }

  // Markup-set fields.
  void SetMinSize(Size size) { minSize_ = size; }
  Size GetMinSize() const { return minSize_; }
  void SetMaxSize(Size size) { maxSize_ = size; }
  Size GetMaxSize() const { return maxSize_; }
  void SetEdging(const Rect& rect) { edging_ = rect; }
  Rect GetEdging() const { return edging_; }
  Rect GetMaximizeRect() const { return maximizeRect_; }
  void SetSizeBox(const Rect& rect) { sizeBox_ = rect; }
  Rect GetSizeBox() const { return sizeBox_; }
  void SetAlphaFixRect(const Rect& rect) { alphaFixRect_ = rect; }
  Rect GetAlphaFixRect() const { return alphaFixRect_; }
  void SetRoundCorner(Size size) { roundCorner_ = size; }
  Size GetRoundCorner() const { return roundCorner_; }
  void SetCaption(const Rect& rect) { caption_ = rect; }
  Rect GetCaption() const { return caption_; }
  void SetHeightPercent(double percent) { heightPercent_ = percent; }
  double GetHeightPercent() const { return heightPercent_; }

  void AddMessageFilter(IUIMessageFilter* filter) { messageFilters_.push_back(filter); }
  void RemoveMessageFilter(IUIMessageFilter* filter);

 protected:
  // Walks to find the next tab stop.
  struct TabStopSearch {
    Control* start = nullptr;
    Control* last = nullptr;
    bool forward = true;
    bool passed = false;
  };
  static Control* TabStopCallback(Control* candidate, void* search);
  // Parts of DispatchToControls.
  void ArmMouseTracking();
  LRESULT ShowToolTip(LPARAM lParam, bool& handled);
  void HandleMouseDown(UINT message, WPARAM wParam, LPARAM lParam);
  void HandleTouch(WPARAM wParam, LPARAM lParam);
  // True when the record was translated (the input handle is then closed).
  bool TranslateTouch(const TOUCHINPUT& record, HTOUCHINPUT input);
  LRESULT HandlePointer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  // Focus or capture lost: a press on a control that asked for it ends with a button-up
  // (releasing the capture when the window still holds it).
  void EndPressOnLoss(bool releaseCapture, WPARAM wParam, LPARAM lParam);
  void ApplyShadowOnResize(WPARAM sizeKind);
  void RepairAlpha(const Rect& update, const RECT& windowRect);
  // Posts a message to the native window; nothing without one.
  void PostToWindow(UINT message, WPARAM wParam, LPARAM lParam) const;

  // Fields in the order of the window's state.
  HWND hwnd_ = nullptr;
  WNDPROC previousProc_ = DefWindowProcW;
  Control* root_ = nullptr;  // owned
  EventHandlerMap windowHandlers_;
  Size minSize_;
  Size maxSize_;
  Size initialSize_;
  Size previousInitialSize_;
  Rect edging_;
  Rect maximizeRect_;
  Rect sizeBox_;
  Rect alphaFixRect_;
  Rect invalidatedCover_;
  Size roundCorner_;
  Rect caption_;
  double heightPercent_ = 0;
  HDC paintDC_ = nullptr;
  std::unique_ptr<IRenderContext> renderContext_;
  bool layered_ = true;
  int windowAlpha_ = 255;
  bool firstLayoutPending_ = true;
  HWND toolTipWindow_ = nullptr;
  TOOLINFOW toolTip_ = {};
  std::wstring toolTipText_;  // the text the tool points at, kept while it shows
  Control* focused_ = nullptr;
  Control* hit_ = nullptr;
  Control* hovered_ = nullptr;
  Control* captured_ = nullptr;
  Control* keyDown_ = nullptr;
  Point lastMousePoint_{-1, -1};
  Control* touchCaptured_ = nullptr;
  Point lastTouchPoint_{-1, -1};
  Control* pointerCaptured_ = nullptr;
  bool pointerInput_ = true;
  bool arrangePending_ = false;
  bool mouseTracking_ = false;
  bool mouseCaptured_ = false;
  std::wstring resourceSubfolder_;
  std::map<std::wstring, std::wstring> classes_;
  std::map<std::wstring, std::vector<Control*>> optionGroups_;
  std::vector<IUIMessageFilter*> messageFilters_;
  std::vector<Control*> deferredDeletions_;
  std::map<std::wstring, Control*> names_;
  base::WeakCallbackFlag closeFlag_;
  WindowShadow shadow_;

 private:
  // Set while queued controls are deleted: they are out of the tree.
  bool deletingDeferred_ = false;
};

}  // namespace ui
