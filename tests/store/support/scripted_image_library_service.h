// A library service for store tests, benchmarks and developer tools, scripted call by call.
//
// Every call is recorded. A call whose name is held blocks its pool thread until the test lets it
// go, with the default answer, a value of its own or an error; every other call is answered at
// once. The default answer of `searchImages` comes from an in-memory library of up to some 100,000
// records, filtered, sorted and paged as the database would for the queries the store builds; a
// query with a condition the fake does not model fails loudly instead of answering wrongly. The
// other calls answer from lists the test sets, or with an empty value.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <any>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "services/image_library_servicing.h"

namespace lorvex::testing {

struct ServiceCall {
  std::uint64_t id = 0;  // 1, 2, … in the order the calls began
  std::string name;      // the method's name: "searchImages", "enqueueThumbnailJobs", …
  std::optional<ImageSearchQuery> query;
  std::vector<std::string> paths;    // paths, root URLs or folder URLs the call was given
  std::vector<ImageFileInfo> files;  // the files a move to the Trash was given, as reviewed
  std::optional<std::string> text;   // a suggestion text, a display name, a tag
  std::int64_t number = 0;           // a limit, a concept id, an event id
  std::stop_token stop;
};

class ScriptedImageLibraryService final : public ImageLibraryServicing {
 public:
  ScriptedImageLibraryService() = default;
  ~ScriptedImageLibraryService() override;

  // ---- Holding and releasing ----
  void hold(const std::string& name);
  void holdAll();
  // Stops holding `name` (already held calls stay held).
  void answerImmediately(const std::string& name);
  // Releases every held call with its default answer and answers every later call at once: what
  // a test's teardown needs so that no pool thread stays blocked.
  void shutDown();

  // Lets held call `id` go with its default answer (or the setAnswer override).
  void release(std::uint64_t id);
  // Lets held call `id` go with `value`, which must be of the call's return type (nothing for a
  // call that returns nothing: use release).
  template <typename T>
  void releaseWith(std::uint64_t id, T value) {
    settle(id, Outcome{std::any(std::move(value))});
  }
  void fail(std::uint64_t id, std::exception_ptr error);
  void releaseAll();

  std::vector<ServiceCall> calls() const;
  std::vector<ServiceCall> calls(const std::string& name) const;
  // Calls still waiting for release, oldest first.
  std::vector<ServiceCall> heldCalls() const;
  std::vector<ServiceCall> heldCalls(const std::string& name) const;
  // Calls blocked on a pool thread right now that nothing has released yet.
  std::size_t blockedCount() const;
  // Runs the event loop until `count` calls named `name` are held; fails the test after 5 s.
  bool waitForHeld(const std::string& name, std::size_t count = 1) const;

  // ---- The in-memory library and answers ----
  void setRecords(std::vector<ImageRecord> records);
  std::vector<ImageRecord> records() const;
  // What searchImages answers for `query`.
  std::vector<ImageRecord> libraryAnswer(const ImageSearchQuery& query) const;
  void setRegisteredFolderSummaries(std::vector<RegisteredFolderSummary> summaries);
  void setTagSuggestions(std::vector<TagSuggestion> suggestions);
  void setTagConcepts(std::vector<TagConcept> concepts);
  void setModelSuggestions(std::vector<ModelSuggestion> suggestions);
  void setThumbnailRunSummary(ThumbnailJobRunSummary summary);
  // Overrides the default answer of every call named `name`: the function's value must be of the
  // call's return type (an empty std::any for a call that returns nothing); a thrown exception is
  // the call's error.
  void setAnswer(const std::string& name, std::function<std::any(const ServiceCall&)> answer);

  // ---- Monitoring ----
  // The handlers of the last startMonitoring that succeeded are kept until stopMonitoring or the
  // next start. These call them on a thread of their own, as the monitor's thread would, and
  // return once the handler has; false when nothing is monitored.
  bool deliverFolderChanges(const RegisteredFolderChangeBatch& batch);
  bool endMonitoring(const FolderChangeMonitorError& error);
  bool isMonitoring() const;

  // ---- ImageLibraryServicing ----
  std::vector<TagConcept> searchTagConcepts(const std::optional<std::string>& query,
                                            std::int64_t limit) override;
  std::vector<TagConceptAlias> tagConceptAliases(std::int64_t conceptID) override;
  std::vector<TagConceptManualAssignment> tagConceptImageAssignments(
      const std::vector<std::string>& imagePaths) override;
  TagConcept createTagConcept(const std::string& displayName) override;
  TagConcept renameTagConcept(std::int64_t conceptID, const std::string& displayName) override;
  void addTagConceptAlias(std::int64_t conceptID, const std::string& tag) override;
  void removeTagConceptAlias(std::int64_t conceptID, const std::string& tag) override;
  void assignImagesToTagConcept(std::int64_t conceptID, const std::vector<std::string>& imagePaths) override;
  void unassignImagesFromTagConcept(std::int64_t conceptID,
                                    const std::vector<std::string>& imagePaths) override;
  std::vector<ImageRecord> searchImages(const ImageSearchQuery& query, std::stop_token stop) override;
  std::vector<TagSuggestion> tagSuggestions(const std::optional<std::string>& text,
                                            std::int64_t limit) override;
  std::vector<ModelSuggestion> modelSuggestions(const std::optional<std::string>& text,
                                                std::int64_t limit) override;
  std::optional<ImageDragPayload> imageDragPayload(const ImageRecord& record) override;
  std::vector<RegisteredFolderSummary> registeredFolderSummaries() override;
  std::vector<RegisteredFolderSummary> registeredFolderList() override;
  ImageLibraryScanSummary scanLibrary(const std::vector<std::string>& rootURLs,
                                      const ProgressHandler& progress, std::stop_token stop) override;
  ImageLibraryScanSummary scanChangedPaths(const std::vector<std::string>& changedURLs,
                                           const std::vector<std::string>& rootURLs,
                                           const ProgressHandler& progress, std::stop_token stop) override;
  ImageLibraryScanSummary syncRegisteredFolder(const std::string& path, const ProgressHandler& progress,
                                               std::stop_token stop) override;
  std::optional<ImageLibraryScanSummary> resumeInterruptedIndexing(const ProgressHandler& progress,
                                                                   std::stop_token stop) override;
  std::optional<std::vector<std::string>> interruptedIndexingRootURLs() override;
  std::vector<std::string> restoreFolderAccess() override;
  std::optional<RegisteredFolderEventCheckpoint> folderEventCheckpoint(
      const std::vector<std::string>& rootURLs) override;
  std::uint64_t currentFolderEventID() override;
  void storeFolderEventID(const std::vector<std::string>& rootURLs, std::uint64_t eventID) override;
  RegisteredFolderRoots registeredFolderRoots() override;
  void startMonitoring(const std::vector<std::string>& rootURLs, std::optional<std::uint64_t> sinceEventID,
                       FolderChangeHandler onChange, FolderMonitoringFailureHandler onEnded) override;
  void stopMonitoring() override;
  void registerFolders(const std::vector<std::string>& folderURLs) override;
  void unregisterFolder(const std::string& path) override;
  void reauthorizeFolder(const std::string& selectedURL, const std::string& path) override;
  void updateReviewState(const std::string& path, const ReviewState& state) override;
  void updateReviewStates(const std::vector<ReviewStateUpdate>& updates) override;
  std::vector<ImageRecord> restoreDeleteCandidateStates(
      const std::vector<DeleteCandidateStateRestore>& restores) override;
  ImageTrashSummary moveDeleteCandidatesToTrash(const std::vector<ImageFileInfo>& reviewedFiles) override;
  void enqueueThumbnailJobs(const std::vector<std::string>& paths) override;
  ThumbnailJobRunSummary generatePendingThumbnails(std::int64_t limit, std::stop_token stop) override;
  ThumbnailCacheSweepSummary sweepThumbnailCache(double cutoff) override;

 private:
  struct UseDefault {};
  using Outcome = std::variant<UseDefault, std::any, std::exception_ptr>;
  struct Held {
    ServiceCall call;
    std::optional<Outcome> outcome;
    // Its own, so that letting one call go wakes only its thread, not every held one.
    std::shared_ptr<std::condition_variable> released = std::make_shared<std::condition_variable>();
  };

  // Records the call, waits while it is held, and gives its outcome.
  Outcome enter(ServiceCall call, ServiceCall& recorded);
  void settle(std::uint64_t id, Outcome outcome);
  // The call's answer: the test's value, the override, or `fallback`.
  template <typename T, typename Fallback>
  T answer(ServiceCall call, Fallback fallback);

  mutable std::mutex mutex_;
  // Signalled when a woken call has left its wait (shutDown waits for the last one).
  mutable std::condition_variable left_;
  std::uint64_t nextID_ = 1;
  std::vector<ServiceCall> calls_;
  std::map<std::uint64_t, Held> held_;
  std::size_t blocked_ = 0;
  bool holdAll_ = false;
  bool shutDown_ = false;
  std::set<std::string> heldNames_;
  std::map<std::string, std::function<std::any(const ServiceCall&)>> overrides_;
  FolderChangeHandler onChange_;
  FolderMonitoringFailureHandler onEnded_;

  std::vector<ImageRecord> records_;
  std::vector<RegisteredFolderSummary> summaries_;
  std::vector<TagSuggestion> tagSuggestions_;
  std::vector<TagConcept> tagConcepts_;
  std::vector<ModelSuggestion> modelSuggestions_;
  ThumbnailJobRunSummary thumbnailRunSummary_;
};

}  // namespace lorvex::testing
