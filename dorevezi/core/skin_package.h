#pragma once

// The skin archive the UI framework reads: "resources.zip" beside the launcher, used through a copy
// in the update folder so that a launcher update can replace it while the launcher runs, else the
// archive compiled into the executable (resource "RESOURCES" 129).

constexpr wchar_t kSkinArchiveFileName[] = L"resources.zip";
constexpr wchar_t kSkinArchiveCopyName[] = L"tmp_resources.zip";
constexpr wchar_t kSkinResourceType[] = L"RESOURCES";
constexpr int kSkinResourceId = 129;
constexpr wchar_t kChannelLinkConfigName[] = L"common_config_CHANNEL_CN.json";
constexpr wchar_t kLinkConfigName[] = L"common_config.json";

// UI thread: opens the skin archive for the UI framework. A "resources.zip" that cannot be copied
// or opened gives the compiled-in skin.
void LoadResourcePackage();
