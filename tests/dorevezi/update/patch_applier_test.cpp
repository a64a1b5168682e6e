// The four file-level patch entry points on real files under Wine: the same new file from both
// appliers and both path forms, every malformed patch refused, file failures reported, and the
// streaming applier stopping within one 50 MiB piece once the launcher is exiting.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dorevezi/core/globals.h"
#include "dorevezi/update/patch_applier.h"
#include "patch_test_support.h"
#include "test_support/temp_dir.h"

using patchtest::Bytes;
using patchtest::Triple;

namespace {

constexpr int64_t kMiB = 1 << 20;

bool WriteBytes(const std::wstring& path, const Bytes& bytes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

Bytes ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Bytes();
  LARGE_INTEGER size;
  GetFileSizeEx(file, &size);
  Bytes bytes(size_t(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty()) ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  return bytes;
}

int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::string Narrow(const std::wstring& ascii) {
  return std::string(ascii.begin(), ascii.end());
}

enum class Entry { kInMemory, kInMemoryWide, kStreamed, kStreamedWide };
const Entry kEntries[] = {Entry::kInMemory, Entry::kInMemoryWide, Entry::kStreamed, Entry::kStreamedWide};

const char* Name(Entry entry) {
  switch (entry) {
    case Entry::kInMemory:
      return "PatchFileInMemory";
    case Entry::kInMemoryWide:
      return "PatchFileInMemoryW";
    case Entry::kStreamed:
      return "PatchFileStreamed";
    case Entry::kStreamedWide:
      return "PatchFileStreamedW";
  }
  return "";
}

bool IsStreamed(Entry entry) {
  return entry == Entry::kStreamed || entry == Entry::kStreamedWide;
}

// A folder with the old file and the patch file: an ASCII one for the 8-bit forms and one with a
// name outside the ANSI code page for the wide forms.
class PatchFolder {
 public:
  PatchFolder() : wide_(temp_.Path() + L"\\\u8865\u4e01-\u0436") { CreateDirectoryW(wide_.c_str(), nullptr); }

  std::wstring Folder(Entry entry) const {
    return entry == Entry::kInMemoryWide || entry == Entry::kStreamedWide ? wide_ : temp_.Path();
  }
  std::wstring OldPath(Entry entry) const { return Folder(entry) + L"\\game.pak"; }
  std::wstring NewPath(Entry entry) const { return Folder(entry) + L"\\game.pak.new"; }
  std::wstring PatchPath(Entry entry) const { return Folder(entry) + L"\\game.pak.patch"; }

  void Put(const Bytes& oldData, const Bytes& patchFile) {
    for (Entry entry : {Entry::kInMemory, Entry::kInMemoryWide}) {
      ASSERT_TRUE(WriteBytes(OldPath(entry), oldData));
      ASSERT_TRUE(WriteBytes(PatchPath(entry), patchFile));
      DeleteFileW(NewPath(entry).c_str());
    }
  }

  // Runs one entry point on the folder's files; the error code is that of the streaming forms.
  int Apply(Entry entry, int* error) const {
    return Apply(entry, OldPath(entry), NewPath(entry), PatchPath(entry), error);
  }

  static int Apply(Entry entry, const std::wstring& oldPath, const std::wstring& newPath,
                   const std::wstring& patchPath, int* error) {
    *error = 12345;
    switch (entry) {
      case Entry::kInMemory:
        return PatchFileInMemory(Narrow(oldPath), Narrow(newPath), Narrow(patchPath));
      case Entry::kInMemoryWide:
        return PatchFileInMemoryW(oldPath, newPath, patchPath);
      case Entry::kStreamed:
        return PatchFileStreamed(Narrow(oldPath), Narrow(newPath), Narrow(patchPath), error);
      case Entry::kStreamedWide:
        return PatchFileStreamedW(oldPath, newPath, patchPath, error);
    }
    return 1;
  }

 private:
  test_support::TempDir temp_;
  std::wstring wide_;
};

struct ExitSwitchGuard {
  ~ExitSwitchGuard() { g_exitRequested = false; }
};

// An old file of 64 MiB and a new one of about 66 MiB: the first span crosses the 50 MiB piece,
// the last one runs past the old file's end.
const patchtest::PatchCase& LargeCase() {
  static const patchtest::PatchCase large = patchtest::MakePatchCase(
      patchtest::PseudoRandom(64 * kMiB, 40),
      {{52 * kMiB, 1 * kMiB, -3 * kMiB}, {9 * kMiB, 64 * 1024, 4 * kMiB}, {4 * kMiB, 0, 0}}, 41);
  return large;
}

const Bytes& LargeContainer() {
  static const Bytes container = patchtest::WrapContainer(LargeCase().payload, 1);
  return container;
}

}  // namespace

TEST(PatchFiles, EveryEntryPointBuildsTheNewFile) {
  PatchFolder folder;
  for (const auto& c : patchtest::ValidCases()) {
    SCOPED_TRACE(c.name);
    const Bytes container = patchtest::WrapContainer(c.patch.payload);
    folder.Put(c.patch.oldData, container);
    for (Entry entry : kEntries) {
      SCOPED_TRACE(Name(entry));
      int error = 0;
      EXPECT_EQ(0, folder.Apply(entry, &error));
      if (IsStreamed(entry)) {
        EXPECT_EQ(0, error);
      }
      EXPECT_EQ(c.patch.newData, ReadBytes(folder.NewPath(entry)));
      EXPECT_EQ(c.patch.oldData, ReadBytes(folder.OldPath(entry)));
      EXPECT_EQ(container, ReadBytes(folder.PatchPath(entry)));
    }
  }
}

TEST(PatchFiles, OutputsLargerThanOnePieceAreIdentical) {
  PatchFolder folder;
  folder.Put(LargeCase().oldData, LargeContainer());
  for (Entry entry : kEntries) {
    SCOPED_TRACE(Name(entry));
    int error = 0;
    ASSERT_EQ(0, folder.Apply(entry, &error));
    // Compared whole, without printing 66 MiB on a mismatch.
    EXPECT_TRUE(LargeCase().newData == ReadBytes(folder.NewPath(entry)));
  }
}

TEST(PatchFiles, EveryMalformedPatchIsRefused) {
  PatchFolder folder;
  for (const auto& c : patchtest::MalformedCases()) {
    SCOPED_TRACE(c.name);
    folder.Put(c.oldData, c.file);
    for (Entry entry : kEntries) {
      SCOPED_TRACE(Name(entry));
      int error = 0;
      const int result = folder.Apply(entry, &error);
      if (!IsStreamed(entry)) {
        EXPECT_EQ(-1, result);
      } else if (c.containerResult != 1) {
        EXPECT_EQ(-1, result);
      } else if (c.streamedResult != -12) {
        EXPECT_EQ(-2, result);  // the header is checked before any file is opened
      } else {
        EXPECT_EQ(-12, result);
        EXPECT_EQ(c.streamedError, error);
      }
      EXPECT_EQ(c.oldData, ReadBytes(folder.OldPath(entry)));
    }
  }
}

TEST(PatchFiles, FileFailuresAreReported) {
  PatchFolder folder;
  const auto cases = patchtest::ValidCases();
  const auto& c = cases[1];
  folder.Put(c.patch.oldData, patchtest::WrapContainer(c.patch.payload));
  const std::wstring missing = folder.Folder(Entry::kStreamed) + L"\\missing";
  const std::wstring unwritable = folder.Folder(Entry::kStreamed) + L"\\no-such-folder\\game.pak.new";
  for (Entry entry : {Entry::kInMemory, Entry::kStreamed}) {
    SCOPED_TRACE(Name(entry));
    const std::wstring oldPath = folder.OldPath(entry), newPath = folder.NewPath(entry);
    const std::wstring patchPath = folder.PatchPath(entry);
    int error = 0;
    EXPECT_EQ(-1, PatchFolder::Apply(entry, oldPath, newPath, missing, &error));
    if (IsStreamed(entry)) {
      EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);
    }
    EXPECT_EQ(IsStreamed(entry) ? -3 : -1, PatchFolder::Apply(entry, missing, newPath, patchPath, &error));
    EXPECT_EQ(IsStreamed(entry) ? -4 : -1, PatchFolder::Apply(entry, oldPath, unwritable, patchPath, &error));
    // The streamed form holds the old file open while it creates the new one.
    if (IsStreamed(entry)) {
      EXPECT_EQ(-4, PatchFolder::Apply(entry, oldPath, oldPath, patchPath, &error));
    }
    EXPECT_EQ(c.patch.oldData, ReadBytes(oldPath));
  }
}

TEST(PatchFiles, ContainerReadFailureOnAHandle) {
  PatchFolder folder;
  folder.Put(Bytes(), patchtest::WrapContainer(patchtest::ValidCases()[0].patch.payload));
  HANDLE writeOnly = CreateFileW(folder.PatchPath(Entry::kStreamed).c_str(), GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
  PatchBuffer payload;
  EXPECT_EQ(-1, ReadPatchContainer(writeOnly, &payload));
  CloseHandle(writeOnly);
}

TEST(PatchFiles, StreamingStopsWithinOnePieceOnceExitIsRequested) {
  ExitSwitchGuard guard;
  PatchFolder folder;
  folder.Put(LargeCase().oldData, LargeContainer());

  // Set before the run: the first 50 MiB piece is written, then the run stops.
  g_exitRequested = true;
  int error = 0;
  EXPECT_EQ(-12, folder.Apply(Entry::kStreamed, &error));
  EXPECT_EQ(-3, error);
  EXPECT_EQ(kPatchPieceSize, FileSize(folder.NewPath(Entry::kStreamed)));
  EXPECT_TRUE(LargeCase().oldData == ReadBytes(folder.OldPath(Entry::kStreamed)));
  g_exitRequested = false;

  // Set while the first piece is being written to the real file.
  class ExitAfterFirstWrite : public HandlePatchFile {
   public:
    using HandlePatchFile::HandlePatchFile;
    bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written) override {
      const bool ok = HandlePatchFile::Write(buffer, count, written);
      g_exitRequested = true;
      return ok;
    }
  };
  PatchBuffer payload;
  {
    HANDLE patch = CreateFileW(folder.PatchPath(Entry::kStreamed).c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(1, ReadPatchContainer(patch, &payload));
    CloseHandle(patch);
  }
  HANDLE oldHandle = CreateFileW(folder.OldPath(Entry::kStreamed).c_str(), GENERIC_READ, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  HANDLE newHandle = CreateFileW(folder.NewPath(Entry::kStreamed).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, oldHandle);
  ASSERT_NE(INVALID_HANDLE_VALUE, newHandle);
  HandlePatchFile oldFile(oldHandle);
  ExitAfterFirstWrite newFile(newHandle);
  const int64_t newSize = int64_t(LargeCase().newData.size());
  EXPECT_EQ(-12, ApplyPatchStreamed(oldFile, 64 * kMiB, newFile, newSize, payload.data(), int(payload.size()),
                                    &error));
  EXPECT_EQ(-3, error);
  CloseHandle(oldHandle);
  CloseHandle(newHandle);
  EXPECT_EQ(kPatchPieceSize, FileSize(folder.NewPath(Entry::kStreamed)));
  EXPECT_TRUE(LargeCase().oldData == ReadBytes(folder.OldPath(Entry::kStreamed)));
}
