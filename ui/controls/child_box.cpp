#include "ui/controls/child_box.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

// The files whose child boxes are being built right now, outermost first.
std::vector<std::wstring>& FilesInProgress() {
  static std::vector<std::wstring> files;
  return files;
}

// One spelling for one file: separators and case do not make another file.
std::wstring FileKey(const std::wstring& file) {
  std::wstring key = UiRuntime::ToZipEntryName(file);
  std::transform(key.begin(), key.end(), key.begin(), [](wchar_t c) { return wchar_t(towlower(c)); });
  return key;
}

}  // namespace

void ChildBox::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"xmlfile") {
    skinFile_ = value;
  } else {
    Box::ApplyAttribute(name, value);
  }
}

void ChildBox::Initialize() {
  if (skinFile_.empty() || inLoop_) return;
  if (built_ && GetChildIndex(built_) >= 0) return;
  built_ = nullptr;
  const std::wstring key = FileKey(skinFile_);
  std::vector<std::wstring>& inProgress = FilesInProgress();
  // Adding the fragment initialises the child boxes inside it: one naming a file above it
  // would build itself without end.
  if (std::find(inProgress.begin(), inProgress.end(), key) != inProgress.end()) {
    // Remembered: initialised again later, with nothing being built above, it would start
    // the loop over.
    inLoop_ = true;
    Box::RemoveAllChildren();
    return;
  }
  inProgress.push_back(key);
  Box* fragment = UiRuntime::BuildBoxCached(skinFile_, nullptr);
  if (fragment) {
    built_ = fragment;
    Box::AddChild(fragment);
  } else {
    Box::RemoveAllChildren();
  }
  inProgress.pop_back();
}

}  // namespace ui
