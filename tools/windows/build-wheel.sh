#!/usr/bin/env bash
# The Windows wheel, built here on Linux: opticatcher-<version>-cp39-abi3-win_amd64.whl
# in dist/, one abi3 wheel for 64-bit CPython 3.9 and newer on Windows.
# scikit-build-core builds the top-level CMake project with the mingw-w64
# toolchain file (the real module, no winsim), in its own build directory
# (build/win_amd64), so it never disturbs the Linux build.
#
#   bash tools/windows/build-wheel.sh             from this checkout
#   bash tools/windows/build-wheel.sh SOURCE      from another source tree, such
#                                                 as an unpacked sdist (its own
#                                                 toolchain file is used)
#
# The .pyd links libstdc++, libgcc and winpthreads statically, so it needs
# only python3.dll and DLLs of Windows; the notices their licences ask for are
# in the wheel's .dist-info/licenses/. It carries no time stamp: two builds
# of the same sources are identical. tools/ci/packaging.sh checks the wheel.
#
# Installs mingw-w64 with apt-get when missing. Environment:
#   PYTHON     interpreter that runs pip (default: python3)
#   DIST_DIR   where the wheel goes (default: dist/ in this checkout)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source_dir="$(cd "${1:-$root}" && pwd)"
dist="${DIST_DIR:-$root/dist}"
python="${PYTHON:-python3}"
started=$SECONDS

note() { echo "build-wheel: $*"; }
die() { echo "build-wheel: error: $*" >&2; exit 1; }

[[ -f "$source_dir/pyproject.toml" ]] || die "$source_dir has no pyproject.toml"
toolchain="$source_dir/tools/windows/mingw-w64.cmake"
[[ -f "$toolchain" ]] || die "$source_dir has no tools/windows/mingw-w64.cmake"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
   ! command -v x86_64-w64-mingw32-dlltool >/dev/null; then
  note "installing mingw-w64"
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 >/dev/null
fi

mkdir -p "$dist"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
# wheel.tags: the host is Linux, so the tag is named rather than derived.
# The build requirements (scikit-build-core, NumPy for its headers) come from
# an isolated environment, as for any pip install from source.
"$python" -m pip wheel --no-deps -q -w "$out" "$source_dir" \
  -C wheel.tags=cp39-abi3-win_amd64 \
  -C cmake.define.CMAKE_TOOLCHAIN_FILE="$toolchain" \
  -C build-dir=build/win_amd64
wheel=("$out"/*.whl)
[[ ${#wheel[@]} -eq 1 && -f ${wheel[0]} ]] || die "pip made no single wheel"
mv -f "${wheel[0]}" "$dist/"
name="$(basename "${wheel[0]}")"
note "$dist/$name ($(stat -c %s "$dist/$name") bytes, sha256 $(sha256sum "$dist/$name" | cut -c1-16)...) in $((SECONDS - started))s"
