#!/usr/bin/env bash
# Windows cross-check: builds the project (the top-level CMakeLists.txt) for
# Windows with mingw-w64 against the real Windows headers and import
# libraries (warnings are errors), then checks the resulting opticatcher.pyd:
# it must export exactly PyInit_opticatcher and import nothing but python3.dll
# and DLLs that ship with Windows. The Windows test program
# (tests/windows/program) is built too, when it is there.
#
#   bash tools/windows/cross-check.sh                        g++ (mingw-w64)
#   XWIN_COMPILER=clang bash tools/windows/cross-check.sh    clang-19
#
# Installs the cross compiler (and cmake/ninja) with apt-get when missing.
# Incremental: a second run only rebuilds what changed.
#
# Environment:
#   XWIN_COMPILER    gcc (default: mingw-w64's g++ 12) or clang (Debian's
#                    clang-19 for x86_64-w64-mingw32, with g++ 12's libstdc++)
#   XWIN_BUILD_DIR   build directory (default: build/xwin, build/xwin-clang)
#   XWIN_BUILD_TYPE  CMake build type (default: Release, -O3 like the wheels)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
compiler="${XWIN_COMPILER:-gcc}"
case "$compiler" in
  gcc) toolchain="$here/mingw-w64.cmake"; build="${XWIN_BUILD_DIR:-$root/build/xwin}" ;;
  clang) toolchain="$here/clang-mingw-w64.cmake"; build="${XWIN_BUILD_DIR:-$root/build/xwin-clang}" ;;
  *) echo "cross-check: XWIN_COMPILER must be gcc or clang, not '$compiler'" >&2; exit 2 ;;
esac
triplet=x86_64-w64-mingw32
started=$(date +%s)

# DLLs the .pyd may import besides python3.dll: ones every Windows 10/11 has.
# (msvcrt.dll is mingw-w64's C runtime; api-ms-win-* are API sets.)
system_dlls='^(kernel32|user32|gdi32|ole32|oleaut32|combase|advapi32|shell32|shcore|dwmapi|d3d11|dxgi|d3dcompiler_47|msvcrt|ucrtbase|ntdll|version|ws2_32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'

phase=setup
finish() {
  local rc=$?
  if [[ $rc -ne 0 ]]; then
    echo "windows cross-check: FAILED ($phase) after $(( $(date +%s) - started ))s" >&2
  fi
}
trap finish EXIT

note() { echo "cross-check: $*"; }
die() { echo "cross-check: error: $*" >&2; exit 1; }

# --- tools -----------------------------------------------------------------
apt_packages=()
command -v "$triplet-g++-posix" >/dev/null || apt_packages+=(g++-mingw-w64-x86-64-posix)
command -v "$triplet-dlltool" >/dev/null || apt_packages+=(binutils-mingw-w64-x86-64)
[[ $compiler != clang ]] || command -v clang++-19 >/dev/null || apt_packages+=(clang-19)
command -v cmake >/dev/null || apt_packages+=(cmake)
command -v ninja >/dev/null || apt_packages+=(ninja-build)
if ! command -v python3 >/dev/null; then
  apt_packages+=(python3-dev)
elif ! python3 -c 'import os, sysconfig, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))'; then
  # Debian's interpreter without its headers.
  [[ "$(command -v python3)" == /usr/bin/python3 ]] || die "$(command -v python3) has no Python.h"
  apt_packages+=(python3-dev)
fi
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
apt_updated=0
apt_install() {
  note "installing $*"
  if [[ $apt_updated -eq 0 ]]; then
    "${sudo[@]}" apt-get update -qq
    apt_updated=1
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}
[[ ${#apt_packages[@]} -eq 0 ]] || apt_install "${apt_packages[@]}"
python="$(command -v python3)"
# NumPy's headers.
if ! "$python" -c 'import numpy' 2>/dev/null; then
  if [[ "$python" == /usr/bin/python3 ]]; then
    apt_install python3-numpy
  else
    note "installing numpy (for its headers)"
    "$python" -m pip install -q numpy
  fi
fi
objdump="$triplet-objdump"
nm="$triplet-nm"

# --- configure and build -----------------------------------------------------
phase=configure
configure_args=(-S "$root" -B "$build"
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_BUILD_TYPE="${XWIN_BUILD_TYPE:-Release}"
  -DOPTICATCHER_HOST_PYTHON="$python")
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  configure_args+=(-G Ninja)   # the generator is fixed when the directory is made
fi
mkdir -p "$build"
cmake "${configure_args[@]}" >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log" >&2; die "CMake configuration failed"; }

# The objects the .pyd is linked from (the binding sources and the
# Python-free platform ones), as the build graph lists them.
module_objects() {
  ninja -C "$build" -t query opticatcher.pyd 2>/dev/null |
    awk '/^  input:/{i=1;next} /^  [a-z]/{i=0} i&&/\.obj$/{print $1}' |
    while read -r object; do
      [[ -f "$build/$object" ]] && printf '%s\0' "$build/$object"
    done
}
# python3.dll names the objects reference (__imp_X for calls and data, a plain
# X where a function's address is taken in a static initialiser).
python_refs() {
  module_objects |
    xargs -0 -r "$nm" -u 2>/dev/null |
    awk '{print $NF}' | sed 's/^__imp_//' | grep -E '^_?Py' | sort -u || true
}
def_names() {
  sed 's/;.*//' "$here/python/python3.def" |
    awk '/^[[:space:]]*EXPORTS/{e=1;next} e&&NF{print $1}' | sort -u
}

phase=build
# -k 0: report every source that fails, not just the first.
if ! cmake --build "$build" -j"$(nproc)" -- -k 0; then
  missing="$(comm -23 <(python_refs) <(def_names))"
  if [[ -n "$missing" ]]; then
    echo "cross-check: python3.dll symbols used but not in tools/windows/python/python3.def:" >&2
    echo "$missing" | sed 's/^/    /' >&2
  fi
  die "the Windows build failed"
fi

# --- check the .pyd ----------------------------------------------------------
phase=check
pyd="$build/opticatcher.pyd"
[[ -f "$pyd" ]] || die "$pyd was not built"
headers="$("$objdump" -p "$pyd")"
exports="$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF;next} t{t=0}' <<<"$headers")"
imports="$(awk '/DLL Name:/{print $3}' <<<"$headers")"

[[ "$exports" == "PyInit_opticatcher" ]] ||
  die "opticatcher.pyd must export only PyInit_opticatcher; it exports: $(echo $exports)"

bad_imports=()
while read -r dll; do
  [[ -z "$dll" ]] && continue
  lower="${dll,,}"
  [[ "$lower" == python3.dll || "$lower" =~ $system_dlls ]] || bad_imports+=("$dll")
done <<<"$imports"
[[ ${#bad_imports[@]} -eq 0 ]] ||
  die "opticatcher.pyd imports DLLs that are neither python3.dll nor part of Windows: ${bad_imports[*]}"
grep -qix python3.dll <<<"$imports" || die "opticatcher.pyd does not import python3.dll"

used=$(python_refs | wc -l)
listed=$(def_names | wc -l)
count=$(module_objects | tr -cd '\0' | wc -c)
if [[ $compiler == clang ]]; then
  compiler_name="clang $(clang++-19 -dumpversion)"
else
  compiler_name="g++ $("$triplet-g++-posix" -dumpversion)"
fi
phase=done
echo "windows cross-check: OK: opticatcher.pyd from ${count} sources (${triplet}, ${compiler_name}, -Werror);" \
  "exports PyInit_opticatcher; imports $(echo $imports);" \
  "uses ${used}/${listed} python3.def names; $(( $(date +%s) - started ))s"
