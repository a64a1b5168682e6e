// Opening links: what DoreveziCore::OpenLink hands the shell through the shell-call table, and,
// in a prefix where the system-browser stand-in answers http and https (open_link_run.sh), what
// that browser receives through the real ShellExecuteW.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core_test_util.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/shell_functions.h"
#include "ui/animation/ui_test_pump.h"

namespace {

// A name and an address outside ASCII: the code page of an 8-bit call would garble both.
const char kLinkName[] = "Forum_\xE7\xA4\xBE\xE5\x8C\xBA";                                     // Forum_社区
const char kAddress[] = "https://example.com/\xE6\x96\xB0\xE9\x97\xBB?q=\xC3\xBC&page=2#top";  // 新闻, ü
const wchar_t kWideAddress[] = L"https://example.com/新闻?q=ü&page=2#top";

struct Executed {
  HWND owner;
  std::wstring verb, file;
  bool parameters, folder;
  INT show;
};
std::vector<Executed> g_executed;

HINSTANCE WINAPI RecordExecute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                               INT show) {
  g_executed.push_back(Executed{owner, verb ? verb : L"<null>", file ? file : L"<null>",
                                parameters != nullptr, folder != nullptr, show});
  return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

class OpenLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ =
        CreateWindowExW(0, L"STATIC", L"main window", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.mainWindow = window_;
    core.links.clear();
    core.links[kLinkName] = kAddress;
    core.links["Local"] = "file:///C:/windows/system32/calc.exe";
  }
  void TearDown() override {
    DoreveziCore& core = DoreveziCore::GetInstance();
    core.mainWindow = nullptr;
    core.links.clear();
    DestroyWindow(window_);
  }
  HWND window_ = nullptr;
};

TEST_F(OpenLinkTest, OnlyWebAddressesReachTheShellAsUtf16) {
  ShellFunctions recorder;
  recorder.shellExecute = &RecordExecute;
  const ShellFunctions* previous = ReplaceShellFunctions(&recorder);
  struct Case {
    const char* what;
    std::string text;
    bool byName;
    bool withWindow;
    bool opens;
  };
  const Case cases[] = {
      {"by name", kLinkName, true, true, true},
      {"an address", kAddress, false, true, true},
      {"a name the table lacks", "FAQ", true, true, false},
      {"an entry that is no web address", "Local", true, true, false},
      {"an address that is no web address", "file:///C:/windows/system32/calc.exe", false, true, false},
      {"an empty name", "", true, true, false},
      {"no main window", kLinkName, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_executed.clear();
    DoreveziCore::GetInstance().mainWindow = c.withWindow ? window_ : nullptr;
    DoreveziCore::GetInstance().OpenLink(c.text, c.byName);
    ASSERT_EQ(g_executed.size(), c.opens ? 1u : 0u);
    if (!c.opens) continue;
    EXPECT_EQ(g_executed[0].owner, window_);
    EXPECT_EQ(g_executed[0].verb, L"open");
    EXPECT_EQ(g_executed[0].file, kWideAddress);
    EXPECT_FALSE(g_executed[0].parameters);
    EXPECT_FALSE(g_executed[0].folder);
    EXPECT_EQ(g_executed[0].show, SW_SHOW);
  }
  ReplaceShellFunctions(previous);
}

TEST_F(OpenLinkTest, TheSystemBrowserGetsTheExactAddress) {
  if (!std::getenv("DV_SYSBROWSER_REGISTERED")) GTEST_SKIP() << "run by open_link_run.sh";
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring log = std::wstring(temp) + L"dv_sysbrowser.log";
  DeleteFileW(log.c_str());
  // The browser is started by the shell as this process's child and inherits the name.
  SetEnvironmentVariableW(L"DV_SYSBROWSER_LOG", log.c_str());

  DoreveziCore::GetInstance().OpenLink(kLinkName, true);
  std::string line;
  ASSERT_TRUE(ui_test::PumpUntil(
      [&] {
        line = core_test::ReadBytes(log);
        return line != "<missing>" && !line.empty() && line.back() == '\n';
      },
      60000))
      << "the browser never started";
  // One start; its last argument is the address, quoted as the registration's "%1".
  const std::string tail = std::string(" \"") + kAddress + "\"\n";
  EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
  ASSERT_GE(line.size(), tail.size()) << line;
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
  SetEnvironmentVariableW(L"DV_SYSBROWSER_LOG", nullptr);
}

}  // namespace
