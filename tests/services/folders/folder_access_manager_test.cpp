#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "platform/log.h"
#include "services/folders/security_scoped_folder_access_manager.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using lorvex::testing::TemporaryFolder;
using Manager = SecurityScopedFolderAccessManager;
using State = RegisteredFolderAccessState;

// Paths that do not exist on disk, so their canonical form is their standardised form; the fake
// system decides which of them are folders.
const std::string kAlbum = "/nonexistent-lorvex-fm/album";
const std::string kRenamed = "/nonexistent-lorvex-fm/renamed";
const std::string kOther = "/nonexistent-lorvex-fm/other";

class RecordingSink final : public FolderAccessDiagnosticsSink {
 public:
  void record(const FolderAccessDiagnostic& diagnostic) override { diagnostics.push_back(diagnostic); }
  std::vector<FolderAccessDiagnostic> diagnostics;
};

Manager::BookmarkData bookmarkFor(const std::string& path, int generation = 1) {
  const std::string text = "bookmark:" + std::to_string(generation) + ":" + path;
  return Manager::BookmarkData(text.begin(), text.end());
}

// The injectable system, scripted per test.
struct FakeSystem {
  std::set<std::string> folders;
  // Scripted resolutions by bookmark bytes; an entry without a value throws EIO. When the script
  // runs out, a bookmark resolves to the path it was made for, not stale.
  std::map<Manager::BookmarkData, std::deque<std::optional<Manager::ResolvedBookmark>>> resolutions;
  std::map<std::string, std::deque<std::optional<bool>>> readability;  // no value: throws EACCES
  std::set<std::string> refusedStarts;
  bool failCreation = false;
  int generation = 1;
  std::vector<std::string> started;
  std::vector<std::string> stopped;

  Manager::Functions functions() {
    Manager::Functions f;
    f.createBookmarkData = [this](const std::string& url, std::uint64_t options) {
      EXPECT_EQ(options, 2048u);
      if (failCreation) throw std::system_error(EPERM, std::generic_category(), "creation refused");
      return bookmarkFor(url, generation);
    };
    f.resolveBookmark = [this](std::span<const std::uint8_t> data, std::uint64_t options) {
      EXPECT_EQ(options, 1024u);
      const Manager::BookmarkData bytes(data.begin(), data.end());
      auto& script = resolutions[bytes];
      if (!script.empty()) {
        auto next = script.front();
        script.pop_front();
        if (!next) throw std::system_error(EIO, std::generic_category(), "resolution failed");
        return *next;
      }
      const std::string text(bytes.begin(), bytes.end());
      return Manager::ResolvedBookmark{text.substr(text.find(":/") + 1), false};
    };
    f.readabilityProvider = [this](const std::string& url) {
      auto& script = readability[url];
      if (script.empty()) return true;
      const auto next = script.front();
      script.pop_front();
      if (!next) {
        throw std::filesystem::filesystem_error("not readable", url,
                                                std::error_code(EACCES, std::generic_category()));
      }
      return *next;
    };
    f.startAccessingSecurityScopedResource = [this](const std::string& url) {
      started.push_back(url);
      return !refusedStarts.contains(url);
    };
    f.stopAccessingSecurityScopedResource = [this](const std::string& url) { stopped.push_back(url); };
    f.isExistingDirectory = [this](const std::string& path) { return folders.contains(path); };
    return f;
  }
};

class FolderAccessManagerTest : public ::testing::Test {
 protected:
  FolderAccessManagerTest() : settings_("suite", folder_.path()) {}

  std::unique_ptr<Manager> makeManager() {
    return std::make_unique<Manager>(settings_, std::string(Manager::kBookmarksKey), sink_,
                                     system_.functions());
  }
  void store(const std::vector<Manager::BookmarkRecord>& records) {
    const auto json = Manager::encodeRecords(records);
    settings_.setData(Manager::kBookmarksKey, Manager::BookmarkData(json.begin(), json.end()));
  }
  std::vector<Manager::BookmarkRecord> stored() {
    const auto data = settings_.data(Manager::kBookmarksKey);
    return data ? Manager::decodeRecords(*data) : std::vector<Manager::BookmarkRecord>{};
  }

  TemporaryFolder folder_;
  platform::Settings settings_;
  std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
  FakeSystem system_;
};

TEST_F(FolderAccessManagerTest, BookmarkThatResolvesOnTheSecondAttempt) {
  system_.folders = {kAlbum};
  store({{kAlbum, bookmarkFor(kAlbum)}});
  system_.resolutions[bookmarkFor(kAlbum)] = {std::nullopt, Manager::ResolvedBookmark{kAlbum, false}};
  auto manager = makeManager();

  EXPECT_EQ(
      manager->registeredFolderAccesses(),
      (std::vector<RegisteredFolderAccess>{{kAlbum, kAlbum, State::available, std::nullopt, std::nullopt}}));
  EXPECT_EQ(manager->bookmarkResolutionCount(), 2u);
  ASSERT_EQ(sink_->diagnostics.size(), 1u);
  EXPECT_EQ(sink_->diagnostics[0],
            (FolderAccessDiagnostic{FolderAccessDiagnosticOperation::bookmarkResolution, kAlbum, "POSIX", EIO,
                                    false, 1}));
}

TEST_F(FolderAccessManagerTest, BookmarkThatNeverResolvesIsInvalidAndKept) {
  store({{kAlbum, bookmarkFor(kAlbum)}});
  system_.resolutions[bookmarkFor(kAlbum)] = {std::nullopt, std::nullopt};
  auto manager = makeManager();
  const auto accesses = manager->registeredFolderAccesses();
  ASSERT_EQ(accesses.size(), 1u);
  EXPECT_EQ(accesses[0].path, kAlbum);
  EXPECT_EQ(accesses[0].state, State::bookmarkInvalid);
  EXPECT_FALSE(accesses[0].url);
  EXPECT_NE(accesses[0].lastError->find("resolution failed"), std::string::npos);
  EXPECT_EQ(sink_->diagnostics.size(), 2u);
  EXPECT_EQ(sink_->diagnostics[1].bookmarkResolutionCount, 2u);
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kAlbum, bookmarkFor(kAlbum)}}));
}

TEST_F(FolderAccessManagerTest, MovedFolderKeepsItsOldAccessUntilTheNewLocationIsAvailable) {
  system_.folders = {kAlbum};
  auto manager = makeManager();
  manager->registerFolders({kAlbum});
  EXPECT_EQ(system_.started, std::vector<std::string>{kAlbum});

  // The folder moves; the new location is not reachable yet.
  system_.folders = {};
  system_.generation = 2;
  system_.resolutions[bookmarkFor(kAlbum)] = {Manager::ResolvedBookmark{kRenamed, true}};
  auto accesses = manager->registeredFolderAccesses();
  ASSERT_EQ(accesses.size(), 1u);
  EXPECT_EQ(accesses[0],
            (RegisteredFolderAccess{kRenamed, std::nullopt, State::missing, "フォルダが見つかりません。",
                                    ErrorNotice{ErrorNoticeKind::folderMissing, {}}}));
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kRenamed, bookmarkFor(kRenamed, 2)}}));
  EXPECT_TRUE(system_.stopped.empty());  // the old location's access is still held

  system_.folders = {kRenamed};
  accesses = manager->registeredFolderAccesses();
  EXPECT_EQ(accesses[0],
            (RegisteredFolderAccess{kRenamed, kRenamed, State::available, std::nullopt, std::nullopt}));
  EXPECT_EQ(system_.stopped, std::vector<std::string>{kAlbum});
  manager->registeredFolderAccesses();
  EXPECT_EQ(system_.stopped, std::vector<std::string>{kAlbum});  // released once
}

// A folder found elsewhere leaves its former path for the library, whose images there are gone,
// until the library says it dealt with it; one that is where it was leaves nothing.
TEST_F(FolderAccessManagerTest, FolderFoundElsewhereLeavesItsFormerPathUntilForgotten) {
  struct Case {
    const char* name;
    Manager::ResolvedBookmark resolution;
    std::set<std::string> folders;
    std::vector<std::string> formerPaths;
  };
  const std::vector<Case> cases{
      {"renamed", {kRenamed, true}, {kRenamed}, {kAlbum}},
      {"renamed, not reachable yet", {kRenamed, true}, {}, {kAlbum}},
      {"in place, stale", {kAlbum, true}, {kAlbum}, {}},
      {"in place", {kAlbum, false}, {kAlbum}, {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    store({{kAlbum, bookmarkFor(kAlbum)}, {kOther, bookmarkFor(kOther)}});
    system_.folders = test.folders;
    system_.folders.insert(kOther);
    system_.resolutions.clear();
    system_.resolutions[bookmarkFor(kAlbum)] = {test.resolution};
    auto manager = makeManager();
    EXPECT_TRUE(manager->formerFolderPaths().empty());
    manager->restoreAccess();
    EXPECT_EQ(manager->formerFolderPaths(), test.formerPaths);
    manager->registeredFolderAccesses();  // evaluated again at the new place: nothing new
    EXPECT_EQ(manager->formerFolderPaths(), test.formerPaths);
    manager->forgetFormerFolderPaths({kOther});
    EXPECT_EQ(manager->formerFolderPaths(), test.formerPaths);
    manager->forgetFormerFolderPaths(test.formerPaths);
    EXPECT_TRUE(manager->formerFolderPaths().empty());
  }
}

TEST_F(FolderAccessManagerTest, AccessStates) {
  struct Case {
    const char* name;
    std::function<void(FakeSystem&)> arrange;
    RegisteredFolderAccess expected;
    std::size_t readabilityDiagnostics;
  };
  const std::vector<Case> cases = {
      {"available", [](FakeSystem&) {}, {kAlbum, kAlbum, State::available, std::nullopt, std::nullopt}, 0},
      {"access refused",
       [](FakeSystem& s) { s.refusedStarts = {kAlbum}; },
       {kAlbum, std::nullopt, State::accessDenied, "フォルダへのアクセス権限がありません。",
        ErrorNotice{ErrorNoticeKind::folderAccessDenied, {}}},
       0},
      {"missing",
       [](FakeSystem& s) { s.folders.clear(); },
       {kAlbum, std::nullopt, State::missing, "フォルダが見つかりません。",
        ErrorNotice{ErrorNoticeKind::folderMissing, {}}},
       0},
      {"unreadable twice",
       [](FakeSystem& s) {
         s.readability[kAlbum] = {false, false, false, false};
       },
       {kAlbum, std::nullopt, State::accessDenied, "フォルダを読み取れません。",
        ErrorNotice{ErrorNoticeKind::folderUnreadable, {}, "EACCES"}},
       0},
      {"readable on the second check",
       [](FakeSystem& s) {
         s.readability[kAlbum] = {std::nullopt, true, std::nullopt, true};
       },
       {kAlbum, kAlbum, State::available, std::nullopt, std::nullopt},
       1},
      {"readability check throws twice",
       [](FakeSystem& s) {
         s.readability[kAlbum] = {std::nullopt, std::nullopt, std::nullopt, std::nullopt};
       },
       {kAlbum, std::nullopt, State::accessDenied,
        std::filesystem::filesystem_error("not readable", kAlbum,
                                          std::error_code(EACCES, std::generic_category()))
            .what(),
        // Refused by the system, so the row says access was denied, and by which error.
        ErrorNotice{ErrorNoticeKind::folderAccessDenied, {}, "EACCES"}},
       2},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    platform::Settings settings("suite", folder.path());
    FakeSystem system;
    system.folders = {kAlbum};
    c.arrange(system);
    auto sink = std::make_shared<RecordingSink>();
    Manager manager(settings, std::string(Manager::kBookmarksKey), sink, system.functions());
    const auto json = Manager::encodeRecords({{kAlbum, bookmarkFor(kAlbum)}});
    settings.setData(Manager::kBookmarksKey, Manager::BookmarkData(json.begin(), json.end()));
    EXPECT_EQ(manager.registeredFolderAccesses(), std::vector<RegisteredFolderAccess>{c.expected}) << c.name;
    EXPECT_EQ(sink->diagnostics.size(), c.readabilityDiagnostics) << c.name;
    for (const auto& diagnostic : sink->diagnostics) {
      EXPECT_EQ(diagnostic.operation, FolderAccessDiagnosticOperation::readabilityCheck);
      EXPECT_TRUE(diagnostic.errorHasPath);
    }
    const auto restored = manager.restoreAccess();
    EXPECT_EQ(restored.size(), c.expected.state == State::available ? 1u : 0u) << c.name;
  }
}

TEST_F(FolderAccessManagerTest, UndecodableStoredValueIsKeptAsideAndSavingResumes) {
  struct Case {
    std::string stored;
    std::int64_t code;
  };
  const std::vector<Case> cases = {
      {"not json", 3},
      {R"({"path":"\/a"})", 0},
      {R"([{"path":"\/a"}])", 2},
      {R"([{"path":1,"bookmarkData":""}])", 0},
      {R"([{"path":null,"bookmarkData":""}])", 1},
      {R"([{"path":"\/a","bookmarkData":"*"}])", 3},
  };
  platform::LogSink previousLog = platform::setLogSink([](auto, auto, auto) {});
  for (const auto& c : cases) {
    TemporaryFolder folder;
    platform::Settings settings("suite", folder.path());
    const Manager::BookmarkData bad(c.stored.begin(), c.stored.end());
    settings.setData(Manager::kBookmarksKey, bad);
    FakeSystem system;
    system.folders = {kAlbum};
    auto sink = std::make_shared<RecordingSink>();
    {
      Manager manager(settings, std::string(Manager::kBookmarksKey), sink, system.functions());
      EXPECT_TRUE(manager.registeredFolderAccesses().empty()) << c.stored;
      manager.registerFolders({kAlbum});  // succeeds, and is saved
      ASSERT_EQ(sink->diagnostics.size(), 1u) << c.stored;
      EXPECT_EQ(
          sink->diagnostics[0],
          (FolderAccessDiagnostic{FolderAccessDiagnosticOperation::storedBookmarksDecoding,
                                  "securityScopedFolderBookmarks", "Lorvex.DecodingError", c.code, false, 0}))
          << c.stored;
      EXPECT_EQ(manager.registeredFolderAccesses().size(), 1u);
    }
    platform::Settings reopened("suite", folder.path());
    EXPECT_EQ(reopened.data("securityScopedFolderBookmarks.undecodable"), bad);
    const auto saved = reopened.data(Manager::kBookmarksKey);
    ASSERT_TRUE(saved);
    EXPECT_EQ(Manager::decodeRecords(*saved),
              (std::vector<Manager::BookmarkRecord>{{kAlbum, bookmarkFor(kAlbum)}}));
  }
  platform::setLogSink(previousLog);
}

TEST_F(FolderAccessManagerTest, UndecodableValueIsBackedUpOnlyOnceAcrossLaunches) {
  platform::LogSink previousLog = platform::setLogSink([](auto, auto, auto) {});
  const std::string text = "garbage";
  settings_.setData(Manager::kBookmarksKey, Manager::BookmarkData(text.begin(), text.end()));
  for (int launch = 0; launch < 3; ++launch) makeManager()->registeredFolderAccesses();
  EXPECT_EQ(sink_->diagnostics.size(), 3u);  // one per launch
  EXPECT_TRUE(settings_.object("securityScopedFolderBookmarks.undecodable"));
  EXPECT_FALSE(settings_.object("securityScopedFolderBookmarks.undecodable.1"));
  platform::setLogSink(previousLog);
}

TEST_F(FolderAccessManagerTest, RegisteringKeepsOneSortedRecordPerFolder) {
  system_.folders = {kAlbum, kOther};
  auto manager = makeManager();
  manager->registerFolders({kOther, kAlbum});
  system_.generation = 2;
  manager->registerFolders({kAlbum + "/"});
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kAlbum, bookmarkFor(kAlbum, 2)},
                                                            {kOther, bookmarkFor(kOther)}}));
  EXPECT_EQ(system_.started, (std::vector<std::string>{kOther, kAlbum}));  // one access each

  system_.failCreation = true;
  EXPECT_THROW(manager->registerFolders({"/nonexistent-lorvex-fm/third"}), std::system_error);
  EXPECT_EQ(stored().size(), 2u);  // nothing saved
}

TEST_F(FolderAccessManagerTest, UnsortedStoredListIsWrittenBackInItsOwnOrder) {
  system_.folders = {kAlbum, kOther, kRenamed};
  store({{kOther, bookmarkFor(kOther)}, {kAlbum, bookmarkFor(kAlbum)}});
  system_.resolutions[bookmarkFor(kAlbum)] = {Manager::ResolvedBookmark{kAlbum, true}};  // stale
  system_.generation = 2;
  auto manager = makeManager();
  const auto accesses = manager->registeredFolderAccesses();
  ASSERT_EQ(accesses.size(), 2u);
  EXPECT_EQ(accesses[0].path, kOther);
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kOther, bookmarkFor(kOther)},
                                                            {kAlbum, bookmarkFor(kAlbum, 2)}}));
}

TEST_F(FolderAccessManagerTest, RegisteringNothingRewritesTheListSorted) {
  store({{kOther, bookmarkFor(kOther)}, {kAlbum, bookmarkFor(kAlbum)}});
  makeManager()->registerFolders({});
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kAlbum, bookmarkFor(kAlbum)},
                                                            {kOther, bookmarkFor(kOther)}}));
  EXPECT_TRUE(system_.started.empty());
}

TEST_F(FolderAccessManagerTest, UnregisteringReleasesAndForgets) {
  system_.folders = {kAlbum, kOther};
  auto manager = makeManager();
  manager->registerFolders({kAlbum, kOther});
  manager->unregisterFolder(kAlbum + "/.");
  EXPECT_EQ(system_.stopped, std::vector<std::string>{kAlbum});
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kOther, bookmarkFor(kOther)}}));
  manager->unregisterFolder("/nonexistent-lorvex-fm/never");
  EXPECT_EQ(stored().size(), 1u);
  EXPECT_EQ(system_.stopped.size(), 1u);
}

TEST_F(FolderAccessManagerTest, Reauthorization) {
  system_.folders = {kAlbum};
  auto manager = makeManager();
  manager->registerFolders({kAlbum});
  try {
    manager->reauthorizeFolder(kOther, kAlbum);
    FAIL() << "expected a mismatch";
  } catch (const FolderAccessManagerError& error) {
    EXPECT_EQ(error.code(), FolderAccessManagerError::Code::reauthorizationPathMismatch);
    EXPECT_EQ(error.localizedDescription(),
              "選択されたフォルダが登録済みフォルダと一致しません。登録: " + kAlbum + ", 選択: " + kOther);
  }
  system_.generation = 3;
  manager->reauthorizeFolder(kAlbum, kAlbum);
  EXPECT_EQ(stored(), (std::vector<Manager::BookmarkRecord>{{kAlbum, bookmarkFor(kAlbum, 3)}}));
  EXPECT_EQ(system_.stopped, std::vector<std::string>{kAlbum});
  EXPECT_EQ(system_.started, (std::vector<std::string>{kAlbum, kAlbum}));  // released, then started again
}

TEST_F(FolderAccessManagerTest, PathThatIsNotUTF8IsRefusedUpFront) {
  auto manager = makeManager();
  try {
    manager->registerFolders({"/nonexistent-lorvex-fm/\xFF"});
    FAIL() << "expected an error";
  } catch (const FolderAccessManagerError& error) {
    EXPECT_EQ(error.code(), FolderAccessManagerError::Code::folderPathNotStorable);
  }
  EXPECT_TRUE(system_.started.empty());
  EXPECT_FALSE(settings_.object(Manager::kBookmarksKey));
}

TEST_F(FolderAccessManagerTest, DestructionStopsEveryAccess) {
  system_.folders = {kAlbum, kOther};
  auto manager = makeManager();
  manager->registerFolders({kAlbum, kOther});
  manager.reset();
  EXPECT_EQ(system_.stopped, (std::vector<std::string>{kAlbum, kOther}));
}

TEST(FolderAccessStoredFormatTest, JsonShape) {
  const std::vector<Manager::BookmarkRecord> records = {{"/a/b", {0xFF, 0xEE}}, {"/ノ", {}}};
  const std::string json = Manager::encodeRecords(records);
  EXPECT_EQ(json, R"([{"bookmarkData":"\/+4=","path":"\/a\/b"},{"bookmarkData":"","path":"\/ノ"}])");
  const Manager::BookmarkData bytes(json.begin(), json.end());
  EXPECT_EQ(Manager::decodeRecords(bytes), records);
  const std::string withExtra = R"([{"path":"/x","bookmarkData":"AA==","extra":1}])";
  EXPECT_EQ(Manager::decodeRecords(Manager::BookmarkData(withExtra.begin(), withExtra.end())),
            (std::vector<Manager::BookmarkRecord>{{"/x", {0}}}));
}

// The live functions over real folders.
class LiveFolderAccessManagerTest : public ::testing::Test {
 protected:
  LiveFolderAccessManagerTest() : settings_("suite", config_.path()) {}
  std::unique_ptr<Manager> makeManager() {
    return std::make_unique<Manager>(settings_, std::string(Manager::kBookmarksKey), nullptr);
  }
  TemporaryFolder config_;
  TemporaryFolder tree_;
  platform::Settings settings_;
};

TEST_F(LiveFolderAccessManagerTest, FolderRenamedWithinItsParentIsFollowed) {
  const std::string album = tree_.makeFolder("album");
  makeManager()->registerFolders({album});
  std::filesystem::rename(album, tree_ / "album 2024");

  auto manager = makeManager();  // a later launch
  const auto accesses = manager->registeredFolderAccesses();
  ASSERT_EQ(accesses.size(), 1u);
  EXPECT_EQ(accesses[0], (RegisteredFolderAccess{tree_ / "album 2024", tree_ / "album 2024", State::available,
                                                 std::nullopt, std::nullopt}));
  EXPECT_EQ(manager->restoreAccess(), std::vector<std::string>{tree_ / "album 2024"});
  const auto data = settings_.data(Manager::kBookmarksKey);
  ASSERT_TRUE(data);
  EXPECT_EQ(Manager::decodeRecords(*data).at(0).path, tree_ / "album 2024");
}

TEST_F(LiveFolderAccessManagerTest, DeletedFolderIsMissing) {
  const std::string album = tree_.makeFolder("album");
  makeManager()->registerFolders({album});
  std::filesystem::remove(album);
  const auto accesses = makeManager()->registeredFolderAccesses();
  EXPECT_EQ(
      accesses,
      (std::vector<RegisteredFolderAccess>{{album, std::nullopt, State::missing, "フォルダが見つかりません。",
                                            ErrorNotice{ErrorNoticeKind::folderMissing, {}}}}));
}

TEST_F(LiveFolderAccessManagerTest, RegisteringThroughASymbolicLinkStoresTheTarget) {
  const std::string album = tree_.makeFolder("real/album");
  std::filesystem::create_directory_symlink(album, tree_ / "link");
  auto manager = makeManager();
  manager->registerFolders({tree_ / "link"});
  EXPECT_EQ(
      manager->registeredFolderAccesses(),
      (std::vector<RegisteredFolderAccess>{{album, album, State::available, std::nullopt, std::nullopt}}));
  manager->unregisterFolder(tree_ / "link");  // the link names the same folder
  EXPECT_TRUE(manager->registeredFolderAccesses().empty());
}

}  // namespace
}  // namespace lorvex
