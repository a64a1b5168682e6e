// Choosing and opening the skin archive, reloading the skin after a launcher update or a language
// switch, and reading the channel's link configuration into the core.

#include "dorevezi/core/skin_package.h"

#include <windows.h>

#include <string>

#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/link_config.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/paths.h"
#include "dorevezi/core/resource_fonts.h"
#include "ui/core/string_util.h"
#include "ui/resources/language_table.h"
#include "ui/resources/ui_runtime.h"
#include "ui/resources/zip_archive.h"

namespace {

bool OpensForReading(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// "resources.zip" through its copy in the update folder; false when there is none, or the copy or
// the archive does not open.
bool OpenSkinFile() {
  if (!OpensForReading(kSkinArchiveFileName)) return false;
  ui::UiRuntime::CloseResourceZip();
  const std::wstring copy = NormalizePath(GetUpdateFolder(), true) + kSkinArchiveCopyName;
  if (!CopyFileW(kSkinArchiveFileName, copy.c_str(), FALSE)) return false;
  ui::ZipArchive* archive = ui::OpenZipArchive(copy.c_str(), 0, ui::kZipSourceFileName, "");
  if (!archive) return false;
  ui::UiRuntime::SetResourceZip(archive);
  return true;
}

void OpenCompiledInSkin() {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(kSkinResourceId), kSkinResourceType);
  HGLOBAL loaded = resource ? LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = resource ? SizeofResource(nullptr, resource) : 0;
  ui::UiRuntime::CloseResourceZip();
  if (!bytes) return;
  ui::ZipArchive* archive = ui::OpenZipArchive(bytes, size, ui::kZipSourceMemory, "");
  if (archive) ui::UiRuntime::SetResourceZip(archive);
}

std::wstring CoreLanguage() {
  std::wstring language;
  ui::MultiByteToWide(DoreveziCore::GetInstance().GetEnvConfig().languageCode, language, CP_ACP);
  return language;
}

}  // namespace

void LoadResourcePackage() {
  if (!OpenSkinFile()) OpenCompiledInSkin();
}

bool DoreveziCore::LoadCommonConfig() {
  std::string text;
  if (!ui::UiRuntime::ReadResourceFile(kChannelLinkConfigName, text) &&
      !ui::UiRuntime::ReadResourceFile(kLinkConfigName, text)) {
    return false;
  }
  LinkConfiguration config;
  if (!ParseLinkConfiguration(text, GetEnvConfig().languageCode, config)) return false;
  titles = config.titles;
  links = config.links;
  jumpLinks = config.jumpLinks;
  for (const auto& entry : config.overrides) ui::LanguageTable::Instance()->SetOverride(entry.first, entry.second);
  return true;
}

void DoreveziCore::ReloadResources(std::function<void()> done) {
  base::ThreadRegistry::PostTask(base::kThreadIdUi, [this, done] {
    LoadResourcePackage();
    ui::UiRuntime::ReloadResources(L"", nullptr);
    resourcesChange = 0;
    if (LoadCommonConfig()) NotifyMainWindow(kMsgRebuildAll, 0, 0);
    if (done) base::ThreadRegistry::PostTask(base::kThreadIdMisc, done);
  });
}

bool DoreveziCore::SwitchUiLanguage() {
  const std::wstring language = CoreLanguage();
  if (ui::UiRuntime::GetLanguage() == language) return false;
  ui::UiRuntime::SetLanguage(language);
  ApplyResourceFontFaces();
  ui::UiRuntime::ReloadResources(L"", nullptr);
  if (LoadCommonConfig()) NotifyMainWindow(kMsgRebuildAll, 0, 0);
  return true;
}
