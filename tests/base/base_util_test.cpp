#include "base/base_util.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "test_support/temp_dir.h"

namespace {

std::list<std::wstring> Split(const wchar_t* path) {
  std::list<std::wstring> parts;
  EXPECT_TRUE(base::SplitPathComponents(path, parts));
  return parts;
}

TEST(SplitPathComponents, CutsAtSeparatorRuns) {
  using Parts = std::list<std::wstring>;
  EXPECT_EQ(Split(L"C:\\games\\dir"), (Parts{L"C:\\", L"games\\", L"dir"}));
  EXPECT_EQ(Split(L"C:/games//dir/"), (Parts{L"C:\\", L"games\\", L"dir\\"}));
  EXPECT_EQ(Split(L"\\root\\x"), (Parts{L"\\", L"root\\", L"x"}));
  EXPECT_EQ(Split(L"\\\\server\\share\\dir"), (Parts{L"\\\\", L"server\\", L"share\\", L"dir"}));
  EXPECT_TRUE(Split(L"").empty());
  std::list<std::wstring> parts{L"stale"};
  EXPECT_FALSE(base::SplitPathComponents(nullptr, parts));
  EXPECT_TRUE(parts.empty());
}

TEST(ExtractDirectory, KeepsTheTrailingSeparator) {
  std::wstring dir = L"unchanged";
  EXPECT_TRUE(base::ExtractDirectory(L"C:\\dir\\file.exe", dir));
  EXPECT_EQ(dir, L"C:\\dir\\");
  EXPECT_TRUE(base::ExtractDirectory(L"a/b", dir));
  EXPECT_EQ(dir, L"a/");
  dir = L"unchanged";
  EXPECT_FALSE(base::ExtractDirectory(L"\\a", dir));
  EXPECT_FALSE(base::ExtractDirectory(L"x", dir));
  EXPECT_FALSE(base::ExtractDirectory(L"file.exe", dir));
  EXPECT_EQ(dir, L"unchanged");
}

TEST(ModuleDirectory, EndsWithASeparatorAndHoldsTheExecutable) {
  std::wstring dir = base::OwnModuleDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), L'\\');
  std::wstring exe = base::ModuleFileName(nullptr);
  EXPECT_EQ(exe.compare(0, dir.size(), dir), 0) << std::string(exe.begin(), exe.end());
}

TEST(CreateDirectoryTree, CreatesMissingLevelsAndRefusesFiles) {
  test_support::TempDir temp;
  std::wstring root = temp.Path();
  ASSERT_TRUE(CreateDirectoryW((root + L"\\a").c_str(), nullptr));
  EXPECT_TRUE(base::CreateDirectoryTree((root + L"\\a\\b\\c").c_str()));
  EXPECT_NE(GetFileAttributesW((root + L"\\a\\b\\c").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(base::CreateDirectoryTree((root + L"/a/b/c/").c_str()));

  HANDLE file = CreateFileW((root + L"\\a\\file").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_FALSE(base::CreateDirectoryTree((root + L"\\a\\file\\sub").c_str()));
  EXPECT_FALSE(base::CreateDirectoryTree(nullptr));
}

// A path that starts with a double backslash keeps it when its tree is created.
TEST(CreateDirectoryTree, KeepsTheLeadingDoubleBackslash) {
  test_support::TempDir temp;
  std::wstring path = L"\\\\?\\" + temp.Path() + L"\\unc\\deep";
  EXPECT_TRUE(base::CreateDirectoryTree(path.c_str()));
  EXPECT_NE(GetFileAttributesW((temp.Path() + L"\\unc\\deep").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ScopedOwners, CloseWhatTheyHold) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  {
    base::OwnedHandle owned(event);
    EXPECT_TRUE(owned.IsValid());
  }
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(event, &flags));
  EXPECT_TRUE(GetHandleInformation(duplicate, &flags));

  base::OwnedFileHandle port;
  EXPECT_FALSE(port.IsValid());
  port.Reset(duplicate);
  EXPECT_TRUE(port.IsValid());
  port.Reset();
  EXPECT_EQ(port.Get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(GetHandleInformation(duplicate, &flags));

  // Critical sections are re-entrant: whether the guard holds one is seen from another thread.
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  auto enterableElsewhere = [&section] {
    bool entered = false;
    std::thread other([&] {
      entered = TryEnterCriticalSection(&section) != 0;
      if (entered) LeaveCriticalSection(&section);
    });
    other.join();
    return entered;
  };
  {
    base::CriticalSectionGuard guard(&section);
    EXPECT_FALSE(enterableElsewhere());
  }
  EXPECT_TRUE(enterableElsewhere());
  DeleteCriticalSection(&section);
  base::CriticalSectionGuard nullGuard(nullptr);
}

}  // namespace
