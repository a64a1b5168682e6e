#include "ui/resources/zip_archive.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ui/resources/zip_stream.h"

namespace ui {

namespace {

// minizip's stream callbacks: the "file name" minizip opens is the stream itself, which the
// reader owns, so closing through minizip does nothing.
voidpf ZCALLBACK StreamOpen(voidpf, const void* stream, int) { return const_cast<void*>(stream); }

uLong ZCALLBACK StreamRead(voidpf, voidpf stream, void* buffer, uLong size) {
  return static_cast<uLong>(static_cast<ZipStream*>(stream)->Read(buffer, size));
}

uLong ZCALLBACK StreamWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK StreamTell(voidpf, voidpf stream) {
  const int64_t position = static_cast<ZipStream*>(stream)->Tell();
  return position < 0 ? ZPOS64_T(-1) : ZPOS64_T(position);
}

long ZCALLBACK StreamSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  return static_cast<ZipStream*>(stream)->Seek(static_cast<int64_t>(offset), origin) == 0 ? 0 : -1;
}

int ZCALLBACK StreamClose(voidpf, voidpf) { return 0; }

int ZCALLBACK StreamError(voidpf, voidpf) { return 0; }

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
  return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// Repeated until nothing changes: a drive, a leading separator, a leading parent-folder step,
// and everything up to the first parent-folder step inside the name go. No name can then point
// above the archive's root.
void NormaliseEntryName(wchar_t* name) {
  static const wchar_t* const kParentSteps[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
  for (bool changed = true; changed;) {
    changed = false;
    size_t cut = 0;
    if (name[0] != 0 && name[1] == L':') {
      cut = 2;
    } else if (name[0] == L'\\' || name[0] == L'/') {
      cut = 1;
    } else if (StartsWith(name, L"..\\") || StartsWith(name, L"../")) {
      cut = 3;
    } else {
      const wchar_t* first = nullptr;
      for (const wchar_t* step : kParentSteps) {
        const wchar_t* at = std::wcsstr(name, step);
        if (at != nullptr && (first == nullptr || at < first)) first = at;
      }
      if (first != nullptr) cut = size_t(first - name) + 4;
    }
    if (cut > 0) {
      std::memmove(name, name + cut, (std::wcslen(name + cut) + 1) * sizeof(wchar_t));
      changed = true;
    }
  }
}

void SetNotFound(int* index, ZipEntry* entry) {
  if (index != nullptr) *index = -1;
  if (entry != nullptr) {
    *entry = ZipEntry{};
    entry->index = -1;
  }
}

}  // namespace

ZipReader::ZipReader(const char* password) {
  if (password != nullptr) {
    const size_t length = std::strlen(password);
    password_.reset(new char[length + 1]);
    std::memcpy(password_.get(), password, length + 1);
  }
}

ZipReader::~ZipReader() { Close(); }

int ZipReader::EntryCount() const { return entryCount_; }

unsigned ZipReader::Open(const void* source, unsigned length, int sourceKind) {
  if (archive_ != nullptr || openEntry_ != -1) return kZipAlreadyOpen;
  std::unique_ptr<ZipStream> stream;
  if (sourceKind == kZipSourceHandle || sourceKind == kZipSourceFileName) {
    unsigned result = kZipNoFile;
    stream = OpenFileZipStream(source, sourceKind, &result);
    if (!stream) return result;
  } else if (sourceKind == kZipSourceMemory) {
    if (source == nullptr && length != 0) return kZipBadArguments;
    stream.reset(new MemoryZipStream(source, length));
  } else {
    return kZipBadArguments;
  }

  zlib_filefunc64_def functions;
  functions.zopen64_file = StreamOpen;
  functions.zread_file = StreamRead;
  functions.zwrite_file = StreamWrite;
  functions.ztell64_file = StreamTell;
  functions.zseek64_file = StreamSeek;
  functions.zclose_file = StreamClose;
  functions.zerror_file = StreamError;
  functions.opaque = nullptr;
  unzFile archive = unzOpen2_64(stream.get(), &functions);
  if (archive == nullptr) return kZipNoFile;
  unz_global_info64 info;
  if (unzGetGlobalInfo64(archive, &info) != UNZ_OK) {
    unzClose(archive);
    return kZipNoFile;
  }
  archive_ = archive;
  stream_ = std::move(stream);
  entryCount_ = info.number_entry > uint64_t(INT_MAX) ? INT_MAX : static_cast<int>(info.number_entry);
  currentIndex_ = -1;
  cachedIndex_ = -1;
  return kZipOk;
}

void ZipReader::Close() {
  CloseOpenEntry();
  if (archive_ != nullptr) unzClose(archive_);
  archive_ = nullptr;
  stream_.reset();
  cachedIndex_ = -1;
  currentIndex_ = -1;
  entryCount_ = 0;
}

void ZipReader::CloseOpenEntry() {
  if (openEntry_ != -1) unzCloseCurrentFile(archive_);
  openEntry_ = -1;
}

unsigned ZipReader::WalkTo(int index) {
  if (currentIndex_ < 0 || index < currentIndex_) {
    if (unzGoToFirstFile(archive_) != UNZ_OK) {
      currentIndex_ = -1;
      return kZipCorrupt;
    }
    currentIndex_ = 0;
  }
  // A directory with fewer entries than it claims ends this walk with an error, never a loop.
  while (currentIndex_ < index) {
    if (unzGoToNextFile(archive_) != UNZ_OK) {
      currentIndex_ = -1;
      return kZipCorrupt;
    }
    ++currentIndex_;
  }
  return kZipOk;
}

unsigned ZipReader::DescribeCurrent(int index, ZipEntry* entry) {
  unz_file_info64 info;
  char name[kZipEntryNameChars] = {};
  if (unzGetCurrentFileInfo64(archive_, &info, name, kZipEntryNameChars - 1, nullptr, 0, nullptr, 0) != UNZ_OK) {
    currentIndex_ = -1;
    return kZipCorrupt;
  }
  name[kZipEntryNameChars - 1] = 0;
  // The local header must agree with the directory, and its extra data must be readable.
  if (unzOpenCurrentFile2(archive_, nullptr, nullptr, 1) != UNZ_OK) return kZipCorrupt;
  const int extraSize = unzGetLocalExtrafield(archive_, nullptr, 0);
  unsigned result = kZipOk;
  if (extraSize < 0) {
    result = kZipReadError;
  } else if (extraSize > 0) {
    std::vector<char> extra(static_cast<size_t>(extraSize));
    if (unzGetLocalExtrafield(archive_, extra.data(), unsigned(extraSize)) != extraSize) result = kZipReadError;
  }
  unzCloseCurrentFile(archive_);
  if (result != kZipOk) return result;

  *entry = ZipEntry{};
  entry->index = index;
  ZipNameToWide(name, entry->name, kZipEntryNameChars);
  NormaliseEntryName(entry->name);
  entry->compressedSize = static_cast<uint32_t>(info.compressed_size);
  entry->uncompressedSize = static_cast<uint32_t>(info.uncompressed_size);
  return kZipOk;
}

unsigned ZipReader::GetEntry(int index, ZipEntry* entry) {
  if (archive_ == nullptr || index < -1 || index >= EntryCount()) return kZipBadArguments;
  CloseOpenEntry();
  ZipEntry record = {};
  if (index == -1) {
    record.index = EntryCount();
  } else if (index == cachedIndex_) {
    record = cachedEntry_;
  } else {
    unsigned result = WalkTo(index);
    if (result == kZipOk) result = DescribeCurrent(index, &record);
    if (result != kZipOk) return result;
    cachedEntry_ = record;
    cachedIndex_ = index;
  }
  if (entry != nullptr) *entry = record;
  return kZipOk;
}

unsigned ZipReader::UnzipToMemory(int index, void* buffer, unsigned size) {
  if (archive_ == nullptr || (buffer == nullptr && size != 0)) return kZipBadArguments;
  if (index < 0 || index != openEntry_) {
    CloseOpenEntry();
    if (index < 0 || index >= EntryCount()) return kZipBadArguments;
    unsigned result = WalkTo(index);
    if (result != kZipOk) return result;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      currentIndex_ = -1;
      return kZipCorrupt;
    }
    // minizip is built without decryption: an encrypted entry cannot be read with any password.
    if (info.flag & 1) return kZipBadPassword;
    const int opened = unzOpenCurrentFile(archive_);
    if (opened == UNZ_BADZIPFILE) return kZipCorrupt;
    if (opened != UNZ_OK) return kZipInflateError;
    openEntry_ = index;
    openEntryDelivered_ = 0;
    openEntryExpected_ = info.uncompressed_size;
  }

  // minizip counts a read in an int: hand it at most 1 GiB at a time.
  unsigned char* out = static_cast<unsigned char*>(buffer);
  uint64_t done = 0;
  while (done < size) {
    const unsigned chunk = static_cast<unsigned>(std::min<uint64_t>(size - done, 1u << 30));
    const int read = unzReadCurrentFile(archive_, out + done, chunk);
    if (read < 0) {
      CloseOpenEntry();
      return kZipInflateError;
    }
    done += unsigned(read);
    if (unsigned(read) < chunk) break;
  }
  openEntryDelivered_ += done;

  if (unzeof(archive_) == 1) {
    // The whole stored size arrived: it must also carry the stored CRC.
    const int closed = unzCloseCurrentFile(archive_);
    openEntry_ = -1;
    if (closed != UNZ_OK || openEntryDelivered_ != openEntryExpected_) return kZipCorrupt;
    return kZipOk;
  }
  if (done == size) return kZipMore;
  // The data ended before the stored size.
  CloseOpenEntry();
  return openEntryDelivered_ == 0 ? kZipInflateError : kZipCorrupt;
}

unsigned ZipReader::Locate(const wchar_t* name, int* index, ZipEntry* entry) {
  if (archive_ == nullptr) return kZipBadArguments;
  CloseOpenEntry();
  char utf8[kZipEntryNameChars];
  if (name == nullptr || !ZipNameToUtf8(name, utf8, kZipEntryNameChars)) {
    SetNotFound(index, entry);
    return kZipNotFound;
  }
  // minizip searches only from a valid current entry; a failed walk leaves none.
  if (currentIndex_ < 0) {
    if (unzGoToFirstFile(archive_) != UNZ_OK) {
      SetNotFound(index, entry);
      return EntryCount() == 0 ? kZipNotFound : kZipCorrupt;
    }
    currentIndex_ = 0;
  }
  // minizip compares a-z without case and refuses names of 256 bytes or more.
  const int located = unzLocateFile(archive_, utf8, 2);
  if (located != UNZ_OK) {
    currentIndex_ = -1;
    SetNotFound(index, entry);
    return located == UNZ_END_OF_LIST_OF_FILE || located == UNZ_PARAMERROR ? kZipNotFound : kZipCorrupt;
  }
  unz64_file_pos position;
  if (unzGetFilePos64(archive_, &position) != UNZ_OK || position.num_of_file > uint64_t(INT_MAX)) {
    currentIndex_ = -1;
    SetNotFound(index, entry);
    return kZipCorrupt;
  }
  const int found = static_cast<int>(position.num_of_file);
  currentIndex_ = found;
  if (index != nullptr) *index = found;
  if (entry != nullptr) return GetEntry(found, entry);
  return kZipOk;
}

ZipArchive* OpenZipArchive(const void* source, unsigned length, int sourceKind, const char* password) {
  std::unique_ptr<ZipReader> reader(new ZipReader(password));
  if (reader->Open(source, length, sourceKind) != kZipOk) return nullptr;
  return new ZipArchive{kZipModeRead, reader.release()};
}

void CloseZipArchive(ZipArchive* archive) {
  if (archive == nullptr || archive->mode != kZipModeRead) return;
  delete archive->reader;
  delete archive;
}

unsigned FindZipArchiveEntry(ZipArchive* archive, const wchar_t* name, int* index, ZipEntry* entry) {
  if (archive == nullptr || archive->reader == nullptr) return kZipBadArguments;
  if (archive->mode != kZipModeRead) return kZipWrongMode;
  return archive->reader->Locate(name, index, entry);
}

// ---------------------------------------------------------------------------------------------
// MemoryZipStream

size_t MemoryZipStream::Read(void* buffer, size_t size) {
  const size_t available = length_ - position_;
  const size_t count = size < available ? size : available;
  if (count == 0) return 0;
  std::memcpy(buffer, data_ + position_, count);
  position_ += count;
  return count;
}

int MemoryZipStream::Seek(int64_t offset, int origin) {
  int64_t base = 0;
  if (origin == 1) {
    base = int64_t(position_);
  } else if (origin == 2) {
    base = int64_t(length_);
  } else if (origin != 0) {
    return -1;
  }
  // Offsets arrive as unsigned 64-bit values: guard the sum as well as the range.
  if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset)) return -1;
  const int64_t target = base + offset;
  if (target < 0 || uint64_t(target) > length_) return -1;
  position_ = size_t(target);
  return 0;
}

}  // namespace ui
