#pragma once

#include <string>

namespace runtime {

// Appends "[pid:tid:MMDD/HHMMSS.mmm:LEVEL] text" to the runtime log (UTF-8); nothing before a
// log file has been set.
void SetLogFile(const std::wstring& path);
void Log(const char* level, const std::wstring& text);
inline void LogInfo(const std::wstring& text) { Log("INFO", text); }
inline void LogError(const std::wstring& text) { Log("ERROR", text); }

}  // namespace runtime
