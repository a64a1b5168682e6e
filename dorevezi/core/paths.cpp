#include "dorevezi/core/paths.h"

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/base_util.h"
#include "ui/core/string_util.h"

namespace {

constexpr size_t kFolderBufferChars = MAX_PATH;

// The folder every fixed working folder hangs off: the current directory.
const char* BaseFolderA() {
  static const char base[] = ".";
  return base;
}

const wchar_t* BaseFolder() {
  static const wchar_t base[] = L".";
  return base;
}

struct NarrowFolder {
  NarrowFolder(const char* parent, const char* name) { snprintf(text, sizeof(text), "%s\\%s", parent, name); }
  char text[kFolderBufferChars];
};

struct WideFolder {
  WideFolder(const wchar_t* parent, const wchar_t* name) {
    _snwprintf(text, kFolderBufferChars - 1, L"%s\\%s", parent, name);
    text[kFolderBufferChars - 1] = L'\0';
  }
  wchar_t text[kFolderBufferChars];
};

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

template <typename StringT>
StringT NormalizeSeparators(const StringT& path, bool trailingSeparator) {
  using Char = typename StringT::value_type;
  StringT result = path;
  for (auto& c : result) {
    if (c == Char('/')) c = Char('\\');
  }
  if (trailingSeparator) {
    if (result.empty() || !IsSeparator(result.back())) result.push_back(Char('\\'));
  } else {
    while (!result.empty() && IsSeparator(result.back())) result.pop_back();
  }
  return result;
}

template <typename StringT>
bool SplitAtLastSeparator(const StringT& path, StringT& folder, StringT& name) {
  using Char = typename StringT::value_type;
  if (path.empty()) return false;
  StringT unified = path;
  for (auto& c : unified) {
    if (c == Char('/')) c = Char('\\');
  }
  typename StringT::size_type at = unified.rfind(Char('\\'));
  if (at == StringT::npos || at == 0) return false;
  folder = unified.substr(0, at);
  name = unified.substr(at + 1);
  return true;
}

bool IsDotEntry(const char* name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

std::wstring AnsiToWide(const std::string& text) {
  std::wstring wide;
  ui::MultiByteToWide(text, wide, CP_ACP);
  return wide;
}

// A short unique name in the target's own folder, so the final move is a rename on one volume.
std::wstring TemporaryPathBeside(const std::wstring& path) {
  static std::atomic<unsigned> counter{0};
  std::wstring::size_type separator = path.find_last_of(L"\\/");
  std::wstring folder = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
  wchar_t name[48];
  _snwprintf(name, 47, L"~dv%lx-%x.tmp", GetCurrentProcessId(), counter.fetch_add(1) + 1);
  name[47] = L'\0';
  return folder + name;
}

bool WriteAllBytes(HANDLE file, const std::string& content) {
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written != chunk) return false;
    data += written;
    left -= written;
  }
  return true;
}

bool HasSize(HANDLE file, size_t expected) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) && static_cast<unsigned long long>(size.QuadPart) == expected;
}

}  // namespace

const char* GetSaveFolderA() {
  static const NarrowFolder folder(BaseFolderA(), "save");
  return folder.text;
}

const wchar_t* GetSaveFolder() {
  static const WideFolder folder(BaseFolder(), L"save");
  return folder.text;
}

const wchar_t* GetUpdateFolder() {
  static const WideFolder folder(BaseFolder(), L"update");
  return folder.text;
}

const wchar_t* GetExceptionFolder() {
  static const WideFolder folder(BaseFolder(), L"exception");
  return folder.text;
}

const char* GetPreDownloadFolderA() {
  static const NarrowFolder update(BaseFolderA(), "update");
  static const NarrowFolder folder(update.text, "predownload");
  return folder.text;
}

const wchar_t* GetDefaultInstallFolder() {
  // Kept whole: a deep launcher folder must not cut the install path.
  static const std::wstring folder = base::OwnModuleDirectory() + L"Varnholt Game";
  return folder.c_str();
}

std::string NormalizePathA(const std::string& path, bool trailingSeparator) {
  return NormalizeSeparators(path, trailingSeparator);
}

std::wstring NormalizePath(const std::wstring& path, bool trailingSeparator) {
  return NormalizeSeparators(path, trailingSeparator);
}

bool SplitPathA(const std::string& path, std::string& folder, std::string& name) {
  return SplitAtLastSeparator(path, folder, name);
}

bool SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& name) {
  return SplitAtLastSeparator(path, folder, name);
}

int ListFilesRecursive(const std::string& folder, std::list<std::string>& files,
                       std::list<std::string> excludedNames) {
  const std::string base = NormalizePathA(folder, true);
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((base + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return -1;
  std::list<std::string> subfolders;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (IsDotEntry(data.cFileName)) continue;
      bool excluded = false;
      for (const std::string& name : excludedNames) {
        if (name == data.cFileName) {
          excluded = true;
          break;
        }
      }
      if (!excluded) subfolders.push_back(base + data.cFileName);
    } else {
      files.push_back(base + data.cFileName);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  for (const std::string& subfolder : subfolders) ListFilesRecursive(subfolder, files, excludedNames);
  return static_cast<int>(files.size());
}

int ListSubfolders(const std::string& folder, std::list<std::string>& names) {
  names.clear();
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((NormalizePathA(folder, true) + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return -1;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDotEntry(data.cFileName)) {
      names.push_back(data.cFileName);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return static_cast<int>(names.size());
}

bool ReadStreamToString(std::ifstream& in, std::string& out) {
  out.clear();
  std::streampos start = in.tellg();
  if (start != std::streampos(-1) && in.seekg(0, std::ios::end)) {
    std::streampos end = in.tellg();
    if (end != std::streampos(-1) && end > start) out.reserve(static_cast<size_t>(end - start));
    in.seekg(start);
  }
  in.clear();
  char buffer[64 * 1024];
  while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) {
    out.append(buffer, static_cast<size_t>(in.gcount()));
  }
  bool readFailed = in.bad();
  in.close();
  return !readFailed;
}

bool ReadWholeFileA(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  std::string bytes;
  if (!ReadStreamToString(in, bytes)) return false;
  content.swap(bytes);
  return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& content) {
  std::ifstream in(path.c_str(), std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  std::string bytes;
  if (!ReadStreamToString(in, bytes)) return false;
  content.swap(bytes);
  return true;
}

bool WriteWholeFileA(const std::string& path, const std::string& content) {
  if (path.empty()) return false;
  return WriteWholeFile(AnsiToWide(path), content);
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
  if (path.empty() || IsSeparator(path.back())) return false;
  // A read-only file is not replaced, as Windows refuses to open one for writing.
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return false;
  }
  const std::wstring temporary = TemporaryPathBeside(path);
  HANDLE file =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool complete = WriteAllBytes(file, content) && FlushFileBuffers(file) && HasSize(file, content.size());
  complete = CloseHandle(file) && complete;
  if (complete) {
    complete =
        MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }
  if (!complete) DeleteFileW(temporary.c_str());
  return complete;
}

bool CreateFolderPathA(const std::string& path) {
  if (path.empty()) return false;
  const std::string full = NormalizePathA(path, true);
  for (std::string::size_type at = full.find('\\', 1); at != std::string::npos;
       at = full.find('\\', at + 1)) {
    std::string prefix = full.substr(0, at + 1);
    if (prefix == ".\\") continue;
    CreateDirectoryA(prefix.c_str(), nullptr);
  }
  return true;
}

bool CreateFolderPath(const std::wstring& path) {
  if (path.empty()) return false;
  const std::wstring full = NormalizePath(path, true);
  for (std::wstring::size_type at = full.find(L'\\', 1); at != std::wstring::npos;
       at = full.find(L'\\', at + 1)) {
    std::wstring prefix = full.substr(0, at + 1);
    if (prefix == L".\\") continue;
    CreateDirectoryW(prefix.c_str(), nullptr);
  }
  return true;
}

void DeleteFolderTree(const std::string& path) {
  const std::string base = NormalizePathA(path, true);
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((base + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (IsDotEntry(data.cFileName)) continue;
    std::string child = base + data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteFolderTree(child);
    } else if (SetFileAttributesA(child.c_str(), 0xFFFFFFFE)) {
      DeleteFileA(child.c_str());
    }
  } while (FindNextFileA(find, &data));
  if (GetLastError() == ERROR_NO_MORE_FILES) RemoveDirectoryA(base.c_str());
  FindClose(find);
}

bool IsFolderA(const std::string& path) {
  if (path.empty()) return false;
  std::unique_ptr<char, decltype(&free)> full(_fullpath(nullptr, path.c_str(), 0), &free);
  return full && PathIsDirectoryA(full.get());
}

bool IsFolder(const std::wstring& path) {
  if (path.empty()) return false;
  std::unique_ptr<wchar_t, decltype(&free)> full(_wfullpath(nullptr, path.c_str(), 0), &free);
  return full && PathIsDirectoryW(full.get());
}
