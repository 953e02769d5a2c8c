// The UI preferences in a real settings file: first launch, the stored-type rules, what is
// written, and no rewrite of the file for a save that changes nothing.
#include "store/presentation/user_defaults_ui_preference_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/settings.h"
#include "store/presentation/image_library_presentation_state.h"
#include "support/temporary_folder.h"

namespace lorvex {
namespace {

using platform::Settings;
using platform::SettingsValue;
using Store = UserDefaultsUIPreferenceStore;

constexpr std::string_view kSuite = "app.lorvex.Test";

// A settings write replaces the file by renaming a new one over it. With a second name linked to
// the file, a rewrite shows as the file's link count dropping back to one.
void watchForRewrite(const std::filesystem::path& file) {
  Settings::flushAll(std::chrono::steady_clock::now() +
                     std::chrono::hours(24));  // what the background writer has not written yet
  std::filesystem::create_hard_link(file, file.string() + ".watch");
}
bool wasRewritten(const std::filesystem::path& file) {
  Settings::flushAll(std::chrono::steady_clock::now() + std::chrono::hours(24));
  return std::filesystem::hard_link_count(file) != 2;
}

TEST(UserDefaultsUIPreferenceStore, FirstLaunchGivesTheDefaults) {
  testing::TemporaryFolder folder;
  Store store(Settings(kSuite, folder.path()));
  EXPECT_EQ(store.load(), (ImageLibraryUIPreferences{true, 1, 3.0}));
  ImageLibraryPresentationState state(std::make_shared<Store>(Settings(kSuite, folder.path())));
  EXPECT_TRUE(state.isLibrarySectionExpanded());
  EXPECT_EQ(state.slideshowVisibleCount(), 1);
  EXPECT_EQ(state.slideshowIntervalSeconds(), 3.0);
  EXPECT_FALSE(std::filesystem::exists(Settings(kSuite, folder.path()).filePath()));
}

TEST(UserDefaultsUIPreferenceStore, StoredTypesAreReadStrictly) {
  struct Case {
    const char* name;
    std::string_view key;
    SettingsValue stored;
    ImageLibraryUIPreferences expected;
  };
  const Case cases[] = {
      {"flag stored as Boolean false", Store::kLibrarySectionExpandedKey, {false}, {false, 1, 3.0}},
      {"flag stored as the integer 0 is no Boolean",
       Store::kLibrarySectionExpandedKey,
       {std::int64_t{0}},
       {true, 1, 3.0}},
      {"flag stored as text", Store::kLibrarySectionExpandedKey, {std::string("false")}, {true, 1, 3.0}},
      {"count 12 is clamped", Store::kSlideshowVisibleCountKey, {std::int64_t{12}}, {true, 6, 3.0}},
      {"count 0 is clamped", Store::kSlideshowVisibleCountKey, {std::int64_t{0}}, {true, 1, 3.0}},
      {"count stored as a real", Store::kSlideshowVisibleCountKey, {4.0}, {true, 1, 3.0}},
      {"count stored as a Boolean", Store::kSlideshowVisibleCountKey, {true}, {true, 1, 3.0}},
      {"interval 0.1 is raised", Store::kSlideshowIntervalSecondsKey, {0.1}, {true, 1, 0.5}},
      {"interval 7.3 is normalised", Store::kSlideshowIntervalSecondsKey, {7.3}, {true, 1, 7.5}},
      {"interval stored as an integer",
       Store::kSlideshowIntervalSecondsKey,
       {std::int64_t{5}},
       {true, 1, 5.0}},
      {"interval stored as text", Store::kSlideshowIntervalSecondsKey, {std::string("2.0")}, {true, 1, 3.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TemporaryFolder folder;
    Settings(kSuite, folder.path()).set(c.key, c.stored);
    // A fresh process's view: read back from the file.
    Store store(Settings(kSuite, folder.path()));
    EXPECT_EQ(store.load(), c.expected);
  }
}

TEST(UserDefaultsUIPreferenceStore, SavesWriteBooleanIntegerAndReal) {
  testing::TemporaryFolder folder;
  Store(Settings(kSuite, folder.path())).save({false, 4, 2.5});
  Settings settings(kSuite, folder.path());
  EXPECT_EQ(settings.object(Store::kLibrarySectionExpandedKey), SettingsValue{false});
  EXPECT_EQ(settings.object(Store::kSlideshowVisibleCountKey), SettingsValue{std::int64_t{4}});
  EXPECT_EQ(settings.object(Store::kSlideshowIntervalSecondsKey), SettingsValue{2.5});
  // A whole-number interval is still written as a real.
  Store(Settings(kSuite, folder.path())).save({false, 4, 3.0});
  EXPECT_EQ(settings.object(Store::kSlideshowIntervalSecondsKey), SettingsValue{3.0});
}

TEST(UserDefaultsUIPreferenceStore, ASaveThatChangesNothingRewritesNoFile) {
  testing::TemporaryFolder folder;
  auto store = std::make_shared<Store>(Settings(kSuite, folder.path()));
  ImageLibraryPresentationState state(store);
  state.setSlideshowVisibleCount(6);
  const auto file = Settings(kSuite, folder.path()).filePath();
  watchForRewrite(file);
  state.increaseSlideshowVisibleCount();  // at the bound
  state.setIsLibrarySectionExpanded(true);
  state.setSlideshowIntervalSeconds(3.2);  // normalises to the value held
  EXPECT_FALSE(wasRewritten(file));
  state.setSlideshowIntervalSeconds(4.0);
  EXPECT_TRUE(wasRewritten(file));
  EXPECT_EQ(Store(Settings(kSuite, folder.path())).load(), (ImageLibraryUIPreferences{true, 6, 4.0}));
}

}  // namespace
}  // namespace lorvex
