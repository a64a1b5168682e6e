// Fuzzes the readers of server replies that the update states parse: the game's and the
// launcher's gate replies and the version-list reader. No input may crash them, every rejection
// must say why, and no accepted list may carry a path that leaves its folder.
//
// Input: byte 0 chooses the reader (modulo 3), the rest is the reply body.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "dorevezi/core/version_map.h"
#include "dorevezi/update/gate_reply.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

void RequireSafe(const VersionMap& map) {
  for (const auto& entry : map) Require(IsSafeRelativePath(entry.first));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* body = reinterpret_cast<const char*>(data + 1);
  const size_t length = size - 1;
  std::string error;
  switch (data[0] % 3) {
    case 0: {
      GameGateReply reply;
      if (!ReadGameGateReply(body, length, reply, error)) {
        Require(error.rfind("Parse Failed:", 0) == 0 || error == "Invalid DlcAddr");
      } else if (reply.hasInlineList) {
        RequireSafe(reply.inlineMap);
      }
      break;
    }
    case 1: {
      DoreveziGateReply reply;
      if (!ReadDoreveziGateReply(body, length, reply, error)) Require(!error.empty());
      break;
    }
    default: {
      VersionMap map;
      map["kept"] = VersionMapEntry{"m", 1};
      if (ParseVersionMap(std::string(body, length), map, error)) {
        RequireSafe(map);
        std::string version;
        GetListVersion(std::string(body, length), version);
      } else {
        Require(!error.empty() || length == 0);
        Require(map.size() == 1 && map.count("kept"));  // a rejected list leaves the map untouched
      }
      break;
    }
  }
  return 0;
}
