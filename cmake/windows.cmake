# The Windows build of the module: the real opticatcher.pyd, compiled against
# the Windows SDK (or mingw-w64's) headers and linked to the system DLLs and
# python3.dll. Included by the top-level CMakeLists.txt when building for
# Windows, in one of two ways:
#
# - natively, with Visual Studio 2022 (MSVC) or another Windows compiler:
#   `pip install .` on Windows; the interpreter's headers and python3.lib come
#   from find_package(Python);
# - cross-compiled on Linux with mingw-w64 (tools/windows/mingw-w64.cmake) or
#   clang (tools/windows/clang-mingw-w64.cmake): the Windows cross-check
#   (tools/windows/cross-check.sh) and the Windows wheel
#   (tools/windows/build-wheel.sh); the interpreter's headers and import
#   library are made here (cmake/windows_cross_python.cmake).
#
# Targets: opticatcher_windows_flags (the language, warning and definition
# flags of all Windows code), opticatcher_platform (the module's Python-free
# sources, OPTICATCHER_CORE_SOURCES, as an object library) and opticatcher
# (the .pyd: the binding sources and the platform objects).

# --- the C and C++ runtime ---------------------------------------------------
# MSVC: the runtime is linked statically (/MT), so that the .pyd imports only
# python3.dll and DLLs that every Windows has, like the mingw-w64 build below.
# CPython ships vcruntime140.dll but not msvcp140.dll (the C++ library:
# std::mutex, std::condition_variable, ...), and a process that has loaded an
# older msvcp140.dll first (from another package, or an application's own
# folder) breaks code built with a newer toolset: Visual Studio 2022 17.10
# made std::mutex's constructor constexpr, which only newer msvcp140.dll
# copies handle. The module's own runtime state stays private: no memory or
# runtime object crosses its boundary except through Python's and NumPy's
# allocators. Set before any target is made (it is each target's default).
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")

# Import libraries of the DLLs the module calls. An import library only adds
# a DLL to the .pyd's imports when a symbol from it is used. MSVC keeps the
# Direct3D and DXGI interface IDs (IID_ID3D11Texture2D, ...) in dxguid.lib;
# mingw-w64 has them in libuuid.
set(OPTICATCHER_WINDOWS_LIBS
    user32 kernel32 ole32 oleaut32 uuid d3d11 dxgi runtimeobject dwmapi shcore)
if(MSVC)
  list(APPEND OPTICATCHER_WINDOWS_LIBS dxguid)
endif()
# ... and only those: CMake's default list (gdi32, winspool, comdlg32, ...) is
# dropped so that a library the code needs but the list lacks fails the link.
set(CMAKE_CXX_STANDARD_LIBRARIES "")

# --- flags of all Windows code -----------------------------------------------
add_library(opticatcher_windows_flags INTERFACE)
# C++23 (std::expected): /std:c++latest or /std:c++23preview with MSVC,
# -std=c++23 with GCC and Clang; CMAKE_CXX_EXTENSIONS is off.
target_compile_features(opticatcher_windows_flags INTERFACE cxx_std_23)
target_compile_definitions(opticatcher_windows_flags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
if(MSVC)
  # /utf-8: sources and literals are UTF-8 whatever the system code page.
  # Headers included with angle brackets (the SDK's, the interpreter's,
  # NumPy's, the C++ library's) are not the project's: their warnings are off.
  target_compile_options(opticatcher_windows_flags INTERFACE
    /W4 /utf-8 /permissive- /Zc:__cplusplus /external:anglebrackets /external:W0)
  if(OPTICATCHER_WARNINGS_AS_ERRORS)
    target_compile_options(opticatcher_windows_flags INTERFACE /WX)
  endif()
else()
  target_compile_options(opticatcher_windows_flags INTERFACE -Wall -Wextra)
  if(OPTICATCHER_WARNINGS_AS_ERRORS)
    target_compile_options(opticatcher_windows_flags INTERFACE -Werror)
  endif()
endif()

# --- the interpreter and NumPy -----------------------------------------------
if(CMAKE_CROSSCOMPILING)
  # Defines the imported target python3_stable_abi, OPTICATCHER_NUMPY_INCLUDE
  # and the python3.def check.
  include("${CMAKE_CURRENT_LIST_DIR}/windows_cross_python.cmake")
else()
  find_package(Python 3.9 REQUIRED COMPONENTS Interpreter Development.SABIModule)
  include("${CMAKE_CURRENT_LIST_DIR}/numpy.cmake")
endif()

# --- the Windows code, free of Python ----------------------------------------
opticatcher_check_sources("${CMAKE_CURRENT_SOURCE_DIR}/src")
opticatcher_sources_in(core_sources "${CMAKE_CURRENT_SOURCE_DIR}/src" OPTICATCHER_CORE_SOURCES)
opticatcher_sources_in(binding_sources "${CMAKE_CURRENT_SOURCE_DIR}/src"
                       OPTICATCHER_BINDING_SOURCES)
add_library(opticatcher_platform OBJECT ${core_sources})
# src/ and the neutral include folder (the capture ABI, interface ids, ComPtr).
target_include_directories(opticatcher_platform PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/src"
                           "${CMAKE_CURRENT_SOURCE_DIR}/include")
target_link_libraries(opticatcher_platform PUBLIC opticatcher_windows_flags
                      ${OPTICATCHER_WINDOWS_LIBS})

# --- the module ----------------------------------------------------------------
if(CMAKE_CROSSCOMPILING)
  add_library(opticatcher MODULE ${binding_sources})
  set_target_properties(opticatcher PROPERTIES PREFIX "" SUFFIX ".pyd")
  target_link_libraries(opticatcher PRIVATE python3_stable_abi)
  add_dependencies(opticatcher python3_def_check)
else()
  python_add_library(opticatcher MODULE USE_SABI 3.9 WITH_SOABI ${binding_sources})
endif()
target_compile_definitions(opticatcher PRIVATE Py_LIMITED_API=0x03090000)
target_include_directories(opticatcher SYSTEM PRIVATE "${OPTICATCHER_NUMPY_INCLUDE}")
target_link_libraries(opticatcher PRIVATE opticatcher_platform opticatcher_windows_flags)
if(MINGW)
  # libgcc, libstdc++ and winpthread are linked in, so that the .pyd needs
  # only python3.dll and DLLs that every Windows has. Only explicitly exported
  # symbols (PyMODINIT_FUNC is __declspec(dllexport)) leave the DLL. No time
  # stamp in the PE header: two builds of the same sources are identical.
  # Optimised builds are stripped by the link itself: binutils' strip, which
  # `cmake --install --strip` runs (scikit-build-core does), would stamp the
  # module with the current time, so it is not used.
  target_link_options(opticatcher PRIVATE
    -static
    LINKER:--exclude-all-symbols
    LINKER:--no-insert-timestamp
    $<$<CONFIG:Release,MinSizeRel>:-s>)
  set(CMAKE_STRIP "")
endif()
# (MSVC exports only what is declared __declspec(dllexport): the entry point.)

install(TARGETS opticatcher LIBRARY DESTINATION . RUNTIME DESTINATION .)
if(MINGW AND DEFINED SKBUILD_METADATA_DIR)
  # Static copies of the mingw-w64 runtime and winpthreads are in the .pyd:
  # their licences ask for their notices in binary distributions.
  install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/tools/windows/mingw-w64-notices.txt"
          DESTINATION "${SKBUILD_METADATA_DIR}/licenses")
endif()

# --- the Windows test program ------------------------------------------------
# The Python-free sources, built as a Windows program that runs under Wine.
# On by default for a GNU-style compiler (mingw-w64 g++, clang), except in a
# wheel build, which never needs it.
if(NOT MSVC AND NOT SKBUILD)
  set(test_program_default ON)
else()
  set(test_program_default OFF)
endif()
option(OPTICATCHER_WINDOWS_TEST_PROGRAM "Build the Windows test program (tests/windows/program)"
       ${test_program_default})
if(OPTICATCHER_WINDOWS_TEST_PROGRAM AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/program/CMakeLists.txt")
  add_subdirectory(tests/windows/program)
endif()
