#include "store/support/scripted_image_library_service.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

#include "database/sqlite_image_repository_error.h"
#include "store/event_loop.h"

// Calls are described with designated initializers that name only the fields they use; GCC 12
// warns for every omitted field even though each has a default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace lorvex::testing {

namespace {

bool isUnder(const std::string& path, const std::string& root) {
  if (root.empty()) return false;
  if (root.back() == '/') return path.starts_with(root);
  return path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/';
}

bool containsAll(const std::vector<std::string>& have, const std::vector<std::string>& wanted) {
  return std::all_of(wanted.begin(), wanted.end(), [&](const std::string& tag) {
    return std::find(have.begin(), have.end(), tag) != have.end();
  });
}

bool matches(const ImageRecord& record, const ImageSearchQuery& query) {
  if (query.favorite && record.reviewState.favorite != *query.favorite) return false;
  if (query.deleteCandidate && record.reviewState.deleteCandidate != *query.deleteCandidate) return false;
  if (query.missing) {
    if (record.isMissing != *query.missing) return false;
  } else if (!query.includeMissing && record.isMissing) {
    return false;
  }
  if (!query.rootPaths.empty() &&
      std::none_of(query.rootPaths.begin(), query.rootPaths.end(),
                   [&](const std::string& root) { return isUnder(record.file.path, root); })) {
    return false;
  }
  if (query.source && record.metadata.source != query.source) return false;
  return containsAll(record.promptTags, query.filterTags);
}

// Orders as the database does for each sort, with the path as the final tie-break.
bool precedes(const ImageRecord& a, const ImageRecord& b, ImageSearchSort sort) {
  const auto fileName = [](const ImageRecord& r) {
    const auto slash = r.file.path.rfind('/');
    return slash == std::string::npos ? r.file.path : r.file.path.substr(slash + 1);
  };
  switch (sort) {
    case ImageSearchSort::modificationDateDescending:
      if (a.file.modificationDate != b.file.modificationDate)
        return a.file.modificationDate > b.file.modificationDate;
      return a.file.path < b.file.path;
    case ImageSearchSort::modificationDateAscending:
      if (a.file.modificationDate != b.file.modificationDate)
        return a.file.modificationDate < b.file.modificationDate;
      return a.file.path < b.file.path;
    case ImageSearchSort::fileNameAscending:
      if (fileName(a) != fileName(b)) return fileName(a) < fileName(b);
      return a.file.path < b.file.path;
    case ImageSearchSort::fileNameDescending:
      if (fileName(a) != fileName(b)) return fileName(a) > fileName(b);
      return a.file.path > b.file.path;
  }
  return false;
}

void refuseUnmodelled(const ImageSearchQuery& query) {
  if (!query.text.empty() || !query.promptTags.empty() || !query.filterConceptIDs.empty() ||
      !query.aspectFilters.empty() || query.characterText || query.seed) {
    throw std::logic_error(
        "the scripted service does not model text, prompt tag, concept, aspect, character or seed "
        "conditions");
  }
}

template <typename Item>
std::vector<Item> firstMatching(const std::vector<Item>& items, const std::optional<std::string>& text,
                                std::int64_t limit, const std::string& (*name)(const Item&)) {
  std::vector<Item> result;
  for (const auto& item : items) {
    if (limit >= 0 && static_cast<std::int64_t>(result.size()) >= limit) break;
    if (!text || text->empty() || name(item).find(*text) != std::string::npos) result.push_back(item);
  }
  return result;
}

const std::string& valueOf(const TagSuggestion& s) {
  return s.value;
}
const std::string& valueOfModel(const ModelSuggestion& s) {
  return s.value;
}
const std::string& displayNameOf(const TagConcept& c) {
  return c.displayName;
}

}  // namespace

ScriptedImageLibraryService::~ScriptedImageLibraryService() {
  shutDown();
}

void ScriptedImageLibraryService::hold(const std::string& name) {
  std::lock_guard lock(mutex_);
  heldNames_.insert(name);
}

void ScriptedImageLibraryService::holdAll() {
  std::lock_guard lock(mutex_);
  holdAll_ = true;
}

void ScriptedImageLibraryService::answerImmediately(const std::string& name) {
  std::lock_guard lock(mutex_);
  heldNames_.erase(name);
}

void ScriptedImageLibraryService::shutDown() {
  {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    holdAll_ = false;
    heldNames_.clear();
  }
  releaseAll();
  // Wait until every woken call has left its wait, so that nothing touches this object after.
  std::unique_lock lock(mutex_);
  left_.wait(lock, [this] { return blocked_ == 0; });
}

void ScriptedImageLibraryService::release(std::uint64_t id) {
  settle(id, Outcome{UseDefault{}});
}

void ScriptedImageLibraryService::fail(std::uint64_t id, std::exception_ptr error) {
  settle(id, Outcome{std::move(error)});
}

void ScriptedImageLibraryService::releaseAll() {
  std::lock_guard lock(mutex_);
  for (auto& [id, held] : held_) {
    if (held.outcome) continue;
    held.outcome.emplace(UseDefault{});
    held.released->notify_one();
  }
}

void ScriptedImageLibraryService::settle(std::uint64_t id, Outcome outcome) {
  std::lock_guard lock(mutex_);
  auto found = held_.find(id);
  if (found == held_.end() || found->second.outcome) {
    ADD_FAILURE() << "call " << id << " is not held";
    return;
  }
  found->second.outcome = std::move(outcome);
  found->second.released->notify_one();
}

std::vector<ServiceCall> ScriptedImageLibraryService::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<ServiceCall> ScriptedImageLibraryService::calls(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::vector<ServiceCall> result;
  for (const auto& call : calls_) {
    if (call.name == name) result.push_back(call);
  }
  return result;
}

std::vector<ServiceCall> ScriptedImageLibraryService::heldCalls() const {
  std::lock_guard lock(mutex_);
  std::vector<ServiceCall> result;
  for (const auto& [id, held] : held_) {
    if (!held.outcome) result.push_back(held.call);
  }
  return result;
}

std::vector<ServiceCall> ScriptedImageLibraryService::heldCalls(const std::string& name) const {
  auto result = heldCalls();
  std::erase_if(result, [&](const ServiceCall& call) { return call.name != name; });
  return result;
}

std::size_t ScriptedImageLibraryService::blockedCount() const {
  std::lock_guard lock(mutex_);
  // A released call whose thread has not woken yet is about to run on: counting it as blocked
  // would let drainEvents call the pools quiet before that call has answered.
  std::size_t waiting = 0;
  for (const auto& entry : held_) {
    if (!entry.second.outcome) ++waiting;
  }
  return waiting;
}

bool ScriptedImageLibraryService::waitForHeld(const std::string& name, std::size_t count) const {
  application();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (heldCalls(name).size() < count) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "fewer than " << count << " calls of " << name << " were ever held";
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    QThread::yieldCurrentThread();
  }
  return true;
}

ScriptedImageLibraryService::Outcome ScriptedImageLibraryService::enter(ServiceCall call,
                                                                        ServiceCall& recorded) {
  std::unique_lock lock(mutex_);
  call.id = nextID_++;
  calls_.push_back(call);
  recorded = call;
  const bool holds = !shutDown_ && (holdAll_ || heldNames_.contains(call.name));
  if (!holds) return UseDefault{};
  const std::uint64_t id = call.id;
  held_.emplace(id, Held{std::move(call), std::nullopt});
  ++blocked_;
  const auto released = held_.at(id).released;
  released->wait(lock, [&] { return held_.at(id).outcome.has_value(); });
  Outcome outcome = std::move(*held_.at(id).outcome);
  held_.erase(id);
  --blocked_;
  left_.notify_all();
  return outcome;
}

template <typename T, typename Fallback>
T ScriptedImageLibraryService::answer(ServiceCall call, Fallback fallback) {
  ServiceCall recorded;
  Outcome outcome = enter(std::move(call), recorded);
  if (auto* error = std::get_if<std::exception_ptr>(&outcome)) std::rethrow_exception(*error);
  if (auto* value = std::get_if<std::any>(&outcome)) {
    if constexpr (std::is_void_v<T>) {
      return;
    } else {
      return std::any_cast<T>(std::move(*value));
    }
  }
  std::function<std::any(const ServiceCall&)> override;
  {
    std::lock_guard lock(mutex_);
    if (auto found = overrides_.find(recorded.name); found != overrides_.end()) override = found->second;
  }
  if (override) {
    std::any value = override(recorded);
    if constexpr (std::is_void_v<T>) {
      return;
    } else {
      return std::any_cast<T>(std::move(value));
    }
  }
  return fallback(recorded);
}

void ScriptedImageLibraryService::setRecords(std::vector<ImageRecord> records) {
  std::lock_guard lock(mutex_);
  records_ = std::move(records);
}

std::vector<ImageRecord> ScriptedImageLibraryService::records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::vector<ImageRecord> ScriptedImageLibraryService::libraryAnswer(const ImageSearchQuery& query) const {
  refuseUnmodelled(query);
  std::vector<const ImageRecord*> matching;
  {
    std::lock_guard lock(mutex_);
    for (const auto& record : records_) {
      if (matches(record, query)) matching.push_back(&record);
    }
    std::sort(matching.begin(), matching.end(),
              [&](const ImageRecord* a, const ImageRecord* b) { return precedes(*a, *b, query.sort); });
    std::vector<ImageRecord> page;
    const auto begin = std::min<std::size_t>(
        static_cast<std::size_t>(std::max<std::int64_t>(query.offset, 0)), matching.size());
    const auto end = std::min<std::size_t>(
        begin + static_cast<std::size_t>(std::max<std::int64_t>(query.limit, 0)), matching.size());
    page.reserve(end - begin);
    for (auto i = begin; i < end; ++i) page.push_back(*matching[i]);
    return page;
  }
}

void ScriptedImageLibraryService::setRegisteredFolderSummaries(
    std::vector<RegisteredFolderSummary> summaries) {
  std::lock_guard lock(mutex_);
  summaries_ = std::move(summaries);
}

void ScriptedImageLibraryService::setTagSuggestions(std::vector<TagSuggestion> suggestions) {
  std::lock_guard lock(mutex_);
  tagSuggestions_ = std::move(suggestions);
}

void ScriptedImageLibraryService::setTagConcepts(std::vector<TagConcept> concepts) {
  std::lock_guard lock(mutex_);
  tagConcepts_ = std::move(concepts);
}

void ScriptedImageLibraryService::setModelSuggestions(std::vector<ModelSuggestion> suggestions) {
  std::lock_guard lock(mutex_);
  modelSuggestions_ = std::move(suggestions);
}

void ScriptedImageLibraryService::setThumbnailRunSummary(ThumbnailJobRunSummary summary) {
  std::lock_guard lock(mutex_);
  thumbnailRunSummary_ = std::move(summary);
}

void ScriptedImageLibraryService::setAnswer(const std::string& name,
                                            std::function<std::any(const ServiceCall&)> answer) {
  std::lock_guard lock(mutex_);
  overrides_[name] = std::move(answer);
}

// ---- ImageLibraryServicing ----

std::vector<TagConcept> ScriptedImageLibraryService::searchTagConcepts(
    const std::optional<std::string>& query, std::int64_t limit) {
  return answer<std::vector<TagConcept>>(
      ServiceCall{.name = "searchTagConcepts", .text = query, .number = limit}, [&](const ServiceCall&) {
        std::lock_guard lock(mutex_);
        return firstMatching(tagConcepts_, query, limit, &displayNameOf);
      });
}

std::vector<TagConceptAlias> ScriptedImageLibraryService::tagConceptAliases(std::int64_t conceptID) {
  return answer<std::vector<TagConceptAlias>>(
      ServiceCall{.name = "tagConceptAliases", .number = conceptID},
      [](const ServiceCall&) { return std::vector<TagConceptAlias>{}; });
}

std::vector<TagConceptManualAssignment> ScriptedImageLibraryService::tagConceptImageAssignments(
    const std::vector<std::string>& imagePaths) {
  return answer<std::vector<TagConceptManualAssignment>>(
      ServiceCall{.name = "tagConceptImageAssignments", .paths = imagePaths},
      [](const ServiceCall&) { return std::vector<TagConceptManualAssignment>{}; });
}

TagConcept ScriptedImageLibraryService::createTagConcept(const std::string& displayName) {
  return answer<TagConcept>(
      ServiceCall{.name = "createTagConcept", .text = displayName}, [&](const ServiceCall& call) {
        return TagConcept{
            .id = static_cast<std::int64_t>(call.id), .displayName = displayName, .imageCount = 0};
      });
}

TagConcept ScriptedImageLibraryService::renameTagConcept(std::int64_t conceptID,
                                                         const std::string& displayName) {
  return answer<TagConcept>(ServiceCall{.name = "renameTagConcept", .text = displayName, .number = conceptID},
                            [&](const ServiceCall&) {
                              return TagConcept{.id = conceptID, .displayName = displayName, .imageCount = 0};
                            });
}

void ScriptedImageLibraryService::addTagConceptAlias(std::int64_t conceptID, const std::string& tag) {
  answer<void>(ServiceCall{.name = "addTagConceptAlias", .text = tag, .number = conceptID},
               [](const ServiceCall&) {});
}

void ScriptedImageLibraryService::removeTagConceptAlias(std::int64_t conceptID, const std::string& tag) {
  answer<void>(ServiceCall{.name = "removeTagConceptAlias", .text = tag, .number = conceptID},
               [](const ServiceCall&) {});
}

void ScriptedImageLibraryService::assignImagesToTagConcept(std::int64_t conceptID,
                                                           const std::vector<std::string>& imagePaths) {
  answer<void>(ServiceCall{.name = "assignImagesToTagConcept", .paths = imagePaths, .number = conceptID},
               [](const ServiceCall&) {});
}

void ScriptedImageLibraryService::unassignImagesFromTagConcept(std::int64_t conceptID,
                                                               const std::vector<std::string>& imagePaths) {
  answer<void>(ServiceCall{.name = "unassignImagesFromTagConcept", .paths = imagePaths, .number = conceptID},
               [](const ServiceCall&) {});
}

std::vector<ImageRecord> ScriptedImageLibraryService::searchImages(const ImageSearchQuery& query,
                                                                   std::stop_token stop) {
  return answer<std::vector<ImageRecord>>(ServiceCall{.name = "searchImages", .query = query, .stop = stop},
                                          [&](const ServiceCall&) {
                                            // The database looks at the token between steps; a
                                            // search stopped before it answers ends the same way.
                                            if (stop.stop_requested()) throw SearchCancelledError();
                                            return libraryAnswer(query);
                                          });
}

std::vector<TagSuggestion> ScriptedImageLibraryService::tagSuggestions(const std::optional<std::string>& text,
                                                                       std::int64_t limit) {
  return answer<std::vector<TagSuggestion>>(
      ServiceCall{.name = "tagSuggestions", .text = text, .number = limit}, [&](const ServiceCall&) {
        std::lock_guard lock(mutex_);
        return firstMatching(tagSuggestions_, text, limit, &valueOf);
      });
}

std::vector<ModelSuggestion> ScriptedImageLibraryService::modelSuggestions(
    const std::optional<std::string>& text, std::int64_t limit) {
  return answer<std::vector<ModelSuggestion>>(
      ServiceCall{.name = "modelSuggestions", .text = text, .number = limit}, [&](const ServiceCall&) {
        std::lock_guard lock(mutex_);
        return firstMatching(modelSuggestions_, text, limit, &valueOfModel);
      });
}

std::optional<ImageDragPayload> ScriptedImageLibraryService::imageDragPayload(const ImageRecord& record) {
  return answer<std::optional<ImageDragPayload>>(
      ServiceCall{.name = "imageDragPayload", .paths = {record.file.path}},
      [](const ServiceCall&) { return std::optional<ImageDragPayload>{}; });
}

std::vector<RegisteredFolderSummary> ScriptedImageLibraryService::registeredFolderSummaries() {
  return answer<std::vector<RegisteredFolderSummary>>(ServiceCall{.name = "registeredFolderSummaries"},
                                                      [&](const ServiceCall&) {
                                                        std::lock_guard lock(mutex_);
                                                        return summaries_;
                                                      });
}

// The scripted summaries with their counts left out, as the live service lists its folders.
std::vector<RegisteredFolderSummary> ScriptedImageLibraryService::registeredFolderList() {
  return answer<std::vector<RegisteredFolderSummary>>(
      ServiceCall{.name = "registeredFolderList"}, [&](const ServiceCall&) {
        std::lock_guard lock(mutex_);
        std::vector<RegisteredFolderSummary> list = summaries_;
        for (auto& summary : list) {
          summary.indexedImageCount = 0;
          summary.missingImageCount = 0;
        }
        return list;
      });
}

ImageLibraryScanSummary ScriptedImageLibraryService::scanLibrary(const std::vector<std::string>& rootURLs,
                                                                 const ProgressHandler&,
                                                                 std::stop_token stop) {
  return answer<ImageLibraryScanSummary>(ServiceCall{.name = "scanLibrary", .paths = rootURLs, .stop = stop},
                                         [](const ServiceCall&) { return ImageLibraryScanSummary{}; });
}

ImageLibraryScanSummary ScriptedImageLibraryService::scanChangedPaths(
    const std::vector<std::string>& changedURLs, const std::vector<std::string>& rootURLs,
    const ProgressHandler&, std::stop_token stop) {
  auto paths = changedURLs;
  paths.insert(paths.end(), rootURLs.begin(), rootURLs.end());
  return answer<ImageLibraryScanSummary>(
      ServiceCall{.name = "scanChangedPaths", .paths = paths, .stop = stop},
      [](const ServiceCall&) { return ImageLibraryScanSummary{}; });
}

ImageLibraryScanSummary ScriptedImageLibraryService::syncRegisteredFolder(const std::string& path,
                                                                          const ProgressHandler&,
                                                                          std::stop_token stop) {
  return answer<ImageLibraryScanSummary>(
      ServiceCall{.name = "syncRegisteredFolder", .paths = {path}, .stop = stop},
      [](const ServiceCall&) { return ImageLibraryScanSummary{}; });
}

std::optional<ImageLibraryScanSummary> ScriptedImageLibraryService::resumeInterruptedIndexing(
    const ProgressHandler&, std::stop_token stop) {
  return answer<std::optional<ImageLibraryScanSummary>>(
      ServiceCall{.name = "resumeInterruptedIndexing", .stop = stop},
      [](const ServiceCall&) { return std::optional<ImageLibraryScanSummary>{}; });
}

std::optional<std::vector<std::string>> ScriptedImageLibraryService::interruptedIndexingRootURLs() {
  return answer<std::optional<std::vector<std::string>>>(
      ServiceCall{.name = "interruptedIndexingRootURLs"},
      [](const ServiceCall&) { return std::optional<std::vector<std::string>>{}; });
}

std::vector<std::string> ScriptedImageLibraryService::restoreFolderAccess() {
  return answer<std::vector<std::string>>(ServiceCall{.name = "restoreFolderAccess"},
                                          [](const ServiceCall&) { return std::vector<std::string>{}; });
}

std::optional<RegisteredFolderEventCheckpoint> ScriptedImageLibraryService::folderEventCheckpoint(
    const std::vector<std::string>& rootURLs) {
  return answer<std::optional<RegisteredFolderEventCheckpoint>>(
      ServiceCall{.name = "folderEventCheckpoint", .paths = rootURLs},
      [](const ServiceCall&) { return std::optional<RegisteredFolderEventCheckpoint>{}; });
}

std::uint64_t ScriptedImageLibraryService::currentFolderEventID() {
  return answer<std::uint64_t>(ServiceCall{.name = "currentFolderEventID"},
                               [](const ServiceCall&) { return std::uint64_t{0}; });
}

void ScriptedImageLibraryService::storeFolderEventID(const std::vector<std::string>& rootURLs,
                                                     std::uint64_t eventID) {
  answer<void>(
      ServiceCall{
          .name = "storeFolderEventID", .paths = rootURLs, .number = static_cast<std::int64_t>(eventID)},
      [](const ServiceCall&) {});
}

RegisteredFolderRoots ScriptedImageLibraryService::registeredFolderRoots() {
  return answer<RegisteredFolderRoots>(ServiceCall{.name = "registeredFolderRoots"},
                                       [](const ServiceCall&) { return RegisteredFolderRoots{}; });
}

void ScriptedImageLibraryService::startMonitoring(const std::vector<std::string>& rootURLs,
                                                  std::optional<std::uint64_t> sinceEventID,
                                                  FolderChangeHandler onChange,
                                                  FolderMonitoringFailureHandler onEnded) {
  answer<void>(ServiceCall{.name = "startMonitoring",
                           .paths = rootURLs,
                           .number = static_cast<std::int64_t>(sinceEventID.value_or(0))},
               [](const ServiceCall&) {});
  std::lock_guard lock(mutex_);
  onChange_ = std::move(onChange);
  onEnded_ = std::move(onEnded);
}

void ScriptedImageLibraryService::stopMonitoring() {
  answer<void>(ServiceCall{.name = "stopMonitoring"}, [](const ServiceCall&) {});
  std::lock_guard lock(mutex_);
  onChange_ = nullptr;
  onEnded_ = nullptr;
}

bool ScriptedImageLibraryService::deliverFolderChanges(const RegisteredFolderChangeBatch& batch) {
  FolderChangeHandler onChange;
  {
    std::lock_guard lock(mutex_);
    onChange = onChange_;
  }
  if (!onChange) return false;
  std::thread([&] { onChange(batch); }).join();
  return true;
}

bool ScriptedImageLibraryService::endMonitoring(const FolderChangeMonitorError& error) {
  FolderMonitoringFailureHandler onEnded;
  {
    std::lock_guard lock(mutex_);
    onEnded = std::exchange(onEnded_, nullptr);
    onChange_ = nullptr;
  }
  if (!onEnded) return false;
  std::thread([&] { onEnded(error); }).join();
  return true;
}

bool ScriptedImageLibraryService::isMonitoring() const {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(onChange_);
}

void ScriptedImageLibraryService::registerFolders(const std::vector<std::string>& folderURLs) {
  answer<void>(ServiceCall{.name = "registerFolders", .paths = folderURLs}, [](const ServiceCall&) {});
}

void ScriptedImageLibraryService::unregisterFolder(const std::string& path) {
  answer<void>(ServiceCall{.name = "unregisterFolder", .paths = {path}}, [](const ServiceCall&) {});
}

void ScriptedImageLibraryService::reauthorizeFolder(const std::string& selectedURL, const std::string& path) {
  answer<void>(ServiceCall{.name = "reauthorizeFolder", .paths = {selectedURL, path}},
               [](const ServiceCall&) {});
}

void ScriptedImageLibraryService::updateReviewState(const std::string& path, const ReviewState& state) {
  answer<void>(ServiceCall{.name = "updateReviewState", .paths = {path}}, [&](const ServiceCall&) {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(records_.begin(), records_.end(),
                              [&](const ImageRecord& r) { return r.file.path == path; });
    if (found == records_.end()) throw SQLiteImageRepositoryV3Error::recordNotFound(path);
    found->reviewState = state;
  });
}

void ScriptedImageLibraryService::updateReviewStates(const std::vector<ReviewStateUpdate>& updates) {
  std::vector<std::string> paths;
  for (const auto& update : updates) paths.push_back(update.path);
  answer<void>(ServiceCall{.name = "updateReviewStates", .paths = paths}, [&](const ServiceCall&) {
    std::lock_guard lock(mutex_);
    // Every path is found before any record changes, as the library refuses the whole list.
    std::vector<ImageRecord*> targets;
    for (const auto& update : updates) {
      auto found = std::find_if(records_.begin(), records_.end(),
                                [&](const ImageRecord& r) { return r.file.path == update.path; });
      if (found == records_.end()) throw SQLiteImageRepositoryV3Error::recordNotFound(update.path);
      targets.push_back(&*found);
    }
    for (std::size_t i = 0; i < updates.size(); ++i) targets[i]->reviewState = updates[i].state;
  });
}

std::vector<ImageRecord> ScriptedImageLibraryService::restoreDeleteCandidateStates(
    const std::vector<DeleteCandidateStateRestore>& restores) {
  std::vector<std::string> paths;
  for (const auto& restore : restores) paths.push_back(restore.path);
  return answer<std::vector<ImageRecord>>(ServiceCall{.name = "restoreDeleteCandidateStates", .paths = paths},
                                          [&](const ServiceCall&) {
                                            std::lock_guard lock(mutex_);
                                            std::vector<ImageRecord> restored;
                                            for (const auto& restore : restores) {
                                              for (auto& record : records_) {
                                                if (record.file.path != restore.path) continue;
                                                record.reviewState.deleteCandidate = restore.deleteCandidate;
                                                restored.push_back(record);
                                              }
                                            }
                                            return restored;
                                          });
}

ImageTrashSummary ScriptedImageLibraryService::moveDeleteCandidatesToTrash(
    const std::vector<ImageFileInfo>& reviewedFiles) {
  std::vector<std::string> paths;
  for (const ImageFileInfo& file : reviewedFiles) paths.push_back(file.path);
  return answer<ImageTrashSummary>(
      ServiceCall{.name = "moveDeleteCandidatesToTrash", .paths = paths, .files = reviewedFiles},
      [&](const ServiceCall&) {
        ImageTrashSummary summary;
        summary.requestedCount = static_cast<std::int64_t>(paths.size());
        summary.trashedPaths = paths;
        std::lock_guard lock(mutex_);
        std::erase_if(records_, [&](const ImageRecord& r) {
          return std::find(paths.begin(), paths.end(), r.file.path) != paths.end();
        });
        return summary;
      });
}

void ScriptedImageLibraryService::enqueueThumbnailJobs(const std::vector<std::string>& paths) {
  answer<void>(ServiceCall{.name = "enqueueThumbnailJobs", .paths = paths}, [](const ServiceCall&) {});
}

ThumbnailJobRunSummary ScriptedImageLibraryService::generatePendingThumbnails(std::int64_t limit,
                                                                              std::stop_token stop) {
  return answer<ThumbnailJobRunSummary>(
      ServiceCall{.name = "generatePendingThumbnails", .number = limit, .stop = stop},
      [&](const ServiceCall&) {
        std::lock_guard lock(mutex_);
        return thumbnailRunSummary_;
      });
}

ThumbnailCacheSweepSummary ScriptedImageLibraryService::sweepThumbnailCache(double) {
  return answer<ThumbnailCacheSweepSummary>(ServiceCall{.name = "sweepThumbnailCache"},
                                            [](const ServiceCall&) { return ThumbnailCacheSweepSummary{}; });
}

}  // namespace lorvex::testing
