#pragma once

#include "ui/render/drawing_tools.h"

namespace ui {

class GdiClip : public IClip {
 public:
  void SelectRectClip(HDC dc, Rect rect) override;
  void SelectRoundRectClip(HDC dc, Rect rect, int cornerWidth, int cornerHeight) override;
  void RestoreClip(HDC dc) override;
};

}  // namespace ui
