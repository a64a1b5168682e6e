#include "dorevezi/core/resource_fonts.h"

#include <windows.h>
#include <shlobj.h>

#include <json/json.h>

#include <cwchar>
#include <map>

#include "dorevezi/core/command_line.h"
#include "dorevezi/core/core_tables.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/md5.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/save_files.h"
#include "dorevezi/core/sys_info.h"
#include "dorevezi/core/version_map.h"
#include "ui/core/string_util.h"
#include "ui/render/text_anti_alias.h"
#include "ui/resources/ui_runtime.h"

namespace {

constexpr wchar_t kFontResourceType[] = L"FONTS";
constexpr wchar_t kDefaultFontsFolder[] = L"C:\\Windows\\Fonts";

std::wstring g_fontsFolderOverride;

// File name -> MD5 of the font files the launcher wrote.
using InstalledFonts = std::map<std::string, std::string>;

std::string Utf8(const std::wstring& text) {
  std::string out;
  ui::WideToMultiByte(text, out, CP_UTF8);
  return out;
}

std::string AnsiPath(const std::wstring& path) {
  std::string out;
  ui::WideToMultiByte(path, out, CP_ACP);
  return out;
}

std::wstring WideFromAnsi(const std::string& text) {
  std::wstring out;
  ui::MultiByteToWide(text, out, CP_ACP);
  return out;
}

std::string Md5OfBytes(const char* data, size_t size) {
  Md5Context context;
  context.Update(data, size);
  context.Finalize();
  return context.HexDigest();
}

// Empty when the file cannot be read.
std::string Md5OfFile(const std::wstring& path) {
  std::string content;
  if (!ReadWholeFile(path, content)) return std::string();
  return Md5OfBytes(content.data(), content.size());
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool OpensForReading(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::wstring InstalledFontsPath() {
  return SaveFilePath(kInstalledFontsFileName);
}

InstalledFonts LoadInstalledFonts() {
  InstalledFonts fonts;
  std::string text;
  Json::Value root;
  std::string error;
  if (!ReadWholeFile(InstalledFontsPath(), text) || !ParseJson(text, root, error) || !root.isObject()) {
    return fonts;
  }
  for (const std::string& name : root.getMemberNames()) {
    if (root[name].isString()) fonts[name] = root[name].asString();
  }
  return fonts;
}

void SaveInstalledFonts(const InstalledFonts& fonts) {
  Json::Value root(Json::objectValue);
  for (const auto& font : fonts) root[font.first] = font.second;
  if (!IsFolder(GetSaveFolder())) CreateFolderPath(GetSaveFolder());
  WriteJsonFile(AnsiPath(InstalledFontsPath()), root);
}

// The launcher may replace or remove the file: it is missing, or it is one the launcher wrote and
// nobody has changed since.
bool IsOwnOrMissing(const std::wstring& path, const std::string& name, const InstalledFonts& fonts) {
  if (!FileExists(path)) return true;
  const auto found = fonts.find(name);
  return found != fonts.end() && !found->second.empty() && Md5OfFile(path) == found->second;
}

// Writes the resource's bytes as the font file; a partly written file is removed, or the next
// start would find it and keep it.
bool WriteFontResource(int32_t resourceId, const std::wstring& path, std::string& md5) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(resourceId), kFontResourceType);
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const DWORD size = SizeofResource(nullptr, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
  CloseHandle(file);
  if (!ok || written < size) {
    DeleteFileW(path.c_str());
    return false;
  }
  md5 = Md5OfBytes(static_cast<const char*>(bytes), size);
  return true;
}

void BroadcastFontChange() {
  PostMessageW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
}

// Names of a list file that may be used as paths below ".\update" and the destination folders.
std::list<std::string> SafeNames(const std::list<std::string>& names) {
  std::list<std::string> safe;
  for (const std::string& name : names) {
    if (IsSafeRelativePath(name)) safe.push_back(name);
  }
  return safe;
}

// Keeps the names still to copy, or deletes the list when none is left.
void RewriteList(const char* path, const std::list<std::string>& remaining) {
  if (remaining.empty()) {
    DeleteFileA(path);
  } else {
    WriteStringListFile(path, remaining);
  }
}

std::string UpdateSource(const std::string& name) {
  return NormalizePathA(".\\update\\" + name, false);
}

}  // namespace

void SetFontsFolderForTesting(const std::wstring& folder) {
  g_fontsFolderOverride = folder;
}

std::wstring GetFontsFolder() {
  if (!g_fontsFolderOverride.empty()) return g_fontsFolderOverride;
  wchar_t folder[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, folder)) && folder[0]) {
    return NormalizePath(folder, false);
  }
  return kDefaultFontsFolder;
}

void ApplyResourceFontFaces() {
  ui::UiRuntime::SetButtonFaces(kResourceFonts[2].face, kResourceFonts[3].face, kResourceFonts[2].face);
}

int InstallResourceFonts() {
  const std::wstring folder = GetFontsFolder();
  InstalledFonts installed = LoadInstalledFonts();
  for (const ResourceFont& font : kResourceFonts) {
    const std::wstring path = folder + L"\\" + font.fileName;
    if (!OpensForReading(path)) {
      std::string md5;
      if (!WriteFontResource(font.resourceId, path, md5)) return 0;
      installed[Utf8(font.fileName)] = md5;
      SaveInstalledFonts(installed);
    }
    if (SetMachineRegistryString(kFontRegistryKey, L"", font.registryValueName, font.fileName) < 0) return 0;
  }
  ApplyFontUpdateList();
  // Fonts written now are only seen by processes started later: this one adds them for itself.
  for (const ResourceFont& font : kResourceFonts) {
    AddFontResourceExW((folder + L"\\" + font.fileName).c_str(), FR_PRIVATE, nullptr);
  }
  ui::UiRuntime::SetSystemFaces(kResourceFonts[2].face, kResourceFonts[3].face, kResourceFonts[2].face);
  ApplyResourceFontFaces();
  g_textAntiAlias = true;
  if (g_hasTextRenderingArgument) {
    g_textAntiAlias = wcscmp(g_textRenderingArgument, kTextAntiAliasOption) == 0 ||
                      wcscmp(g_textRenderingArgument, kTextAntiAliasShortOption) == 0;
  }
  return 1;
}

void UninstallResourceFonts() {
  const std::wstring folder = GetFontsFolder();
  InstalledFonts installed = LoadInstalledFonts();
  std::list<std::wstring> removable;
  for (const ResourceFont& font : kResourceFonts) {
    const std::wstring path = folder + L"\\" + font.fileName;
    const std::string name = Utf8(font.fileName);
    if (installed.find(name) == installed.end() || !IsOwnOrMissing(path, name, installed)) continue;
    RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontRegistryKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, font.registryValueName);
      RegCloseKey(key);
    }
    removable.push_back(path);
  }
  BroadcastFontChange();
  for (const std::wstring& path : removable) {
    if (FileExists(path)) DeleteFileW(path.c_str());
  }
}

void ApplyFontUpdateList() {
  std::list<std::string> names;
  if (!ReadStringListFile(kFontUpdateListPath, names)) return;
  const std::wstring folder = GetFontsFolder();
  InstalledFonts installed = LoadInstalledFonts();
  std::list<std::string> failed;
  for (const std::string& name : SafeNames(names)) {
    const std::string source = UpdateSource(name);
    const std::wstring wideName = WideFromAnsi(NormalizePathA(name, false));
    const std::wstring destination = folder + L"\\" + wideName;
    const std::string recordName = Utf8(wideName);
    // Someone else's font of the same name stays; it is not a failed copy.
    if (IsOwnOrMissing(destination, recordName, installed)) {
      if (!CopyFileW(WideFromAnsi(source).c_str(), destination.c_str(), FALSE)) {
        failed.push_back(name);
        continue;
      }
      installed[recordName] = Md5OfFile(destination);
      SaveInstalledFonts(installed);
    }
    if (!CopyFileA(source.c_str(), NormalizePathA(name, false).c_str(), FALSE)) {
      failed.push_back(name);
      continue;
    }
    DeleteFileA(source.c_str());
  }
  RewriteList(kFontUpdateListPath, failed);
}

void ApplyCefUpdateList() {
  std::list<std::string> names;
  if (!ReadStringListFile(kCefUpdateListPath, names)) return;
  std::list<std::string> failed;
  for (const std::string& name : SafeNames(names)) {
    const std::string source = UpdateSource(name);
    const std::string destination = NormalizePathA(name, false);
    std::string destinationFolder;
    std::string fileName;
    if (SplitPathA(destination, destinationFolder, fileName)) CreateFolderPathA(destinationFolder);
    if (CopyFileA(source.c_str(), destination.c_str(), FALSE)) {
      DeleteFileA(source.c_str());
    } else {
      failed.push_back(name);
    }
  }
  RewriteList(kCefUpdateListPath, failed);
}

bool HasPendingCefUpdate() {
  std::list<std::string> names;
  return ReadStringListFile(kCefUpdateListPath, names) && !names.empty();
}

bool WriteDeferredUpdateList(const std::string& path, const std::list<std::string>& names) {
  std::list<std::string> merged;
  ReadStringListFile(path, merged);
  for (const std::string& name : names) {
    bool listed = false;
    for (const std::string& kept : merged) listed = listed || kept == name;
    if (!listed) merged.push_back(name);
  }
  return WriteStringListFile(path, merged);
}
