// Writes the fuzzer's seed corpus into a folder: every valid and malformed case of the patch
// tests, in the fuzzer's input layout (see patch_fuzzer.cpp), as container and as bare payload.

#include <cstdio>
#include <string>

#include "patch_test_support.h"

using patchtest::Bytes;

namespace {

bool WriteSeed(const std::string& path, uint8_t flags, const Bytes& old, const Bytes& patch) {
  Bytes input{flags, uint8_t(old.size()), uint8_t(old.size() >> 8)};
  input.insert(input.end(), old.begin(), old.end());
  input.insert(input.end(), patch.begin(), patch.end());
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = fwrite(input.data(), 1, input.size(), file) == input.size();
  return fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  int index = 0;
  bool ok = true;
  for (const auto& c : patchtest::ValidCases()) {
    if (c.patch.oldData.size() > 0xffff) continue;
    const uint8_t piece = uint8_t((index % 4) << 1);
    ok &= WriteSeed(folder + "/valid-" + std::to_string(index) + "-container", piece, c.patch.oldData,
                    patchtest::WrapContainer(c.patch.payload));
    ok &= WriteSeed(folder + "/valid-" + std::to_string(index) + "-payload", piece | 1, c.patch.oldData,
                    c.patch.payload);
    ++index;
  }
  for (const auto& c : patchtest::MalformedCases()) {
    ok &= WriteSeed(folder + "/malformed-" + std::to_string(index++), 0, c.oldData, c.file);
  }
  if (!ok) fprintf(stderr, "could not write the seeds into %s\n", folder.c_str());
  return ok ? 0 : 1;
}
