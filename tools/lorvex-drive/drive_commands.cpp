#include "drive_commands.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/image_library_store.h"
#include "store/store_idle.h"
#include "ui/common/app_localization.h"
#include "ui/sidebar/sidebar_error_presentation.h"

namespace lorvex {

namespace {

// Launching, registering and each command get this long to settle.
constexpr std::chrono::minutes kSettleTimeout{30};

}  // namespace

bool DriveContext::settle(const char* what) const {
  if (waitUntilStoreIdle(store, kSettleTimeout)) return true;
  std::printf("error: the store did not settle after %s\n", what);
  return false;
}

void DriveContext::printResults(std::size_t shownPaths) const {
  const auto& records = store.results().resultWindow().records();
  std::printf("results: %zu loaded, hasMore %s\n", records.size(),
              store.results().resultWindow().hasMoreRecords() ? "yes" : "no");
  for (std::size_t i = 0; i < records.size() && i < shownPaths; ++i) {
    std::printf("  %s\n", records[i]->file.path.c_str());
  }
}

void DriveContext::printScanSummary() const {
  const auto& summary = store.library().lastScanSummary();
  if (!summary) {
    std::printf("scan: none recorded\n");
    return;
  }
  std::printf(
      "scan: scanned %lld indexed %lld failed %lld\n", static_cast<long long>(summary->scannedFileCount),
      static_cast<long long>(summary->indexedImageCount), static_cast<long long>(summary->failedFileCount));
  for (const auto& failure : summary->failures) {
    std::printf("  failed: %s: %s\n", failure.path.c_str(), failure.message.c_str());
  }
}

void DriveCommands::add(std::string name, std::string usage, DriveCommandHandler handler) {
  commands_.push_back({std::move(name), std::move(usage), std::move(handler)});
}

const DriveCommand* DriveCommands::find(std::string_view name) const {
  for (const auto& command : commands_) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::string DriveCommands::usageLines() const {
  std::string lines;
  for (const auto& command : commands_) lines += "  " + command.usage + "\n";
  return lines;
}

namespace {

// The count of "select N"; nothing after printing why for anything else.
std::optional<std::size_t> selectionCount(const std::vector<std::string>& arguments) {
  if (arguments.size() == 1) {
    try {
      std::size_t used = 0;
      const unsigned long count = std::stoul(arguments[0], &used);
      if (used == arguments[0].size()) return static_cast<std::size_t>(count);
    } catch (const std::exception&) {
    }
  }
  std::printf("error: select takes one count\n");
  return std::nullopt;
}

// Selects the first `count` loaded results with the focus and the anchor on the first, as a click
// on it and Shift-click on the last would.
bool selectFirst(DriveContext& context, const std::vector<std::string>& arguments) {
  const std::optional<std::size_t> count = selectionCount(arguments);
  if (!count) return false;
  const auto& records = context.store.results().resultWindow().records();
  PathSet paths;
  for (std::size_t i = 0; i < records.size() && i < *count; ++i) paths.insert(records[i]->file.path);
  const std::optional<std::string> first =
      paths.empty() ? std::nullopt : std::optional(records.front()->file.path);
  ResultSelection& selection = context.store.results().selection();
  selection.setPrimaryPath(first);
  selection.setSelectedPaths(std::move(paths));
  selection.setAnchorPath(first);
  printSelection(context.store);
  return true;
}

}  // namespace

void printSelection(const ImageLibraryStore& store) {
  const ResultSelection& selection = store.results().selection();
  const PathSet selected = selection.effectiveSelectedPaths();
  std::printf("selection: %zu selected, focus %s\n", selected.size(),
              selection.primaryPath() ? selection.primaryPath()->c_str() : "none");
  // In the order the results show them; any not loaded last.
  PathSet listed;
  for (const RecordRef& record : store.results().resultWindow().records()) {
    if (selected.contains(record->file.path) && listed.insert(record->file.path))
      std::printf("  %s\n", record->file.path.c_str());
  }
  for (const std::string_view path : selected) {
    if (!listed.contains(path)) std::printf("  %.*s\n", static_cast<int>(path.size()), path.data());
  }
}

void addResultCommands(DriveCommands& commands) {
  commands.add("results", "results [N]: the loaded results and their first N paths (10)",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 std::size_t shown = 10;
                 if (!arguments.empty()) {
                   try {
                     shown = static_cast<std::size_t>(std::stoul(arguments[0]));
                   } catch (const std::exception&) {
                     std::printf("error: results takes a count, not %s\n", arguments[0].c_str());
                     return false;
                   }
                 }
                 context.printResults(shown);
                 return true;
               });
  commands.add("select", "select N: selects the first N loaded results, the focus on the first", selectFirst);
  commands.add("selection",
               "selection: the number of selected results and the focus, then each selected path",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 if (!arguments.empty()) {
                   std::printf("error: selection takes no arguments\n");
                   return false;
                 }
                 printSelection(context.store);
                 return true;
               });
}

std::string shownError(const ImageLibraryStore& store) {
  const ui::SidebarErrorPresentation error{
      store.context().errorMessage(), store.trash().lastTrashSummary(), {}, store.context().errorNotice()};
  return error.message(ui::AppLocalization::live()).value_or(std::string());
}

}  // namespace lorvex
