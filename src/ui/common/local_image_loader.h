// The one way views load an image file for display: the memory cache first, else a decode on the
// loader's own worker pool under the decode limiter, the result coming back to the GUI thread and
// going into the cache under the caller's key. Several callers asking for the same decode while it
// is queued or running share it, so a file on screen twice is decoded once.
//
// A caller that stops wanting its image cancels its ticket: its callback is never called; a decode
// nobody waits for any more leaves the limiter's queue, while one already running finishes and
// still fills the cache (its work is done, the next view may want it).
//
// Thread safety: GUI thread only (construction, load, cancel, callbacks). Decodes run on the
// loader's own QThreadPool, never on the GUI thread nor on the store's pools.
#pragma once

#include <QImage>
#include <QObject>
#include <QThreadPool>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "ui/common/local_image_decode_limiter.h"
#include "ui/common/local_image_decoding.h"
#include "ui/common/local_image_memory_cache.h"
#include "ui/common/pending_image_work.h"

namespace lorvex::ui {

class LocalImageLoader : public QObject {
  Q_OBJECT

 public:
  using Ticket = std::uint64_t;  // 0: the load finished at once (a cache hit)
  using Completion = std::function<void(const LocalImageDecodeResult&)>;
  using DecodeFunction =
      std::function<LocalImageDecodeResult(const std::string& path, std::optional<int> maxPixelSize)>;

  // `decode` runs on the worker pool; the program passes decodeLocalImage.
  LocalImageLoader(LocalImageMemoryCache& cache, LocalImageDecodeLimiter& limiter, DecodeFunction decode,
                   QObject* parent = nullptr);
  // Waits for running decodes; their results are dropped.
  ~LocalImageLoader() override;

  // The program's loader over the shared cache and limiter, made on first use.
  static LocalImageLoader& shared();
  // For a loader never destroyed (views may outlive any owner it could have): the program's end
  // joins its workers once their decodes are done (platform/long_lived_threads.h).
  void livesAsLongAsTheProgram(std::string name);

  // Loads `path` (downsampled when `maxPixelSize` is above 0). With a cache key the cache is asked
  // first: a hit calls `done` before returning and gives ticket 0. Otherwise `done` is called later,
  // on the GUI thread, unless the ticket is cancelled; an image that came back is cached under the
  // key (without a key nothing is cached).
  Ticket load(const std::string& path, const std::optional<std::string>& cacheKey,
              std::optional<int> maxPixelSize, Completion done);

  // Drops the ticket's callback; unknown or finished tickets are ignored.
  void cancel(Ticket ticket);

  // Runs `work`, pixel work on an image already decoded (a grid tile's rounded image at its size on
  // screen), on the worker pool; `done` is called later on the GUI thread with what it made,
  // unless the ticket is cancelled with cancelPreparation (then a queued run is skipped).
  using Preparation = std::function<QImage()>;
  using PreparationDone = std::function<void(const QImage&)>;
  Ticket prepare(Preparation work, PreparationDone done);
  void cancelPreparation(Ticket ticket);

  LocalImageMemoryCache& cache() { return cache_; }
  // Decodes queued or running (shared ones counted once), and preparations not yet delivered:
  // what a view still waits for before it shows its images.
  std::size_t decodesInFlightForTest() const { return flights_.size() + preparations_.size(); }

 Q_SIGNALS:
  // Emitted on a worker thread when a decode ends; delivered to the loader by a queued connection.
  void decodeFinished(quint64 flightId, const lorvex::ui::LocalImageDecodeResult& result);

 private:
  struct Flight {
    std::string path;
    std::optional<int> maxPixelSize;
    std::optional<std::string> cacheKey;
    std::string flightKey;
    std::map<Ticket, Completion> waiters;
    std::optional<LocalImageDecodeLimiter::WaiterId> limiterWaiter;  // set while queued
  };

  void startDecode(quint64 flightId);
  void finishDecode(quint64 flightId, const LocalImageDecodeResult& result);

  LocalImageMemoryCache& cache_;
  LocalImageDecodeLimiter& limiter_;
  DecodeFunction decode_;
  QThreadPool pool_;
  PendingImageWork preparations_{*this, pool_};
  std::unordered_map<quint64, Flight> flights_;
  std::unordered_map<std::string, quint64> flightByKey_;
  std::unordered_map<Ticket, quint64> flightByTicket_;
  quint64 nextFlightId_ = 1;
  Ticket nextTicket_ = 1;
};

}  // namespace lorvex::ui

Q_DECLARE_METATYPE(lorvex::ui::LocalImageDecodeResult)
