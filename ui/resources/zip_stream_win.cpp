// The Windows half of the zip reader's input: file handles and the entry names' code page.

#include <windows.h>

#include "ui/resources/zip_archive.h"
#include "ui/resources/zip_stream.h"

namespace ui {

namespace {

// Archive offsets are relative to the handle's position when the archive was opened, so an
// archive may follow unrelated leading bytes.
class FileZipStream : public ZipStream {
 public:
  FileZipStream(HANDLE file, bool owned, int64_t start) : file_(file), owned_(owned), start_(start) {}
  ~FileZipStream() override {
    if (owned_) CloseHandle(file_);
  }

  size_t Read(void* buffer, size_t size) override {
    size_t done = 0;
    while (done < size) {
      const DWORD chunk = static_cast<DWORD>(size - done < 0x40000000 ? size - done : 0x40000000);
      DWORD read = 0;
      if (!ReadFile(file_, static_cast<char*>(buffer) + done, chunk, &read, nullptr) || read == 0) break;
      done += read;
    }
    return done;
  }

  int64_t Tell() override {
    LARGE_INTEGER zero = {}, position;
    if (!SetFilePointerEx(file_, zero, &position, FILE_CURRENT)) return -1;
    return position.QuadPart - start_;
  }

  int Seek(int64_t offset, int origin) override {
    LARGE_INTEGER base = {};
    if (origin == 0) {
      base.QuadPart = start_;
    } else if (origin == 1) {
      LARGE_INTEGER zero = {};
      if (!SetFilePointerEx(file_, zero, &base, FILE_CURRENT)) return -1;
    } else if (origin == 2) {
      if (!GetFileSizeEx(file_, &base)) return -1;
    } else {
      return -1;
    }
    if ((offset > 0 && base.QuadPart > INT64_MAX - offset) || (offset < 0 && base.QuadPart < INT64_MIN - offset))
      return -1;
    LARGE_INTEGER target;
    target.QuadPart = base.QuadPart + offset;
    if (target.QuadPart < start_) return -1;
    return SetFilePointerEx(file_, target, nullptr, FILE_BEGIN) ? 0 : -1;
  }

 private:
  HANDLE file_;
  bool owned_;
  int64_t start_;
};

}  // namespace

std::unique_ptr<ZipStream> OpenFileZipStream(const void* source, int sourceKind, unsigned* result) {
  LARGE_INTEGER zero = {}, position;
  if (sourceKind == kZipSourceHandle) {
    HANDLE file = const_cast<HANDLE>(source);
    if (file == nullptr || file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, zero, &position, FILE_CURRENT)) {
      *result = kZipCannotSeek;
      return nullptr;
    }
    return std::unique_ptr<ZipStream>(new FileZipStream(file, false, position.QuadPart));
  }
  const wchar_t* name = static_cast<const wchar_t*>(source);
  HANDLE file = name == nullptr ? INVALID_HANDLE_VALUE
                                : CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *result = kZipNoFile;
    return nullptr;
  }
  return std::unique_ptr<ZipStream>(new FileZipStream(file, true, 0));
}

void ZipNameToWide(const char* utf8, wchar_t* out, size_t outChars) {
  if (outChars == 0) return;
  const int written = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out, static_cast<int>(outChars));
  if (written <= 0) out[0] = 0;
  out[outChars - 1] = 0;
}

bool ZipNameToUtf8(const wchar_t* wide, char* out, size_t outBytes) {
  return WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, static_cast<int>(outBytes), nullptr, nullptr) > 0;
}

}  // namespace ui
