#pragma once

// The UI framework's process-wide state, as far as the render layer needs it: GDI+ start
// and stop, the memory DC, fonts by id and the colour table.

#include <windows.h>

#include <functional>
#include <string>

#include "ui/core/geometry.h"

namespace Gdiplus {
class GpFont;
}

namespace ui {

class Control;
class IRenderFactory;

using CustomControlFactory = std::function<Control*(const std::wstring& className)>;

// One entry of the font table.
struct FontRecord {
  HFONT hFont = nullptr;                // owned
  std::wstring face;                    // the face actually asked for
  int size = 0;                         // pixel height after DPI scaling
  bool bold = false;
  bool underline = false;
  bool italic = false;
  Gdiplus::GpFont* gdipFont = nullptr;  // owned
};

class UiRuntime {
 public:
  // Starts GDI+ and makes the memory DC; the other arguments are not used here.
  static void Initialize(const std::wstring& resourceRoot, CustomControlFactory factory, bool ignored,
                         const std::wstring& theme, const std::wstring& language);
  // Deletes the fonts and the memory DC and shuts GDI+ down.
  static void Uninitialize();

  static IRenderFactory* GetRenderFactory();
  static HDC GetMemoryDC();

  // "system" and "button" stand for the configured faces; with none configured the
  // fallback face is used. An id already present keeps its first font.
  static HFONT RegisterFont(const std::wstring& id, const std::wstring& face, int size, bool bold, bool underline,
                            bool italic, bool isDefault);
  // The font of id, the default font for an empty id; null when absent.
  static FontRecord* FindFont(const std::wstring& id);
  static void ClearFonts();

  // An unknown name gives 0.
  static ArgbColor GetColor(const std::wstring& name);
  static void SetColor(const std::wstring& name, ArgbColor color);
};

}  // namespace ui
