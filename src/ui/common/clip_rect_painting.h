// Copies that stay direct under a clip of several rectangles. Qt's raster painter copies a pixmap
// directly only under a rectangular clip; under a clip of several rectangles (a widget partly
// covered by an opaque one, several changed tiles) it goes line by line, handing anything taller
// than about a hundred lines to helper threads and waiting for them, which under load costs more
// than the copy. Painted once per rectangle of the repainted region, each copy has a rectangular
// clip of its own.
//
// Thread safety: GUI thread (painters on widgets).
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <functional>

namespace lorvex::ui {

// The part of `bounds` (logical coordinates) the painter repaints and its clip lets through: all
// of `bounds` when the painter cannot say (no repainted region, or it scales or rotates).
QRegion repaintedRegion(QPainter& painter, const QRect& bounds);

// Calls `paint` once per rectangle of the painter's repainted region within `bounds` (logical
// coordinates), the painter clipped to that rectangle; once, clipped to `bounds`, when the region
// is one rectangle there, when there is none, or when the painter scales or rotates. `paint` must
// draw within `bounds` and must not depend on being called once.
void paintPerClipRect(QPainter& painter, const QRect& bounds, const std::function<void()>& paint);

// Fills, scaled draws and blends go to the helper threads in the same way by the lines they cover
// at once: about a hundred, whatever the clip. `paintInBands` calls `paint` once per band of at
// most `bandDeviceLines` device lines of each rectangle of the repainted region within `bounds`,
// the painter clipped to it, so that each stays on the painting thread. The same conditions on
// `paint` apply. Antialiased paths go by their spans, several per line: they need narrower bands.
void paintInBands(QPainter& painter, const QRect& bounds, const std::function<void()>& paint,
                  int bandDeviceLines = 64);

// The band of an antialiased shape. Each of its edge pixels is a span of its own: a translucent
// capsule reaches the helper threads from about 25 lines, a ring two pixels wide from about 14.
inline constexpr int kAntialiasedBandDeviceLines = 8;

// The same for a picture made once: `paint` draws the whole picture on `image`, in the image's
// logical coordinates, through a painter on at most `bandDeviceLines` of its lines at a time. A
// band is the painter's device, not its clip, so a drawing that sets its own clip (as styles do)
// cannot reach past it and draw twice over the lines of another band.
void paintImageInBands(QImage& image, const std::function<void(QPainter&)>& paint, int bandDeviceLines = 64);

}  // namespace lorvex::ui
