#pragma once

// The arithmetic of the launcher's binary patches, free of any platform call so that it also
// builds natively (fuzzing, sanitizers). A patch file is a container (u32 raw size, u32 packed
// size, one zlib stream) whose content is a "BSDIFN40" payload: a 32-byte header, control triples,
// a diff block and an extra block, all stored uncompressed. Files are reached through PatchFile,
// which the Windows layer (patch_applier.h) implements over file handles.
//
// Every length, offset and triple is checked before use: a malformed patch yields an error code,
// never a read or write outside the payload, the buffers or the new file's size.

#include <cstdint>
#include <memory>

// Size of each of the streaming applier's two buffers, and so of the pieces it reads and writes.
constexpr int64_t kPatchPieceSize = 0x3200000;  // 50 MiB
// The streaming applier builds and writes the new file in blocks of this size.
constexpr int64_t kPatchWriteSize = 1 << 20;
// While it reads the old file front to back it reads ahead, from 64 KiB doubling up to 4 MiB.
constexpr int64_t kPatchReadAhead = 64 << 10;
constexpr int64_t kPatchMaxReadAhead = 4 << 20;
// After this many reads at scattered old positions, an old file that fits in the old-data
// buffer is read into it whole: one read instead of one per remaining triple.
constexpr int kPatchScatteredReads = 256;
constexpr int kPatchHeaderSize = 32;
constexpr int kPatchTripleSize = 24;
// deflate cannot expand a byte into more than 1032 bytes: a larger raw size is a lie.
constexpr int64_t kMaxInflateRatio = 1032;

// A file as the patch code needs it. Counts never exceed 2^31 - 1.
class PatchFile {
 public:
  virtual ~PatchFile() = default;
  // Moves the file position to `position` bytes from the start.
  virtual bool Seek(int64_t position) = 0;
  // Reads up to `count` bytes at the file position; false when the read itself failed.
  virtual bool Read(uint8_t* buffer, uint32_t count, uint32_t* got) = 0;
  virtual bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written) = 0;
  // Bytes between the file position and the end, or -1 when unknown.
  virtual int64_t Remaining() = 0;
};

// Memory from the C++ allocator that reports failure instead of throwing. Not zero-filled.
class PatchBuffer {
 public:
  bool Allocate(int64_t size);
  void Reset();
  void Shrink(int64_t size) { size_ = size < size_ ? size : size_; }
  uint8_t* data() const { return data_.get(); }
  int64_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  int64_t size_ = 0;
};

// Reads the container from the file position: 1 with the inflated payload, or
//   -1 reading the raw size failed, -2 fewer than 4 bytes of it,
//   -3 reading the packed size failed, -4 fewer than 4 bytes of it,
//   -5 reading the packed data failed (or no memory for it, or a packed size of 2 GiB or more),
//   -6 fewer bytes of packed data than the packed size,
//   -7 the stream does not inflate to exactly the raw size.
int ReadPatchContainer(PatchFile& file, PatchBuffer* payload);

// Numbers are 8 bytes wide and carry 32 bits: bytes 0-3 are a signed little-endian integer,
// negated when bit 7 of byte 7 is set.
int64_t ReadPatchNumber(const uint8_t* bytes);

enum class PatchHeaderStatus {
  kOk,
  kTooShort,        // under 32 bytes
  kBadMagic,        // not "BSDIFN40"
  kNegativeLength,  // control length, diff length or new size below 0
  kDiffBeyondEnd,   // the diff block starts past the payload's end
  kExtraBeyondEnd,  // the extra block starts past the payload's end
};

// The "BSDIFN40" payload's layout once its header has been checked.
struct PatchPayload {
  const uint8_t* data = nullptr;
  int64_t size = 0;
  int64_t controlLength = 0;
  int64_t diffLength = 0;
  int64_t newSize = 0;

  int64_t DiffStart() const { return kPatchHeaderSize + controlLength; }
  int64_t ExtraStart() const { return DiffStart() + diffLength; }
};

PatchHeaderStatus CheckPatchHeader(const uint8_t* payload, int64_t size, PatchPayload* header);

struct PatchTriple {
  int64_t x = 0;  // diff bytes to emit
  int64_t y = 0;  // extra bytes to emit
  int64_t z = 0;  // adjustment of the old position
};

// Reads the triple at `*position` and advances it; false when the triple would cross the end
// of the control block.
bool ReadPatchTriple(const PatchPayload& header, int64_t* position, PatchTriple* triple);

// The in-memory applier: builds exactly `newSize` bytes into `newData` from the whole old file.
// 0 on success, -1 for any fault of the payload (diagnostics go to standard output).
int bapatch(const uint8_t* oldData, int64_t oldSize, uint8_t* newData, int64_t newSize,
            const uint8_t* payload, int payloadSize);

// The streaming applier's two work buffers of one piece each, and what they hold between chunks:
// new-file bytes not yet written (the new file is written front to back, so they are gathered and
// written in blocks of `writeSize`), and a window of the old file (read ahead while the old file
// is read front to back, read as needed where the patch jumps around in it). Only a few MiB of
// each buffer are used unless the old file is held whole.
struct PatchStreamBuffers {
  uint8_t* output = nullptr;
  uint8_t* old = nullptr;
  int64_t pieceSize = kPatchPieceSize;
  int64_t writeSize = kPatchWriteSize;
  int64_t pending = 0;  // output[0, pending) is not written yet
  int64_t written = 0;  // the new file's position after the bytes written so far
  int64_t windowStart = 0;
  int64_t windowLength = 0;  // old[0, windowLength) holds the old file from windowStart
  int64_t readAhead = 0;
  int scatteredReads = 0;

  // Writes the pending bytes: 0, -4 the write failed, -5 it was short.
  int Flush(PatchFile& newFile);
  // Makes the old file's bytes [from, to) available in the window: 0, -2 the read failed,
  // -3 it was short.
  int LoadOld(PatchFile& oldFile, int64_t oldSize, int64_t from, int64_t to);
};

// A read position inside one block of the payload; reads never pass `end`.
struct PatchCursor {
  const uint8_t* data = nullptr;
  int64_t end = 0;
  int64_t position = 0;

  // Emits `count` (at most one piece) bytes from the cursor to the new file, adding the old
  // file's bytes at `oldPosition` when `oldFile` is given. Returns count, or
  //   -1 fewer than count bytes left in the block, -2 reading the old file failed,
  //   -3 the old file read short, -4 a write failed, -5 a write was short.
  int64_t WriteChunk(int64_t count, PatchFile& newFile, PatchFile* oldFile, int64_t oldPosition,
                     int64_t oldSize, PatchStreamBuffers& buffers);
  // Emits `count` bytes at `newPosition` piece by piece. Returns count, -1 when a full piece
  // failed or the launcher is exiting after one, -2 when the last partial piece failed.
  int64_t WriteRange(int64_t count, PatchFile& newFile, int64_t newPosition, PatchFile* oldFile,
                     int64_t oldSize, int64_t oldPosition, PatchStreamBuffers& buffers);
};

// The streaming applier. Sets `*errorCode` and returns 0 on success, or
//   -6 payload under 32 bytes, wrong magic or negative length, -8 diff block beyond the end,
//   -9 extra block beyond the end, -10/-11 no memory for the output/old-data buffer,
//   -12 application stopped; `*errorCode` then says why: -1 control triple crossing its block,
//   -2 negative x or y or x overrunning the new size, -3 writing the diff bytes failed (or the
//   diff block ran short, or the launcher is exiting), -4 x + y overrunning the new size,
//   -5 writing the extra bytes failed (or the extra block ran short, or exiting, or the last
//   write at the end failed), -6 the launcher is exiting (checked after every triple).
int ApplyPatchStreamed(PatchFile& oldFile, int64_t oldSize, PatchFile& newFile, int64_t newSize,
                       const uint8_t* payload, int payloadSize, int* errorCode,
                       int64_t pieceSize = kPatchPieceSize);
