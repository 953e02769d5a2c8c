// The UI preferences in the application's settings suite (the standard one, or a UI-testing run's
// own) under "ui.librarySectionExpanded" (Boolean), "ui.slideshowVisibleCount" (integer) and
// "ui.slideshowIntervalSeconds" (real).
//
// Reading is strict about types: the section flag only as a Boolean (an integer 0 is not one),
// the count only as an integer, the interval as a real or an integer; anything else reads as the
// default. Values read are brought into range.
//
// Saving writes only the keys whose stored value differs, so saving an unchanged set rewrites no
// file: every settings write replaces the file and syncs it to disk, on the thread that saves.
//
// Thread safety: as platform::Settings (any thread); the store keeps nothing of its own.
#pragma once

#include <string_view>

#include "platform/settings.h"
#include "store/presentation/image_library_ui_preferences.h"

namespace lorvex {

class UserDefaultsUIPreferenceStore final : public ImageLibraryUIPreferencePersisting {
 public:
  static constexpr std::string_view kLibrarySectionExpandedKey = "ui.librarySectionExpanded";
  static constexpr std::string_view kSlideshowVisibleCountKey = "ui.slideshowVisibleCount";
  static constexpr std::string_view kSlideshowIntervalSecondsKey = "ui.slideshowIntervalSeconds";

  explicit UserDefaultsUIPreferenceStore(platform::Settings userDefaults)
      : userDefaults_(std::move(userDefaults)) {}

  const platform::Settings& userDefaults() const { return userDefaults_; }

  ImageLibraryUIPreferences load() override;
  void save(const ImageLibraryUIPreferences& preferences) override;

 private:
  void setIfDifferent(std::string_view key, platform::SettingsValue value);

  platform::Settings userDefaults_;
};

}  // namespace lorvex
