// The system browser for the tests: registered for http and https in a test prefix, it records
// what the shell hands it and ends. Each start appends its command line, as UTF-8, as one line
// to the file named by DV_SYSBROWSER_LOG, else to "sysbrowser.log" beside the program.
#include <windows.h>

#include <string>

namespace {

std::wstring LogPath() {
  wchar_t named[MAX_PATH] = {};
  const DWORD namedLength = GetEnvironmentVariableW(L"DV_SYSBROWSER_LOG", named, MAX_PATH);
  if (namedLength > 0 && namedLength < MAX_PATH) return std::wstring(named, namedLength);
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  std::wstring log(path, length);
  return log.substr(0, log.find_last_of(L"\\/") + 1) + L"sysbrowser.log";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring log = LogPath();
  if (log.empty()) return 1;
  const wchar_t* commandLine = GetCommandLineW();
  const int size = WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return 1;
  std::string line(static_cast<size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, &line[0], size, nullptr, nullptr);
  line += "\n";
  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size() ? 0 : 1;
}
