// UI preferences kept in memory only, for compositions that must not persist anything: load()
// gives the value last saved, the defaults before the first save.
//
// Thread safety: any thread; the value is guarded by a mutex.
#pragma once

#include <mutex>

#include "store/presentation/image_library_ui_preferences.h"

namespace lorvex {

class TransientImageLibraryUIPreferenceStore final : public ImageLibraryUIPreferencePersisting {
 public:
  explicit TransientImageLibraryUIPreferenceStore(
      ImageLibraryUIPreferences preferences = kDefaultUIPreferences)
      : preferences_(preferences) {}

  ImageLibraryUIPreferences load() override {
    std::lock_guard lock(mutex_);
    return preferences_;
  }
  void save(const ImageLibraryUIPreferences& preferences) override {
    std::lock_guard lock(mutex_);
    preferences_ = preferences;
  }

 private:
  std::mutex mutex_;
  ImageLibraryUIPreferences preferences_;  // guarded by mutex_
};

}  // namespace lorvex
