#pragma once

// The small tables through which a control keeps one image and one colour name per state.

#include <map>
#include <string>

#include "ui/core/geometry.h"
#include "ui/resources/image.h"

namespace ui {

class Control;
class IRenderContext;

// Which group of state images: the background ("normalimage" ...), the foreground
// ("forenormalimage" ...), and the two of a selected check box.
enum StateImageKind : int32_t {
  kImageKindBackground = 0,
  kImageKindForeground = 1,
  kImageKindSelectedBackground = 2,
  kImageKindSelectedForeground = 3,
};

// One image per control state.
class StateImageSet {
 public:
  // Gives the set its owner and an empty image for each of the four states.
  void Init(Control* owner);
  Control* GetOwner() const { return owner_; }
  // The image of a state, made empty when missing.
  ControlImage& GetImage(ControlState state) { return images_[state]; }
  std::map<ControlState, ControlImage>& Images() { return images_; }
  // Lets every decoded image go; the descriptors stay.
  void ReleaseImages();
  // Draws the state's image through the owner, blending normal and hot while the owner has
  // a hot fade; a state without an image falls back (pushed to hot, hot and disabled to
  // normal). The result of the last draw.
  bool Paint(IRenderContext* context, ControlState state, const std::wstring& modifier);

 private:
  Control* owner_ = nullptr;
  std::map<ControlState, ControlImage> images_;
};

// The state image sets of one control, by kind.
class ImageKindTable {
 public:
  // The owner that the sets made from now on are given.
  void SetOwner(Control* owner) { owner_ = owner; }
  // The image of kind and state takes text as its descriptor: a bare file name works, and a
  // "file" or "res" key replaces it.
  void SetImage(StateImageKind kind, ControlState state, const std::wstring& text);
  // The first image of the kind, in state order normal, hot, pushed, disabled, that names a
  // file; null when there is none.
  ControlImage* FindFirstImage(StateImageKind kind);
  // The set of a kind, or null when none was made.
  StateImageSet* FindSet(StateImageKind kind);
  std::map<StateImageKind, StateImageSet>& Sets() { return sets_; }
  void ReleaseImages();

 private:
  Control* owner_ = nullptr;
  std::map<StateImageKind, StateImageSet> sets_;
};

// One colour name per control state ("normalcolor", "hotcolor", ...).
class StateColorSet {
 public:
  void Init(Control* owner) { owner_ = owner; }
  Control* GetOwner() const { return owner_; }
  void SetColor(ControlState state, const std::wstring& colorName) { colors_[state] = colorName; }
  // Empty when the state has no colour.
  std::wstring GetColor(ControlState state) const;
  std::map<ControlState, std::wstring>& Colors() { return colors_; }
  // Fills rect with the state's colour, with the same hot blending and fallbacks as images.
  void Paint(IRenderContext* context, const Rect& rect, ControlState state) const;

 private:
  Control* owner_ = nullptr;
  std::map<ControlState, std::wstring> colors_;
};

}  // namespace ui
