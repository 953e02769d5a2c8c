// The saved filter tags, kept in the settings suite the application chose at start-up (the
// standard one, or a UI-testing run's own) under "filterTags" as an array of text.
//
// Thread safety: the store holds no copy of its own; every load reads the settings and every save
// writes them, so any thread may call it (the application uses it from the main thread).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace lorvex {

// Each tag trimmed of whitespace with inner runs of whitespace collapsed to one space; empty tags
// dropped, and of tags equal ignoring letter case (text::equalIgnoringCase) only the first kept,
// as it was written; order kept.
std::vector<std::string> normalizedFilterTags(const std::vector<std::string>& tags);

// The texts with ill-formed UTF-8 repaired (U+FFFD), so that settings can store them.
std::vector<std::string> storableTexts(const std::vector<std::string>& texts);

class FilterTagPersisting {
 public:
  virtual ~FilterTagPersisting() = default;
  virtual std::vector<std::string> loadFilterTags() const = 0;
  virtual void saveFilterTags(const std::vector<std::string>& tags) = 0;
};

// "UserDefaults" here is a platform::Settings suite, a JSON file in the user's settings folder.
class UserDefaultsFilterTagStore final : public FilterTagPersisting {
 public:
  static constexpr std::string_view kFilterTagsKey = "filterTags";

  explicit UserDefaultsFilterTagStore(platform::Settings userDefaults)
      : userDefaults_(std::move(userDefaults)) {}

  const platform::Settings& userDefaults() const { return userDefaults_; }

  // The stored tags, normalized; nothing stored, a value that is not an array, or an array holding
  // anything but text reads as no tags (and stays stored until the next save).
  std::vector<std::string> loadFilterTags() const override;
  // Stores the normalized tags. Never fails: a file that cannot be written is logged by the
  // settings layer and the value is kept for this run.
  void saveFilterTags(const std::vector<std::string>& tags) override;

 private:
  platform::Settings userDefaults_;
};

}  // namespace lorvex
