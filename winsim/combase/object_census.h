// Live simulated COM objects, counted by class name. An object whose last
// reference is gone leaves the count but its memory stays, as a zombie, so
// that a later call on it is recorded as misuse instead of crashing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace winsim::combase {

void object_created(std::string_view class_name);

// The object's final release; `zombie` is kept for the life of the process.
void object_released(std::string_view class_name, const void* zombie);

// Classes with live objects, and how many each.
std::map<std::string, std::int64_t> live_objects();

}  // namespace winsim::combase
