#include "store/library_store_composition.h"

#include <gtest/gtest.h>

#include <QThreadPool>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "database/library_database_file.h"
#include "model/image_search_query.h"
#include "model/library_error.h"
#include "platform/scoped_environment_variable.h"
#include "platform/settings.h"
#include "services/image_library_startup_error.h"
#include "services/unavailable_image_library_service.h"
#include "store/async/store_clock.h"
#include "store/event_loop.h"
#include "support/png_image.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using Strings = std::vector<std::string>;

// The user's folders of every test point into a temporary folder: $folder/config/Lorvex holds the
// settings suites, $folder/data/Lorvex the library.
class LibraryStoreCompositionTest : public ::testing::Test {
 protected:
  LibraryStoreCompositionTest() : userFolders_(folder_.path()) {
    testing::application();
    runtime_.clock = &clock_;
    runtime_.userInitiatedPool = &userInitiatedPool_;
    runtime_.utilityPool = &utilityPool_;
  }

  std::filesystem::path settingsFolder() const { return folder_.path() / "config" / "Lorvex"; }
  std::filesystem::path libraryFolder() const { return folder_.path() / "data" / "Lorvex"; }
  std::filesystem::path runFolder(const std::string& runID) const {
    return libraryFolder() / "UITests" / runID;
  }

  // Stores in a suite what the store reads at construction.
  void writeSuite(const std::filesystem::path& folder, const std::string& suite, const Strings& filterTags,
                  const Strings& exclusions, int slideshowVisibleCount) const {
    platform::Settings settings(suite, folder);
    settings.setStringArray("filterTags", filterTags);
    settings.setStringArray("characterSuggestionExclusions", exclusions);
    settings.setInteger("ui.slideshowVisibleCount", slideshowVisibleCount);
    settings.setBoolean("ui.librarySectionExpanded", false);
  }

  static std::string fileText(const std::filesystem::path& file) {
    platform::Settings::flushAll(std::chrono::steady_clock::now() +
                                 std::chrono::hours(24));  // what the background writer has not written yet
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // A decodable PNG with generator text, for the live service to index.
  std::string writeImage(const std::string& relative) const {
    testing::PNGImageSpec spec;
    spec.width = 8;
    spec.height = 8;
    spec.textChunks = {{"parameters",
                        "a red fox\nNegative prompt: blurry\nSteps: 20, Sampler: Euler a, "
                        "CFG scale: 7, Seed: 1, Size: 8x8"}};
    return folder_.writeFile(relative, testing::encodePNGImage(spec));
  }

  // The factory's service, built on a thread of its own as the launch builds it.
  static std::shared_ptr<ImageLibraryServicing> runFactoryOnAnotherThread(const LiveServiceFactory& factory,
                                                                          std::exception_ptr& failure) {
    std::shared_ptr<ImageLibraryServicing> service;
    std::thread worker([copy = factory, &service, &failure] {
      try {
        service = copy();
      } catch (...) {
        failure = std::current_exception();
      }
    });
    worker.join();
    return service;
  }

  // What the factory throws on a thread of its own; nothing when it builds a service.
  static std::optional<LibraryError> factoryFailure(const LiveServiceFactory& factory) {
    std::exception_ptr failure;
    if (runFactoryOnAnotherThread(factory, failure) != nullptr || !failure) return std::nullopt;
    try {
      std::rethrow_exception(failure);
    } catch (const LibraryError& error) {
      return error;
    }
  }

  testing::TemporaryFolder folder_;
  testing::ScopedUserFolders userFolders_;
  FakeStoreClock clock_;
  QThreadPool userInitiatedPool_;
  QThreadPool utilityPool_;
  LibraryStoreRuntime runtime_;
};

// What every composed store starts with, whatever its suite.
void expectPreparesTheLiveServiceLater(const ImageLibraryStore& store) {
  auto unavailable = std::dynamic_pointer_cast<UnavailableImageLibraryService>(store.context().service());
  ASSERT_NE(unavailable, nullptr);
  try {
    std::rethrow_exception(unavailable->error());
  } catch (const ImageLibraryStartupError& error) {
    EXPECT_EQ(error.kind(), ImageLibraryStartupError::Kind::libraryNotPrepared);
  }
  EXPECT_TRUE(store.context().needsLiveServicePreparation());
  EXPECT_EQ(store.context().errorMessage(), std::nullopt);
  EXPECT_FALSE(store.context().featureAvailability().isTagConceptEnabled);
  EXPECT_EQ(store.review().feedbackDismissDelayNanos(), 3'000'000'000u);
  EXPECT_TRUE(static_cast<bool>(store.library().liveServiceFactory()));
}

TEST_F(LibraryStoreCompositionTest, EachCompositionReadsAndWritesItsOwnSuiteAndOpensNothing) {
  const std::filesystem::path ownFolder = folder_.path() / "own-library";
  struct Case {
    const char* name;
    std::function<std::unique_ptr<ImageLibraryStore>()> compose;
    std::filesystem::path suiteFolder;
    std::string suite;
  };
  const std::vector<Case> cases{
      {"standard", [&] { return makeLibraryStore(std::nullopt, false, runtime_); }, settingsFolder(),
       "app.lorvex.Lorvex"},
      {"ui-testing run", [&] { return makeLibraryStore("run-1", false, runtime_); }, settingsFolder(),
       "app.lorvex.UITests.run-1"},
      {"library in a folder", [&] { return makeLibraryStoreInFolder(ownFolder, "tool-suite", runtime_); },
       ownFolder, "tool-suite"},
  };
  // Every suite holds values of its own, so a store that read another suite shows it.
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    writeSuite(cases[i].suiteFolder, cases[i].suite, {"tag" + n}, {"character" + n}, static_cast<int>(i) + 2);
  }

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::string n = std::to_string(i + 1);
    std::unique_ptr<ImageLibraryStore> store = c.compose();

    expectPreparesTheLiveServiceLater(*store);
    EXPECT_EQ(&store->context().clock(), &clock_);
    EXPECT_EQ(&store->context().userInitiatedPool(), &userInitiatedPool_);
    EXPECT_EQ(&store->context().utilityPool(), &utilityPool_);
    EXPECT_EQ(store->filters().savedFilterTags(), Strings{"tag" + n});
    EXPECT_EQ(store->suggestions().characterSuggestionExclusions(), Strings{"character" + n});
    EXPECT_EQ(store->presentation().slideshowVisibleCount(), static_cast<int>(i) + 2);
    EXPECT_FALSE(store->presentation().isLibrarySectionExpanded());

    // Saving lands in the same suite's file and in no other.
    store->filters().filterTagStore()->saveFilterTags({"saved-by-" + n});
    for (std::size_t j = 0; j < cases.size(); ++j) {
      const std::string text = fileText(cases[j].suiteFolder / (cases[j].suite + ".json"));
      EXPECT_EQ(text.find("saved-by-" + n) != std::string::npos, i == j) << cases[j].suite;
    }
  }
  // Composing opened no library: no database anywhere, the own folder holds only its suite.
  EXPECT_FALSE(std::filesystem::exists(libraryFolder() / kLibraryDatabaseFileName));
  EXPECT_FALSE(std::filesystem::exists(runFolder("run-1") / kLibraryDatabaseFileName));
  EXPECT_FALSE(std::filesystem::exists(ownFolder / kLibraryDatabaseFileName));
}

TEST_F(LibraryStoreCompositionTest, AResetRemovesTheRunsSuiteAndFolderBeforeAnythingReadsThem) {
  struct Case {
    bool resets;
    Strings expectedTags;
    bool expectKeptFile;
  };
  const std::vector<Case> cases{
      {false, {"from-earlier-run"}, true},
      {true, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resets ? "reset" : "no reset");
    writeSuite(settingsFolder(), "app.lorvex.UITests.run-7", {"from-earlier-run"}, {"someone"}, 5);
    folder_.writeFile("data/Lorvex/UITests/run-7/nested/earlier.txt");
    // Another run and the user's own values are never part of a reset.
    writeSuite(settingsFolder(), "app.lorvex.UITests.run-8", {"other-run"}, {}, 2);
    writeSuite(settingsFolder(), "app.lorvex.Lorvex", {"the-user's"}, {}, 2);
    folder_.writeFile("data/Lorvex/UITests/run-8/other.txt");

    std::unique_ptr<ImageLibraryStore> store = makeLibraryStore("run-7", c.resets, runtime_);

    expectPreparesTheLiveServiceLater(*store);
    EXPECT_EQ(store->filters().savedFilterTags(), c.expectedTags);
    EXPECT_EQ(store->suggestions().characterSuggestionExclusions(),
              c.resets ? Strings{} : Strings{"someone"});
    EXPECT_EQ(store->presentation().slideshowVisibleCount(), c.resets ? 1 : 5);
    EXPECT_EQ(store->presentation().isLibrarySectionExpanded(), c.resets);
    EXPECT_EQ(std::filesystem::exists(settingsFolder() / "app.lorvex.UITests.run-7.json"), !c.resets);
    EXPECT_TRUE(std::filesystem::is_directory(runFolder("run-7")));
    EXPECT_EQ(std::filesystem::exists(runFolder("run-7") / "nested/earlier.txt"), c.expectKeptFile);
    EXPECT_TRUE(std::filesystem::exists(runFolder("run-8") / "other.txt"));
    EXPECT_EQ(platform::Settings("app.lorvex.UITests.run-8", settingsFolder()).stringArray("filterTags"),
              Strings{"other-run"});
    EXPECT_EQ(platform::Settings("app.lorvex.Lorvex", settingsFolder()).stringArray("filterTags"),
              Strings{"the-user's"});
  }
}

TEST_F(LibraryStoreCompositionTest, ARunFolderThatCannotBeMadeLeavesTheStoreUnavailableWithItsText) {
  // A file where the runs' folder should be: neither the reset nor the creation can get past it.
  folder_.writeFile("data/Lorvex/UITests", "not a folder");
  struct Case {
    bool resets;
    std::string expectedText;
  };
  const std::vector<Case> cases{
      {false, "Unable to create folder " + (libraryFolder() / "UITests").string() + ": Not a directory"},
      {true, "Unable to open the UI-testing folder " + (libraryFolder() / "UITests").string() +
                 ": Not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resets ? "reset" : "no reset");
    writeSuite(settingsFolder(), "app.lorvex.UITests.run-2", {"kept"}, {}, 3);

    std::unique_ptr<ImageLibraryStore> store = makeLibraryStore("run-2", c.resets, runtime_);

    EXPECT_FALSE(store->context().needsLiveServicePreparation());
    EXPECT_EQ(store->context().errorMessage(), c.expectedText);
    auto unavailable = std::dynamic_pointer_cast<UnavailableImageLibraryService>(store->context().service());
    ASSERT_NE(unavailable, nullptr);
    // Every library call fails with the same text the store shows.
    try {
      store->context().service()->registeredFolderSummaries();
      ADD_FAILURE() << "the unavailable service answered";
    } catch (const LibraryError& error) {
      EXPECT_EQ(error.errorKind(), LibraryError::Kind::fileSystem);
      EXPECT_EQ(error.localizedDescription(), c.expectedText);
    }
    // The suite is still the run's own (and was reset when asked).
    EXPECT_EQ(store->filters().savedFilterTags(), c.resets ? Strings{} : Strings{"kept"});
    EXPECT_FALSE(store->context().featureAvailability().isTagConceptEnabled);

    // Should anything run the factory after all, it fails the same way and never falls back on
    // the user's own library.
    const std::optional<LibraryError> failure = factoryFailure(store->library().liveServiceFactory());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->localizedDescription(), c.expectedText);
    EXPECT_FALSE(std::filesystem::exists(libraryFolder() / kLibraryDatabaseFileName));
  }
}

TEST_F(LibraryStoreCompositionTest, TheFactoryBuildsAWorkingLibraryInTheComposedFolderOnAnyThread) {
  const std::filesystem::path ownFolder = folder_.path() / "tool" / "library";
  struct Case {
    const char* name;
    std::function<std::unique_ptr<ImageLibraryStore>()> compose;
    std::filesystem::path expectedLibrary;
    std::filesystem::path expectedSettingsFile;
  };
  const std::vector<Case> cases{
      {"standard", [&] { return makeLibraryStore(std::nullopt, false, runtime_); }, libraryFolder(),
       settingsFolder() / "app.lorvex.Lorvex.json"},
      {"ui-testing run", [&] { return makeLibraryStore("run-3", true, runtime_); }, runFolder("run-3"),
       settingsFolder() / "app.lorvex.UITests.run-3.json"},
      {"library in a folder",
       [&] { return makeLibraryStoreInFolder(ownFolder, kFolderLibrarySettingsSuiteName, runtime_); },
       ownFolder, ownFolder / "lorvex-library.json"},
  };
  const std::string image = writeImage("photos/fox.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ImageLibraryStore> store = c.compose();
    std::exception_ptr failure;
    std::shared_ptr<ImageLibraryServicing> service =
        runFactoryOnAnotherThread(store->library().liveServiceFactory(), failure);
    ASSERT_EQ(failure, nullptr);
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(std::filesystem::is_regular_file(c.expectedLibrary / kLibraryDatabaseFileName));
    EXPECT_TRUE(std::filesystem::is_directory(c.expectedLibrary / "Thumbnails"));

    service->registerFolders({(folder_.path() / "photos").string()});
    const std::vector<std::string> roots = service->restoreFolderAccess();
    ASSERT_EQ(roots.size(), 1u);
    const ImageLibraryScanSummary summary = service->scanLibrary(roots, {}, {});
    EXPECT_EQ(summary.indexedImageCount, 1);
    ImageSearchQuery query;
    query.limit = 10;
    const std::vector<ImageRecord> found = service->searchImages(query, {});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().file.path, image);
    // The registered folder is kept in the composition's own suite.
    EXPECT_NE(fileText(c.expectedSettingsFile).find("securityScopedFolderBookmarks"), std::string::npos);
  }
  // The library in a folder never reached the user's settings.
  EXPECT_EQ(fileText(settingsFolder() / "app.lorvex.Lorvex.json").find((folder_.path() / "tool").string()),
            std::string::npos);
}

TEST_F(LibraryStoreCompositionTest, AFolderTheFactoryCannotCreateMakesItThrow) {
  folder_.writeFile("blocked", "a file, not a folder");
  struct Case {
    const char* name;
    std::function<std::unique_ptr<ImageLibraryStore>()> compose;
    // What stands in the library's way once the store has been composed.
    std::function<void()> obstruct;
  };
  const std::vector<Case> cases{
      {"library in a folder",
       [&] { return makeLibraryStoreInFolder(folder_.path() / "blocked" / "library", "suite", runtime_); },
       [] {}},
      {"ui-testing run", [&] { return makeLibraryStore("run-4", false, runtime_); },
       [&] {
         std::filesystem::remove_all(runFolder("run-4"));
         folder_.writeFile("data/Lorvex/UITests/run-4", "a file");
       }},
      {"standard", [&] { return makeLibraryStore(std::nullopt, false, runtime_); },
       [&] {
         std::filesystem::remove_all(folder_.path() / "data");
         folder_.writeFile("data", "a file");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ImageLibraryStore> store = c.compose();
    EXPECT_TRUE(store->context().needsLiveServicePreparation());
    c.obstruct();
    const std::optional<LibraryError> failure = factoryFailure(store->library().liveServiceFactory());
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->errorKind(), LibraryError::Kind::fileSystem);
    EXPECT_TRUE(failure->localizedDescription().starts_with("Unable to create folder "))
        << failure->localizedDescription();
  }
}

}  // namespace
}  // namespace lorvex
