#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "database/internal/sqlite_connection.h"
#include "database/sqlite_image_repository.h"
#include "platform/clock.h"
#include "services/image_library_startup_error.h"
#include "services/library_service_test_library.h"
#include "services/live_image_library_service.h"
#include "services/ui_testing_launch.h"
#include "support/library_file_name.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using lorvex::testing::libraryFileName;

using Arguments = std::vector<std::string>;

TEST(UITestingLaunchArguments, ParsingTable) {
  const std::string id64(64, 'a');
  const std::string id65(65, 'a');
  struct Case {
    Arguments arguments;
    std::optional<UITestingLaunchOptions> expected;
  };
  const UITestingLaunchOptions invalid{"invalid-invocation", false};
  const UITestingLaunchOptions invalidReset{"invalid-invocation", true};
  const std::vector<Case> cases{
      {{"lorvex"}, std::nullopt},
      {{"lorvex", "--ui-testing-reset"}, std::nullopt},
      {{"lorvex", "--ui-testing", "run-42"}, UITestingLaunchOptions{"run-42", false}},
      {{"lorvex", "--ui-testing-reset", "--ui-testing", "Run7"}, UITestingLaunchOptions{"Run7", true}},
      {{"lorvex", "--ui-testing", "run", "--ui-testing-reset"}, UITestingLaunchOptions{"run", true}},
      {{"lorvex", "--ui-testing", "--ui-testing-reset"}, UITestingLaunchOptions{"--ui-testing-reset", true}},
      {{"lorvex", "--ui-testing", id64}, UITestingLaunchOptions{id64, false}},
      {{"lorvex", "--ui-testing", id65}, invalid},
      {{"lorvex", "--ui-testing", "under_score"}, invalid},
      {{"lorvex", "--ui-testing", ""}, invalid},
      {{"lorvex", "--ui-testing"}, invalid},
      {{"lorvex", "--ui-testing", "../etc"}, invalid},
      {{"lorvex", "--ui-testing", "caf\u00e9"}, invalid},
      {{"lorvex", "--ui-testing", "a b", "--ui-testing-reset"}, invalidReset},
      // Only the first "--ui-testing" names the run.
      {{"lorvex", "--ui-testing", "bad/id", "--ui-testing", "good"}, invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(parseUITestingLaunchArguments(c.arguments), c.expected);
  }
}

TEST(UITestingLaunchArguments, StrictReadingRefusesWhatTheLenientOneReplaces) {
  EXPECT_EQ(validatedUITestingLaunchArguments({"--ui-testing", "a_b"}), std::nullopt);
  EXPECT_EQ(validatedUITestingLaunchArguments({"--ui-testing"}), std::nullopt);
  EXPECT_EQ(validatedUITestingLaunchArguments({"x", "--ui-testing", "ok"}),
            (UITestingLaunchOptions{"ok", false}));
}

TEST(UITestingLaunchArguments, RunIdentifiersAreCheckedOnBytes) {
  for (int byte = 0; byte < 256; ++byte) {
    const bool expected = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '-';
    EXPECT_EQ(isAllowedRunIDByte(static_cast<unsigned char>(byte)), expected) << byte;
  }
  // Length counts bytes, not characters: 32 two-byte letters are 64 bytes, but not allowed bytes.
  EXPECT_FALSE(isValidRunID(std::string(32 * 2, '\xC3')));
  EXPECT_TRUE(isValidRunID(std::string(64, '-')));
  EXPECT_FALSE(isValidRunID(std::string(65, '-')));
}

TEST(UITestingLaunchArguments, EachRunHasItsOwnSettingsSuite) {
  testing::TemporaryFolder folder;
  platform::Settings standard = makeUserDefaults(std::nullopt, folder.path());
  platform::Settings run = makeUserDefaults(std::string("run-1"), folder.path());
  EXPECT_EQ(standard.filePath(), folder.path() / "app.lorvex.Lorvex.json");
  EXPECT_EQ(run.filePath(), folder.path() / "app.lorvex.UITests.run-1.json");
  run.setString("k", "v");
  EXPECT_EQ(standard.string("k"), std::nullopt);
}

// A temporary home for the user's data and settings folders.
class CompositionTest : public ::testing::Test {
 protected:
  CompositionTest()
      : dataHome_("XDG_DATA_HOME", folder_ / "data"), configHome_("XDG_CONFIG_HOME", folder_ / "config") {}

  std::string data(const std::string& relative) const { return folder_ / ("data/" + relative); }
  platform::Settings settings() const {
    return platform::Settings("app.lorvex.Lorvex", folder_ / "config/Lorvex");
  }

  // A SQLite file with the given user_version and a table of some other program.
  static void writeDatabase(const std::string& path, std::int64_t version) {
    SQLiteConnection connection({}, {}, platform::systemClock());
    connection.open(path);
    connection.executeScript("CREATE TABLE images (id INTEGER PRIMARY KEY); PRAGMA user_version = " +
                             std::to_string(version) + ";");
    connection.close();
  }

  testing::TemporaryFolder folder_;

 private:
  testing::ScopedEnvironmentVariable dataHome_;
  testing::ScopedEnvironmentVariable configHome_;
};

// Moves forward by a second at every reading, so the first reading can be told from later ones.
class TickingClock final : public platform::Clock {
 public:
  double now() const override { return 1'700'000'000.7 + static_cast<double>(readings_++); }
  std::int64_t monotonicNanoseconds() const override { return 0; }

 private:
  mutable std::atomic<int> readings_ = 0;
};

TEST_F(CompositionTest, LibraryFolderIsPrivateAndUnderTheDataFolder) {
  const std::filesystem::path library = defaultLibraryDirectory();
  EXPECT_EQ(library, data("Lorvex"));
  struct stat info {};
  ASSERT_EQ(::stat(library.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(defaultLibraryDirectory(), library);  // an existing folder is used as it is
}

TEST_F(CompositionTest, LibraryFolderThatCannotBeCreatedIsAClearFailure) {
  std::ofstream(folder_ / "data") << "a file where the data folder should be";
  EXPECT_THROW(defaultLibraryDirectory(), platform::FileError);
}

TEST_F(CompositionTest, AResetRemovesOnlyTheRunsOwnFolderAndNeverFollowsALink) {
  const std::string outside = folder_.makeFolder("outside");
  folder_.writeFile("outside/keep.txt");
  const std::filesystem::path run = uiTestingLibraryDirectory("run-1", false);
  EXPECT_EQ(run, data("Lorvex/UITests/run-1"));
  folder_.writeFile("data/Lorvex/UITests/run-1/nested/file.txt");
  ASSERT_EQ(::symlink(outside.c_str(), (run / "link").c_str()), 0);
  const std::filesystem::path other = uiTestingLibraryDirectory("run-2", false);
  folder_.writeFile("data/Lorvex/UITests/run-2/file.txt");

  EXPECT_TRUE(std::filesystem::exists(uiTestingLibraryDirectory("run-1", false) / "nested/file.txt"));
  EXPECT_EQ(uiTestingLibraryDirectory("run-1", true), run);
  EXPECT_TRUE(std::filesystem::is_empty(run));
  EXPECT_TRUE(std::filesystem::exists(outside + "/keep.txt"));
  EXPECT_TRUE(std::filesystem::exists(other / "file.txt"));

  // The run's folder itself a link: the link goes, not what it names.
  std::filesystem::remove_all(run);
  ASSERT_EQ(::symlink(outside.c_str(), run.c_str()), 0);
  EXPECT_EQ(uiTestingLibraryDirectory("run-1", true), run);
  EXPECT_FALSE(std::filesystem::is_symlink(run));
  EXPECT_TRUE(std::filesystem::exists(outside + "/keep.txt"));
}

TEST_F(CompositionTest, AResetRefusesATestsFolderThatIsALink) {
  const std::string outside = folder_.makeFolder("outside");
  folder_.writeFile("outside/run-1/keep.txt");
  std::filesystem::create_directories(data("Lorvex"));
  ASSERT_EQ(::symlink(outside.c_str(), data("Lorvex/UITests").c_str()), 0);
  EXPECT_THROW(uiTestingLibraryDirectory("run-1", true), platform::FileError);
  EXPECT_TRUE(std::filesystem::exists(outside + "/run-1/keep.txt"));
}

TEST_F(CompositionTest, RunIdentifiersThatCouldNameAnotherFolderAreRefused) {
  for (const std::string& runID :
       {std::string(".."), std::string("a/b"), std::string(""), std::string(65, 'a')}) {
    EXPECT_THROW(uiTestingLibraryDirectory(runID, true), std::invalid_argument) << runID;
  }
  EXPECT_NO_THROW(uiTestingLibraryDirectory(std::string(64, 'a'), true));
}

TEST_F(CompositionTest, ADatabaseOfAnOlderLayoutIsMovedAsideUnderTheStampOfTheFirstOpen) {
  const std::string library = folder_.makeFolder("library");
  writeDatabase(library + "/" + libraryFileName(), 3);
  TickingClock clock;
  LiveImageLibraryServiceOptions options;
  options.clock = &clock;

  auto service = makeLiveImageLibraryService(library, settings(), options);

  EXPECT_TRUE(std::filesystem::is_regular_file(library + "/" + libraryFileName(".pre-v4-v3-1700000000")));
  EXPECT_TRUE(std::filesystem::is_directory(library + "/Thumbnails"));
  ImageSearchQuery everything;
  everything.limit = 10;
  everything.includeMissing = true;
  EXPECT_TRUE(service->searchImages(everything, {}).empty());
  EXPECT_TRUE(service->registeredFolderSummaries().empty());
}

TEST_F(CompositionTest, AFileSetAsideIsReportedWithItsNewName) {
  using Kind = LibraryRecoveryNotice::Kind;
  const struct {
    const char* name;
    std::function<void(const std::string& databaseFile)> write;
    std::optional<LibraryRecoveryNotice> notice;
  } cases[] = {
      {"no library yet", [](const std::string&) {}, std::nullopt},
      {"a library of an older layout", [](const std::string& file) { writeDatabase(file, 3); },
       LibraryRecoveryNotice{Kind::unreadableLibrarySetAside, libraryFileName(".pre-v4-v3-1700000000"),
                             std::nullopt}},
      {"an empty file", [](const std::string& file) { std::ofstream{file}; },
       LibraryRecoveryNotice{Kind::unreadableLibrarySetAside, libraryFileName(".pre-v4-v0-1700000000"),
                             std::nullopt}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string library = folder_.makeFolder(std::string("library ") + c.name);
    c.write(library + "/" + libraryFileName());
    TickingClock clock;
    LiveImageLibraryServiceOptions options;
    options.clock = &clock;
    EXPECT_EQ(makeLiveImageLibraryService(library, settings(), options)->libraryRecoveryNotice(), c.notice);
    // Opened again as it now is, the library has nothing to report.
    EXPECT_EQ(makeLiveImageLibraryService(library, settings(), options)->libraryRecoveryNotice(),
              std::nullopt);
  }
}

TEST_F(CompositionTest, ALibraryDamagedBelowItsHeaderFailsOneRunAndIsReplacedAtTheNextStart) {
  const std::string library = folder_.makeFolder("library");
  const std::string databaseFile = library + "/" + libraryFileName();
  TickingClock clock;
  LiveImageLibraryServiceOptions options;
  options.clock = &clock;
  {
    LiveImageLibraryGraph graph = makeLiveImageLibraryGraph(library, settings(), options);
    for (int i = 0; i < 1000; ++i) {
      ImageRecord record;
      record.file = {"/photos/image-" + std::to_string(i) + ".png", 1000 + i, 1'700'000'000.0 + i};
      record.metadata.prompt = "a long prompt " + std::string(600, static_cast<char>('a' + i % 26));
      record.promptTags = {"tag" + std::to_string(i % 40)};
      graph.database->upsertRecord(record, std::nullopt);
    }
  }
  // 64 KiB of junk in the middle of the file; its header and schema pages stay sound.
  std::string bytes;
  {
    std::ifstream in(databaseFile, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(bytes.size(), 256u * 1024);
  const std::size_t start = bytes.size() / 2 / 4096 * 4096;
  for (std::size_t i = start; i < start + 64 * 1024; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  std::ofstream(databaseFile, std::ios::binary | std::ios::trunc) << bytes;

  ImageSearchQuery everything;
  everything.limit = 5000;
  everything.includeMissing = true;
  {
    // The run that meets the damage fails with SQLite's own description.
    auto service = makeLiveImageLibraryService(library, settings(), options);
    try {
      service->searchImages(everything, {});
      ADD_FAILURE() << "the damaged library was read without an error";
    } catch (const SQLiteImageRepositoryV3Error& error) {
      EXPECT_EQ(error.message(), "database disk image is malformed");
    }
  }
  std::string damaged;
  {
    std::ifstream in(databaseFile, std::ios::binary);
    damaged.assign(std::istreambuf_iterator<char>(in), {});
  }

  // The next start keeps the damaged file byte for byte and works on a new library.
  auto service = makeLiveImageLibraryService(library, settings(), options);
  EXPECT_TRUE(service->searchImages(everything, {}).empty());
  std::vector<std::string> movedAside;
  for (const auto& entry : std::filesystem::directory_iterator(library)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(libraryFileName(".pre-v4-v4-"))) movedAside.push_back(name);
    EXPECT_NE(name, libraryFileName("-damaged"));
  }
  ASSERT_EQ(movedAside.size(), 1u);
  std::ifstream in(library + "/" + movedAside.front(), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);
  // The person is told, with the file's new name; it held no marks to read back.
  EXPECT_EQ(service->libraryRecoveryNotice(),
            (LibraryRecoveryNotice{LibraryRecoveryNotice::Kind::damagedLibraryRebuilt, movedAside.front(), 0,
                                   false}));
}

TEST_F(CompositionTest, ADatabaseOfANewerVersionIsLeftAloneAndExplained) {
  const std::string library = folder_.makeFolder("library");
  writeDatabase(library + "/" + libraryFileName(), 9);
  std::exception_ptr failure;
  try {
    makeLiveImageLibraryService(library, settings());
  } catch (...) {
    failure = std::current_exception();
  }
  ASSERT_TRUE(failure);
  EXPECT_THROW(std::rethrow_exception(failure), SQLiteImageRepositoryV3Error);
  // The file, Thumbnails and the library's lock file, nothing else.
  std::set<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(library))
    entries.insert(entry.path().filename());
  EXPECT_EQ(entries, (std::set<std::string>{"Lorvex.lock", libraryFileName(), "Thumbnails"}));

  try {
    std::rethrow_exception(mapLiveServicePreparationError(failure));
  } catch (const ImageLibraryStartupError& error) {
    EXPECT_EQ(error.kind(), ImageLibraryStartupError::Kind::libraryFromNewerVersion);
  }
  const auto other =
      std::make_exception_ptr(SQLiteImageRepositoryV3Error::openFailed("Unable to open database"));
  EXPECT_EQ(mapLiveServicePreparationError(other), other);
}

TEST_F(CompositionTest, TheDefaultFactoryUsesTheDataFolderAndTheUITestingOneItsOwn) {
  auto live = makeDefaultLiveImageLibraryService();
  EXPECT_TRUE(std::filesystem::is_regular_file(data("Lorvex/" + libraryFileName())));
  EXPECT_GT(live->currentFolderEventID(), 0u);

  const std::filesystem::path run = uiTestingLibraryDirectory("run-9", false);
  auto uiTesting = makeUITestingLiveImageLibraryService(uiTestingSuiteName("run-9"), run);
  EXPECT_TRUE(std::filesystem::is_regular_file(run / kLibraryDatabaseFileName));
  try {
    makeUITestingLiveImageLibraryService("bad/suite", run);
    ADD_FAILURE() << "an unusable suite name was accepted";
  } catch (const UITestCompositionError& error) {
    EXPECT_STREQ(error.what(), "Unable to create isolated UI-test defaults suite: bad/suite");
  }
}

// Every entry under `folder` with the bytes of each file: what a process changed in it.
std::map<std::string, std::string> folderContents(const std::filesystem::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string bytes = "(folder)";
    if (entry.is_regular_file()) {
      std::ifstream file(entry.path(), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(file), {});
    }
    contents[entry.path().lexically_relative(folder)] = std::move(bytes);
  }
  return contents;
}

TEST_F(CompositionTest, ASecondProcessOnALibraryInUseFailsAtOnceAndChangesNothing) {
  const std::string library = folder_.makeFolder("library");
  makeLiveImageLibraryService(library, settings())->registerFolders({folder_.makeFolder("photos")});

  // The other process holds the library as a running Lorvex does, until it is told to let go.
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t other = ::fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    char held = 0;
    try {
      const auto service = makeLiveImageLibraryService(library, settings());
      held = 1;
      (void)!::write(ready[1], &held, 1);
      (void)!::read(release[0], &held, 1);  // returns when the test closes its end
    } catch (...) {
      (void)!::write(ready[1], &held, 1);
    }
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, 1) << "the other process could not open the library";

  const auto before = folderContents(library);
  try {
    makeLiveImageLibraryService(library, settings());
    ADD_FAILURE() << "a library in use was opened";
  } catch (const ImageLibraryStartupError& error) {
    EXPECT_EQ(error.kind(), ImageLibraryStartupError::Kind::libraryInUse);
    EXPECT_NE(error.localizedDescription().find("another Lorvex process is using this library"),
              std::string::npos);
    EXPECT_NE(error.localizedDescription().find("別の Lorvex プロセスがこのライブラリを使用しています。"),
              std::string::npos);
  }
  EXPECT_EQ(folderContents(library), before);

  ::close(release[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Once the other process has ended the library opens again.
  EXPECT_EQ(makeLiveImageLibraryService(library, settings())->registeredFolderSummaries().size(), 1u);
}

TEST_F(CompositionTest, ALibraryIsHeldUntilItsLastHolderLetsGoAndTheFactoriesSayWhenItIsInUse) {
  std::shared_ptr<ImageLibraryServicing> live = makeDefaultLiveImageLibraryService();
  // A second service in the same process is refused as well: one library, one owner.
  try {
    makeDefaultLiveImageLibraryService();
    ADD_FAILURE() << "a library in use was opened";
  } catch (const LibraryError& error) {
    EXPECT_EQ(error.errorKind(), LibraryError::Kind::libraryUnavailable);
    EXPECT_EQ(error.localizedDescription(),
              ImageLibraryStartupError(ImageLibraryStartupError::Kind::libraryInUse).localizedDescription());
  }
  // A task still running on the service keeps it, and the library with it, after its holder let go.
  std::shared_ptr<ImageLibraryServicing> task = live;
  live.reset();
  EXPECT_THROW(makeDefaultLiveImageLibraryService(), ImageLibraryStartupError);
  EXPECT_GT(task->currentFolderEventID(), 0u);
  task.reset();
  EXPECT_NO_THROW(makeDefaultLiveImageLibraryService());
}

TEST(LibraryPreparationStamp, WholeSecondsTruncatedTowardZero) {
  EXPECT_EQ(libraryPreparationStamp(platform::ManualClock(1'700'000'000.999)), "1700000000");
  EXPECT_EQ(libraryPreparationStamp(platform::ManualClock(-1.5)), "-1");
}

}  // namespace
}  // namespace lorvex
