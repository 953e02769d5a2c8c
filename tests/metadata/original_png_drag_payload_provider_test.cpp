#include "metadata/original_png_drag_payload_provider.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/png_builder.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

namespace fs = std::filesystem;
using testing::PNGBuilder;

class DragPayloadTest : public ::testing::Test {
 protected:
  std::string novelAIFile(const std::string& name) const {
    const std::string path = (folder_ / name).string();
    PNGBuilder()
        .ihdr()
        .tEXt("Software", "NovelAI")
        .tEXt("Comment", R"({"prompt": "p"})")
        .iend()
        .writeTo(path);
    return path;
  }

  static ImageRecord novelAIRecord(const std::string& path) {
    ImageRecord record;
    record.file.path = path;
    record.metadata.software = "NovelAI";
    record.metadata.rawCommentJSON = R"({"prompt": "p"})";
    return record;
  }

  testing::TemporaryFolder temporary_;
  const fs::path& folder_ = temporary_.path();
  OriginalPNGDragPayloadProvider provider_;
};

TEST_F(DragPayloadTest, OffersANovelAIFileThatStillHasItsComment) {
  const std::string path = novelAIFile("IMAGE.PNG");
  EXPECT_EQ(provider_.payload(novelAIRecord(path)), ImageDragPayload{path});
  const std::string mixed = novelAIFile("x.Png");
  EXPECT_EQ(provider_.payload(novelAIRecord(mixed)), ImageDragPayload{mixed});
}

TEST_F(DragPayloadTest, RecordSideChecksComeFirst) {
  const std::string path = novelAIFile("image.png");
  ImageRecord missing = novelAIRecord(path);
  missing.isMissing = true;
  EXPECT_FALSE(provider_.payload(missing));

  for (const char* name : {"image.png.bak", "image", ".png", "image.pngx"}) {
    const std::string other = novelAIFile(name);
    EXPECT_FALSE(provider_.payload(novelAIRecord(other))) << name;
  }

  // Without a raw comment nothing is read: the file may as well not exist.
  ImageRecord noComment = novelAIRecord((folder_ / "absent.png").string());
  noComment.metadata.rawCommentJSON = "";
  EXPECT_FALSE(provider_.payload(noComment));
  noComment.metadata.rawCommentJSON.reset();
  EXPECT_FALSE(provider_.payload(noComment));

  // Stricter than isNovelAI: the provider code alone is not enough.
  ImageRecord byProvider = novelAIRecord(path);
  byProvider.metadata.software = "Other";
  byProvider.metadata.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  EXPECT_FALSE(provider_.payload(byProvider));
}

TEST_F(DragPayloadTest, SourceBeginningWithNovelAIIsEnoughWhenTheFileAgrees) {
  const std::string path = (folder_ / "s.png").string();
  PNGBuilder()
      .tEXt("Software", "Other")
      .tEXt("Source", "NovelAI Diffusion V3")
      .tEXt("Comment", "{}")
      .writeTo(path);
  ImageRecord record = novelAIRecord(path);
  record.metadata.software = "Other";
  record.metadata.source = "NovelAI Diffusion V3";
  EXPECT_EQ(provider_.payload(record), ImageDragPayload{path});
}

TEST_F(DragPayloadTest, TheFileOnDiskMustStillAgree) {
  const std::string resaved = (folder_ / "resaved.png").string();
  PNGBuilder().tEXt("Software", "NovelAI").tEXt("Title", "t").writeTo(resaved);
  EXPECT_FALSE(provider_.payload(novelAIRecord(resaved)));

  const std::string emptyComment = (folder_ / "empty.png").string();
  PNGBuilder().tEXt("Software", "NovelAI").tEXt("Comment", "").writeTo(emptyComment);
  EXPECT_FALSE(provider_.payload(novelAIRecord(emptyComment)));

  const std::string notPNG = (folder_ / "fake.png").string();
  PNGBuilder(false).raw("GIF89a but named png").writeTo(notPNG);
  EXPECT_FALSE(provider_.payload(novelAIRecord(notPNG)));

  const std::string damaged = (folder_ / "damaged.png").string();
  PNGBuilder().tEXt("Software", "NovelAI").tEXt("Comment", "{}").chunk("IDAT", "x", 5000).writeTo(damaged);
  EXPECT_FALSE(provider_.payload(novelAIRecord(damaged)));

  EXPECT_FALSE(provider_.payload(novelAIRecord((folder_ / "gone.png").string())));
}

TEST_F(DragPayloadTest, OnlyRegularFilesAreOffered) {
  const fs::path directory = folder_ / "x.png";
  fs::create_directory(directory);
  EXPECT_FALSE(provider_.payload(novelAIRecord(directory.string())));

  // A FIFO would block a blocking open for ever; the provider must return at once.
  const fs::path fifo = folder_ / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(provider_.payload(novelAIRecord(fifo.string())));
  EXPECT_FALSE(provider_.fileStillHasNovelAIComment(fifo.string()));
}

TEST_F(DragPayloadTest, UnreadableFilesAreNotOffered) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string path = novelAIFile("locked.png");
  fs::permissions(path, fs::perms::none);
  EXPECT_FALSE(provider_.payload(novelAIRecord(path)));
}

TEST(FileHandlePNGTextChunkByteSource, ReadsFilesAndReportsWhatCannotBeRead) {
  const testing::TemporaryFolder temporary;
  const fs::path& folder = temporary.path();
  const std::string path = (folder / "a.png").string();
  const PNGBuilder builder =
      PNGBuilder().ihdr().chunk("IDAT", std::string(100'000, 'x')).tEXt("k", "v").iend();
  builder.writeTo(path);

  FileHandlePNGTextChunkByteSource source(path);
  EXPECT_EQ(source.size(), builder.size());
  const PNGTextMetadata metadata = PNGTextChunkReader().read(source);
  EXPECT_EQ(metadata.textChunks.at("k"), "v");
  EXPECT_EQ(source.remainingByteCount(), 0u);
  EXPECT_THROW(source.skip(1), PNGTextChunkReaderError);

  EXPECT_THROW(FileHandlePNGTextChunkByteSource((folder / "missing.png").string()), platform::FileError);
  EXPECT_THROW(FileHandlePNGTextChunkByteSource(folder.string()), platform::FileError);
  const fs::path fifo = folder / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(FileHandlePNGTextChunkByteSource(fifo.string()), platform::FileError);
}

}  // namespace
}  // namespace lorvex
