// Basic NT types: characters, strings, handles, HRESULT, language ids, and the
// calling-convention and linkage macros the other headers build on.
#pragma once

#include <cstdint>

#include <basetsd.h>

#ifndef __cplusplus
#error "the winsim SDK headers are C++ only"
#endif

// Calling conventions do not exist on x86-64 Linux; the macros stay for the
// shared source.
#define __stdcall
#define __cdecl
#define STDMETHODCALLTYPE
#define STDMETHODVCALLTYPE
#define STDAPICALLTYPE
#define STDAPIVCALLTYPE

// On Windows these functions are imported from the system DLLs; here they are
// the exports of libwinsim.so.
#define DECLSPEC_IMPORT __attribute__((visibility("default")))
#define DECLSPEC_NOTHROW
#define EXTERN_C extern "C"
#define EXTERN_C_START extern "C" {
#define EXTERN_C_END }
#define STDAPI EXTERN_C HRESULT STDAPICALLTYPE
#define STDAPI_(type) EXTERN_C type STDAPICALLTYPE

#define VOID void
typedef char CHAR;
typedef short SHORT;
typedef std::int32_t LONG;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef unsigned char BOOLEAN, *PBOOLEAN;

typedef void* PVOID;
typedef LONG* PLONG;

// UTF-16 code units on every platform, as on Windows.
typedef char16_t WCHAR;
typedef WCHAR *PWCHAR, *LPWCH, *PWCH;
typedef const WCHAR *LPCWCH, *PCWCH;
typedef WCHAR *NWPSTR, *LPWSTR, *PWSTR;
typedef const WCHAR *LPCWSTR, *PCWSTR;
typedef CHAR *PCHAR, *LPCH, *PCH;
typedef CHAR *NPSTR, *LPSTR, *PSTR;
typedef const CHAR *LPCSTR, *PCSTR;

typedef LONG HRESULT;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;

// Handles are distinct opaque pointer types, as under STRICT.
#define DECLARE_HANDLE(name) \
  struct name##__;           \
  typedef struct name##__* name

typedef unsigned short LANGID;

#define MAKELANGID(p, s) ((((unsigned short)(s)) << 10) | (unsigned short)(p))
#define PRIMARYLANGID(lgid) ((unsigned short)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((unsigned short)(lgid) >> 10)

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define SUBLANG_ENGLISH_US 0x01
