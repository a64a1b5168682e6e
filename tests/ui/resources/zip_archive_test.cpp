// The skin archive reader on a real archive made with Debian's zip: the three sources, look-ups,
// buffers, bounds, names, the encrypted entry, and damaged copies.

#include "ui/resources/zip_archive.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"
#include "ui/resources/zip_test_support.h"

namespace {

using namespace ziptest;
using ui::ZipArchive;
using ui::ZipEntry;

struct ArchiveCloser {
  void operator()(ZipArchive* archive) const { ui::CloseZipArchive(archive); }
};
using ArchivePtr = std::unique_ptr<ZipArchive, ArchiveCloser>;

ArchivePtr OpenMemory(const std::string& bytes) {
  return ArchivePtr(ui::OpenZipArchive(bytes.data(), unsigned(bytes.size()), ui::kZipSourceMemory, ""));
}

// The whole entry through one exact buffer; the code in *result.
std::string ReadEntry(ZipArchive* archive, const wchar_t* name, unsigned* result) {
  ZipEntry entry;
  int index = -1;
  *result = ui::FindZipArchiveEntry(archive, name, &index, &entry);
  if (*result != ui::kZipOk) return std::string();
  std::string bytes(entry.uncompressedSize, '\0');
  *result = archive->reader->UnzipToMemory(index, &bytes[0], entry.uncompressedSize);
  return bytes;
}

// The whole entry through a small buffer, continuing on kZipMore.
std::string ReadInPieces(ZipArchive* archive, int index, unsigned piece, unsigned* result, int* rounds) {
  ZipEntry entry;
  archive->reader->GetEntry(index, &entry);
  std::string bytes;
  std::vector<char> buffer(piece);
  *rounds = 0;
  for (;;) {
    ++*rounds;
    *result = archive->reader->UnzipToMemory(index, buffer.data(), piece);
    if (*result == ui::kZipMore) {
      bytes.append(buffer.data(), piece);
    } else {
      if (*result == ui::kZipOk) bytes.append(buffer.data(), entry.uncompressedSize - bytes.size());
      return bytes;
    }
  }
}

TEST(ZipArchive, OpensByNameFromAHandleAfterLeadingBytesAndFromMemory) {
  test_support::TempDir dir;
  const std::string zip = SkinArchive();
  ASSERT_FALSE(zip.empty());
  const std::wstring prefixed = dir.Path() + L"\\prefixed.bin";
  ASSERT_TRUE(WriteAll(prefixed, std::string(777, '\x5A') + zip));
  HANDLE handle = CreateFileW(prefixed.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  SetFilePointer(handle, 777, nullptr, FILE_BEGIN);
  const std::wstring path = FixturePath(L"skin.zip");

  struct Source {
    const char* what;
    const void* source;
    unsigned length;
    int kind;
  } sources[] = {
      {"file name", path.c_str(), 0, ui::kZipSourceFileName},
      {"handle", handle, 0, ui::kZipSourceHandle},
      {"memory", zip.data(), unsigned(zip.size()), ui::kZipSourceMemory},
  };
  for (const Source& s : sources) {
    ArchivePtr archive(ui::OpenZipArchive(s.source, s.length, s.kind, ""));
    ASSERT_TRUE(archive) << s.what;
    EXPECT_EQ(archive->mode, ui::kZipModeRead);
    ZipEntry count;
    EXPECT_EQ(archive->reader->GetEntry(-1, &count), ui::kZipOk);
    EXPECT_EQ(count.index, kSkinEntryCount) << s.what;
    unsigned result;
    EXPECT_EQ(ReadEntry(archive.get(), L"resources/lang/zh_CN.ini", &result), kZhCnIni) << s.what;
    EXPECT_EQ(result, ui::kZipOk);
    EXPECT_EQ(ReadEntry(archive.get(), L"stored.txt", &result), kStoredTxt) << s.what;
    EXPECT_EQ(ReadEntry(archive.get(), L"resources/big.txt", &result), BigText()) << s.what;
    EXPECT_EQ(result, ui::kZipOk);
  }
  // A given handle stays the caller's.
  EXPECT_NE(SetFilePointer(handle, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST(ZipArchive, OpenFailures) {
  test_support::TempDir dir;
  const std::wstring missing = dir.Path() + L"\\missing.zip";
  const std::string notZip = "this block of memory is no zip archive at all, whatever its length";
  HANDLE readPipe = nullptr, writePipe = nullptr;
  ASSERT_TRUE(CreatePipe(&readPipe, &writePipe, nullptr, 0));
  const std::string zip = SkinArchive();
  struct {
    const char* what;
    const void* source;
    unsigned length;
    int kind;
    unsigned expected;
  } cases[] = {
      {"missing file", missing.c_str(), 0, ui::kZipSourceFileName, ui::kZipNoFile},
      {"not a zip", notZip.data(), unsigned(notZip.size()), ui::kZipSourceMemory, ui::kZipNoFile},
      {"empty block", notZip.data(), 0, ui::kZipSourceMemory, ui::kZipNoFile},
      {"truncated archive", zip.data(), unsigned(zip.size() - 30), ui::kZipSourceMemory, ui::kZipNoFile},
      {"unknown kind", zip.data(), unsigned(zip.size()), 4, ui::kZipBadArguments},
      {"invalid handle", INVALID_HANDLE_VALUE, 0, ui::kZipSourceHandle, ui::kZipCannotSeek},
      {"pipe", readPipe, 0, ui::kZipSourceHandle, ui::kZipCannotSeek},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ui::OpenZipArchive(c.source, c.length, c.kind, nullptr), nullptr) << c.what;
    ui::ZipReader reader(nullptr);
    EXPECT_EQ(reader.Open(c.source, c.length, c.kind), c.expected) << c.what;
    ZipEntry entry;
    EXPECT_EQ(reader.GetEntry(-1, &entry), ui::kZipBadArguments) << c.what;
  }
  CloseHandle(readPipe);
  CloseHandle(writePipe);

  ui::ZipReader reader("");
  ASSERT_EQ(reader.Open(zip.data(), unsigned(zip.size()), ui::kZipSourceMemory), ui::kZipOk);
  EXPECT_EQ(reader.Open(zip.data(), unsigned(zip.size()), ui::kZipSourceMemory), ui::kZipAlreadyOpen);
}

TEST(ZipArchive, FindsNamesIgnoringTheCaseOfAsciiLettersOnly) {
  const std::string zip = SkinArchive();
  ArchivePtr archive = OpenMemory(zip);
  ASSERT_TRUE(archive);
  int stored = -1;
  ASSERT_EQ(ui::FindZipArchiveEntry(archive.get(), L"resources/lang/zh_CN.ini", &stored, nullptr), ui::kZipOk);
  const std::wstring tooLong(300, L'a');
  struct {
    const wchar_t* name;
    unsigned expected;
  } cases[] = {
      {L"resources/lang/zh_CN.ini", ui::kZipOk},
      {L"RESOURCES/LANG/ZH_CN.INI", ui::kZipOk},
      {L"resources\\lang\\zh_CN.ini", ui::kZipNotFound},
      {L"resources/lang/zh_CN.ini ", ui::kZipNotFound},
      {L"nothing.txt", ui::kZipNotFound},
      {L"", ui::kZipNotFound},
      {tooLong.c_str(), ui::kZipNotFound},
  };
  for (const auto& c : cases) {
    int index = 99;
    ZipEntry entry;
    entry.index = 99;
    EXPECT_EQ(ui::FindZipArchiveEntry(archive.get(), c.name, &index, &entry), c.expected);
    if (c.expected == ui::kZipOk) {
      EXPECT_EQ(index, stored);
      EXPECT_EQ(entry.index, stored);
      EXPECT_STREQ(entry.name, L"resources/lang/zh_CN.ini");
      EXPECT_EQ(entry.uncompressedSize, sizeof kZhCnIni - 1);
    } else {
      EXPECT_EQ(index, -1);
      EXPECT_EQ(entry.index, -1);
      EXPECT_STREQ(entry.name, L"");
      EXPECT_EQ(entry.uncompressedSize, 0u);
    }
  }
  EXPECT_EQ(ui::FindZipArchiveEntry(nullptr, L"stored.txt", nullptr, nullptr), ui::kZipBadArguments);
  ZipArchive notReading{0, archive->reader};
  EXPECT_EQ(ui::FindZipArchiveEntry(&notReading, L"stored.txt", nullptr, nullptr), ui::kZipWrongMode);
  ui::CloseZipArchive(&notReading);  // only forgotten: the reader stays usable
  EXPECT_EQ(ui::FindZipArchiveEntry(archive.get(), L"stored.txt", nullptr, nullptr), ui::kZipOk);
}

TEST(ZipArchive, ExactShortAndSmallBuffers) {
  const std::string zip = SkinArchive();
  ArchivePtr archive = OpenMemory(zip);
  ASSERT_TRUE(archive);
  ui::ZipReader* reader = archive->reader;
  for (const std::string& expected : {std::string(kZhCnIni), std::string(kStoredTxt)}) {
    const std::wstring name = expected == kZhCnIni ? L"resources/lang/zh_CN.ini" : L"stored.txt";
    int index = -1;
    ASSERT_EQ(ui::FindZipArchiveEntry(archive.get(), name.c_str(), &index, nullptr), ui::kZipOk);
    std::string exact(expected.size(), '\0');
    EXPECT_EQ(reader->UnzipToMemory(index, &exact[0], unsigned(exact.size())), ui::kZipOk);
    EXPECT_EQ(exact, expected);
    // One byte short: the rest comes with the next call for the same index.
    std::string shortBuffer(expected.size() - 1, '\0');
    char rest[8] = {};
    EXPECT_EQ(reader->UnzipToMemory(index, &shortBuffer[0], unsigned(shortBuffer.size())), ui::kZipMore);
    EXPECT_EQ(reader->UnzipToMemory(index, rest, sizeof rest), ui::kZipOk);
    EXPECT_EQ(shortBuffer + rest[0], expected);
    EXPECT_EQ(rest[1], 0);
  }

  int big = -1;
  ASSERT_EQ(ui::FindZipArchiveEntry(archive.get(), L"resources/big.txt", &big, nullptr), ui::kZipOk);
  unsigned result;
  int rounds = 0;
  EXPECT_EQ(ReadInPieces(archive.get(), big, 1024, &result, &rounds), BigText());
  EXPECT_EQ(result, ui::kZipOk);
  EXPECT_EQ(rounds, 176);  // 175 full buffers, then the last 800 bytes
  // A buffer that ends exactly with the entry ends it: no extra empty round.
  EXPECT_EQ(ReadInPieces(archive.get(), big, 1000, &result, &rounds), BigText());
  EXPECT_EQ(rounds, 180);

  // Describing another entry closes the open one: the next read starts over.
  std::vector<char> first(1000);
  ASSERT_EQ(reader->UnzipToMemory(big, first.data(), 1000), ui::kZipMore);
  ZipEntry other;
  ASSERT_EQ(reader->GetEntry(0, &other), ui::kZipOk);
  ASSERT_EQ(reader->UnzipToMemory(big, first.data(), 1000), ui::kZipMore);
  EXPECT_EQ(std::string(first.data(), 1000), BigText().substr(0, 1000));

  // An empty entry (a folder) reads as complete.
  int folder = -1;
  ASSERT_EQ(ui::FindZipArchiveEntry(archive.get(), L"resources/lang/", &folder, nullptr), ui::kZipOk);
  EXPECT_EQ(reader->UnzipToMemory(folder, nullptr, 0), ui::kZipOk);
}

TEST(ZipArchive, CountIndexBoundsAndSecondDescription) {
  const std::string zip = SkinArchive();
  ArchivePtr archive = OpenMemory(zip);
  ASSERT_TRUE(archive);
  ui::ZipReader* reader = archive->reader;
  ZipEntry entry;
  ASSERT_EQ(reader->GetEntry(-1, &entry), ui::kZipOk);
  EXPECT_EQ(entry.index, kSkinEntryCount);
  EXPECT_STREQ(entry.name, L"");
  EXPECT_EQ(entry.compressedSize, 0u);
  char buffer[16];
  for (int bad : {-2, kSkinEntryCount, kSkinEntryCount + 1}) {
    EXPECT_EQ(reader->GetEntry(bad, &entry), ui::kZipBadArguments) << bad;
    EXPECT_EQ(reader->UnzipToMemory(bad, buffer, sizeof buffer), ui::kZipBadArguments) << bad;
  }
  EXPECT_EQ(reader->UnzipToMemory(-1, buffer, sizeof buffer), ui::kZipBadArguments);
  // Walking backwards and describing the same entry twice give the same records.
  ZipEntry last, again, first;
  ASSERT_EQ(reader->GetEntry(kSkinEntryCount - 1, &last), ui::kZipOk);
  ASSERT_EQ(reader->GetEntry(0, &first), ui::kZipOk);
  ASSERT_EQ(reader->GetEntry(kSkinEntryCount - 1, &again), ui::kZipOk);
  ASSERT_EQ(reader->GetEntry(kSkinEntryCount - 1, &again), ui::kZipOk);
  EXPECT_STREQ(last.name, again.name);
  EXPECT_EQ(last.index, kSkinEntryCount - 1);
  EXPECT_STREQ(first.name, L"resources/");
}

TEST(ZipArchive, DescribedNamesNeverClimbAboveTheRoot) {
  const std::string zip = SkinArchive();
  ArchivePtr archive = OpenMemory(zip);
  ASSERT_TRUE(archive);
  std::map<std::wstring, int> names;
  for (int i = 0; i < kSkinEntryCount; ++i) {
    ZipEntry entry;
    ASSERT_EQ(archive->reader->GetEntry(i, &entry), ui::kZipOk) << i;
    names[entry.name] = i;
    const std::wstring name = entry.name;
    EXPECT_EQ(name.find(L".."), std::wstring::npos) << i;
    EXPECT_EQ(name.find(L':'), std::wstring::npos) << i;
    EXPECT_NE(name[0], L'/') << i;
  }
  EXPECT_EQ(names.count(L"evil.txt"), 1u);     // stored as "../../evil.txt"
  EXPECT_EQ(names.count(L"drive.txt"), 1u);    // stored as "C:/drive.txt"
  EXPECT_EQ(names.count(L"one.txt"), 1u);      // stored as "../one.txt"
  EXPECT_EQ(names.count(L"resources/themes/default/public/bk_shadow.png"), 1u);
  // Look-ups compare the stored names.
  unsigned result;
  EXPECT_EQ(ReadEntry(archive.get(), L"../../evil.txt", &result), "climbing out\n");
  EXPECT_EQ(result, ui::kZipOk);
}

TEST(ZipArchive, EncryptedEntryGivesBadPasswordAndOthersStillRead) {
  const std::string zip = SkinArchive();
  for (const char* password : {"", static_cast<const char*>(nullptr), "secret"}) {
    ArchivePtr archive(ui::OpenZipArchive(zip.data(), unsigned(zip.size()), ui::kZipSourceMemory, password));
    ASSERT_TRUE(archive);
    unsigned result;
    ReadEntry(archive.get(), L"secret.txt", &result);
    EXPECT_EQ(result, ui::kZipBadPassword);
    EXPECT_EQ(ReadEntry(archive.get(), L"stored.txt", &result), kStoredTxt);
    EXPECT_EQ(result, ui::kZipOk);
  }
}

// Damaged copies: no entry may read kZipOk with bytes other than the intact archive's.
TEST(ZipArchive, DamagedCopiesNeverReadAsOk) {
  const std::string zip = SkinArchive();
  std::map<std::string, std::string> intact;
  {
    ArchivePtr archive = OpenMemory(zip);
    ASSERT_TRUE(archive);
    for (const DirectoryRecord& r : Directory(zip)) {
      unsigned result;
      intact[r.name] = ReadEntry(archive.get(), std::wstring(r.name.begin(), r.name.end()).c_str(), &result);
      if (r.name != "secret.txt") {
        ASSERT_EQ(result, ui::kZipOk) << r.name;
      }
    }
  }
  auto patchSizes = [](std::string& z, const std::string& name, int delta, bool local) {
    DirectoryRecord r = Record(z, name);
    PutU32(z, r.at + 24, U32(z, r.at + 24) + delta);
    if (local) PutU32(z, r.local + 22, U32(z, r.local + 22) + delta);
  };
  struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
    const char* entry;  // the entry that must not read as OK
    unsigned expected;  // its code, or 0 for any code but kZipOk
  } damages[] = {
      {"directory cut short", [](std::string& z) { z.resize(DirectoryOffset(z) + 40); }, nullptr, 0},
      {"flipped stored byte", [](std::string& z) { z[Record(z, "stored.txt").data + 3] ^= 0x20; }, "stored.txt",
       ui::kZipCorrupt},
      {"flipped deflated byte", [](std::string& z) { z[Record(z, "resources/big.txt").data + 500] ^= 0x55; },
       "resources/big.txt", 0},
      {"stored size larger", [&](std::string& z) { patchSizes(z, "resources/lang/zh_CN.ini", 10, true); },
       "resources/lang/zh_CN.ini", ui::kZipCorrupt},
      {"stored size smaller", [&](std::string& z) { patchSizes(z, "resources/lang/zh_CN.ini", -10, true); },
       "resources/lang/zh_CN.ini", ui::kZipCorrupt},
      {"size changed in the directory only",
       [&](std::string& z) { patchSizes(z, "resources/lang/zh_CN.ini", 1, false); }, "resources/lang/zh_CN.ini",
       ui::kZipCorrupt},
      {"stored entry longer", [&](std::string& z) {
         DirectoryRecord r = Record(z, "stored.txt");
         for (size_t at : {r.at + 20, r.at + 24}) PutU32(z, at, U32(z, at) + 5);
         for (size_t at : {r.local + 18, r.local + 22}) PutU32(z, at, U32(z, at) + 5);
       }, "stored.txt", ui::kZipCorrupt},
      {"local extra data beyond the archive's end",
       [](std::string& z) { PutU16(z, Record(z, "stored.txt").local + 28, 0xFFFF); }, "stored.txt",
       ui::kZipReadError},
      {"wrong CRC", [](std::string& z) {
         DirectoryRecord r = Record(z, "resources/themes/default/public/bk_shadow.png");
         PutU32(z, r.at + 16, U32(z, r.at + 16) ^ 1);
         PutU32(z, r.local + 14, U32(z, r.local + 14) ^ 1);
       }, "resources/themes/default/public/bk_shadow.png", ui::kZipCorrupt},
  };
  for (const Damage& d : damages) {
    std::string damaged = zip;
    d.apply(damaged);
    ArchivePtr archive = OpenMemory(damaged);
    if (!archive) {
      EXPECT_EQ(d.entry, nullptr) << d.what << ": the archive should open";
      continue;
    }
    for (const auto& e : intact) {
      unsigned result;
      const std::string bytes = ReadEntry(archive.get(), std::wstring(e.first.begin(), e.first.end()).c_str(), &result);
      if (result == ui::kZipOk) {
        EXPECT_EQ(bytes, e.second) << d.what << ": " << e.first;
      }
      if (d.entry != nullptr && e.first == d.entry) {
        EXPECT_NE(result, ui::kZipOk) << d.what;
        if (d.expected != 0) {
          EXPECT_EQ(result, d.expected) << d.what;
        }
      }
    }
  }
}

// A directory that claims more entries than it holds: the walk past the real ones fails.
TEST(ZipArchive, DirectoryWithFewerEntriesThanClaimedGivesCorrupt) {
  std::string zip = SkinArchive();
  const size_t end = EndRecord(zip);
  PutU16(zip, end + 8, kSkinEntryCount + 2);
  PutU16(zip, end + 10, kSkinEntryCount + 2);
  ArchivePtr archive = OpenMemory(zip);
  ASSERT_TRUE(archive);
  ui::ZipReader* reader = archive->reader;
  ZipEntry entry;
  ASSERT_EQ(reader->GetEntry(-1, &entry), ui::kZipOk);
  EXPECT_EQ(entry.index, kSkinEntryCount + 2);
  EXPECT_EQ(reader->GetEntry(kSkinEntryCount, &entry), ui::kZipCorrupt);
  EXPECT_EQ(reader->GetEntry(kSkinEntryCount + 1, &entry), ui::kZipCorrupt);
  char buffer[8];
  EXPECT_EQ(reader->UnzipToMemory(kSkinEntryCount + 1, buffer, sizeof buffer), ui::kZipCorrupt);
  EXPECT_EQ(ui::FindZipArchiveEntry(archive.get(), L"absent.txt", nullptr, nullptr), ui::kZipCorrupt);
  // The real entries stay readable after the failed walks.
  unsigned result;
  EXPECT_EQ(ReadEntry(archive.get(), L"resources/lang/zh_CN.ini", &result), kZhCnIni);
  EXPECT_EQ(result, ui::kZipOk);
  ASSERT_EQ(reader->GetEntry(kSkinEntryCount - 1, &entry), ui::kZipOk);
  EXPECT_STREQ(entry.name, L"one.txt");
}

}  // namespace
