#include "ui/resources/ui_runtime.h"

#include <map>

#include "ui/core/dpi_scale.h"
#include "ui/render/gdiplus_api.h"

namespace ui {
namespace {

struct RuntimeState {
  ULONG_PTR gdiplusToken = 0;
  HDC memoryDC = nullptr;
  std::map<std::wstring, FontRecord*> fonts;
  std::wstring defaultFontId;
  std::map<std::wstring, ArgbColor> colors;
};

RuntimeState& State() {
  static RuntimeState state;
  return state;
}

}  // namespace

void UiRuntime::Initialize(const std::wstring&, CustomControlFactory, bool, const std::wstring&, const std::wstring&) {
  RuntimeState& state = State();
  if (!state.gdiplusToken) {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&state.gdiplusToken, &input, nullptr) != Gdiplus::Ok) state.gdiplusToken = 0;
  }
  if (!state.memoryDC) {
    HDC screen = GetDC(nullptr);
    state.memoryDC = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
  }
}

void UiRuntime::Uninitialize() {
  RuntimeState& state = State();
  ClearFonts();
  if (state.memoryDC) DeleteDC(state.memoryDC);
  state.memoryDC = nullptr;
  if (state.gdiplusToken) Gdiplus::GdiplusShutdown(state.gdiplusToken);
  state.gdiplusToken = 0;
}

IRenderFactory* UiRuntime::GetRenderFactory() { return nullptr; }

HDC UiRuntime::GetMemoryDC() { return State().memoryDC; }

HFONT UiRuntime::RegisterFont(const std::wstring& id, const std::wstring& face, int size, bool bold, bool underline,
                              bool italic, bool isDefault) {
  RuntimeState& state = State();
  const std::wstring key = id.empty() ? std::to_wstring(state.fonts.size()) : id;
  const std::wstring usedFace = (face == L"system" || face == L"button") ? L"\x5FAE\x8F6F\x96C5\x9ED1" : face;
  LOGFONTW logFont = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
  wcsncpy(logFont.lfFaceName, usedFace.c_str(), LF_FACESIZE - 1);
  logFont.lfCharSet = DEFAULT_CHARSET;
  const int scaled = DpiScale::Instance().ScaleValue(size);
  logFont.lfHeight = -scaled;
  if (bold) logFont.lfWeight += FW_BOLD;
  logFont.lfUnderline = underline;
  logFont.lfItalic = italic;
  HFONT hFont = CreateFontIndirectW(&logFont);
  Gdiplus::GpFont* gdipFont = nullptr;
  if (!hFont || !state.memoryDC ||
      Gdiplus::DllExports::GdipCreateFontFromLogfontW(state.memoryDC, &logFont, &gdipFont) != Gdiplus::Ok) {
    if (hFont) DeleteObject(hFont);
    return nullptr;
  }
  if (state.fonts.count(key)) {
    DeleteObject(hFont);
    Gdiplus::DllExports::GdipDeleteFont(gdipFont);
    hFont = state.fonts[key]->hFont;
  } else {
    state.fonts[key] = new FontRecord{hFont, usedFace, scaled, bold, underline, italic, gdipFont};
  }
  if (isDefault) state.defaultFontId = key;
  return hFont;
}

FontRecord* UiRuntime::FindFont(const std::wstring& id) {
  RuntimeState& state = State();
  auto found = state.fonts.find(id.empty() ? state.defaultFontId : id);
  return found == state.fonts.end() ? nullptr : found->second;
}

void UiRuntime::ClearFonts() {
  for (auto& entry : State().fonts) {
    if (entry.second->hFont) DeleteObject(entry.second->hFont);
    if (entry.second->gdipFont) Gdiplus::DllExports::GdipDeleteFont(entry.second->gdipFont);
    delete entry.second;
  }
  State().fonts.clear();
}

ArgbColor UiRuntime::GetColor(const std::wstring& name) {
  auto found = State().colors.find(name);
  return found == State().colors.end() ? 0 : found->second;
}

void UiRuntime::SetColor(const std::wstring& name, ArgbColor color) { State().colors[name] = color; }

}  // namespace ui
