// The image cache of ui::UiRuntime: weak entries under a normalised key, so a path held by
// any number of controls is decoded once and freed with its last holder.

#include <objidl.h>  // GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include "ui/core/string_util.h"
#include "ui/resources/image.h"
#include "ui/resources/runtime_state.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

ImageInfo* LoadFromArchive(const std::wstring& key) {
  HGLOBAL block = UiRuntime::ReadZipEntry(key);
  if (!block) return nullptr;
  IStream* stream = nullptr;
  // The stream frees the block when it is released.
  if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK || !stream) {
    GlobalFree(block);
    return nullptr;
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gp::GdipCreateBitmapFromStream(stream, &bitmap) != Gdiplus::Ok) bitmap = nullptr;
  ImageInfo* info = LoadImageInfo(bitmap, key);
  stream->Release();
  return info;
}

ImageInfo* LoadFromFile(const std::wstring& key) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gp::GdipCreateBitmapFromFile(key.c_str(), &bitmap) != Gdiplus::Ok) bitmap = nullptr;
  return LoadImageInfo(bitmap, key);
}

}  // namespace

bool ImageCacheKeyLess::operator()(const std::wstring& a, const std::wstring& b) const {
  const int32_t lengthA = static_cast<int32_t>(a.size());
  const int32_t lengthB = static_cast<int32_t>(b.size());
  if (lengthA != lengthB) return lengthA < lengthB;
  for (size_t i = a.size(); i-- > 0;) {
    const uint16_t charA = static_cast<uint16_t>(a[i]);
    const uint16_t charB = static_cast<uint16_t>(b[i]);
    if (charA != charB) return charA < charB;
  }
  return false;
}

std::wstring UiRuntime::ImageCacheKey(const std::wstring& path) {
  const std::wstring normalized = NormalizePath(path);
  return GetRuntimeState().resourceZip ? ToZipEntryName(normalized) : normalized;
}

std::shared_ptr<ImageInfo> UiRuntime::GetOrLoadImage(const std::wstring& path) {
  RuntimeState& state = GetRuntimeState();
  const std::wstring key = ImageCacheKey(path);
  auto found = state.images.find(key);
  if (found != state.images.end()) {
    if (std::shared_ptr<ImageInfo> live = found->second.lock()) return live;
  }
  ImageInfo* info = state.resourceZip ? LoadFromArchive(key) : nullptr;
  if (!info) info = LoadFromFile(key);
  if (!info) return nullptr;
  std::shared_ptr<ImageInfo> shared(info, &UiRuntime::OnCachedImageReleased);
  state.images[key] = shared;
  info->cached = true;
  return shared;
}

// The same key as GetOrLoadImage: callers expect the image a load of the path would give.
std::shared_ptr<ImageInfo> UiRuntime::FindCachedImage(const std::wstring& path) {
  const auto& images = GetRuntimeState().images;
  auto found = images.find(ImageCacheKey(path));
  return found == images.end() ? nullptr : found->second.lock();
}

void UiRuntime::OnCachedImageReleased(ImageInfo* image) {
  if (!image) return;
  if (image->cached && !image->cachePath.empty()) {
    auto& images = GetRuntimeState().images;
    auto found = images.find(image->cachePath);
    // A newer image under the same key stays.
    if (found != images.end() && found->second.expired()) images.erase(found);
  }
  delete image;
}

}  // namespace ui
