#include "dorevezi/windows/dialog_presenter.h"

#include <utility>

#include "dorevezi/windows/msg_box.h"
#include "dorevezi/windows/options_box.h"
#include "ui/resources/ui_runtime.h"

void WindowDialogPresenter::ShowMessageBox(HWND owner, MessageBoxRequest request) {
  ui::Window* window = ui::UiRuntime::FindWindowByHandle(owner);
  if (!window) return;
  MsgBox* box = new MsgBox();
  // A key wins over the literal text.
  auto fill = [](const DialogText& text, auto set) {
    if (!text.key.empty()) {
      set(text.key, true);
    } else {
      set(text.literal, false);
    }
  };
  fill(request.title, [box](const std::wstring& text, bool isKey) { box->SetTitle(text, isKey); });
  fill(request.content, [box](const std::wstring& text, bool isKey) { box->SetContent(text, isKey); });
  fill(request.detail, [box](const std::wstring& text, bool isKey) { box->SetDetail(text, isKey); });
  if (!request.noKey.empty() || !request.yesKey.empty()) {
    box->SetButtonTextIds(request.noKey, request.yesKey);
  } else {
    box->SetButtonTexts(request.noText, request.yesText);
  }
  box->ShowModal(window, std::move(request.onResult), request.swapButtonLooks);
}

void WindowDialogPresenter::ShowOptionsBox(HWND owner, OptionsBoxRequest request) {
  ui::Window* window = ui::UiRuntime::FindWindowByHandle(owner);
  if (!window) return;
  OptionsBox* box = new OptionsBox();
  box->SetContent(request.contentKey, true);
  box->SetGroupName(request.groupName);
  box->SetOptions(request.optionKeys, true);
  box->SetSelectedIndex(request.selectedIndex);
  box->SetButtonText(request.buttonKey, true);
  box->ShowModal(window, std::move(request.onResult));
}
