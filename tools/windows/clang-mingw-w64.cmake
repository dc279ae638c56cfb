# CMake toolchain for building the Windows module with Debian's clang-19 for
# x86_64-w64-mingw32: the second compiler over the Windows sources. Clang
# uses mingw-w64's headers and import libraries, g++ 12's libstdc++ (the
# posix thread model) and mingw-w64's linker, all from Debian's packages
# (clang-19, g++-mingw-w64-x86-64-posix). Debian's default clang 14 cannot:
# its <expected> support is off.
#
#   cmake -G Ninja -S . -B build/xwin-clang -DCMAKE_BUILD_TYPE=Release \
#         -DCMAKE_TOOLCHAIN_FILE=tools/windows/clang-mingw-w64.cmake
#
# (XWIN_COMPILER=clang bash tools/windows/cross-check.sh does this.)

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

set(CMAKE_C_COMPILER   clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET   ${MINGW_TRIPLET})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLET})
# std::thread and friends come from winpthreads, which g++ links by itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT    -pthread)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -pthread)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -pthread)
