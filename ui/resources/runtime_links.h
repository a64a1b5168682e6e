#pragma once

// What the runtime needs of the framework's other parts, in one place: the render factory,
// the archive reader, the language table, the markup builder and the windows. Each group is
// defined in its own small file beside this one, so the part that provides it fills exactly
// that file.

#include <windows.h>

#include <string>

namespace ui {

class Control;
class IRenderFactory;
class RenderFactory_GdiPlus;
class Window;
class ZipArchive;

// render_factory_slot.cpp: the runtime owns the factory by its concrete type.
RenderFactory_GdiPlus* NewRenderFactory();
void DeleteRenderFactory(RenderFactory_GdiPlus* factory);
IRenderFactory* AsRenderFactory(RenderFactory_GdiPlus* factory);

// archive_links.cpp: the resource archive and the language table.
// Finds `name` (already in the archive's spelling) in the runtime's resource archive:
// 0 with its index and uncompressed size, else the reader's error code.
unsigned FindResourceArchiveEntry(const std::wstring& name, int* index, unsigned* size);
// Inflates entry `index` of the resource archive into buffer: 0 on success.
unsigned UnzipResourceArchiveEntry(ZipArchive* archive, int index, void* buffer, unsigned size);
void CloseArchive(ZipArchive* archive);
bool LoadLanguageFile(const std::wstring& path);
bool LoadLanguageFromMemory(HGLOBAL block);

// markup_links.cpp: the live windows and their trees.
HWND WindowHandleOf(Window* window);
// The window's root control, null while it has none.
Control* WindowRootOf(Window* window);
void DropControlImageCaches(Control* root);
void InvalidateControl(Control* root);

// The reader's code for "no archive is open".
constexpr unsigned kNoArchiveOpen = 0x10000;

}  // namespace ui
