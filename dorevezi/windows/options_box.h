#pragma once

// A choice among radio options: a content text, one option per text in "option_vlist" and
// "btn_ok". "btn_ok" and the system close answer the index of the selected option; Esc and
// "btn_close" close without an answer. The answer reaches the callback in a later UI-thread
// task, after the close has started; a box answers at most once. UI thread only; the object
// owns itself once created and dies with its native window.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dorevezi/windows/dialog_answer.h"
#include "ui/core/window_impl_base.h"

class OptionsBox : public ui::WindowImplBase {
 public:
  OptionsBox() = default;

  std::wstring RegisteredClassName() const override { return L"OptionsBox"; }
  // Starts the close once, without an answer: the owner enabled and focused, then the fade-out.
  void RequestClose(UINT result) override;
  void OnSkinLoaded() override;
  LRESULT HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT HandleKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  std::wstring SkinSubfolder() const override { return L"optionsbox"; }
  std::wstring SkinXmlFileName() const override { return L"skin.xml"; }
  // Answers the control query besides the base's messages.
  LRESULT RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Set before ShowModal.
  void SetContent(const std::wstring& text, bool isKey);
  void SetGroupName(const std::wstring& name) { groupName_ = name; }
  void SetOptions(const std::vector<std::wstring>& texts, bool areKeys);
  void SetSelectedIndex(int32_t index) { selectedIndex_ = index; }
  void SetButtonText(const std::wstring& text, bool isKey);

  // Creates the box over owner; once it exists the callback is kept, the owner disabled and
  // the box centred and shown. False when the window could not be made: nothing is shown,
  // onResult is dropped uncalled and the object is gone.
  bool ShowModal(ui::Window* owner, std::function<void(int)> onResult);
  // Closes and answers the selected index.
  void Confirm();
  // The root's bubbled click handler, and each option's select handler. Always true.
  bool OnClick(ui::EventArgs* args);
  bool OnOptionSelected(ui::EventArgs* args);

 private:
  ~OptionsBox() override = default;

  bool contentIsKey_ = false;
  std::wstring content_;
  std::wstring groupName_;
  bool optionsAreKeys_ = false;
  std::vector<std::wstring> options_;
  int32_t selectedIndex_ = 0;
  bool buttonIsKey_ = false;
  std::wstring buttonText_;
  DialogAnswer answer_;
};
