// WM_PAINT of a window: auto size, the arrange pass, the first layout, the tree painted into
// the off-screen surface, the body's alpha repaired and the surface put on the screen.
#include <algorithm>

#include "ui/core/box.h"
#include "ui/core/window.h"
#include "ui/render/render_context.h"

namespace ui {

namespace {

constexpr int kAutoSizeLimit = 99999;

Rect FromRect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

Rect Clip(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

Rect ContentOf(Control* root) {
  if (Box* box = dynamic_cast<Box*>(root)) return box->GetContentRect();
  return root->GetBounds(true);
}

int Limited(int value, int minimum, int maximum) {
  value = std::max(value, minimum);
  return maximum >= 0 ? std::min(value, maximum) : value;
}

}  // namespace

void Window::RepairAlpha(const Rect& update, const RECT& windowRect) {
  if (shadow_.attached) {
    Rect corners;
    if (Box* box = dynamic_cast<Box*>(root_)) corners = box->GetLayout()->GetPadding();
    corners = Rect{corners.left + 1, corners.top + 1, corners.right + 1, corners.bottom + 1};
    renderContext_->RestoreAlphaExceptCorners(Clip(update, ContentOf(root_)), corners, 0);
  } else if (alphaFixRect_.left > 0 || alphaFixRect_.top > 0 || alphaFixRect_.right > 0 || alphaFixRect_.bottom > 0) {
    Rect body = ContentOf(root_);
    body = Rect{body.left + alphaFixRect_.left, body.top + alphaFixRect_.top, body.right - alphaFixRect_.right,
                body.bottom - alphaFixRect_.bottom};
    renderContext_->RestoreAlphaExceptCorners(Clip(update, body), Rect{}, 0);
  } else if (previousInitialSize_.cx > 0 && previousInitialSize_.cy > 0) {
    const int hw = (windowRect.right - windowRect.left) / 2, hh = (windowRect.bottom - windowRect.top) / 2;
    const int px = previousInitialSize_.cx / 2, py = previousInitialSize_.cy / 2;
    renderContext_->RestoreAlphaExceptCorners(
        Rect{hw - px + edging_.left, hh - py + edging_.top, hw + px - edging_.right, hh + py - edging_.bottom}, Rect{},
        0);
  }
}

void Window::PaintWindow() {
  if (!hwnd_) return;
  if (IsIconic(hwnd_) || !root_) {
    PAINTSTRUCT paint = {};
    BeginPaint(hwnd_, &paint);
    EndPaint(hwnd_, &paint);
    return;
  }

  if (arrangePending_ && root_->IsArrangePending() &&
      (root_->GetFixedWidth() == kSizeAuto || root_->GetFixedHeight() == kSizeAuto)) {
    const Size measured = root_->Measure(Size{kAutoSizeLimit, kAutoSizeLimit});
    const int width = Limited(measured.cx, root_->GetMinWidth(), root_->GetMaxWidth());
    const int height = Limited(measured.cy, root_->GetMinHeight(), root_->GetMaxHeight());
    RECT now;
    GetWindowRect(hwnd_, &now);
    MoveWindow(hwnd_, now.left, now.top, width, height, TRUE);
  }

  RECT updateRect = {};
  if (!GetUpdateRect(hwnd_, &updateRect, FALSE) && !firstLayoutPending_) return;
  Rect update = FromRect(updateRect);
  RECT clientRect, windowRect;
  GetClientRect(hwnd_, &clientRect);
  GetWindowRect(hwnd_, &windowRect);
  const Rect client = FromRect(clientRect);

  if (layered_) {
    // The system cuts the update region at the screen's edges: the part beyond is repainted
    // too, or a window moved back on screen would show a stale stripe.
    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int vcx = GetSystemMetrics(SM_CXVIRTUALSCREEN), vcy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (windowRect.left < vx && update.left + windowRect.left == vx) update.left = client.left;
    if (windowRect.top < vy && update.top + windowRect.top == vy) update.top = client.top;
    if (windowRect.right > vx + vcx && update.right + windowRect.left == vx + vcx) update.right = client.right;
    if (windowRect.bottom > vy + vcy && update.bottom + windowRect.top == vy + vcy) update.bottom = client.bottom;
  }

  PAINTSTRUCT paint = {};
  BeginPaint(hwnd_, &paint);

  if (arrangePending_) {
    arrangePending_ = false;
    if (client.right > client.left && client.bottom > client.top) {
      if (root_->IsArrangePending()) {
        root_->SetBounds(client);
      } else {
        while (Control* pending =
                   root_->LocateControl(&Window::ArrangePendingCallback, nullptr, kFindSelfFirst | kFindVisibleOnly)) {
          pending->SetBounds(pending->GetBounds(true));
          // SetBounds clears the flag; a control that kept it would be found for ever.
          pending->SetArrangePending(false);
        }
      }
      if (firstLayoutPending_) {
        firstLayoutPending_ = false;
        OnFirstLayout();
      }
    }
  }

  const int width = client.right - client.left, height = client.bottom - client.top;
  if (!renderContext_ || width <= 0 || height <= 0 || !root_) {
    EndPaint(hwnd_, &paint);
    return;
  }
  if (renderContext_->ResizeSurface(width, height, true)) {
    renderContext_->SetTransparentRendering(!shadow_.attached);
    update = Rect{0, 0, width, height};
  }
  if (layered_) renderContext_->FillRectBytes(update, 0);
  {
    AutoClip clip(renderContext_.get(), update);
    // The root's own alpha drives the window's fade, not its painting.
    root_->PaintSelf(renderContext_.get(), update);
    root_->PaintChildren(renderContext_.get(), update);
    if (layered_) RepairAlpha(update, windowRect);
  }
  if (layered_) {
    POINT destination{windowRect.left, windowRect.top};
    SIZE size{width, height};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(windowAlpha_), AC_SRC_ALPHA};
    UpdateLayeredWindow(hwnd_, nullptr, &destination, &size, renderContext_->DrawingDC(), &source, 0, &blend,
                        ULW_ALPHA);
  } else {
    BitBlt(paint.hdc, update.left, update.top, update.right - update.left, update.bottom - update.top,
           renderContext_->DrawingDC(), update.left, update.top, SRCCOPY);
  }
  EndPaint(hwnd_, &paint);
}

}  // namespace ui
