#pragma once

// The skin archive reader: opens a zip archive from an open file handle, a file name or a
// memory block, describes and finds entries, and inflates an entry into memory. minizip reads
// the format; this layer adds the sources, the entry cache, name normalisation and result
// codes. The memory path makes no system calls, so it is also built natively for fuzzing.

#include <cstdint>
#include <memory>

namespace ui {

class ZipStream;

// Result codes.
constexpr unsigned kZipOk = 0;
constexpr unsigned kZipNoFile = 0x200;          // not opened, or not a zip archive
constexpr unsigned kZipNotFound = 0x500;        // no entry of that name
constexpr unsigned kZipMore = 0x600;            // buffer full, the entry has more data
constexpr unsigned kZipCorrupt = 0x700;         // header, directory, size or CRC inconsistent
constexpr unsigned kZipReadError = 0x800;       // an entry's header data could not be read
constexpr unsigned kZipBadPassword = 0x1000;    // the entry is encrypted
constexpr unsigned kZipBadArguments = 0x10000;  // no archive, index out of range, unknown source
constexpr unsigned kZipWrongMode = 0x80000;     // the handle is not open for reading
constexpr unsigned kZipAlreadyOpen = 0x1000000;
constexpr unsigned kZipCannotSeek = 0x2000000;  // a given file handle cannot report its position
constexpr unsigned kZipInflateError = 0x5000000;

enum ZipSourceKind : int {
  kZipSourceHandle = 1,    // an open file handle, read from its current position; not taken over
  kZipSourceFileName = 2,  // a wide, NUL-terminated file name
  kZipSourceMemory = 3,    // a memory block of the given length, not copied
};

constexpr int kZipEntryNameChars = 260;

struct ZipEntry {
  // Position in the central directory; -1 when not found. GetEntry(-1) puts the count here.
  int index;
  // Normalised: no drive, no leading separator, nothing up to a parent-folder step.
  wchar_t name[kZipEntryNameChars];
  uint32_t compressedSize;
  uint32_t uncompressedSize;
};

class ZipReader {
 public:
  // A null password means none.
  explicit ZipReader(const char* password);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  unsigned Open(const void* source, unsigned length, int sourceKind);
  // Index -1: the number of entries in entry->index, the rest zero.
  unsigned GetEntry(int index, ZipEntry* entry);
  // Inflates up to `size` bytes; kZipMore leaves the entry open and the next call with the same
  // index continues. kZipOk only when the whole entry arrived with its stored size and CRC.
  unsigned UnzipToMemory(int index, void* buffer, unsigned size);
  // Finds a stored name (UTF-8, at most 255 bytes), ignoring the case of a-z.
  unsigned Locate(const wchar_t* name, int* index, ZipEntry* entry);
  void Close();

 private:
  int EntryCount() const;
  void CloseOpenEntry();
  // Makes `index` minizip's current entry, walking the central directory.
  unsigned WalkTo(int index);
  unsigned DescribeCurrent(int index, ZipEntry* entry);

  void* archive_ = nullptr;
  int openEntry_ = -1;
  ZipEntry cachedEntry_ = {};
  int cachedIndex_ = -1;
  std::unique_ptr<char[]> password_;
  std::unique_ptr<ZipStream> stream_;
  int currentIndex_ = -1;          // minizip's current entry, -1 when unknown
  int entryCount_ = 0;
  uint64_t openEntryDelivered_ = 0;  // bytes of the open entry handed out so far
  uint64_t openEntryExpected_ = 0;
};

constexpr int kZipModeRead = 1;

struct ZipArchive {
  int mode;
  ZipReader* reader;
};

// A new handle open for reading, or null on any failure.
ZipArchive* OpenZipArchive(const void* source, unsigned length, int sourceKind, const char* password);
// Closes the reader (and a file it opened by name) and deletes the handle; a handle not open
// for reading is only forgotten.
void CloseZipArchive(ZipArchive* archive);
// Looks a name up in an archive: kZipBadArguments without one, kZipWrongMode when it is not
// open for reading; index and entry may be null.
unsigned FindZipArchiveEntry(ZipArchive* archive, const wchar_t* name, int* index, ZipEntry* entry);
// The same in the UI runtime's resource zip (kZipBadArguments while none is open).
unsigned FindResourceZipEntry(const wchar_t* name, int* index, ZipEntry* entry);

}  // namespace ui
