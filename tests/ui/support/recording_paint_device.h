// A paint device of a given size at 96 dpi and a device pixel ratio of 1 whose paint engine is the
// test's own: widgets rendered into it hand their drawings to `Engine`, which records what it needs.
//
// Thread safety: GUI thread.
#pragma once

#include <QPaintDevice>
#include <QSize>

namespace lorvex::ui::testing {

template <class Engine>
class RecordingPaintDevice : public QPaintDevice {
 public:
  explicit RecordingPaintDevice(QSize size) : size_(size) {}
  QPaintEngine* paintEngine() const override { return &engine; }
  mutable Engine engine;

 protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
      case PdmWidth:
        return size_.width();
      case PdmHeight:
        return size_.height();
      case PdmDepth:
        return 32;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return 96;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
      default:
        return QPaintDevice::metric(metric);
    }
  }

 private:
  QSize size_;
};

}  // namespace lorvex::ui::testing
