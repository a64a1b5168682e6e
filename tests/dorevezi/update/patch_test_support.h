#pragma once

// Test-only helpers for patches: an encoder that writes a "BSDIFN40" payload from chosen triples
// and wraps it in the container, in-memory files, and the shared tables of valid and malformed
// patches. Portable: used by the Windows tests and by the native sanitizer and fuzz build.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dorevezi/update/patch_core.h"

namespace patchtest {

using Bytes = std::vector<uint8_t>;

struct Triple {
  int64_t x;
  int64_t y;
  int64_t z;
};

// Deterministic bytes (xorshift), fast enough for tens of MiB.
Bytes PseudoRandom(size_t count, uint64_t seed);

// The 8-byte sign-and-magnitude number of the payload.
void AppendNumber(Bytes* out, int64_t value);

// Header, control block, diff block and extra block exactly as given.
Bytes EncodePayload(const std::vector<Triple>& triples, const Bytes& diff, const Bytes& extra,
                    int64_t newSize, const char* magic = "BSDIFN40");

// A patch case built from the old file and the triples: the new file follows the old one where
// the triples point inside it (with a few bytes changed) and is random elsewhere; the diff and
// extra blocks are derived from both. The triples' x + y must add up to the new size.
struct PatchCase {
  Bytes oldData;
  Bytes newData;
  Bytes payload;
};
PatchCase MakePatchCase(Bytes oldData, const std::vector<Triple>& triples, uint64_t seed);

// The container: raw size, packed size, one zlib stream of the payload.
Bytes WrapContainer(const Bytes& payload, int level = 6);
// A container with the sizes and the stream given separately.
Bytes MakeContainer(uint32_t rawSize, uint32_t packedSize, const Bytes& stream);
Bytes Deflate(const Bytes& data, int level = 6);

// A file in memory. Seeking past the end and writing there fills the gap with zeros.
class MemoryPatchFile : public PatchFile {
 public:
  MemoryPatchFile() = default;
  explicit MemoryPatchFile(Bytes content) : content_(std::move(content)) {}

  bool Seek(int64_t position) override;
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* got) override;
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written) override;
  int64_t Remaining() override;

  const Bytes& content() const { return content_; }
  int reads() const { return reads_; }
  // The n-th read or write (from 0) fails; -1 never.
  int failingRead = -1;
  int failingWrite = -1;
  // Called after every read or write; lets a test act in the middle of a run.
  std::function<void()> afterRead;
  std::function<void(int64_t bytesWrittenSoFar)> afterWrite;
  int64_t bytesWritten = 0;

 private:
  Bytes content_;
  int64_t position_ = 0;
  int reads_ = 0;
  int writes_ = 0;
};

struct ValidCase {
  std::string name;
  PatchCase patch;
};
// Small cases: one triple, many triples with negative and positive z, old positions before the
// old file's start and past its end, empty old file, zero-length spans, a new size of 0.
std::vector<ValidCase> ValidCases();

// A patch file whose content breaks one rule. `containerResult` is what reading the container
// gives (1 when it is sound); `streamedResult` and `streamedError` are what ApplyPatchStreamed
// gives for its payload (used only when the container is sound). The in-memory applier fails
// every one of them.
struct MalformedCase {
  std::string name;
  Bytes file;
  Bytes oldData;
  int containerResult;
  int streamedResult;
  int streamedError;
};
std::vector<MalformedCase> MalformedCases();

}  // namespace patchtest
