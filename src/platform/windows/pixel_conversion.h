// Converting pixels from the frame pool's R, G, B, A bytes into a pixel
// layout: the inner loop of the row copy out of a mapped staging texture.
//
// Each layout has portable code and, on x86-64, vector code for SSSE3 and for
// AVX2. `pixel_conversion(layout)` gives the fastest one this processor runs,
// chosen once; all of them write the same bytes.
#pragma once

#include <cstddef>

#include "pixel_layout.h"
#include "platform/windows/instruction_set.h"

// Converts `count` pixels of R, G, B, A at `source` into `count` pixels of the
// conversion's layout at `destination`. Neither needs any alignment; the two
// must not overlap. Reads exactly count * 4 bytes and writes exactly count *
// pixel_layout_bytes(layout) bytes.
using PixelConversion = void (*)(const std::byte* source, std::byte* destination,
                                 std::size_t count);

// The conversion into `layout` written for `set`, or nullptr when this build
// has no code for `set` or the processor does not run it.
PixelConversion pixel_conversion(PixelLayout layout, InstructionSet set);

// The fastest conversion into `layout` that this processor runs.
PixelConversion pixel_conversion(PixelLayout layout);
