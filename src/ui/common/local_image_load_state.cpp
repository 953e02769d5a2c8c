#include "ui/common/local_image_load_state.h"

#include <utility>

namespace lorvex::ui {
namespace {

bool owns(const LocalImageDisplayState& state, std::uint64_t generation) {
  return state.pendingPath.has_value() && state.pendingGeneration == generation;
}

void dropPending(LocalImageDisplayState& state) {
  state.pendingPath.reset();
  state.pendingPreviewPath.reset();
}

std::string_view lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

}  // namespace

bool clearPendingLoad(LocalImageDisplayState& state, std::uint64_t generation) {
  if (!owns(state, generation)) return false;
  dropPending(state);
  state.isDisplayingPendingPreview = false;
  return true;
}

bool showPendingPreview(LocalImageDisplayState& state, std::uint64_t generation, const QImage& preview) {
  if (!owns(state, generation) || preview.isNull()) return false;
  state.image = preview;
  state.displayedPath = state.pendingPreviewPath;
  state.failedPath.reset();
  state.isDisplayingPendingPreview = true;
  return true;
}

bool failLoad(LocalImageDisplayState& state, std::uint64_t generation) {
  if (!owns(state, generation)) return false;
  std::optional<std::string> path = std::move(state.pendingPath);
  dropPending(state);
  if (!state.isDisplayingPendingPreview) {
    state.image = QImage();
    state.displayedPath.reset();
  }
  state.isDisplayingPendingPreview = false;
  state.failedPath = std::move(path);
  return true;
}

bool finishLoad(LocalImageDisplayState& state, std::uint64_t generation, const QImage& image) {
  if (image.isNull()) return failLoad(state, generation);
  if (!owns(state, generation)) return false;
  state.displayedPath = std::move(state.pendingPath);
  dropPending(state);
  state.image = image;
  state.failedPath.reset();
  state.isDisplayingPendingPreview = false;
  return true;
}

LocalImageChoice chooseLocalImage(const LocalImageLoadRequest& request, const LocalImageDisplayState& state,
                                  LocalImageMemoryCache& cache, bool preservesCurrentImageWhileLoading) {
  if (request.imageCacheKey) {
    if (auto cached = cache.image(*request.imageCacheKey))
      return {std::move(*cached), LocalImagePlaceholder::none};
  }
  if (!state.image.isNull() &&
      (state.displayedPath == request.path || state.displayedPath == request.previewPath)) {
    return {state.image, LocalImagePlaceholder::none};
  }
  if (request.previewCacheKey) {
    if (auto cached = cache.image(*request.previewCacheKey))
      return {std::move(*cached), LocalImagePlaceholder::none};
  }
  if (preservesCurrentImageWhileLoading && !state.image.isNull())
    return {state.image, LocalImagePlaceholder::none};
  return {QImage(),
          state.failedPath == request.path ? LocalImagePlaceholder::warning : LocalImagePlaceholder::photo};
}

LocalImageAccessibilityState localImageAccessibilityState(const LocalImageLoadRequest& request,
                                                          const LocalImageDisplayState& state,
                                                          const LocalImageMemoryCache& cache) {
  if (!request.path) return LocalImageAccessibilityState::empty;
  if (state.failedPath && state.failedPath == request.path) return LocalImageAccessibilityState::failed;
  if ((request.imageCacheKey && cache.contains(*request.imageCacheKey)) ||
      state.displayedPath == request.path) {
    return LocalImageAccessibilityState::loaded;
  }
  return LocalImageAccessibilityState::loading;
}

LocalImageAccessibilityText localImageAccessibilityText(const std::optional<std::string>& path,
                                                        LocalImageAccessibilityState state,
                                                        const AppLocalization& localization) {
  LocalImageAccessibilityText text;
  const std::string_view name = path ? lastPathComponent(*path) : std::string_view();
  text.label =
      name.empty() ? localization.lookup(AppLocalizationKey::imageAccessibilityLabel) : std::string(name);
  switch (state) {
    case LocalImageAccessibilityState::empty:
      text.value = localization.lookup(AppLocalizationKey::imageAccessibilityEmpty);
      break;
    case LocalImageAccessibilityState::loading:
      text.value = localization.lookup(AppLocalizationKey::imageAccessibilityLoading);
      break;
    case LocalImageAccessibilityState::loaded:
      text.value = localization.lookup(AppLocalizationKey::imageAccessibilityLoaded);
      break;
    case LocalImageAccessibilityState::failed:
      text.value = localization.lookup(AppLocalizationKey::imageAccessibilityFailed);
      break;
  }
  return text;
}

LocalImageLoadState::LocalImageLoadState(LocalImageLoader& loader, bool preservesCurrentImageWhileLoading,
                                         std::function<void()> changed)
    : loader_(loader),
      preservesCurrentImageWhileLoading_(preservesCurrentImageWhileLoading),
      changed_(std::move(changed)) {}

LocalImageLoadState::~LocalImageLoadState() {
  cancelTickets();
  if (loadInterval_) loadInterval_->end("cancelled");
}

void LocalImageLoadState::setRequest(LocalImageLoadRequest request) {
  if (started_ && request == request_) return;
  cancel();
  request_ = std::move(request);
  started_ = true;
  const std::uint64_t generation = ++generation_;
  LocalImageMemoryCache& cache = loader_.cache();
  const std::optional<QImage> cachedPreview =
      request_.previewCacheKey ? cache.image(*request_.previewCacheKey) : std::nullopt;
  const std::optional<QImage> cachedImage =
      request_.imageCacheKey ? cache.image(*request_.imageCacheKey) : std::nullopt;

  state_.pendingGeneration = generation;
  state_.pendingPath = request_.path;
  state_.pendingPreviewPath = request_.path ? request_.previewPath : std::nullopt;
  state_.isDisplayingPendingPreview = false;
  state_.failedPath.reset();
  if (!request_.path) {
    state_.image = QImage();
    state_.displayedPath.reset();
    state_.pendingPreviewPath.reset();
    notify();
    return;
  }
  if (cachedImage) {
    dropPending(state_);
    state_.image = *cachedImage;
    state_.displayedPath = request_.path;
    notify();
    return;
  }
  if (cachedPreview && state_.pendingPreviewPath) {
    state_.image = *cachedPreview;
    state_.displayedPath = state_.pendingPreviewPath;
    state_.isDisplayingPendingPreview = true;
  } else if (!preservesCurrentImageWhileLoading_) {
    state_.image = QImage();
    state_.displayedPath.reset();
  }
  notify();

  loadInterval_.emplace(
      "Load", request_.imageMaxPixelSize ? "source=fallback-original" : "source=persistent-thumbnail");
  if (!request_.previewPath) {
    loadImage(generation);
    return;
  }
  // A preview that cannot be loaded is skipped: the full image loads either way.
  const auto ticket = loader_.load(*request_.previewPath, request_.previewCacheKey, std::nullopt,
                                   [this, generation](const LocalImageDecodeResult& result) {
                                     previewTicket_ = 0;
                                     if (showPendingPreview(state_, generation, result.image)) notify();
                                     loadImage(generation);
                                   });
  // A cache hit has already run the callback (and maybe started the image load).
  if (ticket != 0) previewTicket_ = ticket;
}

void LocalImageLoadState::loadImage(std::uint64_t generation) {
  const auto ticket = loader_.load(*request_.path, request_.imageCacheKey, request_.imageMaxPixelSize,
                                   [this, generation](const LocalImageDecodeResult& result) {
                                     imageTicket_ = 0;
                                     if (loadInterval_) {
                                       loadInterval_->end(result.error ? "failed" : "completed");
                                       loadInterval_.reset();
                                     }
                                     const bool changed = result.error
                                                              ? failLoad(state_, generation)
                                                              : finishLoad(state_, generation, result.image);
                                     if (changed) notify();
                                   });
  if (ticket != 0) imageTicket_ = ticket;
}

void LocalImageLoadState::cancel() {
  cancelTickets();
  if (loadInterval_) {
    loadInterval_->end("cancelled");
    loadInterval_.reset();
  }
  started_ = false;
  if (clearPendingLoad(state_, generation_)) notify();
}

void LocalImageLoadState::cancelTickets() {
  if (previewTicket_ != 0) loader_.cancel(std::exchange(previewTicket_, 0));
  if (imageTicket_ != 0) loader_.cancel(std::exchange(imageTicket_, 0));
}

void LocalImageLoadState::notify() {
  if (changed_) changed_();
}

LocalImageChoice LocalImageLoadState::choice() const {
  return chooseLocalImage(request_, state_, loader_.cache(), preservesCurrentImageWhileLoading_);
}

LocalImageAccessibilityState LocalImageLoadState::accessibilityState() const {
  return localImageAccessibilityState(request_, state_, loader_.cache());
}

LocalImageAccessibilityText LocalImageLoadState::accessibilityText(
    const AppLocalization& localization) const {
  return localImageAccessibilityText(request_.path, accessibilityState(), localization);
}

}  // namespace lorvex::ui
