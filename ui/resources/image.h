#pragma once

// Images of the skin: the descriptor text that names one ("file='a.png' dest='0,0,24,24'"),
// the per-control record that holds it, and the decoded image shared through the runtime's
// image cache.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/geometry.h"

namespace Gdiplus {
class GpImage;
class GpBitmap;
struct PropertyItem;
}  // namespace Gdiplus

namespace ui {

// A parsed image descriptor: key='value' pairs, each closing quote followed by one space.
struct ImageSpec {
  ImageSpec() { Reset(); }

  // Empty texts, dest and source unset (-1), no corners, opaque, no tiling, endless play.
  void Reset();
  // Applies the keys of text on top of the current values; stops at the first malformed pair,
  // keeping what came before it.
  void Parse(const std::wstring& text);

  std::wstring description;
  std::wstring file;
  Rect dest;
  Rect source;
  Rect corner;
  uint8_t fade;
  bool xtiled;
  bool ytiled;
  int playcount;
};

// A decoded image, one GDI bitmap and one GDI+ bitmap per frame. Shared: the runtime's image
// cache deletes it when its last holder lets go.
class ImageInfo {
 public:
  ImageInfo() = default;
  ~ImageInfo();
  ImageInfo(const ImageInfo&) = delete;
  ImageInfo& operator=(const ImageInfo&) = delete;

  size_t FrameCount() const { return frameBitmaps.size(); }
  // The delay of frame `index` in 1/100 s; 0 for a still image or a frame without one.
  uint32_t FrameDelay(size_t index) const { return index < frameDelays.size() ? frameDelays[index] : 0; }

  int width = 0;
  int height = 0;
  std::wstring cachePath;  // the key it was loaded under
  bool hasAlpha = false;
  bool cached = false;  // entered in the image cache
  // One delay per frame (1/100 s) for images of more than one frame; empty otherwise.
  std::vector<uint32_t> frameDelays;
  std::vector<HBITMAP> frameBitmaps;                  // 32-bit DIB sections, owned
  std::vector<Gdiplus::GpBitmap*> frameGdipBitmaps;  // entry i shows frame i, owned
};

// Decodes every frame of bitmap (whose ownership passes in) into a new ImageInfo that the
// caller owns; null when the bitmap is missing or a frame cannot be read.
ImageInfo* LoadImageInfo(Gdiplus::GpBitmap* bitmap, const std::wstring& cachePath);

// The per-frame delays of a frame-delay property item (32-bit values in 1/100 s), for
// frameCount frames: never read past the item's value; frames it does not cover get 0.
std::vector<uint32_t> ReadFrameDelays(const Gdiplus::PropertyItem& item, size_t frameCount);

// The image a control keeps for one purpose: the descriptor, the shared decoded image once
// resolved, and the animation position of an animated image.
struct ControlImage {
  // Lets the decoded image go; the descriptor stays.
  void ReleaseImage();

  ImageSpec spec;
  std::shared_ptr<ImageInfo> image;
  int frameIndex = 0;
  bool playing = false;
  int loopCount = 0;
};

}  // namespace ui
