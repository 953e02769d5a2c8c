#include "database/internal/lost_header_library.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "database/internal/schema.h"
#include "platform/log.h"

namespace lorvex {

namespace {

constexpr std::string_view kLogCategory = "Database";
constexpr std::string_view kMagic{"SQLite format 3\0", 16};
constexpr std::size_t kFileHeaderSize = 100;
constexpr std::size_t kSmallestPage = 512;
constexpr std::size_t kLargestPage = 65536;

using Bytes = std::vector<unsigned char>;

std::uint32_t read16(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0] << 8 | at[1]);
}
std::uint32_t read32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}
void write16(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value >> 8);
  at[1] = static_cast<unsigned char>(value);
}
void write32(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// SQLite's variable-length integer; nothing when it runs past `end`.
std::optional<std::uint64_t> readVarint(const unsigned char*& at, const unsigned char* end) {
  std::uint64_t value = 0;
  for (int i = 0; i < 9; ++i) {
    if (at >= end) return std::nullopt;
    const unsigned char byte = *at++;
    if (i == 8) return value << 8 | byte;
    value = value << 7 | (byte & 0x7f);
    if ((byte & 0x80) == 0) return value;
  }
  return value;
}

Bytes varint(std::uint64_t value) {
  Bytes bytes;
  if (value >> 56 != 0) {
    bytes.assign(9, 0);
    bytes[8] = static_cast<unsigned char>(value);
    value >>= 8;
    for (int i = 7; i >= 0; --i, value >>= 7) bytes[i] = static_cast<unsigned char>((value & 0x7f) | 0x80);
    return bytes;
  }
  do {
    bytes.insert(bytes.begin(), static_cast<unsigned char>((value & 0x7f) | 0x80));
    value >>= 7;
  } while (value != 0);
  bytes.back() &= 0x7f;
  return bytes;
}

// Whether the first bytes are a header SQLite accepts: the magic, a page size it allows and the
// fixed payload fractions.
bool headerIsIntact(const unsigned char* header) {
  if (std::memcmp(header, kMagic.data(), kMagic.size()) != 0) return false;
  const std::uint32_t size = read16(header + 16);
  const bool sizeAllowed = size == 1 || (size >= kSmallestPage && size <= 32768 && (size & (size - 1)) == 0);
  return sizeAllowed && header[21] == 64 && header[22] == 32 && header[23] == 32;
}

// The type of the b-tree page whose header starts at `header` (100 on the first page, else 0) when
// everything that header says fits a page of `size` bytes in a file of `pageCount` pages: the cell
// pointers, the cell content area, the first free block and an interior page's right child. 0 when
// it does not read as a b-tree page.
int btreePageType(const unsigned char* page, std::size_t size, std::size_t header, std::uint64_t pageCount) {
  const int type = page[header];
  if (type != 2 && type != 5 && type != 10 && type != 13) return 0;
  const bool interior = type == 2 || type == 5;
  const std::size_t pointers = header + (interior ? 12 : 8);
  const std::size_t cells = read16(page + header + 3);
  std::size_t content = read16(page + header + 5);
  if (content == 0) content = kLargestPage;
  if (pointers + 2 * cells > content || content > size || page[header + 7] > 60) return 0;
  const std::size_t freeBlock = read16(page + header + 1);
  if (freeBlock != 0 && (freeBlock < content || freeBlock + 4 > size)) return 0;
  if (interior) {
    const std::uint32_t child = read32(page + header + 8);
    if (child < 2 || child > pageCount) return 0;
  }
  for (std::size_t cell = 0; cell < cells; ++cell) {
    const std::size_t at = read16(page + pointers + 2 * cell);
    if (at < content || at >= size) return 0;
  }
  return type;
}

// A leaf page of the schema table, and the rowids its rows span.
struct SchemaLeaf {
  std::uint32_t page = 0;
  std::uint64_t firstRowid = 0;
  std::uint64_t lastRowid = 0;
  std::size_t rows = 0;
};

// Whether the record (as far as it lies on the page) is a row of the schema table: five columns, the
// first the kind of object, the next two its names, then its root page and its SQL.
bool isSchemaRow(const unsigned char* record, const unsigned char* end) {
  const unsigned char* at = record;
  const auto headerSize = readVarint(at, end);
  if (!headerSize || *headerSize > static_cast<std::uint64_t>(end - record)) return false;
  const unsigned char* headerEnd = record + *headerSize;
  std::vector<std::uint64_t> types;
  while (at < headerEnd) {
    const auto type = readVarint(at, headerEnd);
    if (!type) return false;
    types.push_back(*type);
  }
  const auto isText = [](std::uint64_t type) { return type >= 13 && type % 2 == 1; };
  if (types.size() != 5 || at != headerEnd || !isText(types[0]) || !isText(types[1]) || !isText(types[2]))
    return false;
  if (types[3] > 9 || types[3] == 7 || (types[4] != 0 && !isText(types[4]))) return false;
  const std::size_t kindLength = (types[0] - 13) / 2;
  if (kindLength > static_cast<std::size_t>(end - headerEnd)) return false;
  const std::string_view kind(reinterpret_cast<const char*>(headerEnd), kindLength);
  return kind == "table" || kind == "index" || kind == "view" || kind == "trigger";
}

// The page as a leaf of the schema table: a table leaf whose every row is a schema row.
std::optional<SchemaLeaf> schemaLeaf(const unsigned char* page, std::size_t size, std::size_t header,
                                     std::uint32_t number, std::uint64_t pageCount) {
  if (btreePageType(page, size, header, pageCount) != 13) return std::nullopt;
  const std::size_t cells = read16(page + header + 3);
  if (cells == 0) return std::nullopt;
  SchemaLeaf leaf{number, UINT64_MAX, 0, cells};
  const unsigned char* end = page + size;
  for (std::size_t cell = 0; cell < cells; ++cell) {
    const unsigned char* at = page + read16(page + header + 8 + 2 * cell);
    const auto payload = readVarint(at, end);
    const auto rowid = readVarint(at, end);
    if (!payload || !rowid) return std::nullopt;
    // Only the record's start has to be on this page: a long SQL text goes on to overflow pages.
    if (!isSchemaRow(at, end)) return std::nullopt;
    leaf.firstRowid = std::min(leaf.firstRowid, *rowid);
    leaf.lastRowid = std::max(leaf.lastRowid, *rowid);
  }
  return leaf;
}

// What the pages of a file with a lost first page tell: the page size at which the most of them
// read as b-tree pages, the schema table's leaves at that size, and the first page as found.
struct LostHeaderScan {
  std::size_t pageSize = 0;
  std::uint64_t pageCount = 0;
  std::vector<SchemaLeaf> schemaLeaves;  // by rowid, none overlapping another
  Bytes firstPage;
  // The first page below its header still reads as the schema table's root.
  bool schemaRootIntact = false;
};

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& path)
      : descriptor_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {}
  ~ReadOnlyFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool isOpen() const { return descriptor_ >= 0; }
  std::uint64_t size() const {
    struct stat info {};
    return ::fstat(descriptor_, &info) == 0 && S_ISREG(info.st_mode)
               ? static_cast<std::uint64_t>(info.st_size)
               : 0;
  }
  // Reads `bytes.size()` bytes at `offset`; false when they are not all there.
  bool read(Bytes& bytes, std::uint64_t offset) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got =
          ::pread(descriptor_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int descriptor_;
};

std::optional<LostHeaderScan> scanLostHeader(const std::filesystem::path& file) {
  const ReadOnlyFile in(file);
  if (!in.isOpen()) return std::nullopt;
  const std::uint64_t size = in.size();
  if (size < 2 * kSmallestPage || size % kSmallestPage != 0) return std::nullopt;
  Bytes header(kFileHeaderSize);
  if (!in.read(header, 0) || headerIsIntact(header.data())) return std::nullopt;

  struct Candidate {
    std::size_t pageSize;
    std::size_t validPages = 0;
    std::vector<SchemaLeaf> leaves;
  };
  std::vector<Candidate> candidates;
  for (std::size_t pageSize = kSmallestPage; pageSize <= kLargestPage; pageSize *= 2) {
    if (size % pageSize == 0 && size / pageSize >= 2) candidates.push_back({pageSize, 0, {}});
  }
  // One pass over the file in blocks of the largest page size, each block holding whole pages of
  // every candidate size.
  Bytes block;
  for (std::uint64_t offset = 0; offset < size; offset += kLargestPage) {
    block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kLargestPage, size - offset)));
    if (!in.read(block, offset)) return std::nullopt;
    for (Candidate& candidate : candidates) {
      const std::uint64_t pageCount = size / candidate.pageSize;
      for (std::size_t at = 0; at + candidate.pageSize <= block.size(); at += candidate.pageSize) {
        const auto number = static_cast<std::uint32_t>((offset + at) / candidate.pageSize + 1);
        if (number == 1) continue;
        const unsigned char* page = block.data() + at;
        if (btreePageType(page, candidate.pageSize, 0, pageCount) == 0) continue;
        ++candidate.validPages;
        if (auto leaf = schemaLeaf(page, candidate.pageSize, 0, number, pageCount))
          candidate.leaves.push_back(*leaf);
      }
    }
  }
  const auto best = std::max_element(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
    return a.validPages < b.validPages;
  });
  if (best == candidates.end() || best->validPages == 0) return std::nullopt;

  LostHeaderScan scan;
  scan.pageSize = best->pageSize;
  scan.pageCount = size / best->pageSize;
  scan.firstPage.resize(best->pageSize);
  if (!in.read(scan.firstPage, 0)) return std::nullopt;
  const int rootType = btreePageType(scan.firstPage.data(), scan.pageSize, kFileHeaderSize, scan.pageCount);
  scan.schemaRootIntact = rootType == 5 || (rootType == 13 && schemaLeaf(scan.firstPage.data(), scan.pageSize,
                                                                         kFileHeaderSize, 1, scan.pageCount));
  // A leaf left over from before its rows moved would repeat them: of overlapping leaves the one
  // with more rows stays.
  std::sort(best->leaves.begin(), best->leaves.end(),
            [](const SchemaLeaf& a, const SchemaLeaf& b) { return a.firstRowid < b.firstRowid; });
  for (const SchemaLeaf& leaf : best->leaves) {
    if (!scan.schemaLeaves.empty() && leaf.firstRowid <= scan.schemaLeaves.back().lastRowid) {
      if (leaf.rows > scan.schemaLeaves.back().rows) scan.schemaLeaves.back() = leaf;
      continue;
    }
    scan.schemaLeaves.push_back(leaf);
  }
  if (!scan.schemaRootIntact && scan.schemaLeaves.empty()) return std::nullopt;
  return scan;
}

// The first page again: a header for the page size and count found (the log in use when
// `writeAheadLog`), over the schema table's root as found when that still reads, else over a new
// root whose children are the schema leaves in rowid order. Nothing when they do not fit on it.
std::optional<Bytes> rebuiltFirstPage(const LostHeaderScan& scan, bool writeAheadLog) {
  const std::size_t size = scan.pageSize;
  Bytes page = scan.schemaRootIntact ? scan.firstPage : Bytes(size, 0);
  std::fill(page.begin(), page.begin() + kFileHeaderSize, 0);
  std::memcpy(page.data(), kMagic.data(), kMagic.size());
  write16(&page[16], size == kLargestPage ? 1 : static_cast<std::uint32_t>(size));
  page[18] = page[19] = writeAheadLog ? 2 : 1;
  page[21] = 64;  // the payload fractions every file has
  page[22] = 32;
  page[23] = 32;
  write32(&page[24], 1);                                           // change counter
  write32(&page[28], static_cast<std::uint32_t>(scan.pageCount));  // valid: counter == 1 at 92
  write32(&page[40], 1);                                           // schema cookie
  write32(&page[44], 4);                                           // schema format
  write32(&page[56], 1);                                           // UTF-8
  write32(&page[60], static_cast<std::uint32_t>(schema::kVersion));
  write32(&page[92], 1);
  write32(&page[96], SQLITE_VERSION_NUMBER);
  if (scan.schemaRootIntact) return page;

  // An interior page may keep no cells only as the first page: then its right child is all.
  const std::size_t header = kFileHeaderSize;
  const std::size_t cells = scan.schemaLeaves.size() - 1;
  std::size_t content = size;
  page[header] = 5;
  write16(&page[header + 3], static_cast<std::uint32_t>(cells));
  write32(&page[header + 8], scan.schemaLeaves.back().page);
  for (std::size_t cell = 0; cell < cells; ++cell) {
    const SchemaLeaf& leaf = scan.schemaLeaves[cell];
    const Bytes key = varint(leaf.lastRowid);
    const std::size_t length = 4 + key.size();
    if (content < header + 12 + 2 * cells + length) return std::nullopt;
    content -= length;
    write32(&page[content], leaf.page);
    std::copy(key.begin(), key.end(), page.begin() + static_cast<std::ptrdiff_t>(content + 4));
    write16(&page[header + 12 + 2 * cell], static_cast<std::uint32_t>(content));
  }
  write16(&page[header + 5], content == kLargestPage ? 0 : static_cast<std::uint32_t>(content));
  return page;
}

void removeQuietly(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
}

bool hasContent(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return !error && size > 0;
}

// Writes the copy of `file` (and of its log) with the first page rebuilt.
void writeReadableCopy(const std::filesystem::path& file, const LostHeaderScan& scan,
                       const std::filesystem::path& copy) {
  const std::filesystem::path log = file.string() + "-wal";
  const bool writeAheadLog = hasContent(log);
  const std::optional<Bytes> firstPage = rebuiltFirstPage(scan, writeAheadLog);
  if (!firstPage) throw std::runtime_error("the schema table's leaves do not fit on one page");
  std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
  if (writeAheadLog)
    std::filesystem::copy_file(log, copy.string() + "-wal",
                               std::filesystem::copy_options::overwrite_existing);
  const int descriptor = ::open(copy.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (descriptor < 0) throw std::system_error(errno, std::generic_category(), "open " + copy.string());
  const ssize_t written = ::pwrite(descriptor, firstPage->data(), firstPage->size(), 0);
  const int error = errno;
  ::close(descriptor);
  if (written != static_cast<ssize_t>(firstPage->size()))
    throw std::system_error(written < 0 ? error : EIO, std::generic_category(), "write " + copy.string());
}

}  // namespace

bool isLibraryWithLostHeader(const std::filesystem::path& file) {
  return scanLostHeader(file).has_value();
}

LibrarySalvage salvageSetAsideLibrary(const std::filesystem::path& file) {
  const std::optional<LostHeaderScan> scan = scanLostHeader(file);
  if (!scan) return salvageLibrary(file);
  platform::logInfo(kLogCategory, "The first page of " + file.string() +
                                      " is lost; its marks are read through a "
                                      "copy with that page rebuilt (" +
                                      std::to_string(scan->pageSize) + "-byte pages)");
  const std::filesystem::path copy = file.string() + "-readable";
  const auto removeCopy = [&] {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) removeQuietly(copy.string() + suffix);
  };
  removeCopy();
  LibrarySalvage salvage;
  try {
    writeReadableCopy(file, *scan, copy);
    salvage = salvageLibrary(copy);
  } catch (const std::exception& error) {
    platform::logError(kLogCategory,
                       std::string("The lost first page could not be rebuilt: ") + error.what());
  }
  removeCopy();
  return salvage;
}

}  // namespace lorvex
