#include "ui/resources/runtime_links.h"

// The archive reader and the language table are not part of the framework yet: no archive
// can be open, so every lookup answers "no archive", and no language file is read.
namespace ui {

unsigned FindResourceArchiveEntry(const std::wstring& /*name*/, int* index, unsigned* size) {
  if (index) *index = -1;
  if (size) *size = 0;
  return kNoArchiveOpen;
}

unsigned UnzipResourceArchiveEntry(ZipArchive* /*archive*/, int /*index*/, void* /*buffer*/, unsigned /*size*/) {
  return kNoArchiveOpen;
}

void CloseArchive(ZipArchive* /*archive*/) {}

bool LoadLanguageFile(const std::wstring& /*path*/) { return false; }

bool LoadLanguageFromMemory(HGLOBAL /*block*/) { return false; }

}  // namespace ui
