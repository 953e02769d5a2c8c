// Raw metadata payloads: which texts are stored, their content-addressed blobs, compression above
// 4096 bytes and its round trip, and the payload rows of a projected image.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "database/internal/metadata_payload_blob.h"
#include "database/sqlite_image_repository.h"
#include "database/support/projection_fixtures.h"
#include "database/support/repository_connection.h"
#include "platform/sha256.h"

namespace lorvex {
namespace {

using ::testing::ElementsAre;

// Text that DEFLATE shrinks well.
std::string compressibleText(std::size_t bytes) {
  std::string text;
  while (text.size() < bytes) text += R"({"class_type": "KSampler", "inputs": {"seed": 1, "steps": 28}}, )";
  text.resize(bytes);
  return text;
}

// Bytes that DEFLATE cannot shrink.
std::string randomBytes(std::size_t bytes, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(bytes, '\0');
  for (auto& byte : text) byte = static_cast<char>(random() & 0xff);
  return text;
}

TEST(PayloadBlobProjection, StoresShortAndIncompressibleTextsRawAndCompressesTheRest) {
  const std::string multibyte = [] {
    std::string text;
    while (text.size() < 4095) text += "\xE7\x8C\xAB";  // "猫": 1365 characters fill 4095 bytes
    return text;
  }();
  struct Case {
    const char* name;
    std::string text;
    bool compressed;
  };
  const std::vector<Case> cases = {
      {"empty", "", false},
      {"exactly 4096 bytes", compressibleText(4096), false},
      {"4097 compressible bytes", compressibleText(4097), true},
      {"multibyte text measured in bytes, not characters", multibyte + "ab", true},
      {"incompressible bytes", randomBytes(20000, 7), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RawPayloadBlobProjection blob = blobProjection(c.text);
    EXPECT_EQ(blob.byteLength, static_cast<std::int64_t>(c.text.size()));
    if (!c.compressed) {
      EXPECT_EQ(blob.rawText, SQLiteV3Binding(c.text));
      EXPECT_EQ(blob.compressedBlob, SQLiteV3Binding::null());
      EXPECT_EQ(blob.compression, SQLiteV3Binding::null());
      continue;
    }
    EXPECT_EQ(blob.rawText, SQLiteV3Binding::null());
    EXPECT_EQ(blob.compression, SQLiteV3Binding("zlib"));
    const auto* bytes = std::get_if<SQLiteV3Binding::Blob>(&blob.compressedBlob.value());
    ASSERT_NE(bytes, nullptr);
    EXPECT_LT(bytes->bytes.size(), c.text.size());
    EXPECT_EQ(inflatePayloadBlob(bytes->bytes, blob.byteLength), c.text);
  }
}

TEST(PayloadBlobProjection, CompressionNeverOutgrowsTheInputAndDamagedDataDoesNotInflate) {
  const std::string noise = randomBytes(5000, 3);
  EXPECT_EQ(compressPayloadBytes(noise), std::nullopt);
  const std::string text = compressibleText(10000);
  const auto compressed = compressPayloadBytes(text);
  ASSERT_TRUE(compressed);
  EXPECT_LE(compressed->size(), text.size());
  // Raw DEFLATE: no zlib header (0x78 ..) in front.
  EXPECT_NE((*compressed)[0], 0x78);
  EXPECT_EQ(inflatePayloadBlob(*compressed, 9999), std::nullopt);
  EXPECT_EQ(inflatePayloadBlob(*compressed, 10001), std::nullopt);
  std::vector<std::uint8_t> truncated(compressed->begin(), compressed->begin() + compressed->size() / 2);
  EXPECT_EQ(inflatePayloadBlob(truncated, 10000), std::nullopt);
}

TEST(RawPayloadSelection, ParserPayloadsWinAndTextChunksAreTheFallback) {
  GenerationMetadata metadata;
  metadata.rawTextChunks = {{"parameters", "p"}, {"Comment", "old"}, {"", "nameless"}};
  metadata.rawCommentJSON = R"({"prompt": "cat"})";
  EXPECT_THAT(
      rawPayloads(metadata),
      ElementsAre(RawMetadataPayload{"png_text", "Comment", 0, R"({"prompt": "cat"})", "observed", {}},
                  RawMetadataPayload{"png_text", "parameters", 0, "p", "observed", {}}));

  metadata.rawCommentJSON = "";
  EXPECT_EQ(rawPayloads(metadata).front().text, "old");

  // Parser payloads are taken as given; those without container or key are dropped, and when none
  // is left nothing is stored: the text chunks are not a fallback then.
  metadata.rawPayloads = {{"png_text", "", 0, "x", "parsed", {}}, {"", "prompt", 0, "y", "parsed", {}}};
  EXPECT_TRUE(rawPayloads(metadata).empty());
  metadata.rawPayloads.push_back({"comfyui", "workflow", 1, "{}", "parsed", std::string("late")});
  EXPECT_THAT(rawPayloads(metadata),
              ElementsAre(RawMetadataPayload{"comfyui", "workflow", 1, "{}", "parsed", std::string("late")}));
}

class PayloadStorageTest : public testing::ProjectionTest {};

TEST_F(PayloadStorageTest, ImagesShareBlobsByDigestAndRowsFollowContainerKeyOrder) {
  const std::string workflow = compressibleText(50000);
  auto first = testing::projectionRecord("/lib/a.png");
  first.metadata.rawTextChunks = {{"parameters", "steps: 28"}, {"workflow", workflow}};
  first.metadata.rawCommentJSON = R"({"uc": "blurry"})";
  auto second = testing::projectionRecord("/lib/b.png");
  second.metadata.rawPayloads = {{"png_text", "workflow", 0, workflow, "parsed", {}},
                                 {"comfyui", "prompt", 2, "{}", "partial", std::string("no sampler")},
                                 {"comfyui", "prompt", 1, "{}", "parsed", {}}};
  repository.upsertRecord(first, std::nullopt);
  repository.upsertRecord(second, std::nullopt);

  EXPECT_THAT(testing::textRows(
                  repository,
                  "SELECT f.absolute_path, p.container, p.payload_key, p.occurrence_index, p.encoding, "
                  "p.parse_status, p.parse_warning, p.provider_id IS NOT NULL, p.format_id IS NOT NULL "
                  "FROM metadata_payloads p JOIN media_files f ON f.id = p.media_file_id ORDER BY p.id"),
              ElementsAre("/lib/a.png|png_text|Comment|0|utf-8|observed|NULL|1|1",
                          "/lib/a.png|png_text|parameters|0|utf-8|observed|NULL|1|1",
                          "/lib/a.png|png_text|workflow|0|utf-8|observed|NULL|1|1",
                          "/lib/b.png|comfyui|prompt|1|utf-8|parsed|NULL|1|1",
                          "/lib/b.png|comfyui|prompt|2|utf-8|partial|no sampler|1|1",
                          "/lib/b.png|png_text|workflow|0|utf-8|parsed|NULL|1|1"));

  // Four distinct texts: the workflow is stored once, compressed, under the digest of its bytes.
  EXPECT_EQ(testing::textRow(repository, "SELECT count(*) FROM metadata_payload_blobs"), "4");
  EXPECT_EQ(testing::textRow(repository,
                             "SELECT count(DISTINCT blob_sha256) FROM metadata_payloads "
                             "WHERE payload_key = 'workflow'"),
            "1");
  const std::string digest = platform::sha256Hex(workflow);
  EXPECT_EQ(testing::textRow(repository,
                             "SELECT raw_text, compression, byte_length FROM metadata_payload_blobs "
                             "WHERE sha256 = '" +
                                 digest + "'"),
            "NULL|zlib|50000");
  auto guard = lorvex::testing::connectionOf(repository).lock();
  const auto stored =
      lorvex::testing::connectionOf(repository)
          .query("SELECT compressed_blob, byte_length FROM metadata_payload_blobs WHERE sha256 = ?", {digest},
                 [](SQLiteRows& rows) {
                   rows.next();
                   return inflatePayloadBlob(rows.blob(0), rows.int64(1));
                 });
  EXPECT_EQ(stored, workflow);
  EXPECT_EQ(testing::textRow(repository, "SELECT raw_text FROM metadata_payload_blobs WHERE sha256 = '" +
                                             platform::sha256Hex("steps: 28") + "'"),
            "steps: 28");
}

TEST_F(PayloadStorageTest, ReprojectionReplacesTheImagesRowsAndNeverTouchesBlobs) {
  auto record = testing::projectionRecord("/lib/a.png");
  record.metadata.rawTextChunks = {{"parameters", "one"}, {"Comment", "{}"}};
  repository.upsertRecord(record, std::nullopt);
  const auto blobsBefore =
      testing::textRows(repository, "SELECT sha256, created_at FROM metadata_payload_blobs");

  record.metadata.rawTextChunks = {{"parameters", "one"}};
  repository.upsertRecord(record, std::nullopt);
  EXPECT_THAT(testing::textRows(repository, "SELECT payload_key FROM metadata_payloads"),
              ElementsAre("parameters"));
  // The blob of the dropped "{}" payload stays; the shared one keeps its creation time.
  EXPECT_EQ(testing::textRows(repository, "SELECT sha256, created_at FROM metadata_payload_blobs"),
            blobsBefore);

  record.metadata.rawTextChunks.clear();
  record.metadata.provider.reset();
  repository.upsertRecord(record, std::nullopt);
  EXPECT_EQ(testing::textRow(repository, "SELECT count(*) FROM metadata_payloads"), "0");
}

TEST_F(PayloadStorageTest, ProvidersAndFormatsTakeTheLatestNames) {
  auto record = testing::projectionRecord("/lib/a.png");
  repository.upsertRecord(record, std::nullopt);
  record.file.path = "/lib/b.png";
  record.metadata.provider->displayName = "NovelAI Diffusion";
  record.metadata.format->displayName = "PNG text";
  repository.upsertRecord(record, std::nullopt);
  EXPECT_THAT(testing::textRows(repository, "SELECT id, code, display_name FROM metadata_providers"),
              ElementsAre("1|novelai|NovelAI Diffusion"));
  EXPECT_THAT(testing::textRows(repository, "SELECT provider_id, code, display_name FROM metadata_formats"),
              ElementsAre("1|novelai_png_text|PNG text"));
}

}  // namespace
}  // namespace lorvex
