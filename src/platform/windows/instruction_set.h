// The processor's vector instructions, as far as pixel conversion uses them:
// the one place that knows how each compiler marks a function for an
// instruction set and asks the processor what it runs.
//
// The module is built for baseline x86-64 (SSE2), so that it loads on every
// 64-bit processor. A function that uses newer instructions is compiled for
// them on its own (OPTICATCHER_TARGET) and called only when
// `runs_instruction_set` says the processor has them. GCC and Clang need the
// mark for intrinsics beyond the build's baseline; MSVC compiles any intrinsic
// anywhere, so the mark is empty there. Elsewhere than on x86-64, and with
// any other compiler (clang-cl among them), only portable code exists.
#pragma once

#if (defined(__x86_64__) || defined(_M_X64)) && !defined(_M_ARM64EC) && \
    (defined(__GNUC__) || (defined(_MSC_VER) && !defined(__clang__)))
#define OPTICATCHER_X86_64_VECTORS 1
#include <immintrin.h>
#if defined(__GNUC__)
#define OPTICATCHER_TARGET(instructions) __attribute__((target(instructions)))
#else
#include <intrin.h>
#define OPTICATCHER_TARGET(instructions)
#endif
#else
#define OPTICATCHER_X86_64_VECTORS 0
#endif

enum class InstructionSet {
  Portable,  // plain C++, any processor
  Ssse3,     // SSE2 and SSSE3 (byte shuffles)
  Avx2,      // AVX2, with the operating system saving its registers
};

// Whether this processor (and its operating system) runs `set`. Portable code
// always runs; the others need x86-64 vectors in this build.
inline bool runs_instruction_set(InstructionSet set) {
  if (set == InstructionSet::Portable) return true;
#if OPTICATCHER_X86_64_VECTORS && defined(__GNUC__)
  __builtin_cpu_init();  // harmless when the runtime has done it already
  if (set == InstructionSet::Ssse3) return __builtin_cpu_supports("ssse3");
  return __builtin_cpu_supports("avx2");
#elif OPTICATCHER_X86_64_VECTORS
  int registers[4] = {};  // eax, ebx, ecx, edx
  __cpuid(registers, 0);
  const int highest = registers[0];
  __cpuid(registers, 1);
  const int features = registers[2];
  if (set == InstructionSet::Ssse3) return (features & (1 << 9)) != 0;
  // AVX2 needs the AVX and XSAVE bits, the operating system saving the
  // vector registers (XCR0 bits 1 and 2), and leaf 7's AVX2 bit.
  const int osxsave_avx = (1 << 27) | (1 << 28);
  if ((features & osxsave_avx) != osxsave_avx || (_xgetbv(0) & 6) != 6 || highest < 7) {
    return false;
  }
  __cpuidex(registers, 7, 0);
  return (registers[1] & (1 << 5)) != 0;
#else
  return false;
#endif
}
