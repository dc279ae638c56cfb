#!/usr/bin/env bash
# Type stubs and examples: the stub-only package stubs/opticatcher-stubs,
# installed next to the module the way a wheel installs it
# (site-packages/opticatcher-stubs), is checked against the built module by
# mypy's stubtest, its docstrings against the module's own, and the examples
# with `mypy --strict`. This runs twice, with NumPy 2.x on python3 and with
# NumPy 1.x on CPython 3.10 (stubtest sees the constructors' signatures only
# on 3.10 and newer), since the frame type has to work with both NumPy's
# typing. The first run also runs the examples test with Pillow and OpenCV
# installed, so that the PNG and OpenCV paths run, not only their fallbacks.
#
#   bash tools/ci/stubs.sh
#
# Environment:
#   OPTICATCHER_CI_VENVS   where the virtualenvs go (default: build/venvs)
#   PYTHON                 interpreter that builds the wheel and runs the
#                          NumPy 2.x check (default: python3, 3.10 or newer)
#   NUMPY1_PYTHON          interpreter of the NumPy 1.x check (default: the
#                          newest 3.10.x under pyenv's root)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
source "$root/tools/ci/venv.sh"
work="$root/build/stubs"
python="${PYTHON:-python3}"
started=$SECONDS

# The checker, pinned: stubtest's findings change between releases.
mypy_requirement="mypy==1.19.1"

note() { echo "stubs: $*"; }
die() { echo "stubs: error: $*" >&2; exit 1; }

pyenv_root="${PYENV_ROOT:-$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")}"
numpy1_python="${NUMPY1_PYTHON:-}"
if [[ -z $numpy1_python ]]; then
  version=$(find "$pyenv_root/versions" -mindepth 1 -maxdepth 1 -name '3.10.*' -printf '%f\n' \
    2>/dev/null | grep -E '^3\.10\.[0-9]+$' | sort -V | tail -1)
  [[ -n $version ]] || die "no CPython 3.10 under $pyenv_root/versions (set NUMPY1_PYTHON)"
  numpy1_python="$pyenv_root/versions/$version/bin/python3"
fi

# --- one wheel of the working tree --------------------------------------------
# In the build directory of `pip install .` (pyproject.toml's default): right
# after tests/run.sh, as in CI, most of it is built already.
rm -rf "$work/wheelhouse"
mkdir -p "$work/wheelhouse"
note "building the module with $("$python" -V 2>&1)"
"$python" -m pip wheel -q --no-deps -w "$work/wheelhouse" .
wheel=$(find "$work/wheelhouse" -name 'opticatcher-*.whl')
[[ $(wc -l <<<"$wheel") -eq 1 && -n $wheel ]] || die "expected exactly one wheel in $work/wheelhouse"

# check NAME INTERPRETER NUMPY-REQUIREMENT [run-examples]
check() {
  local name="$1" interpreter="$2" numpy_requirement="$3" run_examples="${4:-}"
  local venv step_started=$SECONDS
  venv=$(ci_fresh_venv "stubs-$name" "$interpreter")
  local py="$venv/bin/python"
  # Pillow and OpenCV are what the examples use when they are there; mypy
  # checks the examples against their types.
  "$py" -m pip install -q "opticatcher[test] @ file://$wheel" "$numpy_requirement" \
    "$mypy_requirement" pillow opencv-python-headless
  note "$name: $("$py" -c 'import sys, numpy, mypy.version; print("CPython", sys.version.split()[0], "NumPy", numpy.__version__, "mypy", mypy.version.__version__)')"

  # Where a wheel puts the stub-only package: next to the module.
  local site
  site=$("$py" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
  rm -rf "$site/opticatcher-stubs"
  cp -r stubs/opticatcher-stubs "$site/opticatcher-stubs"

  # From an empty directory, so that only the installed module and stubs are seen.
  local scratch="$work/scratch-$name"
  rm -rf "$scratch"
  mkdir -p "$scratch"
  printf '[mypy]\ncache_dir = %s\n' "$scratch/.mypy_cache" >"$scratch/mypy.ini"
  (cd "$scratch" && "$py" -m mypy.stubtest --mypy-config-file "$scratch/mypy.ini" opticatcher)
  (cd "$scratch" && "$py" "$here/stub_docstrings.py" "$site/opticatcher-stubs/__init__.pyi")
  # The stub itself under --strict (a copy named as the module: mypy does not
  # report errors in installed packages), then the examples; both for the
  # oldest Python the module supports.
  cp stubs/opticatcher-stubs/__init__.pyi "$scratch/opticatcher.pyi"
  local strict=(--strict --python-version 3.9 --no-incremental --cache-dir "$scratch/.mypy_cache")
  (cd "$scratch" && "$py" -m mypy "${strict[@]}" opticatcher.pyi)
  "$py" -m mypy "${strict[@]}" examples
  if [[ -n $run_examples ]]; then
    "$py" -m pytest -q -p no:cacheprovider tests/test_examples.py
  fi
  note "$name: passed in $((SECONDS - step_started))s"
}

check numpy2 "$python" "numpy>=2" run-examples
check numpy1 "$numpy1_python" "numpy<2"
note "passed in $((SECONDS - started))s"
