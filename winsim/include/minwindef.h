// The basic Windows types: DWORD, BOOL, WORD, message parameters and module
// handles.
#pragma once

#include <winnt.h>

#define WINAPI
#define WINAPIV
#define APIENTRY WINAPI
#define CALLBACK
#define NEAR
#define FAR
#define CONST const

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif

#define MAX_PATH 260

typedef std::uint32_t ULONG, *PULONG;
typedef unsigned short USHORT, *PUSHORT;
typedef unsigned char UCHAR, *PUCHAR;

typedef std::uint32_t DWORD;
typedef std::int32_t BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef float FLOAT;
typedef FLOAT* PFLOAT;
typedef BOOL *PBOOL, *LPBOOL;
typedef BYTE *PBYTE, *LPBYTE;
typedef std::int32_t *PINT, *LPINT;
typedef WORD *PWORD, *LPWORD;
typedef LONG* LPLONG;
typedef DWORD *PDWORD, *LPDWORD;
typedef void* LPVOID;
typedef const void* LPCVOID;

typedef std::int32_t INT;
typedef std::uint32_t UINT;
typedef std::uint32_t* PUINT;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(WORD) == 2 && sizeof(WCHAR) == 2);

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

#define MAKEWORD(a, b) \
  ((WORD)(((BYTE)(((DWORD_PTR)(a)) & 0xff)) | ((WORD)((BYTE)(((DWORD_PTR)(b)) & 0xff))) << 8))
#define MAKELONG(a, b) \
  ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))

typedef WORD ATOM;

typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;

DECLARE_HANDLE(HKEY);
DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;
