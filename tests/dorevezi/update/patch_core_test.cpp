// The patch arithmetic on in-memory files. Built for Windows (run under Wine) and natively with
// the address and undefined-behaviour sanitizers (tests/native).

#include <gtest/gtest.h>

#include <algorithm>

#include "dorevezi/core/globals.h"
#include "dorevezi/update/patch_core.h"
#include "patch_test_support.h"

using patchtest::Bytes;
using patchtest::MemoryPatchFile;

namespace {

// Clears the exit switch however the test ends.
struct ExitSwitchGuard {
  ~ExitSwitchGuard() { g_exitRequested = false; }
};

// The new size the file-level entry points pass: the header's own.
int64_t HeaderNewSize(const Bytes& payload) {
  PatchPayload header;
  const PatchHeaderStatus status = CheckPatchHeader(payload.data(), int64_t(payload.size()), &header);
  if (status == PatchHeaderStatus::kTooShort || status == PatchHeaderStatus::kBadMagic) return 0;
  return std::max<int64_t>(header.newSize, 0);
}

struct StreamResult {
  int result;
  int error;
  Bytes output;
};

StreamResult Stream(const Bytes& old, const Bytes& payload, int64_t newSize, int64_t pieceSize) {
  MemoryPatchFile oldFile(old), newFile;
  StreamResult r;
  r.error = 99;
  r.result = ApplyPatchStreamed(oldFile, int64_t(old.size()), newFile, newSize, payload.data(),
                                int(payload.size()), &r.error, pieceSize);
  r.output = newFile.content();
  EXPECT_EQ(old, oldFile.content());
  return r;
}

const int64_t kPieceSizes[] = {1, 7, 64, 1 << 20, kPatchPieceSize};

}  // namespace

TEST(PatchNumber, ReadsSignAndLow32BitsOnly) {
  const Bytes minusFive{5, 0, 0, 0, 0xaa, 0xbb, 0xcc, 0x80};
  const Bytes five{5, 0, 0, 0, 0xaa, 0xbb, 0xcc, 0x00};
  const Bytes largest{0xff, 0xff, 0xff, 0x7f, 0, 0, 0, 0};
  const Bytes negative32{0xf0, 0xff, 0xff, 0xff, 0, 0, 0, 0};
  const Bytes minimumNegated{0, 0, 0, 0x80, 0, 0, 0, 0x80};
  EXPECT_EQ(-5, ReadPatchNumber(minusFive.data()));
  EXPECT_EQ(5, ReadPatchNumber(five.data()));
  EXPECT_EQ(0x7fffffff, ReadPatchNumber(largest.data()));
  EXPECT_EQ(-16, ReadPatchNumber(negative32.data()));
  EXPECT_EQ(int64_t(1) << 31, ReadPatchNumber(minimumNegated.data()));
}

TEST(PatchAppliers, BothBuildTheNewFileForEveryValidCase) {
  for (const auto& c : patchtest::ValidCases()) {
    SCOPED_TRACE(c.name);
    const Bytes container = patchtest::WrapContainer(c.patch.payload);
    MemoryPatchFile patchFile(container);
    PatchBuffer payload;
    ASSERT_EQ(1, ReadPatchContainer(patchFile, &payload));
    ASSERT_EQ(Bytes(payload.data(), payload.data() + payload.size()), c.patch.payload);

    const int64_t newSize = int64_t(c.patch.newData.size());
    Bytes inMemory(size_t(newSize) + 1);
    ASSERT_EQ(0, bapatch(c.patch.oldData.data(), int64_t(c.patch.oldData.size()), inMemory.data(), newSize,
                         payload.data(), int(payload.size())));
    inMemory.resize(size_t(newSize));
    EXPECT_EQ(c.patch.newData, inMemory);

    for (int64_t piece : kPieceSizes) {
      SCOPED_TRACE(piece);
      const StreamResult streamed = Stream(c.patch.oldData, c.patch.payload, newSize, piece);
      EXPECT_EQ(0, streamed.result);
      EXPECT_EQ(0, streamed.error);
      EXPECT_EQ(c.patch.newData, streamed.output);
    }
  }
}

TEST(PatchAppliers, FailOnEveryMalformedPatch) {
  for (const auto& c : patchtest::MalformedCases()) {
    SCOPED_TRACE(c.name);
    MemoryPatchFile patchFile(c.file);
    PatchBuffer payload;
    ASSERT_EQ(c.containerResult, ReadPatchContainer(patchFile, &payload));
    if (c.containerResult != 1) continue;
    const Bytes bytes(payload.data(), payload.data() + payload.size());
    const int64_t newSize = HeaderNewSize(bytes);

    Bytes inMemory(size_t(newSize) + 1);
    EXPECT_EQ(-1, bapatch(c.oldData.data(), int64_t(c.oldData.size()), inMemory.data(), newSize, bytes.data(),
                          int(bytes.size())));
    for (int64_t piece : {int64_t(1), int64_t(7), kPatchPieceSize}) {
      SCOPED_TRACE(piece);
      const StreamResult streamed = Stream(c.oldData, bytes, newSize, piece);
      EXPECT_EQ(c.streamedResult, streamed.result);
      EXPECT_EQ(c.streamedError, streamed.error);
      EXPECT_LE(int64_t(streamed.output.size()), newSize);
    }
  }
}

TEST(PatchAppliers, InMemoryRefusesAnExpectedSizeOtherThanTheHeaders) {
  const auto c = patchtest::MakePatchCase(patchtest::PseudoRandom(100, 5), {{100, 10, 0}}, 6);
  Bytes out(200);
  EXPECT_EQ(-1, bapatch(c.oldData.data(), 100, out.data(), 109, c.payload.data(), int(c.payload.size())));
  EXPECT_EQ(-1, bapatch(c.oldData.data(), 100, out.data(), 111, c.payload.data(), int(c.payload.size())));
  EXPECT_EQ(0, bapatch(c.oldData.data(), 100, out.data(), 110, c.payload.data(), int(c.payload.size())));
}

TEST(PatchContainer, ReportsEachFailedRead) {
  const Bytes container = patchtest::WrapContainer(patchtest::ValidCases()[0].patch.payload);
  const int expected[] = {-1, -3, -5};
  for (int failing = 0; failing < 3; ++failing) {
    MemoryPatchFile file(container);
    file.failingRead = failing;
    PatchBuffer payload;
    EXPECT_EQ(expected[failing], ReadPatchContainer(file, &payload)) << "read " << failing;
    EXPECT_EQ(0, payload.size());
  }
}

TEST(PatchContainer, IgnoresBytesAfterThePackedData) {
  const Bytes payloadBytes = patchtest::ValidCases()[1].patch.payload;
  Bytes container = patchtest::WrapContainer(payloadBytes);
  container.insert(container.end(), 100, 0xee);
  MemoryPatchFile file(container);
  PatchBuffer payload;
  ASSERT_EQ(1, ReadPatchContainer(file, &payload));
  EXPECT_EQ(payloadBytes, Bytes(payload.data(), payload.data() + payload.size()));
}

TEST(PatchStreaming, ReportsFailedWritesAndReads) {
  const auto c = patchtest::MakePatchCase(patchtest::PseudoRandom(100, 7), {{100, 10, 0}}, 8);
  // With 64-byte pieces, write 0 is the diff span's first piece; the rest of the diff span and
  // the extra span are gathered into write 1, at the end.
  struct Failure {
    int write, read, error;
  } failures[] = {{0, -1, -3}, {1, -1, -5}, {-1, 0, -3}};
  for (const Failure& f : failures) {
    MemoryPatchFile oldFile(c.oldData), newFile;
    newFile.failingWrite = f.write;
    oldFile.failingRead = f.read;
    int error = 0;
    EXPECT_EQ(-12, ApplyPatchStreamed(oldFile, 100, newFile, 110, c.payload.data(), int(c.payload.size()),
                                      &error, 64));
    EXPECT_EQ(f.error, error);
  }
}

TEST(PatchStreaming, ReadsAScatteredOldFileWholeOnceItFits) {
  for (const auto& c : patchtest::ValidCases()) {
    if (c.name != "scattered short spans") continue;
    for (int64_t piece : {int64_t(64), kPatchPieceSize}) {
      MemoryPatchFile oldFile(c.patch.oldData), newFile;
      int error = 0;
      const int64_t newSize = int64_t(c.patch.newData.size());
      ASSERT_EQ(0, ApplyPatchStreamed(oldFile, int64_t(c.patch.oldData.size()), newFile, newSize,
                                      c.patch.payload.data(), int(c.patch.payload.size()), &error, piece));
      EXPECT_EQ(c.patch.newData, newFile.content());
      // About one read per span (400) until the limit, then one of the whole file; a buffer
      // too small for it keeps reading span by span.
      if (piece == kPatchPieceSize) {
        EXPECT_LT(oldFile.reads(), kPatchScatteredReads + 40);
      } else {
        EXPECT_GT(oldFile.reads(), 350);
      }
    }
  }
}

TEST(PatchStreaming, StopsWithinOnePieceOnceExitIsRequested) {
  ExitSwitchGuard guard;
  const Bytes old = patchtest::PseudoRandom(1000, 9);
  // One long span: the switch is seen after the piece being written.
  {
    const auto c = patchtest::MakePatchCase(old, {{640, 0, 0}}, 10);
    MemoryPatchFile oldFile(c.oldData), newFile;
    newFile.afterWrite = [](int64_t) { g_exitRequested = true; };
    int error = 0;
    EXPECT_EQ(-12, ApplyPatchStreamed(oldFile, 1000, newFile, 640, c.payload.data(), int(c.payload.size()),
                                      &error, 64));
    EXPECT_EQ(-3, error);
    EXPECT_EQ(64, newFile.bytesWritten);
    EXPECT_EQ(old, oldFile.content());
  }
  g_exitRequested = false;
  // Short spans: the switch is seen after the triple being applied.
  {
    const auto c = patchtest::MakePatchCase(old, {{10, 5, 0}, {10, 5, 0}, {10, 5, 0}}, 11);
    MemoryPatchFile oldFile(c.oldData), newFile;
    oldFile.afterRead = [] { g_exitRequested = true; };
    int error = 0;
    EXPECT_EQ(-12, ApplyPatchStreamed(oldFile, 1000, newFile, 45, c.payload.data(), int(c.payload.size()),
                                      &error, 64));
    EXPECT_EQ(-6, error);
    EXPECT_EQ(15, newFile.bytesWritten);
  }
}
