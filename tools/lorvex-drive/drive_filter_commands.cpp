// lorvex-drive's filter commands: filter tags, the aspect, favorite and delete-candidate switches,
// the sort, clearing, and the model and tag suggestions. Each prints the filter state, the list it
// loaded (if any) and the first page the change brought.
#include <qcoro/qcorotask.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drive_commands.h"
#include "model/raw_value.h"
#include "store/image_library_store.h"

namespace lorvex {

namespace {

std::string joined(const std::vector<std::string>& words, std::size_t from = 0) {
  std::string text;
  for (std::size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
  return text;
}

std::string listed(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i > 0 ? ", " : "") + items[i];
  return text + "]";
}

void printFilters(const ImageLibraryStore& store) {
  std::vector<std::string> aspects;
  for (const auto aspect : store.filters().selectedAspectFilters()) aspects.emplace_back(rawValue(aspect));
  std::vector<std::string> concepts;
  for (const auto& selected : store.filters().selectedTagConcepts()) {
    concepts.push_back(std::to_string(selected.id) + ":" + selected.displayName);
  }
  std::printf("saved tags: %s\n", listed(store.filters().savedFilterTags()).c_str());
  std::printf("selected tags: %s\n", listed(store.filters().selectedFilterTags()).c_str());
  std::printf("concepts: %s\n", listed(concepts).c_str());
  std::printf("aspects: %s\n", listed(aspects).c_str());
  std::printf("favorites: %s, delete candidates: %s, review: %s\n",
              store.filters().onlyFavorites() ? "on" : "off",
              store.filters().onlyDeleteCandidates() ? "on" : "off",
              store.presentation().isDeleteCandidateReviewPresented() ? "shown" : "hidden");
  std::printf("model: %s\n",
              store.filters().selectedModelSource() ? store.filters().selectedModelSource()->c_str() : "-");
  std::printf("sort: %s\n", std::string(rawValue(store.filters().searchSort())).c_str());
}

// Runs one store operation to its end, then prints the filters and the first page.
bool runAndReport(DriveContext& context, const char* what, std::function<QCoro::Task<void>()> operation) {
  context.store.context().startDetached(std::move(operation));
  if (!context.settle(what)) return false;
  printFilters(context.store);
  context.printResults(0);
  return true;
}

bool usage(const char* text) {
  std::printf("error: usage: %s\n", text);
  return false;
}

// "on", "off", or nothing to flip the current value.
std::optional<bool> switchValue(const std::vector<std::string>& arguments, bool current) {
  if (arguments.empty()) return !current;
  if (arguments.size() == 1 && arguments[0] == "on") return true;
  if (arguments.size() == 1 && arguments[0] == "off") return false;
  return std::nullopt;
}

// "NAME [on|off]": sets a filter switch, or flips it without an argument.
void addSwitchCommand(DriveCommands& commands, const std::string& name, const std::string& what,
                      bool (FiltersModel::*current)() const, QCoro::Task<void> (FiltersModel::*set)(bool)) {
  const std::string usageText = name + " [on|off]";
  commands.add(
      name, usageText + ": " + what + " (flips it without an argument)",
      [name, usageText, current, set](DriveContext& context, const std::vector<std::string>& arguments) {
        FiltersModel& filters = context.store.filters();
        const auto value = switchValue(arguments, (filters.*current)());
        if (!value) return usage(usageText.c_str());
        return runAndReport(context, name.c_str(), [&filters, set, v = *value] { return (filters.*set)(v); });
      });
}

}  // namespace

void addFilterCommands(DriveCommands& commands) {
  commands.add("tag", "tag add|toggle|unselect|forget TAG: changes the saved and selected filter tags",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 constexpr const char* kUsage = "tag add|toggle|unselect|forget TAG";
                 if (arguments.size() < 2) return usage(kUsage);
                 ImageLibraryStore& store = context.store;
                 const std::string& action = arguments[0];
                 const std::string tag = joined(arguments, 1);
                 if (action == "add")
                   return runAndReport(context, "tag add",
                                       [&store, tag] { return store.filters().addFilterTag(tag); });
                 if (action == "toggle") {
                   return runAndReport(context, "tag toggle",
                                       [&store, tag] { return store.filters().toggleFilterTag(tag); });
                 }
                 if (action == "unselect") {
                   return runAndReport(context, "tag unselect", [&store, tag] {
                     return store.filters().removeSelectedFilterTag(tag);
                   });
                 }
                 if (action == "forget") {
                   return runAndReport(context, "tag forget",
                                       [&store, tag] { return store.filters().removeSavedFilterTag(tag); });
                 }
                 return usage(kUsage);
               });
  commands.add("aspect", "aspect portrait|landscape|square: switches that aspect filter",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 const auto aspect =
                     arguments.size() == 1 ? fromRawValue<ImageAspectFilter>(arguments[0]) : std::nullopt;
                 if (!aspect) return usage("aspect portrait|landscape|square");
                 ImageLibraryStore& store = context.store;
                 return runAndReport(context, "aspect",
                                     [&store, a = *aspect] { return store.filters().toggleAspectFilter(a); });
               });
  addSwitchCommand(commands, "favorites", "the favorites filter", &FiltersModel::onlyFavorites,
                   &FiltersModel::setOnlyFavoritesFilter);
  addSwitchCommand(commands, "candidates", "the delete-candidate filter", &FiltersModel::onlyDeleteCandidates,
                   &FiltersModel::setOnlyDeleteCandidatesFilter);
  commands.add(
      "sort",
      "sort modificationDateDescending|modificationDateAscending|fileNameAscending|fileNameDescending",
      [](DriveContext& context, const std::vector<std::string>& arguments) {
        const auto sort = arguments.size() == 1 ? fromRawValue<ImageSearchSort>(arguments[0]) : std::nullopt;
        if (!sort) {
          return usage(
              "sort "
              "modificationDateDescending|modificationDateAscending|fileNameAscending|fileNameDescending");
        }
        ImageLibraryStore& store = context.store;
        return runAndReport(context, "sort",
                            [&store, s = *sort] { return store.filters().selectSearchSort(s); });
      });
  commands.add("clear", "clear: clears every filter (the saved tags and the sort stay)",
               [](DriveContext& context, const std::vector<std::string>&) {
                 ImageLibraryStore& store = context.store;
                 return runAndReport(context, "clear",
                                     [&store] { return store.filters().clearAllFilters(); });
               });
  commands.add("models", "models [TEXT]: the model suggestions for TEXT, with their image counts",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 ImageLibraryStore& store = context.store;
                 const std::string text = joined(arguments);
                 store.suggestions().beginModelSuggestionLoading();
                 store.context().startDetached(
                     [&store, text] { return store.suggestions().loadModelSuggestions(text); });
                 if (!context.settle("models")) return false;
                 std::printf("model suggestions: %zu\n", store.suggestions().modelSuggestions().size());
                 for (const auto& model : store.suggestions().modelSuggestions()) {
                   std::printf("  %s (%lld)\n", model.value.c_str(),
                               static_cast<long long>(model.imageCount));
                 }
                 printFilters(store);
                 context.printResults(0);
                 return true;
               });
  commands.add("model", "model TEXT: limits the results to the model TEXT names",
               [](DriveContext& context, const std::vector<std::string>& arguments) {
                 if (arguments.empty()) return usage("model TEXT");
                 ImageLibraryStore& store = context.store;
                 const std::string text = joined(arguments);
                 return runAndReport(context, "model",
                                     [&store, text] { return store.filters().selectModelSource(text); });
               });
  commands.add(
      "tags", "tags [TEXT]: the tag addition rows for TEXT (raw tags and concepts) with their image counts",
      [](DriveContext& context, const std::vector<std::string>& arguments) {
        ImageLibraryStore& store = context.store;
        std::optional<std::string> text;
        if (!arguments.empty()) text = joined(arguments);
        store.suggestions().beginTagSuggestionLoading();
        store.context().startDetached(
            [&store, text] { return store.suggestions().loadTagSuggestions(text); });
        if (!context.settle("tags")) return false;
        const auto rows = store.suggestions().tagFilterSuggestions();
        std::printf("tag suggestions: %zu\n", rows.size());
        for (const auto& row : rows) {
          const std::string kind =
              row.isTagConcept() ? "concept " + std::to_string(std::get<TagConcept>(row.value).id) : "tag";
          std::printf(
              "  %s %s (%lld)%s\n", kind.c_str(), row.label().c_str(),
              static_cast<long long>(row.imageCount()),
              store.filters().isFilterTagSelected(row.label()) && !row.isTagConcept() ? " selected" : "");
        }
        printFilters(store);
        context.printResults(0);
        return true;
      });
}

}  // namespace lorvex
