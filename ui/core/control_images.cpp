#include <windows.h>
#include <shlwapi.h>

#include "ui/core/control.h"
#include "ui/core/string_util.h"
#include "ui/core/window.h"
#include "ui/resources/runtime_links.h"
#include "ui/resources/ui_runtime.h"

// The images of a control: setting the background image and finding an image's file.
namespace ui {

namespace {

bool ResourceExists(const std::wstring& path) {
  if (UiRuntime::GetResourceZip()) {
    int index = -1;
    unsigned size = 0;
    return FindResourceArchiveEntry(UiRuntime::ToZipEntryName(path), &index, &size) == 0;
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void Control::SetBkImage(const std::wstring& descriptor) {
  if (bkImage_.image && bkImage_.image->FrameCount() > 1) {
    bkImage_.playing = false;
    animationTimerFlag_.Invalidate();
    Invalidate();
  }
  bkImage_.ReleaseImage();
  bkImage_.frameIndex = 0;
  bkImage_.playing = false;
  bkImage_.loopCount = 0;
  bkImage_.spec.Reset();
  bkImage_.spec.description = descriptor;
  bkImage_.spec.file = descriptor;
  bkImage_.spec.Parse(descriptor);
  bkAnimationAllowed_ = bkImage_.spec.playcount != 0;
  if (IsAutoSized()) {
    RequestAncestorLayout();
  } else {
    Invalidate();
  }
}

std::wstring Control::ImagePath(const std::wstring& file) const {
  std::wstring path = file;
  if (!path.empty() && PathIsRelativeW(path.c_str())) {
    std::wstring prefix = UiRuntime::GetResourceRoot();
    if (window_) prefix += window_->GetResourceSubfolder();
    path = prefix + path;
  }
  return NormalizePath(path);
}

void Control::ResolveImage(ControlImage& image) {
  if (image.image) return;
  std::wstring path = ImagePath(image.spec.file);
  if (bkImageLanguageVariant_) {
    std::wstring language = UiRuntime::GetLanguage();
    if (language.empty()) language = L"zh_CN";
    const size_t dot = path.rfind(L'.');
    if (dot != std::wstring::npos) {
      const std::wstring candidate = path.substr(0, dot) + L"_" + language + path.substr(dot);
      if (ResourceExists(candidate)) path = candidate;
    }
  }
  image.image = UiRuntime::GetOrLoadImage(path);
}

}  // namespace ui
