// A localizer whose text names the key and its arguments ("key(a,b)"), so a test sees exactly
// which key a presentation looked up and with what.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "ui/common/app_localization.h"

namespace lorvex::ui::testing {

inline std::string echoText(std::string_view key, const FormatArguments& arguments = {}) {
  std::string text(key);
  if (arguments.empty()) return text;
  text += "(";
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) text += ",";
    std::visit(
        [&text](const auto& value) {
          if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
            text += value;
          } else {
            text += "#" + std::to_string(value);  // numbers marked, so a count passed as text shows
          }
        },
        arguments[i]);
  }
  return text + ")";
}

inline AppLocalization echoLocalization() {
  return AppLocalization(&echoText);
}

}  // namespace lorvex::ui::testing
