#include "platform/long_lived_threads.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/log.h"

namespace lorvex::platform {

namespace {

struct Owner {
  std::string name;
  LongLivedThreadsRole role;
  LongLivedThreadsEnd end;
};

struct Registry {
  std::mutex mutex;
  std::vector<Owner> owners;
};

Registry& registry() {
  static auto* const made = new Registry();  // never destroyed: registered to during exit too
  return *made;
}

}  // namespace

void registerLongLivedThreads(std::string owner, LongLivedThreadsRole role, LongLivedThreadsEnd end) {
  Registry& owners = registry();
  std::lock_guard lock(owners.mutex);
  owners.owners.push_back({std::move(owner), role, std::move(end)});
}

bool endLongLivedThreads(std::chrono::steady_clock::time_point deadline) {
  bool ended = true;
  for (const LongLivedThreadsRole role : {LongLivedThreadsRole::workers, LongLivedThreadsRole::writer}) {
    // Read again for each role: a worker's last job may have made the writer meanwhile.
    std::vector<Owner> owners;
    {
      Registry& made = registry();
      std::lock_guard lock(made.mutex);
      for (const Owner& owner : made.owners) {
        if (owner.role == role) owners.push_back(owner);
      }
    }
    for (auto owner = owners.rbegin(); owner != owners.rend(); ++owner) {
      if (owner->end(deadline)) continue;
      ended = false;
      logInfo("App", "threads of " + owner->name + " still had work running when the program ended");
    }
  }
  return ended;
}

}  // namespace lorvex::platform
