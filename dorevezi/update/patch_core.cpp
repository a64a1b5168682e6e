#include "dorevezi/update/patch_core.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "dorevezi/core/globals.h"

namespace {

constexpr char kPatchMagic[8] = {'B', 'S', 'D', 'I', 'F', 'N', '4', '0'};
// How the in-memory applier names the payload in its diagnostics.
constexpr char kPayloadName[] = "patchfile";

// Reads until `count` bytes arrived or the file has no more; false when a read failed.
bool ReadFully(PatchFile& file, uint8_t* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  while (*got < count) {
    uint32_t chunk = 0;
    if (!file.Read(buffer + *got, count - *got, &chunk)) return false;
    if (chunk == 0) break;
    *got += chunk;
  }
  return true;
}

bool WriteFully(PatchFile& file, const uint8_t* buffer, uint32_t count, uint32_t* written) {
  *written = 0;
  while (*written < count) {
    uint32_t chunk = 0;
    if (!file.Write(buffer + *written, count - *written, &chunk)) return false;
    if (chunk == 0) break;
    *written += chunk;
  }
  return true;
}

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// Adds old bytes to new bytes in place; the form the compiler vectorises.
void AddBytes(uint8_t* target, const uint8_t* source, int64_t count) {
  for (int64_t i = 0; i < count; ++i) target[i] = uint8_t(target[i] + source[i]);
}

bool ExitRequested() {
  return g_exitRequested.load(std::memory_order_relaxed);
}

}  // namespace

bool PatchBuffer::Allocate(int64_t size) {
  Reset();
  if (size < 0 || uint64_t(size) > SIZE_MAX) return false;
  data_.reset(new (std::nothrow) uint8_t[size_t(size) ? size_t(size) : 1]);
  if (!data_) return false;
  size_ = size;
  return true;
}

void PatchBuffer::Reset() {
  data_.reset();
  size_ = 0;
}

int ReadPatchContainer(PatchFile& file, PatchBuffer* payload) {
  payload->Reset();
  uint8_t field[4];
  uint32_t got = 0;
  if (!ReadFully(file, field, 4, &got)) return -1;
  if (got < 4) return -2;
  const uint32_t rawSize = ReadLittleEndian32(field);
  if (!ReadFully(file, field, 4, &got)) return -3;
  if (got < 4) return -4;
  const uint32_t packedSize = ReadLittleEndian32(field);

  // Sizes are signed 32-bit values throughout; and a file shorter than its packed size is
  // found before a buffer of the claimed size is allocated.
  if (packedSize > INT32_MAX) return -5;
  const int64_t remaining = file.Remaining();
  if (remaining >= 0 && remaining < int64_t(packedSize)) return -6;
  PatchBuffer packed;
  if (!packed.Allocate(packedSize)) return -5;
  if (!ReadFully(file, packed.data(), packedSize, &got)) return -5;
  if (got < packedSize) return -6;

  // The payload must inflate to exactly the raw size: one spare byte of room shows a longer stream.
  if (rawSize > INT32_MAX || int64_t(rawSize) > int64_t(packedSize) * kMaxInflateRatio) return -7;
  if (!payload->Allocate(int64_t(rawSize) + 1)) return -7;
  uLongf inflated = uLongf(rawSize) + 1;
  const int result = uncompress(payload->data(), &inflated, packed.data(), uLong(packedSize));
  if (result != Z_OK || inflated != rawSize) {
    payload->Reset();
    return -7;
  }
  payload->Shrink(rawSize);
  return 1;
}

int64_t ReadPatchNumber(const uint8_t* bytes) {
  const int64_t value = int32_t(ReadLittleEndian32(bytes));
  return (bytes[7] & 0x80) ? -value : value;
}

PatchHeaderStatus CheckPatchHeader(const uint8_t* payload, int64_t size, PatchPayload* header) {
  if (size < kPatchHeaderSize) return PatchHeaderStatus::kTooShort;
  if (std::memcmp(payload, kPatchMagic, sizeof(kPatchMagic)) != 0) return PatchHeaderStatus::kBadMagic;
  header->data = payload;
  header->size = size;
  header->controlLength = ReadPatchNumber(payload + 8);
  header->diffLength = ReadPatchNumber(payload + 16);
  header->newSize = ReadPatchNumber(payload + 24);
  if (header->controlLength < 0 || header->diffLength < 0 || header->newSize < 0)
    return PatchHeaderStatus::kNegativeLength;
  if (header->DiffStart() > size) return PatchHeaderStatus::kDiffBeyondEnd;
  if (header->ExtraStart() > size) return PatchHeaderStatus::kExtraBeyondEnd;
  return PatchHeaderStatus::kOk;
}

bool ReadPatchTriple(const PatchPayload& header, int64_t* position, PatchTriple* triple) {
  if (*position + kPatchTripleSize > header.DiffStart()) return false;
  const uint8_t* bytes = header.data + *position;
  triple->x = ReadPatchNumber(bytes);
  triple->y = ReadPatchNumber(bytes + 8);
  triple->z = ReadPatchNumber(bytes + 16);
  *position += kPatchTripleSize;
  return true;
}

int bapatch(const uint8_t* oldData, int64_t oldSize, uint8_t* newData, int64_t newSize,
            const uint8_t* payload, int payloadSize) {
  PatchPayload header;
  const PatchHeaderStatus status = CheckPatchHeader(payload, payloadSize, &header);
  if (status == PatchHeaderStatus::kTooShort) {
    printf("fread(%s)", kPayloadName);
    return -1;
  }
  if (status == PatchHeaderStatus::kBadMagic || status == PatchHeaderStatus::kNegativeLength) {
    printf("Corrupt patch\n");
    return -1;
  }
  if (header.newSize != newSize) {
    printf("Corrupt param of newsize\n");
    return -1;
  }
  if (status != PatchHeaderStatus::kOk) {
    const int64_t start =
        status == PatchHeaderStatus::kDiffBeyondEnd ? header.DiffStart() : header.ExtraStart();
    printf("fseeko(%s, %lld)", kPayloadName, static_cast<long long>(start));
    return -1;
  }

  const int64_t diffEnd = header.ExtraStart();
  const int64_t extraEnd = payloadSize;
  int64_t controlPosition = kPatchHeaderSize;
  int64_t diffPosition = header.DiffStart();
  int64_t extraPosition = header.ExtraStart();
  int64_t newPosition = 0;
  int64_t oldPosition = 0;
  while (newPosition < newSize) {
    PatchTriple triple;
    if (!ReadPatchTriple(header, &controlPosition, &triple) || triple.x < 0 || triple.y < 0 ||
        triple.x > newSize - newPosition || triple.x > diffEnd - diffPosition) {
      printf("Corrupt patch\n");
      return -1;
    }
    std::memcpy(newData + newPosition, payload + diffPosition, size_t(triple.x));
    // Only the part of the span that lies inside the old file gets old bytes added.
    const int64_t first = std::max<int64_t>(0, -oldPosition);
    const int64_t last = std::min<int64_t>(triple.x, oldSize - oldPosition);
    if (last > first) AddBytes(newData + newPosition + first, oldData + oldPosition + first, last - first);
    newPosition += triple.x;
    diffPosition += triple.x;

    if (triple.y > newSize - newPosition || triple.y > extraEnd - extraPosition) {
      printf("Corrupt patch\n");
      return -1;
    }
    std::memcpy(newData + newPosition, payload + extraPosition, size_t(triple.y));
    newPosition += triple.y;
    extraPosition += triple.y;
    oldPosition += triple.x + triple.z;
  }
  return 0;
}

int PatchStreamBuffers::Flush(PatchFile& newFile) {
  if (pending == 0) return 0;
  const uint32_t count = uint32_t(pending);
  uint32_t done = 0;
  const bool ok = WriteFully(newFile, output, count, &done);
  written += done;
  pending = 0;
  if (!ok) return -4;
  return done < count ? -5 : 0;
}

int PatchStreamBuffers::LoadOld(PatchFile& oldFile, int64_t oldSize, int64_t from, int64_t to) {
  if (from >= windowStart && to <= windowStart + windowLength) return 0;
  const bool sequential =
      windowLength > 0 && from >= windowStart && from <= windowStart + windowLength + kPatchReadAhead;
  int64_t start = from;
  int64_t length;
  if (!sequential && ++scatteredReads > kPatchScatteredReads && oldSize <= pieceSize) {
    start = 0;
    length = oldSize;
  } else {
    readAhead =
        sequential ? std::min({std::max(readAhead * 2, kPatchReadAhead), kPatchMaxReadAhead, pieceSize}) : 0;
    length = std::min({std::max(to - from, readAhead), oldSize - from, pieceSize});
  }
  windowStart = start;
  windowLength = 0;
  uint32_t got = 0;
  if (!oldFile.Seek(start) || !ReadFully(oldFile, old, uint32_t(length), &got)) return -2;
  windowLength = got;
  return got < to - start ? -3 : 0;
}

int64_t PatchCursor::WriteChunk(int64_t count, PatchFile& newFile, PatchFile* oldFile, int64_t oldPosition,
                                int64_t oldSize, PatchStreamBuffers& buffers) {
  if (count < 0 || count > buffers.pieceSize || count > end - position) return -1;
  const uint8_t* source = data + position;
  position += count;

  const bool addsOld =
      oldFile && buffers.old && std::min(oldPosition + count, oldSize) > std::max<int64_t>(oldPosition, 0);
  if (!addsOld && count >= buffers.writeSize) {
    // Nothing to add and enough to write: straight from the payload to the file.
    if (const int result = buffers.Flush(newFile)) return result;
    uint32_t done = 0;
    const bool ok = WriteFully(newFile, source, uint32_t(count), &done);
    buffers.written += done;
    if (!ok) return -4;
    return done < count ? -5 : count;
  }

  // Block by block, so that only a block's worth of each buffer is in use.
  for (int64_t done = 0; done < count;) {
    const int64_t block = std::min(count - done, buffers.writeSize);
    if (buffers.pending + block > buffers.pieceSize) {
      if (const int result = buffers.Flush(newFile)) return result;
    }
    uint8_t* target = buffers.output + buffers.pending;
    std::memcpy(target, source + done, size_t(block));
    const int64_t blockOld = oldPosition + done;
    const int64_t from = std::max<int64_t>(blockOld, 0);
    const int64_t to = std::min<int64_t>(blockOld + block, oldSize);
    if (addsOld && to > from) {
      if (const int result = buffers.LoadOld(*oldFile, oldSize, from, to)) return result;
      // Old byte (blockOld + i) meets output byte i.
      AddBytes(target + (from - blockOld), buffers.old + (from - buffers.windowStart), to - from);
    }
    buffers.pending += block;
    done += block;
    if (buffers.pending >= buffers.writeSize) {
      if (const int result = buffers.Flush(newFile)) return result;
    }
  }
  return count;
}

int64_t PatchCursor::WriteRange(int64_t count, PatchFile& newFile, int64_t newPosition, PatchFile* oldFile,
                                int64_t oldSize, int64_t oldPosition, PatchStreamBuffers& buffers) {
  if (newPosition >= 0 && newPosition != buffers.written + buffers.pending) {
    if (buffers.Flush(newFile) != 0 || !newFile.Seek(newPosition)) return -1;
    buffers.written = newPosition;
  }
  const int64_t piece = buffers.pieceSize;
  int64_t left = count;
  while (left >= piece) {
    if (WriteChunk(piece, newFile, oldFile, oldPosition, oldSize, buffers) != piece) return -1;
    oldPosition += piece;
    left -= piece;
    if (ExitRequested()) return -1;
  }
  if (left > 0 && WriteChunk(left, newFile, oldFile, oldPosition, oldSize, buffers) != left) return -2;
  return count;
}

int ApplyPatchStreamed(PatchFile& oldFile, int64_t oldSize, PatchFile& newFile, int64_t newSize,
                       const uint8_t* payload, int payloadSize, int* errorCode, int64_t pieceSize) {
  *errorCode = 0;
  PatchPayload header;
  switch (CheckPatchHeader(payload, payloadSize, &header)) {
    case PatchHeaderStatus::kOk:
      break;
    case PatchHeaderStatus::kTooShort:
    case PatchHeaderStatus::kBadMagic:
    case PatchHeaderStatus::kNegativeLength:
      return -6;
    case PatchHeaderStatus::kDiffBeyondEnd:
      return -8;
    case PatchHeaderStatus::kExtraBeyondEnd:
      return -9;
  }
  if (pieceSize <= 0 || pieceSize > INT32_MAX) return -10;
  PatchBuffer output, old;
  if (!output.Allocate(pieceSize)) return -10;
  if (!old.Allocate(pieceSize)) return -11;
  PatchStreamBuffers buffers;
  buffers.output = output.data();
  buffers.old = old.data();
  buffers.pieceSize = pieceSize;
  buffers.writeSize = std::min(kPatchWriteSize, pieceSize);

  PatchCursor diff{payload, header.ExtraStart(), header.DiffStart()};
  PatchCursor extra{payload, payloadSize, header.ExtraStart()};
  int64_t controlPosition = kPatchHeaderSize;
  int64_t newPosition = 0;
  int64_t oldPosition = 0;
  while (newPosition < newSize) {
    PatchTriple triple;
    if (!ReadPatchTriple(header, &controlPosition, &triple)) {
      *errorCode = -1;
      break;
    }
    if (triple.x < 0 || triple.y < 0 || triple.x > newSize - newPosition) {
      *errorCode = -2;
      break;
    }
    if (diff.WriteRange(triple.x, newFile, newPosition, &oldFile, oldSize, oldPosition, buffers) !=
        triple.x) {
      *errorCode = -3;
      break;
    }
    if (triple.y > newSize - newPosition - triple.x) {
      *errorCode = -4;
      break;
    }
    if (extra.WriteRange(triple.y, newFile, newPosition + triple.x, nullptr, 0, 0, buffers) != triple.y) {
      *errorCode = -5;
      break;
    }
    newPosition += triple.x + triple.y;
    oldPosition += triple.x + triple.z;
    if (ExitRequested()) {
      *errorCode = -6;
      break;
    }
  }
  // What was built before a failure is written all the same, as every chunk before it was.
  if (buffers.Flush(newFile) != 0 && *errorCode == 0) *errorCode = -5;
  return *errorCode < 0 ? -12 : 0;
}
