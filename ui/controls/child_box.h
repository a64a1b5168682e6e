#pragma once

// A box whose content is another skin file ("xmlfile"), built through the runtime's builder
// cache when the box is initialised, so one fragment can be reused inside several windows.
// A file that would contain itself, directly or through other child boxes, leaves the inner
// box empty. UI thread only.

#include <string>

#include "ui/core/box.h"

namespace ui {

class ChildBox : public Box {
 public:
  ChildBox() : Box(new Layout()) {}

  // Builds the file once; the fragment's box becomes the only child, or no file: no child.
  void Initialize() override;
  // "xmlfile"; the rest as a box.
  void ApplyAttribute(const std::wstring& name, const std::wstring& value) override;

  const std::wstring& GetSkinFile() const { return skinFile_; }
  void SetSkinFile(const std::wstring& file) { skinFile_ = file; }

 private:
  std::wstring skinFile_;
  // The fragment built last; a box initialised again (a window attaching a tree built for it)
  // keeps it rather than adding a second copy.
  Control* built_ = nullptr;
  // Set once the box found its file being built above it: it stays empty.
  bool inLoop_ = false;
};

}  // namespace ui
