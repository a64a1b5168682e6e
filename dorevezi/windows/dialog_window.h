#pragma once

// What the launcher's dialogs share: they are made over an owner window, which they disable
// while open and give back (enabled and focused) when their close starts, and their texts are
// language keys or literals. UI thread only.

#include <windows.h>

#include <string>

namespace ui {
class Control;
class Window;
}  // namespace ui

// Caption, system menu, sizing frame and minimise box; the window base strips the caption.
constexpr DWORD kDialogWindowStyle = 0x00CE0000;

// A label's text: a key (looked up when shown, a literal text kept) or a literal. Nothing for
// a control that is no label.
void SetLabelText(ui::Control* control, const std::wstring& text, bool isKey);

// The created dialog disables its owner, is centred over it and shown activated.
void ShowOverOwner(ui::Window& dialog);

// The owner of the dialog's window is enabled again and takes the focus.
void GiveBackOwner(HWND dialog);
