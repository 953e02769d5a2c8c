// The loading side of an image view: which request it shows, what is on screen while the request
// loads, and what it tells accessibility. The widget that shows an image file (and each visible
// grid row) owns one LocalImageLoadState, hands it the request built from its fields, and paints
// what `choice()` gives.
//
// A load goes: cached full image at once; else a cached (or decoded) preview while the full image
// decodes; then the image, or the failed state (the preview, if shown, stays on screen). Every
// change a load makes is guarded by the generation of the request that started it, not by its
// path: a changed file keeps its path but gets a new cache key, and the late end of the older load
// must neither clear the newer load's pending state nor hide its failure.
//
// Signposts (LORVEX_TRACE): every load that has to decode is one "Load" interval, begun with
// "source=persistent-thumbnail" (a file shown as it is) or "source=fallback-original" (a file
// downsampled to a pixel size) and ended with "completed" (also when no image came back),
// "failed" (the file could not be read) or "cancelled" (replaced, or the view left the screen). A
// request without a path or with its image in the cache begins none.
//
// Thread safety: GUI thread only.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/log.h"
#include "ui/common/app_localization.h"
#include "ui/common/local_image_load_request.h"
#include "ui/common/local_image_loader.h"
#include "ui/common/local_image_memory_cache.h"

namespace lorvex::ui {

struct LocalImageDisplayState {
  QImage image;                              // null: none; the image last put on screen by a load
  std::optional<std::string> displayedPath;  // the file `image` came from (the path or the preview)
  std::optional<std::string> failedPath;
  std::optional<std::string> pendingPath;
  std::optional<std::string> pendingPreviewPath;
  bool isDisplayingPendingPreview = false;
  std::uint64_t pendingGeneration = 0;  // the request generation that owns the pending fields
};

// The changes a running load makes; each applies only while `generation` still owns the pending
// state (a pending path is set and the generation matches), else it changes nothing and gives
// false. A missing image in showPreview changes nothing; in finish it fails.
bool clearPendingLoad(LocalImageDisplayState& state, std::uint64_t generation);
bool showPendingPreview(LocalImageDisplayState& state, std::uint64_t generation, const QImage& preview);
bool finishLoad(LocalImageDisplayState& state, std::uint64_t generation, const QImage& image);
bool failLoad(LocalImageDisplayState& state, std::uint64_t generation);

enum class LocalImagePlaceholder { none, photo, warning };

struct LocalImageChoice {
  QImage image;  // null: draw the placeholder
  LocalImagePlaceholder placeholder = LocalImagePlaceholder::none;
};

// What to draw now: the cached full image; else the state's image when it came from the request's
// path or preview; else the cached preview; else the state's image when the view keeps its current
// image while loading. Without an image: the warning symbol when the request's path failed (a
// request without a path counts as failed), else the photo symbol.
LocalImageChoice chooseLocalImage(const LocalImageLoadRequest& request, const LocalImageDisplayState& state,
                                  LocalImageMemoryCache& cache, bool preservesCurrentImageWhileLoading);

enum class LocalImageAccessibilityState { empty, loading, loaded, failed };

LocalImageAccessibilityState localImageAccessibilityState(const LocalImageLoadRequest& request,
                                                          const LocalImageDisplayState& state,
                                                          const LocalImageMemoryCache& cache);

struct LocalImageAccessibilityText {
  std::string label;  // the file name, or the generic image label
  std::string value;  // the state's text
};

LocalImageAccessibilityText localImageAccessibilityText(const std::optional<std::string>& path,
                                                        LocalImageAccessibilityState state,
                                                        const AppLocalization& localization);

class LocalImageLoadState {
 public:
  // `changed` is called after every change of the display state (also from inside setRequest).
  LocalImageLoadState(LocalImageLoader& loader, bool preservesCurrentImageWhileLoading,
                      std::function<void()> changed);
  ~LocalImageLoadState();
  LocalImageLoadState(const LocalImageLoadState&) = delete;
  LocalImageLoadState& operator=(const LocalImageLoadState&) = delete;

  // Starts loading `request` unless it is the one already loading or shown; the previous load is
  // cancelled first.
  void setRequest(LocalImageLoadRequest request);
  // Stops loading (the view left the screen): queued decodes are dropped, the pending state cleared;
  // what is shown stays. The next setRequest starts again even with the same request.
  void cancel();

  const LocalImageLoadRequest& request() const { return request_; }
  const LocalImageDisplayState& displayState() const { return state_; }
  LocalImageChoice choice() const;
  LocalImageAccessibilityState accessibilityState() const;
  LocalImageAccessibilityText accessibilityText(const AppLocalization& localization) const;

 private:
  void loadImage(std::uint64_t generation);
  void cancelTickets();
  void notify();

  LocalImageLoader& loader_;
  const bool preservesCurrentImageWhileLoading_;
  std::function<void()> changed_;
  LocalImageLoadRequest request_;
  bool started_ = false;
  LocalImageDisplayState state_;
  std::uint64_t generation_ = 0;
  LocalImageLoader::Ticket previewTicket_ = 0;
  LocalImageLoader::Ticket imageTicket_ = 0;
  std::optional<platform::SignpostInterval> loadInterval_;
};

}  // namespace lorvex::ui
