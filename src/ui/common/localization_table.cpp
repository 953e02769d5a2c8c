#include "ui/common/localization_table.h"

#include <QFile>
#include <QString>
#include <nlohmann/json.hpp>

#include "platform/json_nesting.h"
#include "platform/log.h"

namespace lorvex::ui {
namespace {

constexpr std::string_view kLogCategory = "Localization";

bool isJapanese(std::string_view tag) {
  if (tag.size() < 2) return false;
  const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  if (lower(tag[0]) != 'j' || lower(tag[1]) != 'a') return false;
  return tag.size() == 2 || tag[2] == '-' || tag[2] == '_' || tag[2] == '.' || tag[2] == '@';
}

}  // namespace

std::optional<LocalizationTable> parseLocalizationTable(std::string_view json) {
  // The table is one flat object: anything nested deeper is refused before the parser recurses.
  if (!platform::jsonNestingWithin(json, 2)) return std::nullopt;
  const auto document = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) return std::nullopt;
  LocalizationTable table;
  for (const auto& [key, value] : document.items()) {
    if (value.is_string()) table.insert_or_assign(key, value.get<std::string>());
  }
  return table;
}

LocalizationTable bundledLocalizationTable(std::string_view language) {
  // A language is a bare tag: nothing that could name another resource.
  const bool isTag = !language.empty() &&
                     language.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_") ==
                         std::string_view::npos;
  if (!isTag) {
    platform::logError(kLogCategory,
                       "no localization table for the language \"" + std::string(language) + "\"");
    return {};
  }
  const QString path =
      QStringLiteral(":/l10n/%1.json").arg(QString::fromUtf8(language.data(), language.size()));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    platform::logError(kLogCategory, "no localization table for " + std::string(language));
    return {};
  }
  const QByteArray bytes = file.readAll();
  auto table =
      parseLocalizationTable(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!table) {
    platform::logError(kLogCategory,
                       "the localization table for " + std::string(language) + " is not a JSON object");
    return {};
  }
  return std::move(*table);
}

std::string_view localizationLanguage(std::span<const std::string> preferredLanguages) {
  if (!preferredLanguages.empty() && isJapanese(preferredLanguages.front())) return kJapaneseLanguage;
  return kEnglishLanguage;
}

}  // namespace lorvex::ui
