#pragma once

// The skin archive the resource tests carry (tests/ui/resources/fixtures, made with Debian's zip
// by make_fixtures.sh), what its entries hold, and the few zip structures the damage cases
// patch.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ziptest {

// DV_SOURCE_DIR is a Unix path; Wine shows it on drive Z:.
inline std::wstring FixturePath(const std::wstring& name) {
  const wchar_t* root = _wgetenv(L"DV_SOURCE_DIR");
  std::wstring path = root ? root : L".";
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  path += L"/tests/ui/resources/fixtures/" + name;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

inline std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  fclose(file);
  return bytes;
}

inline bool WriteAll(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

inline std::string SkinArchive() { return ReadAll(FixturePath(L"skin.zip")); }

constexpr int kSkinEntryCount = 16;
const char kZhCnIni[] = "; zh_CN\nSTRING_TITLE = Dorevezi\nSTRING_LAST = the end";
const char kStoredTxt[] = "stored bytes, not deflated\n";

inline std::string BigText() {
  std::string text;
  char line[64];
  for (int i = 1; i <= 4000; ++i) {
    snprintf(line, sizeof line, "line %05d of a long, very compressible text\n", i);
    text += line;
  }
  return text;
}

inline uint32_t U16(const std::string& b, size_t at) { return uint8_t(b[at]) | uint32_t(uint8_t(b[at + 1])) << 8; }
inline uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
inline void PutU16(std::string& b, size_t at, uint32_t v) {
  b[at] = char(v & 0xFF);
  b[at + 1] = char((v >> 8) & 0xFF);
}
inline void PutU32(std::string& b, size_t at, uint32_t v) {
  PutU16(b, at, v & 0xFFFF);
  PutU16(b, at + 2, v >> 16);
}

// The end-of-directory record (the archive has no comment) and one directory record.
inline size_t EndRecord(const std::string& zip) { return zip.size() - 22; }
inline size_t DirectoryOffset(const std::string& zip) { return U32(zip, EndRecord(zip) + 16); }

struct DirectoryRecord {
  size_t at;     // the central record
  size_t local;  // the local header
  size_t data;   // the entry's stored bytes
  std::string name;
};

inline std::vector<DirectoryRecord> Directory(const std::string& zip) {
  std::vector<DirectoryRecord> records;
  size_t at = DirectoryOffset(zip);
  for (uint32_t i = 0; i < U16(zip, EndRecord(zip) + 10); ++i) {
    DirectoryRecord r;
    r.at = at;
    r.local = U32(zip, at + 42);
    r.name = zip.substr(at + 46, U16(zip, at + 28));
    r.data = r.local + 30 + U16(zip, r.local + 26) + U16(zip, r.local + 28);
    records.push_back(r);
    at += 46 + U16(zip, at + 28) + U16(zip, at + 30) + U16(zip, at + 32);
  }
  return records;
}

inline DirectoryRecord Record(const std::string& zip, const std::string& name) {
  for (const DirectoryRecord& r : Directory(zip)) {
    if (r.name == name) return r;
  }
  return DirectoryRecord{0, 0, 0, ""};
}

}  // namespace ziptest
