#include "ui/common/localization_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace lorvex::ui {
namespace {

// Fraction digits beyond this are not written: a table text cannot make one number fill pages.
constexpr std::size_t kMaxFractionDigits = 64;
constexpr std::size_t kMaxNumberDigits = 9;
constexpr std::size_t kDefaultFractionDigits = 6;

struct Placeholder {
  std::size_t length = 0;               // bytes, from the "%"
  std::optional<std::size_t> position;  // argument index of "%N$", from 0
  std::optional<std::size_t> fractionDigits;
  FormatArgumentKind kind = FormatArgumentKind::integer;
};

// The decimal number of at most kMaxNumberDigits digits at `at`, moving `at` past it.
std::optional<std::size_t> readNumber(std::string_view text, std::size_t& at) {
  std::size_t value = 0;
  std::size_t digits = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    if (++digits > kMaxNumberDigits) return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(text[at] - '0');
    ++at;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

// The known placeholder that starts with the "%" at `start`, if one does.
std::optional<Placeholder> parsePlaceholder(std::string_view format, std::size_t start) {
  Placeholder placeholder;
  std::size_t at = start + 1;
  if (at < format.size() && format[at] >= '1' && format[at] <= '9') {
    const auto number = readNumber(format, at);
    if (!number || at >= format.size() || format[at] != '$') return std::nullopt;
    placeholder.position = *number - 1;
    ++at;
  }
  if (at < format.size() && format[at] == '.') {
    ++at;
    const auto digits = readNumber(format, at);
    if (!digits) return std::nullopt;
    placeholder.fractionDigits = std::min(*digits, kMaxFractionDigits);
  }
  const std::string_view rest = format.substr(std::min(at, format.size()));
  std::size_t conversionLength = 1;
  if (rest.starts_with("ld")) {
    placeholder.kind = FormatArgumentKind::integer;
    conversionLength = 2;
  } else if (rest.starts_with('d')) {
    placeholder.kind = FormatArgumentKind::integer;
  } else if (rest.starts_with('f')) {
    placeholder.kind = FormatArgumentKind::decimal;
  } else if (rest.starts_with('@') || rest.starts_with('s')) {
    placeholder.kind = FormatArgumentKind::text;
  } else {
    return std::nullopt;
  }
  if (placeholder.fractionDigits && placeholder.kind != FormatArgumentKind::decimal) return std::nullopt;
  placeholder.length = at + conversionLength - start;
  return placeholder;
}

// Walks `format`: literal text goes to onText, each placeholder with its argument index to
// onPlaceholder(placeholder, index, its text).
template <class OnText, class OnPlaceholder>
void walkFormat(std::string_view format, OnText onText, OnPlaceholder onPlaceholder) {
  std::size_t nextSequential = 0;
  std::size_t literalStart = 0;
  std::size_t at = 0;
  while ((at = format.find('%', at)) != std::string_view::npos) {
    if (format.substr(at).starts_with("%%")) {
      onText(format.substr(literalStart, at + 1 - literalStart));  // up to and with one "%"
      at += 2;
      literalStart = at;
      continue;
    }
    const auto placeholder = parsePlaceholder(format, at);
    if (!placeholder) {
      ++at;  // an unknown "%" stays in the literal text
      continue;
    }
    onText(format.substr(literalStart, at - literalStart));
    const std::size_t index = placeholder->position ? *placeholder->position : nextSequential++;
    onPlaceholder(*placeholder, index, format.substr(at, placeholder->length));
    at += placeholder->length;
    literalStart = at;
  }
  onText(format.substr(literalStart));
}

void appendInteger(std::string& out, std::int64_t value) {
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

void appendDecimal(std::string& out, double value, std::size_t fractionDigits, std::string_view separator) {
  // The largest double has 309 integer digits; with a sign, the point and the fraction it fits.
  std::array<char, 320 + kMaxFractionDigits> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, static_cast<int>(fractionDigits));
  const std::string_view written(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  const std::size_t point = written.find('.');
  if (point == std::string_view::npos) {
    out.append(written);
    return;
  }
  out.append(written.substr(0, point));
  out.append(separator);
  out.append(written.substr(point + 1));
}

}  // namespace

std::vector<FormatPlaceholder> formatPlaceholders(std::string_view format) {
  std::vector<FormatPlaceholder> placeholders;
  walkFormat(
      format, [](std::string_view) {},
      [&](const Placeholder& placeholder, std::size_t index, std::string_view) {
        placeholders.push_back({index, placeholder.kind});
      });
  return placeholders;
}

std::string formatLocalizedText(std::string_view format, std::span<const FormatArgument> arguments,
                                std::string_view decimalSeparator) {
  std::string out;
  out.reserve(format.size() + 16);
  walkFormat(
      format, [&](std::string_view text) { out.append(text); },
      [&](const Placeholder& placeholder, std::size_t index, std::string_view placeholderText) {
        if (index >= arguments.size()) {
          out.append(placeholderText);
          return;
        }
        const std::size_t fractionDigits = placeholder.fractionDigits.value_or(kDefaultFractionDigits);
        std::visit(
            [&](const auto& value) {
              using Value = std::decay_t<decltype(value)>;
              if constexpr (std::is_same_v<Value, std::int64_t>) {
                appendInteger(out, value);
              } else if constexpr (std::is_same_v<Value, double>) {
                appendDecimal(out, value, fractionDigits, decimalSeparator);
              } else {
                out.append(value);
              }
            },
            arguments[index]);
      });
  return out;
}

}  // namespace lorvex::ui
