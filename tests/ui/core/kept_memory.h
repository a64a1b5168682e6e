#pragma once

// Test objects whose memory outlives them: deleting one fills its memory with a pattern and
// keeps it, so a late use crashes through the overwritten table pointer or shows as a changed
// byte, instead of landing quietly in memory the allocator has handed out again.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace ui_test {

constexpr unsigned char kFreedByte = 0xDD;

struct KeptBlock {
  unsigned char* bytes;
  size_t size;
};

inline std::vector<KeptBlock>& KeptBlocks() {
  static std::vector<KeptBlock> blocks;
  return blocks;
}

// Objects of Kept types deleted since the last FreedMemoryUntouched.
inline int KeptDeletions() { return static_cast<int>(KeptBlocks().size()); }

// True when no byte of a deleted Kept object changed after its deletion; the memory is then
// given back.
inline bool FreedMemoryUntouched() {
  bool untouched = true;
  for (const KeptBlock& block : KeptBlocks()) {
    for (size_t i = 0; i < block.size; ++i) {
      if (block.bytes[i] != kFreedByte) untouched = false;
    }
    ::operator delete(block.bytes);
  }
  KeptBlocks().clear();
  return untouched;
}

// Declared before the objects under test: starts the count and, when it goes, checks every
// Kept object deleted meanwhile, the test's own clean-up included.
class KeptMemoryCheck {
 public:
  KeptMemoryCheck() { FreedMemoryUntouched(); }
  ~KeptMemoryCheck() { EXPECT_TRUE(FreedMemoryUntouched()) << "a deleted object was used afterwards"; }
};

template <typename T>
class Kept : public T {
 public:
  using T::T;
  static void* operator new(size_t size) { return ::operator new(size); }
  static void operator delete(void* memory, size_t size) {
    std::memset(memory, kFreedByte, size);
    KeptBlocks().push_back(KeptBlock{static_cast<unsigned char*>(memory), size});
  }
};

}  // namespace ui_test
