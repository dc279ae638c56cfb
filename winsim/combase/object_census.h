// Live simulated COM objects, counted by class name. An object whose last
// reference is gone leaves the count but its memory stays, as a zombie, so
// that a later call on it is recorded as misuse instead of crashing. Frames
// arrive at up to a few hundred per second, so only the most recent
// kZombieLimit zombies are kept; older ones are freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace winsim::combase {

inline constexpr std::size_t kZombieLimit = 4096;

void object_created(std::string_view class_name);

// The object's final release. `zombie` is kept until kZombieLimit newer
// zombies exist, then `destroy(zombie)` frees it.
void object_released(std::string_view class_name, void* zombie, void (*destroy)(void*));

// Classes with live objects, and how many each.
std::map<std::string, std::int64_t> live_objects();

}  // namespace winsim::combase
