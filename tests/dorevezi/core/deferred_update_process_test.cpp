// dorevezi.exe exiting with a browser-runtime update whose copy failed last time: its replace run
// copies what it can, keeps the rest for the next exit, and the next exit finishes it.
#include <gtest/gtest.h>

#include <list>
#include <string>

#include "core_test_util.h"
#include "dorevezi/core/json_util.h"
#include "dorevezi/core/messages.h"
#include "entry_test_util.h"
#include "test_support/temp_dir.h"

namespace {

using entry_test::ChildProcess;
using entry_test::FileExists;
using entry_test::WaitFor;

// Starts the launcher in `folder`, closes it as the user's exit does, and waits for its replace
// run to remove its own copy.
void RunAndExit(const std::wstring& folder) {
  ChildProcess launcher;
  ASSERT_TRUE(launcher.Start(L"\"" + folder + L"\\dorevezi.exe\"", folder));
  HWND window = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        window = entry_test::FindMarkedWindow(launcher.id(), kDoreveziInstanceName);
        return window != nullptr;
      },
      20000));
  PostMessageW(window, kMsgExitDorevezi, 0, 0);
  ASSERT_EQ(launcher.WaitExit(15000), 0);
  EXPECT_TRUE(WaitFor([&] { return FileExists(folder + L"\\dorevezi_temp.exe"); }, 5000));
  EXPECT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\dorevezi_temp.exe"); }, 40000));
}

std::list<std::string> CefList(const std::wstring& folder) {
  std::list<std::string> names;
  if (!ReadStringListFile(core_test::Narrow(folder + L"\\update\\cef_update.txt"), names)) names.push_back("none");
  return names;
}

}  // namespace

TEST(DeferredUpdateTest, ACefFileHeldOpenIsCopiedAtTheNextExit) {
  test_support::TempDir dir;
  const std::wstring folder = dir.Path();
  ASSERT_TRUE(CopyFileW(entry_test::BinaryPath(L"bin/dorevezi.exe").c_str(), (folder + L"\\dorevezi.exe").c_str(),
                        FALSE));
  for (const wchar_t* sub : {L"\\update", L"\\update\\cef", L"\\update\\cef\\locales", L"\\cef"}) {
    CreateDirectoryW((folder + sub).c_str(), nullptr);
  }
  ASSERT_TRUE(core_test::WriteBytes(folder + L"\\update\\cef\\libcef.dll", "libcef 1.0.1"));
  ASSERT_TRUE(core_test::WriteBytes(folder + L"\\update\\cef\\locales\\en.pak", "en 1.0.1"));
  ASSERT_TRUE(core_test::WriteBytes(folder + L"\\cef\\libcef.dll", "libcef 1.0.0"));
  ASSERT_TRUE(WriteStringListFile(core_test::Narrow(folder + L"\\update\\cef_update.txt"),
                                  {"cef/libcef.dll", "cef/locales/en.pak"}));

  HANDLE held = CreateFileW((folder + L"\\cef\\libcef.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  RunAndExit(folder);
  CloseHandle(held);
  EXPECT_EQ(core_test::ReadBytes(folder + L"\\cef\\locales\\en.pak"), "en 1.0.1");
  EXPECT_EQ(core_test::ReadBytes(folder + L"\\cef\\libcef.dll"), "libcef 1.0.0");
  EXPECT_EQ(CefList(folder), std::list<std::string>{"cef/libcef.dll"});

  RunAndExit(folder);
  EXPECT_EQ(core_test::ReadBytes(folder + L"\\cef\\libcef.dll"), "libcef 1.0.1");
  EXPECT_EQ(CefList(folder), std::list<std::string>{"none"});
  EXPECT_FALSE(FileExists(folder + L"\\update\\cef\\libcef.dll"));
}
