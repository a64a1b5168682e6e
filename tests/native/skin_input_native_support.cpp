// What the Windows-only file of the zip reader provides, for the native build: no file
// sources (the fuzzers read memory), and the entry-name conversions between UTF-8 and UTF-16.

#include <cstdint>
#include <memory>

#include "ui/resources/zip_archive.h"
#include "ui/resources/zip_stream.h"

namespace ui {

std::unique_ptr<ZipStream> OpenFileZipStream(const void*, int, unsigned* result) {
  *result = kZipNoFile;
  return nullptr;
}

void ZipNameToWide(const char* utf8, wchar_t* out, size_t outChars) {
  if (outChars == 0) return;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
  size_t n = 0;
  auto put = [&](uint32_t unit) {
    if (n + 1 < outChars) out[n++] = wchar_t(unit);
  };
  while (*p != 0) {
    uint32_t c = *p++;
    int extra = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (c >= 0x80 && extra == 0) {
      put(0xFFFD);
      continue;
    }
    if (extra > 0) {
      c &= 0x3F >> extra;
      for (int i = 0; i < extra; ++i, ++p) {
        if ((*p & 0xC0) != 0x80) {
          c = 0xFFFD;
          extra = 0;
          break;
        }
        c = c << 6 | (*p & 0x3F);
      }
      if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
    }
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  out[n] = 0;
}

bool ZipNameToUtf8(const wchar_t* wide, char* out, size_t outBytes) {
  size_t n = 0;
  auto put = [&](uint32_t byte) {
    if (n + 1 >= outBytes) return false;
    out[n++] = char(byte);
    return true;
  };
  for (; *wide != 0; ++wide) {
    uint32_t c = uint32_t(*wide) & 0xFFFF;
    bool ok = true;
    if (c < 0x80) {
      ok = put(c);
    } else if (c < 0x800) {
      ok = put(0xC0 | c >> 6) && put(0x80 | (c & 0x3F));
    } else {
      ok = put(0xE0 | c >> 12) && put(0x80 | ((c >> 6) & 0x3F)) && put(0x80 | (c & 0x3F));
    }
    if (!ok) return false;
  }
  if (outBytes == 0) return false;
  out[n] = 0;
  return true;
}

}  // namespace ui
