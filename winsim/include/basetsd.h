// Pointer-precision and fixed-size integer types, with the sizes they have on
// 64-bit Windows.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::int32_t INT32, *PINT32;
typedef std::uint32_t UINT32, *PUINT32;
typedef std::int64_t INT64, *PINT64;
typedef std::uint64_t UINT64, *PUINT64;
typedef std::int32_t LONG32, *PLONG32;
typedef std::uint32_t ULONG32, *PULONG32, DWORD32, *PDWORD32;
typedef std::int64_t LONG64, *PLONG64;
typedef std::uint64_t ULONG64, *PULONG64, DWORD64, *PDWORD64;

typedef std::intptr_t INT_PTR, *PINT_PTR;
typedef std::uintptr_t UINT_PTR, *PUINT_PTR;
typedef std::intptr_t LONG_PTR, *PLONG_PTR;
typedef std::uintptr_t ULONG_PTR, *PULONG_PTR;
typedef ULONG_PTR DWORD_PTR, *PDWORD_PTR;
typedef ULONG_PTR SIZE_T, *PSIZE_T;
typedef LONG_PTR SSIZE_T, *PSSIZE_T;

static_assert(sizeof(LONG_PTR) == sizeof(void*));
