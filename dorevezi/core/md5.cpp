#include "dorevezi/core/md5.h"

#include <climits>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

// Large reads keep the per-call cost of the runtime (and of Wine's file layer) out of the way:
// the digest runs over every installed file.
constexpr size_t kReadBlockBytes = 1 << 20;

inline uint32_t RotateLeft(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

inline uint32_t LoadLittleEndian(const uint8_t* bytes) {
  uint32_t value;
  memcpy(&value, bytes, sizeof(value));  // x86 is little-endian, as MD5's words are
  return value;
}

// The four auxiliary functions, in the forms that need the fewest operations.
#define MD5_F(x, y, z) ((((y) ^ (z)) & (x)) ^ (z))
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, word, constant, shift) \
  (a) += f((b), (c), (d)) + (word) + (constant);       \
  (a) = RotateLeft((a), (shift)) + (b)

const uint8_t kPadding[64] = {0x80};

}  // namespace

Md5Context::Md5Context()
    : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u}, bitCount_{0, 0}, finalized_(false) {
  memset(buffer_, 0, sizeof(buffer_));
  memset(digest_, 0, sizeof(digest_));
}

void Md5Context::Update(const char* data, size_t size) {
  const uint8_t* input = reinterpret_cast<const uint8_t*>(data);
  size_t used = (bitCount_[0] >> 3) & 0x3F;

  uint64_t bits =
      (static_cast<uint64_t>(bitCount_[1]) << 32 | bitCount_[0]) + (static_cast<uint64_t>(size) << 3);
  bitCount_[0] = static_cast<uint32_t>(bits);
  bitCount_[1] = static_cast<uint32_t>(bits >> 32);

  if (used > 0) {
    size_t room = 64 - used;
    if (size < room) {
      memcpy(buffer_ + used, input, size);
      return;
    }
    memcpy(buffer_ + used, input, room);
    Transform(buffer_);
    input += room;
    size -= room;
  }
  // Whole blocks straight from the caller's bytes, without copying them.
  for (; size >= 64; input += 64, size -= 64) Transform(input);
  if (size > 0) memcpy(buffer_, input, size);
}

void Md5Context::Finalize() {
  if (finalized_) return;
  uint8_t length[8];
  for (int i = 0; i < 4; ++i) {
    length[i] = static_cast<uint8_t>(bitCount_[0] >> (8 * i));
    length[i + 4] = static_cast<uint8_t>(bitCount_[1] >> (8 * i));
  }
  size_t used = (bitCount_[0] >> 3) & 0x3F;
  size_t padding = used < 56 ? 56 - used : 120 - used;
  Update(reinterpret_cast<const char*>(kPadding), padding);
  Update(reinterpret_cast<const char*>(length), 8);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) digest_[4 * i + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
  }
  finalized_ = true;
}

std::string Md5Context::HexDigest() const {
  if (!finalized_) return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string text(32, '0');
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = kHex[digest_[i] >> 4];
    text[2 * i + 1] = kHex[digest_[i] & 0x0F];
  }
  return text;
}

void Md5Context::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

  MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478u, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756u, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070dbu, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceeeu, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0fafu, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62au, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613u, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501u, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8u, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7afu, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1u, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7beu, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122u, 7);
  MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193u, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438eu, 17);
  MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821u, 22);

  MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562u, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340u, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51u, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aau, 20);
  MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105du, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453u, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681u, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8u, 20);
  MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6u, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6u, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87u, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14edu, 20);
  MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905u, 5);
  MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8u, 9);
  MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9u, 14);
  MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8au, 20);

  MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942u, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681u, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122u, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380cu, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44u, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9u, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60u, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70u, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6u, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fau, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085u, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05u, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039u, 4);
  MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5u, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8u, 16);
  MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665u, 23);

  MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244u, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97u, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7u, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039u, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3u, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92u, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47du, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1u, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4fu, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0u, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314u, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1u, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82u, 6);
  MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235u, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bbu, 15);
  MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391u, 21);

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

bool ComputeMd5(std::istream& in, std::string& hexDigest, int64_t& byteCount) {
  byteCount = 0;
  Md5Context context;
  std::unique_ptr<char[]> block(new char[kReadBlockBytes]);
  for (;;) {
    in.read(block.get(), kReadBlockBytes);
    std::streamsize got = in.gcount();
    if (got > 0) {
      context.Update(block.get(), static_cast<size_t>(got));
      byteCount += got;
    }
    if (!in) break;
  }
  bool readFailed = in.bad();
  if (auto* file = dynamic_cast<std::ifstream*>(&in)) file->close();
  if (readFailed) {
    byteCount = 0;
    return false;
  }
  context.Finalize();
  hexDigest = context.HexDigest();
  return true;
}

bool ComputeMd5(std::istream& in, std::string& hexDigest, int& byteCount) {
  int64_t count = 0;
  bool ok = ComputeMd5(in, hexDigest, count);
  byteCount = count <= INT_MAX ? static_cast<int>(count) : -1;
  return ok;
}

bool FileMd5Matches(const std::string& path, const std::string& expectedMd5, std::string& actualMd5,
                    int& byteCount) {
  actualMd5.clear();
  byteCount = 0;
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;
  std::string digest;
  int count = 0;
  if (!ComputeMd5(in, digest, count)) return false;
  actualMd5 = digest;
  byteCount = count;
  return actualMd5 == expectedMd5;
}
