#include "combase/object_census.h"

#include <deque>
#include <mutex>
#include <new>
#include <utility>

#include "common/fork_guard.h"

namespace winsim::combase {

namespace {

struct Census {
  std::mutex mutex;
  std::map<std::string, std::int64_t, std::less<>> live;
  // Oldest first. Reachable from here, so leak checkers do not report them.
  std::deque<std::pair<void*, void (*)(void*)>> zombies;
};

Census& census() {
  static auto* instance = fork::make_joined<Census>(fork::Rank::kCensus);
  return *instance;
}

}  // namespace

void object_created(std::string_view class_name) {
  Census& objects = census();
  std::lock_guard lock(objects.mutex);
  auto found = objects.live.find(class_name);
  if (found == objects.live.end()) {
    found = objects.live.emplace(std::string(class_name), 0).first;
  }
  ++found->second;
}

void object_released(std::string_view class_name, void* zombie, void (*destroy)(void*)) {
  std::pair<void*, void (*)(void*)> oldest{nullptr, nullptr};
  {
    Census& objects = census();
    std::lock_guard lock(objects.mutex);
    const auto found = objects.live.find(class_name);
    if (found != objects.live.end() && --found->second == 0) {
      objects.live.erase(found);
    }
    try {
      objects.zombies.emplace_back(zombie, destroy);
      if (objects.zombies.size() > kZombieLimit) {
        oldest = objects.zombies.front();
        objects.zombies.pop_front();
      }
    } catch (const std::bad_alloc&) {
      oldest = {zombie, destroy};  // no memory to keep it: freed at once
    }
  }
  // Outside the lock: freeing runs the object's destructor.
  if (oldest.first != nullptr) {
    oldest.second(oldest.first);
  }
}

std::map<std::string, std::int64_t> live_objects() {
  Census& objects = census();
  std::lock_guard lock(objects.mutex);
  return {objects.live.begin(), objects.live.end()};
}

}  // namespace winsim::combase
