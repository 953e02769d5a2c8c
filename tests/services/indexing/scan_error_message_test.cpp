#include "services/indexing/scan_error_message.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "metadata/png_text_chunk_reader.h"
#include "platform/regular_file.h"
#include "services/thumbnails/image_thumbnail_generator.h"

namespace lorvex {
namespace {

using Kind = ImageLibraryScanFailure::Kind;

std::exception_ptr fileError(int errorNumber) {
  try {
    platform::throwFileError("Unable to open file", errorNumber);
  } catch (...) {
    return std::current_exception();
  }
}

// The failures a scan meets on Linux, from the system's errno texts, must land in the kind the
// failure list groups them by.
TEST(ScanErrorMessageTest, SystemErrorsAreClassifiedByTheirText) {
  struct Case {
    int errorNumber;
    std::string message;
    Kind kind;
  };
  const Case cases[] = {
      {ENOENT, "Unable to open file: No such file or directory (ENOENT)", Kind::missing},
      {EACCES, "Unable to open file: Permission denied (EACCES)", Kind::permission},
      {EPERM, "Unable to open file: Operation not permitted (EPERM)", Kind::permission},
      {EIO, "Unable to open file: Input/output error (EIO)", Kind::general},
      {ENOTDIR, "Unable to open file: Not a directory (ENOTDIR)", Kind::general},
      {ELOOP, "Unable to open file: Too many levels of symbolic links (ELOOP)", Kind::general},
      {EFBIG, "Unable to open file: File too large (EFBIG)", Kind::general},
  };
  for (const auto& c : cases) {
    const auto failure = scanFailure("/photos/a.png", fileError(c.errorNumber));
    EXPECT_EQ(failure, (ImageLibraryScanFailure{"/photos/a.png", c.message, c.kind}));
  }
  // A PNG whose text chunk runs past its end names the chunk.
  MemoryPNGTextChunkByteSource broken(std::string_view("\x89PNG\r\n\x1a\n\0\0\0\x10tEXtabcd", 20));
  std::exception_ptr error;
  try {
    PNGTextChunkReader().read(broken);
  } catch (...) {
    error = std::current_exception();
  }
  EXPECT_EQ(scanFailure("/p/a.png", error).message, "invalidChunk (tEXt)");
}

TEST(ScanErrorMessageTest, OtherErrorsUseTheirDescription) {
  const auto notRegular =
      std::make_exception_ptr(platform::FileError(std::string(platform::kNotARegularFileMessage), 0));
  EXPECT_EQ(scanFailure("/p/fifo.png", notRegular).kind, Kind::general);

  const auto thumbnail = std::make_exception_ptr(
      ImageThumbnailGeneratorError(ImageThumbnailGeneratorError::Kind::cannotCreateThumbnail, "/p/a.png"));
  EXPECT_EQ(errorMessage(thumbnail), "Unable to create thumbnail: /p/a.png");
  EXPECT_EQ(scanFailure("/p/a.png", thumbnail).kind, Kind::metadata);  // the path names a PNG

  EXPECT_EQ(errorMessage(std::make_exception_ptr(42)), "Unknown error");
  EXPECT_EQ(errorMessage(std::exception_ptr()), "Unknown error");
  EXPECT_EQ(scanFailure("/p/a.png", std::make_exception_ptr(42)).kind, Kind::general);
}

}  // namespace
}  // namespace lorvex
