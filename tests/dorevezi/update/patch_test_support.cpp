#include "patch_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace patchtest {

Bytes PseudoRandom(size_t count, uint64_t seed) {
  Bytes out(count);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
  size_t i = 0;
  while (i < count) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (int b = 0; b < 8 && i < count; ++b, ++i) out[i] = uint8_t(state >> (8 * b));
  }
  return out;
}

void AppendNumber(Bytes* out, int64_t value) {
  uint64_t magnitude = value < 0 ? uint64_t(-value) : uint64_t(value);
  for (int i = 0; i < 8; ++i) out->push_back(uint8_t(magnitude >> (8 * i)));
  if (value < 0) out->back() |= 0x80;
}

namespace {

// Header fields as given, then the body.
Bytes RawPayload(int64_t controlLength, int64_t diffLength, int64_t newSize, const Bytes& body,
                 const char* magic = "BSDIFN40") {
  Bytes out(magic, magic + 8);
  AppendNumber(&out, controlLength);
  AppendNumber(&out, diffLength);
  AppendNumber(&out, newSize);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes ControlBytes(const std::vector<Triple>& triples) {
  Bytes out;
  for (const Triple& t : triples) {
    AppendNumber(&out, t.x);
    AppendNumber(&out, t.y);
    AppendNumber(&out, t.z);
  }
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace

Bytes EncodePayload(const std::vector<Triple>& triples, const Bytes& diff, const Bytes& extra,
                    int64_t newSize, const char* magic) {
  const Bytes control = ControlBytes(triples);
  Bytes out = RawPayload(int64_t(control.size()), int64_t(diff.size()), newSize, control, magic);
  out.reserve(out.size() + diff.size() + extra.size());
  out.insert(out.end(), diff.begin(), diff.end());
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

PatchCase MakePatchCase(Bytes oldData, const std::vector<Triple>& triples, uint64_t seed) {
  int64_t diffSize = 0, extraSize = 0;
  for (const Triple& t : triples) diffSize += t.x, extraSize += t.y;
  const int64_t newSize = diffSize + extraSize;
  const Bytes noise = PseudoRandom(size_t(newSize), seed);
  PatchCase result;
  result.newData.resize(size_t(newSize));
  Bytes diff(static_cast<size_t>(diffSize)), extra(static_cast<size_t>(extraSize));
  uint8_t* out = result.newData.data();
  uint8_t* diffOut = diff.data();
  uint8_t* extraOut = extra.data();
  const uint8_t* random = noise.data();
  int64_t oldPosition = 0;
  const int64_t oldSize = int64_t(oldData.size());
  for (const Triple& t : triples) {
    for (int64_t i = 0; i < t.x; ++i) {
      const int64_t at = oldPosition + i;
      uint8_t base = 0, value = random[i];
      if (at >= 0 && at < oldSize) {
        // Mostly the old byte, now and then changed: what a new release looks like.
        base = oldData[size_t(at)];
        value = uint8_t(base + ((random[i] & 0x3f) == 0 ? (random[i] | 1) : 0));
      }
      out[i] = value;
      diffOut[i] = uint8_t(value - base);
    }
    out += t.x, random += t.x, diffOut += t.x;
    if (t.y > 0) {
      std::memcpy(out, random, size_t(t.y));
      std::memcpy(extraOut, random, size_t(t.y));
    }
    out += t.y, random += t.y, extraOut += t.y;
    oldPosition += t.x + t.z;
  }
  result.payload = EncodePayload(triples, diff, extra, newSize);
  result.oldData = std::move(oldData);
  return result;
}

Bytes Deflate(const Bytes& data, int level) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, data.data(), uLong(data.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

Bytes MakeContainer(uint32_t rawSize, uint32_t packedSize, const Bytes& stream) {
  Bytes out;
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(rawSize >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(packedSize >> (8 * i)));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

Bytes WrapContainer(const Bytes& payload, int level) {
  const Bytes stream = Deflate(payload, level);
  return MakeContainer(uint32_t(payload.size()), uint32_t(stream.size()), stream);
}

bool MemoryPatchFile::Seek(int64_t position) {
  if (position < 0) return false;
  position_ = position;
  return true;
}

bool MemoryPatchFile::Read(uint8_t* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  if (reads_++ == failingRead) return false;
  const int64_t available = std::max<int64_t>(0, int64_t(content_.size()) - position_);
  *got = uint32_t(std::min<int64_t>(available, count));
  if (*got) std::memcpy(buffer, content_.data() + position_, *got);
  position_ += *got;
  if (afterRead) afterRead();
  return true;
}

bool MemoryPatchFile::Write(const uint8_t* buffer, uint32_t count, uint32_t* written) {
  *written = 0;
  if (writes_++ == failingWrite) return false;
  if (content_.size() < size_t(position_ + count)) content_.resize(size_t(position_ + count));
  if (count) std::memcpy(content_.data() + position_, buffer, count);
  position_ += count;
  *written = count;
  bytesWritten += count;
  if (afterWrite) afterWrite(bytesWritten);
  return true;
}

int64_t MemoryPatchFile::Remaining() {
  return std::max<int64_t>(0, int64_t(content_.size()) - position_);
}

std::vector<ValidCase> ValidCases() {
  std::vector<ValidCase> cases;
  const Bytes old = PseudoRandom(5000, 1);
  cases.push_back({"one triple", MakePatchCase(old, {{5000, 0, 0}}, 10)});
  cases.push_back({"one triple with extra bytes", MakePatchCase(old, {{3000, 1200, 0}}, 11)});

  std::vector<Triple> many;
  const Bytes shape = PseudoRandom(60, 2);
  for (size_t i = 0; i < 20; ++i) {
    const int64_t z = (int64_t(shape[i * 3 + 2]) - 128) * 7;  // both directions
    many.push_back({int64_t(shape[i * 3]) * 2, int64_t(shape[i * 3 + 1]) / 3, z});
  }
  cases.push_back({"many triples, z both ways", MakePatchCase(old, many, 12)});

  // Hundreds of short spans all over the old file: the streaming applier ends up holding the
  // old file whole when it fits in its buffer.
  std::vector<Triple> scattered;
  const Bytes jumps = PseudoRandom(1200, 4);
  int64_t oldPosition = 0;
  for (size_t i = 0; i < 400; ++i) {
    const int64_t x = 8 + jumps[i * 3] % 24;
    const int64_t target = (int64_t(jumps[i * 3 + 2]) * 37 + int64_t(i) * 53) % 4990;
    scattered.push_back({x, jumps[i * 3 + 1] % 4, target - (oldPosition + x)});
    oldPosition = target;
  }
  cases.push_back({"scattered short spans", MakePatchCase(old, scattered, 20)});

  // The second span starts 700 bytes before the old file's start and runs into it.
  cases.push_back({"old position before the start", MakePatchCase(old, {{100, 0, -800}, {2000, 30, 0}}, 13)});
  // The old file ends inside the span, and the next span lies wholly beyond it.
  cases.push_back({"old position past the end", MakePatchCase(Bytes(old.begin(), old.begin() + 300),
                                                              {{1000, 10, 5000}, {400, 0, 0}}, 14)});
  cases.push_back({"old position far both ways",
                   MakePatchCase(old, {{10, 0, 2000000000}, {10, 5, -2100000000}, {2500, 0, 0}}, 15)});
  cases.push_back({"empty old file", MakePatchCase(Bytes(), {{500, 20, 0}}, 16)});
  cases.push_back({"zero-length spans", MakePatchCase(old, {{0, 0, 40}, {0, 64, 0}, {200, 0, -10}}, 17)});
  cases.push_back({"new size 0", MakePatchCase(old, {}, 18)});

  // Triples beyond the new size are never read.
  PatchCase unused = MakePatchCase(old, {{50, 50, 0}}, 19);
  {
    Bytes control = ControlBytes({{50, 50, 0}, {-1, -1, -1}});
    Bytes blocks(unused.payload.begin() + 32 + 24, unused.payload.end());
    unused.payload = RawPayload(int64_t(control.size()), 50, 100, Concat({control, blocks}));
  }
  cases.push_back({"unused trailing triple", unused});
  return cases;
}

std::vector<MalformedCase> MalformedCases() {
  std::vector<MalformedCase> cases;
  const Bytes old = PseudoRandom(256, 3);
  const Bytes sound = MakePatchCase(old, {{100, 20, 0}}, 30).payload;
  const Bytes body(sound.begin() + 32, sound.end());  // one triple, 100 diff and 20 extra bytes

  auto payloadCase = [&](const std::string& name, const Bytes& payload, int result, int error) {
    cases.push_back({name, WrapContainer(payload), old, 1, result, error});
  };
  payloadCase("31-byte payload", Bytes(sound.begin(), sound.begin() + 31), -6, 0);
  payloadCase("bad magic", RawPayload(24, 100, 120, body, "BSDIFF40"), -6, 0);
  payloadCase("negative control length", RawPayload(-24, 100, 120, body), -6, 0);
  payloadCase("negative diff length", RawPayload(24, -100, 120, body), -6, 0);
  payloadCase("negative new size", RawPayload(24, 100, -120, body), -6, 0);
  {
    Bytes payload = RawPayload(24, 100, 120, body);
    payload[8] = 0xf0, payload[9] = 0xff, payload[10] = 0xff, payload[11] = 0xff;  // 32-bit -16, no sign bit
    payloadCase("control length negative in 32 bits", payload, -6, 0);
  }
  payloadCase("control block beyond the end", RawPayload(1000, 100, 120, body), -8, 0);
  payloadCase("diff block beyond the end", RawPayload(24, 1000, 120, body), -9, 0);
  payloadCase("lengths overflowing 32 bits", RawPayload(0x7fffffff, 0x7fffffff, 120, body), -8, 0);

  auto triplesCase = [&](const std::string& name, const std::vector<Triple>& triples, size_t diff,
                         size_t extra, int64_t newSize, int error) {
    const Bytes control = ControlBytes(triples);
    const Bytes data = PseudoRandom(diff + extra, 31);
    const Bytes blocks = Concat({control, data});
    payloadCase(name, RawPayload(int64_t(control.size()), int64_t(diff), newSize, blocks), -12, error);
  };
  // The triple's bytes lie in the payload but not in its control block.
  {
    const Bytes control = ControlBytes({{10, 0, 0}});
    payloadCase("triple crossing the end of the control block",
                RawPayload(16, 10, 10, Concat({control, PseudoRandom(40, 32)})), -12, -1);
  }
  triplesCase("new size beyond the triples", {{10, 0, 0}}, 10, 0, 20, -1);
  triplesCase("negative x", {{-1, 10, 0}}, 10, 10, 10, -2);
  triplesCase("negative y", {{10, -1, 0}}, 10, 10, 20, -2);
  triplesCase("x of 2^31", {{int64_t(1) << 31, 0, 0}}, 10, 0, 10, -2);
  triplesCase("x past the new size", {{30, 0, 0}}, 30, 0, 20, -2);
  triplesCase("x + y past the new size", {{10, 15, 0}}, 10, 15, 20, -4);
  triplesCase("x past the diff block", {{20, 0, 0}}, 10, 100, 20, -3);
  triplesCase("y past the extra block", {{10, 30, 0}}, 10, 20, 40, -5);
  triplesCase("second triple past the diff block", {{8, 2, 0}, {8, 2, 0}}, 10, 100, 20, -3);

  auto containerCase = [&](const std::string& name, const Bytes& file, int result) {
    cases.push_back({name, file, old, result, 0, 0});
  };
  const Bytes stream = Deflate(sound);
  const uint32_t raw = uint32_t(sound.size());
  const uint32_t packed = uint32_t(stream.size());
  containerCase("empty file", Bytes(), -2);
  containerCase("two bytes", Bytes{1, 2}, -2);
  containerCase("raw size only", Bytes{0x10, 0, 0, 0}, -4);
  containerCase("six bytes", Bytes{0x10, 0, 0, 0, 0x10, 0}, -4);
  containerCase("packed data shorter than the packed size", MakeContainer(raw, packed + 1, stream), -6);
  containerCase("packed size of 2 GiB", MakeContainer(raw, 0x80000000u, stream), -5);
  containerCase("not a zlib stream", MakeContainer(raw, 64, PseudoRandom(64, 33)), -7);
  containerCase("zlib stream cut short",
                MakeContainer(raw, packed - 6, Bytes(stream.begin(), stream.end() - 6)), -7);
  containerCase("stream longer than the raw size", MakeContainer(raw - 1, packed, stream), -7);
  containerCase("stream shorter than the raw size", MakeContainer(raw + 1, packed, stream), -7);
  {
    // Longer than raw size + 1000 but within twice the raw size.
    const Bytes longer = PseudoRandom(3500, 34);
    const Bytes longerStream = Deflate(longer);
    containerCase("stream far beyond the raw size",
                  MakeContainer(2000, uint32_t(longerStream.size()), longerStream), -7);
  }
  containerCase("raw size no stream can reach", MakeContainer(0x7fffffff, packed, stream), -7);
  containerCase("raw size of 2 GiB", MakeContainer(0x80000000u, packed, stream), -7);
  return cases;
}

}  // namespace patchtest
