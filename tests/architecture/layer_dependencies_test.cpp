// Which file under src/ may include which. This test reads every file under src/ and fails on each
// include that breaks one of these rules, naming the file, the line and the rule.
//
// The layers: model first; metadata and database are siblings on it (neither includes the other);
// services over both; the store, the views and the app over services, reaching the library through
// the service, never the database. platform stands beside them: it includes none of ours, and
// every layer after model may include it.
//
// Folders inside a layer:
// - A folder's public headers are those outside its internal/ subfolder; internal/ holds what only
//   that folder includes (src/database/internal/, and so any src/store/<feature>/internal/ or
//   src/ui/<view>/internal/). So the store's feature folders include each other only through their
//   public headers.
// - A view folder (src/ui/<view>/) includes of the ui only ui/common and itself, and the public
//   headers of a view it hosts (kHostedViews); ui/common, which the views share, includes no view.
// - The ui takes the store's feature models it reads, never the store's composition
//   (store/image_library_store.h): the app composes the store and hands each view its models.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Layer {
  std::string_view name;
  std::vector<std::string_view> uses;  // the other layers it may include
};

const std::array<Layer, 8> kLayers = {{
    {"model", {}},
    {"platform", {}},
    {"metadata", {"model", "platform"}},
    {"database", {"model", "platform"}},
    {"services", {"model", "platform", "metadata", "database"}},
    {"store", {"model", "platform", "metadata", "services"}},
    {"ui", {"model", "platform", "metadata", "services", "store"}},
    {"app", {"model", "platform", "metadata", "services", "store", "ui"}},
}};

// A view placed inside another view's widgets: the host may include the hosted view's public
// headers. None today: the views are placed side by side by the app.
struct HostedView {
  std::string_view host;
  std::string_view hosted;
};
constexpr std::array<HostedView, 0> kHostedViews{};

constexpr std::string_view kSharedUIFolder = "common";
constexpr std::string_view kStoreComposition = "store/image_library_store.h";

const Layer* layerNamed(std::string_view name) {
  const auto found =
      std::find_if(kLayers.begin(), kLayers.end(), [name](const Layer& l) { return l.name == name; });
  return found == kLayers.end() ? nullptr : &*found;
}

// The path's folders and file name.
std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const auto slash = path.find('/');
    parts.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

// The folder whose internal/ the path lies in ("database", "store/results"); nothing when the path
// is in no internal/ folder.
std::optional<std::string_view> internalOwner(std::string_view path) {
  const auto at = path.find("/internal/");
  if (at == std::string_view::npos) return std::nullopt;
  return path.substr(0, at);
}

// The view folder of a path under ui/ ("results" for ui/results/grid.h); nothing for ui/common and
// for files directly in ui/.
std::optional<std::string_view> viewFolder(const std::vector<std::string_view>& parts) {
  if (parts.size() < 3 || parts[0] != "ui" || parts[1] == kSharedUIFolder) return std::nullopt;
  return parts[1];
}

// Why the file at `file` (relative to src/) may not include `included` (as written between the
// quotes); nothing when it may. Includes of files that are not ours (no known first folder) are not
// judged.
std::optional<std::string> includeViolation(std::string_view file, std::string_view included,
                                            std::span<const HostedView> hostedViews = kHostedViews) {
  const auto from = components(file);
  const auto to = components(included);
  const Layer* fromLayer = layerNamed(from.front());
  const Layer* toLayer = layerNamed(to.front());
  if (fromLayer == nullptr || toLayer == nullptr) return std::nullopt;

  if (fromLayer != toLayer) {
    const auto& uses = fromLayer->uses;
    if (std::find(uses.begin(), uses.end(), toLayer->name) == uses.end()) {
      const auto isOneOf = [](std::string_view name, std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), name) != names.end();
      };
      if (fromLayer->name == "platform") return "platform includes nothing of ours";
      if (isOneOf(fromLayer->name, {"metadata", "database"}) &&
          isOneOf(toLayer->name, {"metadata", "database"}))
        return "metadata and database are siblings: neither includes the other";
      if (toLayer->name == "database" && isOneOf(fromLayer->name, {"store", "ui", "app"}))
        return std::string(fromLayer->name) + " reaches the library through services, never database";
      return std::string(fromLayer->name) + " may not include the later layer " + std::string(toLayer->name);
    }
  }

  if (fromLayer->name == "ui" && included == kStoreComposition)
    return "a view takes the store's feature models it reads; the composition is the app's";

  if (const auto owner = internalOwner(included); owner && !file.starts_with(std::string(*owner) + "/"))
    return std::string(*owner) + "/internal/ is included from src/" + std::string(*owner) + " alone";

  if (fromLayer->name == "ui" && toLayer->name == "ui" && from.size() >= 3) {
    const auto fromView = viewFolder(from);
    const auto toView = viewFolder(to);
    if (!toView || toView == fromView) return std::nullopt;
    if (!fromView) return "ui/common is shared by the views and includes none of them";
    const bool hosts = std::any_of(hostedViews.begin(), hostedViews.end(), [&](const HostedView& h) {
      return h.host == *fromView && h.hosted == *toView;
    });
    if (!hosts)
      return "a view includes of the ui only ui/common, itself and the views it hosts; " +
             std::string(*fromView) + " does not host " + std::string(*toView);
  }
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
  // An example of hosting, for the rows below: the review hosts the results grid.
  const std::array<HostedView, 1> reviewHostsResults = {{{"review", "results"}}};
  struct Case {
    std::string_view file;
    std::string_view included;
    bool allowed;
  };
  const Case cases[] = {
      // The layers.
      {"model/prompt_tags.cpp", "model/text/unicode.h", true},
      {"model/prompt_tags.cpp", "services/image_library_service.h", false},
      {"model/prompt_tags.cpp", "platform/log.h", false},
      {"metadata/png_text_chunk_reader.cpp", "model/raw_value.h", true},
      {"metadata/png_text_chunk_reader.cpp", "platform/log.h", true},
      {"metadata/png_text_chunk_reader.cpp", "database/schema.h", false},
      {"database/open_and_migrate.cpp", "metadata/generation_metadata_parser.h", false},
      {"database/open_and_migrate.cpp", "model/search_cancelled_error.h", true},
      {"services/indexing/scanner.cpp", "metadata/png_text_chunk_reader.h", true},
      {"services/indexing/scanner.cpp", "database/sqlite_image_repository.h", true},
      {"services/indexing/scanner.cpp", "store/image_library_store.h", false},
      {"platform/log.cpp", "platform/clock.h", true},
      {"platform/log.cpp", "model/raw_value.h", false},
      {"store/image_library_store.cpp", "services/image_library_servicing.h", true},
      {"store/image_library_store_search.cpp", "database/sqlite_image_repository_error.h", false},
      {"store/image_library_store.cpp", "ui/common/app_localization.h", false},
      {"ui/results/grid.cpp", "store/image_library_store.h", false},
      {"ui/results/grid.cpp", "store/results/results_model.h", true},
      {"app/content_view.cpp", "store/image_library_store.h", true},
      {"ui/results/grid.cpp", "database/sqlite_image_repository.h", false},
      {"ui/results/grid.cpp", "app/main_window.h", false},
      {"app/main.cpp", "ui/results/grid.h", true},
      {"model/text/unicode.cpp", "unicode/uchar.h", true},  // not ours
      // internal/ folders.
      {"database/schema.cpp", "database/internal/row_mappers.h", true},
      {"database/internal/schema.cpp", "database/internal/row_mappers.h", true},
      {"services/indexing/scanner.cpp", "database/internal/row_mappers.h", false},
      {"app/main.cpp", "database/internal/row_mappers.h", false},
      // The store's feature folders.
      {"store/results/results_model.cpp", "store/results/internal/window_paging.h", true},
      {"store/results/internal/window_paging.cpp", "store/results/internal/window_paging.h", true},
      {"store/review/review_model.cpp", "store/results/results_model.h", true},
      {"store/review/review_model.cpp", "store/results/internal/window_paging.h", false},
      {"store/image_library_store.cpp", "store/results/internal/window_paging.h", false},
      {"store/image_library_store.cpp", "store/review/review_model.h", true},
      {"ui/results/grid.cpp", "store/results/internal/window_paging.h", false},
      {"store/review/review_model.cpp", "store/async/store_task.h", true},
      // The views.
      {"ui/results/grid.cpp", "ui/common/symbol_icon.h", true},
      {"ui/results/grid.cpp", "ui/results/grid_model.h", true},
      {"ui/detail/preview.cpp", "ui/results/results_grid_view.h", false},
      {"ui/review/sheet.cpp", "ui/results/results_grid_view.h", true},
      {"ui/review/sheet.cpp", "ui/results/internal/tile_cache.h", false},
      {"ui/results/grid.cpp", "ui/review/sheet.h", false},
      {"ui/results/internal/tile_cache.cpp", "ui/results/internal/tile_cache.h", true},
      {"ui/common/symbol_icon.cpp", "ui/results/grid.h", false},
      {"ui/common/symbol_icon.cpp", "ui/common/plain_text.h", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!includeViolation(c.file, c.included, reviewHostsResults).has_value(), c.allowed)
        << c.file << " -> " << c.included;
}

TEST(LayerDependencies, EverySourceFileKeepsToTheRules) {
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
      if (const auto why = includeViolation(relative, included))
        ADD_FAILURE() << "src/" << relative << ":" << line << " includes \"" << included << "\": " << *why;
    }
  }
  EXPECT_GT(files, 100u);
}

}  // namespace
