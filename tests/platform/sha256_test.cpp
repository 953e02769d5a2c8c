#include "platform/sha256.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/regular_file.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

constexpr const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(Sha256Test, PublishedDigestsAsLowercaseHex) {
  EXPECT_EQ(sha256Hex(""), kEmptyDigest);
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // Incremental updates equal one update of the whole text.
  Sha256 hasher;
  hasher.update("a");
  hasher.update("");
  hasher.update("bc");
  EXPECT_EQ(hexDigest(hasher.finish()), sha256Hex("abc"));
}

TEST(Sha256Test, FileDigestDoesNotDependOnTheBlockSize) {
  testing::TemporaryFolder folder;
  std::string oneMebibyte(1 << 20, '\0');
  for (std::size_t i = 0; i < oneMebibyte.size(); ++i) oneMebibyte[i] = static_cast<char>(i * 31 + (i >> 9));
  const std::string path = folder.writeFile("exact.png", oneMebibyte);
  const std::string expected = sha256Hex(oneMebibyte);
  for (const std::size_t blockSize : {std::size_t{1} << 20, std::size_t{1000}, std::size_t{3} << 20}) {
    EXPECT_EQ(sha256HexOfFile(path, blockSize), expected) << blockSize;
  }
  EXPECT_EQ(sha256HexOfFile(folder.writeFile("empty.png", "")), kEmptyDigest);
  // Files around the size at which a file's own size stops choosing the buffer.
  for (const std::size_t size :
       {std::size_t{5}, std::size_t{65535}, std::size_t{65536}, std::size_t{65537}, std::size_t{200000}}) {
    const std::string part = oneMebibyte.substr(0, size);
    EXPECT_EQ(sha256HexOfFile(folder.writeFile("part.png", part)), sha256Hex(part)) << size;
  }
}

TEST(Sha256Test, FilesThatCannotBeHashedFailWithTheSystemText) {
  testing::TemporaryFolder folder;
  const std::string fifo = folder / "fifo.png";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {folder / "absent.png", "Unable to open file: No such file or directory"},
      {folder.path(), std::string(kNotARegularFileMessage)},
      // A FIFO named like an image must fail at once instead of waiting for a writer.
      {fifo, std::string(kNotARegularFileMessage)},
  };
  for (const auto& c : cases) {
    try {
      sha256HexOfFile(c.path);
      ADD_FAILURE() << c.path;
    } catch (const FileError& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

}  // namespace
}  // namespace lorvex::platform
