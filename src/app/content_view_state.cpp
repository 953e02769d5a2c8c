#include "app/content_view_state.h"

#include <QPointer>

#include "store/image_library_store.h"

namespace lorvex::app {

ContentViewState::ContentViewState(ImageLibraryStore& store, QObject* parent)
    : QObject(parent), store_(store) {
  connect(&store_.results().selection(), &ResultSelection::primaryPathChanged, this,
          &ContentViewState::followPrimaryPath);
  connect(&store_.context(), &StoreContext::needsLiveServicePreparationChanged, this,
          &ContentViewState::compositionChanged);
  connect(&store_.library(), &LibraryModel::isPreparingLibraryChanged, this,
          &ContentViewState::compositionChanged);
  connect(&store_.library(), &LibraryModel::libraryOpenFailureChanged, this,
          &ContentViewState::compositionChanged);
  connect(this, &ContentViewState::quickLookURLChanged, this, &ContentViewState::compositionChanged);
}

ContentViewState::~ContentViewState() {
  if (navigationStop_) navigationStop_->request_stop();
}

// ---- Folder picker ----

void ContentViewState::presentFolderImporter() {
  folderImport_.present(FolderImportRequest::registration());
  Q_EMIT folderImportRequestChanged();
}

void ContentViewState::presentFolderReauthorization(const std::string& path) {
  folderImport_.present(FolderImportRequest::reauthorization(path));
  Q_EMIT folderImportRequestChanged();
}

void ContentViewState::dismissFolderImporter() {
  if (!folderImport_.isPresented()) return;
  folderImport_.dismiss();
  Q_EMIT folderImportRequestChanged();
}

void ContentViewState::completeFolderImport(const FolderPickerResult& result) {
  const bool wasPresented = folderImport_.isPresented();
  const FolderImportOutcome outcome = folderImport_.complete(result);
  if (wasPresented) Q_EMIT folderImportRequestChanged();
  ImageLibraryStore* store = &store_;
  if (const auto* registration = std::get_if<RegisterFolders>(&outcome)) {
    store_.context().startDetached(
        [store, folders = registration->folders] { return store->library().registerFolders(folders); });
  } else if (const auto* reauthorization = std::get_if<ReauthorizeFolder>(&outcome)) {
    store_.context().startDetached(
        [store, chosen = reauthorization->chosenFolder, path = reauthorization->registeredPath] {
          return store->library().reauthorizeFolder(chosen, path);
        });
  } else if (const auto* error = std::get_if<ShowFolderImportError>(&outcome)) {
    store_.context().setErrorMessage(error->message, error->notice);
  }
}

// ---- Shortcut help ----

void ContentViewState::setShortcutHelpPresented(bool presented) {
  if (isShortcutHelpPresented_ == presented) return;
  isShortcutHelpPresented_ = presented;
  Q_EMIT shortcutHelpPresentedChanged();
}

// ---- Preview ----

void ContentViewState::setQuickLookURL(std::optional<std::string> url) {
  if (quickLookURL_ == url) return;
  quickLookURL_ = std::move(url);
  Q_EMIT quickLookURLChanged();
}

void ContentViewState::presentQuickLook(const std::string& url) {
  setQuickLookURL(url);
}

void ContentViewState::cancelQuickLookNavigation() {
  ++quickLookNavigationGeneration_;
  if (navigationStop_) navigationStop_->request_stop();
  navigationStop_.reset();
  navigationTask_ = {};
}

void ContentViewState::showPreviousQuickLookImage() {
  if (!quickLookURL_) return;
  cancelQuickLookNavigation();
  store_.results().moveFocus(-1, true);
  setQuickLookURL(store_.results().selectedRecordFileURL());
}

void ContentViewState::showNextQuickLookImage() {
  if (!quickLookURL_) return;
  const int generation = ++quickLookNavigationGeneration_;
  std::optional<std::string> fromPath = store_.results().selection().primaryPath();
  if (navigationStop_) navigationStop_->request_stop();
  navigationStop_.emplace();
  const std::stop_token stop = navigationStop_->get_token();
  ImageLibraryStore* store = &store_;
  QPointer<ContentViewState> self(this);
  navigationTask_ = store_.context().startDetached([store, self, generation, fromPath, stop] {
    return stepToNextImage(store, self, generation, fromPath, stop);
  });
}

QCoro::Task<void> ContentViewState::stepToNextImage(ImageLibraryStore* store,
                                                    QPointer<ContentViewState> state, int generation,
                                                    std::optional<std::string> fromPath,
                                                    std::stop_token stop) {
  if (state.isNull() || !state->quickLookURL_) co_return;
  const bool moved = co_await store->results().advanceFocusLoadingMore(fromPath, stop);
  if (stop.stop_requested() || state.isNull()) co_return;
  if (state->quickLookNavigationGeneration_ != generation || !moved || !state->quickLookURL_) co_return;
  state->setQuickLookURL(store->results().selectedRecordFileURL());
  state->navigationStop_.reset();
  state->navigationTask_ = {};
}

void ContentViewState::startSlideshowFromQuickLook() {
  if (!quickLookURL_) return;
  const std::optional<std::string> path = filePathOfFileURL(*quickLookURL_);
  cancelQuickLookNavigation();
  setQuickLookURL(std::nullopt);
  if (path && store_.results().resultWindow().index(*path)) {
    ResultSelection& selection = store_.results().selection();
    selection.setPrimaryPath(*path);
    selection.setSelectedPaths(PathSet{*path});
    selection.setAnchorPath(*path);
  }
  store_.results().startSlideshow();
}

void ContentViewState::dismissQuickLook() {
  cancelQuickLookNavigation();
  setQuickLookURL(std::nullopt);
}

void ContentViewState::followPrimaryPath() {
  if (!quickLookURL_) return;
  setQuickLookURL(store_.results().selectedRecordFileURL());
}

// ---- Composition and undo ----

bool ContentViewState::isPreparing() const {
  return store_.context().needsLiveServicePreparation() || store_.library().isPreparingLibrary();
}

bool ContentViewState::isLibraryUnavailable() const {
  return store_.library().libraryOpenFailure().has_value();
}

bool ContentViewState::isUndoKeyEnabled() const {
  const ImageLibraryPresentationState& presentation = store_.presentation();
  return !(store_.context().needsLiveServicePreparation() || store_.library().isPreparingLibrary() ||
           quickLookURL_.has_value() || presentation.isSlideshowPresented() ||
           presentation.isTagAdditionPopoverPresented() || presentation.isModelSelectionPopoverPresented());
}

bool ContentViewState::undoFromKey() {
  if (!isUndoKeyEnabled() || !store_.review().canUndoDeleteCandidateAction()) return false;
  store_.review().undoLastDeleteCandidateAction();
  return true;
}

void ContentViewState::undoFromFeedback() {
  store_.review().undoLastDeleteCandidateAction();
}

void ContentViewState::closeSlideshow() {
  store_.presentation().setIsSlideshowPresented(false);
}

// ---- URLs ----

std::optional<std::string> filePathOfFileURL(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (!url.starts_with(kScheme)) return std::nullopt;
  url.remove_prefix(kScheme.size());
  const auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string path;
  path.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] != '%') {
      path += url[i];
      continue;
    }
    const int high = i + 1 < url.size() ? hexValue(url[i + 1]) : -1;
    const int low = i + 2 < url.size() ? hexValue(url[i + 2]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    path += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (path.empty() || path.front() != '/') return std::nullopt;
  return path;
}

}  // namespace lorvex::app
