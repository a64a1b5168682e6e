// Fuzzes the patch container reader and both appliers with one input, and checks that the two
// appliers agree: both succeed with the same new file, or both fail.
//
// Input: byte 0 holds flags (bit 0: the patch is a bare payload, not a container; bits 1-2: the
// streaming piece size), bytes 1-2 the old file's length (little-endian), then the old file,
// then the patch.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dorevezi/update/patch_core.h"
#include "patch_test_support.h"

using patchtest::Bytes;
using patchtest::MemoryPatchFile;

namespace {

constexpr int64_t kPieceSizes[] = {1, 3, 64, 4096};
// The in-memory applier allocates the whole new size up front; larger claims are only streamed.
constexpr int64_t kMaxInMemoryNewSize = 1 << 20;

void Require(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  const size_t oldLength = std::min<size_t>(size_t(data[1]) | size_t(data[2]) << 8, size - 3);
  // Exact-size copies, so that a read past either end is caught.
  const Bytes old(data + 3, data + 3 + oldLength);
  const Bytes patch(data + 3 + oldLength, data + size);
  const int64_t pieceSize = kPieceSizes[(flags >> 1) & 3];

  Bytes payload;
  if (flags & 1) {
    payload = patch;
  } else {
    MemoryPatchFile file(patch);
    PatchBuffer buffer;
    const int result = ReadPatchContainer(file, &buffer);
    Require(result == 1 || (result <= -1 && result >= -7));
    if (result != 1) return 0;
    payload.assign(buffer.data(), buffer.data() + buffer.size());
  }

  PatchPayload header;
  const PatchHeaderStatus status = CheckPatchHeader(payload.data(), int64_t(payload.size()), &header);
  const int64_t newSize = status == PatchHeaderStatus::kTooShort || status == PatchHeaderStatus::kBadMagic
                              ? 0
                              : std::max<int64_t>(header.newSize, 0);

  MemoryPatchFile oldFile(old), newFile;
  int error = 0;
  const int streamed = ApplyPatchStreamed(oldFile, int64_t(old.size()), newFile, newSize, payload.data(),
                                          int(payload.size()), &error, pieceSize);
  Require(int64_t(newFile.content().size()) <= newSize);
  Require(streamed != 0 || int64_t(newFile.content().size()) == newSize);
  Require(oldFile.content() == old);
  if (newSize > kMaxInMemoryNewSize) return 0;

  Bytes inMemory(static_cast<size_t>(newSize));
  const int memory =
      bapatch(old.data(), int64_t(old.size()), inMemory.data(), newSize, payload.data(), int(payload.size()));
  Require((memory == 0) == (streamed == 0));
  Require(memory != 0 || inMemory == newFile.content());
  return 0;
}
