// The runtime's start and stop as a program sees them: cef_probe.exe runs the launcher's steps in
// folders laid out like the launcher's, with the runtime stand-in or a bad one beside it.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>

#include "test_support/temp_dir.h"

namespace {

std::wstring BinaryPath(const std::wstring& relative) {
  const wchar_t* root = _wgetenv(L"DV_BINARY_DIR");
  std::wstring path = root ? root : L".";
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  path += L"/" + relative;
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(file);
  return ok;
}

// A launcher-like folder: the probe as the program, and a "cef" folder as asked.
class ProbeFolder {
 public:
  ProbeFolder() { EXPECT_TRUE(CopyFileW(BinaryPath(L"tests/browser/cef_probe.exe").c_str(), Exe().c_str(), FALSE)); }
  std::wstring Path(const std::wstring& relative) const { return dir_.Path() + L"\\" + relative; }
  std::wstring Exe() const { return Path(L"cef_probe.exe"); }
  void MakeCef() { CreateDirectoryW(Path(L"cef").c_str(), nullptr); }
  void InstallRuntime() {
    MakeCef();
    for (const wchar_t* name : {L"libcef.dll", L"cef_helper.exe", L"dummy_cmd.exe"})
      EXPECT_TRUE(CopyFileW(BinaryPath(std::wstring(L"bin/cef/") + name).c_str(), Path(std::wstring(L"cef\\") + name).c_str(), FALSE));
  }

  // Runs the probe with `arguments`; its "key=value" lines, and "exit" with its exit code.
  std::map<std::string, std::string> Run(const std::wstring& arguments, DWORD timeoutMs = 120000) {
    DeleteFileW(Path(L"probe.txt").c_str());
    std::wstring command = L"\"" + Exe() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::map<std::string, std::string> seen;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.Path().c_str(), &startup, &info)) {
      ADD_FAILURE() << "probe did not start";
      return seen;
    }
    if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(info.hProcess, 99);
      ADD_FAILURE() << "probe did not end";
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    std::istringstream lines(ReadBytes(Path(L"probe.txt")));
    for (std::string line; std::getline(lines, line);) {
      size_t equals = line.find('=');
      if (equals != std::string::npos) seen[line.substr(0, equals)] = line.substr(equals + 1);
    }
    seen["exit"] = std::to_string(code);
    return seen;
  }

 private:
  test_support::TempDir dir_;
};

TEST(CefRuntimeStartTest, WithoutCefFolderNothingIsLoadedOrChanged) {
  ProbeFolder folder;
  auto seen = folder.Run(L"start");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("0", seen["prepared"]);
  EXPECT_EQ("1", seen["path_kept_whole"]);
  EXPECT_EQ(std::string::npos, seen["comspec"].find("dummy_cmd"));
  EXPECT_EQ("0", seen["loaded"]);
}

// A runtime folder whose library is missing, not a library, or of another kind or version: the
// start fails cleanly and the program goes on.
TEST(CefRuntimeStartTest, MissingBrokenOrForeignRuntimeFailsWithoutCrash) {
  struct Case {
    const char* name;
    const wchar_t* library;  // null: none; "": junk bytes
  };
  const Case cases[] = {
      {"missing", nullptr},
      {"junk", L""},
      {"truncated", L"bin/cef/libcef.dll"},
      {"foreign", L"tests/browser/foreign_library.dll"},
      {"other version", L"tests/browser/other_version/libcef.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeFolder folder;
    folder.MakeCef();
    const std::wstring target = folder.Path(L"cef\\libcef.dll");
    if (c.library && !*c.library) {
      ASSERT_TRUE(WriteBytes(target, "MZ this is no library"));
    } else if (c.library && std::string(c.name) == "truncated") {
      std::string bytes = ReadBytes(BinaryPath(c.library));
      ASSERT_TRUE(WriteBytes(target, bytes.substr(0, bytes.size() / 3)));
    } else if (c.library) {
      ASSERT_TRUE(CopyFileW(BinaryPath(c.library).c_str(), target.c_str(), FALSE));
    }
    auto seen = folder.Run(L"start");
    EXPECT_EQ("1", seen["done"]);
    EXPECT_EQ("0", seen["exit"]);
    EXPECT_EQ("1", seen["prepared"]);
    EXPECT_EQ("0", seen["initialized"]);
    EXPECT_EQ("0", seen["is_cef_initialized"]);
    EXPECT_EQ("0", seen["loaded"]);
    EXPECT_EQ("0", seen["startup_window"]);
  }
}

TEST(CefRuntimeStartTest, StartsWithTheLaunchersSettingsAndStopsAtOnce) {
  ProbeFolder folder;
  folder.InstallRuntime();
  auto seen = folder.Run(L"start");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("1", seen["prepared"]);
  EXPECT_EQ("1", seen["path_kept_whole"]);
  EXPECT_EQ("1", seen["initialized"]);
  EXPECT_EQ("1", seen["is_cef_initialized"]);
  EXPECT_EQ("1", seen["loaded"]);
  EXPECT_EQ(".\\cef\\cef_helper.exe", seen["subprocess_path"]);
  EXPECT_EQ("1", seen["startup_window"]);
  EXPECT_EQ("1", seen["startup_window_closed"]);

  std::string log = ReadBytes(folder.Path(L"cef_temp\\cef.log"));
  size_t line = log.find("Browser process command line: ");
  ASSERT_NE(std::string::npos, line) << log;
  std::string browserLine = log.substr(line, log.find('\n', line) - line);
  // Every switch, in order, both off-screen ones included.
  size_t at = 0;
  for (const char* expected :
       {"--ppapi-flash-version=20.0.0.228", "--ppapi-flash-path=PepperFlash\\pepflashplayer.dll",
        "--process-per-site", "--disable-gpu", "--disable-gpu-compositing", "--disable-surfaces",
        "--enable-begin-frame-scheduling"}) {
    at = browserLine.find(expected, at);
    EXPECT_NE(std::string::npos, at) << expected << " in " << browserLine;
    if (at == std::string::npos) break;
  }
  EXPECT_NE(std::string::npos, log.find("Cookie schemes: http,https")) << log;
  EXPECT_NE(std::string::npos, log.find("Windowless rendering: on")) << log;
  EXPECT_EQ(std::string::npos, log.find("Custom scheme")) << log;
  // Stopped without waiting out its bound.
  EXPECT_EQ(std::string::npos, log.find("Browsers did not close in time")) << log;
  EXPECT_NE(std::string::npos, log.find("Shut down")) << log;
  DWORD cache = GetFileAttributesW(folder.Path(L"cef_temp\\CefLocalStorage").c_str());
  EXPECT_TRUE(cache != INVALID_FILE_ATTRIBUTES && (cache & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(CefRuntimeStartTest, SubProcessReturnsFromInitializeWithoutStartingTheRuntime) {
  ProbeFolder folder;
  folder.InstallRuntime();
  const std::wstring log = folder.Path(L"sub.log");
  auto seen = folder.Run(L"--type=renderer --log-file=\"" + log + L"\"");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("0", seen["subprocess_initialized"]);
  EXPECT_EQ("0", seen["subprocess_settings_filled"]);
  std::string text = ReadBytes(log);
  EXPECT_NE(std::string::npos, text.find("Sub-process renderer command line: ")) << text;
  // The launcher's switches belong to the browser process only.
  EXPECT_EQ(std::string::npos, text.find("disable-gpu")) << text;
  EXPECT_EQ(std::string::npos, text.find("Browser process")) << text;
}

TEST(CefRuntimeBrowserTest, RenderProcessesFollowTheirBrowsersAndEndWithShutdown) {
  ProbeFolder folder;
  folder.InstallRuntime();
  auto seen = folder.Run(L"browser");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("1", seen["initialized"]);
  EXPECT_EQ("1", seen["create_asked"]);
  EXPECT_EQ("1", seen["created"]);
  EXPECT_EQ("1", seen["created_on_runtime_ui"]);
  EXPECT_EQ("1", seen["render_processes"]);
  EXPECT_EQ("1", seen["render_process_logged"]);
  EXPECT_EQ("1", seen["terminated_reported"]);
  EXPECT_EQ("1", seen["terminated_status"]);  // killed
  EXPECT_EQ("0", seen["closed_after_kill"]);
  EXPECT_EQ("1", seen["render_processes_before_shutdown"]);
  // Both browsers were open at shut-down; it closed them, not its wait's bound, and ended their
  // processes.
  EXPECT_EQ("2", seen["closed_by_shutdown"]);
  EXPECT_EQ("0", seen["render_processes_after_shutdown"]);
  std::string log = ReadBytes(folder.Path(L"cef_temp\\cef.log"));
  EXPECT_EQ(std::string::npos, log.find("Browsers did not close in time")) << log;
  EXPECT_NE(std::string::npos, log.find("Shut down")) << log;

  // Render processes start from cef_helper.exe without the browser process's switches.
  size_t at = log.find("Sub-process renderer command line: ");
  ASSERT_NE(std::string::npos, at) << log;
  std::string line = log.substr(at, log.find('\n', at) - at);
  EXPECT_NE(std::string::npos, line.find("cef_helper.exe")) << line;
  EXPECT_EQ(std::string::npos, line.find("disable-gpu")) << line;
  EXPECT_EQ(std::string::npos, line.find("ppapi")) << line;
}

TEST(CefRuntimeBrowserTest, RenderProcessPaintsFramesOfTheViewSizeUnlessHidden) {
  ProbeFolder folder;
  folder.InstallRuntime();
  auto seen = folder.Run(L"paint");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("1", seen["first_frame"]);
  EXPECT_EQ("64x48 type 0 dirty 1", seen["first_size"]);
  EXPECT_EQ("1", seen["first_pixels"]);  // about:blank: opaque white
  EXPECT_EQ("1", seen["painted_on_runtime_ui"]);
  EXPECT_EQ("1", seen["resized_frame"]);
  EXPECT_EQ("80x30 type 0 dirty 1", seen["resized_size"]);
  EXPECT_EQ("0", seen["frames_while_hidden"]);
  EXPECT_EQ("1", seen["shown_frame"]);
  EXPECT_EQ("1", seen["killed_reported"]);
  EXPECT_EQ("1", seen["reloaded_frame"]);
  EXPECT_EQ("1", seen["new_render_process"]);
}

TEST(CefRuntimeBrowserTest, ProcessMessagesCrossBothWaysInOrder) {
  ProbeFolder folder;
  folder.InstallRuntime();
  auto seen = folder.Run(L"messages");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("1", seen["initialized"]);
  EXPECT_EQ("1", seen["sent_to_browser_process_refused"]);
  EXPECT_EQ("1", seen["echoes_arrived"]);
  // Non-ASCII strings, ints, bools and doubles, in sending order, queued until the renderer ran.
  EXPECT_EQ("1", seen["echoes_match_in_order"]);
  // Sent from a thread of the render process.
  EXPECT_EQ("1", seen["burst_arrived"]);
  EXPECT_EQ("1", seen["burst_in_order"]);
  EXPECT_EQ("1", seen["received_on_runtime_ui"]);
}

TEST(CefMessageLoopDispatcherTest, DoesRuntimeWorkOnlyOnceTheQueueIsEmpty) {
  ProbeFolder folder;
  folder.InstallRuntime();
  auto seen = folder.Run(L"dispatch");
  EXPECT_EQ("1", seen["done"]);
  EXPECT_EQ("1", seen["initialized"]);
  EXPECT_EQ("0", seen["runs_after_paint_and_move"]);
  EXPECT_EQ("0", seen["runs_while_queue_busy"]);
  EXPECT_EQ("1", seen["runs_when_queue_empty"]);
  EXPECT_EQ("2", seen["runs_after_pending_move"]);
}

}  // namespace
