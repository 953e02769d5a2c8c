#include "metadata/png_text_chunk_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/png_builder.h"

namespace lorvex {
namespace {

using testing::PNGBuilder;
using Code = PNGTextChunkReaderError::Code;

PNGTextMetadata readBytes(const std::string& bytes, const PNGTextChunkReader& reader = {}) {
  MemoryPNGTextChunkByteSource source(bytes);
  return reader.read(source);
}

std::optional<Code> errorOf(const std::string& bytes) {
  try {
    readBytes(bytes);
    return std::nullopt;
  } catch (const PNGTextChunkReaderError& error) {
    return error.code();
  }
}

std::string signature() {
  return std::string("\x89PNG\r\n\x1a\n", 8);
}

TEST(PNGTextChunkReader, SignatureOnlyGivesEmptyMetadata) {
  EXPECT_EQ(readBytes(signature()), PNGTextMetadata{});
}

TEST(PNGTextChunkReader, RejectsWhatIsNotASignature) {
  std::string wrongFirstByte = signature();
  wrongFirstByte[0] = '\x88';
  for (const std::string& bytes :
       {std::string(), signature().substr(0, 7), wrongFirstByte, std::string("GIF89a\0\0\0\0\0\0\0\0", 14)}) {
    EXPECT_EQ(errorOf(bytes), Code::invalidSignature) << bytes.size();
  }
}

TEST(PNGTextChunkReader, ErrorsDescribeThemselvesByCaseName) {
  EXPECT_EQ(PNGTextChunkReaderError(Code::invalidSignature).localizedDescription(), "invalidSignature");
  EXPECT_STREQ(PNGTextChunkReaderError(Code::invalidChunk).what(), "invalidChunk");
}

TEST(PNGTextChunkReader, ReadsTextChunksInFileOrderAndLiftsWellKnownKeywords) {
  const std::string bytes = PNGBuilder()
                                .ihdr()
                                .tEXt("Title", "t")
                                .tEXt("Description", "d")
                                .zTXt("Software", "NovelAI")
                                .iTXt("Source", "s\xC3\xA9", 1, 0, "en", "Quelle")
                                .tEXt("Generation time", "12.5")
                                .tEXt("Comment", "{}")
                                .chunk("IDAT", "xx")
                                .iend()
                                .bytes();
  const PNGTextMetadata metadata = readBytes(bytes);
  EXPECT_EQ(metadata.title, "t");
  EXPECT_EQ(metadata.description, "d");
  EXPECT_EQ(metadata.software, "NovelAI");
  EXPECT_EQ(metadata.source, "s\xC3\xA9");
  EXPECT_EQ(metadata.generationTime, 12.5);
  EXPECT_EQ(metadata.commentJSON, "{}");
  ASSERT_EQ(metadata.textChunkEntries.size(), 6u);
  EXPECT_EQ(metadata.textChunkEntries[2], (PNGTextChunkEntry{"Software", "NovelAI", 0, "zTXt"}));
  EXPECT_EQ(metadata.textChunkEntries[3].chunkType, "iTXt");
  EXPECT_EQ(metadata.textChunks.size(), 6u);
  EXPECT_FALSE(metadata.readWarning);
}

TEST(PNGTextChunkReader, GenerationTimeMustBeOneWholeNumber) {
  const std::vector<std::pair<std::string, std::optional<double>>> cases = {
      {"12.5", 12.5},     {"-3e2", -300.0},        {" 12.5", std::nullopt}, {"12.5s", std::nullopt},
      {"", std::nullopt}, {"12.5 ", std::nullopt}, {"\t1", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    const PNGTextMetadata metadata = readBytes(PNGBuilder().tEXt("Generation time", text).bytes());
    EXPECT_EQ(metadata.generationTime, expected) << "'" << text << "'";
  }
}

TEST(PNGTextChunkReader, CountsOccurrencesPerKeywordAndTheLastChunkWins) {
  const std::string bytes = PNGBuilder()
                                .tEXt("Comment", "first")
                                .chunk("tEXt", "parameters")  // no NUL: ignored, not counted
                                .tEXt("parameters", "p")
                                .tEXt("Comment", "second")
                                .bytes();
  const PNGTextMetadata metadata = readBytes(bytes);
  ASSERT_EQ(metadata.textChunkEntries.size(), 3u);
  EXPECT_EQ(metadata.textChunkEntries[0], (PNGTextChunkEntry{"Comment", "first", 0, "tEXt"}));
  EXPECT_EQ(metadata.textChunkEntries[1], (PNGTextChunkEntry{"parameters", "p", 0, "tEXt"}));
  EXPECT_EQ(metadata.textChunkEntries[2], (PNGTextChunkEntry{"Comment", "second", 1, "tEXt"}));
  EXPECT_EQ(metadata.commentJSON, "second");
  EXPECT_EQ(metadata.textChunks.at("Comment"), "second");
}

TEST(PNGTextChunkReader, ChunkTypesAreCaseSensitive) {
  const PNGTextMetadata metadata = readBytes(
      PNGBuilder().chunk("TEXT", std::string("a\0b", 3)).chunk("text", std::string("c\0d", 3)).bytes());
  EXPECT_TRUE(metadata.textChunkEntries.empty());
}

TEST(PNGTextChunkReader, StopsAtIENDAndAtFewerThanTwelveBytes) {
  // After IEND even a chunk that runs past the end of the file is never looked at.
  const std::string afterEnd =
      PNGBuilder().tEXt("a", "1").iend().tEXt("b", "2").chunk("tEXt", "x", 1000).bytes();
  const PNGTextMetadata ended = readBytes(afterEnd);
  ASSERT_EQ(ended.textChunkEntries.size(), 1u);
  EXPECT_EQ(ended.textChunkEntries[0].keyword, "a");

  // 11 stray bytes after the last complete chunk end the read normally, without IEND.
  const std::string trailing = PNGBuilder().tEXt("a", "1").raw(std::string(11, '\xFF')).bytes();
  EXPECT_EQ(readBytes(trailing).textChunkEntries.size(), 1u);
  // 12 bytes are a chunk header: here one that claims more data than there is.
  const std::string twelve = PNGBuilder().tEXt("a", "1").raw(std::string(12, '\x7F')).bytes();
  EXPECT_EQ(errorOf(twelve), Code::invalidChunk);
}

TEST(PNGTextChunkReader, TruncationFailsWithInvalidChunkOrEndsNormally) {
  PNGBuilder builder;
  builder.ihdr();
  const std::size_t textStart = builder.size();
  builder.tEXt("Comment", "some text here");
  const std::size_t idatStart = builder.size();
  builder.chunk("IDAT", std::string(40, 'x'));
  const std::size_t endStart = builder.size();
  builder.iend();
  const std::string whole = builder.bytes();

  struct Case {
    std::size_t length;
    std::optional<Code> error;
    std::size_t entries;
  };
  const std::vector<Case> cases = {
      {textStart + 4, std::nullopt, 0},         // fewer than 12 bytes left: normal end
      {textStart + 12, Code::invalidChunk, 0},  // header read, data cut
      {idatStart - 2, Code::invalidChunk, 0},   // CRC cut short
      {idatStart + 11, std::nullopt, 1},        // normal end before IDAT
      {idatStart + 20, Code::invalidChunk, 1},  // image data runs past the end
      {endStart, std::nullopt, 1},              // no IEND at all
      {whole.size(), std::nullopt, 1},
  };
  for (const Case& c : cases) {
    const std::string bytes = whole.substr(0, c.length);
    EXPECT_EQ(errorOf(bytes), c.error) << c.length;
    if (!c.error) {
      EXPECT_EQ(readBytes(bytes).textChunkEntries.size(), c.entries) << c.length;
    }
  }
  // Every prefix either reads or fails with the reader's own error.
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    EXPECT_NO_THROW(errorOf(whole.substr(0, length))) << length;
  }
}

TEST(PNGTextChunkReader, DeclaredLengthBeyondTheFileFailsBeforeAllocating) {
  const std::string bytes = PNGBuilder().chunk("tEXt", "a", 0xFFFFFFFFu).raw(std::string(64, '\0')).bytes();
  EXPECT_EQ(errorOf(bytes), Code::invalidChunk);
}

TEST(PNGTextChunkReader, DecodesTheThreeChunkKinds) {
  const std::string deflated = testing::zlibCompressed("compressed \xE9");
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<PNGTextChunkEntry> entry;
  };
  const std::vector<Case> cases = {
      {"tEXt Latin-1", PNGBuilder().tEXt("K\xE4y", "caf\xE9").bytes(),
       PNGTextChunkEntry{"K\xC3\xA4y", "caf\xC3\xA9", 0, "tEXt"}},
      {"tEXt empty keyword and value", PNGBuilder().tEXt("", "").bytes(),
       PNGTextChunkEntry{"", "", 0, "tEXt"}},
      {"zTXt", PNGBuilder().zTXtRaw("k", 0, deflated).bytes(),
       PNGTextChunkEntry{"k", "compressed \xC3\xA9", 0, "zTXt"}},
      {"zTXt method 1", PNGBuilder().zTXtRaw("k", 1, deflated).bytes(), std::nullopt},
      {"zTXt without method byte", PNGBuilder().chunk("zTXt", std::string("k\0", 2)).bytes(), std::nullopt},
      {"zTXt empty compressed part", PNGBuilder().zTXtRaw("k", 0, "").bytes(),
       PNGTextChunkEntry{"k", "", 0, "zTXt"}},
      {"zTXt corrupt stream", PNGBuilder().zTXtRaw("k", 0, "\x78\x9c\xFF\xFF\xFF").bytes(), std::nullopt},
      {"zTXt stream of nothing", PNGBuilder().zTXtRaw("k", 0, testing::zlibCompressed("")).bytes(),
       PNGTextChunkEntry{"k", "", 0, "zTXt"}},
      {"iTXt uncompressed", PNGBuilder().iTXt("k", "\xE2\x9C\x93", 0, 0, "ja", "\xE9").bytes(),
       PNGTextChunkEntry{"k", "\xE2\x9C\x93", 0, "iTXt"}},
      {"iTXt flag 0 method 5", PNGBuilder().iTXt("k", "plain", 0, 5).bytes(),
       PNGTextChunkEntry{"k", "plain", 0, "iTXt"}},
      {"iTXt flag 2", PNGBuilder().iTXt("k", "plain", 2, 0).bytes(),
       PNGTextChunkEntry{"k", "plain", 0, "iTXt"}},
      {"iTXt compressed", PNGBuilder().iTXt("k", "z\xC3\xA9", 1, 0).bytes(),
       PNGTextChunkEntry{"k", "z\xC3\xA9", 0, "iTXt"}},
      {"iTXt compressed empty", PNGBuilder().iTXt("k", "", 1, 0, "", "", true).bytes(),
       PNGTextChunkEntry{"k", "", 0, "iTXt"}},
      {"iTXt flag 1 method 1", PNGBuilder().iTXt("k", "z", 1, 1).bytes(), std::nullopt},
      {"iTXt corrupt stream", PNGBuilder().iTXt("k", "\x78\x9c\xFF", 1, 0, "", "", true).bytes(),
       std::nullopt},
      {"iTXt invalid UTF-8", PNGBuilder().iTXt("k", "\xFF\xFE").bytes(),
       PNGTextChunkEntry{"k", "", 0, "iTXt"}},
      {"iTXt no language terminator", PNGBuilder().chunk("iTXt", std::string("k\0\0\0en", 6)).bytes(),
       std::nullopt},
      {"iTXt no translated keyword terminator",
       PNGBuilder().chunk("iTXt", std::string("k\0\0\0en\0tr", 9)).bytes(), std::nullopt},
      {"iTXt cut before the method byte", PNGBuilder().chunk("iTXt", std::string("k\0\0", 3)).bytes(),
       std::nullopt},
  };
  for (const Case& c : cases) {
    const PNGTextMetadata metadata = readBytes(c.bytes);
    if (c.entry) {
      ASSERT_EQ(metadata.textChunkEntries.size(), 1u) << c.name;
      EXPECT_EQ(metadata.textChunkEntries[0], *c.entry) << c.name;
    } else {
      EXPECT_TRUE(metadata.textChunkEntries.empty()) << c.name;
      EXPECT_TRUE(metadata.textChunks.empty()) << c.name;
    }
  }
}

TEST(PNGTextChunkReader, InflateClimbsTheLadderOnlyWhenTheOutputDoesNotFit) {
  using Status = PNGTextInflateResult::Status;
  const auto inflate = [](const std::string& compressed, std::uint64_t budget = 67'108'864) {
    return PNGTextChunkReader::inflate(
        std::span(reinterpret_cast<const std::uint8_t*>(compressed.data()), compressed.size()), budget);
  };
  for (const std::size_t size : {std::size_t{1}, std::size_t{65'535}, std::size_t{65'536},
                                 std::size_t{65'537}, std::size_t{3'000'000}}) {
    const std::string text(size, 'a');
    const PNGTextInflateResult result = inflate(testing::zlibCompressed(text));
    EXPECT_EQ(result.status, Status::inflated) << size;
    EXPECT_EQ(result.bytes, text) << size;
  }
  EXPECT_EQ(inflate("").status, Status::inflated);
  EXPECT_EQ(inflate(testing::zlibCompressed("")).bytes, "");
  EXPECT_EQ(inflate("not zlib at all").status, Status::failed);
  // A stream cut short is corrupt, whatever the capacity.
  const std::string stream = testing::zlibCompressed(std::string(200'000, 'b'));
  EXPECT_EQ(inflate(stream.substr(0, stream.size() / 2)).status, Status::failed);
  // Stored blocks inflate exactly too, and trailing bytes after a complete stream are ignored.
  EXPECT_EQ(inflate(testing::zlibStored("stored") + "junk").bytes, "stored");

  EXPECT_EQ(inflate(testing::zlibCompressed(std::string(5000, 'c')), 4999).status, Status::exceedsBudget);
  EXPECT_EQ(inflate(testing::zlibCompressed(std::string(5000, 'c')), 5000).bytes.size(), 5000u);
}

TEST(PNGTextChunkReader, InflateGivesUpBeyondSixtyFourMebibytes) {
  const std::string bomb = testing::zlibCompressed(std::string(67'108'864 + 1, '\0'), 12);
  EXPECT_EQ(PNGTextChunkReader::inflate(bomb), std::nullopt);
  // The ladder's last rung is at least 32 MiB + 1, whatever the input size it started from.
  const std::string large = testing::zlibCompressed(std::string(33'554'432, '\0'), 12);
  EXPECT_EQ(PNGTextChunkReader::inflate(large).value_or("").size(), 33'554'432u);
}

TEST(PNGTextChunkReader, SkipsTextChunksBeyondTheChunkCountLimitAndSaysSo) {
  PNGTextChunkReader reader;
  reader.maximumTextChunkCount = 3;
  PNGBuilder builder;
  for (int i = 0; i < 5; ++i) builder.tEXt("k", std::to_string(i));
  const PNGTextMetadata metadata = readBytes(builder.bytes(), reader);
  ASSERT_EQ(metadata.textChunkEntries.size(), 3u);
  EXPECT_EQ(metadata.textChunks.at("k"), "2");
  EXPECT_EQ(
      metadata.readWarning,
      "Skipped 2 text chunks beyond the per-file limit of 3 text chunks and 67108864 bytes of decoded text.");
}

TEST(PNGTextChunkReader, SkipsTextBeyondTheDecodedByteBudget) {
  PNGTextChunkReader reader;
  reader.maximumDecodedTextBytes = 10'000;
  const std::string bytes = PNGBuilder()
                                .zTXt("a", std::string(6'000, 'a'))  // fits
                                .zTXt("b", std::string(6'000, 'b'))  // would pass the budget
                                .tEXt("c", std::string(5'000, 'c'))  // larger than what is left
                                .tEXt("d", "small")
                                .bytes();
  const PNGTextMetadata metadata = readBytes(bytes, reader);
  ASSERT_EQ(metadata.textChunkEntries.size(), 2u);
  EXPECT_EQ(metadata.textChunkEntries[0].keyword, "a");
  EXPECT_EQ(metadata.textChunkEntries[1].keyword, "d");
  ASSERT_TRUE(metadata.readWarning);
  EXPECT_TRUE(metadata.readWarning->starts_with("Skipped 2 text chunks")) << *metadata.readWarning;
}

TEST(PNGTextChunkReader, SaysSoWhenACompressedTextIsTooLargeForTheInflationLadder) {
  // A compressed part over 16 MiB could only inflate past the ladder's last rung: it is skipped
  // for its size, not taken for a corrupt stream, and the warning says so.
  const std::string stored = testing::zlibStored(std::string(17 * 1024 * 1024, 'x'));
  for (const bool international : {false, true}) {
    PNGBuilder builder;
    if (international) {
      builder.iTXt("big", stored, 1, 0, "", "", /*textIsRaw=*/true);
    } else {
      builder.zTXtRaw("big", 0, stored);
    }
    builder.zTXtRaw("corrupt", 0, "\x78\x9c\xff\xff").tEXt("small", "kept");
    const PNGTextMetadata metadata = readBytes(builder.bytes(), PNGTextChunkReader());
    ASSERT_EQ(metadata.textChunkEntries.size(), 1u) << international;
    EXPECT_EQ(metadata.textChunkEntries[0].keyword, "small");
    ASSERT_TRUE(metadata.readWarning) << international;
    EXPECT_TRUE(metadata.readWarning->starts_with("Skipped 1 text chunk beyond")) << *metadata.readWarning;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(stored.data());
  EXPECT_EQ(PNGTextChunkReader::inflate(std::span(bytes, stored.size())).status,
            PNGTextInflateResult::Status::exceedsBudget);
}

TEST(PNGTextChunkReader, StopsInflatingOnceTheFileHasSpentItsInflationWork) {
  // Every bomb is rejected for size, yet each one costs the decoder up to the whole remaining
  // budget: a small file of many would inflate gigabytes. After the work bound only compressed
  // text is skipped; plain text is still read.
  PNGTextChunkReader reader;
  reader.maximumDecodedTextBytes = 1'000;
  const std::string bomb = testing::zlibCompressed(std::string(100'000, 'z'), 12);
  PNGBuilder builder;
  for (int i = 0; i < 6; ++i) builder.zTXtRaw("bomb", 0, bomb);
  builder.zTXt("late", "x").iTXt("later", "y", 1).tEXt("plain", "z");
  const PNGTextMetadata metadata = readBytes(builder.bytes(), reader);
  ASSERT_EQ(metadata.textChunkEntries.size(), 1u);
  EXPECT_EQ(metadata.textChunkEntries[0].keyword, "plain");
  ASSERT_TRUE(metadata.readWarning);
  EXPECT_TRUE(metadata.readWarning->starts_with("Skipped 8 text chunks")) << *metadata.readWarning;
}

TEST(PNGTextChunkReader, InflationReportsItsWork) {
  using Status = PNGTextInflateResult::Status;
  const auto bytesOf = [](const std::string& text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  const struct {
    const char* name;
    std::string compressed;
    std::uint64_t budget;
    Status status;
    std::uint64_t attemptedBytes;
  } cases[] = {
      {"kept output", testing::zlibCompressed("hello"), 67'108'864, Status::inflated, 5},
      {"over budget", testing::zlibCompressed(std::string(5'000, 'c')), 4'999, Status::exceedsBudget, 4'999},
      {"up the ladder", testing::zlibCompressed(std::string(70'000, 'd')), 67'108'864, Status::inflated,
       65'536 + 70'000},
      {"corrupt", "\x78\x9c\xff\xff\xff\xff", 1'000, Status::failed, 1'000},
  };
  for (const auto& c : cases) {
    const PNGTextInflateResult result = PNGTextChunkReader::inflate(bytesOf(c.compressed), c.budget);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.attemptedBytes, c.attemptedBytes) << c.name;
  }
}

TEST(PNGTextChunkReader, ReadsUInt32BigEndian) {
  const std::vector<std::uint8_t> bytes{0x00, 0x12, 0x34, 0x56, 0x78, 0xFF};
  EXPECT_EQ(PNGTextChunkReader::readUInt32BigEndian(bytes, 1), 0x12345678u);
  EXPECT_EQ(PNGTextChunkReader::readUInt32BigEndian(bytes, 2), 0x345678FFu);
}

}  // namespace
}  // namespace lorvex
