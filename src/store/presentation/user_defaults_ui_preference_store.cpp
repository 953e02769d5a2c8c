#include "store/presentation/user_defaults_ui_preference_store.h"

namespace lorvex {

ImageLibraryUIPreferences UserDefaultsUIPreferenceStore::load() {
  ImageLibraryUIPreferences preferences = kDefaultUIPreferences;
  if (const auto expanded = userDefaults_.boolean(kLibrarySectionExpandedKey)) {
    preferences.isLibrarySectionExpanded = *expanded;
  }
  if (const auto count = userDefaults_.integer(kSlideshowVisibleCountKey)) {
    preferences.slideshowVisibleCount = clampedSlideshowVisibleCount(*count);
  }
  if (const auto interval = userDefaults_.real(kSlideshowIntervalSecondsKey)) {
    preferences.slideshowIntervalSeconds = normalizedSlideshowIntervalSeconds(*interval);
  }
  return preferences;
}

void UserDefaultsUIPreferenceStore::save(const ImageLibraryUIPreferences& preferences) {
  setIfDifferent(kLibrarySectionExpandedKey, platform::SettingsValue{preferences.isLibrarySectionExpanded});
  setIfDifferent(kSlideshowVisibleCountKey,
                 platform::SettingsValue{static_cast<std::int64_t>(preferences.slideshowVisibleCount)});
  setIfDifferent(kSlideshowIntervalSecondsKey, platform::SettingsValue{preferences.slideshowIntervalSeconds});
}

void UserDefaultsUIPreferenceStore::setIfDifferent(std::string_view key, platform::SettingsValue value) {
  // Same type and value: nothing to write. An integer 3 where a real 3.0 belongs is rewritten.
  if (userDefaults_.object(key) == value) return;
  userDefaults_.set(key, std::move(value));
}

}  // namespace lorvex
