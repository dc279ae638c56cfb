#include "platform/windows/pixel_conversion.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// A shuffling layout as the source bytes of its output bytes, in output
// order: B, G, R, A is source bytes 2, 1, 0 and 3.
constexpr std::array<int, 4> kBgra{2, 1, 0, 3};
constexpr std::array<int, 3> kRgb{0, 1, 2};
constexpr std::array<int, 3> kBgr{2, 1, 0};

// --- portable code -----------------------------------------------------------

void copy_pixels(const std::byte* source, std::byte* destination, std::size_t count) {
  if (count != 0) std::memcpy(destination, source, count * 4);  // no pixels: maybe no memory
}

template <auto Order>
void shuffle_portable(const std::byte* source, std::byte* destination, std::size_t count) {
  constexpr std::size_t kBytes = Order.size();
  for (std::size_t pixel = 0; pixel < count; ++pixel) {
    for (std::size_t byte = 0; byte < kBytes; ++byte) destination[byte] = source[Order[byte]];
    source += 4;
    destination += kBytes;
  }
}

void gray_portable(const std::byte* source, std::byte* destination, std::size_t count) {
  for (std::size_t pixel = 0; pixel < count; ++pixel) {
    destination[pixel] = std::byte{gray_value(std::to_integer<std::uint32_t>(source[0]),
                                              std::to_integer<std::uint32_t>(source[1]),
                                              std::to_integer<std::uint32_t>(source[2]))};
    source += 4;
  }
}

PixelConversion portable_conversion(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::RGBA:
      return copy_pixels;
    case PixelLayout::BGRA:
      return shuffle_portable<kBgra>;
    case PixelLayout::RGB:
      return shuffle_portable<kRgb>;
    case PixelLayout::BGR:
      return shuffle_portable<kBgr>;
    case PixelLayout::GRAY:
      break;
  }
  return gray_portable;
}

#if OPTICATCHER_X86_64_VECTORS

// --- SSSE3 -------------------------------------------------------------------

// The byte shuffle that turns four source pixels (16 bytes) into four output
// pixels of `Order`, packed at the bottom of the register: 16 bytes for a
// 4-byte layout, 12 and then four zero bytes for a 3-byte one.
template <auto Order>
constexpr std::array<std::int8_t, 16> kShuffle = [] {
  std::array<std::int8_t, 16> shuffle{};
  shuffle.fill(-1);  // a set top bit makes the byte zero
  for (std::size_t pixel = 0; pixel < 4; ++pixel) {
    for (std::size_t byte = 0; byte < Order.size(); ++byte) {
      shuffle[pixel * Order.size() + byte] = static_cast<std::int8_t>(pixel * 4 + Order[byte]);
    }
  }
  return shuffle;
}();

__m128i load(const std::byte* from) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
}

void store(std::byte* to, __m128i value) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), value);
}

template <auto Order>
OPTICATCHER_TARGET("ssse3")
void shuffle_ssse3(const std::byte* source, std::byte* destination, std::size_t count) {
  const __m128i shuffle = load(reinterpret_cast<const std::byte*>(kShuffle<Order>.data()));
  std::size_t pixel = 0;
  if constexpr (Order.size() == 4) {
    for (; pixel + 4 <= count; pixel += 4) {
      store(destination + pixel * 4, _mm_shuffle_epi8(load(source + pixel * 4), shuffle));
    }
  } else {
    // 16 pixels: four registers of 12 output bytes each, joined into three
    // registers of 16.
    for (; pixel + 16 <= count; pixel += 16) {
      const std::byte* from = source + pixel * 4;
      std::byte* to = destination + pixel * 3;
      const __m128i a = _mm_shuffle_epi8(load(from), shuffle);
      const __m128i b = _mm_shuffle_epi8(load(from + 16), shuffle);
      const __m128i c = _mm_shuffle_epi8(load(from + 32), shuffle);
      const __m128i d = _mm_shuffle_epi8(load(from + 48), shuffle);
      store(to, _mm_or_si128(a, _mm_slli_si128(b, 12)));
      store(to + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
      store(to + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
  }
  shuffle_portable<Order>(source + pixel * 4, destination + pixel * Order.size(), count - pixel);
}

// The grey values of four pixels, one in the low byte of each 32-bit lane:
// R and B (the even bytes) and G (an odd byte) are multiplied by their weights
// as 16-bit lanes, with A's weight 0.
__m128i gray4(__m128i pixels) {
  const __m128i even = _mm_set1_epi32(0x00FF00FF);
  const __m128i red_blue =
      _mm_set1_epi32(static_cast<int>(GRAY_BLUE_WEIGHT << 16 | GRAY_RED_WEIGHT));
  const __m128i green = _mm_set1_epi32(static_cast<int>(GRAY_GREEN_WEIGHT));
  const __m128i half = _mm_set1_epi32(1 << (GRAY_SHIFT - 1));
  const __m128i sum =
      _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(pixels, even), red_blue),
                    _mm_madd_epi16(_mm_and_si128(_mm_srli_epi32(pixels, 8), even), green));
  return _mm_srli_epi32(_mm_add_epi32(sum, half), GRAY_SHIFT);
}

// SSE2 suffices, which every x86-64 processor has.
void gray_sse2(const std::byte* source, std::byte* destination, std::size_t count) {
  std::size_t pixel = 0;
  for (; pixel + 16 <= count; pixel += 16) {
    const std::byte* from = source + pixel * 4;
    const __m128i low = _mm_packs_epi32(gray4(load(from)), gray4(load(from + 16)));
    const __m128i high = _mm_packs_epi32(gray4(load(from + 32)), gray4(load(from + 48)));
    store(destination + pixel, _mm_packus_epi16(low, high));
  }
  gray_portable(source + pixel * 4, destination + pixel, count - pixel);
}

PixelConversion ssse3_conversion(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::RGBA:
      return copy_pixels;
    case PixelLayout::BGRA:
      return shuffle_ssse3<kBgra>;
    case PixelLayout::RGB:
      return shuffle_ssse3<kRgb>;
    case PixelLayout::BGR:
      return shuffle_ssse3<kBgr>;
    case PixelLayout::GRAY:
      break;
  }
  return gray_sse2;
}

// --- AVX2 --------------------------------------------------------------------

OPTICATCHER_TARGET("avx2") __m256i load256(const std::byte* from) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
}

OPTICATCHER_TARGET("avx2") void store256(std::byte* to, __m256i value) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), value);
}

// 16 bytes from `low` and 16 from `high` as the two halves of a register.
OPTICATCHER_TARGET("avx2") __m256i load_halves(const std::byte* low, const std::byte* high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(load(low)), load(high), 1);
}

template <auto Order>
OPTICATCHER_TARGET("avx2")
void shuffle_avx2(const std::byte* source, std::byte* destination, std::size_t count) {
  // The byte shuffle works within each 16-byte half of a register.
  const __m256i shuffle =
      _mm256_broadcastsi128_si256(load(reinterpret_cast<const std::byte*>(kShuffle<Order>.data())));
  std::size_t pixel = 0;
  if constexpr (Order.size() == 4) {
    for (; pixel + 8 <= count; pixel += 8) {
      store256(destination + pixel * 4, _mm256_shuffle_epi8(load256(source + pixel * 4), shuffle));
    }
  } else {
    // 32 pixels: the SSSE3 code's 16 twice over, pixels 0-15 in the low
    // halves and 16-31 in the high halves, then the six 16-byte results
    // stored in order as three registers.
    for (; pixel + 32 <= count; pixel += 32) {
      const std::byte* from = source + pixel * 4;
      std::byte* to = destination + pixel * 3;
      const __m256i a = _mm256_shuffle_epi8(load_halves(from, from + 64), shuffle);
      const __m256i b = _mm256_shuffle_epi8(load_halves(from + 16, from + 80), shuffle);
      const __m256i c = _mm256_shuffle_epi8(load_halves(from + 32, from + 96), shuffle);
      const __m256i d = _mm256_shuffle_epi8(load_halves(from + 48, from + 112), shuffle);
      const __m256i first = _mm256_or_si256(a, _mm256_slli_si256(b, 12));
      const __m256i second = _mm256_or_si256(_mm256_srli_si256(b, 4), _mm256_slli_si256(c, 8));
      const __m256i third = _mm256_or_si256(_mm256_srli_si256(c, 8), _mm256_slli_si256(d, 4));
      store256(to, _mm256_permute2x128_si256(first, second, 0x20));
      store256(to + 32, _mm256_blend_epi32(first, third, 0x0F));
      store256(to + 64, _mm256_permute2x128_si256(second, third, 0x31));
    }
  }
  shuffle_ssse3<Order>(source + pixel * 4, destination + pixel * Order.size(), count - pixel);
}

// gray4 on eight pixels.
OPTICATCHER_TARGET("avx2") __m256i gray8(__m256i pixels) {
  const __m256i even = _mm256_set1_epi32(0x00FF00FF);
  const __m256i red_blue =
      _mm256_set1_epi32(static_cast<int>(GRAY_BLUE_WEIGHT << 16 | GRAY_RED_WEIGHT));
  const __m256i green = _mm256_set1_epi32(static_cast<int>(GRAY_GREEN_WEIGHT));
  const __m256i half = _mm256_set1_epi32(1 << (GRAY_SHIFT - 1));
  const __m256i sum = _mm256_add_epi32(
      _mm256_madd_epi16(_mm256_and_si256(pixels, even), red_blue),
      _mm256_madd_epi16(_mm256_and_si256(_mm256_srli_epi32(pixels, 8), even), green));
  return _mm256_srli_epi32(_mm256_add_epi32(sum, half), GRAY_SHIFT);
}

OPTICATCHER_TARGET("avx2")
void gray_avx2(const std::byte* source, std::byte* destination, std::size_t count) {
  // The packs work within each half: four groups of eight pixels come out as
  // 4-byte runs in the order 0 2 4 6 1 3 5 7 (in units of four pixels).
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::size_t pixel = 0;
  for (; pixel + 32 <= count; pixel += 32) {
    const std::byte* from = source + pixel * 4;
    const __m256i low = _mm256_packs_epi32(gray8(load256(from)), gray8(load256(from + 32)));
    const __m256i high = _mm256_packs_epi32(gray8(load256(from + 64)), gray8(load256(from + 96)));
    store256(destination + pixel,
             _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order));
  }
  gray_sse2(source + pixel * 4, destination + pixel, count - pixel);
}

PixelConversion avx2_conversion(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::RGBA:
      return copy_pixels;
    case PixelLayout::BGRA:
      return shuffle_avx2<kBgra>;
    case PixelLayout::RGB:
      return shuffle_avx2<kRgb>;
    case PixelLayout::BGR:
      return shuffle_avx2<kBgr>;
    case PixelLayout::GRAY:
      break;
  }
  return gray_avx2;
}

#endif  // OPTICATCHER_X86_64_VECTORS

// The conversion of `set`, which this build has code for.
PixelConversion conversion_of(PixelLayout layout, InstructionSet set) {
  switch (set) {
    case InstructionSet::Portable:
      break;
#if OPTICATCHER_X86_64_VECTORS
    case InstructionSet::Ssse3:
      return ssse3_conversion(layout);
    case InstructionSet::Avx2:
      return avx2_conversion(layout);
#else
    case InstructionSet::Ssse3:
    case InstructionSet::Avx2:
      break;
#endif
  }
  return portable_conversion(layout);
}

InstructionSet fastest_instruction_set() {
  for (InstructionSet set : {InstructionSet::Avx2, InstructionSet::Ssse3}) {
    if (runs_instruction_set(set)) return set;
  }
  return InstructionSet::Portable;
}

}  // namespace

PixelConversion pixel_conversion(PixelLayout layout, InstructionSet set) {
  if (!runs_instruction_set(set)) return nullptr;
  return conversion_of(layout, set);
}

PixelConversion pixel_conversion(PixelLayout layout) {
  static const InstructionSet fastest = fastest_instruction_set();
  return conversion_of(layout, fastest);
}
