#pragma once

// Certificate checks for every transfer, with one trust store shared by all connections: the
// Windows root store is read once per process, not once per connection, and the operator's extra
// CA file (an absolute path, or empty) is added to it.
//
// File transfers may also read ahead: their TLS layer takes as many bytes from the socket as it
// can hold, so one socket read (costly under Wine) serves many TLS records. The bytes so held are
// no longer visible on the socket, so the pump must hand such transfers back to libcurl itself
// (HasReadAheadData). Synchronous requests, which libcurl waits for on the socket, never read ahead.

#include <curl/curl.h>

#include <string>

enum class TlsReadAhead { kOff, kOn };

// Peer and host-name verification against the shared store, on an easy handle.
void SetVerifiedTls(CURL* handle, const std::string& caFile, TlsReadAhead readAhead);

// Whether the transfer's TLS layer holds received bytes that libcurl has not taken yet.
bool HasReadAheadData(CURL* handle);
