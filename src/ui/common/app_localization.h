// The one way a view, a presentation builder or a command turns a localization key into the text
// it shows. An AppLocalization is a small value around one lookup function; the program uses the
// shared `live()` instance, tests hand views one over a table of their own (or one that answers the
// key itself).
//
// Lookup of a key with arguments:
//   1. the text of the key in the table; a key the table lacks comes back as the key itself;
//   2. with no arguments, that text unchanged (a "%" in it is shown as it is);
//   3. otherwise the text formatted with the arguments (localization_format.h), decimals written
//      with the locale's decimal separator.
// Plural texts are ".one" / ".other" key pairs chosen by the caller (pluralKey); lookup knows
// nothing of plurals.
//
// Thread safety: an AppLocalization holds only immutable state; lookup may be called from any
// thread. live() is built once, by whichever thread asks first.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ui/common/app_localization_key.h"
#include "ui/common/localization_format.h"
#include "ui/common/localization_table.h"

namespace lorvex::ui {

class AppLocalization {
 public:
  using LookupFunction = std::function<std::string(std::string_view key, const FormatArguments& arguments)>;

  explicit AppLocalization(LookupFunction lookup);

  // Lookup by the steps above, over `table`, with `decimalSeparator` for decimal arguments.
  static AppLocalization overTable(LocalizationTable table, std::string decimalSeparator);

  // The program's instance, made on first use and kept for the life of the process: the table of
  // the user's interface language (Japanese when the first preferred language of the system locale
  // is Japanese, English otherwise) and the system locale's decimal separator. A change of the
  // user's locale while the program runs is followed at the next launch.
  static const AppLocalization& live();

  std::string lookup(std::string_view key, const FormatArguments& arguments = {}) const;
  std::string lookup(AppLocalizationKey key, const FormatArguments& arguments = {}) const {
    return lookup(keyString(key), arguments);
  }

 private:
  LookupFunction lookup_;
};

}  // namespace lorvex::ui
