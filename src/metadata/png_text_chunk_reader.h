// Reads the tEXt, zTXt and iTXt chunks of a PNG file without decoding its image: the reader walks
// the chunk headers through a PNGTextChunkByteSource and seeks past every chunk that is not text.
//
// Thread safety: PNGTextChunkReader holds nothing but its limits; any thread may call it, each
// call on its own byte source. A byte source belongs to one thread at a time.
//
// Failures: read() throws PNGTextChunkReaderError when the bytes are not a readable PNG chunk
// stream, and passes the byte source's own I/O errors (platform::FileError) on unchanged. A text
// chunk that cannot be decoded is ignored, never an error. Nothing partial is returned.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/generation_metadata.h"
#include "model/png_text_metadata.h"
#include "platform/regular_file.h"

namespace lorvex {

// The reader's own failures. The scanner classifies failure messages by their words, so the
// descriptions are the case names exactly.
class PNGTextChunkReaderError : public std::exception {
 public:
  enum class Code {
    invalidSignature,  // the file does not begin with the PNG signature (or is shorter than it)
    invalidChunk,      // a chunk runs past the end of the file, or the position is past the end
  };

  explicit PNGTextChunkReaderError(Code code) : code_(code) {}
  // `chunkType`: the type of the chunk the stream broke in ("iTXt"), when known.
  PNGTextChunkReaderError(Code code, std::string chunkType) : code_(code), chunkType_(std::move(chunkType)) {}

  Code code() const { return code_; }
  // The type of the chunk an invalidChunk failure broke in, when its header was read and names a
  // chunk type (four ASCII letters); empty otherwise. Not part of the description.
  const std::string& chunkType() const { return chunkType_; }
  // "invalidSignature" or "invalidChunk".
  std::string localizedDescription() const { return std::string(description(code_)); }
  const char* what() const noexcept override { return description(code_); }

  friend bool operator==(const PNGTextChunkReaderError& a, const PNGTextChunkReaderError& b) {
    return a.code_ == b.code_;
  }

  static const char* description(Code code) noexcept;

 private:
  Code code_;
  std::string chunkType_;
};

// How the reader sees a file: a forward-only cursor over bytes.
class PNGTextChunkByteSource {
 public:
  virtual ~PNGTextChunkByteSource() = default;

  // Bytes from the current position to the end. A position beyond the end throws invalidChunk.
  virtual std::uint64_t remainingByteCount() = 0;
  // Copies up to into.size() bytes from the current position and advances past them; returns how
  // many were copied (fewer only at the end).
  virtual std::size_t read(std::span<std::uint8_t> into) = 0;
  // Moves the position forward. A target beyond the end (or one that overflows) throws
  // invalidChunk.
  virtual void skip(std::uint64_t count) = 0;

  // Fills `into` completely or throws invalidChunk.
  void readExactly(std::span<std::uint8_t> into);
};

// A source over bytes in memory (tests, fuzzing). The bytes must outlive the source.
class MemoryPNGTextChunkByteSource final : public PNGTextChunkByteSource {
 public:
  explicit MemoryPNGTextChunkByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  explicit MemoryPNGTextChunkByteSource(std::string_view bytes)
      : bytes_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) {}

  std::uint64_t remainingByteCount() override;
  std::size_t read(std::span<std::uint8_t> into) override;
  void skip(std::uint64_t count) override;

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
};

// A source over a file opened for reading. The file is opened non-blocking and must be a regular
// file, so a FIFO or device named like a PNG can never stall the caller. Reads use positioned
// I/O, so skipping a chunk costs no system call. The descriptor closes with the source (close
// errors are moot: the file was only read).
class FileHandlePNGTextChunkByteSource final : public PNGTextChunkByteSource {
 public:
  // Throws platform::FileError when the file cannot be opened or examined, or is not a regular
  // file; nothing stays open then.
  explicit FileHandlePNGTextChunkByteSource(const std::string& path);

  // The file's length when it was opened.
  std::uint64_t size() const { return size_; }

  std::uint64_t remainingByteCount() override;
  // Throws platform::FileError on an I/O error.
  std::size_t read(std::span<std::uint8_t> into) override;
  void skip(std::uint64_t count) override;

 private:
  platform::RegularFile file_;
  std::uint64_t size_ = 0;
  std::uint64_t offset_ = 0;
};

// Result of inflating one compressed text.
struct PNGTextInflateResult {
  enum class Status {
    inflated,       // `bytes` holds the output (possibly empty)
    failed,         // not a zlib stream, or corrupt
    exceedsBudget,  // output that would not fit the caller's budget or the ladder's last rung
  };
  Status status = Status::failed;
  std::string bytes;
  // Bytes the decoder may have written over every attempt of the ladder (what was kept or
  // filled, or the whole buffer of an attempt that failed): the work this stream cost.
  std::uint64_t attemptedBytes = 0;
};

class PNGTextChunkReader {
 public:
  // Limits of one file's decoded text. Chunks beyond them are passed over (not read) and the
  // result's readWarning says how many; a few hundred zlib bombs in one small file could otherwise
  // inflate to gigabytes.
  static constexpr std::uint64_t kMaximumDecodedTextBytes = 64ull * 1024 * 1024;
  static constexpr std::size_t kMaximumTextChunkCount = 10'000;
  // The inflate capacity ladder: it starts at 64 KiB (or 4x the input) and doubles while the
  // output does not fit, up to 64 MiB.
  static constexpr std::size_t kInitialInflateCapacity = 65'536;
  static constexpr std::size_t kSmallCompressedInput = 16'384;
  static constexpr std::size_t kMaximumInflateCapacity = 67'108'864;

  // Inflation work of one file, in multiples of the decoded-text limit: streams that are rejected
  // for size still cost their output, so without this bound every zlib bomb of a small file would
  // be inflated up to the remaining budget. Compressed texts beyond it are skipped like those over
  // budget.
  static constexpr std::uint64_t kInflateWorkPerDecodedTextByte = 4;

  // The limits this reader applies (tests lower them).
  std::uint64_t maximumDecodedTextBytes = kMaximumDecodedTextBytes;
  std::size_t maximumTextChunkCount = kMaximumTextChunkCount;

  static const std::array<std::uint8_t, 8>& pngSignature();

  // Reads every text chunk up to IEND (or until fewer than 12 bytes remain). Does not close the
  // source. An invalidChunk failure names the chunk it broke in.
  PNGTextMetadata read(PNGTextChunkByteSource& source) const;

  // Convenience for callers with a path: opens, reads and closes the file. Throws what the file
  // source's constructor and read() throw.
  PNGTextMetadata readFile(const std::string& path) const;

  static std::uint32_t readUInt32BigEndian(std::span<const std::uint8_t> bytes, std::size_t offset);

  // Decoders of the chunk data; nothing means the chunk is ignored. Keywords are converted from
  // Latin-1 to UTF-8; values from Latin-1 (tEXt, zTXt) or checked as UTF-8 (iTXt: invalid text
  // gives an empty value). `budget` caps the inflated size of compressed texts; a text that would
  // exceed it gives nothing and sets *exceededBudget. *inflateWork grows by the inflation's
  // attemptedBytes.
  using KeywordAndValue = std::pair<std::string, std::string>;
  static std::optional<KeywordAndValue> decodeTEXt(std::span<const std::uint8_t> data);
  static std::optional<KeywordAndValue> decodeZTXt(std::span<const std::uint8_t> data,
                                                   std::uint64_t budget = kMaximumInflateCapacity,
                                                   bool* exceededBudget = nullptr,
                                                   std::uint64_t* inflateWork = nullptr);
  static std::optional<KeywordAndValue> decodeITXt(std::span<const std::uint8_t> data,
                                                   std::uint64_t budget = kMaximumInflateCapacity,
                                                   bool* exceededBudget = nullptr,
                                                   std::uint64_t* inflateWork = nullptr);

  // Inflates a zlib stream. An empty input, or a complete stream of no output, is an empty
  // output. A corrupt stream fails at once; only output that does not fit climbs the ladder.
  // Output larger than `budget` gives exceedsBudget.
  static PNGTextInflateResult inflate(std::span<const std::uint8_t> compressed,
                                      std::uint64_t budget = kMaximumInflateCapacity);
  static std::optional<std::string> inflate(std::string_view compressed);

 private:
  // read(), keeping the type of each chunk in `chunkType` as its header is read.
  PNGTextMetadata readChunks(PNGTextChunkByteSource& source, std::array<std::uint8_t, 4>& chunkType) const;
};

// Latin-1 (every byte one code point) to UTF-8.
std::string latin1ToUTF8(std::span<const std::uint8_t> bytes);

}  // namespace lorvex
