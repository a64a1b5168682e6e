#pragma once

// The launcher's build-tool modes: hash a fixed set of files in the current folder (the
// launcher's folder) and write the version list the content servers publish for them.

#include <list>
#include <string>

constexpr char kDoreveziVersionMapFile[] = "dorevezi_version_map.txt";
constexpr char kDependenceVersionMapFile[] = "dependence_version_map.txt";

// "make_version": "dorevezi.exe", "resources.zip", the four font files and every file below
// "cef", written to "dorevezi_version_map.txt". `version` may be empty ("1.0.0").
// True when the list was written.
bool MakeDoreveziVersionMap(const std::wstring& version);
// "make_dependence_version": every file below "dependence", written to
// "dependence_version_map.txt". True when the list was written.
bool MakeDependenceVersionMap(const std::wstring& version);

// Hashes the files (".\"-prefixed paths) and writes the list form to `outputPath`. Files that
// cannot be opened or read, or that reach 2 GiB (a size the list cannot hold), are left out.
// Keys are the paths without ".\" and with "/" separators; the document is
// {"list": {key: {"md5", "size"}}, "version": text}. True when the file was written.
bool WriteVersionMapOfFiles(const std::list<std::string>& paths, const std::wstring& version,
                            const std::string& outputPath);
