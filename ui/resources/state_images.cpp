#include "ui/resources/state_images.h"

namespace ui {

namespace {
constexpr ControlState kStates[] = {kStateNormal, kStateHot, kStatePushed, kStateDisabled};
}

void StateImageSet::Init(Control* owner) {
  owner_ = owner;
  for (ControlState state : kStates) images_[state];
}

void StateImageSet::ReleaseImages() {
  for (auto& entry : images_) entry.second.ReleaseImage();
}

void ImageKindTable::SetImage(StateImageKind kind, ControlState state, const std::wstring& text) {
  auto found = sets_.find(kind);
  if (found == sets_.end()) {
    found = sets_.emplace(kind, StateImageSet()).first;
    found->second.Init(owner_);
  }
  ControlImage& image = found->second.GetImage(state);
  image.ReleaseImage();
  image.spec.Reset();
  image.spec.description = text;
  image.spec.file = text;
  image.spec.Parse(text);
}

ControlImage* ImageKindTable::FindFirstImage(StateImageKind kind) {
  StateImageSet* set = FindSet(kind);
  if (!set) return nullptr;
  for (ControlState state : kStates) {
    auto it = set->Images().find(state);
    if (it != set->Images().end() && !it->second.spec.file.empty()) return &it->second;
  }
  return nullptr;
}

StateImageSet* ImageKindTable::FindSet(StateImageKind kind) {
  auto it = sets_.find(kind);
  return it == sets_.end() ? nullptr : &it->second;
}

void ImageKindTable::ReleaseImages() {
  for (auto& entry : sets_) entry.second.ReleaseImages();
}

std::wstring StateColorSet::GetColor(ControlState state) const {
  auto it = colors_.find(state);
  return it == colors_.end() ? std::wstring() : it->second;
}

}  // namespace ui
