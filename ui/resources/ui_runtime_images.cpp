// The image cache of ui::UiRuntime: weak entries under a normalised key.

#include "ui/resources/runtime_state.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

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

}  // namespace ui
