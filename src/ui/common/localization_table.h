// The texts behind the localization keys: one table per language, a JSON object of key → text,
// built into the program as a Qt resource (":/l10n/<language>.json").
//
// Thread safety: pure functions; the resource read may run on any thread.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lorvex::ui {

using LocalizationTable = std::map<std::string, std::string, std::less<>>;

// The languages the program has tables for.
inline constexpr std::string_view kEnglishLanguage = "en";
inline constexpr std::string_view kJapaneseLanguage = "ja";

// The table of a JSON object; entries whose value is not a text are left out. Nothing when the
// text is not a JSON object.
std::optional<LocalizationTable> parseLocalizationTable(std::string_view json);

// The table built into the program for `language`; empty (every key then shows as itself, which
// is logged) when there is none or it cannot be read.
LocalizationTable bundledLocalizationTable(std::string_view language);

// The language to show for the user's preferred interface languages, most preferred first (BCP 47
// tags such as "ja-JP" or "en-US"): Japanese when the first is Japanese, English otherwise.
std::string_view localizationLanguage(std::span<const std::string> preferredLanguages);

}  // namespace lorvex::ui
