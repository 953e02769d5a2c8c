// lorvex-drive's tag-concept commands: "concept" followed by create, rename, alias, unalias,
// assign, unassign or select, each run through the store as the concept views would, then the
// concept filter, the concept list with the loaded aliases, the hand assignments of the images named
// and the first page's count are printed.
#include <qcoro/qcorotask.h>

#include <QObject>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "drive_commands.h"
#include "model/text/unicode.h"
#include "store/image_library_store.h"

namespace lorvex {

namespace {

// The words from `first` on, joined by single spaces: a name or tag may be given unquoted.
std::string joined(const std::vector<std::string>& words, std::size_t first) {
  std::string text;
  for (std::size_t i = first; i < words.size(); ++i) {
    if (!text.empty()) text += ' ';
    text += words[i];
  }
  return text;
}

// A concept of the loaded list, named by its id or by its name ignoring case.
std::optional<TagConcept> findConcept(const ImageLibraryStore& store, const std::string& word) {
  std::int64_t id = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), id);
  const bool isNumber = error == std::errc() && end == word.data() + word.size();
  for (const auto& concept_ : store.concepts().tagConcepts()) {
    if (isNumber ? concept_.id == id : text::equalIgnoringCase(concept_.displayName, word)) return concept_;
  }
  return std::nullopt;
}

// Images as the library stores their paths: absolute, links resolved.
std::vector<std::string> libraryPaths(const std::vector<std::string>& words, std::size_t first) {
  std::vector<std::string> paths;
  for (std::size_t i = first; i < words.size(); ++i) {
    std::error_code ignored;
    paths.push_back(std::filesystem::weakly_canonical(std::filesystem::absolute(words[i]), ignored).string());
  }
  return paths;
}

void printConceptState(const DriveContext& context, const std::vector<std::string>& paths) {
  const ImageLibraryStore& store = context.store;
  std::printf("filter: concepts [");
  const char* separator = "";
  for (const auto& concept_ : store.filters().selectedTagConcepts()) {
    std::printf("%s%lld \"%s\"", separator, static_cast<long long>(concept_.id),
                concept_.displayName.c_str());
    separator = ", ";
  }
  std::printf("]\nconcepts: %zu\n", store.concepts().tagConcepts().size());
  for (const auto& concept_ : store.concepts().tagConcepts()) {
    std::printf("  %lld \"%s\" images %lld", static_cast<long long>(concept_.id),
                concept_.displayName.c_str(), static_cast<long long>(concept_.imageCount));
    const auto aliases = store.concepts().tagConceptAliasesByID().find(concept_.id);
    if (aliases != store.concepts().tagConceptAliasesByID().end()) {
      std::printf(" aliases [");
      separator = "";
      for (const auto& alias : aliases->second) {
        std::printf("%s%s", separator, alias.tag.c_str());
        separator = ", ";
      }
      std::printf("]");
    }
    if (!paths.empty()) {
      std::printf(" assigned by hand %d of %zu",
                  store.concepts().manualTagConceptAssignmentCount(concept_.id, paths), paths.size());
    }
    std::printf("\n");
  }
  context.printResults(0);
}

// Notes whether the store showed an error while a command ran.
class ErrorWatch {
 public:
  explicit ErrorWatch(ImageLibraryStore& store) {
    QObject::connect(&store.context(), &StoreContext::errorMessageChanged, &context_,
                     [this, &store] { shown_ = shown_ || store.context().errorMessage().has_value(); });
  }
  bool shown() const { return shown_; }

 private:
  QObject context_;
  bool shown_ = false;
};

bool runConceptCommand(DriveContext& context, const std::vector<std::string>& arguments) {
  ImageLibraryStore& store = context.store;
  if (!store.context().featureAvailability().isTagConceptEnabled) {
    std::printf("error: concept commands need --tag-concepts\n");
    return false;
  }
  const std::string action = arguments.empty() ? std::string() : arguments[0];
  static const std::vector<std::string> kActions = {"create", "rename",   "alias", "unalias",
                                                    "assign", "unassign", "select"};
  if (std::find(kActions.begin(), kActions.end(), action) == kActions.end()) {
    std::printf("error: concept: unknown action \"%s\"\n", action.c_str());
    return false;
  }
  const bool namesConcept = action != "create";
  const std::size_t needed = action == "select" ? 2 : namesConcept ? 3 : 2;
  if (arguments.size() < needed) {
    std::printf("error: concept %s: missing arguments\n", action.c_str());
    return false;
  }
  std::optional<TagConcept> concept_;
  if (namesConcept) {
    concept_ = findConcept(store, arguments[1]);
    if (!concept_) {
      std::printf("error: concept %s: no concept %s\n", action.c_str(), arguments[1].c_str());
      return false;
    }
  }

  ErrorWatch errors(store);
  bool succeeded = true;
  std::vector<std::string> paths;
  if (action == "create") {
    const auto created = QCoro::waitFor(store.concepts().createTagConcept(joined(arguments, 1)));
    succeeded = created.has_value();
    if (created)
      std::printf("concept: created %lld \"%s\"\n", static_cast<long long>(created->id),
                  created->displayName.c_str());
  } else if (action == "rename") {
    succeeded =
        QCoro::waitFor(store.concepts().renameTagConcept(concept_->id, joined(arguments, 2))).has_value();
  } else if (action == "alias") {
    succeeded = QCoro::waitFor(store.concepts().addTagConceptAlias(concept_->id, joined(arguments, 2)));
  } else if (action == "unalias") {
    QCoro::waitFor(store.concepts().removeTagConceptAlias(concept_->id, joined(arguments, 2)));
  } else if (action == "assign" || action == "unassign") {
    paths = libraryPaths(arguments, 2);
    QCoro::waitFor(store.concepts().setManualTagConceptAssignment(concept_->id, paths, action == "assign"));
  } else {
    QCoro::waitFor(store.filters().toggleSelectedTagConcept(*concept_));
  }
  if (!context.settle(("concept " + action).c_str())) return false;
  // What a view would load for the list: the named concept's aliases, and the hand assignments of
  // the images named (the read-back re-reads an earlier scope instead, as it does for a view).
  if (concept_ && action != "alias" && action != "unalias") {
    QCoro::waitFor(store.concepts().loadTagConceptAliases(concept_->id));
  }
  if (!paths.empty()) QCoro::waitFor(store.concepts().loadManualTagConceptAssignments(paths));
  printConceptState(context, paths);
  return succeeded && !errors.shown();
}

}  // namespace

void addConceptCommands(DriveCommands& commands) {
  commands.add("concept",
               "concept create NAME | rename CONCEPT NAME | alias CONCEPT TAG | unalias CONCEPT TAG | "
               "assign CONCEPT PATH... | unassign CONCEPT PATH... | select CONCEPT: tag concepts (needs "
               "--tag-concepts; CONCEPT is an id or a name; select toggles the concept filter)",
               runConceptCommand);
}

}  // namespace lorvex
