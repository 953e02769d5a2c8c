// Smooth scaling of decoded images for display, off the GUI thread: a full-size image brought down
// to a view's size costs tens to hundreds of milliseconds (4096² about 40 ms, 8192² about 190 ms),
// far more than a frame. The scaled image comes back in the format the painter copies fastest
// (RGB32 without an alpha channel, else premultiplied ARGB32).
//
// A caller that no longer wants its image cancels its ticket: its callback is never called; a
// scale still queued is skipped, one already running finishes and is dropped.
//
// Thread safety: GUI thread only (construction, scale, cancel, callbacks). Scales run on the
// scaler's own QThreadPool.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QThreadPool>
#include <cstdint>
#include <functional>

#include "ui/common/pending_image_work.h"

namespace lorvex::ui {

class LocalImageScaler : public QObject {
  Q_OBJECT

 public:
  using Ticket = std::uint64_t;
  using Completion = std::function<void(const QImage& scaled)>;

  explicit LocalImageScaler(QObject* parent = nullptr);
  // Waits for running scales; their results are dropped.
  ~LocalImageScaler() override;

  // The program's scaler, made on first use.
  static LocalImageScaler& shared();

  // `image` scaled smoothly to exactly `size` (its proportions are the caller's business); `done`
  // is called later on the GUI thread unless the ticket is cancelled.
  Ticket scale(QImage image, QSize size, Completion done);
  // Drops the ticket's callback; unknown or finished tickets are ignored.
  void cancel(Ticket ticket);

  // Scales asked for and not yet delivered or cancelled.
  std::size_t scalesInFlightForTest() const { return scales_.size(); }

 private:
  QThreadPool pool_;
  PendingImageWork scales_{*this, pool_};
};

// `image` scaled smoothly to `size`, in the format the painter copies fastest. Any thread.
QImage scaledForDisplay(const QImage& image, QSize size);

}  // namespace lorvex::ui
