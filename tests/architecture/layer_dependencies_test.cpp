// The layers form one chain, model <- metadata <- database <- services <- store <- ui <- app, with
// platform beside it: a layer includes only itself and the layers before it, platform includes
// none of ours, only metadata and later layers include platform, and src/database/internal/ is
// included from src/database alone. This test reads every file under src/ and fails on the first
// include that breaks one of these rules, naming the file, the line and the rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 7> kChain = {"model", "metadata", "database", "services",
                                                     "store", "ui",       "app"};
constexpr std::string_view kPlatform = "platform";

std::optional<std::size_t> chainIndex(std::string_view layer) {
  const auto found = std::find(kChain.begin(), kChain.end(), layer);
  if (found == kChain.end()) return std::nullopt;
  return static_cast<std::size_t>(found - kChain.begin());
}

std::string_view firstComponent(std::string_view path) {
  return path.substr(0, path.find('/'));
}

// Why a file at `file` (relative to src/) may not include `included` (as written between the
// quotes); nothing when it may. Includes of files that are not ours (no known first folder) are
// not judged.
std::optional<std::string> layerViolation(std::string_view file, std::string_view included) {
  const std::string_view from = firstComponent(file);
  const std::string_view to = firstComponent(included);
  const bool toIsOurs = to == kPlatform || chainIndex(to).has_value();
  if (!toIsOurs || from == to) {
    if (included.starts_with("database/internal/") && !file.starts_with("database/"))
      return "database/internal/ is included from src/database alone";
    return std::nullopt;
  }
  if (from == kPlatform) return "platform includes nothing of ours";
  if (to == kPlatform) {
    if (from == "model") return "model stands before platform and may not include it";
    return std::nullopt;
  }
  const auto fromIndex = chainIndex(from);
  if (!fromIndex) return std::nullopt;  // a folder outside the layers
  if (*chainIndex(to) > *fromIndex)
    return std::string(from) + " may not include the later layer " + std::string(to);
  if (included.starts_with("database/internal/")) return "database/internal/ is included from src/database alone";
  return std::nullopt;
}

// The quoted include paths of one source text, with their 1-based line numbers.
std::vector<std::pair<int, std::string>> quotedIncludes(std::istream& in) {
  std::vector<std::pair<int, std::string>> includes;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string_view rest(line);
    const auto start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos || rest[start] != '#') continue;
    rest.remove_prefix(start + 1);
    rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
    if (!rest.starts_with("include")) continue;
    const auto open = rest.find('"');
    if (open == std::string_view::npos) continue;
    const auto close = rest.find('"', open + 1);
    if (close == std::string_view::npos) continue;
    includes.emplace_back(number, std::string(rest.substr(open + 1, close - open - 1)));
  }
  return includes;
}

TEST(LayerDependencies, RuleTable) {
  struct Case {
    std::string_view file;
    std::string_view included;
    bool allowed;
  };
  const Case cases[] = {
      {"model/prompt_tags.cpp", "model/text/unicode.h", true},
      {"model/prompt_tags.cpp", "services/image_library_service.h", false},
      {"model/prompt_tags.cpp", "platform/log.h", false},
      {"metadata/png_text_chunk_reader.cpp", "model/raw_value.h", true},
      {"metadata/png_text_chunk_reader.cpp", "platform/log.h", true},
      {"metadata/png_text_chunk_reader.cpp", "database/schema.h", false},
      {"database/schema.cpp", "database/internal/row_mappers.h", true},
      {"services/indexing/scanner.cpp", "database/internal/row_mappers.h", false},
      {"services/indexing/scanner.cpp", "database/sqlite_image_repository.h", true},
      {"services/indexing/scanner.cpp", "store/image_library_store.h", false},
      {"platform/log.cpp", "platform/clock.h", true},
      {"platform/log.cpp", "model/raw_value.h", false},
      {"store/image_library_store.cpp", "services/image_library_servicing.h", true},
      {"store/image_library_store.cpp", "ui/common/app_localization.h", false},
      {"ui/results/grid.cpp", "store/image_library_store.h", true},
      {"ui/results/grid.cpp", "app/main_window.h", false},
      {"app/main.cpp", "ui/results/grid.h", true},
      {"app/main.cpp", "database/internal/row_mappers.h", false},
      {"model/text/unicode.cpp", "unicode/uchar.h", true},  // not ours
  };
  for (const auto& c : cases)
    EXPECT_EQ(!layerViolation(c.file, c.included).has_value(), c.allowed) << c.file << " -> " << c.included;
}

TEST(LayerDependencies, EverySourceFileKeepsToItsLayer) {
  const fs::path src = fs::path(LORVEX_SOURCE_DIR) / "src";
  ASSERT_TRUE(fs::is_directory(src)) << src;
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    const auto extension = entry.path().extension();
    if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
    ++files;
    const std::string relative = entry.path().lexically_relative(src).generic_string();
    std::ifstream in(entry.path());
    for (const auto& [line, included] : quotedIncludes(in)) {
      if (const auto why = layerViolation(relative, included))
        ADD_FAILURE() << "src/" << relative << ":" << line << " includes \"" << included << "\": " << *why;
    }
  }
  EXPECT_GT(files, 100u);
}

}  // namespace
