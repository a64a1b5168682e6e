#include "ui/resources/ui_runtime.h"

#include <commctrl.h>
#include <objidl.h>  // GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include <algorithm>
#include <cwchar>
#include <map>

#include "ui/core/dpi_scale.h"
#include "ui/resources/runtime_state.h"

namespace ui {

namespace gp = Gdiplus::DllExports;

namespace {

// The default UI face on Vista and later ("Microsoft YaHei"), and before it.
constexpr wchar_t kFallbackFaceVista[] = L"\u5FAE\u8F6F\u96C5\u9ED1";
constexpr wchar_t kFallbackFaceXp[] = L"Arial";

std::wstring FallbackFace() { return IsWindowsVersionAtLeast6(0) ? kFallbackFaceVista : kFallbackFaceXp; }

LOGFONTW DefaultGuiLogFont() {
  LOGFONTW logFont = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
  logFont.lfCharSet = DEFAULT_CHARSET;
  return logFont;
}

void SetFaceName(LOGFONTW& logFont, const std::wstring& face) {
  wcsncpy(logFont.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  logFont.lfFaceName[LF_FACESIZE - 1] = L'\0';
}

void DeleteFontRecord(FontRecord* record, bool gdiplusRunning) {
  if (record->hFont) DeleteObject(record->hFont);
  if (record->gdipFont && gdiplusRunning) gp::GdipDeleteFont(record->gdipFont);
  delete record;
}

// Per-monitor awareness through the internal call, else the older system-wide one.
bool MakeProcessDpiAware() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return false;
  using SetAwarenessInternal = LONG(WINAPI*)(int);
  using SetAware = BOOL(WINAPI*)();
  auto setAwareness =
      reinterpret_cast<SetAwarenessInternal>(GetProcAddress(user32, "SetProcessDpiAwarenessInternal"));
  if (setAwareness && setAwareness(2) == 0) return true;
  auto setAware = reinterpret_cast<SetAware>(GetProcAddress(user32, "SetProcessDPIAware"));
  return setAware && setAware() != FALSE;
}

int QueryMonitorDpi() {
  if (IsWindowsVersionAtLeast6(2)) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    using GetDpiForMonitorInternal = BOOL(WINAPI*)(HMONITOR, UINT, UINT*, UINT*);
    auto getDpi = user32 ? reinterpret_cast<GetDpiForMonitorInternal>(
                               GetProcAddress(user32, "GetDpiForMonitorInternal"))
                         : nullptr;
    if (!getDpi) return 96;
    UINT dpiX = 0;
    UINT dpiY = 0;
    HMONITOR monitor = MonitorFromPoint(POINT{1, 1}, MONITOR_DEFAULTTONEAREST);
    // Type 0: the effective DPI.
    if (!getDpi(monitor, 0, &dpiX, &dpiY) || dpiX == 0) return 96;
    return static_cast<int>(dpiX);
  }
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// Which configured faces GDI+ can make a font of; the groups of three carry their bold and
// italic changes over, as the fonts they stand for do.
void TestConfiguredFaces(RuntimeState& state) {
  for (int group = 0; group < 2; ++group) {
    LOGFONTW logFont = DefaultGuiLogFont();
    logFont.lfHeight = -12;
    for (int member = 0; member < 3; ++member) {
      const int index = group * 3 + member;
      state.faceUsable[index] = false;
      if (member == 1) logFont.lfWeight += FW_BOLD;
      if (member == 2) logFont.lfItalic = TRUE;
      if (state.faces[index].empty()) continue;
      SetFaceName(logFont, state.faces[index]);
      Gdiplus::GpFont* font = nullptr;
      if (gp::GdipCreateFontFromLogfontW(state.memoryDC, &logFont, &font) == Gdiplus::Ok && font) {
        state.faceUsable[index] = true;
        gp::GdipDeleteFont(font);
      }
    }
  }
}

// The last resort: GDI+'s generic sans-serif family in points, read back as a LOGFONTW.
bool CreateFallbackFont(RuntimeState& state, int size, bool bold, bool underline, bool italic, HFONT& hFont,
                        Gdiplus::GpFont*& gdipFont) {
  if (!state.sansSerif && gp::GdipGetGenericFontFamilySansSerif(&state.sansSerif) != Gdiplus::Ok) {
    state.sansSerif = nullptr;
    return false;
  }
  const INT style = (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0);
  Gdiplus::GpFont* font = nullptr;
  if (gp::GdipCreateFont(state.sansSerif, static_cast<Gdiplus::REAL>(size), style, Gdiplus::UnitPoint, &font) !=
          Gdiplus::Ok ||
      !font) {
    return false;
  }
  Gdiplus::GpGraphics* graphics = nullptr;
  LOGFONTW logFont = {};
  bool read = false;
  if (state.memoryDC && gp::GdipCreateFromHDC(state.memoryDC, &graphics) == Gdiplus::Ok && graphics) {
    read = gp::GdipGetLogFontW(font, graphics, &logFont) == Gdiplus::Ok;
    gp::GdipDeleteGraphics(graphics);
  }
  HFONT created = read ? CreateFontIndirectW(&logFont) : nullptr;
  if (!created) {
    gp::GdipDeleteFont(font);
    return false;
  }
  hFont = created;
  gdipFont = font;
  return true;
}

}  // namespace

RuntimeState::RuntimeState()
    : language(L"zh_CN"),
      channel(L"AppStore"),
      defaultTextColor(L"textdefaultcolor"),
      defaultDisabledTextColor(L"textdefaultdisablecolor") {}

// Clean-up at process exit, for a runtime that was never shut down.
RuntimeState::~RuntimeState() {
  if (renderFactory) DeleteRenderFactory(renderFactory);
  for (auto& entry : fonts) DeleteFontRecord(entry.second, gdiplusToken != 0);
}

RuntimeState& GetRuntimeState() {
  static RuntimeState state;
  return state;
}

void UiRuntime::Initialize(const std::wstring& resourceRoot, CustomControlFactory factory, bool /*ignored*/,
                           const std::wstring& theme, const std::wstring& language) {
  RuntimeState& state = GetRuntimeState();
  if (state.renderFactory) DeleteRenderFactory(state.renderFactory);
  state.renderFactory = NewRenderFactory();
  SetResourceRoot(resourceRoot + theme);
  state.customControlFactory = std::move(factory);

  DpiScale& dpi = DpiScale::Instance();
  if (!dpi.IsAdapting()) dpi.SetAdapt(IsWindowsVersionAtLeast6(0) ? MakeProcessDpiAware() : true);
  const int monitorDpi = QueryMonitorDpi();
  if (dpi.IsAdapting()) dpi.SetScale(MulDiv(monitorDpi, 100, 96));

  if (!state.gdiplusToken) {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&state.gdiplusToken, &input, nullptr) != Gdiplus::Ok) state.gdiplusToken = 0;
  }
  if (!state.memoryDC) {
    HDC screen = GetDC(nullptr);
    state.memoryDC = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
  }
  TestConfiguredFaces(state);

  LoadGlobalMarkup();
  SetLanguage(language);
  const std::wstring languagePath = resourceRoot + L"lang\\" + language + L".ini";
  if (state.resourceZip) {
    // An open archive without the file means no language file, not one from disk.
    if (HGLOBAL block = ReadZipEntry(languagePath)) {
      LoadLanguageFromMemory(block);
      GlobalFree(block);
    }
  } else {
    LoadLanguageFile(languagePath);
  }
  InitCommonControls();
}

void UiRuntime::Uninitialize() {
  RuntimeState& state = GetRuntimeState();
  CloseResourceZip();
  if (state.renderFactory) {
    DeleteRenderFactory(state.renderFactory);
    state.renderFactory = nullptr;
  }
  state.windows.clear();
  ClearFonts();
  if (state.memoryDC) {
    DeleteDC(state.memoryDC);
    state.memoryDC = nullptr;
  }
  if (state.sansSerif) {
    gp::GdipDeleteFontFamily(state.sansSerif);
    state.sansSerif = nullptr;
  }
  if (state.gdiplusToken) {
    Gdiplus::GdiplusShutdown(state.gdiplusToken);
    state.gdiplusToken = 0;
  }
}

void UiRuntime::ReloadResources(const std::wstring& newRoot, std::function<void()> onDone) {
  RuntimeState& state = GetRuntimeState();
  ClearFonts();
  state.colors.clear();
  state.classes.clear();
  // A window still being built has no root yet: it has nothing to drop or repaint.
  for (Window* window : state.windows) {
    if (Control* root = WindowRootOf(window)) DropControlImageCaches(root);
  }
  state.images.clear();
  if (!newRoot.empty()) SetResourceRoot(newRoot);
  LoadGlobalMarkup();
  // These prefixes are the skin's fixed layout; they do not follow the resource root.
  const std::wstring language = GetLanguage();
  if (state.resourceZip) {
    if (HGLOBAL block = ReadZipEntry(L"resources\\lang\\" + language + L".ini")) {
      LoadLanguageFromMemory(block);
      GlobalFree(block);
    }
  } else {
    LoadLanguageFile(L".\\resources\\lang\\" + language + L".ini");
  }
  if (onDone) onDone();
  for (Window* window : state.windows) {
    if (Control* root = WindowRootOf(window)) InvalidateControl(root);
  }
}

IRenderFactory* UiRuntime::GetRenderFactory() { return AsRenderFactory(GetRuntimeState().renderFactory); }

HDC UiRuntime::GetMemoryDC() { return GetRuntimeState().memoryDC; }

void UiRuntime::SetResourceRoot(const std::wstring& path) {
  std::wstring root = path;
  if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
  GetRuntimeState().resourceRoot = root;
}

std::wstring UiRuntime::GetResourceRoot() { return GetRuntimeState().resourceRoot; }

// The usage reports read the language on the worker thread while a switch writes it.
std::wstring UiRuntime::GetLanguage() {
  RuntimeState& state = GetRuntimeState();
  AcquireSRWLockShared(&state.languageLock);
  std::wstring copy = state.language;
  ReleaseSRWLockShared(&state.languageLock);
  return copy;
}

void UiRuntime::SetLanguage(const std::wstring& language) {
  RuntimeState& state = GetRuntimeState();
  std::wstring replacement = language;
  AcquireSRWLockExclusive(&state.languageLock);
  state.language.swap(replacement);
  ReleaseSRWLockExclusive(&state.languageLock);
}

std::wstring UiRuntime::GetChannel() { return GetRuntimeState().channel; }

void UiRuntime::SetChannel(const std::wstring& channel) { GetRuntimeState().channel = channel; }

void UiRuntime::SetSystemFaces(const std::wstring& regular, const std::wstring& bold, const std::wstring& italic) {
  RuntimeState& state = GetRuntimeState();
  state.faces[0] = regular;
  state.faces[1] = bold;
  state.faces[2] = italic;
}

void UiRuntime::SetButtonFaces(const std::wstring& regular, const std::wstring& bold, const std::wstring& italic) {
  RuntimeState& state = GetRuntimeState();
  state.faces[3] = regular;
  state.faces[4] = bold;
  state.faces[5] = italic;
}

bool UiRuntime::IsConfiguredFaceUsable(int index) {
  return index >= 0 && index < 6 && GetRuntimeState().faceUsable[index];
}

HFONT UiRuntime::RegisterFont(const std::wstring& id, const std::wstring& face, int size, bool bold, bool underline,
                              bool italic, bool isDefault) {
  RuntimeState& state = GetRuntimeState();
  const std::wstring key = id.empty() ? std::to_wstring(state.fonts.size()) : id;
  // An id keeps its first font: a second one would be owned by nobody.
  auto existing = state.fonts.find(key);
  if (existing != state.fonts.end()) {
    if (isDefault) state.defaultFontId = key;
    return existing->second->hFont;
  }

  std::wstring usedFace = face;
  if (face == L"system" || face == L"button") {
    const int index = (face == L"system" ? 0 : 3) + (bold ? 1 : (!italic ? 0 : 2));
    usedFace = state.faceUsable[index] && !state.faces[index].empty() ? state.faces[index] : FallbackFace();
  }
  LOGFONTW logFont = DefaultGuiLogFont();
  SetFaceName(logFont, usedFace);
  const int scaledSize = DpiScale::Instance().ScaleValue(size);
  logFont.lfHeight = -scaledSize;
  if (bold) logFont.lfWeight += FW_BOLD;
  logFont.lfUnderline = underline ? TRUE : FALSE;
  logFont.lfItalic = italic ? TRUE : FALSE;

  HFONT hFont = CreateFontIndirectW(&logFont);
  Gdiplus::GpFont* gdipFont = nullptr;
  if (!hFont || !state.memoryDC ||
      gp::GdipCreateFontFromLogfontW(state.memoryDC, &logFont, &gdipFont) != Gdiplus::Ok || !gdipFont) {
    if (hFont) DeleteObject(hFont);
    hFont = nullptr;
    if (gdipFont) gp::GdipDeleteFont(gdipFont);
    gdipFont = nullptr;
    if (!CreateFallbackFont(state, size, bold, underline, italic, hFont, gdipFont)) return nullptr;
  }

  FontRecord* record = new FontRecord;
  record->hFont = hFont;
  record->face = usedFace;
  record->size = scaledSize;
  record->bold = bold;
  record->underline = underline;
  record->italic = italic;
  record->gdipFont = gdipFont;
  state.fonts.emplace(key, record);
  if (isDefault) state.defaultFontId = key;
  return hFont;
}

FontRecord* UiRuntime::FindFont(const std::wstring& id) {
  RuntimeState& state = GetRuntimeState();
  auto it = state.fonts.find(id.empty() ? state.defaultFontId : id);
  return it == state.fonts.end() ? nullptr : it->second;
}

std::wstring UiRuntime::GetDefaultFontId() { return GetRuntimeState().defaultFontId; }

void UiRuntime::ClearFonts() {
  RuntimeState& state = GetRuntimeState();
  for (auto& entry : state.fonts) DeleteFontRecord(entry.second, state.gdiplusToken != 0);
  state.fonts.clear();
}

ArgbColor UiRuntime::GetColor(const std::wstring& name) {
  const auto& colors = GetRuntimeState().colors;
  auto it = colors.find(name);
  return it == colors.end() ? 0 : it->second;
}

void UiRuntime::SetColor(const std::wstring& name, ArgbColor color) { GetRuntimeState().colors[name] = color; }

std::wstring UiRuntime::GetClassAttributes(const std::wstring& name) {
  const auto& classes = GetRuntimeState().classes;
  auto it = classes.find(name);
  return it == classes.end() ? std::wstring() : it->second;
}

void UiRuntime::SetClassAttributes(const std::wstring& name, const std::wstring& attributes) {
  GetRuntimeState().classes[name] = attributes;
}

std::wstring UiRuntime::GetDefaultTextColor() { return GetRuntimeState().defaultTextColor; }

void UiRuntime::SetDefaultTextColor(const std::wstring& colorName) {
  GetRuntimeState().defaultTextColor = colorName;
}

std::wstring UiRuntime::GetDefaultDisabledTextColor() { return GetRuntimeState().defaultDisabledTextColor; }

void UiRuntime::SetDefaultDisabledTextColor(const std::wstring& colorName) {
  GetRuntimeState().defaultDisabledTextColor = colorName;
}

const CustomControlFactory& UiRuntime::GetCustomControlFactory() {
  return GetRuntimeState().customControlFactory;
}

void UiRuntime::AddWindow(Window* window) { GetRuntimeState().windows.push_back(window); }

void UiRuntime::RemoveWindow(Window* window) {
  auto& windows = GetRuntimeState().windows;
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

const std::vector<Window*>& UiRuntime::GetWindows() { return GetRuntimeState().windows; }

Window* UiRuntime::FindWindowByHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  for (Window* window : GetRuntimeState().windows) {
    if (WindowHandleOf(window) == hwnd) return window;
  }
  return nullptr;
}

}  // namespace ui
