#include "ui/controls/label.h"

namespace ui {

IRenderContext* GetTextMeasuringContext() {
  static std::unique_ptr<IRenderContext> context;
  static IRenderFactory* madeBy = nullptr;
  IRenderFactory* factory = UiRuntime::GetRenderFactory();
  if (!factory) return nullptr;
  // A runtime started anew has a new factory: the old surface belongs to the old one.
  if (!context || madeBy != factory) {
    madeBy = factory;
    context.reset(factory->NewRenderContext());
    if (context) context->ResizeSurface(1, 1, true);
  }
  return context.get();
}

UINT ApplyTextAlignment(UINT style, const std::wstring& value) {
  const auto has = [&](const wchar_t* keyword) { return value.find(keyword) != std::wstring::npos; };
  if (has(L"left")) style &= ~static_cast<UINT>(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  if (has(L"center")) style = (style & ~static_cast<UINT>(DT_RIGHT)) | DT_CENTER;
  if (has(L"right")) style = (style & ~static_cast<UINT>(DT_CENTER | DT_VCENTER | DT_SINGLELINE)) | DT_RIGHT;
  if (has(L"top")) style = (style & ~static_cast<UINT>(DT_VCENTER | DT_BOTTOM)) | DT_SINGLELINE;
  if (has(L"vcenter")) style = (style & ~static_cast<UINT>(DT_BOTTOM)) | DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (has(L"bottom")) style = (style & ~static_cast<UINT>(DT_VCENTER)) | DT_BOTTOM | DT_SINGLELINE;
  return style;
}

}  // namespace ui
