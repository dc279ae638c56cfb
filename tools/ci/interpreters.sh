#!/usr/bin/env bash
# Interpreter modes: one abi3 wheel, built once, installed into fresh
# virtualenvs of the oldest CPython the module supports (3.9, with the oldest
# NumPy that pyproject.toml admits, a 1.x) and the newest CPython installed
# here (with the newest NumPy 2.x), and the test suite run in each under the
# interpreter's development mode (-X dev: debug hooks on the allocators,
# PYTHONMALLOC=debug, plus resource and deprecation warnings, which fail the
# run). Installing the very wheel that was built elsewhere is what tests the
# stable ABI; the two suites run side by side (most of their time is waiting).
#
#   bash tools/ci/interpreters.sh                    the whole suite in both
#   bash tools/ci/interpreters.sh -- tests/test_monitor.py   (pytest arguments)
#
# Environment:
#   OPTICATCHER_CI_VENVS   where the virtualenvs go (default: build/venvs)
#   OPTICATCHER_CI_BUILD   where the wheel and logs go (default: build/interpreters)
#   OPTICATCHER_CI_WHEEL   test this wheel instead of building one (CI: the
#                          repaired manylinux wheel of tools/ci/packaging.sh)
#   OPTICATCHER_CI_SOURCE  run the tests of this source tree (default: this
#                          checkout; CI: the unpacked sdist)
#   PYTHON                 interpreter that builds the wheel (default: python3)
#   OLDEST_PYTHON, NEWEST_PYTHON   the interpreters to test (default: the
#                          newest 3.9.x and the newest 3.x under pyenv's root)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$root/tools/ci/venv.sh"
work="${OPTICATCHER_CI_BUILD:-$root/build/interpreters}"
given_wheel="${OPTICATCHER_CI_WHEEL:+$(realpath "$OPTICATCHER_CI_WHEEL")}"
cd "${OPTICATCHER_CI_SOURCE:-$root}"
python="${PYTHON:-python3}"
pytest_args=(tests winsim/tests)
if [[ $# -gt 0 ]]; then
  [[ $1 == -- ]] || { echo "interpreters: usage: $0 [-- pytest arguments]" >&2; exit 2; }
  shift
  pytest_args=("$@")
fi
started=$SECONDS

note() { echo "interpreters: $*"; }
die() { echo "interpreters: error: $*" >&2; exit 1; }

# --- the interpreters --------------------------------------------------------
pyenv_root="${PYENV_ROOT:-$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")}"
newest_of() { # newest version directory under pyenv matching a prefix
  find "$pyenv_root/versions" -mindepth 1 -maxdepth 1 -name "$1*" -printf '%f\n' 2>/dev/null |
    grep -E '^3\.[0-9]+\.[0-9]+$' | sort -V | tail -1
}
oldest="${OLDEST_PYTHON:-}"
newest="${NEWEST_PYTHON:-}"
if [[ -z $oldest ]]; then
  version=$(newest_of 3.9.)
  [[ -n $version ]] || die "no CPython 3.9 under $pyenv_root/versions (set OLDEST_PYTHON)"
  oldest="$pyenv_root/versions/$version/bin/python3"
fi
if [[ -z $newest ]]; then
  version=$(newest_of 3.)
  [[ -n $version ]] || die "no CPython 3 under $pyenv_root/versions (set NEWEST_PYTHON)"
  newest="$pyenv_root/versions/$version/bin/python3"
fi

# NumPy for the oldest interpreter: the lowest release series pyproject.toml
# admits (numpy>=1.21 gives 1.21.*).
numpy_floor=$("$python" - <<'PY'
import re, tomllib
with open("pyproject.toml", "rb") as f:
    deps = tomllib.load(f)["project"]["dependencies"]
for dep in deps:
    m = re.fullmatch(r"numpy\s*>=\s*([0-9]+)\.([0-9]+).*", dep.strip())
    if m:
        print(f"{m[1]}.{m[2]}.*")
PY
)
[[ -n $numpy_floor ]] || die "pyproject.toml names no 'numpy>=X.Y' dependency"

# --- one wheel ---------------------------------------------------------------
if [[ -n $given_wheel ]]; then
  wheel="$given_wheel"
  [[ -f $wheel ]] || die "no wheel $wheel"
  mkdir -p "$work"
else
  rm -rf "$work/wheelhouse"
  mkdir -p "$work/wheelhouse"
  note "building one abi3 wheel with $("$python" -V 2>&1)"
  "$python" -m pip wheel -q --no-deps -w "$work/wheelhouse" -C build-dir="$work/wheel-build" .
  wheel=$(find "$work/wheelhouse" -name 'opticatcher-*.whl')
  [[ $(wc -l <<<"$wheel") -eq 1 && -n $wheel ]] || die "expected exactly one wheel in $work/wheelhouse"
fi
[[ $(basename "$wheel") == *-cp39-abi3-*.whl ]] || die "not a cp39-abi3 wheel: $(basename "$wheel")"
note "testing $(basename "$wheel") with the tests of $PWD"

# --- the runs ----------------------------------------------------------------
# prepare NAME INTERPRETER NUMPY-REQUIREMENT
prepare() {
  local venv
  venv=$(ci_fresh_venv "$1" "$2")
  "$venv/bin/python" -m pip install -q "opticatcher[test] @ file://$wheel" "$3"
  note "$1: $("$venv/bin/python" -c 'import sys, numpy; print("CPython", sys.version.split()[0], "NumPy", numpy.__version__)')"
}

# run NAME: the suite in development mode; output to a log, printed afterwards
run() {
  PYTHONMALLOC=debug "$venvs/$1/bin/python" -X dev -m pytest -q -p no:cacheprovider \
    -W error "${pytest_args[@]}" >"$work/$1.log" 2>&1
}

prepare oldest "$oldest" "numpy==$numpy_floor"
prepare newest "$newest" "numpy>=2"

status=0
run oldest & oldest_pid=$!
run newest & newest_pid=$!
wait $oldest_pid || status=1
oldest_status=$status
wait $newest_pid || status=1
for name in oldest newest; do
  echo "===== $name: $("$venvs/$name/bin/python" -V 2>&1), -X dev, PYTHONMALLOC=debug"
  cat "$work/$name.log"
done
[[ $status -eq 0 ]] || die "a test run failed (oldest: $([[ $oldest_status -eq 0 ]] && echo passed || echo failed))"
note "passed in $((SECONDS - started))s"
