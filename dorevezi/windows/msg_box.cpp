#include "dorevezi/windows/msg_box.h"

#include <memory>
#include <utility>

#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/windows/control_query.h"
#include "dorevezi/windows/dialog_window.h"
#include "ui/core/box.h"

namespace {

using Button = ui::ButtonTemplate<ui::Control>;

constexpr ui::ControlState kButtonStates[] = {ui::kStateNormal, ui::kStateHot, ui::kStatePushed,
                                              ui::kStateDisabled};

std::wstring BackgroundImage(Button* button, ui::ControlState state) {
  ui::StateImageSet* set = button->GetStateImages().FindSet(ui::kImageKindBackground);
  return set ? set->GetImage(state).spec.description : std::wstring();
}

void Refresh(Button* button) {
  if (button->IsAutoSized()) {
    button->RequestLayout();
  } else {
    button->Invalidate();
  }
}

}  // namespace

void MsgBox::SetTitle(const std::wstring& text, bool isKey) {
  title_ = text;
  titleIsKey_ = isKey;
}

void MsgBox::SetContent(const std::wstring& text, bool isKey) {
  content_ = text;
  contentIsKey_ = isKey;
}

void MsgBox::SetDetail(const std::wstring& text, bool isKey) {
  detail_ = text;
  detailIsKey_ = isKey;
}

void MsgBox::SetButtonTexts(const std::wstring& noText, const std::wstring& yesText) {
  noText_ = noText;
  yesText_ = yesText;
  buttonTextsAreKeys_ = false;
}

void MsgBox::SetButtonTextIds(const std::wstring& noId, const std::wstring& yesId) {
  noText_ = noId;
  yesText_ = yesId;
  buttonTextsAreKeys_ = true;
}

bool MsgBox::ShowModal(ui::Window* owner, std::function<void(int)> onResult, bool swapButtonLooks) {
  const std::weak_ptr<base::WeakFlag> alive = ObtainWeakFlag();
  if (!CreateNativeWindow(owner ? owner->GetHwnd() : nullptr, L"MsgBox", kDialogWindowStyle, 0, true,
                          ui::Rect())) {
    // A window that got as far as its creation message took the object with it.
    if (!alive.expired()) delete this;
    return false;
  }
  answer_.SetCallback(std::move(onResult));
  ShowOverOwner(*this);
  if (swapButtonLooks) SwapButtonLooks();
  return true;
}

void MsgBox::SwapButtonLooks() {
  if (!yesButton_ || !noButton_) return;
  for (ui::ControlState state : kButtonStates) {
    if (state == ui::kStateHot) {
      yesButton_->GetAnimator().EnableHotFade(true);
      noButton_->GetAnimator().EnableHotFade(true);
    }
    const std::wstring yesImage = BackgroundImage(yesButton_, state);
    const std::wstring noImage = BackgroundImage(noButton_, state);
    yesButton_->GetStateImages().SetImage(ui::kImageKindBackground, state, noImage);
    noButton_->GetStateImages().SetImage(ui::kImageKindBackground, state, yesImage);
    const std::wstring yesColor = yesButton_->GetStateColor(state);
    yesButton_->SetStateColor(state, noButton_->GetStateColor(state));
    noButton_->SetStateColor(state, yesColor);
    // The text colour belongs to the look too: blue and grey faces carry their own.
    const std::wstring yesText = yesButton_->GetStateTextColor(state);
    const std::wstring noText = noButton_->GetStateTextColor(state);
    yesButton_->SetStateTextColor(state, noText);
    noButton_->SetStateTextColor(state, yesText);
    Refresh(yesButton_);
    Refresh(noButton_);
  }
}

void MsgBox::OnSkinLoaded() {
  if (auto* root = dynamic_cast<ui::Box*>(GetRoot())) {
    root->AddBubbledEventHandler(ui::kEventClick,
                                 MakeWeakCallback([this](ui::EventArgs* args) { return OnClick(args); }));
  }
  SetLabelText(FindControlByName(L"title"), title_, titleIsKey_);
  SetLabelText(FindControlByName(L"content"), content_, contentIsKey_);
  SetLabelText(FindControlByName(L"detail"), detail_, detailIsKey_);
  yesButton_ = dynamic_cast<Button*>(FindControlByName(L"btn_yes"));
  noButton_ = dynamic_cast<Button*>(FindControlByName(L"btn_no"));
  if (!yesButton_ || !noButton_) return;
  SetLabelText(yesButton_, yesText_, buttonTextsAreKeys_);
  SetLabelText(noButton_, noText_, buttonTextsAreKeys_);
  yesButton_->SetFadeVisible(!yesText_.empty());
  noButton_->SetFadeVisible(!noText_.empty());
  (yesText_.empty() ? noButton_ : yesButton_)->RequestFocus();
}

bool MsgBox::OnClick(ui::EventArgs* args) {
  const std::wstring name = args && args->sender ? args->sender->GetName() : std::wstring();
  if (name == L"btn_no" || name == L"btn_close") {
    Cancel();
  } else if (name == L"btn_yes") {
    Confirm();
  }
  return true;
}

LRESULT MsgBox::HandleKeyDown(UINT /*message*/, WPARAM wParam, LPARAM /*lParam*/, bool& handled) {
  if (wParam == VK_ESCAPE) Cancel();
  // The default key handling follows for every key.
  return NotHandled(handled);
}

LRESULT MsgBox::HandleSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  // The low four bits are the system's own.
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    Cancel();
    return 0;
  }
  return WindowImplBase::HandleSysCommand(message, wParam, lParam, handled);
}

LRESULT MsgBox::RouteMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ControlQueryMessage()) return AnswerControlQuery(*this, wParam);
  return WindowImplBase::RouteMessage(message, wParam, lParam);
}

void MsgBox::Answer(int value) {
  // Clicked again during the fade-out: the first answer stands.
  if (answer_.IsSettled()) return;
  RequestClose(0);
  answer_.Post(value);
}

void MsgBox::RequestClose(UINT result) {
  if (!answer_.Settle()) return;
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.messageBoxOpen = false;
  core.NotifyMainWindow(kMsgRefreshTexts, 0, 0);
  GiveBackOwner(GetHwnd());
  WindowImplBase::RequestClose(result);
}
