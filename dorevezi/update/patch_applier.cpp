#include "dorevezi/update/patch_applier.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dorevezi/core/sys_info.h"

namespace {

// Closes the handle it holds when it goes out of scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Close(); }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  void Close() {
    if (valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

struct FreeDeleter {
  void operator()(uint8_t* bytes) const { free(bytes); }
};

// Read access, no sharing: nobody changes the file while it is read.
HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE OpenForReading(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Created or truncated, read and write access, no sharing.
HANDLE CreateForWriting(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE CreateForWriting(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Paths in diagnostics are printed as 8-bit text in the ANSI code page.
std::string PathText(const std::string& path) {
  return path;
}
std::string PathText(const std::wstring& path) {
  if (path.empty()) return std::string();
  const int length =
      WideCharToMultiByte(CP_ACP, 0, path.c_str(), int(path.size()), nullptr, 0, nullptr, nullptr);
  std::string text(length > 0 ? length : 0, '\0');
  if (length > 0)
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), int(path.size()), &text[0], length, nullptr, nullptr);
  return text;
}

// The old file's size; files of 2 GiB or more cannot be patched (sizes are signed 32-bit).
bool GetPatchableSize(HANDLE file, int64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value) || value.QuadPart > INT32_MAX) return false;
  *size = value.QuadPart;
  return true;
}

template <typename Path>
int PatchFileInMemoryImpl(const Path& oldPath, const Path& newPath, const Path& patchPath) {
  PatchBuffer payload;
  {
    ScopedHandle patch(OpenForReading(patchPath));
    if (!patch.valid()) return -1;
    if (ReadPatchContainer(patch.get(), &payload) <= 0) return -1;
  }
  PatchPayload header;
  const PatchHeaderStatus status = CheckPatchHeader(payload.data(), payload.size(), &header);
  if (status == PatchHeaderStatus::kTooShort) {
    printf("fread(%s)", PathText(patchPath).c_str());
    return -1;
  }
  if (status == PatchHeaderStatus::kBadMagic || status == PatchHeaderStatus::kNegativeLength) {
    printf("Corrupt patch\n");
    return -1;
  }

  std::unique_ptr<uint8_t, FreeDeleter> oldData;
  int64_t oldSize = 0;
  {
    ScopedHandle old(OpenForReading(oldPath));
    if (old.valid() && GetPatchableSize(old.get(), &oldSize))
      oldData.reset(
          reinterpret_cast<uint8_t*>(ReadHandleToBuffer(old.Release(), uint64_t(oldSize), nullptr)));
    if (!oldData) {
      printf("old file: %s", PathText(oldPath).c_str());
      return -1;
    }
  }
  PatchBuffer newData;
  if (!newData.Allocate(header.newSize + 1)) {
    printf("Failed to allocate memory for new");
    return -1;
  }
  const int result =
      bapatch(oldData.get(), oldSize, newData.data(), header.newSize, payload.data(), int(payload.size()));
  if (result != 0) {
    printf("bapatch failed:");
    return result;
  }
  oldData.reset();
  payload.Reset();

  ScopedHandle out(CreateForWriting(newPath));
  if (!out.valid()) {
    printf("failed to write new file: %s", PathText(newPath).c_str());
    return -1;
  }
  DWORD written = 0;
  if (!WriteFile(out.get(), newData.data(), DWORD(header.newSize), &written, nullptr)) {
    printf("failed to write to new file: %s", PathText(newPath).c_str());
    return -1;
  }
  if (written != header.newSize) {
    printf("failed to write to new file: %s, diff size(%u:%u)", PathText(newPath).c_str(), unsigned(written),
           unsigned(header.newSize));
    return -1;
  }
  return 0;
}

template <typename Path>
int PatchFileStreamedImpl(const Path& oldPath, const Path& newPath, const Path& patchPath, int* errorCode) {
  PatchBuffer payload;
  {
    ScopedHandle patch(OpenForReading(patchPath));
    if (!patch.valid()) {
      *errorCode = int(GetLastError());
      return -1;
    }
    if (ReadPatchContainer(patch.get(), &payload) <= 0) return -1;
  }
  PatchPayload header;
  if (CheckPatchHeader(payload.data(), payload.size(), &header) != PatchHeaderStatus::kOk) return -2;

  ScopedHandle old(OpenForReading(oldPath));
  LARGE_INTEGER oldSize;
  if (!old.valid() || !GetFileSizeEx(old.get(), &oldSize)) return -3;
  ScopedHandle out(CreateForWriting(newPath));
  if (!out.valid()) return -4;
  *errorCode = 0;
  return ApplyPatchStreamed(old.get(), oldSize.QuadPart, out.get(), header.newSize, payload.data(),
                            int(payload.size()), errorCode);
}

}  // namespace

bool HandlePatchFile::Seek(int64_t position) {
  LARGE_INTEGER distance;
  distance.QuadPart = position;
  return SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN) != FALSE;
}

bool HandlePatchFile::Read(uint8_t* buffer, uint32_t count, uint32_t* got) {
  DWORD done = 0;
  const BOOL ok = ReadFile(handle_, buffer, count, &done, nullptr);
  *got = done;
  return ok != FALSE;
}

bool HandlePatchFile::Write(const uint8_t* buffer, uint32_t count, uint32_t* written) {
  DWORD done = 0;
  const BOOL ok = WriteFile(handle_, buffer, count, &done, nullptr);
  *written = done;
  return ok != FALSE;
}

int64_t HandlePatchFile::Remaining() {
  LARGE_INTEGER size, position, zero;
  zero.QuadPart = 0;
  if (!GetFileSizeEx(handle_, &size) || !SetFilePointerEx(handle_, zero, &position, FILE_CURRENT)) return -1;
  return size.QuadPart > position.QuadPart ? size.QuadPart - position.QuadPart : 0;
}

int ReadPatchContainer(HANDLE file, PatchBuffer* payload) {
  HandlePatchFile source(file);
  return ReadPatchContainer(source, payload);
}

int PatchFileInMemory(const std::string& oldPath, const std::string& newPath, const std::string& patchPath) {
  return PatchFileInMemoryImpl(oldPath, newPath, patchPath);
}

int PatchFileInMemoryW(const std::wstring& oldPath, const std::wstring& newPath,
                       const std::wstring& patchPath) {
  return PatchFileInMemoryImpl(oldPath, newPath, patchPath);
}

int ApplyPatchStreamed(HANDLE oldFile, int64_t oldSize, HANDLE newFile, int64_t newSize,
                       const uint8_t* payload, int payloadSize, int* errorCode) {
  HandlePatchFile oldSource(oldFile);
  HandlePatchFile newTarget(newFile);
  return ApplyPatchStreamed(oldSource, oldSize, newTarget, newSize, payload, payloadSize, errorCode);
}

int PatchFileStreamed(const std::string& oldPath, const std::string& newPath, const std::string& patchPath,
                      int* errorCode) {
  return PatchFileStreamedImpl(oldPath, newPath, patchPath, errorCode);
}

int PatchFileStreamedW(const std::wstring& oldPath, const std::wstring& newPath,
                       const std::wstring& patchPath, int* errorCode) {
  return PatchFileStreamedImpl(oldPath, newPath, patchPath, errorCode);
}
