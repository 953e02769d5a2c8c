// Software updates. Lorvex on Linux is updated by the package manager that installed it, so the
// program has no updater of its own: NullUpdater is unavailable and the menus show no update item.
// A build that ships its own updater implements this interface.
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>

namespace lorvex::app {

class Updater {
 public:
  virtual ~Updater() = default;
  // Whether an update item is offered at all.
  virtual bool isAvailable() const = 0;
  // Whether a user-initiated check may start now; `changed` is called when that changes.
  virtual bool canCheckForUpdates() const = 0;
  virtual void setCanCheckChangedHandler(std::function<void(bool)> changed) = 0;
  virtual void checkForUpdates() = 0;
};

class NullUpdater final : public Updater {
 public:
  bool isAvailable() const override { return false; }
  bool canCheckForUpdates() const override { return false; }
  void setCanCheckChangedHandler(std::function<void(bool)>) override {}
  void checkForUpdates() override {}
};

}  // namespace lorvex::app
