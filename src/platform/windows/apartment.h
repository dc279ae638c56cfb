// The calling thread's Windows Runtime apartment, which every activation
// needs.
#pragma once

#include <expected>

#include "errors.h"

// Joins the multithreaded apartment once per thread (an apartment of another
// kind that the thread already has serves as well); the apartment is never
// left again.
std::expected<void, CaptureError> initialise_apartment();
