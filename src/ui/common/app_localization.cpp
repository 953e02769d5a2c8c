#include "ui/common/app_localization.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <mutex>
#include <utility>
#include <vector>

namespace lorvex::ui {
namespace {

// The interface language and decimal separator of the system locale at this moment.
AppLocalization makeLiveLocalization() {
  const QLocale system = QLocale::system();
  std::vector<std::string> preferred;
  for (const QString& language : system.uiLanguages()) preferred.push_back(language.toStdString());
  return AppLocalization::overTable(bundledLocalizationTable(localizationLanguage(preferred)),
                                    system.decimalPoint().toStdString());
}

}  // namespace

AppLocalization::AppLocalization(LookupFunction lookup) : lookup_(std::move(lookup)) {}

AppLocalization AppLocalization::overTable(LocalizationTable table, std::string decimalSeparator) {
  // Copies of the value share one immutable table.
  auto shared = std::make_shared<const LocalizationTable>(std::move(table));
  return AppLocalization([shared = std::move(shared), separator = std::move(decimalSeparator)](
                             std::string_view key, const FormatArguments& arguments) {
    const auto found = shared->find(key);
    const std::string_view text = found == shared->end() ? key : std::string_view(found->second);
    if (arguments.empty()) return std::string(text);
    return formatLocalizedText(text, arguments, separator);
  });
}

const AppLocalization& AppLocalization::live() {
  static std::once_flag once;
  // Never destroyed: views and threads may still look texts up while the process exits.
  static const AppLocalization* instance = nullptr;
  std::call_once(once, [] { instance = new AppLocalization(makeLiveLocalization()); });
  return *instance;
}

std::string AppLocalization::lookup(std::string_view key, const FormatArguments& arguments) const {
  return lookup_ ? lookup_(key, arguments) : std::string(key);
}

}  // namespace lorvex::ui
