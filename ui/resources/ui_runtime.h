#pragma once

// The UI framework's process-wide state: the render factory, the resource root and archive,
// the language and distribution channel, the font, colour and class tables of the skin's
// global markup, the image cache, and the list of live windows. Everything but the language
// belongs to the UI thread.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/geometry.h"

namespace Gdiplus {
class GpFont;
}

namespace ui {

class Box;
class Control;
class IRenderFactory;
class ImageInfo;
class Window;
class ZipArchive;

// Makes program-specific controls for markup element names the framework does not know.
using CustomControlFactory = std::function<Control*(const std::wstring& className)>;

// One entry of the font table.
struct FontRecord {
  HFONT hFont = nullptr;             // owned
  std::wstring face;                 // the face actually asked for
  int size = 0;                      // pixel height after DPI scaling
  bool bold = false;
  bool underline = false;
  bool italic = false;
  Gdiplus::GpFont* gdipFont = nullptr;  // owned
};

// Orders image-cache keys: shorter first; equal lengths by their characters from the last
// one toward the first. Paths of one skin share long prefixes, so this decides early.
struct ImageCacheKeyLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

class UiRuntime {
 public:
  // Start-up on the UI thread, once the skin archive is open: render factory, resource root
  // (resourceRoot + theme), DPI awareness and scale, GDI+, face test, global markup, language
  // file, common controls.
  static void Initialize(const std::wstring& resourceRoot, CustomControlFactory factory, bool ignored,
                         const std::wstring& theme, const std::wstring& language);
  // Closes the archive, deletes the render factory, forgets the windows, deletes the fonts and
  // the memory DC and shuts GDI+ down.
  static void Uninitialize();
  // The language switch: tables emptied, image caches dropped, global markup and language file
  // read again, onDone run, every window repainted. An empty newRoot keeps the resource root.
  static void ReloadResources(const std::wstring& newRoot, std::function<void()> onDone);

  // Render factory (null until one is installed) and the shared memory DC for measuring.
  static IRenderFactory* GetRenderFactory();
  static HDC GetMemoryDC();

  // Resource root, always ending in a separator unless empty.
  static void SetResourceRoot(const std::wstring& path);
  static std::wstring GetResourceRoot();

  // The UI language ("zh_CN" at start). Any thread may read it; readers get a copy.
  static std::wstring GetLanguage();
  static void SetLanguage(const std::wstring& language);
  // The distribution channel ("AppStore" at start) that the controls' "channel" filter tests.
  static std::wstring GetChannel();
  static void SetChannel(const std::wstring& channel);

  // Fonts. "system" and "button" stand for the configured faces (regular, bold, italic) that
  // the launcher installs; an unusable one falls back to the system's default UI face.
  static void SetSystemFaces(const std::wstring& regular, const std::wstring& bold, const std::wstring& italic);
  static void SetButtonFaces(const std::wstring& regular, const std::wstring& bold, const std::wstring& italic);
  // Whether the configured face passed the start-up test; index 0-2 system, 3-5 button.
  static bool IsConfiguredFaceUsable(int index);
  // Creates the font of `id` (an empty id becomes the table's size, "0", "1", ...); an id
  // already present keeps its first font. Null when no font could be made.
  static HFONT RegisterFont(const std::wstring& id, const std::wstring& face, int size, bool bold, bool underline,
                            bool italic, bool isDefault);
  // The font of `id`, the default font for an empty id; null when absent.
  static FontRecord* FindFont(const std::wstring& id);
  static std::wstring GetDefaultFontId();
  // Deletes every font; the default font id stays.
  static void ClearFonts();

  // Colour table: an unknown name gives 0 and is not entered.
  static ArgbColor GetColor(const std::wstring& name);
  static void SetColor(const std::wstring& name, ArgbColor color);
  // Global classes: name -> attribute text; empty for an unknown class.
  static std::wstring GetClassAttributes(const std::wstring& name);
  static void SetClassAttributes(const std::wstring& name, const std::wstring& attributes);
  // Colour names for labels and rich edits that name none.
  static std::wstring GetDefaultTextColor();
  static void SetDefaultTextColor(const std::wstring& colorName);
  static std::wstring GetDefaultDisabledTextColor();
  static void SetDefaultDisabledTextColor(const std::wstring& colorName);

  static const CustomControlFactory& GetCustomControlFactory();

  // Images shared through a cache of weak entries: a path held anywhere is decoded once.
  // Empty when the image cannot be loaded.
  static std::shared_ptr<ImageInfo> GetOrLoadImage(const std::wstring& path);
  // The live cached image of path, never loading; the same key as GetOrLoadImage.
  static std::shared_ptr<ImageInfo> FindCachedImage(const std::wstring& path);
  // The cache key of path: normalised, and in the archive's spelling while one is open.
  static std::wstring ImageCacheKey(const std::wstring& path);
  // The deleter of cached images: erases the cache entry, then deletes the image.
  static void OnCachedImageReleased(ImageInfo* image);

  // Skin markup (built by the markup builder): "global.xml" fills the font, colour and class
  // tables; the cached forms keep one parsed builder per path.
  static void LoadGlobalMarkup();
  static Box* BuildBoxCached(const std::wstring& xmlPath, CustomControlFactory factory);
  static void PopulateBox(Box* box, const std::wstring& xmlPath, CustomControlFactory factory);
  static void PopulateBoxCached(Box* box, const std::wstring& xmlPath, CustomControlFactory factory);

  // Resource archive. While one is open every resource is read from it first.
  static void SetResourceZip(ZipArchive* archive);
  static ZipArchive* GetResourceZip();
  static void CloseResourceZip();
  static unsigned GetLastZipError();
  // "\" -> "/", "//" -> "/", empty, "./" and "../" segments folded ("../" with the segment
  // before it; one at the start is dropped).
  static std::wstring ToZipEntryName(const std::wstring& path);
  // The entry as a movable global block (the caller frees it); null when absent.
  static HGLOBAL ReadZipEntry(const std::wstring& path);
  // A resource's bytes: from the archive when open and holding it, else from the file
  // system; a relative path is taken below the resource root.
  static bool ReadResourceFile(const std::wstring& path, std::string& out);

  // Live windows, in the order they were attached.
  static void AddWindow(Window* window);
  static void RemoveWindow(Window* window);
  static const std::vector<Window*>& GetWindows();
  static Window* FindWindowByHandle(HWND hwnd);
};

}  // namespace ui
