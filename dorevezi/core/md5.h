#pragma once

// MD5 (RFC 1321) of byte streams and files. Every file the launcher installs, downloads,
// checks or lists is identified by its digest as 32 lower-case hexadecimal digits.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

class Md5Context {
 public:
  Md5Context();

  // Adds bytes; every complete 64-byte block is transformed at once.
  void Update(const char* data, size_t size);
  // Pads, appends the length and produces the digest. Call once per stream.
  void Finalize();
  // The 16 digest bytes, valid after Finalize.
  const uint8_t* Digest() const { return digest_; }
  bool IsFinalized() const { return finalized_; }
  // The digest as 32 lower-case hexadecimal digits (empty before Finalize).
  std::string HexDigest() const;

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint32_t bitCount_[2];  // message length in bits, low word first
  uint8_t buffer_[64];
  uint8_t digest_[16];
  bool finalized_;
};

// Digest of everything left in an open stream, and its byte count; the stream's file is
// closed afterwards. False when reading failed part-way (the digest is then not written).
// The 32-bit count cannot express 2 GiB or more: it is then -1, which no size in a version
// list can equal; the 64-bit form gives the real count.
bool ComputeMd5(std::istream& in, std::string& hexDigest, int& byteCount);
bool ComputeMd5(std::istream& in, std::string& hexDigest, int64_t& byteCount);

// Digest of the file at `path` (8-bit, ANSI code page) compared byte for byte with
// `expectedMd5`, so an expected digest in capitals never matches. A file that cannot be
// opened or read gives false with an empty digest and a count of 0.
bool FileMd5Matches(const std::string& path, const std::string& expectedMd5, std::string& actualMd5,
                    int& byteCount);
