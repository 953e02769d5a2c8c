#include "database/internal/sql_paths.h"

#include <unordered_set>

#include "model/text/paths.h"

namespace lorvex::sql {

std::string inListPlaceholders(std::size_t count) {
  std::string text = "(";
  for (std::size_t i = 0; i < count; ++i) text += i == 0 ? "?" : ", ?";
  text += ")";
  return text;
}

std::string pathPrefixPredicate(std::string_view column, std::size_t pathCount) {
  const std::string col(column);
  const std::string term = "(" + col + " = ? OR substr(" + col + ", 1, length(?)) = ?)";
  std::string text = "(";
  for (std::size_t i = 0; i < pathCount; ++i) {
    if (i > 0) text += " OR ";
    text += term;
  }
  text += ")";
  return text;
}

std::string folderPrefix(std::string_view path) {
  std::string prefix(path);
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  return prefix;
}

std::string pathRangePredicate(std::string_view column) {
  const std::string col(column);
  return "(" + col + " = ? OR (" + col + " >= ? AND " + col + " < ?))";
}

SQLiteV3Bindings pathRangeBindings(std::string_view path) {
  std::string prefix = folderPrefix(path);
  std::string upperBound = prefix;
  upperBound.back() = static_cast<char>(upperBound.back() + 1);
  return {path, std::move(prefix), std::move(upperBound)};
}

SQLiteV3Bindings pathPrefixBindings(const std::vector<std::string>& paths) {
  SQLiteV3Bindings bindings;
  bindings.reserve(paths.size() * 3);
  for (const auto& path : paths) {
    std::string prefix = folderPrefix(path);
    bindings.emplace_back(path);
    bindings.emplace_back(prefix);
    bindings.emplace_back(std::move(prefix));
  }
  return bindings;
}

std::vector<std::string> standardizedUniquePaths(const std::vector<std::string>& paths) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seen;
  for (const auto& path : paths) {
    std::string standardized = text::standardizedPath(path);
    if (standardized.empty() || !seen.insert(standardized).second) continue;
    result.push_back(std::move(standardized));
  }
  return result;
}

}  // namespace lorvex::sql
