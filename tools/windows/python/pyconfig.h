/* pyconfig.h for compiling extension modules for 64-bit Windows CPython
 * with mingw-w64.
 *
 * The interpreter headers used by the Windows cross-check are the host
 * Python's; their own pyconfig.h describes Linux and is left out of the copy
 * the build makes.  This file stands in for the one a Windows CPython ships,
 * reduced to what the public headers read when an extension is built against
 * the limited API.  It describes the interpreter, not the compiler, so the
 * values are those of the official 64-bit Windows builds (LLP64 data model:
 * long is 4 bytes, pointers and size_t are 8).
 */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#if !defined(_WIN64)
#error "this pyconfig.h describes 64-bit Windows CPython only"
#endif

/* Platform. */
#define MS_WIN32
#define MS_WIN64
#define MS_WINDOWS
#define NT_THREADS
#define WITH_THREAD
#define PLATFORM "win32"

/* The interpreter is a DLL (python3.dll re-exports the stable ABI of
 * python3X.dll), so public functions and data are imported with
 * __declspec(dllimport) and PyMODINIT_FUNC is __declspec(dllexport).
 * Py_NO_ENABLE_SHARED must stay undefined.  No "#pragma comment(lib, ...)":
 * the build links the import library generated from python3.def itself. */
#if defined(Py_NO_ENABLE_SHARED)
#error "extension modules for Windows CPython import from the Python DLL"
#endif
#define Py_ENABLE_SHARED 1
#define MS_COREDLL
#define HAVE_DECLSPEC_DLL

/* Release interpreter: Py_DEBUG, Py_REF_DEBUG and Py_TRACE_REFS stay
 * undefined, whatever _DEBUG says, because python3.dll is the release ABI. */

/* Sizes, LLP64. */
#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
#define SIZEOF_HKEY 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
#define SIZEOF_WCHAR_T 2
#define SIZEOF__BOOL 1
#define SIZEOF_PID_T SIZEOF_INT
#define LONG_BIT 32
#define DOUBLE_IS_LITTLE_ENDIAN_IEEE754 1

/* Headers the public CPython headers may include.  (mingw-w64 provides
 * ssize_t, which Py_ssize_t is defined from.) */
#define HAVE_SSIZE_T 1
#define HAVE_STDDEF_H 1
#define HAVE_WCHAR_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1

#define WITH_DOC_STRINGS 1
#define WITH_PYMALLOC 1

#endif /* Py_CONFIG_H */
