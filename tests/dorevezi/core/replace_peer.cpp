// A stand-in for the launcher around the self-updater's tests.
//   replace_peer.exe                       writes "started.txt" (its own path) in the current
//                                          folder and exits: the "new launcher" that gets started.
//   replace_peer.exe old-launcher MS CMD   holds its own executable locked as a running launcher
//                                          does, starts CMD (the rest of the command line), and
//                                          exits after MS milliseconds: a slow old launcher.
//   replace_peer.exe ANYTHING ELSE         appends its command line to "runs.txt": a launcher
//                                          copy started by the launcher, as a witness.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

int WriteStartedMarker() {
  HANDLE file =
      CreateFileW(L"started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  std::wstring path = OwnPath();
  DWORD written = 0;
  WriteFile(file, path.data(), static_cast<DWORD>(path.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(file);
  return 0;
}

// The command line after the first `skip` arguments, as written.
const wchar_t* CommandLineAfter(int skip) {
  const wchar_t* p = GetCommandLineW();
  for (int i = 0; i < skip; ++i) {
    while (*p == L' ') ++p;
    bool quoted = false;
    while (*p && (quoted || *p != L' ')) {
      if (*p == L'"') quoted = !quoted;
      ++p;
    }
  }
  while (*p == L' ') ++p;
  return p;
}

int RecordRun() {
  HANDLE file = CreateFileW(L"runs.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  std::wstring line = std::wstring(CommandLineAfter(1)) + L"\n";
  std::string bytes(line.begin(), line.end());
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}

int ActAsOldLauncher(DWORD lifetimeMs) {
  HANDLE self = CreateFileW(OwnPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (self == INVALID_HANDLE_VALUE) return 3;
  std::wstring command = CommandLineAfter(3);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 4;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Sleep(lifetimeMs);
  CloseHandle(self);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 1) return WriteStartedMarker();
  if (argc >= 4 && std::wstring(argv[1]) == L"old-launcher")
    return ActAsOldLauncher(wcstoul(argv[2], nullptr, 10));
  return RecordRun();
}
