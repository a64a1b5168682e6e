#pragma once

// Machine facts and small converters without state: free disk space, the drive letter for
// messages, HKEY_LOCAL_MACHINE values, operating-system and processor texts for usage
// reports, UTC date and time texts, the remaining-time text, version texts A_B_C, and
// reading an open file whole. Any thread may call them.

#include <windows.h>

#include <cstdint>
#include <string>

// "%02d:%02d:%02d" of hours, minutes and seconds (hours may take more digits). Returns the
// characters written, or -1 when the text does not fit `bufferChars` (the buffer then holds
// as much as fits, terminated).
int FormatDuration(int seconds, wchar_t* buffer, int bufferChars);

// Total bytes and bytes available to the caller on the drive of `path` (relative paths from
// the current folder). False for a path without drive letter (UNC) or a failed query.
bool GetDiskSpaceA(const std::string& path, uint64_t& totalBytes, uint64_t& availableBytes);
bool GetDiskSpace(const std::wstring& path, uint64_t& totalBytes, uint64_t& availableBytes);
// The drive letter of `path` made absolute ("E" for E:\Games), or empty.
std::wstring GetDrivePrefix(const std::wstring& path);

// Writes a REG_SZ value under HKEY_LOCAL_MACHINE, trying `fallbackKey` (when not empty) where
// `key` does not open. 0: the value already held that text; 1: written; -1: no key could be
// opened for writing or the write failed.
int SetMachineRegistryString(const std::wstring& key, const std::wstring& fallbackKey,
                             const std::wstring& valueName, const std::wstring& value);
// A value under HKEY_LOCAL_MACHINE (64-bit view) as text up to its first zero, never beyond the
// size the registry returned; empty when the key or value cannot be read.
std::string ReadMachineRegistryString(const std::wstring& key, const std::string& valueName);
// A 32-bit value under HKEY_LOCAL_MACHINE (64-bit view) as unsigned decimal text, or "0".
std::string ReadMachineRegistryNumber(const std::wstring& key, const std::string& valueName);

// "major.minor.build" of the running Windows, from the registry.
std::string GetOsVersionText();
// The processor's name, or empty.
std::string GetCpuName();
// The current UTC date ("%4d-%02d-%02d") and time ("%02d:%02d:%02d"); always true.
bool GetUtcDateTimeTexts(std::string& date, std::string& time);

// Parses "A_B_C": true only for exactly three parts of decimal digits, each within the
// signed 32-bit range (a version later becomes a folder name). The outs receive A, C and B in
// that order, so comparing them in order ranks the third part above the second; all three are
// 0 on false.
// A non-empty run of decimal digits within int32 (no sign, no blanks).
bool ParseDecimalInt(const std::string& text, int& value);
bool ParseVersionTriple(const std::string& version, int& first, int& second, int& third);

// Reads the first `byteCount` bytes of an open file into a malloc'd buffer of byteCount + 1
// bytes (the caller frees it); null when the file holds fewer bytes or reading fails. The
// handle is closed in every case.
char* ReadHandleToBuffer(HANDLE file, uint64_t byteCount, uint64_t* bytesRead);
