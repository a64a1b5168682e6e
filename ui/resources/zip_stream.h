#pragma once

// The input streams the zip reader hands to minizip, and the conversions of entry names. The
// memory stream is portable; file streams and the code-page conversions live in
// zip_stream_win.cpp.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ui {

class ZipStream {
 public:
  virtual ~ZipStream() = default;
  // Bytes actually read; never beyond the source's end.
  virtual size_t Read(void* buffer, size_t size) = 0;
  // Position relative to the archive's start; -1 on failure.
  virtual int64_t Tell() = 0;
  // origin: 0 from the start, 1 from the current position, 2 from the end. 0 on success; a
  // target outside the source fails and leaves the position as it was.
  virtual int Seek(int64_t offset, int origin) = 0;
};

class MemoryZipStream : public ZipStream {
 public:
  MemoryZipStream(const void* data, size_t length)
      : data_(static_cast<const unsigned char*>(data)), length_(length) {}
  size_t Read(void* buffer, size_t size) override;
  int64_t Tell() override { return int64_t(position_); }
  int Seek(int64_t offset, int origin) override;

 private:
  const unsigned char* data_;
  size_t length_;
  size_t position_ = 0;
};

// A stream over a file handle (kind 1) or a file opened by name (kind 2); null with the result
// code in *result on failure.
std::unique_ptr<ZipStream> OpenFileZipStream(const void* source, int sourceKind, unsigned* result);

// Entry names: UTF-8 to UTF-16 into `out` (NUL-terminated, at most outChars units with the
// NUL; invalid bytes become U+FFFD), and UTF-16 to UTF-8 (false when it does not fit).
void ZipNameToWide(const char* utf8, wchar_t* out, size_t outChars);
bool ZipNameToUtf8(const wchar_t* wide, char* out, size_t outBytes);

}  // namespace ui
