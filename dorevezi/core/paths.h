#pragma once

// The launcher's fixed working folders and the small file-system operations shared by the
// core, the update engine and the version-list tool. Most operations exist twice: an 8-bit
// form (suffix A, ANSI code page paths) and a wide form. Relative paths are relative to the
// current directory, which the entry point sets to the launcher's own folder. Nothing here
// throws or shows anything; every operation reports by its result.

#include <fstream>
#include <list>
#include <string>

// Fixed folders, composed once and returned as the same text on every call.
const char* GetSaveFolderA();              // .\save
const wchar_t* GetSaveFolder();            // .\save
const wchar_t* GetUpdateFolder();          // .\update
const wchar_t* GetExceptionFolder();       // .\exception
const char* GetPreDownloadFolderA();       // .\update\predownload
const wchar_t* GetDefaultInstallFolder();  // <launcher folder>\Varnholt Game

// "/" becomes "\"; with `trailingSeparator` exactly one separator is ensured at the end
// (an empty path becomes "\"), without it every trailing separator is removed.
std::string NormalizePathA(const std::string& path, bool trailingSeparator);
std::wstring NormalizePath(const std::wstring& path, bool trailingSeparator);

// Cuts at the last separator: false (outputs untouched) for an empty path, a path without
// separator, or one whose only separator is its first character.
bool SplitPathA(const std::string& path, std::string& folder, std::string& name);
bool SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name);

// Appends every file below `folder` (at any depth, as folder\sub\name) to `files`, skipping
// folders whose name is in `excludedNames` at every depth. Returns the number of entries now
// in `files`, or -1 when `folder` cannot be listed.
int ListFilesRecursive(const std::string& folder, std::list<std::string>& files,
                       std::list<std::string> excludedNames);
// Replaces `names` with the bare names of the folders directly below `folder`; returns
// their number, or -1 when `folder` cannot be listed.
int ListSubfolders(const std::string& folder, std::list<std::string>& names);

// Reads everything left in the stream into `out` (replacing it) and closes the file; false
// only when reading failed part-way.
bool ReadStreamToString(std::ifstream& in, std::string& out);
// Whole file, byte for byte; false (content untouched) when it cannot be opened or read.
bool ReadWholeFileA(const std::string& path, std::string& content);
bool ReadWholeFile(const std::wstring& path, std::string& content);

// Replaces the file whole. The bytes go to a temporary file beside it, which is flushed,
// checked and then moved over the target, so a crash or a full disk never leaves a truncated
// file: on false the previous file is untouched and no temporary file remains.
bool WriteWholeFileA(const std::string& path, const std::string& content);
bool WriteWholeFile(const std::wstring& path, const std::string& content);

// Creates every level of `path` that is missing; false only for an empty path (callers that
// need the folder test it afterwards).
bool CreateFolderPathA(const std::string& path);
bool CreateFolderPath(const std::wstring& path);

// Deletes the folder with everything in it; files that cannot be deleted keep their folders.
void DeleteFolderTree(const std::string& path);

// Whether the path (relative ones taken from the current folder) is an existing folder.
bool IsFolderA(const std::string& path);
bool IsFolder(const std::wstring& path);
