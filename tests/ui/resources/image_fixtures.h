#pragma once

// Small image files written byte by byte, so each test shows exactly what it decodes.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test_images {

inline void PutBigEndian32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

inline uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  std::string typed = std::string(type, 4) + data;
  out += typed;
  PutBigEndian32(out, Crc32(typed));
}

// A 32-bit RGBA PNG (colour type 6) of the given pixels (0xAARRGGBB, row by row), its image
// data in stored (uncompressed) deflate blocks.
inline std::string MakeRgbaPng(int width, int height, const std::vector<uint32_t>& argb) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // filter: none
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = argb[static_cast<size_t>(y) * width + x];
      raw += static_cast<char>((pixel >> 16) & 0xFF);
      raw += static_cast<char>((pixel >> 8) & 0xFF);
      raw += static_cast<char>(pixel & 0xFF);
      raw += static_cast<char>((pixel >> 24) & 0xFF);
    }
  }
  std::string zlib = "\x78\x01";
  size_t offset = 0;
  do {
    const size_t length = raw.size() - offset < 65535 ? raw.size() - offset : 65535;
    const bool last = offset + length == raw.size();
    zlib += static_cast<char>(last ? 1 : 0);
    zlib += static_cast<char>(length & 0xFF);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xFF);
    zlib += static_cast<char>((~length >> 8) & 0xFF);
    zlib += raw.substr(offset, length);
    offset += length;
  } while (offset < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian32(zlib, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBigEndian32(header, static_cast<uint32_t>(width));
  PutBigEndian32(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x06\x00\x00\x00", 5);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

// An animated 1x1 GIF, one frame per delay (1/100 s); with transparent, colour 0 is the
// transparent one.
inline std::string MakeAnimatedGif(const std::vector<uint16_t>& delays, bool transparent = false) {
  std::string gif = "GIF89a";
  gif += std::string("\x01\x00\x01\x00\x80\x00\x00", 7);  // 1x1, two-colour global table
  gif += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
  for (uint16_t delay : delays) {
    gif += std::string("\x21\xF9\x04", 3);
    gif += static_cast<char>(transparent ? 1 : 0);
    gif += static_cast<char>(delay & 0xFF);
    gif += static_cast<char>(delay >> 8);
    gif += std::string("\x00\x00", 2);
    gif += std::string("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
    gif += std::string("\x02\x02\x44\x01\x00", 5);  // one pixel of colour 0
  }
  gif += '\x3B';
  return gif;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

}  // namespace test_images
