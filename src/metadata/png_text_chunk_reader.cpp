#include "metadata/png_text_chunk_reader.h"

#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "metadata/parse_warnings.h"
#include "model/text/numbers.h"
#include "model/text/unicode.h"

namespace lorvex {
namespace {

constexpr std::uint64_t kChunkOverhead = 12;  // length, type and CRC of a chunk without data

enum class ChunkKind { text, compressedText, internationalText, end, other };

ChunkKind chunkKind(std::span<const std::uint8_t, 4> type) {
  const auto is = [&](const char* name) { return std::memcmp(type.data(), name, 4) == 0; };
  if (is("tEXt")) return ChunkKind::text;
  if (is("zTXt")) return ChunkKind::compressedText;
  if (is("iTXt")) return ChunkKind::internationalText;
  if (is("IEND")) return ChunkKind::end;
  return ChunkKind::other;
}

const char* chunkTypeName(ChunkKind kind) {
  switch (kind) {
    case ChunkKind::text:
      return "tEXt";
    case ChunkKind::compressedText:
      return "zTXt";
    default:
      return "iTXt";
  }
}

std::size_t findNUL(std::span<const std::uint8_t> data, std::size_t from) {
  if (from >= data.size()) return std::span<const std::uint8_t>::extent;
  const void* found = std::memchr(data.data() + from, 0, data.size() - from);
  return found == nullptr ? std::span<const std::uint8_t>::extent
                          : static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data.data());
}

constexpr std::size_t kNotFound = std::span<const std::uint8_t>::extent;

[[noreturn]] void throwInvalidChunk() {
  throw PNGTextChunkReaderError(PNGTextChunkReaderError::Code::invalidChunk);
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

// One decompressor per thread: allocating one costs more than inflating a typical text chunk.
libdeflate_decompressor* threadDecompressor() {
  thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  return decompressor.get();
}

std::string_view asText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

const char* PNGTextChunkReaderError::description(Code code) noexcept {
  return code == Code::invalidSignature ? "invalidSignature" : "invalidChunk";
}

void PNGTextChunkByteSource::readExactly(std::span<std::uint8_t> into) {
  if (read(into) != into.size()) throwInvalidChunk();
}

// MARK: Memory source

std::uint64_t MemoryPNGTextChunkByteSource::remainingByteCount() {
  if (position_ > bytes_.size()) throwInvalidChunk();
  return bytes_.size() - position_;
}

std::size_t MemoryPNGTextChunkByteSource::read(std::span<std::uint8_t> into) {
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), remainingByteCount()));
  if (count > 0) std::memcpy(into.data(), bytes_.data() + position_, count);
  position_ += count;
  return count;
}

void MemoryPNGTextChunkByteSource::skip(std::uint64_t count) {
  if (count > remainingByteCount()) throwInvalidChunk();
  position_ += count;
}

// MARK: File source

FileHandlePNGTextChunkByteSource::FileHandlePNGTextChunkByteSource(const std::string& path)
    : file_(path), size_(static_cast<std::uint64_t>(file_.size())) {}

std::uint64_t FileHandlePNGTextChunkByteSource::remainingByteCount() {
  if (offset_ > size_) throwInvalidChunk();
  return size_ - offset_;
}

std::size_t FileHandlePNGTextChunkByteSource::read(std::span<std::uint8_t> into) {
  std::size_t total = 0;
  while (total < into.size()) {
    const ssize_t count = ::pread(file_.descriptor(), into.data() + total, into.size() - total,
                                  static_cast<off_t>(offset_ + total));
    if (count < 0) {
      if (errno == EINTR) continue;
      platform::throwFileError("Unable to read file", errno);
    }
    if (count == 0) break;
    total += static_cast<std::size_t>(count);
  }
  offset_ += total;
  return total;
}

void FileHandlePNGTextChunkByteSource::skip(std::uint64_t count) {
  if (count > remainingByteCount()) throwInvalidChunk();
  offset_ += count;
}

// MARK: Text conversion

std::string latin1ToUTF8(std::span<const std::uint8_t> bytes) {
  const auto nonASCII = std::count_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b >= 0x80; });
  std::string text;
  if (nonASCII == 0) {
    text.assign(asText(bytes));
    return text;
  }
  text.reserve(bytes.size() + static_cast<std::size_t>(nonASCII));
  // Latin-1 bytes are the scalars U+0000...U+00FF.
  for (const std::uint8_t byte : bytes) text::appendUTF8(text, byte);
  return text;
}

// MARK: Reader

const std::array<std::uint8_t, 8>& PNGTextChunkReader::pngSignature() {
  static constexpr std::array<std::uint8_t, 8> signature{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  return signature;
}

std::uint32_t PNGTextChunkReader::readUInt32BigEndian(std::span<const std::uint8_t> bytes,
                                                      std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value * 256 + bytes[offset + i];
  return value;
}

PNGTextInflateResult PNGTextChunkReader::inflate(std::span<const std::uint8_t> compressed,
                                                 std::uint64_t budget) {
  using Status = PNGTextInflateResult::Status;
  if (compressed.empty()) return {Status::inflated, {}, 0};
  std::size_t capacity = kInitialInflateCapacity;
  if (compressed.size() > kSmallCompressedInput) {
    // Its output could not fit the ladder's last rung: too large, not corrupt.
    if (compressed.size() > kMaximumInflateCapacity / 4) return {Status::exceedsBudget, {}, 0};
    capacity = compressed.size() * 4;
  }
  libdeflate_decompressor* decompressor = threadDecompressor();
  if (decompressor == nullptr) throw std::bad_alloc();
  std::uint64_t attempted = 0;
  for (;;) {
    // Never hold more than the budget allows: an output that does not fit it is over budget,
    // however far the ladder would still have climbed.
    const bool budgetBound = capacity > budget;
    const std::size_t attempt = budgetBound ? static_cast<std::size_t>(budget) : capacity;
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[std::max<std::size_t>(attempt, 1)]);
    std::size_t consumed = 0;
    std::size_t written = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(
        decompressor, compressed.data(), compressed.size(), buffer.get(), attempt, &consumed, &written);
    if (result == LIBDEFLATE_SUCCESS) {
      return {Status::inflated, std::string(reinterpret_cast<const char*>(buffer.get()), written),
              attempted + written};
    }
    attempted += attempt;
    if (result != LIBDEFLATE_INSUFFICIENT_SPACE) return {Status::failed, {}, attempted};
    if (budgetBound) return {Status::exceedsBudget, {}, attempted};
    // The last rung was full: the text is larger than any text the reader keeps.
    if (capacity >= kMaximumInflateCapacity / 2 + 1) return {Status::exceedsBudget, {}, attempted};
    capacity *= 2;
  }
}

std::optional<std::string> PNGTextChunkReader::inflate(std::string_view compressed) {
  PNGTextInflateResult result =
      inflate({reinterpret_cast<const std::uint8_t*>(compressed.data()), compressed.size()});
  if (result.status != PNGTextInflateResult::Status::inflated) return std::nullopt;
  return std::move(result.bytes);
}

std::optional<PNGTextChunkReader::KeywordAndValue> PNGTextChunkReader::decodeTEXt(
    std::span<const std::uint8_t> data) {
  const std::size_t nul = findNUL(data, 0);
  if (nul == kNotFound) return std::nullopt;
  return KeywordAndValue{latin1ToUTF8(data.first(nul)), latin1ToUTF8(data.subspan(nul + 1))};
}

std::optional<PNGTextChunkReader::KeywordAndValue> PNGTextChunkReader::decodeZTXt(
    std::span<const std::uint8_t> data, std::uint64_t budget, bool* exceededBudget,
    std::uint64_t* inflateWork) {
  const std::size_t nul = findNUL(data, 0);
  if (nul == kNotFound || nul + 1 >= data.size() || data[nul + 1] != 0) return std::nullopt;
  const std::span<const std::uint8_t> compressed = data.subspan(nul + 2);
  PNGTextInflateResult inflated = inflate(compressed, budget);
  if (inflateWork != nullptr) *inflateWork += inflated.attemptedBytes;
  if (inflated.status == PNGTextInflateResult::Status::exceedsBudget && exceededBudget != nullptr) {
    *exceededBudget = true;
  }
  if (inflated.status != PNGTextInflateResult::Status::inflated) return std::nullopt;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(inflated.bytes.data());
  return KeywordAndValue{latin1ToUTF8(data.first(nul)), latin1ToUTF8({bytes, inflated.bytes.size()})};
}

std::optional<PNGTextChunkReader::KeywordAndValue> PNGTextChunkReader::decodeITXt(
    std::span<const std::uint8_t> data, std::uint64_t budget, bool* exceededBudget,
    std::uint64_t* inflateWork) {
  const std::size_t nul = findNUL(data, 0);
  if (nul == kNotFound || nul + 2 >= data.size()) return std::nullopt;
  const std::uint8_t compressionFlag = data[nul + 1];
  const std::uint8_t compressionMethod = data[nul + 2];
  const std::size_t languageEnd = findNUL(data, nul + 3);
  if (languageEnd == kNotFound) return std::nullopt;
  const std::size_t translatedKeywordEnd = findNUL(data, languageEnd + 1);
  if (translatedKeywordEnd == kNotFound) return std::nullopt;
  const std::span<const std::uint8_t> text = data.subspan(translatedKeywordEnd + 1);
  std::string value;
  if (compressionFlag == 1) {
    if (compressionMethod != 0) return std::nullopt;
    PNGTextInflateResult inflated = inflate(text, budget);
    if (inflateWork != nullptr) *inflateWork += inflated.attemptedBytes;
    if (inflated.status == PNGTextInflateResult::Status::exceedsBudget && exceededBudget != nullptr) {
      *exceededBudget = true;
    }
    if (inflated.status != PNGTextInflateResult::Status::inflated) return std::nullopt;
    value = std::move(inflated.bytes);
  } else {
    value.assign(asText(text));
  }
  if (!text::isValidUTF8(value)) value.clear();
  return KeywordAndValue{latin1ToUTF8(data.first(nul)), std::move(value)};
}

PNGTextMetadata PNGTextChunkReader::read(PNGTextChunkByteSource& source) const {
  // The type of the chunk being read, for a failure in it.
  std::array<std::uint8_t, 4> chunkType{};
  try {
    return readChunks(source, chunkType);
  } catch (const PNGTextChunkReaderError& error) {
    const auto isLetter = [](std::uint8_t byte) { return (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z'; };
    if (error.code() != PNGTextChunkReaderError::Code::invalidChunk ||
        !std::all_of(chunkType.begin(), chunkType.end(), isLetter)) {
      throw;
    }
    throw PNGTextChunkReaderError(error.code(), std::string(chunkType.begin(), chunkType.end()));
  }
}

PNGTextMetadata PNGTextChunkReader::readChunks(PNGTextChunkByteSource& source,
                                               std::array<std::uint8_t, 4>& chunkType) const {
  std::array<std::uint8_t, 8> signature{};
  if (source.read(signature) != signature.size() || signature != pngSignature()) {
    throw PNGTextChunkReaderError(PNGTextChunkReaderError::Code::invalidSignature);
  }

  PNGTextMetadata metadata;
  std::unordered_map<std::string, std::int64_t> occurrenceCounts;
  std::vector<std::uint8_t> buffer;
  std::uint64_t budgetLeft = maximumDecodedTextBytes;
  const std::uint64_t inflateWorkLimit = maximumDecodedTextBytes * kInflateWorkPerDecodedTextByte;
  std::uint64_t inflateWork = 0;
  std::size_t examinedTextChunks = 0;
  std::size_t skippedTextChunks = 0;

  for (;;) {
    const std::uint64_t remaining = source.remainingByteCount();
    if (remaining < kChunkOverhead) break;
    std::array<std::uint8_t, 8> header{};
    source.readExactly(header);
    std::copy(header.begin() + 4, header.end(), chunkType.begin());
    const std::uint64_t length = readUInt32BigEndian(header, 0);
    const ChunkKind kind = chunkKind(std::span<const std::uint8_t, 4>(header.data() + 4, 4));
    if (kind == ChunkKind::other || kind == ChunkKind::end) {
      source.skip(length + 4);
      if (kind == ChunkKind::end) break;  // nothing after IEND is looked at
      continue;
    }
    // The declared length is checked against the file before anything is allocated for it.
    if (length + 4 > remaining - 8) throwInvalidChunk();
    if (examinedTextChunks >= maximumTextChunkCount || length > budgetLeft) {
      source.skip(length + 4);
      ++skippedTextChunks;
      continue;
    }
    ++examinedTextChunks;
    // The data and its CRC in one read; the CRC is never checked.
    buffer.resize(static_cast<std::size_t>(length) + 4);
    source.readExactly(buffer);
    const std::span<const std::uint8_t> data(buffer.data(), static_cast<std::size_t>(length));

    bool exceededBudget = false;
    std::optional<KeywordAndValue> decoded;
    const std::uint64_t inflateBudget =
        std::min(budgetLeft, inflateWorkLimit - std::min(inflateWork, inflateWorkLimit));
    switch (kind) {
      case ChunkKind::text:
        decoded = decodeTEXt(data);
        break;
      case ChunkKind::compressedText:
        decoded = decodeZTXt(data, inflateBudget, &exceededBudget, &inflateWork);
        break;
      default:
        decoded = decodeITXt(data, inflateBudget, &exceededBudget, &inflateWork);
        break;
    }
    if (decoded && decoded->first.size() + decoded->second.size() > budgetLeft) {
      decoded.reset();
      exceededBudget = true;
    }
    if (exceededBudget) ++skippedTextChunks;
    if (!decoded) continue;

    auto& [keyword, value] = *decoded;
    budgetLeft -= keyword.size() + value.size();
    std::int64_t& count = occurrenceCounts[keyword];
    const std::int64_t occurrenceIndex = count++;
    metadata.textChunks.insert_or_assign(keyword, value);
    metadata.textChunkEntries.push_back(
        PNGTextChunkEntry{std::move(keyword), std::move(value), occurrenceIndex, chunkTypeName(kind)});
  }

  buffer = {};  // the last chunk's bytes, as large as a chunk: freed before the lifted copies
  const auto lift = [&](const char* keyword) -> std::optional<std::string> {
    auto found = metadata.textChunks.find(keyword);
    if (found == metadata.textChunks.end()) return std::nullopt;
    return found->second;
  };
  metadata.title = lift("Title");
  metadata.description = lift("Description");
  metadata.software = lift("Software");
  metadata.source = lift("Source");
  if (auto generationTime = lift("Generation time"))
    metadata.generationTime = text::parseReal(*generationTime);
  metadata.commentJSON = lift("Comment");
  if (skippedTextChunks > 0) {
    metadata.readWarning = skippedTextChunksWarning({static_cast<std::int64_t>(skippedTextChunks),
                                                     static_cast<std::int64_t>(maximumTextChunkCount),
                                                     static_cast<std::int64_t>(maximumDecodedTextBytes)});
  }
  return metadata;
}

PNGTextMetadata PNGTextChunkReader::readFile(const std::string& path) const {
  FileHandlePNGTextChunkByteSource source(path);
  return read(source);
}

}  // namespace lorvex
