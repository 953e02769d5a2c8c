// SQLiteV3Binding: one statement parameter. A statement's parameters are an ordered list; the
// element at index i binds placeholder i + 1.
//
// Text and blobs are bound with their exact byte length (text may hold U+0000); an empty blob is a
// zero-length blob, never NULL. Integral values of any width bind as 64-bit integers (unsigned
// values above INT64_MAX wrap); an absent optional binds NULL.
//
// Thread safety: a plain value.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lorvex {

class SQLiteV3Binding {
 public:
  struct Null {
    friend bool operator==(Null, Null) = default;
  };
  struct Blob {
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Blob&, const Blob&) = default;
  };
  // Text owned elsewhere, bound without a copy (see borrowedText).
  struct BorrowedText {
    std::string_view text;
    friend bool operator==(const BorrowedText&, const BorrowedText&) = default;
  };
  // In declaration order: int, real, text, blob, null, borrowed text.
  using Value = std::variant<std::int64_t, double, std::string, Blob, Null, BorrowedText>;

  SQLiteV3Binding() : value_(Null{}) {}
  template <std::integral Integer>
  SQLiteV3Binding(Integer value) : value_(static_cast<std::int64_t>(value)) {}
  SQLiteV3Binding(double value) : value_(value) {}
  SQLiteV3Binding(std::string value) : value_(std::move(value)) {}
  SQLiteV3Binding(std::string_view value) : value_(std::string(value)) {}
  SQLiteV3Binding(const char* value) : value_(std::string(value)) {}
  SQLiteV3Binding(Blob value) : value_(std::move(value)) {}
  template <typename T>
  SQLiteV3Binding(const std::optional<T>& value) : SQLiteV3Binding() {
    if (value) *this = SQLiteV3Binding(*value);
  }

  static SQLiteV3Binding null() { return {}; }
  // A text bound as it lies, for texts of many megabytes that a row only passes on: `text` must
  // outlive every statement run with this binding.
  static SQLiteV3Binding borrowedText(std::string_view text) {
    SQLiteV3Binding binding;
    binding.value_ = BorrowedText{text};
    return binding;
  }
  // The text of a text binding, owned or borrowed; nothing for any other kind.
  std::optional<std::string_view> text() const {
    if (const auto* owned = std::get_if<std::string>(&value_)) return *owned;
    if (const auto* borrowed = std::get_if<BorrowedText>(&value_)) return borrowed->text;
    return std::nullopt;
  }
  static SQLiteV3Binding blob(std::span<const std::uint8_t> bytes) {
    return Blob{std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
  }

  const Value& value() const { return value_; }

  // Same case and equal payload; reals compare as floating-point numbers.
  friend bool operator==(const SQLiteV3Binding&, const SQLiteV3Binding&) = default;

 private:
  Value value_;
};

using SQLiteV3Bindings = std::vector<SQLiteV3Binding>;

// The bindings of `values`, each converted once. A braced list converts every value into an
// initializer list and then copies it into the vector: twice the memory of each text, which for
// a prompt of tens of megabytes matters.
template <typename... Values>
SQLiteV3Bindings makeBindings(Values&&... values) {
  SQLiteV3Bindings bindings;
  bindings.reserve(sizeof...(values));
  (bindings.emplace_back(std::forward<Values>(values)), ...);
  return bindings;
}

}  // namespace lorvex
