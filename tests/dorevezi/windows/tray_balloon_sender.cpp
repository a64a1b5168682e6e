// Another program asking the launcher's tray for a balloon: sends one WM_COPYDATA block to the
// owner window and, once SendMessage has returned, appends "returned <case>" to the order log.
// Usage: tray_balloon_sender <owner window> <case> <order log> <flash window> <sound path>
// Cases: dwdata1 (a whole request with dwData 1), cb0, cb2695 (a whole request announced
// short), cb2696, cb4096 (the request at the start of a larger block), unterminated (every
// field filled to its end without a NUL), empty (empty texts and no sound).

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "dorevezi/windows/notify_tray.h"

namespace {

template <size_t N>
void Put(wchar_t (&field)[N], const std::wstring& text) {
  wcsncpy(field, text.c_str(), N);
}

template <size_t N>
void Fill(wchar_t (&field)[N], wchar_t first) {
  for (size_t i = 0; i < N; ++i) field[i] = static_cast<wchar_t>(first + i % 26);
}

void AppendLine(const std::wstring& path, const std::string& line) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) return 2;
  HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(argv[1], nullptr, 10)));
  const std::wstring name = argv[2];
  const std::wstring log = argv[3];
  HWND flash = reinterpret_cast<HWND>(static_cast<uintptr_t>(wcstoull(argv[4], nullptr, 10)));

  std::vector<char> block(4096, 0);
  auto* request = reinterpret_cast<TrayBalloonRequest*>(block.data());
  Put(request->title, L"标题 " + name);
  Put(request->text, L"正文 " + name);
  Put(request->soundPath, argv[5]);
  request->flashWindow = flash;

  COPYDATASTRUCT data = {};
  data.dwData = 0;
  data.cbData = sizeof(TrayBalloonRequest);
  data.lpData = block.data();
  if (name == L"dwdata1") {
    data.dwData = 1;
  } else if (name == L"cb0") {
    data.cbData = 0;
  } else if (name == L"cb2695") {
    data.cbData = sizeof(TrayBalloonRequest) - 1;
  } else if (name == L"cb4096") {
    data.cbData = static_cast<DWORD>(block.size());
  } else if (name == L"unterminated") {
    Fill(request->title, L'A');
    Fill(request->text, L'a');
    Fill(request->soundPath, L'A');
  } else if (name == L"empty") {
    request->title[0] = request->text[0] = request->soundPath[0] = L'\0';
  } else if (name != L"cb2696") {
    return 2;
  }
  const LRESULT answer = SendMessageW(owner, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  std::string narrow(name.begin(), name.end());
  AppendLine(log, "returned " + narrow + " " + std::to_string(answer));
  return 0;
}
