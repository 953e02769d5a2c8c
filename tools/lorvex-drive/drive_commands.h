// The commands lorvex-drive runs after the launch (and the registration of its folder), in the
// order given, in one process over one store. Each concern of the store adds its commands in a
// file of its own (drive_<concern>_commands.cpp) through one add<Concern>Commands function.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex {

class ImageLibraryStore;

// What a command works with: the store and the means to wait for it and show what it holds.
struct DriveContext {
  ImageLibraryStore& store;
  std::filesystem::path library;

  // Waits until the store has no flow running; prints "error: the store did not settle after
  // <what>" and gives false when it does not within the limit.
  bool settle(const char* what) const;
  // "results: N loaded, hasMore yes|no", then the first `shownPaths` paths, indented.
  void printResults(std::size_t shownPaths = 10) const;
  // The last scan summary and its failed files.
  void printScanSummary() const;
};

// A command's arguments are the words after its name, up to the next "--".
using DriveCommandHandler = std::function<bool(DriveContext&, const std::vector<std::string>& arguments)>;

struct DriveCommand {
  std::string name;
  std::string usage;            // e.g. "mark [N]": shown in the tool's usage text
  DriveCommandHandler handler;  // false: the command failed, and the tool exits 1 after the rest
};

class DriveCommands {
 public:
  void add(std::string name, std::string usage, DriveCommandHandler handler);
  const DriveCommand* find(std::string_view name) const;
  // One line per command, in the order they were added.
  std::string usageLines() const;

 private:
  std::vector<DriveCommand> commands_;
};

// The store's error as the window's sidebar shows it, in the language of the locale the tool runs
// in (English unless it is Japanese), never the library's own text, which may be in either; empty
// when the store shows none.
std::string shownError(const ImageLibraryStore& store);

// "selection: N selected, focus PATH" (or "none"), then each selected path, indented, in the order
// the results show them.
void printSelection(const ImageLibraryStore& store);

// The commands every run has: results, select, selection.
void addResultCommands(DriveCommands& commands);
// Filter tags, switches, sort, clearing, model and tag suggestions (drive_filter_commands.cpp).
void addFilterCommands(DriveCommands& commands);
// mark, unmark, favorite, undo (drive_review_commands.cpp).
void addReviewCommands(DriveCommands& commands);
// concept create|rename|alias|unalias|assign|unassign|select (drive_concept_commands.cpp).
void addConceptCommands(DriveCommands& commands);
// The Trash review: trash-review, trash, touch.
void addTrashCommands(DriveCommands& commands);
// Changes of the disk while the store runs: write, move, wait (drive_disk_commands.cpp).
void addDiskCommands(DriveCommands& commands);

}  // namespace lorvex
