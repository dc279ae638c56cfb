# The Windows interpreter and NumPy for a module cross-compiled on Linux
# (mingw-w64 or clang for x86_64-w64-mingw32): no Windows Python is at hand, so
#
# - the interpreter headers are the host Python's, minus its Linux pyconfig.h,
#   plus tools/windows/python/pyconfig.h describing 64-bit Windows CPython;
# - the import library of python3.dll is made from
#   tools/windows/python/python3.def, the list of exports the module uses,
#   and a compiled check holds that list to what Python.h declares for the
#   limited API of 3.9;
# - NumPy's headers are the host NumPy's with tools/windows/numpy's
#   configuration header for 64-bit Windows.
#
# Defines the imported target python3_stable_abi, the object library
# python3_def_check and OPTICATCHER_NUMPY_INCLUDE. Included by
# cmake/windows.cmake.

set(windows_support "${CMAKE_CURRENT_SOURCE_DIR}/tools/windows")

# The host interpreter: OPTICATCHER_HOST_PYTHON, else the one scikit-build-core
# builds with, else python3.
if(NOT OPTICATCHER_HOST_PYTHON)
  if(Python_EXECUTABLE)
    set(OPTICATCHER_HOST_PYTHON "${Python_EXECUTABLE}")
  else()
    find_program(OPTICATCHER_HOST_PYTHON NAMES python3 python REQUIRED)
  endif()
endif()

# ---------------------------------------------------------------------------
# Python headers. Python.h includes "pyconfig.h" with quotes, which looks in
# Python.h's own directory first, so the host's copy must not be next to it.
execute_process(
  COMMAND "${OPTICATCHER_HOST_PYTHON}" -c
          "import sysconfig; print(sysconfig.get_paths()['include'])"
  OUTPUT_VARIABLE host_python_include
  OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS "${host_python_include}/Python.h")
  message(FATAL_ERROR "No Python.h in ${host_python_include} (from ${OPTICATCHER_HOST_PYTHON})")
endif()
get_filename_component(host_python_include_name "${host_python_include}" NAME)
set(python_include "${CMAKE_BINARY_DIR}/python/${host_python_include_name}")
# file(COPY) keeps time stamps and skips files that are already up to date,
# so reconfiguring does not trigger a rebuild.
file(COPY "${host_python_include}/" DESTINATION "${python_include}"
     PATTERN "pyconfig.h" EXCLUDE)
configure_file("${windows_support}/python/pyconfig.h" "${python_include}/pyconfig.h" COPYONLY)
message(STATUS "Python headers: ${host_python_include} (with tools/windows/python/pyconfig.h)")

# ---------------------------------------------------------------------------
# NumPy headers: copied the same way, with numpy/_numpyconfig.h.in for 64-bit
# Windows in place of the host's configuration header.
execute_process(
  COMMAND "${OPTICATCHER_HOST_PYTHON}" -c "import numpy; print(numpy.get_include())"
  OUTPUT_VARIABLE host_numpy_include
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE numpy_status
  ERROR_QUIET)
if(NOT numpy_status EQUAL 0 OR NOT EXISTS "${host_numpy_include}/numpy/_numpyconfig.h")
  message(FATAL_ERROR "NumPy's headers are needed to build the module: "
                      "${OPTICATCHER_HOST_PYTHON} cannot import numpy")
endif()
set(OPTICATCHER_NUMPY_INCLUDE "${CMAKE_BINARY_DIR}/numpy/include")
file(COPY "${host_numpy_include}/numpy" DESTINATION "${OPTICATCHER_NUMPY_INCLUDE}"
     PATTERN "_numpyconfig.h" EXCLUDE)
file(STRINGS "${host_numpy_include}/numpy/_numpyconfig.h" NUMPY_VERSION_LINES
     REGEX "^#define NPY_(ABI|API)_VERSION ")
list(JOIN NUMPY_VERSION_LINES "\n" NUMPY_VERSION_LINES)
configure_file("${windows_support}/numpy/_numpyconfig.h.in"
               "${OPTICATCHER_NUMPY_INCLUDE}/numpy/_numpyconfig.h" @ONLY)
message(STATUS "NumPy headers: ${host_numpy_include} (with tools/windows/numpy/_numpyconfig.h.in)")

# ---------------------------------------------------------------------------
# Import library of python3.dll, made from the list of exports the module uses.
# dlltool: the toolchain file names it (MINGW_DLLTOOL).
find_program(MINGW_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
set(python3_def "${windows_support}/python/python3.def")
set(python3_implib "${CMAKE_BINARY_DIR}/python/libpython3.a")
add_custom_command(
  OUTPUT "${python3_implib}"
  COMMAND "${MINGW_DLLTOOL}" --input-def "${python3_def}" --dllname python3.dll
          --output-lib "${python3_implib}"
  DEPENDS "${python3_def}"
  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/python"
  COMMENT "Generating the python3.dll import library"
  VERBATIM)
add_custom_target(python3_implib DEPENDS "${python3_implib}")

add_library(python3_stable_abi SHARED IMPORTED)
set_target_properties(python3_stable_abi PROPERTIES
  IMPORTED_IMPLIB "${python3_implib}"
  INTERFACE_INCLUDE_DIRECTORIES "${python_include}"
  INTERFACE_COMPILE_DEFINITIONS "Py_LIMITED_API=0x03090000")
add_dependencies(python3_stable_abi python3_implib)

# ---------------------------------------------------------------------------
# python3.def check: every name is declared by Python.h under the limited API
# the module targets, DATA entries are objects and the others functions.
# The headers alone cannot tell: some of them declare these names for
# Py_LIMITED_API 3.9, yet python3.dll exports them only from 3.10 on, so a
# module using them does not load on Windows Python 3.9.
set(python3_def_not_in_39
    PyModule_AddType PyType_FromModuleAndSpec PyType_GetModule PyType_GetModuleState
    PyObject_CallNoArgs PyThreadState_GetFrame PyThreadState_GetID
    PyThreadState_GetInterpreter PyFrame_GetCode PyFrame_GetLineNumber)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${python3_def}")
file(STRINGS "${python3_def}" def_lines)
set(def_check "// Generated from tools/windows/python/python3.def.\n#include <Python.h>\n#include <type_traits>\n\n")
set(in_exports FALSE)
foreach(line IN LISTS def_lines)
  string(REGEX REPLACE ";.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "EXPORTS")
    set(in_exports TRUE)
  elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)( +DATA)?$")
    set(name "${CMAKE_MATCH_1}")
    if(name IN_LIST python3_def_not_in_39)
      message(FATAL_ERROR "python3.def: ${name} is exported by python3.dll only from "
                          "Python 3.10 on; the module targets 3.9")
    endif()
    if(CMAKE_MATCH_2)
      string(APPEND def_check
        "static_assert(!std::is_function_v<decltype(${name})>, \"${name} is a function: drop DATA\");\n")
    else()
      string(APPEND def_check
        "static_assert(std::is_function_v<decltype(${name})>, \"${name} is data: mark it DATA\");\n")
    endif()
  elseif(in_exports AND NOT line STREQUAL "")
    message(FATAL_ERROR "python3.def: cannot read \"${line}\"")
  endif()
endforeach()
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/python/python3_def_check.cpp"
     CONTENT "${def_check}" @ONLY)
add_library(python3_def_check OBJECT "${CMAKE_BINARY_DIR}/python/python3_def_check.cpp")
target_include_directories(python3_def_check PRIVATE "${python_include}")
target_compile_definitions(python3_def_check PRIVATE "Py_LIMITED_API=0x03090000")
target_link_libraries(python3_def_check PRIVATE opticatcher_windows_flags)
