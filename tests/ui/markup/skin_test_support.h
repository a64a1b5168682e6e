#pragma once

// Small skins the builder tests carry: files written below a scratch resource root, and the
// same files packed into a stored (uncompressed) zip held in memory.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace skintest {

inline uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void Put16(std::string& out, uint32_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// entries: name (with "/" separators) -> bytes.
inline std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string zip;
  std::string directory;
  for (const auto& entry : entries) {
    const uint32_t offset = uint32_t(zip.size());
    const uint32_t crc = Crc32(entry.second);
    const uint32_t size = uint32_t(entry.second.size());
    Put32(zip, 0x04034b50);
    Put16(zip, 20);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, 0x21);
    Put32(zip, crc);
    Put32(zip, size);
    Put32(zip, size);
    Put16(zip, uint32_t(entry.first.size()));
    Put16(zip, 0);
    zip += entry.first;
    zip += entry.second;
    Put32(directory, 0x02014b50);
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0x21);
    Put32(directory, crc);
    Put32(directory, size);
    Put32(directory, size);
    Put16(directory, uint32_t(entry.first.size()));
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, 0);
    Put32(directory, offset);
    directory += entry.first;
  }
  const uint32_t directoryOffset = uint32_t(zip.size());
  zip += directory;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, uint32_t(entries.size()));
  Put16(zip, uint32_t(entries.size()));
  Put32(zip, uint32_t(directory.size()));
  Put32(zip, directoryOffset);
  Put16(zip, 0);
  return zip;
}

// Writes bytes to path, making the folders on the way.
inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  for (size_t slash = path.find(L'\\'); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

}  // namespace skintest
