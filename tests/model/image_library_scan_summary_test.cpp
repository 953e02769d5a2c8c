#include "model/image_library_scan_summary.h"

#include <gtest/gtest.h>

namespace lorvex {
namespace {

using Kind = ImageLibraryScanFailure::Kind;

TEST(ImageLibraryScanFailureTest, ClassifiesByOrderedWordGroupsOnLowerCasedText) {
  struct Case {
    const char* message;
    Kind expected;
  };
  const Case cases[] = {
      {"The file “a.png” couldn’t be opened because you don’t have permission to view it.", Kind::permission},
      {"Operation not permitted", Kind::permission},
      {"ACCESS DENIED while reading", Kind::permission},
      {"フォルダへのアクセス権限がありません。", Kind::permission},
      {"許可されていません", Kind::permission},
      {"The file “a.png” couldn’t be opened because there is no such file.", Kind::missing},
      {"missing metadata", Kind::missing},
      {"Path does not exist", Kind::missing},
      {"ファイルが見つかりません", Kind::missing},
      {"Not a PNG signature", Kind::metadata},
      {"InvalidChunk at offset 8", Kind::metadata},
      {"Invalid Chunk length", Kind::metadata},
      {"Could not decode", Kind::metadata},
      {"corrupt stream", Kind::metadata},
      {"メタデータを読み取れません", Kind::metadata},
      {"", Kind::general},
      {"Unknown indexing failure", Kind::general},
      {"disk full", Kind::general},
      {"invalid  chunk", Kind::general},  // two blanks match no word
  };
  for (const Case& c : cases)
    EXPECT_EQ(ImageLibraryScanFailure::classify(c.message), c.expected) << c.message;
}

TEST(ImageLibraryScanFailureTest, ClassifiedFailureKeepsPathAndMessage) {
  const ImageLibraryScanFailure failure = ImageLibraryScanFailure::classified("/lib/a.png", "No such file");
  EXPECT_EQ(failure, (ImageLibraryScanFailure{"/lib/a.png", "No such file", Kind::missing}));
}

TEST(ImageLibraryScanFailureTest, SummariesCompareFailuresInOrder) {
  const ImageLibraryScanFailure a{"/a", "x", Kind::general};
  const ImageLibraryScanFailure b{"/b", "y", Kind::general};
  EXPECT_EQ((ImageLibraryScanSummary{2, 0, 2, {a, b}}), (ImageLibraryScanSummary{2, 0, 2, {a, b}}));
  EXPECT_NE((ImageLibraryScanSummary{2, 0, 2, {a, b}}), (ImageLibraryScanSummary{2, 0, 2, {b, a}}));
}

}  // namespace
}  // namespace lorvex
