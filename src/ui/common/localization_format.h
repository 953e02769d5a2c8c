// The formatter of localized texts: a small, safe subset of printf over texts that come from the
// localization tables. The C printf is never given a table text: a placeholder that does not match
// its argument would read the wrong type or past the argument list.
//
// Known placeholders, optionally with a position "%N$" (N from 1) before the conversion:
//   %ld %d   an integer argument, in decimal
//   %f %.Nf  a decimal argument with 6 or N fraction digits, the given decimal separator, no grouping
//   %@ %s    a text argument, as it is
//   %%       one "%"
// Anything else, a "%" that starts no known placeholder included, is copied unchanged. Placeholders
// without a position take the arguments in order; positional ones do not move that order on.
// An argument whose kind differs from its placeholder is written by its own kind (an integer in
// decimal, a decimal with the placeholder's fraction digits or 6, a text as it is); a placeholder
// whose argument is missing is copied unchanged. Nothing is read past the argument list.
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lorvex::ui {

// One format argument: an integer, a decimal number or a text (UTF-8).
using FormatArgument = std::variant<std::int64_t, double, std::string>;
using FormatArguments = std::vector<FormatArgument>;

enum class FormatArgumentKind { integer, decimal, text };

// A placeholder of a format text: which argument it writes (from 0) and the kind it expects.
struct FormatPlaceholder {
  std::size_t argumentIndex = 0;
  FormatArgumentKind kind = FormatArgumentKind::integer;
  friend bool operator==(const FormatPlaceholder&, const FormatPlaceholder&) = default;
};

// The placeholders of `format` in the order they appear ("%%" and copied text are not placeholders).
std::vector<FormatPlaceholder> formatPlaceholders(std::string_view format);

// `format` with its placeholders replaced by the arguments, as described above.
std::string formatLocalizedText(std::string_view format, std::span<const FormatArgument> arguments,
                                std::string_view decimalSeparator);

}  // namespace lorvex::ui
