#pragma once

// The launcher's question and notice window: a title, a content and a detail text and up to
// two buttons, shown over an owner window that it disables while open. "btn_yes" answers 1;
// "btn_no", "btn_close", Esc and the system close answer 0. The answer reaches the callback
// in a later UI-thread task, after the close has started; a box answers at most once. UI
// thread only; the object owns itself once created and dies with its native window.

#include <windows.h>

#include <functional>
#include <string>

#include "dorevezi/windows/dialog_answer.h"
#include "ui/controls/button.h"
#include "ui/core/window_impl_base.h"

class MsgBox : public ui::WindowImplBase {
 public:
  MsgBox() = default;

  std::wstring RegisteredClassName() const override { return L"MsgBox"; }
  // Starts the close once: the core's open flag cleared, the main window told to refresh its
  // texts, the owner enabled and focused, then the fade-out.
  void RequestClose(UINT result) override;
  void OnSkinLoaded() override;
  LRESULT HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT HandleKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  std::wstring SkinSubfolder() const override { return L"msgbox"; }
  std::wstring SkinXmlFileName() const override { return L"skin.xml"; }
  // Answers the control query besides the base's messages.
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The texts, each a language key or a literal; set before ShowModal.
  void SetTitle(const std::wstring& text, bool isKey);
  void SetContent(const std::wstring& text, bool isKey);
  void SetDetail(const std::wstring& text, bool isKey);
  // Both button texts as literals, or both as language keys; an empty one hides its button.
  void SetButtonTexts(const std::wstring& noText, const std::wstring& yesText);
  void SetButtonTextIds(const std::wstring& noId, const std::wstring& yesId);

  // Creates the box over owner, disables the owner, centres and shows the box; with
  // swapButtonLooks the two buttons exchange their looks. False when the window could not be
  // made: nothing is shown, onResult is dropped uncalled and the object is gone.
  bool ShowModal(ui::Window* owner, std::function<void(int)> onResult, bool swapButtonLooks);
  void Confirm() { Answer(1); }
  void Cancel() { Answer(0); }
  // The root's bubbled click handler. Always true.
  bool OnClick(ui::EventArgs* args);

 private:
  ~MsgBox() override = default;

  void Answer(int value);
  void SwapButtonLooks();

  bool titleIsKey_ = false;
  std::wstring title_;
  bool contentIsKey_ = false;
  std::wstring content_;
  bool detailIsKey_ = false;
  std::wstring detail_;
  bool buttonTextsAreKeys_ = false;
  std::wstring noText_;
  std::wstring yesText_;
  ui::ButtonTemplate<ui::Control>* noButton_ = nullptr;
  ui::ButtonTemplate<ui::Control>* yesButton_ = nullptr;
  DialogAnswer answer_;
};
