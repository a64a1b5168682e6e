// Fuzzes the zip reader over memory: the input, copied to an exact-size block, is opened as an
// archive; every entry is described, located by its name, and unzipped whole and through a
// small buffer continued on kZipMore. Codes must be known ones, and both reads of an entry
// must agree whenever both end in kZipOk.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ui/resources/zip_archive.h"

namespace {

// Entries larger than this are not read whole; the small buffer reads at most kMaxPieceBytes.
constexpr uint32_t kMaxWholeRead = 1 << 20;
constexpr size_t kMaxPieceBytes = 1 << 16;
constexpr int kMaxEntries = 64;
constexpr unsigned kPiece = 7;

void Require(bool condition) {
  if (!condition) abort();
}

bool KnownCode(unsigned code) {
  switch (code) {
    case ui::kZipOk: case ui::kZipNotFound: case ui::kZipMore: case ui::kZipCorrupt: case ui::kZipReadError:
    case ui::kZipBadPassword: case ui::kZipBadArguments: case ui::kZipInflateError:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(data, data + size);
  ui::ZipArchive* archive =
      ui::OpenZipArchive(block.empty() ? nullptr : block.data(), unsigned(block.size()), ui::kZipSourceMemory, "");
  if (archive == nullptr) return 0;
  ui::ZipReader* reader = archive->reader;

  ui::ZipEntry count;
  Require(reader->GetEntry(-1, &count) == ui::kZipOk && count.index >= 0);
  Require(reader->GetEntry(count.index, &count) == ui::kZipBadArguments);
  const int entries = count.index < kMaxEntries ? count.index : kMaxEntries;
  for (int i = 0; i < entries; ++i) {
    ui::ZipEntry entry;
    const unsigned described = reader->GetEntry(i, &entry);
    Require(KnownCode(described));
    if (described == ui::kZipCorrupt) break;  // the directory ends here
    if (described != ui::kZipOk) continue;
    Require(entry.index == i && std::wcslen(entry.name) < ui::kZipEntryNameChars);

    int found = -2;
    ui::ZipEntry located;
    const unsigned lookup = ui::FindZipArchiveEntry(archive, entry.name, &found, &located);
    Require(KnownCode(lookup));
    if (lookup == ui::kZipOk) Require(found >= 0 && found < count.index && located.index == found);
    if (lookup == ui::kZipNotFound) Require(found == -1 && located.index == -1);

    const uint32_t expected = entry.uncompressedSize;
    std::vector<uint8_t> whole(expected <= kMaxWholeRead ? expected : 0);
    unsigned wholeResult = ui::kZipMore;
    if (expected <= kMaxWholeRead) {
      wholeResult = reader->UnzipToMemory(i, whole.empty() ? nullptr : whole.data(), expected);
      Require(KnownCode(wholeResult));
    }

    std::vector<uint8_t> pieces;
    uint8_t buffer[kPiece];
    unsigned pieceResult;
    do {
      std::memset(buffer, 0xA5, sizeof buffer);
      pieceResult = reader->UnzipToMemory(i, buffer, kPiece);
      Require(KnownCode(pieceResult));
      if (pieceResult == ui::kZipMore) pieces.insert(pieces.end(), buffer, buffer + kPiece);
      if (pieceResult == ui::kZipOk) {
        Require(pieces.size() <= expected && expected - pieces.size() <= kPiece);
        pieces.insert(pieces.end(), buffer, buffer + (expected - pieces.size()));
      }
    } while (pieceResult == ui::kZipMore && pieces.size() < kMaxPieceBytes);
    if (pieceResult == ui::kZipOk) Require(pieces.size() == expected);
    if (wholeResult == ui::kZipOk && pieceResult == ui::kZipOk) Require(pieces == whole);
  }
  ui::CloseZipArchive(archive);
  return 0;
}
