// The character suggestions the person chose to hide, kept in the settings suite the application
// chose at start-up under "characterSuggestionExclusions" as an array of text.
//
// Thread safety: no copy of its own; any thread (the application uses it from the main thread).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/settings.h"

namespace lorvex {

// normalizedFilterTags, then sorted ignoring letter case in the user's language, ties by byte order.
std::vector<std::string> normalizedCharacterSuggestionExclusions(const std::vector<std::string>& exclusions);

class CharacterSuggestionExclusionPersisting {
 public:
  virtual ~CharacterSuggestionExclusionPersisting() = default;
  virtual std::vector<std::string> loadExclusions() const = 0;
  virtual void saveExclusions(const std::vector<std::string>& exclusions) = 0;
};

// "UserDefaults" here is a platform::Settings suite, a JSON file in the user's settings folder.
class UserDefaultsCharacterSuggestionExclusionStore final : public CharacterSuggestionExclusionPersisting {
 public:
  static constexpr std::string_view kExclusionsKey = "characterSuggestionExclusions";

  explicit UserDefaultsCharacterSuggestionExclusionStore(platform::Settings userDefaults)
      : userDefaults_(std::move(userDefaults)) {}

  // The stored exclusions, normalized; nothing stored or a value of another shape reads as none.
  std::vector<std::string> loadExclusions() const override;
  // Stores the normalized exclusions in the shape loadExclusions reads. Never fails.
  void saveExclusions(const std::vector<std::string>& exclusions) override;

 private:
  platform::Settings userDefaults_;
};

}  // namespace lorvex
