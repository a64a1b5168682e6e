#pragma once

// The machine's identities for the gate and the usage reports: the public IP address (from the
// public-IP echo service, with the first local IPv4 address as fallback), the local IPv4 address
// and the device id (computer name, a number from the processor's vendor identification and one
// from the first two network adapters' hardware addresses).

#include <cstddef>
#include <cstdint>
#include <string>

struct _IP_ADAPTER_INFO;

// MemoryResponseCallback of the public-IP request, on the worker thread: stores
// DoreveziCore::publicIp and sends the start-up report.
void OnPublicIpReply(int32_t user, int32_t code, const std::string& url, const char* data, int32_t size,
                     const std::string& message);
// The public IP from an echo answer: white space removed; what is left counts only when it is a
// dotted IPv4 address, else the fallback's. A failed request or an empty answer gives the
// fallback's too; an answer of blanks only gives an empty text.
std::string PublicIpFromAnswer(int32_t code, const char* data, int32_t size, std::string (*fallback)());
// Four decimal numbers of 0..255 joined by points, nothing else.
bool IsIpv4Address(const std::string& text);

// The first IPv4 address of the local host name, or empty.
std::string GetLocalIpv4();

// The device id, computed once per process (any thread may ask first).
std::string GetDeviceId();
// Sum of the low and high 16-bit halves of the four CPUID leaf-0 registers.
uint32_t SumCpuIdRegisters(const uint32_t registers[4]);
// The first two adapters' address sums: the smaller in the high and the larger in the low 16 bits;
// the one sum alone with one adapter. False (value untouched) without adapters.
bool GetAdapterFingerprint(uint32_t& value);
uint32_t CombineAdapterSums(uint16_t first, bool hasSecond, uint16_t second);
// The address read as little-endian 16-bit words, summed modulo 65536.
uint16_t SumAdapterAddress(const _IP_ADAPTER_INFO& adapter);
uint16_t SumAddressBytes(const uint8_t* bytes, size_t length);
