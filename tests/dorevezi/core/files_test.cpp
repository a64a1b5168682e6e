// Paths, folders, whole-file reading and writing, and MD5 digests.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "dorevezi/core/md5.h"
#include "dorevezi/core/paths.h"
#include "core_test_util.h"
#include "test_support/temp_dir.h"

namespace {

using core_test::ListFolder;
using core_test::Narrow;
using core_test::ReadBytes;
using core_test::WriteBytes;

TEST(FixedFolders, AreRelativeToTheCurrentFolder) {
  EXPECT_STREQ(GetSaveFolderA(), ".\\save");
  EXPECT_STREQ(GetSaveFolder(), L".\\save");
  EXPECT_STREQ(GetUpdateFolder(), L".\\update");
  EXPECT_STREQ(GetExceptionFolder(), L".\\exception");
  EXPECT_STREQ(GetPreDownloadFolderA(), ".\\update\\predownload");
  EXPECT_EQ(GetSaveFolder(), GetSaveFolder());  // composed once
  std::wstring install = GetDefaultInstallFolder();
  ASSERT_GT(install.size(), 14u);
  EXPECT_EQ(install.substr(install.size() - 14), L"\\Varnholt Game");
  EXPECT_EQ(install[1], L':');
}

TEST(NormalizePath, UnifiesSeparatorsAndTheTrailingOne) {
  struct Case {
    const char* path;
    bool trailing;
    const char* expected;
  } cases[] = {
      {"a/b", true, "a\\b\\"},  {"a\\b\\\\", false, "a\\b"}, {"", true, "\\"},  {"", false, ""},
      {"a/b/", true, "a\\b\\"}, {"a\\b", false, "a\\b"},     {"//", false, ""}, {"x", true, "x\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizePathA(c.path, c.trailing), c.expected) << c.path << " " << c.trailing;
  }
  EXPECT_EQ(NormalizePath(L"C:/games/dir", true), L"C:\\games\\dir\\");
  EXPECT_EQ(NormalizePath(L"C:\\games\\", false), L"C:\\games");
}

TEST(SplitPath, CutsAtTheLastSeparatorAfterTheFirstCharacter) {
  std::string folder = "keep", name = "keep";
  EXPECT_TRUE(SplitPathA("dir/file.txt", folder, name));
  EXPECT_EQ(folder, "dir");
  EXPECT_EQ(name, "file.txt");
  EXPECT_TRUE(SplitPathA("a/b\\c", folder, name));
  EXPECT_EQ(folder, "a\\b");
  EXPECT_EQ(name, "c");
  for (const char* path : {"file.txt", "\\file.txt", ""}) {
    folder = name = "keep";
    EXPECT_FALSE(SplitPathA(path, folder, name)) << path;
    EXPECT_EQ(folder, "keep");
    EXPECT_EQ(name, "keep");
  }
  std::wstring wideFolder, wideName;
  EXPECT_TRUE(SplitPath(L"C:/x/y.exe", wideFolder, wideName));
  EXPECT_EQ(wideFolder, L"C:\\x");
  EXPECT_EQ(wideName, L"y.exe");
}

TEST(ListFiles, SkipsExcludedFoldersAtEveryDepthAndCountsEarlierEntries) {
  test_support::TempDir temp;
  const std::wstring root = temp.Path();
  for (const wchar_t* dir : {L"\\save", L"\\a", L"\\a\\b", L"\\a\\b\\save", L"\\a\\b\\keep"}) {
    ASSERT_TRUE(CreateDirectoryW((root + dir).c_str(), nullptr));
  }
  for (const wchar_t* file :
       {L"\\top.txt", L"\\save\\hidden.txt", L"\\a\\b\\save\\deep.txt", L"\\a\\b\\keep\\x", L"\\a\\save"}) {
    ASSERT_TRUE(WriteBytes(root + file, "x"));
  }
  const std::string base = temp.PathA() + "\\";
  std::list<std::string> files{"one", "two", "three"};
  EXPECT_EQ(ListFilesRecursive(temp.PathA() + "/", files, {"save"}), 6);
  std::vector<std::string> found(std::next(files.begin(), 3), files.end());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{base + "a\\b\\keep\\x", base + "a\\save", base + "top.txt"}));

  std::list<std::string> all;
  EXPECT_EQ(ListFilesRecursive(temp.PathA(), all, {}), 5);
  std::list<std::string> none;
  EXPECT_EQ(ListFilesRecursive(temp.PathA() + "\\missing", none, {}), -1);
  EXPECT_TRUE(none.empty());
}

TEST(ListSubfolders, GivesBareFolderNames) {
  test_support::TempDir temp;
  ASSERT_TRUE(CreateDirectoryW((temp.Path() + L"\\10077_3_5").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((temp.Path() + L"\\other").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\file", ""));
  std::list<std::string> names{"stale"};
  EXPECT_EQ(ListSubfolders(temp.PathA(), names), 2);
  names.sort();
  EXPECT_EQ(names, (std::list<std::string>{"10077_3_5", "other"}));
  EXPECT_EQ(ListSubfolders(temp.PathA() + "\\missing", names), -1);
}

TEST(CreateFolderPath, CreatesEveryLevelBelowTheCurrentFolder) {
  test_support::TempDir temp;
  core_test::ScopedCurrentDirectory cwd(temp.Path());
  EXPECT_TRUE(CreateFolderPathA(".\\update\\predownload\\x"));
  EXPECT_TRUE(IsFolderA(".\\update\\predownload\\x"));
  EXPECT_TRUE(CreateFolderPath(L"./a/b/c/"));
  EXPECT_TRUE(IsFolder(temp.Path() + L"\\a\\b\\c"));
  EXPECT_TRUE(CreateFolderPath(temp.Path() + L"\\abs\\deep"));
  EXPECT_TRUE(IsFolder(temp.Path() + L"\\abs\\deep"));
  EXPECT_FALSE(CreateFolderPathA(""));
  EXPECT_FALSE(CreateFolderPath(L""));
}

TEST(DeleteFolderTree, RemovesNestedAndReadOnlyFiles) {
  test_support::TempDir temp;
  const std::wstring tree = temp.Path() + L"\\tree";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((tree + L"\\sub").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(tree + L"\\sub\\ro.bin", "data"));
  ASSERT_TRUE(SetFileAttributesW((tree + L"\\sub\\ro.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteBytes(tree + L"\\top.bin", "data"));
  DeleteFolderTree(Narrow(tree));
  EXPECT_FALSE(IsFolder(tree));
  EXPECT_TRUE(ListFolder(temp.Path()).empty());

  DeleteFolderTree(temp.PathA() + "\\missing");  // nothing to do, nothing happens
  EXPECT_TRUE(IsFolder(temp.Path()));
}

TEST(IsFolder, TellsFoldersFromFilesAndMissingPaths) {
  test_support::TempDir temp;
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\file", "x"));
  core_test::ScopedCurrentDirectory cwd(temp.Path());
  EXPECT_TRUE(IsFolder(temp.Path()));
  EXPECT_TRUE(IsFolderA("."));
  EXPECT_FALSE(IsFolder(L"file"));
  EXPECT_FALSE(IsFolderA("missing"));
  EXPECT_FALSE(IsFolder(L""));
}

TEST(ReadWholeFile, ReadsEveryByteAndLeavesTheTextOnFailure) {
  test_support::TempDir temp;
  const std::string bytes("a\0b\r\n\xff", 6);
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\bin", bytes));
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\empty", ""));
  std::string content = "previous";
  EXPECT_FALSE(ReadWholeFileA(temp.PathA() + "\\missing", content));
  EXPECT_EQ(content, "previous");
  EXPECT_TRUE(ReadWholeFileA(temp.PathA() + "\\empty", content));
  EXPECT_EQ(content, "");
  EXPECT_TRUE(ReadWholeFile(temp.Path() + L"\\bin", content));
  EXPECT_EQ(content, bytes);
  // A wide path outside the ANSI code page.
  const std::wstring wide = temp.Path() + L"\\\u6e38\u620f.txt";
  ASSERT_TRUE(WriteBytes(wide, "wide"));
  EXPECT_TRUE(ReadWholeFile(wide, content));
  EXPECT_EQ(content, "wide");
}

TEST(WriteWholeFile, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\data.json";
  EXPECT_TRUE(WriteWholeFile(path, std::string("first\0version", 13)));
  EXPECT_EQ(ReadBytes(path), std::string("first\0version", 13));
  EXPECT_TRUE(WriteWholeFileA(Narrow(path), "2"));
  EXPECT_EQ(ReadBytes(path), "2");
  EXPECT_TRUE(WriteWholeFile(path, ""));
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(ListFolder(temp.Path()), std::vector<std::wstring>{L"data.json"});

  core_test::ScopedCurrentDirectory cwd(temp.Path());
  EXPECT_TRUE(WriteWholeFileA("relative.txt", "r"));
  EXPECT_EQ(ReadBytes(temp.Path() + L"\\relative.txt"), "r");
}

TEST(WriteWholeFile, AFailedWriteIsReportedAndKeepsThePreviousFile) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\keep.json";
  ASSERT_TRUE(WriteBytes(path, "good"));

  // Missing folder.
  EXPECT_FALSE(WriteWholeFile(temp.Path() + L"\\missing\\x.json", "x"));
  EXPECT_FALSE(WriteWholeFileA(temp.PathA() + "\\missing\\x.json", "x"));
  // The target is a folder.
  EXPECT_FALSE(WriteWholeFile(temp.Path(), "x"));
  EXPECT_FALSE(WriteWholeFile(path + L"\\", "x"));

  // The target is held open by someone who does not allow it to be replaced.
  HANDLE holder =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteWholeFile(path, "new"));
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(path), "good");

  // A read-only target.
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WriteWholeFile(path, "new"));
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(ReadBytes(path), "good");

  EXPECT_EQ(ListFolder(temp.Path()), std::vector<std::wstring>{L"keep.json"});
}

// RFC 1321, appendix A.5.
TEST(Md5, MatchesTheRfcTestSuite) {
  struct Case {
    const char* input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.input);
    std::string digest;
    int count = -2;
    EXPECT_TRUE(ComputeMd5(in, digest, count));
    EXPECT_EQ(digest, c.digest) << '"' << c.input << '"';
    EXPECT_EQ(count, static_cast<int>(strlen(c.input)));
  }
}

TEST(Md5, MultiBlockInputGivesTheSameDigestHoweverItIsFed) {
  const std::string million(1000000, 'a');
  std::istringstream in(million);
  std::string digest;
  int count = 0;
  EXPECT_TRUE(ComputeMd5(in, digest, count));
  EXPECT_EQ(digest, "7707d6ae4e027c70eea2a935c2296f21");
  EXPECT_EQ(count, 1000000);

  Md5Context pieces;
  size_t offset = 0;
  for (size_t size : {1u, 63u, 64u, 65u, 127u, 128u, 1000u, 4096u}) {
    pieces.Update(million.data() + offset, size);
    offset += size;
  }
  pieces.Update(million.data() + offset, million.size() - offset);
  EXPECT_EQ(pieces.HexDigest(), "");  // nothing before Finalize
  pieces.Finalize();
  EXPECT_TRUE(pieces.IsFinalized());
  EXPECT_EQ(pieces.HexDigest(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(FileMd5, CountsBytesAndComparesDigestsExactly) {
  test_support::TempDir temp;
  std::string kilobyte;
  for (int i = 0; i < 1024; ++i) kilobyte += static_cast<char>(i % 256);
  // Larger than one read block, with a ragged end (digest from md5sum).
  std::string pattern;
  for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) pattern += static_cast<char>((i * 7 + 3) % 251);
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\kilobyte", kilobyte));
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\pattern", pattern));
  ASSERT_TRUE(WriteBytes(temp.Path() + L"\\empty", ""));
  const std::string dir = temp.PathA() + "\\";

  std::string actual;
  int count = -1;
  EXPECT_TRUE(FileMd5Matches(dir + "kilobyte", "b2ea9f7fcea831a4a63b213f41a8855b", actual, count));
  EXPECT_EQ(count, 1024);
  EXPECT_FALSE(FileMd5Matches(dir + "kilobyte", "B2EA9F7FCEA831A4A63B213F41A8855B", actual, count));
  EXPECT_EQ(actual, "b2ea9f7fcea831a4a63b213f41a8855b");
  EXPECT_TRUE(FileMd5Matches(dir + "pattern", "4071dc4cc95a3657d1f18862d97456ea", actual, count));
  EXPECT_EQ(count, 3 * 1024 * 1024 + 17);
  EXPECT_TRUE(FileMd5Matches(dir + "empty", "d41d8cd98f00b204e9800998ecf8427e", actual, count));
  EXPECT_EQ(count, 0);

  actual = "stale";
  count = 7;
  EXPECT_FALSE(FileMd5Matches(dir + "missing", "d41d8cd98f00b204e9800998ecf8427e", actual, count));
  EXPECT_EQ(actual, "");
  EXPECT_EQ(count, 0);

  // A file another process holds exclusively cannot be read.
  HANDLE exclusive =
      CreateFileW((temp.Path() + L"\\kilobyte").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  actual = "stale";
  EXPECT_FALSE(FileMd5Matches(dir + "kilobyte", "b2ea9f7fcea831a4a63b213f41a8855b", actual, count));
  EXPECT_EQ(actual, "");
  EXPECT_EQ(count, 0);
  CloseHandle(exclusive);
}

TEST(Md5, ClosesTheFileItDigested) {
  test_support::TempDir temp;
  const std::wstring path = temp.Path() + L"\\closed";
  ASSERT_TRUE(WriteBytes(path, "abc"));
  std::ifstream in(Narrow(path), std::ios::binary);
  std::string digest;
  int count = 0;
  EXPECT_TRUE(ComputeMd5(in, digest, count));
  EXPECT_FALSE(in.is_open());
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

}  // namespace
