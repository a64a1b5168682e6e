#pragma once

// Questions to the user. Any thread builds a request and posts it to the UI thread, where the
// installed presenter shows the box over the owner (the main window when none is given) and
// hands the answer to the request's callable on the UI thread. Without a presenter, a main
// window or a live owner the request is dropped and its callable never runs.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One text of a box: a language key, used when not empty, else the literal text.
struct DialogText {
  std::wstring key;
  std::wstring literal;
};

struct MessageBoxRequest {
  DialogText title;
  DialogText content;
  DialogText detail;  // empty literal unless the box carries a detail
  std::wstring noKey;
  std::wstring yesKey;
  std::wstring noText;
  std::wstring yesText;
  std::function<void(int)> onResult;  // 1 yes, 0 no, close or Esc
  bool swapButtonLooks = false;
};

struct OptionsBoxRequest {
  std::wstring contentKey;
  std::wstring groupName;
  std::vector<std::wstring> optionKeys;
  int selectedIndex = 0;
  std::wstring buttonKey;
  std::function<void(int)> onResult;  // the chosen index
};

// Shows the boxes on the UI thread; the windows install theirs (message box and options box).
class DialogPresenter {
 public:
  virtual ~DialogPresenter() = default;
  virtual void ShowMessageBox(HWND owner, MessageBoxRequest request) = 0;
  virtual void ShowOptionsBox(HWND owner, OptionsBoxRequest request) = 0;
};

// Installs the presenter (null removes it); the caller keeps ownership.
void SetDialogPresenter(DialogPresenter* presenter);

// On the UI thread: the message-box task. Public for the detail variant of the engine's
// error box, which fills its own request.
void PostMessageBoxRequest(HWND owner, MessageBoxRequest request);
