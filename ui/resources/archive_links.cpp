// The runtime's resource archive and language file, read through the skin archive reader and
// the language table.

#include "ui/resources/runtime_links.h"

#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"
#include "ui/resources/zip_archive.h"

namespace ui {

unsigned FindResourceZipEntry(const wchar_t* name, int* index, ZipEntry* entry) {
  return FindZipArchiveEntry(UiRuntime::GetResourceZip(), name, index, entry);
}

unsigned FindResourceArchiveEntry(const std::wstring& name, int* index, unsigned* size) {
  ZipEntry entry;
  int found = -1;
  const unsigned result = FindResourceZipEntry(name.c_str(), &found, &entry);
  if (index) *index = result == kZipOk ? found : -1;
  if (size) *size = result == kZipOk ? entry.uncompressedSize : 0;
  return result;
}

unsigned UnzipResourceArchiveEntry(ZipArchive* archive, int index, void* buffer, unsigned size) {
  if (archive == nullptr || archive->reader == nullptr) return kZipBadArguments;
  if (archive->mode != kZipModeRead) return kZipWrongMode;
  // Only a whole entry counts: a buffer it does not fill (kZipMore) is a failure here.
  return archive->reader->UnzipToMemory(index, buffer, size);
}

void CloseArchive(ZipArchive* archive) { CloseZipArchive(archive); }

bool LoadLanguageFile(const std::wstring& path) { return LanguageTable::Instance()->LoadFile(path); }

bool LoadLanguageFromMemory(HGLOBAL block) { return LanguageTable::Instance()->LoadFromMemory(block); }

}  // namespace ui
