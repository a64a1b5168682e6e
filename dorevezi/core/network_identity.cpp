#include "dorevezi/core/network_identity.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <intrin.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "dorevezi/core/dorevezi_core.h"

namespace {

constexpr size_t kDeviceIdMaxChars = 259;
constexpr DWORD kAdapterBufferBytes = 0x5800;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The start-up report follows every public-IP answer.
void ReportStartup() {
  DoreveziCore& core = DoreveziCore::GetInstance();
  core.ReportDoreveziDetail("13", "0", "0", "0");
  core.ReportAttributionEvent("click_launch_start_open", "0", "0", "0");
}

std::string ComputeDeviceId() {
  std::string id;
  char name[1024] = {};
  DWORD nameLength = sizeof(name);
  if (GetComputerNameA(name, &nameLength)) id.assign(name, nameLength);
  int registers[4] = {};
  __cpuidex(registers, 0, 0);
  // The sum's order of registers does not matter.
  const uint32_t words[4] = {uint32_t(registers[0]), uint32_t(registers[1]), uint32_t(registers[2]),
                             uint32_t(registers[3])};
  id += std::to_string(SumCpuIdRegisters(words));
  uint32_t fingerprint = 0;
  if (GetAdapterFingerprint(fingerprint)) id += std::to_string(fingerprint);
  if (id.size() > kDeviceIdMaxChars) id.resize(kDeviceIdMaxChars);
  return id;
}

}  // namespace

bool IsIpv4Address(const std::string& text) {
  int parts = 0;
  size_t i = 0;
  while (true) {
    size_t digits = 0;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + (text[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
}

std::string PublicIpFromAnswer(int32_t code, const char* data, int32_t size, std::string (*fallback)()) {
  if (code < 0 || !data || size <= 0) return fallback();
  std::string answer;
  for (int32_t i = 0; i < size; ++i) {
    if (!IsBlank(data[i])) answer += data[i];
  }
  // Blanks only leave nothing, which is kept as the answer; an error page is no address.
  if (answer.empty() || IsIpv4Address(answer)) return answer;
  return fallback();
}

void OnPublicIpReply(int32_t /*user*/, int32_t code, const std::string& /*url*/, const char* data, int32_t size,
                     const std::string& /*message*/) {
  DoreveziCore::GetInstance().publicIp = PublicIpFromAnswer(code, data, size, &GetLocalIpv4);
  ReportStartup();
}

std::string GetLocalIpv4() {
  char name[128] = {};
  if (gethostname(name, sizeof(name)) != 0) return std::string();
  hostent* host = gethostbyname(name);
  if (!host || host->h_addrtype != AF_INET || !host->h_addr_list) return std::string();
  for (char** address = host->h_addr_list; *address; ++address) {
    in_addr value;
    memcpy(&value, *address, sizeof(value));
    const char* text = inet_ntoa(value);
    if (text && *text) return text;
  }
  return std::string();
}

std::string GetDeviceId() {
  // Filled once under the guard, whichever thread asks first.
  static std::once_flag once;
  static std::string cached;
  std::call_once(once, [] { cached = ComputeDeviceId(); });
  return cached;
}

uint32_t SumCpuIdRegisters(const uint32_t registers[4]) {
  uint32_t sum = 0;
  for (int i = 0; i < 4; ++i) sum += (registers[i] & 0xFFFF) + (registers[i] >> 16);
  return sum;
}

uint16_t SumAddressBytes(const uint8_t* bytes, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum += (i % 2 == 0) ? bytes[i] : uint32_t(bytes[i]) << 8;
  return static_cast<uint16_t>(sum & 0xFFFF);
}

uint16_t SumAdapterAddress(const IP_ADAPTER_INFO& adapter) {
  size_t length = adapter.AddressLength;
  if (length > sizeof(adapter.Address)) length = sizeof(adapter.Address);
  return SumAddressBytes(adapter.Address, length);
}

uint32_t CombineAdapterSums(uint16_t first, bool hasSecond, uint16_t second) {
  if (!hasSecond) return first;
  const uint16_t low = first < second ? second : first;
  const uint16_t high = first < second ? first : second;
  return (uint32_t(high) << 16) | low;
}

bool GetAdapterFingerprint(uint32_t& value) {
  std::vector<unsigned char> buffer(kAdapterBufferBytes);
  ULONG size = kAdapterBufferBytes;
  IP_ADAPTER_INFO* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(list, &size) != ERROR_SUCCESS) return false;
  const uint16_t first = SumAdapterAddress(*list);
  const IP_ADAPTER_INFO* next = list->Next;
  value = CombineAdapterSums(first, next != nullptr, next ? SumAdapterAddress(*next) : 0);
  return true;
}
