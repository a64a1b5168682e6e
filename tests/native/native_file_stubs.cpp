// The JSON helpers' file functions in the native build: the fuzzers never reach the disk.
#include <string>

#include "dorevezi/core/paths.h"

bool ReadWholeFileA(const std::string&, std::string&) {
  return false;
}

bool WriteWholeFileA(const std::string&, const std::string&) {
  return false;
}
