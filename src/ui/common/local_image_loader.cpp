#include "ui/common/local_image_loader.h"

#include <QPointer>
#include <utility>

#include "store/async/store_thread_pools.h"

namespace lorvex::ui {
namespace {

// Decodes of one file at one size are one flight; the caller's key is part of it so two callers
// that key the same file differently (two versions of it) never share a result.
std::string flightKeyOf(const std::string& path, const std::optional<std::string>& cacheKey,
                        std::optional<int> maxPixelSize) {
  std::string key = path;
  key += '\x1F';
  key += cacheKey.value_or(std::string());
  key += '\x1F';
  key += maxPixelSize ? std::to_string(*maxPixelSize) : std::string();
  return key;
}

}  // namespace

LocalImageLoader::LocalImageLoader(LocalImageMemoryCache& cache, LocalImageDecodeLimiter& limiter,
                                   DecodeFunction decode, QObject* parent)
    : QObject(parent), cache_(cache), limiter_(limiter), decode_(std::move(decode)) {
  qRegisterMetaType<LocalImageDecodeResult>();
  pool_.setMaxThreadCount(limiter_.limit());
  connect(this, &LocalImageLoader::decodeFinished, this, &LocalImageLoader::finishDecode,
          Qt::QueuedConnection);
}

LocalImageLoader::~LocalImageLoader() {
  for (auto& [id, flight] : flights_) {
    if (flight.limiterWaiter) limiter_.cancelWaiter(*flight.limiterWaiter);
  }
  pool_.clear();
  pool_.waitForDone();
  // Permits of decodes that ran are given back here: their results will never be delivered.
  for (auto& [id, flight] : flights_) {
    if (!flight.limiterWaiter) limiter_.releasePermit();
  }
}

LocalImageLoader& LocalImageLoader::shared() {
  static LocalImageLoader* const loader = [] {
    auto* made = new LocalImageLoader(LocalImageMemoryCache::shared(), LocalImageDecodeLimiter::shared(),
                                      decodeLocalImage);
    made->livesAsLongAsTheProgram("the image loader");
    return made;
  }();
  return *loader;
}

void LocalImageLoader::livesAsLongAsTheProgram(std::string name) {
  registerPoolAtProgramEnd(pool_, std::move(name));
}

LocalImageLoader::Ticket LocalImageLoader::load(const std::string& path,
                                                const std::optional<std::string>& cacheKey,
                                                std::optional<int> maxPixelSize, Completion done) {
  if (maxPixelSize && *maxPixelSize <= 0) maxPixelSize.reset();
  if (cacheKey) {
    if (auto cached = cache_.image(*cacheKey)) {
      done(LocalImageDecodeResult{std::move(*cached), std::nullopt});
      return 0;
    }
  }
  const Ticket ticket = nextTicket_++;
  std::string flightKey = flightKeyOf(path, cacheKey, maxPixelSize);
  if (const auto joined = flightByKey_.find(flightKey); joined != flightByKey_.end()) {
    flights_.at(joined->second).waiters.emplace(ticket, std::move(done));
    flightByTicket_.emplace(ticket, joined->second);
    return ticket;
  }
  const quint64 flightId = nextFlightId_++;
  Flight& flight = flights_[flightId];
  flight.path = path;
  flight.maxPixelSize = maxPixelSize;
  flight.cacheKey = cacheKey;
  flight.flightKey = flightKey;
  flight.waiters.emplace(ticket, std::move(done));
  flightByKey_.emplace(std::move(flightKey), flightId);
  flightByTicket_.emplace(ticket, flightId);

  // The grant may come from releasePermit on this thread while the loader is gone (shared limiter,
  // test loaders): the guard keeps a late grant from touching a destroyed loader.
  QPointer<LocalImageLoader> self(this);
  const auto acquisition = limiter_.acquirePermit([self, flightId, &limiter = limiter_] {
    if (self == nullptr) {
      limiter.releasePermit();
      return;
    }
    self->startDecode(flightId);
  });
  if (acquisition.granted) {
    startDecode(flightId);
  } else {
    flight.limiterWaiter = acquisition.waiterId;
  }
  return ticket;
}

void LocalImageLoader::cancel(Ticket ticket) {
  const auto found = flightByTicket_.find(ticket);
  if (found == flightByTicket_.end()) return;
  const quint64 flightId = found->second;
  flightByTicket_.erase(found);
  Flight& flight = flights_.at(flightId);
  flight.waiters.erase(ticket);
  if (!flight.waiters.empty() || !flight.limiterWaiter) return;
  // Nobody wants a decode that has not started: it leaves the queue. Had the permit been handed
  // over meanwhile, cancelWaiter fails and the decode runs to fill the cache.
  if (limiter_.cancelWaiter(*flight.limiterWaiter)) {
    flightByKey_.erase(flight.flightKey);
    flights_.erase(flightId);
  }
}

void LocalImageLoader::startDecode(quint64 flightId) {
  const auto found = flights_.find(flightId);
  if (found == flights_.end()) {
    limiter_.releasePermit();
    return;
  }
  Flight& flight = found->second;
  flight.limiterWaiter.reset();
  pool_.start([this, flightId, path = flight.path, maxPixelSize = flight.maxPixelSize, decode = decode_] {
    LocalImageDecodeResult result;
    try {
      result = decode(path, maxPixelSize);
    } catch (const std::exception& error) {
      result.image = QImage();
      result.error = error.what();
    }
    Q_EMIT decodeFinished(flightId, result);
  });
}

void LocalImageLoader::finishDecode(quint64 flightId, const LocalImageDecodeResult& result) {
  limiter_.releasePermit();
  const auto found = flights_.find(flightId);
  if (found == flights_.end()) return;
  Flight flight = std::move(found->second);
  flights_.erase(found);
  flightByKey_.erase(flight.flightKey);
  for (const auto& [ticket, done] : flight.waiters) flightByTicket_.erase(ticket);
  if (flight.cacheKey && !result.image.isNull() && !result.error)
    cache_.insert(*flight.cacheKey, result.image);
  for (const auto& [ticket, done] : flight.waiters) done(result);
}

LocalImageLoader::Ticket LocalImageLoader::prepare(Preparation work, PreparationDone done) {
  return preparations_.start(std::move(work), std::move(done));
}

void LocalImageLoader::cancelPreparation(Ticket ticket) {
  preparations_.cancel(ticket);
}

}  // namespace lorvex::ui
