#pragma once

// Applies a downloaded patch file (".patch" or ".qzdiff") to an installed file, writing the new
// version beside it. Two appliers with the same result:
//  - in memory: the old file, the payload and the new file are held whole (PatchFileInMemory);
//  - streamed: the new file is written piece by piece through two 50 MiB buffers, and the run
//    stops early once g_exitRequested is set (PatchFileStreamed).
// The 8-bit forms take ANSI code-page paths (the launcher's own files), the wide forms game
// files. The new file is created or truncated; nothing is deleted on failure.

#include <windows.h>

#include <cstdint>
#include <string>

#include "dorevezi/update/patch_core.h"

// A file handle seen through PatchFile; the handle stays owned by the caller.
class HandlePatchFile : public PatchFile {
 public:
  explicit HandlePatchFile(HANDLE handle) : handle_(handle) {}
  bool Seek(int64_t position) override;
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* got) override;
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written) override;
  int64_t Remaining() override;

 private:
  HANDLE handle_;
};

// Reads the container at the handle's position: 1 with the payload, -1 to -7 on failure
// (see ReadPatchContainer in patch_core.h).
int ReadPatchContainer(HANDLE file, PatchBuffer* payload);

// 0 on success, -1 on any failure (diagnostics on standard output).
int PatchFileInMemory(const std::string& oldPath, const std::string& newPath, const std::string& patchPath);
int PatchFileInMemoryW(const std::wstring& oldPath, const std::wstring& newPath,
                       const std::wstring& patchPath);

// The streaming applier on open handles (see ApplyPatchStreamed in patch_core.h).
int ApplyPatchStreamed(HANDLE oldFile, int64_t oldSize, HANDLE newFile, int64_t newSize,
                       const uint8_t* payload, int payloadSize, int* errorCode);

// 0 on success; -1 the patch file cannot be opened (`*errorCode` := the system error) or its
// container is unreadable, -2 its payload header is invalid, -3 the old file cannot be opened,
// -4 the new file cannot be created; otherwise the result of ApplyPatchStreamed, with its error
// code in `*errorCode`.
int PatchFileStreamed(const std::string& oldPath, const std::string& newPath, const std::string& patchPath,
                      int* errorCode);
int PatchFileStreamedW(const std::wstring& oldPath, const std::wstring& newPath,
                       const std::wstring& patchPath, int* errorCode);
