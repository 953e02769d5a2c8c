// TagConceptsModel: the tag concepts the concept views show and change: the concept list, the
// aliases of the concepts a view opened, and the hand assignments of the images a view shows, with
// the flows that load them and the five changes (create, rename, add and remove an alias, set a
// hand assignment).
//
// Every observed field has a getter and a change signal; it is stored silently when equal and
// signalled once, after storing, when different. The generations that drop stale answers and the
// busy flag's setter are the model's own (tests reach them through TagConceptsModelTestAccess).
//
// What a change needs of the features around it (the concept suggestions, a fresh first page) it
// asks through TagConceptDependents; what it tells them it signals (tagConceptStored). The
// composition wires both.
//
// Thread safety: the creating thread only (the main thread); flows return to it before they touch
// a field.
#pragma once

#include <qcoro/qcorotask.h>

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/tag_concept.h"
#include "services/image_library_servicing.h"
#include "store/async/creating_thread.h"
#include "store/concepts/tag_concept_dependents.h"
#include "store/context/store_context.h"
#include "store/path_set.h"

namespace lorvex {

class TagConceptsModel : public QObject {
  Q_OBJECT

 public:
  // `context` and `dependents` outlive the model.
  TagConceptsModel(StoreContext& context, TagConceptDependents& dependents, QObject* parent = nullptr);
  ~TagConceptsModel() override;

  // The store this model belongs to: its scope is where a view starts flows that use the model.
  StoreContext& context() const { return context_; }

  const std::vector<TagConcept>& tagConcepts() const { return tagConcepts_; }
  const std::map<std::int64_t, std::vector<TagConceptAlias>>& tagConceptAliasesByID() const {
    return tagConceptAliasesByID_;
  }
  const std::unordered_set<TagConceptManualAssignment>& manualTagConceptAssignments() const {
    return manualTagConceptAssignments_;
  }
  // The images whose hand assignments are loaded: a count covers only these.
  const PathSet& manualTagConceptAssignmentScopePaths() const {
    return manualTagConceptAssignmentScopePaths_;
  }
  bool isTagConceptMutationInProgress() const { return isTagConceptMutationInProgress_; }

  // Replaces the concept list. The tag suggestion load sets it when it read the whole list (no
  // search text); it claims no generation, so a newer concept load or read-back still wins.
  void setTagConcepts(std::vector<TagConcept> value);

  // ---- Loading ----

  // At most this many concepts make up the concept list.
  static constexpr std::int64_t kTagConceptListLimit = 500;

  // The three loads of concept state, each on the utility pool. A load bumps its own generation
  // and applies its answer or its failure only while that generation is still current: a newer
  // load of the same kind (for aliases: of the same concept) or a concept mutation outdates it, so
  // state never goes back to an older answer. A superseded load runs out and is ignored. A failure
  // shows its text and keeps the state; a success clears only the text a failed suggestion or
  // concept load showed. With tag concepts switched off nothing is asked of the service: the loads
  // apply what a library without concepts would answer (no concepts, aliases or assignments).
  //
  // The whole concept list into `tagConcepts`, as the service orders it.
  QCoro::Task<void> loadTagConcepts();
  // The active aliases of one concept into `tagConceptAliasesByID`. Loads of different concepts
  // never drop each other's answers.
  QCoro::Task<void> loadTagConceptAliases(std::int64_t conceptID);
  // The hand assignments of these images (empty and repeated paths dropped): the scope becomes the
  // paths at once and the assignments empty until the answer arrives, so counts read 0 meanwhile.
  // No path left: scope and assignments are emptied without a call.
  QCoro::Task<void> loadManualTagConceptAssignments(std::vector<std::string> imagePaths);
  // How many of these images (each distinct non-empty path once) are assigned to the concept by
  // hand; 0 unless the loaded scope covers every one of them.
  int manualTagConceptAssignmentCount(std::int64_t conceptID,
                                      const std::vector<std::string>& imagePaths) const;

  // ---- Mutations ----

  // The five concept changes share one shape. Input is normalised first (names and tags: inner
  // whitespace collapsed, ends trimmed; paths: empty and repeated ones dropped); when nothing is
  // left the call returns at once without a flag or a service call. While another mutation runs
  // (`isTagConceptMutationInProgress`) the call is dropped, not queued. Otherwise the flag rises
  // until the call ends by any path; every concept load in flight is outdated; the service call runs
  // on the user-initiated pool; then the concept list, the concept suggestions and the aliases or
  // assignments the change touches are read back on the utility pool and each applied unless a
  // newer load claimed it. A failure of the call or of the read-back shows its text and refreshes
  // nothing.
  //
  // Create and rename give the concept as stored (nothing when the call was not made or failed; the
  // concept when only the read-back failed), put it into `tagConcepts`, signal tagConceptStored at
  // once, and clear the error message after the read-back.
  QCoro::Task<std::optional<TagConcept>> createTagConcept(std::string displayName);
  QCoro::Task<std::optional<TagConcept>> renameTagConcept(std::int64_t conceptID, std::string displayName);
  // The alias and assignment changes end with a fresh first page. True when the library took the
  // alias (then a view may clear its input), even if the read-back failed.
  QCoro::Task<bool> addTagConceptAlias(std::int64_t conceptID, std::string tag);
  QCoro::Task<void> removeTagConceptAlias(std::int64_t conceptID, std::string tag);
  // Assigns the images to the concept by hand (`assign`), or takes the hand assignment back; sets
  // the state, whatever it was. The read-back covers the loaded assignment scope when there is one,
  // else these paths, which then become the scope.
  QCoro::Task<void> setManualTagConceptAssignment(std::int64_t conceptID, std::vector<std::string> imagePaths,
                                                  bool assign);

 Q_SIGNALS:
  void tagConceptsChanged();
  void tagConceptAliasesByIDChanged();
  void manualTagConceptAssignmentsChanged();
  void manualTagConceptAssignmentScopePathsChanged();
  void isTagConceptMutationInProgressChanged();
  // A created or renamed concept as the library stored it, right after it entered `tagConcepts`
  // (before the read-back): whatever else shows the concept shows it under its new name.
  void tagConceptStored(const lorvex::TagConcept& concept_);

 private:
  friend struct TagConceptsModelTestAccess;

  void setTagConceptAliasesByID(std::map<std::int64_t, std::vector<TagConceptAlias>> value);
  void setManualTagConceptAssignments(std::unordered_set<TagConceptManualAssignment> value);
  void setManualTagConceptAssignmentScopePaths(PathSet value);
  void setIsTagConceptMutationInProgress(bool value);

  // Bumps the alias generation of `conceptID` (an absent entry counts as 0) and returns it.
  int advanceTagConceptAliasGeneration(std::int64_t conceptID);

  // The generations a mutation's read-back claims, taken (and bumped) on the main thread. Taking
  // one outdates every concept, suggestion, alias (of the named concept) and assignment load (when
  // paths are named) in flight.
  struct TagConceptMutationReadContext {
    int conceptGeneration = 0;
    TagConceptSuggestionClaim suggestions;
    std::optional<int> aliasGeneration;
    std::optional<int> assignmentGeneration;
    // The loaded scope, sorted, when there is one; else the named paths.
    std::optional<std::vector<std::string>> assignmentPaths;
  };
  struct TagConceptMutationReadback {
    std::vector<TagConcept> concepts;
    std::vector<TagConcept> suggestions;
    std::optional<std::vector<TagConceptAlias>> aliases;
    std::optional<std::vector<TagConceptManualAssignment>> assignments;
  };
  // The service call of one mutation, run on the user-initiated pool: the stored concept for create
  // and rename, nothing for the others.
  using TagConceptMutationCall = std::function<std::optional<TagConcept>(ImageLibraryServicing&)>;
  enum class AfterTagConceptReadback { clearErrorMessage, refreshResults };
  struct TagConceptMutationResult {
    bool stored = false;  // the service call succeeded
    std::optional<TagConcept> concept_;
  };

  TagConceptMutationReadContext makeTagConceptMutationReadContext(
      std::optional<std::int64_t> aliasConceptID,
      const std::optional<std::vector<std::string>>& assignmentPaths);
  // Reads back on the utility pool and applies each part still claimed by the context; throws the
  // first service error, applying nothing then.
  QCoro::Task<void> loadTagConceptMutationReadback(TagConceptMutationReadContext context,
                                                   std::optional<std::int64_t> aliasConceptID);
  // Puts a created or renamed concept into `tagConcepts` (count descending, name ignoring case,
  // id) and signals tagConceptStored. No search.
  void applyMutatedTagConcept(const TagConcept& concept_);
  // Create and rename: the name normalised, then `naming` run as the mutation's call.
  using TagConceptNaming = std::function<TagConcept(ImageLibraryServicing&, const std::string& name)>;
  QCoro::Task<std::optional<TagConcept>> storeTagConceptName(std::string displayName,
                                                             TagConceptNaming naming);
  // Adds (`adds`) or removes an alias; true when the library took the change.
  QCoro::Task<bool> changeTagConceptAlias(std::int64_t conceptID, std::string tag, bool adds);
  // The shared shape of the five mutations, from the busy check on; the input is validated.
  QCoro::Task<TagConceptMutationResult> runTagConceptMutation(
      TagConceptMutationCall call, std::optional<std::int64_t> aliasConceptID,
      std::optional<std::vector<std::string>> assignmentPaths, AfterTagConceptReadback after);

  CreatingThread creatingThread_;
  StoreContext& context_;
  TagConceptDependents& dependents_;

  std::vector<TagConcept> tagConcepts_;
  std::map<std::int64_t, std::vector<TagConceptAlias>> tagConceptAliasesByID_;
  std::unordered_set<TagConceptManualAssignment> manualTagConceptAssignments_;
  PathSet manualTagConceptAssignmentScopePaths_;
  bool isTagConceptMutationInProgress_{false};

  // Advanced by every load of their kind that starts and by every mutation; an answer applies only
  // while the generation it took is current.
  int tagConceptGeneration_{0};
  std::map<std::int64_t, int> tagConceptAliasGenerations_;
  int manualTagConceptAssignmentGeneration_{0};
};

}  // namespace lorvex
