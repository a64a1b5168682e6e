// Hashes a file with the launcher's ComputeMd5, as the update engine does for every installed
// file, and prints the digest, the byte count and the best time of a few passes:
//   md5_bench <file> [passes]  ->  "<digest> <bytes> <seconds>"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "dorevezi/core/md5.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: md5_bench <file> [passes]\n");
    return 2;
  }
  int passes = argc > 2 ? atoi(argv[2]) : 3;
  if (passes < 1) passes = 1;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 0;
  std::string digest;
  int64_t bytes = 0;
  for (int pass = 0; pass < passes; ++pass) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::ifstream in(argv[1], std::ios::in | std::ios::binary);
    if (!in.is_open() || !ComputeMd5(in, digest, bytes)) {
      fprintf(stderr, "md5_bench: cannot read %s\n", argv[1]);
      return 1;
    }
    QueryPerformanceCounter(&end);
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    if (pass == 0 || seconds < best) best = seconds;
  }
  printf("%s %lld %.6f\n", digest.c_str(), static_cast<long long>(bytes), best);
  return 0;
}
