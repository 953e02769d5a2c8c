#include "drive_commands.h"

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

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
}

std::string shownError(const ImageLibraryStore& store) {
  const ui::SidebarErrorPresentation error{
      store.context().errorMessage(), store.trash().lastTrashSummary(), {}, store.context().errorNotice()};
  return error.message(ui::AppLocalization::live()).value_or(std::string());
}

}  // namespace lorvex
