#pragma once

// The two base classes of every element of a window's control tree.
//
// PlaceHolder knows its window, its parent box, its declared size and limits, its alignment
// and its bounds, and asks for layout and repaint. Control adds what every drawable,
// interactive element has: state, colours and images per state, borders, margin, alpha,
// tooltip, data id, user object, event handlers, effects and a retained paint surface.
//
// Everything here runs on the UI thread. A control without a window (not yet added to a
// tree) keeps its values but raises no events, takes no focus and invalidates nothing.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "base/weak_callback.h"
#include "ui/core/control_animator.h"
#include "ui/core/events.h"
#include "ui/core/geometry.h"
#include "ui/resources/image.h"
#include "ui/resources/state_images.h"

namespace ui {

class Box;
class Control;
class IRenderContext;
class Window;

// Handlers by event type, each list in the order of addition.
using EventHandlerMap = std::map<EventType, EventHandlerList>;

enum CursorType : int32_t {
  kCursorArrow = 0,
  kCursorHand = 1,
  kCursorIBeam = 2,
};

// Flags of LocateControl.
using FindFlags = uint32_t;
constexpr FindFlags kFindVisibleOnly = 0x1;
constexpr FindFlags kFindEnabledOnly = 0x2;
constexpr FindFlags kFindHitTest = 0x4;  // data is a Point*
constexpr FindFlags kFindLastChildFirst = 0x8;
constexpr FindFlags kFindSelfFirst = 0x80000000u;

// The predicate of LocateControl: a non-null result ends the search.
using FindCallback = Control* (*)(Control* candidate, void* data);

// The candidate when its name is not empty and equals the wide C string `data` ignoring case.
Control* MatchControlName(Control* candidate, void* data);

// Runs the handlers in order until one returns false (false) or the control whose flag
// `alive` is dies in one of them (false: nothing of the list is touched after that).
bool RunEventHandlers(const EventHandlerList& handlers, EventArgs* args, const std::weak_ptr<base::WeakFlag>& alive);

// The flag that the images of a control hang on while they are in use.
class ImageUseFlag : public base::WeakCallbackFlag {
 public:
  // True while callbacks made from the flag are live (it was not invalidated since).
  bool IsHeld() const { return weak_flag_.use_count() > 0; }
};

// Any object a program attaches to a control; the control deletes it.
class UserObject {
 public:
  virtual ~UserObject() = default;
};

class PlaceHolder : public virtual base::SupportWeakCallback {
 public:
  PlaceHolder();
  ~PlaceHolder() override;
  PlaceHolder(const PlaceHolder&) = delete;
  PlaceHolder& operator=(const PlaceHolder&) = delete;

  virtual Window* GetOwnerWindow() const { return window_; }
  // Sets the window only.
  virtual void SetOwnerWindow(Window* window) { window_ = window; }
  // Stores window and parent; with initialize and a parent, runs Initialize.
  virtual void AttachTo(Window* window, Box* parent, bool initialize);
  virtual void Initialize() { OnInitialize(); }
  virtual void OnInitialize() {}
  // Own visibility and the parent's together.
  virtual bool IsVisible() const { return visible_ && visibleByParent_; }
  // The desired size: the declared size.
  virtual Size Measure(Size available);
  // The bounds; without the shadow they are relative to the content inside the shadow.
  virtual Rect GetBounds(bool includeShadow = true) const;
  virtual void SetBounds(const Rect& bounds) { bounds_ = bounds; }
  // An auto-sized element asks its ancestors, any other arranges itself.
  virtual void RequestLayout();
  // Re-measures this element and its auto-sized ancestors; the first ancestor of fixed size
  // (or the root) arranges.
  virtual void RequestAncestorLayout();
  // Repaints the bounds on the window.
  virtual void Invalidate();
  // Marks this element for measuring and arranging and flags the window's arrange pass.
  virtual void RequestOwnLayout();

  // Declared size: below -2 ignored, a positive value DPI-scaled when asked.
  void SetDeclaredWidth(int32_t width, bool relayout, bool scaleDpi);
  void SetDeclaredHeight(int32_t height, bool scaleDpi);
  // The offset of the nearest scrolling ancestor; (0, 0) while no box scrolls.
  Point GetAncestorScrollOffset() const;

  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }
  Box* GetParent() const { return parent_; }
  int32_t GetFixedWidth() const { return fixedWidth_; }
  int32_t GetFixedHeight() const { return fixedHeight_; }
  int32_t GetMinWidth() const { return minWidth_; }
  int32_t GetMinHeight() const { return minHeight_; }
  int32_t GetMaxWidth() const { return maxWidth_; }
  int32_t GetMaxHeight() const { return maxHeight_; }
  int32_t GetHorizontalAlignment() const { return horizontalAlignment_; }
  int32_t GetVerticalAlignment() const { return verticalAlignment_; }
  bool IsFloat() const { return float_; }
  bool IsMeasurePending() const { return measurePending_; }
  void SetMeasurePending(bool pending) { measurePending_ = pending; }
  bool IsOwnVisible() const { return visible_; }
  bool IsVisibleByParent() const { return visibleByParent_; }
  bool IsArrangePending() const { return arrangePending_; }
  void SetArrangePending(bool pending) { arrangePending_ = pending; }
  bool IsCached() const { return cache_; }
  bool IsCacheRepaintPending() const { return cacheRepaintPending_; }
  void SetCacheRepaintPending(bool pending) { cacheRepaintPending_ = pending; }
  bool IsAutoSized() const { return fixedWidth_ == kSizeAuto || fixedHeight_ == kSizeAuto; }

 protected:
  // Invalidates rect (window coordinates) on the window's native handle, when there is one.
  void InvalidateWindowRect(const Rect& rect) const;

  std::wstring name_;
  Window* window_ = nullptr;
  Box* parent_ = nullptr;
  int32_t fixedWidth_ = kSizeStretch;
  int32_t fixedHeight_ = kSizeStretch;
  int32_t minWidth_ = -1;
  int32_t minHeight_ = -1;
  int32_t maxWidth_ = kSizeMaxDefault;
  int32_t maxHeight_ = kSizeMaxDefault;
  Rect bounds_;
  int32_t horizontalAlignment_ = 0;  // 0 left, 1 centre, 2 right
  int32_t verticalAlignment_ = 0;    // 0 top, 1 centre, 2 bottom
  bool float_ = false;
  bool measurePending_ = true;
  bool visible_ = true;
  bool visibleByParent_ = true;
  bool arrangePending_ = true;
  bool cache_ = false;
  bool cacheRepaintPending_ = false;
  std::unique_ptr<IRenderContext> renderCache_;
};

class Control : public PlaceHolder {
 public:
  Control();
  ~Control() override;

  Size Measure(Size available) override;
  Rect GetBounds(bool includeShadow = true) const override { return PlaceHolder::GetBounds(includeShadow); }
  // Normalises, stores, raises kEventResized once (not again from its own handlers) and
  // repaints old and new area.
  void SetBounds(const Rect& bounds) override;

  // The image that sizes an auto-sized control: the background image naming a file, else the
  // first background-kind state image naming one; null when none.
  virtual ControlImage* GetSizingImage();
  virtual CursorType GetCursorType() const { return cursorType_; }
  // The text, or the language text of the text id when the text is empty.
  virtual std::wstring GetToolTipText() const;
  virtual std::string GetToolTipTextUtf8() const;
  // "<n>" becomes CR LF.
  virtual void SetToolTipText(const std::wstring& text);
  virtual void SetToolTipTextUtf8(const std::string& text);
  virtual void SetToolTipTextId(const std::wstring& id);
  virtual void SetToolTipTextIdUtf8(const std::string& id);
  // DPI-scaled when stored.
  virtual void SetToolTipMaxWidth(int32_t width);
  virtual int32_t GetToolTipMaxWidth() const { return toolTipMaxWidth_; }
  virtual bool IsMenuEnabled() const { return menuEnabled_; }
  virtual void SetMenuEnabled(bool enabled) { menuEnabled_ = enabled; }
  virtual std::wstring GetDataId() const { return dataId_; }
  virtual std::string GetDataIdUtf8() const;
  virtual void SetDataId(const std::wstring& id) { dataId_ = id; }
  virtual void SetDataIdUtf8(const std::string& id);
  virtual UserObject* GetUserObject() const { return userObject_.get(); }
  // Deletes the object held before; the object already held changes nothing.
  virtual void SetUserObject(UserObject* object);
  // Plays the show or hide effects; without effects shows or hides at once.
  virtual void SetFadeVisible(bool visible);
  virtual void SetVisibleByParent(bool visible);
  virtual void SetVisible(bool visible);
  virtual bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  virtual bool IsMouseEnabled() const { return mouseEnabled_; }
  virtual void SetMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
  virtual bool IsKeyboardEnabled() const { return keyboardEnabled_; }
  virtual void SetKeyboardEnabled(bool enabled) { keyboardEnabled_ = enabled; }
  virtual bool IsFocused() const { return focused_; }
  virtual void RequestFocus();
  virtual bool IsTabStop() const { return true; }
  virtual bool IsMouseDown() const { return mouseDown_; }
  virtual void SetMouseDown(bool down) { mouseDown_ = down; }
  virtual bool AcceptsAction() const { return IsVisible() && IsEnabled(); }
  // True for the elements a list selects among; boxes skip every other child when they look
  // for a selectable index.
  virtual bool IsSelectableElement() const { return false; }
  // The activation (click, toggle, select) of the derived controls.
  virtual void PerformAction() {}
  virtual void EndAction() {}
  // A plain control tests only itself; boxes search their children too.
  virtual Control* LocateControl(FindCallback callback, void* data, FindFlags flags, Point scrollOffset = Point());
  virtual Rect GetMargin() const { return margin_; }
  virtual void SetMargin(const Rect& margin, bool scaleDpi);
  // The size of the control's text; controls that show text measure it.
  virtual Size MeasureText(Size available, bool* measurePending);
  virtual bool ContainsPoint(Point point) const;
  // Handlers, then the default processing.
  virtual void DispatchEvent(EventArgs* args);
  // A hot state colour or any hot state image.
  virtual bool HasHotLook();
  virtual void ApplyAttribute(const std::wstring& name, const std::wstring& value);
  // Clip, own layers, children (the direct path).
  virtual void Paint(IRenderContext* context, const Rect& dirty);
  virtual void PaintSelf(IRenderContext* context, const Rect& dirty);
  virtual void PaintChildren(IRenderContext* /*context*/, const Rect& /*dirty*/) {}
  virtual void ReacquireImages();
  virtual void ReleaseImages();
  // Every state image and the background image give their bitmaps back.
  virtual void DropImageCaches();
  // The default processing.
  virtual void ProcessEvent(EventArgs* args);
  virtual bool OnMouseEnter(EventArgs* args);
  virtual bool OnMouseLeave(EventArgs* args);
  virtual bool OnButtonDown(EventArgs* args);
  virtual bool OnButtonUp(EventArgs* args);
  // The layers, painted in this order into the paint rect.
  virtual void PaintBkColor(IRenderContext* context);
  virtual void PaintBkImage(IRenderContext* context);
  virtual void PaintStateColor(IRenderContext* context);
  virtual void PaintStateImages(IRenderContext* context);
  virtual void PaintText(IRenderContext* /*context*/) {}
  virtual void PaintBorder(IRenderContext* context);
  // The retained surface, made on first use; null when none can be made.
  IRenderContext* GetRenderCache();

  // Properties.
  void SetStateColor(ControlState state, const std::wstring& colorName);
  std::wstring GetStateColor(ControlState state) const { return stateColors_.GetColor(state); }
  // Hides the control unless one of the space-separated names is the process's channel.
  void SetChannelFilter(const std::wstring& channels);
  const std::wstring& GetChannelFilter() const { return channels_; }
  void SetBorderRound(Size round);
  Size GetBorderRound() const { return borderRound_; }
  // Value setters of the effect players.
  void SetAlpha(int32_t alpha);
  int32_t GetAlpha() const { return alpha_; }
  void SetHoverBlend(int32_t blend);
  int32_t GetHoverBlend() const { return hoverBlend_; }
  void SetRenderOffsetX(int32_t x);
  void SetRenderOffsetY(int32_t y);
  Point GetRenderOffset() const { return renderOffset_; }
  ControlState GetState() const { return state_; }
  // For owners that reset an element's look (a combo resets the item it closed on).
  void SetState(ControlState state) { state_ = state; }
  Size GetMeasuredSize() const { return measuredSize_; }
  int32_t GetBorderSize() const { return borderSize_; }
  Rect GetSideBorders() const { return sideBorders_; }
  const std::wstring& GetBkColor() const { return bkColor_; }
  const std::wstring& GetBorderColor() const { return borderColor_; }
  const std::wstring& GetToolTipTextRaw() const { return toolTipText_; }
  const std::wstring& GetToolTipTextId() const { return toolTipTextId_; }
  bool HasNoFocus() const { return noFocus_; }
  bool IsClipEnabled() const { return clip_; }
  bool ReceivesPointer() const { return receivePointer_; }
  // The window ends this control's press when it loses the focus or the mouse capture (a
  // dragged scroll bar thumb, a held arrow).
  bool ReleasesOnFocusLoss() const { return releaseOnFocusLoss_; }
  void SetReleaseOnFocusLoss(bool release) { releaseOnFocusLoss_ = release; }
  bool IsBkImageLanguageVariant() const { return bkImageLanguageVariant_; }
  bool IsBkAnimationAllowed() const { return bkAnimationAllowed_; }
  ControlImage& GetBkImage() { return bkImage_; }
  ImageKindTable& GetStateImages() { return stateImages_; }
  StateColorSet& GetStateColors() { return stateColors_; }
  ControlAnimator& GetAnimator() { return animator_; }

  // Images.
  void SetBkImage(const std::wstring& descriptor);
  // Finds and loads the image's bitmap when it has none.
  void ResolveImage(ControlImage& image);
  // The path of a relative image file below the resource root and the window's sub-folder.
  std::wstring ImagePath(const std::wstring& file) const;
  // Draws one image into the bounds (dest relative to them) through the paint rect; the
  // modifier is parsed onto a copy of the descriptor; fade -1 takes the descriptor's. False
  // when nothing was drawn.
  bool DrawImage(IRenderContext* context, ControlImage& image, const std::wstring& modifier = std::wstring(),
                 int fade = -1);
  // One step of the animated background: starts it, or moves to the next frame.
  void AdvanceAnimatedImage();
  // Stops the animated background on a frame: 65535 the last, -1 the current one.
  void StopAnimatedImageAt(int frame);
  // Stops it on its last frame for good and calls the image handlers under key 1.
  void FinishAnimatedImage();
  const Rect& GetPaintRect() const { return paintRect_; }

  // Events.
  void AddEventHandler(EventType type, EventHandler handler);
  void AddMarkupEventHandler(EventType type, EventHandler handler);
  void AddImageEventHandler(int key, EventHandler handler);
  // Builds the record (no point: the window's last mouse point) and dispatches it.
  void RaiseEvent(EventType type, uint64_t wParam = 0, uint64_t lParam = 0, wchar_t keyChar = 0,
                  Point point = Point(), float pressure = 0.0f);
  // The body of a markup event handler: applies attributes to the receiver; always true.
  bool OnMarkupEvent(const std::wstring& receiver, const std::wstring& attributes, EventArgs* args);

  // Markup.
  void ApplyClasses(const std::wstring& classList);
  void ApplyAttributeString(const std::wstring& list);

 protected:
  // Hiding the focused control clears the window's focus; an animated background stops.
  void OnHidden();
  void StopBkAnimation();
  // Raises an event this control makes itself: last mouse point, tick count, rest 0.
  void RaiseOwnEvent(EventType type, uint64_t wParam = 0, uint64_t lParam = 0);
  // Runs the handlers of type and of kEventAll in map; the later list's result wins.
  static bool RunHandlerMap(const EventHandlerMap& map, EventType type, EventArgs* args,
                            const std::weak_ptr<base::WeakFlag>& alive);
  // True when the window's hover control is this control or one of its descendants.
  bool HoverIsInside() const;

  EventHandlerMap markupHandlers_;
  EventHandlerMap codeHandlers_;
  std::map<int, EventHandlerList> imageEventHandlers_;
  std::unique_ptr<UserObject> userObject_;
  bool menuEnabled_ = false;
  bool enabled_ = true;
  bool mouseEnabled_ = true;
  bool keyboardEnabled_ = true;
  bool focused_ = false;
  bool mouseDown_ = false;
  bool resizeEventRunning_ = false;
  bool noFocus_ = false;
  bool clip_ = true;
  bool bkAnimationAllowed_ = true;
  bool receivePointer_ = true;
  bool releaseOnFocusLoss_ = false;
  bool bkImageLanguageVariant_ = false;
  int32_t borderSize_ = 0;
  int32_t toolTipMaxWidth_ = 300;
  int32_t alpha_ = 255;
  int32_t hoverBlend_ = 0;
  Size measuredSize_;
  Point renderOffset_;
  Size borderRound_;
  Rect margin_;
  Rect paintRect_;
  Rect sideBorders_;
  CursorType cursorType_ = kCursorArrow;
  ControlState state_ = kStateNormal;
  std::wstring toolTipText_;
  std::wstring toolTipTextId_;
  std::wstring dataId_;
  std::wstring bkColor_;
  StateColorSet stateColors_;
  ControlImage bkImage_;
  ImageKindTable stateImages_;
  std::wstring borderColor_;
  base::WeakCallbackFlag animationTimerFlag_;
  ControlAnimator animator_;
  ImageUseFlag imageFlag_;
  std::wstring channels_ = L"AppStore";

 private:
  // Class names being applied right now, so a class naming itself ends.
  std::set<std::wstring> applyingClasses_;
};

// What a list element knows of the list that owns it: the selection goes through the list,
// and the element passes on the events it does not take itself.
class IListOwner {
 public:
  virtual ~IListOwner() = default;
  // -1 when nothing is selected.
  virtual int SelectedIndex() const = 0;
  // Clears the selection first; false (and no selection) when index names no visible,
  // enabled list element.
  virtual bool SelectItemAt(int index, bool takeFocus, bool sendEvent) = 0;
  // The list's box dispatch.
  virtual void ForwardElementEvent(EventArgs* args) = 0;
  // Scrolls just enough to show rect (content coordinates), outward through nested lists.
  virtual void EnsureRectVisible(const Rect& rect) = 0;
  virtual void StopScrollAnimation() = 0;
};

// The time an animated image shows a frame whose delay is given in 1/100 s.
UINT AnimationStepMs(uint32_t delay);

// The language text of key, empty when the language table has none.
std::wstring LookUpLanguageText(const std::wstring& key);

}  // namespace ui
