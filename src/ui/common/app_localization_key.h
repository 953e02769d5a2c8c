// Every key the program looks a text up by. Callers that know their key when they are written pass
// the key string; callers that choose one while running (a plural form, a toggled label, a key kept
// in a presentation value) choose a case and ask for its key string. Both end in the same lookup.
//
// Thread safety: constants and pure functions, callable from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "model/image_aspect.h"

namespace lorvex::ui {

enum class AppLocalizationKey : std::uint16_t {
#define LORVEX_LOCALIZATION_KEY(name, key) name,
#include "ui/common/app_localization_keys.def"
#undef LORVEX_LOCALIZATION_KEY
};

inline constexpr std::size_t kAppLocalizationKeyCount = 0
#define LORVEX_LOCALIZATION_KEY(name, key) +1
#include "ui/common/app_localization_keys.def"
#undef LORVEX_LOCALIZATION_KEY
    ;

// The key string of a case ("deleteCandidateReview.title"); total over the enumeration.
std::string_view keyString(AppLocalizationKey key);

// Every case, in the enumeration's order.
std::span<const AppLocalizationKey, kAppLocalizationKeyCount> allAppLocalizationKeys();

// The plural form for a count: `one` for exactly 1, `other` for every other count (0, 2 and more,
// and negative counts).
constexpr AppLocalizationKey pluralKey(std::int64_t count, AppLocalizationKey one, AppLocalizationKey other) {
  return count == 1 ? one : other;
}

// The name of an aspect-ratio filter, as its sidebar row and its filter chip show it.
AppLocalizationKey aspectFilterNameKey(ImageAspectFilter aspect);

}  // namespace lorvex::ui
