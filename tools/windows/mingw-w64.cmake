# CMake toolchain for building the Windows module with Debian's mingw-w64
# (64-bit Windows, POSIX thread model so that std::thread, std::mutex and
# friends are available from libstdc++), from the repository root:
#
#   cmake -G Ninja -S . -B build/xwin -DCMAKE_BUILD_TYPE=Release \
#         -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-w64.cmake
#
# (tools/windows/cross-check.sh does this and checks the result;
# tools/windows/clang-mingw-w64.cmake builds the same with clang.)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(MINGW_TRIPLET x86_64-w64-mingw32 CACHE STRING "mingw-w64 target triplet")

set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)
set(CMAKE_AR           ${MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# Binutils the project uses directly (import library, post-build checks).
set(MINGW_DLLTOOL ${MINGW_TRIPLET}-dlltool CACHE FILEPATH "")
set(MINGW_OBJDUMP ${MINGW_TRIPLET}-objdump CACHE FILEPATH "")
set(MINGW_NM      ${MINGW_TRIPLET}-nm      CACHE FILEPATH "")

# Headers and libraries come from the mingw-w64 sysroot only; programs
# (python3 for the interpreter headers, the binutils above) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
