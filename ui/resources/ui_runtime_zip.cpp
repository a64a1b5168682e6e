// Resource reads of ui::UiRuntime: the archive's entry names, entries as memory blocks, and
// files read from the archive or, failing that, from disk.

#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "ui/core/string_util.h"
#include "ui/resources/runtime_state.h"
#include "ui/resources/ui_runtime.h"

namespace ui {

namespace {

// Inflates the named entry of the open archive into a new movable block; null on any failure.
HGLOBAL InflateEntry(RuntimeState& state, const std::wstring& entryName, unsigned* entrySize = nullptr) {
  int index = -1;
  unsigned size = 0;
  state.lastZipError = FindResourceArchiveEntry(entryName, &index, &size);
  if (state.lastZipError != 0 || index < 0) return nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD | GMEM_ZEROINIT, size);
  if (!block) return nullptr;
  void* bytes = GlobalLock(block);
  if (!bytes) {
    GlobalFree(block);
    return nullptr;
  }
  state.lastZipError = UnzipResourceArchiveEntry(state.resourceZip, index, bytes, size);
  GlobalUnlock(block);
  if (state.lastZipError != 0) {
    GlobalFree(block);
    return nullptr;
  }
  if (entrySize) *entrySize = size;
  return block;
}

}  // namespace

void UiRuntime::SetResourceZip(ZipArchive* archive) { GetRuntimeState().resourceZip = archive; }

ZipArchive* UiRuntime::GetResourceZip() { return GetRuntimeState().resourceZip; }

void UiRuntime::CloseResourceZip() {
  RuntimeState& state = GetRuntimeState();
  if (!state.resourceZip) return;
  CloseArchive(state.resourceZip);
  state.resourceZip = nullptr;
  state.lastZipError = 0;
}

unsigned UiRuntime::GetLastZipError() { return GetRuntimeState().lastZipError; }

std::wstring UiRuntime::ToZipEntryName(const std::wstring& path) {
  std::wstring name = path;
  for (wchar_t& c : name) {
    if (c == L'\\') c = L'/';
  }
  ReplaceAllWide(L"//", L"/", name);
  // Every segment that a "/" ends is folded; the last one (no "/" after it) stays as it is.
  std::vector<std::wstring> kept;
  size_t start = 0;
  for (;;) {
    const size_t slash = name.find(L'/', start);
    if (slash == std::wstring::npos) break;
    std::wstring segment = name.substr(start, slash - start);
    start = slash + 1;
    if (segment.empty() || segment == L".") continue;
    if (segment == L"..") {
      // Nothing lies above the archive's root: a leading step is dropped.
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(std::move(segment));
  }
  std::wstring result;
  for (const std::wstring& segment : kept) {
    result += segment;
    result += L'/';
  }
  result += name.substr(start);
  return result;
}

HGLOBAL UiRuntime::ReadZipEntry(const std::wstring& path) {
  RuntimeState& state = GetRuntimeState();
  if (!state.resourceZip) return nullptr;
  const std::wstring name = ToZipEntryName(path);
  if (name.empty()) return nullptr;
  return InflateEntry(state, name);
}

bool UiRuntime::ReadResourceFile(const std::wstring& path, std::string& out) {
  RuntimeState& state = GetRuntimeState();
  std::wstring full = PathIsRelativeW(path.c_str()) ? state.resourceRoot + path : path;
  full = NormalizePath(full);
  if (state.resourceZip) {
    const std::wstring name = ToZipEntryName(full);
    if (!name.empty()) {
      unsigned size = 0;
      if (HGLOBAL block = InflateEntry(state, name, &size)) {
        const char* bytes = static_cast<const char*>(GlobalLock(block));
        if (bytes) {
          out.assign(bytes, size);
          GlobalUnlock(block);
          GlobalFree(block);
          return true;
        }
        GlobalFree(block);
      }
    }
  }
  FILE* file = _wfopen(full.c_str(), L"rb");
  if (!file) return false;
  out.clear();
  char buffer[16384];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) out.append(buffer, got);
  fclose(file);
  return true;
}

}  // namespace ui
