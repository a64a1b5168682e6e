#include "dorevezi/windows/options_box.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "dorevezi/windows/control_query.h"
#include "dorevezi/windows/dialog_window.h"
#include "ui/controls/button.h"
#include "ui/core/box.h"

void OptionsBox::SetContent(const std::wstring& text, bool isKey) {
  content_ = text;
  contentIsKey_ = isKey;
}

void OptionsBox::SetOptions(const std::vector<std::wstring>& texts, bool areKeys) {
  options_ = texts;
  optionsAreKeys_ = areKeys;
}

void OptionsBox::SetButtonText(const std::wstring& text, bool isKey) {
  buttonText_ = text;
  buttonIsKey_ = isKey;
}

bool OptionsBox::ShowModal(ui::Window* owner, std::function<void(int)> onResult) {
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  if (!CreateNativeWindow(owner ? owner->GetHwnd() : nullptr, L"OptionsBox", kDialogWindowStyle, 0, true,
                          ui::Rect())) {
    // A window that got as far as its creation message took the object with it.
    if (!alive.expired()) delete this;
    return false;
  }
  answer_.SetCallback(std::move(onResult));
  ShowOverOwner(*this);
  return true;
}

void OptionsBox::OnSkinLoaded() {
  if (auto* root = dynamic_cast<ui::Box*>(GetRoot())) {
    root->AddBubbledEventHandler(ui::kEventClick,
                                 MakeWeakCallback([this](ui::EventArgs* args) { return OnClick(args); }));
  }
  SetLabelText(FindControlByName(L"content"), content_, contentIsKey_);
  if (auto* list = dynamic_cast<ui::VBox*>(FindControlByName(L"option_vlist"))) {
    for (size_t i = 0; i < options_.size(); ++i) {
      auto* option = new ui::OptionTemplate<ui::Control>();
      option->ApplyClasses(L"btn_radio");
      option->SetGroupName(groupName_);
      SetLabelText(option, options_[i], optionsAreKeys_);
      list->InsertChildAt(option, i);
      option->SetSelected(static_cast<int32_t>(i) == selectedIndex_, false);
      option->SetDataIdUtf8(std::to_string(i));
      option->AddEventHandler(
          ui::kEventSelect, MakeWeakCallback([this](ui::EventArgs* args) { return OnOptionSelected(args); }));
    }
  }
  if (auto* ok = dynamic_cast<ui::ButtonTemplate<ui::Control>*>(FindControlByName(L"btn_ok"))) {
    SetLabelText(ok, buttonText_, buttonIsKey_);
    ok->RequestFocus();
  }
}

bool OptionsBox::OnOptionSelected(ui::EventArgs* args) {
  if (args && args->sender) selectedIndex_ = std::atoi(args->sender->GetDataIdUtf8().c_str());
  return true;
}

bool OptionsBox::OnClick(ui::EventArgs* args) {
  const std::wstring name = args && args->sender ? args->sender->GetName() : std::wstring();
  if (name == L"btn_ok") {
    Confirm();
  } else if (name == L"btn_close") {
    RequestClose(0);
  }
  return true;
}

LRESULT OptionsBox::HandleKeyDown(UINT /*message*/, WPARAM wParam, LPARAM /*lParam*/, bool& handled) {
  if (wParam != VK_ESCAPE) return NotHandled(handled);
  RequestClose(0);
  return 0;
}

LRESULT OptionsBox::HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  // The system menu's Close and Alt+F4 confirm the option selected now; the low four bits are
  // the system's own.
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    Confirm();
    return 0;
  }
  return WindowImplBase::HandleSysCommand(message, wParam, lParam, handled);
}

LRESULT OptionsBox::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ControlQueryMessage()) return AnswerControlQuery(*this, wParam);
  return WindowImplBase::RouteMessage(message, wParam, lParam);
}

void OptionsBox::Confirm() {
  // Closed already (by Esc, say, or a first confirmation): nothing more is answered.
  if (answer_.IsSettled()) return;
  RequestClose(0);
  answer_.Post(selectedIndex_);
}

void OptionsBox::RequestClose(UINT result) {
  if (!answer_.Settle()) return;
  GiveBackOwner(GetHwnd());
  WindowImplBase::RequestClose(result);
}
