#include "ui/resources/image.h"

#include <objidl.h>  // GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include <cstring>
#include <cwchar>

#include "ui/core/dpi_scale.h"
#include "ui/core/string_util.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

constexpr PROPID kFrameDelayTag = 0x5100;
// FrameDimensionTime: the frames of an animated image.
constexpr GUID kFrameDimensionTime = {0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};
constexpr Gdiplus::PixelFormat kFormatAlpha = 0x40000;
constexpr Gdiplus::PixelFormat kFormatIndexed = 0x10000;
constexpr Gdiplus::PixelFormat kFormat32bppArgb = 0x26200A;

bool IsBlank(wchar_t c) { return c <= 32; }

void ApplyKey(ImageSpec& spec, const std::wstring& key, const std::wstring& value, bool& scaleDest) {
  if (key == L"file" || key == L"res") {
    spec.file = value;
  } else if (key == L"destscale") {
    scaleDest = value == L"true";
  } else if (key == L"dest") {
    spec.dest = ParseRectNumbers(value);
    if (scaleDest) DpiScale::Instance().ScaleRect(spec.dest);
  } else if (key == L"source") {
    spec.source = ParseRectNumbers(value);
  } else if (key == L"corner") {
    spec.corner = ParseRectNumbers(value);
  } else if (key == L"fade") {
    spec.fade = static_cast<uint8_t>(wcstoul(value.c_str(), nullptr, 10));
  } else if (key == L"xtiled") {
    spec.xtiled = value == L"true";
  } else if (key == L"ytiled") {
    spec.ytiled = value == L"true";
  } else if (key == L"playcount") {
    spec.playcount = static_cast<int>(wcstol(value.c_str(), nullptr, 10));
  }
}

// True when any pixel of the 32-bit DIB section is not fully opaque.
bool HasTranslucentPixel(HBITMAP bitmap) {
  BITMAP info = {};
  if (!GetObjectW(bitmap, sizeof(info), &info) || !info.bmBits || info.bmBitsPixel != 32) return false;
  const uint8_t* rows = static_cast<const uint8_t*>(info.bmBits);
  for (LONG y = 0; y < info.bmHeight; ++y) {
    const uint8_t* row = rows + static_cast<size_t>(y) * info.bmWidthBytes;
    for (LONG x = 0; x < info.bmWidth; ++x) {
      if (row[x * 4 + 3] != 0xFF) return true;
    }
  }
  return false;
}

}  // namespace

void ImageSpec::Reset() {
  description.clear();
  file.clear();
  dest = Rect{-1, -1, -1, -1};
  source = Rect{-1, -1, -1, -1};
  corner = Rect{0, 0, 0, 0};
  fade = 255;
  xtiled = false;
  ytiled = false;
  playcount = -1;
}

void ImageSpec::Parse(const std::wstring& text) {
  bool scaleDest = true;
  const wchar_t* cursor = text.c_str();
  const wchar_t* const end = cursor + text.size();
  while (cursor < end) {
    while (cursor < end && IsBlank(*cursor)) cursor = CharNextW(cursor);
    if (cursor >= end) break;
    const wchar_t* keyStart = cursor;
    while (cursor < end && *cursor != L'=' && !IsBlank(*cursor)) ++cursor;
    const std::wstring key(keyStart, cursor);
    while (cursor < end && IsBlank(*cursor)) ++cursor;
    if (cursor >= end || *cursor != L'=') break;
    ++cursor;
    while (cursor < end && IsBlank(*cursor)) ++cursor;
    if (cursor >= end || *cursor != L'\'') break;
    ++cursor;
    const wchar_t* valueEnd = cursor;
    while (valueEnd < end && *valueEnd != L'\'') ++valueEnd;
    if (valueEnd >= end) break;  // no closing quote
    const std::wstring value(cursor, valueEnd);
    if (!value.empty()) ApplyKey(*this, key, value, scaleDest);
    cursor = valueEnd + 1;
    // Pairs are separated by exactly one space after the closing quote.
    if (cursor >= end || *cursor != L' ') break;
    ++cursor;
  }
}

ImageInfo::~ImageInfo() {
  for (HBITMAP bitmap : frameBitmaps) DeleteObject(bitmap);
  for (Gdiplus::GpBitmap* bitmap : frameGdipBitmaps) gp::GdipDisposeImage(bitmap);
}

std::vector<uint32_t> ReadFrameDelays(const Gdiplus::PropertyItem& item, size_t frameCount) {
  std::vector<uint32_t> delays(frameCount, 0);
  const size_t present = item.value ? item.length / sizeof(uint32_t) : 0;
  const uint8_t* bytes = static_cast<const uint8_t*>(item.value);
  for (size_t i = 0; i < frameCount && i < present; ++i) memcpy(&delays[i], bytes + i * sizeof(uint32_t), sizeof(uint32_t));
  return delays;
}

ImageInfo* LoadImageInfo(Gdiplus::GpBitmap* bitmap, const std::wstring& cachePath) {
  if (!bitmap) return nullptr;
  std::unique_ptr<ImageInfo> info(new ImageInfo);
  // From here the info owns the decoded bitmap as frame 0's GDI+ bitmap.
  info->frameGdipBitmaps.push_back(bitmap);

  UINT frameCount = 0;
  UINT dimensionCount = 0;
  if (gp::GdipImageGetFrameDimensionsCount(bitmap, &dimensionCount) != Gdiplus::Ok || dimensionCount == 0) {
    return nullptr;
  }
  std::vector<GUID> dimensions(dimensionCount);
  if (gp::GdipImageGetFrameDimensionsList(bitmap, dimensions.data(), dimensionCount) != Gdiplus::Ok ||
      gp::GdipImageGetFrameCount(bitmap, &dimensions[0], &frameCount) != Gdiplus::Ok || frameCount == 0) {
    return nullptr;
  }

  if (frameCount > 1) {
    UINT itemSize = 0;
    if (gp::GdipGetPropertyItemSize(bitmap, kFrameDelayTag, &itemSize) != Gdiplus::Ok ||
        itemSize < sizeof(Gdiplus::PropertyItem)) {
      return nullptr;
    }
    std::vector<uint8_t> itemBuffer(itemSize);
    auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(itemBuffer.data());
    if (gp::GdipGetPropertyItem(bitmap, kFrameDelayTag, itemSize, item) != Gdiplus::Ok) return nullptr;
    // The value must lie inside the buffer GDI+ filled before any delay is read from it.
    const uint8_t* valueStart = static_cast<const uint8_t*>(item->value);
    const uint8_t* bufferEnd = itemBuffer.data() + itemBuffer.size();
    if (valueStart && (valueStart < itemBuffer.data() || valueStart > bufferEnd ||
                       item->length > static_cast<size_t>(bufferEnd - valueStart))) {
      item->length = 0;
    }
    info->frameDelays = ReadFrameDelays(*item, frameCount);
  }

  for (UINT i = 0; i < frameCount; ++i) {
    HBITMAP frame = nullptr;
    if (gp::GdipImageSelectActiveFrame(bitmap, &kFrameDimensionTime, i) != Gdiplus::Ok && frameCount > 1) {
      return nullptr;
    }
    if (gp::GdipCreateHBITMAPFromBitmap(bitmap, &frame, 0xFF000000) != Gdiplus::Ok || !frame) return nullptr;
    info->frameBitmaps.push_back(frame);
  }

  UINT width = 0;
  UINT height = 0;
  gp::GdipGetImageWidth(bitmap, &width);
  gp::GdipGetImageHeight(bitmap, &height);
  info->width = static_cast<int>(width);
  info->height = static_cast<int>(height);
  info->cachePath = cachePath;

  Gdiplus::PixelFormat format = 0;
  gp::GdipGetImagePixelFormat(bitmap, &format);
  info->hasAlpha = (format & kFormatAlpha) != 0;
  if (format & kFormatIndexed) {
    INT paletteSize = 0;
    if (gp::GdipGetImagePaletteSize(bitmap, &paletteSize) == Gdiplus::Ok &&
        paletteSize >= static_cast<INT>(sizeof(Gdiplus::ColorPalette))) {
      std::vector<uint8_t> paletteBuffer(paletteSize);
      auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(paletteBuffer.data());
      if (gp::GdipGetImagePalette(bitmap, palette, paletteSize) == Gdiplus::Ok) {
        info->hasAlpha = (palette->Flags & Gdiplus::PaletteFlagsHasAlpha) != 0;
      }
    }
  }

  // Later frames get a copy of the decoded bitmap taken while that frame is selected.
  for (UINT i = 1; i < frameCount; ++i) {
    Gdiplus::GpBitmap* copy = nullptr;
    if (gp::GdipImageSelectActiveFrame(bitmap, &kFrameDimensionTime, i) != Gdiplus::Ok ||
        gp::GdipCloneBitmapAreaI(0, 0, static_cast<INT>(width), static_cast<INT>(height),
                                 PixelFormat32bppARGB, bitmap, &copy) != Gdiplus::Ok ||
        !copy) {
      return nullptr;
    }
    info->frameGdipBitmaps.push_back(copy);
  }
  if (frameCount > 1) gp::GdipImageSelectActiveFrame(bitmap, &kFrameDimensionTime, 0);

  // A 32-bit ARGB image whose pixels are all opaque draws faster without blending.
  if (format == kFormat32bppArgb) {
    info->hasAlpha = false;
    for (HBITMAP frame : info->frameBitmaps) {
      if (HasTranslucentPixel(frame)) {
        info->hasAlpha = true;
        break;
      }
    }
  }
  return info.release();
}

void ControlImage::ReleaseImage() {
  image.reset();
  frameIndex = 0;
  playing = false;
  loopCount = 0;
}

}  // namespace ui
