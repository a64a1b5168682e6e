#include "dorevezi/core/core_dialogs.h"

#include <atomic>
#include <memory>
#include <utility>

#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"

namespace {

std::atomic<DialogPresenter*> g_presenter{nullptr};

// The box's owner: the given window, else the main window; none when that is not a live window.
HWND ResolveOwner(HWND owner) {
  HWND window = owner ? owner : DoreveziCore::GetInstance().mainWindow.load();
  return window && IsWindow(window) ? window : nullptr;
}

}  // namespace

void SetDialogPresenter(DialogPresenter* presenter) {
  g_presenter = presenter;
}

void PostMessageBoxRequest(HWND owner, MessageBoxRequest request) {
  // The task owns copies of every text and of the callable; a dropped task just ends.
  auto shared = std::make_shared<MessageBoxRequest>(std::move(request));
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [owner, shared] {
    HWND window = ResolveOwner(owner);
    DialogPresenter* presenter = g_presenter;
    if (!window || !presenter) return;
    presenter->ShowMessageBox(window, std::move(*shared));
  });
}

void DoreveziCore::ShowMessageBox(HWND owner, const std::wstring& titleKey, const std::wstring& contentKey,
                                  const std::wstring& noKey, const std::wstring& yesKey,
                                  std::function<void(int)> onResult, bool swapButtonLooks) {
  messageBoxOpen = true;
  messageBoxShown = true;
  ShowMessageBoxTexts(owner, titleKey, L"", contentKey, L"", noKey, yesKey, L"", L"", std::move(onResult),
                      swapButtonLooks);
}

void DoreveziCore::ShowMessageBoxTexts(HWND owner, const std::wstring& titleKey, const std::wstring& titleText,
                                       const std::wstring& contentKey, const std::wstring& contentText,
                                       const std::wstring& noKey, const std::wstring& yesKey,
                                       const std::wstring& noText, const std::wstring& yesText,
                                       std::function<void(int)> onResult, bool swapButtonLooks) {
  MessageBoxRequest request;
  request.title = {titleKey, titleText};
  request.content = {contentKey, contentText};
  request.noKey = noKey;
  request.yesKey = yesKey;
  request.noText = noText;
  request.yesText = yesText;
  request.onResult = std::move(onResult);
  request.swapButtonLooks = swapButtonLooks;
  PostMessageBoxRequest(owner, std::move(request));
}

void DoreveziCore::ShowOptionsBox(const std::wstring& contentKey, const std::wstring& groupName,
                                  const std::vector<std::wstring>& optionKeys, int /*unused*/,
                                  const std::wstring& buttonKey, std::function<void(int)> onResult) {
  auto request = std::make_shared<OptionsBoxRequest>();
  request->contentKey = contentKey;
  request->groupName = groupName;
  request->optionKeys = optionKeys;
  request->buttonKey = buttonKey;
  request->onResult = std::move(onResult);
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [request] {
    HWND window = ResolveOwner(nullptr);
    DialogPresenter* presenter = g_presenter;
    if (!window || !presenter) return;
    presenter->ShowOptionsBox(window, std::move(*request));
  });
}
