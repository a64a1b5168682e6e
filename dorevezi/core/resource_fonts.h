#pragma once

// The launcher's four fonts, carried in its executable as "FONTS" resources: installed into the
// Windows fonts folder and the machine's font registry at every start, removed before a font
// update, and the staged browser-runtime and font files of a launcher update copied into place by
// the replace run.
//
// The launcher only ever removes or overwrites font files it wrote itself: what it wrote is
// recorded (file name and MD5) in "save\installed_fonts.json", and a file that is not in that
// record, or no longer has the recorded MD5, belongs to someone else and is left alone.

#include <list>
#include <string>

constexpr char kCefUpdateListPath[] = ".\\update\\cef_update.txt";
constexpr char kFontUpdateListPath[] = ".\\update\\font_update.txt";
constexpr wchar_t kInstalledFontsFileName[] = L"installed_fonts.json";
constexpr wchar_t kFontRegistryKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
// The "set_language" rendering arguments that keep anti-aliased text.
constexpr wchar_t kTextAntiAliasOption[] = L"text_anti_alias";
constexpr wchar_t kTextAntiAliasShortOption[] = L"taa";

// The system's fonts folder (asked of the system, "C:\Windows\Fonts" when it does not answer),
// without a trailing separator.
std::wstring GetFontsFolder();

// 1 when all four fonts are in place and registered (the font update list is then applied, the
// UI faces set and the anti-alias choice made, and the fonts are usable by this process at once);
// 0 at the first failure, leaving the rest undone.
int InstallResourceFonts();
// Removes the registry values and the files of the fonts the launcher installed and that are
// unchanged (or already gone), and announces the change.
void UninstallResourceFonts();
// Copies the fonts named in ".\update\font_update.txt" into the fonts folder and the launcher
// folder; the names whose copies failed stay in the list for the next start.
void ApplyFontUpdateList();
// Copies the files named in ".\update\cef_update.txt" from ".\update" into the launcher folder;
// the names whose copies failed stay in the list, for the next exit.
void ApplyCefUpdateList();
// Sets the UI framework's "button" faces from the font table.
void ApplyResourceFontFaces();

// Whether a browser-runtime update is still waiting for its files to be copied (the exit path
// starts the replace run for it).
bool HasPendingCefUpdate();

// Writes a deferred update list, merging the names a kept list still holds (a launcher update
// must not drop the files an earlier update could not copy). False when the write failed.
bool WriteDeferredUpdateList(const std::string& path, const std::list<std::string>& names);

// Where the fonts folder and the install record are; tests point them elsewhere.
void SetFontsFolderForTesting(const std::wstring& folder);
